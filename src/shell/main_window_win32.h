// The hidden main window of NIMBO.exe, class "NIMBOClass", title "DHCP
// Server": it starts the server thread, runs the 500 ms housekeeping timer,
// owns the tray icon and its menu, carries out the menu commands and answers
// the command message (WM_COPYDATA, tag 25975) of other programs.
// Main thread only. The decisions are in housekeeping.h; this file's
// implementation moves messages.
#pragma once

#include <windows.h>

#include <string>

#include "ui/show_message_win32.h"

// Private messages of the main window (MSG_LEASES_CHANGED, 0x8001, is in
// leases_changed.h).
constexpr UINT MSG_MENU_CLOSED = WM_APP;           // posted after the tray menu closes; no handler
constexpr UINT MSG_DESTROY_MAIN = WM_APP + 2;      // destroy the window (Shutdown Server)
constexpr UINT MSG_SET_TRAY_ICON = WM_APP + 3;     // wParam: non-zero show, 0 hide
constexpr UINT MSG_TRAY_CALLBACK = WM_APP + 4;     // wParam: icon id, lParam: mouse message
constexpr UINT MSG_OTHER_SERVER = WM_APP + 9;      // wParam: another DHCP server's address, first seen

constexpr const char* DIALOG_WINDOW_CLASS = "NIMBODlgClass";

// Held by the main thread from its creation until start-up is complete, and
// by the Properties command while the properties window is open. A Win32
// mutex: owned per thread and recursive for its owner, so the main thread is
// never busy with itself. Created owned by CreateStartupLock.
extern HANDLE StartupLock;
bool CreateStartupLock();
void CloseStartupLock();

// The program's instance and its 16x16 icon (the tray icon); set at start-up.
extern HINSTANCE ProgramInstance;
extern HICON SmallIcon;

// Registers "NIMBODlgClass" (the properties dialog's class, for the icon) and
// "NIMBOClass". False when the main class could not be registered.
bool RegisterWindowClasses(HINSTANCE instance);

// Creates the hidden main window (which starts the timer and the server
// thread) and waits until it exists. Null on failure.
HWND CreateMainWindow(HINSTANCE instance);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The command message: answers 0, 1 or 2 and posts the commands' effects to
// the window, so they happen after the sender has its answer. The text is
// read up to its zero byte but never past cbData bytes.
LRESULT HandleCommandMessage(HWND window, const COPYDATASTRUCT* data);

// The menu commands 40002 Properties, 40003 Shutdown Server, 40004 Help.
void ExecuteCommand(int command, HWND window);


// ---- test seams ----
// The window that gets the lease view refresh: ActiveLeasesPage() by default.
using LeaseViewSource = HWND (*)();
void SetLeaseViewSource(LeaseViewSource source);  // nullptr: ActiveLeasesPage
