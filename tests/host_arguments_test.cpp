// The options of the Linux host and its start-up banner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/server_host.h"

namespace {

TEST(HostArguments, DirectoryDefaultsToTheProgramsAndSwitchesFormTheCommandLine) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostArguments({"/SHUTDOWN", "/QUIET"}, "/opt/nimbo", &options, &error));
    EXPECT_EQ(options.directory, "/opt/nimbo");
    EXPECT_EQ(options.commandLine, "/SHUTDOWN /QUIET");
    EXPECT_EQ(options.serverPort, 67);
    EXPECT_EQ(options.clientPort, 68);
}

TEST(HostArguments, HostOptionsAreTakenOutWhereverTheyStand) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostArguments({"-shutdown", "--dir", "/tmp/n/", "--server-port", "10067", "/quiet",
                                    "--client-port", "10068"},
                                   "/opt/nimbo", &options, &error));
    EXPECT_EQ(options.directory, "/tmp/n");
    EXPECT_EQ(options.commandLine, "-shutdown /quiet");
    EXPECT_EQ(options.serverPort, 10067);
    EXPECT_EQ(options.clientPort, 10068);
}

TEST(HostArguments, OptionsWithoutAGoodValueAreRefused) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(ParseHostArguments({"--dir"}, "/opt", &options, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ParseHostArguments({"--dir", ""}, "/opt", &options, &error));
    for (const char* port : {"0", "65536", "67x", "", "-1"}) {
        EXPECT_FALSE(ParseHostArguments({"--server-port", port}, "/opt", &options, &error)) << port;
    }
    EXPECT_FALSE(ParseHostArguments({"/SHUTDOWN", "--client-port"}, "/opt", &options, &error));
}

// A mistyped option of the host must not start a server that only logs it.
// Single "-" words are command words, checked by the server as on Windows.
TEST(HostArguments, UnknownDoubleDashWordsAreRefused) {
    HostOptions options;
    std::string error;
    for (const char* word : {"--bogus", "--", "--DIR", "--server-port=67"}) {
        EXPECT_FALSE(ParseHostArguments({"/QUIET", word, "--dir", "/tmp/n"}, "/opt", &options, &error)) << word;
        EXPECT_EQ(error, std::string("unknown option ") + word);
    }
    ASSERT_TRUE(ParseHostArguments({"-bogus", "--dir", "--odd-directory"}, "/opt", &options, &error));
    EXPECT_EQ(options.commandLine, "-bogus");
    EXPECT_EQ(options.directory, "--odd-directory");
}

TEST(HostArguments, ExportForKeaTakesADirectoryAndNoSwitches) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostArguments({"--export-kea", "out", "--dir", "/tmp/n"}, "/opt", &options, &error));
    EXPECT_EQ(options.exportDirectory, "out");
    EXPECT_FALSE(ParseHostArguments({"--export-kea"}, "/opt", &options, &error));
    EXPECT_FALSE(ParseHostArguments({"--export-kea", "out", "/SHUTDOWN"}, "/opt", &options, &error));
    EXPECT_EQ(error, "--export-kea takes no switches: /SHUTDOWN");
}

TEST(HostBanner, KeepsTheWindowsLayout) {
    std::string banner = StartupBannerLine("0.13");
    EXPECT_EQ(banner.rfind("NIMBO V0.13 Starting - Running on ", 0), 0u) << banner;
    EXPECT_NE(banner.find(" (Build "), std::string::npos) << banner;
    EXPECT_EQ(banner.back(), '\n');
    std::string hardware = HardwareLine();
    EXPECT_EQ(hardware.rfind("Hardware - CPU:", 0), 0u) << hardware;
    for (const char* part : {" processors - ", " Memory:Physical:", "MB avail) ", "% used PageFile:", " Virtual:"}) {
        EXPECT_NE(hardware.find(part), std::string::npos) << part << " in " << hardware;
    }
}

}  // namespace
