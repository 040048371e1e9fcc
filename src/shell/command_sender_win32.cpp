#include "command_sender_win32.h"

#include "shell/command_message.h"

HWND FindServerWindow() { return FindWindowA(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE); }

LRESULT SendCommandText(HWND server, const char* text) {
    COPYDATASTRUCT data{};
    data.dwData = COMMAND_MESSAGE_TAG;
    data.cbData = static_cast<DWORD>(lstrlenA(text) + 1);
    data.lpData = const_cast<char*>(text);
    return SendMessageA(server, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}
