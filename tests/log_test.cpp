#include "base/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { UseLogDirectory(dir.path()); }
    void TearDown() override { ClearLogPaths(); }
    ScratchDir dir;
};

const std::regex kStamp(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2}\.\d{3} - )");

// The stamp's date and time are formatted once a second and reused: two
// entries a second apart must still carry their own local times.
TEST_F(LogTest, EntryHasLocalTimeStampAndCrLfLineEnds) {
    for (int round = 0; round < 2; ++round) {
        if (round) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        std::remove(MainLogPath().c_str());
        // The log's clock, not time(), which on Linux reads a coarser clock
        // that can still show the last second.
        std::time_t before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        WriteLog(1, "A\nB\n");
        std::time_t after = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::string contents = ReadFile(MainLogPath());
        std::smatch match;
        ASSERT_TRUE(std::regex_search(contents, match, kStamp));
        EXPECT_EQ(match.position(0), 0);
        EXPECT_EQ(contents.substr(match.length(0)), "A\r\nB\r\n");
        std::tm stamped{};
        ASSERT_EQ(std::sscanf(contents.c_str(), "%d/%d/%d %d:%d:%d", &stamped.tm_mday, &stamped.tm_mon, &stamped.tm_year,
                              &stamped.tm_hour, &stamped.tm_min, &stamped.tm_sec),
                  6);
        stamped.tm_mon -= 1;
        stamped.tm_year -= 1900;
        stamped.tm_isdst = -1;
        std::time_t when = std::mktime(&stamped);
        EXPECT_GE(when, before);
        EXPECT_LE(when, after);
    }
}

TEST_F(LogTest, EntryWithoutLineFeedLeavesNextEntryOnSameLine) {
    WriteLog(3, "no end");
    WriteLog(3, "next\n");
    std::string contents = ReadFile(MainLogPath());
    EXPECT_TRUE(std::regex_match(contents, std::regex(R"([^\r\n]+ - no end[^\r\n]+ - next\r\n)"))) << contents;
}

TEST_F(LogTest, LevelsAboveThresholdAreNotWritten) {
    WriteLog(11, "hidden\n");
    WriteLog(-1, "failure\n");
    WriteLog(0, "error\n");
    WriteLog(10, "limit\n");
    EXPECT_EQ(LogTexts(MainLogPath()), (std::vector<std::string>{"failure", "error", "limit"}));
}

TEST_F(LogTest, EmptyPathWritesNothing) {
    AppendToLogFile("", "lost\n", 100);
    ClearLogPaths();
    WriteLog(0, "lost\n");
    WriteAddressLog("lost\n");
    EXPECT_EQ(MainLogPath(), "");
    UseLogDirectory(dir.path());
    EXPECT_FALSE(FileExists(MainLogPath()));
}

TEST_F(LogTest, RotatesAtExactlyTheLimitReplacingOlderOldFile) {
    const std::string log = dir.file("NIMBO.LOG");
    const std::string old = dir.file("NIMBO.OLD");
    WriteFile(old, "ancient");
    WriteFile(log, std::string(102400, 'x'));
    AppendToLogFile(log, "fresh\n", 102400);
    EXPECT_EQ(ReadFile(old), std::string(102400, 'x'));
    EXPECT_EQ(LogTexts(log), std::vector<std::string>{"fresh"});
}

TEST_F(LogTest, BelowTheLimitAppendsAndMayExceedByOneEntry) {
    const std::string log = dir.file("Addresses.LOG");
    WriteFile(log, std::string(102399, 'x'));
    AppendToLogFile(log, "over\n", 102400);
    EXPECT_FALSE(FileExists(dir.file("Addresses.OLD")));
    EXPECT_GT(ReadFile(log).size(), 102400u);
    AppendToLogFile(log, "rotated\n", 102400);
    EXPECT_TRUE(FileExists(dir.file("Addresses.OLD")));
    EXPECT_EQ(LogTexts(log), std::vector<std::string>{"rotated"});
}

