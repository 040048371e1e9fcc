// What a start of NIMBO.exe is beside the service "Nimbo", whether it may
// show a message box, and its start-up lock.
#include <gtest/gtest.h>

#include "base/log.h"
#include "base/message_box.h"
#include "shell/start_decision.h"
#include "test_support.h"

namespace {

StartDecision Start(const char* commandLine, bool window, bool service, bool serviceOwn = false, bool handOver = false) {
    return DecideStart(StartFacts{window, service, serviceOwn, handOver}, commandLine);
}

TEST(StartDecision, ByHandBesideARunningServiceNeverBecomesASecondServer) {
    const struct {
        const char* commandLine;
        StartAction action;
        bool quiet;
    } cases[] = {
        {"", StartAction::HandOver, false},          {"  ", StartAction::HandOver, false},
        {"/OPTIONS", StartAction::HandOver, false},  {"-showicon /HIDEICON", StartAction::HandOver, false},
        {"/HIDEICON", StartAction::Nothing, false},  {"/QUIET", StartAction::Nothing, false},
        {"/SHUTDOWN", StartAction::StopService, false}, {"-shutdown /quiet", StartAction::StopService, true},
        {"/BOGUS", StartAction::CommandError, false}, {"/SHUTDOWN SHUTDOWN", StartAction::CommandError, false},
        {"/service", StartAction::CommandError, false},
    };
    for (const auto& c : cases) {
        StartDecision decision = Start(c.commandLine, false, true);
        EXPECT_EQ(decision.action, c.action) << c.commandLine;
        EXPECT_EQ(decision.quiet, c.quiet) << c.commandLine;
        // A window in this session takes the command line, service or not.
        EXPECT_EQ(Start(c.commandLine, true, true).action, StartAction::SecondStart) << c.commandLine;
        EXPECT_EQ(Start(c.commandLine, true, false).action, StartAction::SecondStart) << c.commandLine;
        // Without the service, and for the service's own server and the
        // hand-over's elevated half, a start without a window is the server.
        EXPECT_EQ(Start(c.commandLine, false, false).action, StartAction::FirstStart) << c.commandLine;
        EXPECT_EQ(Start(c.commandLine, false, true, true).action, StartAction::FirstStart) << c.commandLine;
        EXPECT_EQ(Start(c.commandLine, false, true, false, true).action, StartAction::FirstStart) << c.commandLine;
    }
}

TEST(StartDecision, ElevatedSwitchesAreWholeCommandLines) {
    EXPECT_EQ(ReadElevatedSwitch("/handover"), ElevatedSwitch::HandOver);
    EXPECT_EQ(ReadElevatedSwitch("/StopService"), ElevatedSwitch::StopService);
    for (const char* other : {"", "/HANDOVER /QUIET", "/OPTIONS", "/service", "HANDOVER"}) {
        EXPECT_EQ(ReadElevatedSwitch(other), ElevatedSwitch::None) << other;
    }
}

// Where no one can answer, a box is a level 0 log line and gets the answer
// that changes nothing (Retry/Cancel: Cancel, so the busy message cannot loop).
TEST(StartDecision, BoxesOnlyWhereSomeoneCanAnswer) {
    EXPECT_TRUE(MayShowMessageBoxes(1, false, false));
    EXPECT_FALSE(MayShowMessageBoxes(0, false, false));
    EXPECT_FALSE(MayShowMessageBoxes(2, true, false));
    EXPECT_FALSE(MayShowMessageBoxes(2, false, true));
    EXPECT_EQ(UnattendedAnswer(0x10), 1);  // OK with an icon
    EXPECT_EQ(UnattendedAnswer(5), 2);     // Retry/Cancel
    EXPECT_EQ(UnattendedAnswer(4), 7);     // Yes/No
    ScratchDir dir;
    UseLogDirectory(dir.path());
    LogInsteadOfBox("Nimbo", "needs a STATIC address.\nSee help.");
    EXPECT_EQ(LogTexts(MainLogPath()), std::vector<std::string>{"Message - Nimbo: needs a STATIC address. See help."});
    ClearLogPaths();
}

// One lock per folder, letter case ignored; only this account, SYSTEM or
// Administrators can make a start wait on it.
TEST(StartDecision, StartupLockBelongsToOneFolderAndTrustedAccounts) {
    const std::string name = StartupMutexName("C:\\Nimbo");
    EXPECT_EQ(name.rfind("Local\\NIMBOMutex-", 0), 0u);
    EXPECT_EQ(name.size(), std::string("Local\\NIMBOMutex-").size() + 16);
    EXPECT_EQ(StartupMutexName("c:\\NIMBO"), name);
    EXPECT_NE(StartupMutexName("C:\\Program Files\\Nimbo"), name);
    EXPECT_EQ(StartupMutexAccess("S-1-5-21-1-2-3-1001"), "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;S-1-5-21-1-2-3-1001)");
    const std::vector<std::string> own{"S-1-5-21-1-2-3-1001", "S-1-5-21-1-2-3-513"};
    for (const char* owner : {"S-1-5-18", "S-1-5-32-544", "S-1-5-21-1-2-3-513"}) {
        EXPECT_TRUE(MayWaitForStartupMutex(owner, own)) << owner;
    }
    for (const char* owner : {"S-1-5-21-1-2-3-1002", "S-1-5-32-545", ""}) {
        EXPECT_FALSE(MayWaitForStartupMutex(owner, own)) << owner;
    }
}

}  // namespace
