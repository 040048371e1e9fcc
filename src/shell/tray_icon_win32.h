// The main window's icon in the notification area and its balloons, and the
// two messages the window lets through from programs of a lower integrity
// level. Main thread only; the flags that decide when to add, retry or
// delete the icon are in housekeeping.h.
#pragma once

#include <windows.h>

#include <string>

// The id of the one icon; the callback message carries it.
constexpr UINT TRAY_ICON_ID = 0;

// Adds the icon (id TRAY_ICON_ID, the callback message, the small icon, tip "Nimbo").
// An add that fails may still have reached the shell: at logon Explorer can
// be too busy to answer in time and add the icon all the same, and every
// later add is then refused as a duplicate. So a failed add is followed by a
// modify, which only an icon that exists takes. True when the icon is there.
bool AddTrayIcon(HWND window);
void DeleteTrayIcon(HWND window);

// A balloon on the icon; `infoFlags` is NIIF_INFO, NIIF_WARNING or
// NIIF_ERROR. False when it could not be shown.
bool ShowTrayBalloon(HWND window, const std::string& title, DWORD infoFlags, const std::string& text);
// String `id` of the string table formatted with the arguments (printf-style).
std::string FormatResourceString(UINT id, ...);

// "TaskbarCreated": Explorer broadcasts it when it (re)starts, with an
// empty notification area.
UINT TaskbarCreatedMessage();

// An elevated server still gets the command message (WM_COPYDATA) of a
// second start or NimboStop.exe run by a plain user, and Explorer's
// TaskbarCreated; nothing else from a lower integrity level passes.
void AllowShellMessages(HWND window);

// ---- test seam ----
// The call that lets a message through to a window: ChangeWindowMessageFilterEx
// where the system has it.
using MessageFilterCall = BOOL(WINAPI*)(HWND window, UINT message, DWORD action, void* status);
void SetMessageFilterCall(MessageFilterCall call);  // nullptr: the system's