TEST_F(LogTest, FileWithoutExtensionIsRestartedWithoutCopy) {
    const std::string log = dir.file("PLAIN");
    WriteFile(log, "0123456789");
    AppendToLogFile(log, "new\n", 10);
    EXPECT_EQ(LogTexts(log), std::vector<std::string>{"new"});
    EXPECT_EQ(OldLogName(log), "");
    EXPECT_EQ(OldLogName("dir.d" + std::string(1, '/') + "NIMBO"), "");
    EXPECT_EQ(OldLogName("NIMBO.LOG"), "NIMBO.OLD");
}

// Other programs may read, move or delete a log while the server runs: the
// next entry goes to a file of the log's name, created anew when needed.
TEST_F(LogTest, MovedOrDeletedLogIsCreatedAnewByTheNextEntry) {
    WriteLog(1, "first\n");
    std::rename(MainLogPath().c_str(), dir.file("moved.txt").c_str());
    WriteLog(1, "second\n");
    EXPECT_EQ(LogTexts(dir.file("moved.txt")), std::vector<std::string>{"first"});
    EXPECT_EQ(LogTexts(MainLogPath()), std::vector<std::string>{"second"});
    std::remove(MainLogPath().c_str());
    WriteLog(1, "third\n");
    EXPECT_EQ(LogTexts(MainLogPath()), std::vector<std::string>{"third"});
    WriteFile(MainLogPath(), "replaced\n");
    WriteLog(1, "fourth\n");
    std::string contents = ReadFile(MainLogPath());
    EXPECT_EQ(contents.rfind("replaced\n", 0), 0u) << contents;
    EXPECT_NE(contents.find("fourth\r\n"), std::string::npos);
    // Another file renamed over the log's name takes the next entry.
    WriteFile(dir.file("fresh.txt"), "fresh\n");
    std::filesystem::rename(dir.file("fresh.txt"), MainLogPath());
    WriteLog(1, "fifth\n");
    EXPECT_EQ(ReadFile(MainLogPath()).rfind("fresh\n", 0), 0u);
    EXPECT_EQ(LogTexts(MainLogPath()).back(), "fifth");
    EXPECT_EQ(LogTexts(dir.file("moved.txt")), std::vector<std::string>{"first"});
}

// A log that cannot be moved aside (here its .OLD name is taken by a
// directory; on Windows a viewer holding NIMBO.OLD open does the same) is
// emptied instead of growing with every entry, and says so once.
TEST_F(LogTest, FailedRotationEmptiesTheLogInsteadOfLettingItGrow) {
    const std::filesystem::path old_name = dir.file("NIMBO.OLD");
    std::filesystem::create_directory(old_name);
    WriteFile((old_name / "kept").string(), "x");
    SetMainLogLimit(400);
    for (int i = 0; i < 60; ++i) {
        WriteLog(1, "entry %d with some text to fill the file\n", i);
        ASSERT_LT(std::filesystem::file_size(MainLogPath()), 800u) << "after entry " << i;
    }
    std::vector<std::string> texts = LogTexts(MainLogPath());
    const std::string notice = "Log rotation to " + old_name.string() + " failed - log emptied";
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), notice);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), notice), 1);
    EXPECT_EQ(texts.back(), "entry 59 with some text to fill the file");
}

#ifndef _WIN32
// A log that is a symbolic link is checked at every entry: its target, moved
// away in a directory of its own, is not written to any more.
TEST_F(LogTest, LinkedLogNoticesItsTargetMovedAway) {
    std::filesystem::create_directory(dir.file("real"));
    const std::string target = dir.file("real") + "/nimbo.log";
    std::filesystem::create_symlink(target, MainLogPath());
    WriteLog(1, "first\n");
    std::rename(target.c_str(), (target + ".1").c_str());
    WriteLog(1, "second\n");
    EXPECT_EQ(LogTexts(target + ".1"), std::vector<std::string>{"first"});
    EXPECT_EQ(LogTexts(target), std::vector<std::string>{"second"});
}
#endif

