// The banner and hardware lines of the main log as each platform's figures
// produce them.
#include "shell/startup_lines.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupLines, BannerNamesThePlatformAndCutsTheWindows95BuildNumber) {
    SystemVersion nt{2, 5, 1, 2600, "Service Pack 3"};
    EXPECT_EQ(WindowsStartupBanner("0.13", nt),
              "NIMBO V0.13 Starting - Running on Windows NT 5.1 (Build 2600) (Service Pack 3)\n");
    SystemVersion win98{1, 4, 10, 0x040A08AE, " A "};
    EXPECT_EQ(WindowsStartupBanner("0.13", win98),
              "NIMBO V0.13 Starting - Running on Windows 95 4.10 (Build 2222) ( A )\n");
    EXPECT_EQ(PlatformName(0), "Win32S");
    EXPECT_EQ(PlatformName(7), "Platform 7");
    // Texts are bounded, so the entry fits the log's 1000 bytes.
    SystemVersion longText{2, 10, 0, 19045, std::string(500, 'x')};
    EXPECT_EQ(WindowsStartupBanner(std::string(300, 'v').c_str(), longText).size(),
              std::string("NIMBO V Starting - Running on Windows NT 10.0 (Build 19045) ()\n").size() + 200);
}

TEST(StartupLines, ProcessorTextByArchitectureOnNtAndByTypeElsewhere) {
    EXPECT_EQ(WindowsProcessorText(2, ProcessorFigures{2, 0, 6, 0x0f0b, 586}), "2 processors - Intel 686 Rev:0f0b");
    EXPECT_EQ(WindowsProcessorText(2, ProcessorFigures{1, 2, 21164, 0x0a05, 0}), "1 processors - Alpha 21164 Rev:0a05");
    EXPECT_EQ(WindowsProcessorText(2, ProcessorFigures{4, 9, 25, 0x0101, 8664}), "4 processors - Arch:9-25-0101");
    EXPECT_EQ(WindowsProcessorText(1, ProcessorFigures{1, 0, 0, 0, 586}), "Pentium");
    EXPECT_EQ(WindowsProcessorText(1, ProcessorFigures{1, 0, 0, 0, 486}), "i486");
    EXPECT_EQ(WindowsProcessorText(0, ProcessorFigures{1, 0, 0, 0, 386}), "i386");
    EXPECT_EQ(WindowsProcessorText(1, ProcessorFigures{1, 0, 0, 0, 2200}), "CPU:2200");
}

TEST(StartupLines, HardwareLineInWholeMegabytes) {
    const uint64_t mb = 1048576;
    MemoryFigures memory{256 * mb + 5, 100 * mb - 1, 61, 512 * mb, 384 * mb, 2048 * mb, 1900 * mb};
    EXPECT_EQ(HardwareText("Pentium", memory),
              "Hardware - CPU:Pentium Memory:Physical:256MB (99MB avail) 61% used PageFile:512MB (384MB avail) "
              "Virtual:2048MB (1900MB avail)\n");
}

}  // namespace
