#include "main_window_win32.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/other_servers.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "shell/command_message.h"
#include "leases/leases_changed.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "shell/handover_win32.h"
#include "shell/housekeeping.h"
#include "shell/program_win32.h"
#include "shell/resource.h"
#include "shell/tray_icon_win32.h"
#include "ui/properties.h"

HANDLE StartupLock = nullptr;
HINSTANCE ProgramInstance = nullptr;
HICON SmallIcon = nullptr;

namespace {

HWND mainWindow = nullptr;
// The window the lease store's notification reaches, from any thread.
std::atomic<HWND> leasesChangedTarget{nullptr};

void PostLeasesChangedToMainWindow() {
    if (HWND window = leasesChangedTarget.load()) PostMessageA(window, MSG_LEASES_CHANGED, 0, 0);
}
// From the server thread: the balloon is shown on the main thread.
void PostOtherServerToMainWindow(uint32_t server) {
    if (HWND window = leasesChangedTarget.load()) PostMessageA(window, MSG_OTHER_SERVER, server, 0);
}
LeaseViewSource leaseViewSource = nullptr;

// ---- the desktop as the timer tick sees it ----

bool ShellPresent() {
    return FindWindowA("Shell_TrayWnd", nullptr) != nullptr || FindWindowA(nullptr, "Program Manager") != nullptr ||
           FindWindowA("Progman", nullptr) != nullptr;
}

void PostTrayIcon(bool show) { PostMessageA(mainWindow, MSG_SET_TRAY_ICON, show ? 1 : 0, 0); }

void RefreshLeaseView() {
    HWND page = leaseViewSource ? leaseViewSource() : ActiveLeasesPage();
    if (page) PostMessageA(page, MSG_LEASES_CHANGED, 0, 0);
}

// The system's text for an error code, without its line end.
std::string SystemErrorText(long error) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    while (length > 0 && std::strchr("\r\n. ", text[length - 1]) != nullptr) {
        text[--length] = '\0';
    }
    return length ? std::string(text, length) : "unknown error";
}

// A balloon on the tray icon saying that NIMBO.INI could not be written.
bool ShowSaveNotice(long error) {
    if (!Housekeeping.iconShown) return false;
    return ShowTrayBalloon(mainWindow, LoadResourceString(IDS_SAVE_FAILED_TITLE, MESSAGE_TEXT_LIMIT), NIIF_WARNING,
                           FormatResourceString(IDS_SAVE_FAILED_TEXT, SystemErrorText(error).c_str(), error));
}

// The first sighting of another DHCP server in this run. Shown once: without
// an icon the log line is all.
void OnOtherServer(uint32_t server) {
    if (!Housekeeping.iconShown) return;
    ShowTrayBalloon(mainWindow, FormatResourceString(IDS_OTHER_SERVER_TITLE, FormatAddress(server).c_str()),
                    NIIF_WARNING, LoadResourceString(IDS_OTHER_SERVER_TEXT, MESSAGE_TEXT_LIMIT));
}

const TickDesktop desktop = {ShellPresent, PostTrayIcon, RefreshLeaseView, ShowSaveNotice};

// The Properties command: StartupLock without waiting, the busy message
// (owned by the main window) while another thread holds it.
void OpenProperties(HWND owner) {
    DWORD wait;
    while ((wait = WaitForSingleObject(StartupLock, 0)) == WAIT_TIMEOUT) {
        if (ShowMessage(owner, IDS_PROPERTIES_BUSY, IDS_NIMBO_ERROR, MB_RETRYCANCEL | MB_ICONINFORMATION) != IDRETRY) {
            return;
        }
    }
    ShowPropertiesDialog();
    if (wait != WAIT_FAILED) ReleaseMutex(StartupLock);
    // The dialog saves everything when it closes; a failure there is retried
    // by the timer like a failed lease save.
    NoteSettingsSaved(Housekeeping, LastSaveError() == 0);
    if (HandOverActive()) HandBackToService(owner, false);
}

// ---- one handler per message ----

LRESULT OnCreate(HWND window) {
    mainWindow = window;
    leasesChangedTarget.store(window);
    SetLeasesChangedCallback(&PostLeasesChangedToMainWindow);
    SetOtherServerCallback(&PostOtherServerToMainWindow);
    SetTimer(window, MAIN_TIMER_ID, MAIN_TIMER_PERIOD_MS, nullptr);
    AllowShellMessages(window);
    // Without the thread the program runs on without DHCP service, as after
    // a failed bind.
    if (!StartProgramServerThread()) WriteLog(-1, "Failed to start the DHCP Server thread - Code = %lu\n", GetLastError());
    return 0;
}

void OnDestroy(HWND window) {
    SendMessageA(window, MSG_SET_TRAY_ICON, 0, 0);
    KillTimer(window, MAIN_TIMER_ID);
    SetLeasesChangedCallback(nullptr);
    SetOtherServerCallback(nullptr);
    leasesChangedTarget.store(nullptr);
    if (mainWindow == window) mainWindow = nullptr;
    PostQuitMessage(0);
}

void OnClose() { WriteLog(3, "Got WM_CLOSE - Ignoring!\n"); }

void OnEndSession(HWND window, bool ending, LPARAM reason) {
    // Only exactly ENDSESSION_LOGOFF counts for the icon.
    if (EndSession(Housekeeping, static_cast<DWORD>(reason) == ENDSESSION_LOGOFF)) {
        PostMessageA(window, MSG_SET_TRAY_ICON, 0, 0);
    }
    // A session that really ends may take the process with it: save now (a
    // service's server saves again when the service stops).
    if (!ending) return;
    if (HandOverActive()) {
        HandBackToService(window, true);
    } else {
        NoteSettingsSaved(Housekeeping, saveSettings());
    }
}

