#include "command_sender_win32.h"

#include "shell/command_message.h"

HWND FindServerWindow() { return FindWindowA(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE); }

namespace {

COPYDATASTRUCT CommandData(const char* text) {
    COPYDATASTRUCT data{};
    data.dwData = COMMAND_MESSAGE_TAG;
    data.cbData = static_cast<DWORD>(lstrlenA(text) + 1);
    data.lpData = const_cast<char*>(text);
    return data;
}

}  // namespace

LRESULT SendCommandText(HWND server, const char* text) {
    COPYDATASTRUCT data = CommandData(text);
    return SendMessageA(server, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

bool SendCommandTextWithin(HWND server, const char* text, DWORD timeoutMs, LRESULT* answer) {
    COPYDATASTRUCT data = CommandData(text);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(server, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, timeoutMs,
                             &result))
        return false;
    *answer = static_cast<LRESULT>(result);
    return true;
}
