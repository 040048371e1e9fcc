#include "service/console_io.h"

#include <cstdarg>
#include <cstdio>

namespace {

KeyReader ActiveReader = ReadConsoleKey;
TextWriter ActiveWriter = WriteStdout;

}  // namespace

void SetConsoleIo(KeyReader reader, TextWriter writer) {
    ActiveReader = reader != nullptr ? reader : ReadConsoleKey;
    ActiveWriter = writer != nullptr ? writer : WriteStdout;
}

void WriteStdout(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void Say(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    ActiveWriter(text);
}

int WaitForKey(const std::string& accepted) {
    for (;;) {
        int key = ActiveReader();
        if (key == NO_MORE_KEYS) return NO_MORE_KEYS;
        if (key != 0 && accepted.find(static_cast<char>(key)) != std::string::npos) return key;
    }
}
