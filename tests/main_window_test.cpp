// The main window of NIMBO.exe driven in-process with real messages: the
// close request, the command message, the timer tick, the lease view
// refresh, the session end, the tray icon against a stand-in notification
// area, a failed save, the busy Properties command and the shutdown.
//
// The stand-in "Shell_TrayWnd" window is what the shell's Shell_NotifyIcon
// talks to: it receives each NIM_ADD / NIM_MODIFY / NIM_DELETE as
// WM_COPYDATA (dwData = the NIM_ code; Wine's record starts with the window,
// the icon id and the NIF_ flags as 32-bit numbers) and answers as a shell
// does (a second add is refused, a modify needs the icon), or too late.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "housekeeping_fixture.h"
#include "base/clock.h"
#include "shell/command_message.h"
#include "leases/leases_changed.h"
#include "shell/main_window_win32.h"
#include "base/paths.h"
#include "shell/program_win32.h"
#include "shell/start_decision.h"
#include "shell/tray_icon_win32.h"
#include "ui/properties.h"
#include "wait_until.h"
#include "win32_dialogs.h"

namespace {

// ---- the stand-in notification area ----

std::vector<DWORD> trayCalls;  // NIM_ADD, NIM_MODIFY, NIM_DELETE in order
UINT lastTrayFlags = 0;
BOOL trayAnswer = TRUE;                         // FALSE: every call is refused
bool trayTimesOut = false, iconInTray = false;  // an add made but answered too late

LRESULT CALLBACK FakeTrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto call = static_cast<DWORD>(data->dwData);
        trayCalls.push_back(call);
        if (data->cbData >= 12) lastTrayFlags = static_cast<const UINT*>(data->lpData)[2];
        const bool had = iconInTray;
        if (trayAnswer) iconInTray = call != NIM_DELETE && (had || call == NIM_ADD);
        return trayAnswer && (call == NIM_ADD ? !had && !trayTimesOut : had);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<std::pair<HWND, UINT>> allowed;  // through the message filter (MSGFLT_ALLOW 1)
BOOL WINAPI RecordFilter(HWND window, UINT message, DWORD action, void*) {
    return action == 1 ? (allowed.emplace_back(window, message), TRUE) : FALSE;
}

int CountCalls(DWORD call) { return static_cast<int>(std::count(trayCalls.begin(), trayCalls.end(), call)); }

// ---- the stand-in Active Leases page: counts its refreshes ----

int refreshes = 0;
HWND leaseView = nullptr;

LRESULT CALLBACK LeaseViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MSG_LEASES_CHANGED) ++refreshes;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND TestLeaseView() { return leaseView; }

uint32_t testTick = 0;
uint32_t TestTick() { return testTick; }

void EndAtOnce() {}
void NeverEnd() { Sleep(INFINITE); }

void RegisterTestClass(const char* name, WNDPROC procedure) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

// Another thread holds StartupLock while this object lives.
class StartupLockHolder {
public:
    StartupLockHolder() {
        thread_ = std::thread([this] {
            WaitForSingleObject(StartupLock, INFINITE);
            SetEvent(taken_);
            WaitForSingleObject(release_, INFINITE);
            ReleaseMutex(StartupLock);
        });
        WaitForSingleObject(taken_, INFINITE);
    }
    ~StartupLockHolder() {
        SetEvent(release_);
        thread_.join();
        CloseHandle(taken_);
        CloseHandle(release_);
    }

private:
    HANDLE taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread_;
};

class MainWindowTest : public HousekeepingFixture {
protected:
    void SetUp() override {
        HousekeepingFixture::SetUp();
        trayCalls.clear();
        trayAnswer = TRUE;
        trayTimesOut = false;
        allowed.clear();
        SetMessageFilterCall(&RecordFilter);
        refreshes = 0;
        // The tick's own clock stands still: a save takes no time on it, so
        // a slow disk cannot make the tick put off the next save.
        testTick = 0;
        SetTickSource(&TestTick);

        ProgramInstance = GetModuleHandleA(nullptr);
        SetServerThreadBody(&EndAtOnce);
        // Start-up is complete: the lock is created owned and released.
        ASSERT_TRUE(CreateStartupLock());
        ReleaseMutex(StartupLock);
        ASSERT_TRUE(RegisterWindowClasses(ProgramInstance));
        RegisterTestClass("Shell_TrayWnd", FakeTrayProc);
        RegisterTestClass("NimboTestLeaseView", LeaseViewProc);
        window = CreateMainWindow(ProgramInstance);
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override {
        HideTray();
        if (IsWindow(window)) DestroyWindow(window);
        StopProgramServerThread(1000);
        Drain();
        if (leaseView) DestroyWindow(leaseView);
        leaseView = nullptr;
        CloseStartupLock();
        SetServerThreadBody(nullptr);
        SetLeaseViewSource(nullptr);
        SetMessageFilterCall(nullptr);
        HousekeepingFixture::TearDown();
    }

    LRESULT Command(const char* text, ULONG_PTR tag = COMMAND_MESSAGE_TAG, DWORD length = 0) {
        COPYDATASTRUCT data{tag, length ? length : static_cast<DWORD>(strlen(text) + 1), const_cast<char*>(text)};
        return SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }

    // What was posted to the main window, taken off its queue undispatched.
    std::vector<std::pair<UINT, WPARAM>> Posted() {
        std::vector<std::pair<UINT, WPARAM>> posted;
        MSG message;
        while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
            if (message.message != WM_TIMER) posted.emplace_back(message.message, message.wParam);
        }
        return posted;
    }

