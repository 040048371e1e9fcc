// The table of other DHCP servers on a clock the test steps.
#include "dhcp/other_servers.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

constexpr uint64_t MINUTE = 60 * FILETIME_TICKS_PER_SECOND;

TEST(OtherServersTest, OneLinePerServerAndHourOneNoticePerRun) {
    ForgetOtherServers();
    const uint32_t router = Ip("192.0.2.254");
    OtherServerVerdict first = NoteOtherServer(router, TEST_EPOCH);
    EXPECT_TRUE(first.writeLine && first.firstInRun);
    OtherServerVerdict again = NoteOtherServer(router, TEST_EPOCH + 59 * MINUTE);
    EXPECT_FALSE(again.writeLine || again.firstInRun);
    OtherServerVerdict nextHour = NoteOtherServer(router, TEST_EPOCH + 60 * MINUTE);
    EXPECT_TRUE(nextHour.writeLine && !nextHour.firstInRun && nextHour.leftOut == 0);
    EXPECT_TRUE(NoteOtherServer(router, TEST_EPOCH).writeLine);  // a clock set back
    EXPECT_EQ(LastOtherServer().seenAt, TEST_EPOCH);
}

TEST(OtherServersTest, ForgedIdentifiersFillNeitherTheLogNorMemory) {
    ForgetOtherServers();
    unsigned lines = 0, notices = 0;
    for (uint32_t i = 1; i <= 1000; ++i) {
        OtherServerVerdict verdict = NoteOtherServer(Ip("10.0.0.0") + i, TEST_EPOCH + i);
        lines += verdict.writeLine;
        notices += verdict.firstInRun;
    }
    EXPECT_EQ(lines, OTHER_SERVER_LINES_PER_HOUR);
    EXPECT_EQ(notices, OTHER_SERVERS_TRACKED);
    EXPECT_EQ(NoteOtherServer(Ip("10.0.0.16"), TEST_EPOCH + 61 * MINUTE).leftOut, 1000u - OTHER_SERVER_LINES_PER_HOUR);
    EXPECT_FALSE(NoteOtherServer(Ip("10.0.0.17"), TEST_EPOCH + 61 * MINUTE).writeLine);  // beyond the table
}

}  // namespace