// A log that another program emptied in place is not rotated until it has
// really grown to its limit again.
TEST_F(LogTest, LogTruncatedByAnotherProgramIsNotRotatedEarly) {
    SetMainLogLimit(400);
    for (int i = 0; i < 5; ++i) WriteLog(1, "entry %d with some text to fill the file\n", i);
    std::ofstream(MainLogPath(), std::ios::trunc).close();
    for (int i = 5; i < 9; ++i) WriteLog(1, "entry %d with some text to fill the file\n", i);
    EXPECT_FALSE(FileExists(dir.file("NIMBO.OLD")));
    EXPECT_EQ(LogTexts(MainLogPath()).size(), 4u);
    for (int i = 9; i < 14; ++i) WriteLog(1, "entry %d with some text to fill the file\n", i);
    EXPECT_TRUE(FileExists(dir.file("NIMBO.OLD")));
}

TEST_F(LogTest, OverlongTextIsCutAtOneThousandBytes) {
    std::string long_text(1500, 'y');
    WriteLog(0, "%s", long_text.c_str());
    std::vector<std::string> texts = LogTexts(MainLogPath());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], std::string(LOG_ENTRY_MAX, 'y'));
}

// Entries are formatted by the writer's own printf for the program's
// formats; every conversion they use reads as the C library's would.
template <class... Args>
void ExpectPrintfText(const char* format, Args... args) {
    char expected[LOG_ENTRY_MAX + 1];
    std::snprintf(expected, sizeof expected, format, args...);
    WriteLog(0, format, args...);
    std::string text(expected);
    if (text.back() == '\n') text.pop_back();
    EXPECT_EQ(LogTexts(MainLogPath()).back(), text) << format;
}

TEST_F(LogTest, EntriesReadAsPrintfWouldWriteThem) {
    ExpectPrintfText("%d|%i|%u|%d|%u|%%|%c\n", INT_MIN, -1, 0u, 0, UINT_MAX, 'x');
    ExpectPrintfText("%08lx|%lx|%08x|%04x|%X|%x\n", 0xc0a8000aul, 0ul, 0x1234u, 0x5u, 0xABCDEFu, 0u);
    ExpectPrintfText("%5d|%-5d|%05d|%.3d|%8.3d|%-8.3d|%.0d|%05d\n", 42, 42, 42, 7, -7, 7, 0, -42);
    ExpectPrintfText("%ld|%lu|%lld|%zu|%llx\n", LONG_MIN, ULONG_MAX, LLONG_MIN, static_cast<size_t>(99), ULLONG_MAX);
    ExpectPrintfText("%.100s|%.2s|%s|%-6s|%6s|%.0s\n", "long text", "abc", "", "ab", "ab", "gone");
    ExpectPrintfText("%5.1f|%p\n", 2.25, static_cast<void*>(nullptr));  // left to the C library
    const std::string wide(1500, 'w');
    ExpectPrintfText("%d %s\n", 1, wide.c_str());  // cut at 1000 bytes like the library
}

TEST_F(LogTest, AddressLogUsesItsOwnFileAndLimit) {
    SetAddressLogLimit(51200);
    WriteAddressLog("Add Lease for %.50s (%.50s) of %d.%d.%d.%d\n", "pc1", "00-0c", 192, 168, 0, 10);
    EXPECT_EQ(LogTexts(AddressLogPath()), std::vector<std::string>{"Add Lease for pc1 (00-0c) of 192.168.0.10"});
    EXPECT_EQ(AddressLogLimit(), 51200u);
    EXPECT_FALSE(FileExists(MainLogPath()));
}

TEST_F(LogTest, ConcurrentWritersNeverInterleaveEntries) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 50; ++i) WriteLog(3, "writer %d entry %d with a longer body\n", t, i);
        });
    for (auto& writer : writers) writer.join();
    std::vector<std::string> texts = LogTexts(MainLogPath());
    ASSERT_EQ(texts.size(), 200u);
    for (const auto& text : texts) EXPECT_TRUE(std::regex_match(text, std::regex(R"(writer \d entry \d+ with a longer body)"))) << text;
}

}  // namespace
