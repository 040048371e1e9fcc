// Single keys from the console input, without echo and without Enter.
#include <windows.h>

#include "service/console_io.h"

int ReadConsoleKey() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (!GetConsoleMode(input, &mode)) {
        // Input from a pipe or a file: one byte is one key.
        char byte;
        DWORD count = 0;
        if (!ReadFile(input, &byte, 1, &count, nullptr) || count != 1) return NO_MORE_KEYS;
        return static_cast<unsigned char>(byte);
    }
    // Raw input records are neither echoed nor line-buffered. Key releases,
    // mouse and focus events and keys without a character (Shift, arrows) are
    // skipped.
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!ReadConsoleInputA(input, &record, 1, &count) || count != 1) return NO_MORE_KEYS;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.uChar.AsciiChar != 0) {
            return static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        }
    }
}