    // Runs what is queued (the test thread is the window's thread); a quit
    // message is kept in quitCode.
    void Pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitCode = static_cast<int>(message.wParam);
            } else if (message.message != WM_TIMER) {
                DispatchMessageA(&message);
            }
        }
    }

    void Drain() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    void Tick() {
        SendMessageA(window, WM_TIMER, MAIN_TIMER_ID, 0);
        Pump();
    }

    void ShowTray() {
        if (!tray) iconInTray = false;
        if (!tray) tray = CreateWindowExA(0, "Shell_TrayWnd", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    }
    void HideTray() {
        if (tray) DestroyWindow(tray);
        tray = nullptr;
    }

    bool Logged(const std::string& line) const {
        std::vector<std::string> log = MainLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    HWND window = nullptr;
    HWND tray = nullptr;
    int quitCode = -1;
};

using PostedList = std::vector<std::pair<UINT, WPARAM>>;

TEST_F(MainWindowTest, CloseRequestIsIgnoredAndLogged) {
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    Pump();
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(Logged("Got WM_CLOSE - Ignoring!"));
}

TEST_F(MainWindowTest, CommandMessageAnswersAndOnlyPostsItsCommands) {
    struct Case {
        const char* text;
        LRESULT answer;
        PostedList posted;
    };
    const Case cases[] = {
        {"/SHUTDOWN", 1, {{WM_COMMAND, IDM_SHUTDOWN_SERVER}}},
        {"-shutdown", 1, {{WM_COMMAND, IDM_SHUTDOWN_SERVER}}},
        {"/SHUTDOWN /QUIET", 0, {{WM_COMMAND, IDM_SHUTDOWN_SERVER}}},
        {"/OPTIONS", 0, {{WM_COMMAND, IDM_PROPERTIES}}},
        {"/SHOWICON /BOGUS", 2, {{MSG_SET_TRAY_ICON, 1}}},
        {"/HIDEICON", 0, {{MSG_SET_TRAY_ICON, 0}}},
        {"SHUTDOWN", 2, {}},
        {"", 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Command(c.text), c.answer) << c.text;
        EXPECT_TRUE(IsWindow(window)) << c.text;
        EXPECT_EQ(Posted(), c.posted) << c.text;
    }
    // Another tag: answered 0, not even logged.
    EXPECT_EQ(Command("/SHUTDOWN", 1), 0);
    EXPECT_EQ(Posted(), PostedList{});
    std::vector<std::string> log = MainLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.rfind("Command Line - ", 0) == 0; }),
              8);
    // A sender whose data has no zero byte: read only as far as its length.
    EXPECT_EQ(Command("/SHUTDOWNXYZ", COMMAND_MESSAGE_TAG, 9), 1);
    EXPECT_EQ(Posted(), (PostedList{{WM_COMMAND, IDM_SHUTDOWN_SERVER}}));

    // Carried out, the shutdown command destroys the window and ends the loop.
    Command("/SHUTDOWN /QUIET");
    Pump();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(quitCode, 0);
}

