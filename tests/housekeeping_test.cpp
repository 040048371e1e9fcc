// The main window's housekeeping decisions without a window: the order of
// the timer tick, logon tracking across a logoff, the refresh throttle
// (also across the wrap of the tick count), the tray icon flags and the
// notice of a failed save.
#include "shell/housekeeping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "housekeeping_fixture.h"
#include "base/paths.h"

namespace {

// What the tick asked of its desktop, in order.
std::vector<std::string> calls;
bool shell = false;
bool noticeShown = true;
uint32_t tick = 0;

const TickDesktop recordingDesktop = {
    [] {
        calls.push_back("shell?");
        return shell;
    },
    [](bool show) { calls.push_back(show ? "show icon" : "hide icon"); },
    [] { calls.push_back("refresh"); },
    [](long) {
        calls.push_back("notice");
        return noticeShown;
    },
    [] { calls.push_back("recovered"); },
};

class HousekeepingTest : public HousekeepingFixture {
protected:
    void SetUp() override {
        HousekeepingFixture::SetUp();
        calls.clear();
        shell = false;
        noticeShown = true;
        tick = 50000;
        SetTickSource([] { return tick; });
    }
    void Tick() { RunTimerTick(state, recordingDesktop); }

    void AddDirtyLease() {
        AddLease("pc1", 0xC000020A, NEVER_EXPIRES);
        MarkLeasesDirty();
    }

    HousekeepingState& state = Housekeeping;
};

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;

TEST_F(HousekeepingTest, TickSavesLooksForTheShellSweepsRefreshesAndRetriesInThatOrder) {
    AddDirtyLease();
    shell = true;
    state.refreshRequested = true;
    state.iconRetry = true;
    Tick();
    EXPECT_EQ(calls, (Calls{"shell?", "show icon", "refresh", "show icon"}));
    EXPECT_FALSE(LeasesDirty.load());
    EXPECT_NE(Ini().find("pc1~000c2911220a="), std::string::npos);
    EXPECT_EQ(MainLog(), Lines{"User Logged On"});

    calls.clear();
    Tick();  // nothing left to do but look
    EXPECT_EQ(calls, Calls{"shell?"});
}

TEST_F(HousekeepingTest, LogonTrackingFollowsTheShellAcrossALogoff) {
    Tick();  // no shell: stays logged off, silently
    EXPECT_TRUE(state.loggedOff);
    shell = true;
    Tick();
    EXPECT_FALSE(state.loggedOff);
    EXPECT_TRUE(EndSession(state, true));   // "End Session - Logoff": hide now
    EXPECT_FALSE(EndSession(state, false));  // "End Session": nothing
    Tick();  // the shell is still up: waits
    shell = false;
    Tick();
    EXPECT_TRUE(state.loggedOff);
    EXPECT_FALSE(state.logoffSeen);
    Tick();
    shell = true;
    Tick();
    EXPECT_EQ(MainLog(), (Lines{"User Logged On", "End Session - Logoff", "End Session", "User Logged Off",
                            "User Logged On"}));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "show icon"), 2);

    // A shell that goes away without a logoff announced changes nothing.
    shell = false;
    Tick();
    EXPECT_FALSE(state.loggedOff);
}

TEST_F(HousekeepingTest, RefreshesAreMoreThanThreeSecondsApartAndWaitForAutoRefresh) {
    EXPECT_FALSE(TakeLeaseViewRefresh(state, true, 10000));  // nothing requested
    state.refreshRequested = true;
    EXPECT_TRUE(TakeLeaseViewRefresh(state, true, 10000));
    EXPECT_FALSE(state.refreshRequested);
    state.refreshRequested = true;
    EXPECT_FALSE(TakeLeaseViewRefresh(state, true, 13000));  // exactly 3000 ms: not yet
    EXPECT_TRUE(TakeLeaseViewRefresh(state, true, 13001));
    state.refreshRequested = true;
    EXPECT_FALSE(TakeLeaseViewRefresh(state, false, 90000));  // AutoRefresh off: stays requested
    EXPECT_TRUE(state.refreshRequested);
    EXPECT_TRUE(TakeLeaseViewRefresh(state, true, 90000));

    // Across the wrap of the 32-bit tick count: 512 ms, then 4352 ms later.
    state.lastRefreshTick = 0xFFFFFF00u;
    state.refreshRequested = true;
    EXPECT_FALSE(TakeLeaseViewRefresh(state, true, 0x00000100u));
    state.lastRefreshTick = 0xFFFFF000u;
    EXPECT_TRUE(TakeLeaseViewRefresh(state, true, 0x00000100u));
}