void OnTimeChange() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    ExpireLeases();
}

void OnTimer() { RunTimerTick(Housekeeping, desktop); }

void OnSetTrayIcon(HWND window, bool show) {
    // Shells before version 4 have no notification area.
    if (LOBYTE(LOWORD(GetVersion())) < 4) return;
    if (!show) {
        if (BeginHideIcon(Housekeeping)) DeleteTrayIcon(window);
        return;
    }
    if (IconNeedsRemoveBeforeAdd(Housekeeping)) SendMessageA(window, MSG_SET_TRAY_ICON, 0, 0);
    IconAddResult(Housekeeping, AddTrayIcon(window));
}

// Explorer (re)started with an empty notification area: the icon it had
// is added again.
void OnTaskbarCreated(HWND window) {
    if (TaskbarRecreated(Housekeeping)) PostMessageA(window, MSG_SET_TRAY_ICON, 1, 0);
}

void ShowTrayMenu(HWND window) {
    POINT cursor{};
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuA(ProgramInstance, MAKEINTRESOURCEA(IDM_TRAY));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    SetMenuDefaultItem(popup, IDM_PROPERTIES, FALSE);
    if (HandOverActive()) AddHandOverNote(popup);
    // Without the foreground the menu would not close when clicked away.
    SetForegroundWindow(window);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    PostMessageA(window, MSG_MENU_CLOSED, 0, 0);
    DestroyMenu(menu);
}

void OnTrayCallback(HWND window, WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != TRAY_ICON_ID) return;
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        SendMessageA(window, WM_COMMAND, IDM_PROPERTIES, 0);
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        ShowTrayMenu(window);
    }
}

}  // namespace

bool CreateStartupLock() {
    StartupLock = CreateMutexA(nullptr, TRUE, nullptr);
    return StartupLock != nullptr;
}

void CloseStartupLock() {
    if (StartupLock) CloseHandle(StartupLock);
    StartupLock = nullptr;
}

void SetLeaseViewSource(LeaseViewSource source) { leaseViewSource = source; }

bool RegisterWindowClasses(HINSTANCE instance) {
    auto registered = [](const WNDCLASSA& windowClass) {
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    };
    WNDCLASSA dialog{};
    dialog.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
    dialog.lpfnWndProc = DefDlgProcA;
    dialog.cbWndExtra = DLGWINDOWEXTRA;
    dialog.hInstance = instance;
    dialog.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_NIMBO));
    dialog.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    dialog.lpszClassName = DIALOG_WINDOW_CLASS;
    registered(dialog);  // only the main class decides

    WNDCLASSA main{};
    main.lpfnWndProc = MainWindowProc;
    main.hInstance = instance;
    main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_NIMBO));
    main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    main.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    main.lpszClassName = MAIN_WINDOW_CLASS;
    return registered(main);
}

HWND CreateMainWindow(HINSTANCE instance) {
    HWND window = CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    while (!IsWindow(window)) Sleep(500);
    return window;
}

LRESULT HandleCommandMessage(HWND window, const COPYDATASTRUCT* data) {
    if (data == nullptr) return COMMAND_RESULT_NONE;
    // The text ends at its zero byte, or where the sender's data ends: a
    // sender that leaves out the zero is not read past its buffer.
    std::string text;
    if (data->lpData != nullptr) {
        const char* bytes = static_cast<const char*>(data->lpData);
        text.assign(bytes, strnlen(bytes, data->cbData));
    }
    std::vector<HostAction> actions;
    int result = HandleCommandMessage(static_cast<uint32_t>(data->dwData), text.c_str(), &actions);
    for (HostAction action : actions) {
        switch (action) {
            case HostAction::Shutdown: PostMessageA(window, WM_COMMAND, IDM_SHUTDOWN_SERVER, 0); break;
            case HostAction::Options: PostMessageA(window, WM_COMMAND, IDM_PROPERTIES, 0); break;
            case HostAction::ShowIcon: PostMessageA(window, MSG_SET_TRAY_ICON, 1, 0); break;
            case HostAction::HideIcon: PostMessageA(window, MSG_SET_TRAY_ICON, 0, 0); break;
        }
    }
    return result;
}

void ExecuteCommand(int command, HWND window) {
    switch (command) {
        case IDM_PROPERTIES: OpenProperties(window); break;
        case IDM_SHUTDOWN_SERVER: PostMessageA(window, MSG_DESTROY_MAIN, 0, 0); break;
        case IDM_HELP: OpenHelp(window); break;
        default: break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return OnCreate(window);
        case WM_DESTROY: OnDestroy(window); return 0;
        case WM_CLOSE: OnClose(); return 0;
        case WM_ENDSESSION: OnEndSession(window, wParam != 0, lParam); return 0;
        case WM_TIMECHANGE: OnTimeChange(); return 0;
        case WM_COPYDATA: return HandleCommandMessage(window, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_COMMAND: ExecuteCommand(LOWORD(wParam), window); return 0;
        case WM_TIMER: OnTimer(); return 0;
        case MSG_LEASES_CHANGED: Housekeeping.refreshRequested = true; return 0;
        case MSG_DESTROY_MAIN: DestroyWindow(window); return 0;
        case MSG_SET_TRAY_ICON: OnSetTrayIcon(window, wParam != 0); return 0;
        case MSG_TRAY_CALLBACK: OnTrayCallback(window, wParam, lParam); return 0;
        case MSG_OTHER_SERVER: OnOtherServer(static_cast<uint32_t>(wParam)); return 0;
        default:
            if (message == TaskbarCreatedMessage()) {
                OnTaskbarCreated(window);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