TEST_F(MainWindowTest, TimerTickSavesChangedLeasesThenSweeps) {
    const uint64_t hour = 3600ULL * FILETIME_TICKS_PER_SECOND;
    AddLease("pc1", 0xC000020A, TEST_EPOCH + hour);
    AddLease("old", 0xC000020B, TEST_EPOCH - hour);
    MarkLeasesDirty();

    Tick();  // saves both (the save comes first), then sweeps the expired one
    std::string file = Ini();
    EXPECT_NE(file.find("pc1~00"), std::string::npos);
    EXPECT_NE(file.find("old~00"), std::string::npos);
    EXPECT_EQ(SnapshotLeases().size(), 1u);
    EXPECT_TRUE(LeasesDirty.load());

    Tick();  // the sweep's change reaches the file
    file = Ini();
    EXPECT_NE(file.find("pc1~00"), std::string::npos);
    EXPECT_EQ(file.find("old~00"), std::string::npos);
    EXPECT_FALSE(LeasesDirty.load());
}

TEST_F(MainWindowTest, ManyLeaseChangesWithinThreeSecondsGiveOneRefresh) {
    leaseView = CreateWindowExA(0, "NimboTestLeaseView", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetLeaseViewSource(&TestLeaseView);
    testTick = 100000;

    Pump();  // nothing requested yet
    Tick();
    EXPECT_EQ(refreshes, 0);

    // A change every half second for three seconds: one refresh at once,
    // the next only once more than 3000 ms have passed.
    for (int step = 0; step <= 6; ++step) {
        PostLeasesChanged();
        PostLeasesChanged();
        Tick();
        testTick += 500;
    }
    EXPECT_EQ(refreshes, 1);
    testTick += 1;  // 3501 ms after the first refresh
    Tick();
    EXPECT_EQ(refreshes, 2);

    // With AutoRefresh off the request waits; switched on, it goes out.
    UpdateSettings([](ServerSettings& s) { s.AutoRefresh = false; });
    PostLeasesChanged();
    testTick += 10000;
    Tick();
    EXPECT_EQ(refreshes, 2);
    UpdateSettings([](ServerSettings& s) { s.AutoRefresh = true; });
    Tick();
    EXPECT_EQ(refreshes, 3);
}

TEST_F(MainWindowTest, WithoutADesktopShellThereIsNoIconAndNoLogon) {
    Tick();
    Tick();
    EXPECT_FALSE(Logged("User Logged On"));
    EXPECT_TRUE(trayCalls.empty());
    EXPECT_FALSE(Housekeeping.iconShown);

    // "/SHOWICON" tries, fails for want of a notification area, and every
    // following tick tries again.
    Command("/SHOWICON");
    Pump();
    EXPECT_TRUE(Housekeeping.iconRetry);
    EXPECT_EQ(Posted(), PostedList{});
    SendMessageA(window, WM_TIMER, MAIN_TIMER_ID, 0);
    EXPECT_EQ(Posted(), (PostedList{{MSG_SET_TRAY_ICON, 1}}));
}

TEST_F(MainWindowTest, IconIsRetriedAfterAFailedAddAndReAddedOnASecondShow) {
    ShowTray();
    trayAnswer = FALSE;  // the notification area refuses the first add
    Tick();
    EXPECT_TRUE(Logged("User Logged On"));
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY}));  // is it there all the same?
    EXPECT_EQ(lastTrayFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_TRUE(Housekeeping.iconRetry);

    trayAnswer = TRUE;
    Tick();
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD}));
    EXPECT_TRUE(Housekeeping.iconShown);
    EXPECT_FALSE(Housekeeping.iconRetry);

    // A second "/SHOWICON" removes the icon and adds it again: one icon.
    Command("/SHOWICON");
    Pump();
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_DELETE, NIM_ADD}));
    EXPECT_TRUE(Logged("Hide Icon"));
    Command("/HIDEICON");
    Pump();
    EXPECT_EQ(CountCalls(NIM_ADD) - 1, CountCalls(NIM_DELETE));  // the first add failed
    EXPECT_FALSE(Housekeeping.iconShown);

    trayTimesOut = true;  // Explorer busy: the icon added, the answer too late
    Command("/SHOWICON");
    Pump();
    EXPECT_TRUE(Housekeeping.iconShown && iconInTray);
    HideTray();  // Explorer restarts without it, and says so
    ShowTray();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    Pump();
    EXPECT_TRUE(iconInTray);
    Command("/HIDEICON");
    Pump();
    EXPECT_FALSE(iconInTray);
    // An elevated server lets the command message and TaskbarCreated through, nothing else.
    EXPECT_EQ(allowed, (std::vector<std::pair<HWND, UINT>>{{window, WM_COPYDATA},
                                                          {window, RegisterWindowMessageA("TaskbarCreated")}}));
}