TEST_F(HousekeepingTest, TrayIconFlags) {
    IconAddResult(state, false);
    EXPECT_TRUE(state.iconRetry);
    EXPECT_FALSE(state.iconShown);
    EXPECT_TRUE(TakeIconRetry(state));
    EXPECT_FALSE(TakeIconRetry(state));
    IconAddResult(state, true);
    EXPECT_TRUE(IconNeedsRemoveBeforeAdd(state));
    EXPECT_TRUE(BeginHideIcon(state));
    EXPECT_FALSE(BeginHideIcon(state));  // nothing shown: nothing deleted, nothing logged
    state.iconRetry = true;
    EXPECT_TRUE(BeginHideIcon(state)) << "the failed add may have reached the shell";
    EXPECT_FALSE(state.iconRetry) << "hiding cancels a pending retry";
    EXPECT_EQ(MainLog(), Lines{"Hide Icon"});
    EXPECT_FALSE(TaskbarRecreated(state)) << "a hidden icon stays hidden in a new shell";
    IconAddResult(state, true);
    EXPECT_TRUE(TaskbarRecreated(state) && !state.iconShown);
}

TEST_F(HousekeepingTest, FailedSaveIsRetriedEveryTickAndNoticedOnceUntilASaveSucceeds) {
    std::string folder = dir.file("gone");
    SetIniPath(JoinPath(folder, "NIMBO.INI"));
    AddDirtyLease();
    noticeShown = false;  // no icon yet: the notice waits for one
    Tick();
    noticeShown = true;
    Tick();
    Tick();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "notice"), 2);
    EXPECT_TRUE(LeasesDirty.load());
    EXPECT_TRUE(state.saveFailing);

    std::filesystem::create_directory(folder);
    Tick();
    Tick();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "recovered"), 1);
    EXPECT_FALSE(LeasesDirty.load());
    EXPECT_FALSE(state.saveFailing);
    EXPECT_NE(ReadFile(JoinPath(folder, "NIMBO.INI")).find("pc1~000c2911220a="), std::string::npos);

    // A failed settings save (the properties window's) makes the tick save
    // everything, until it succeeds.
    NoteSettingsSaved(state, false);
    calls.clear();
    Tick();
    EXPECT_FALSE(state.settingsUnsaved);
    EXPECT_NE(ReadFile(JoinPath(folder, "NIMBO.INI")).find("AutoRefresh=Yes"), std::string::npos);
}

// A clock that gives the listed tick counts one read after the other and
// then stays at the last: the tick reads it when it starts and after a save.
std::vector<uint32_t> clockReads;
size_t clockRead = 0;
uint32_t ScriptedTick() { return clockReads[std::min(clockRead++, clockReads.size() - 1)]; }

TEST_F(HousekeepingTest, SlowSavesWaitNineTimesTheirDurationAtMostTenSecondsFastOnesDoNot) {
    SetTickSource(ScriptedTick);
    // Each step: the clock reads of one tick, then whether it saved.
    auto tickAt = [&](std::vector<uint32_t> reads) {
        clockReads = std::move(reads);
        clockRead = 0;
        Tick();
        const bool saved = !LeasesDirty.load();
        MarkLeasesDirty();  // a lease changes after every tick
        return saved;
    };
    AddDirtyLease();
    EXPECT_TRUE(tickAt({1000, 1049}));  // 49 ms: the half-second cadence stays
    EXPECT_TRUE(tickAt({1500, 1620}));  // 120 ms: the next waits 1080 ms from 1620
    EXPECT_FALSE(tickAt({2000}));
    EXPECT_FALSE(tickAt({2699}));
    EXPECT_TRUE(tickAt({2700, 2730}));  // fast again
    EXPECT_TRUE(tickAt({3200, 3210}));
    // So does the retry of a settings save that failed.
    EXPECT_TRUE(tickAt({3700, 4700}));
    NoteSettingsSaved(state, false);
    EXPECT_FALSE(tickAt({13699}));
    EXPECT_TRUE(state.settingsUnsaved);
    EXPECT_TRUE(tickAt({13700, 13710}));
    EXPECT_FALSE(state.settingsUnsaved);
    // A save stalled for 30 s pauses saving for 10 s, not 4.5 minutes.
    EXPECT_TRUE(tickAt({20000, 50000}));
    EXPECT_FALSE(tickAt({59999}));
    EXPECT_TRUE(tickAt({60000, 60010}));
    // Across the wrap of the tick count.
    EXPECT_TRUE(tickAt({0xFFFFFF00u, 0xFFFFFFFFu}));  // 255 ms
    EXPECT_FALSE(tickAt({0x00000800u}));
    EXPECT_TRUE(tickAt({0x000008FEu, 0x00000900u}));
}

}  // namespace
