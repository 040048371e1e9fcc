#include "shell/tray_icon_win32.h"

#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "shell/main_window_win32.h"

namespace {

constexpr UINT BALLOON_TIMEOUT_MS = 15000;
// MSGFLT_ALLOW of ChangeWindowMessageFilterEx (Windows 7; the program is
// built for Vista and later).
constexpr DWORD FILTER_ALLOW = 1;

MessageFilterCall messageFilterCall = nullptr;

// The plain icon: the first fields of the record only (its original 88-byte
// form on 32-bit Windows), which every shell version accepts.
NOTIFYICONDATAA TrayIconData(HWND window) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = MSG_TRAY_CALLBACK;
    data.hIcon = SmallIcon;
    lstrcpynA(data.szTip, "Nimbo", sizeof data.szTip);
    return data;
}

template <typename Call>
Call User32Call(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

// Windows 7 and later filter per window; Vista only per process.
void AllowMessage(HWND window, UINT message) {
    if (messageFilterCall) {
        messageFilterCall(window, message, FILTER_ALLOW, nullptr);
        return;
    }
    static const auto perWindow = User32Call<MessageFilterCall>("ChangeWindowMessageFilterEx");
    if (perWindow) {
        perWindow(window, message, FILTER_ALLOW, nullptr);
        return;
    }
    using PerProcess = BOOL(WINAPI*)(UINT, DWORD);
    static const auto perProcess = User32Call<PerProcess>("ChangeWindowMessageFilter");
    if (perProcess) perProcess(message, MSGFLT_ADD);
}

}  // namespace

bool AddTrayIcon(HWND window) {
    NOTIFYICONDATAA data = TrayIconData(window);
    return Shell_NotifyIconA(NIM_ADD, &data) != FALSE || Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void DeleteTrayIcon(HWND window) {
    NOTIFYICONDATAA data = TrayIconData(window);
    Shell_NotifyIconA(NIM_DELETE, &data);
}

// Needs the larger record (NIF_INFO and its texts).
bool ShowTrayBalloon(HWND window, const std::string& title, DWORD infoFlags, const std::string& text) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = infoFlags;
    data.uTimeout = BALLOON_TIMEOUT_MS;
    lstrcpynA(data.szInfoTitle, title.c_str(), sizeof data.szInfoTitle);
    lstrcpynA(data.szInfo, text.c_str(), sizeof data.szInfo);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

std::string FormatResourceString(UINT id, ...) {
    const std::string format = LoadResourceString(id, MESSAGE_TEXT_LIMIT);
    char text[MESSAGE_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, id);
    std::vsnprintf(text, sizeof text, format.c_str(), arguments);
    va_end(arguments);
    return text;
}

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void AllowShellMessages(HWND window) {
    AllowMessage(window, WM_COPYDATA);
    AllowMessage(window, TaskbarCreatedMessage());
}

void SetMessageFilterCall(MessageFilterCall call) { messageFilterCall = call; }