HANDLE hungRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
LRESULT CALLBACK HungServerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) WaitForSingleObject(hungRelease, 20000);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A second start gives up on a hung server, says so and frees the start-up lock.
TEST_F(MainWindowTest, ASecondStartGivesUpOnAHungServer) {
    DestroyWindow(window);
    Drain();  // its quit message would end the box at once
    UnregisterClassA(MAIN_WINDOW_CLASS, ProgramInstance);
    RegisterTestClass(MAIN_WINDOW_CLASS, HungServerProc);
    std::thread server([] {
        CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        WaitForSingleObject(hungRelease, 20000);  // its window goes with the thread
    });
    ASSERT_TRUE(WaitUntil("the hung server's window", [] { return FindWindowA(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE) != nullptr; }));
    MessageBoxSeen box;
    std::thread reader([&] { TakeMessageBox(&box, 15000, IDOK); });
    SetSecondStartWait(500);
    EXPECT_EQ(RunProgram(ProgramInstance, "/SHOWICON"), 1);
    reader.join();
    EXPECT_EQ(box.text.substr(0, 40), "The running Nimbo server does not answer");
    DWORD wait = WAIT_FAILED;
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string lock = StartupMutexName(DirectoryOf(program));
    std::thread([&] { wait = WaitForSingleObject(CreateMutexA(nullptr, FALSE, lock.c_str()), 0); }).join();
    EXPECT_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0));
    SetEvent(hungRelease);
    server.join();
    UnregisterClassA(MAIN_WINDOW_CLASS, ProgramInstance);
}

TEST_F(MainWindowTest, SessionEndSavesAndLogoffHidesTheIconUntilTheShellComesBack) {
    ShowTray();
    Tick();
    ASSERT_TRUE(Housekeeping.iconShown);

    SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF | ENDSESSION_CLOSEAPP);  // not exactly logoff
    Pump();
    EXPECT_TRUE(Logged("End Session"));
    EXPECT_TRUE(Housekeeping.iconShown);
    EXPECT_NE(Ini().find("AutoRefresh=Yes"), std::string::npos) << "not saved as the session ends";
    DeleteFileA(dir.file("NIMBO.INI").c_str());

    // A session that goes on saves nothing; one that ends saves at once.
    EXPECT_EQ(Ini().find("AutoRefresh="), std::string::npos);
    SendMessageA(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    Pump();
    EXPECT_EQ(Ini().find("AutoRefresh="), std::string::npos);
    EXPECT_TRUE(Logged("End Session - Logoff"));
    EXPECT_FALSE(Housekeeping.iconShown);
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
    EXPECT_TRUE(IsWindow(window));

    Tick();  // the shell is still there: wait for it to go
    EXPECT_FALSE(Logged("User Logged Off"));
    HideTray();
    Tick();
    EXPECT_TRUE(Logged("User Logged Off"));
    ShowTray();
    Tick();
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_ADD}));
    EXPECT_TRUE(Housekeeping.iconShown);
}

TEST_F(MainWindowTest, FailedSaveShowsOneBalloonUntilASaveSucceeds) {
    ShowTray();
    Tick();
    ASSERT_TRUE(Housekeeping.iconShown);
    trayCalls.clear();

    std::string folder = dir.file("gone");
    SetIniPath(folder + "\\NIMBO.INI");  // a folder that does not exist: the write fails
    AddLease("pc1", 0xC000020A, NEVER_EXPIRES);
    MarkLeasesDirty();
    Tick();
    Tick();
    EXPECT_EQ(trayCalls, std::vector<DWORD>{NIM_MODIFY});  // one balloon for both failures
    EXPECT_EQ(lastTrayFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_TRUE(LeasesDirty.load());
    std::vector<std::string> log = MainLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.rfind("Cannot ", 0) == 0; }),
              1) << "the failure is logged once";

    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    Tick();
    EXPECT_FALSE(LeasesDirty.load());
    EXPECT_NE(ReadFile(folder + "\\NIMBO.INI").find("pc1~00"), std::string::npos);
    EXPECT_FALSE(Housekeeping.saveFailing);

    // Broken again: a new balloon.
    DeleteFileA((folder + "\\NIMBO.INI").c_str());
    RemoveDirectoryA(folder.c_str());
    MarkLeasesDirty();
    Tick();
    EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_MODIFY, NIM_MODIFY}));
}

