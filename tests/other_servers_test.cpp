// The table of other DHCP servers: one line per server and hour, sixteen
// servers per run, and a global limit, on a clock the test steps.
#include "dhcp/other_servers.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

constexpr uint64_t MINUTE = 60 * FILETIME_TICKS_PER_SECOND;

struct OtherServersTest : ::testing::Test {
    void SetUp() override { ForgetOtherServers(); }
    void TearDown() override { ForgetOtherServers(); }
};

TEST_F(OtherServersTest, OneLinePerServerAndHourAndOneNoticePerRun) {
    const uint32_t router = Ip("192.0.2.254");
    OtherServerVerdict first = NoteOtherServer(router, TEST_EPOCH);
    EXPECT_TRUE(first.writeLine && first.firstInRun);
    for (uint64_t t = TEST_EPOCH + MINUTE; t < TEST_EPOCH + 60 * MINUTE; t += 7 * MINUTE) {
        OtherServerVerdict again = NoteOtherServer(router, t);
        EXPECT_FALSE(again.writeLine || again.firstInRun);
    }
    OtherServerVerdict nextHour = NoteOtherServer(router, TEST_EPOCH + 60 * MINUTE);
    EXPECT_TRUE(nextHour.writeLine);
    EXPECT_FALSE(nextHour.firstInRun);
    EXPECT_EQ(nextHour.leftOut, 0u);  // repeats within the hour are not "left out"
    // A clock set back does not silence the server for the hours in between.
    EXPECT_TRUE(NoteOtherServer(router, TEST_EPOCH - 600 * MINUTE).writeLine);

    EXPECT_EQ(LastOtherServer().server, router);
    EXPECT_EQ(LastOtherServer().seenAt, TEST_EPOCH - 600 * MINUTE);
    ForgetOtherServers();
    EXPECT_EQ(LastOtherServer().server, 0u);
    EXPECT_TRUE(NoteOtherServer(router, TEST_EPOCH).firstInRun);
}

// Forged identifiers: a fixed table and a bounded number of lines; what was
// held back is counted in the next line written.
TEST_F(OtherServersTest, ForgedIdentifiersFillNeitherTheLogNorMemory) {
    unsigned lines = 0, notices = 0;
    for (uint32_t i = 1; i <= 1000; ++i) {
        OtherServerVerdict verdict = NoteOtherServer(Ip("10.0.0.0") + i, TEST_EPOCH + i);
        lines += verdict.writeLine;
        notices += verdict.firstInRun;
    }
    EXPECT_EQ(lines, OTHER_SERVER_LINES_PER_HOUR);
    EXPECT_EQ(notices, OTHER_SERVERS_TRACKED);
    EXPECT_EQ(LastOtherServer().server, Ip("10.0.0.0") + 1000);

    // The next hour: the tracked servers held back by the limit get their
    // line, the first one with the count; servers beyond the table never do.
    OtherServerVerdict held = NoteOtherServer(Ip("10.0.0.0") + OTHER_SERVERS_TRACKED, TEST_EPOCH + 61 * MINUTE);
    EXPECT_TRUE(held.writeLine);
    EXPECT_EQ(held.leftOut, 1000u - OTHER_SERVER_LINES_PER_HOUR);
    EXPECT_FALSE(NoteOtherServer(Ip("10.0.0.0") + OTHER_SERVERS_TRACKED + 1, TEST_EPOCH + 62 * MINUTE).writeLine);
}

}  // namespace