TEST_F(MainWindowTest, PropertiesShowsTheBusyMessageWhileAnotherThreadHoldsTheStartupLock) {
    auto holder = std::make_unique<StartupLockHolder>();

    std::vector<MessageBoxSeen> boxes;
    std::thread reader([&] {
        MessageBoxSeen seen;
        if (TakeMessageBox(&seen, WAIT_LIMIT_MS, IDRETRY)) boxes.push_back(seen);  // Retry: still busy
        if (TakeMessageBox(&seen, WAIT_LIMIT_MS, IDCANCEL)) boxes.push_back(seen);  // Cancel: give up
    });
    SendMessageA(window, WM_COMMAND, IDM_PROPERTIES, 0);
    reader.join();
    ASSERT_EQ(boxes.size(), 2u);
    for (const MessageBoxSeen& seen : boxes) {
        EXPECT_EQ(seen.caption, "Nimbo Error");
        EXPECT_EQ(seen.text, "The Properties are currently busy. Please try again in a couple of seconds.");
        EXPECT_TRUE(seen.hasRetry && seen.hasCancel);
        EXPECT_EQ(seen.owner, window);
    }

    // No busy message while this (the main) thread owns the lock, as during
    // start-up, nor once it is free. The properties window, once it exists,
    // is closed by the watcher.
    holder.reset();
    WaitForSingleObject(StartupLock, INFINITE);
    for (int round = 0; round < 2; ++round) {
        std::atomic<bool> done{false};
        bool boxSeen = false;
        std::thread watcher([&] {
            while (!done) {
                if (HWND box = FindWindowA("#32770", nullptr); box && IsWindowVisible(box)) {
                    boxSeen = true;
                    PostMessageA(box, WM_CLOSE, 0, 0);
                }
                if (HWND dialog = FindWindowA(DIALOG_WINDOW_CLASS, nullptr)) PostMessageA(dialog, WM_CLOSE, 0, 0);
                Sleep(20);
            }
        });
        SendMessageA(window, WM_COMMAND, IDM_PROPERTIES, 0);
        done = true;
        watcher.join();
        EXPECT_FALSE(boxSeen) << (round == 0 ? "owned by the main thread" : "free");
        if (round == 0) ReleaseMutex(StartupLock);
    }
}

TEST_F(MainWindowTest, RightClickOnTheIconShowsTheMenuWithPropertiesAsDefaultAndDoubleClickOpensProperties) {
    std::string items;
    int defaultId = 0;
    bool seen = false;
    std::thread reader([&] {
        seen = ReadPopupMenu(&items, &defaultId, WAIT_LIMIT_MS);
        EndMenu();
    });
    PostMessageA(window, MSG_TRAY_CALLBACK, 1, WM_RBUTTONDOWN);  // another icon id: nothing
    SendMessageA(window, MSG_TRAY_CALLBACK, 0, WM_RBUTTONDOWN);
    reader.join();
    ASSERT_TRUE(seen);
    EXPECT_EQ(items, "&Help|-|&Properties...|-|&Shutdown Server");
    EXPECT_EQ(defaultId, IDM_PROPERTIES);
    Pump();
    EXPECT_EQ(Posted(), PostedList{});

    // The double click is the Properties command: with the lock held
    // elsewhere it shows the busy message.
    auto holder = std::make_unique<StartupLockHolder>();
    MessageBoxSeen box;
    std::thread boxReader([&] { seen = TakeMessageBox(&box, WAIT_LIMIT_MS, IDCANCEL); });
    SendMessageA(window, MSG_TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK);
    boxReader.join();
    holder.reset();
    EXPECT_TRUE(seen);
    EXPECT_EQ(box.caption, "Nimbo Error");
}

TEST_F(MainWindowTest, ShutdownSavesAfterTheServerThreadEnded) {
    DestroyWindow(window);
    EXPECT_EQ(ShutdownProgram(0, 5000), 0);
    EXPECT_TRUE(Logged("DHCP Server Terminated Successfully"));
    EXPECT_NE(Ini().find("AutoRefresh=Yes"), std::string::npos);
}

TEST_F(MainWindowTest, ServerThreadThatDoesNotEndIsTerminatedAndTheSettingsAreSavedAllTheSame) {
    // A window whose server thread never returns.
    DestroyWindow(window);
    StopProgramServerThread(1000);
    Drain();
    SetServerThreadBody(&NeverEnd);
    window = CreateMainWindow(ProgramInstance);
    ASSERT_NE(window, nullptr);
    DestroyWindow(window);
    DeleteFileA(MainLogPath().c_str());

    EXPECT_EQ(ShutdownProgram(3, 300), 3);
    EXPECT_TRUE(Logged("DHCP Server Not Terminated Properly"));
    EXPECT_FALSE(Logged("DHCP Server Terminated Successfully"));
    EXPECT_NE(Ini().find("AutoRefresh=Yes"), std::string::npos);
}

}  // namespace
