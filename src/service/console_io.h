// NimboSVC's dialogue with the user: text out and single keys in. Keys are
// read one at a time, without echo and without waiting for Enter. Both ends
// go through replaceable functions so that a test can script the keys and
// collect the text.
#pragma once

#include <string>

// What a key reader returns when no key will ever come (input closed).
constexpr int NO_MORE_KEYS = -1;
constexpr int KEY_ESCAPE = 27;

using KeyReader = int (*)();
using TextWriter = void (*)(const char* text);

// Replaces the key source and the text sink; nullptr restores the console.
void SetConsoleIo(KeyReader reader, TextWriter writer);

// The console's own ends: the next key pressed (a byte of input when the
// input is not a console), and stdout, flushed after each text.
int ReadConsoleKey();
void WriteStdout(const char* text);

#if defined(__GNUC__)
#define NIMBOSVC_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define NIMBOSVC_PRINTF(fmt, args)
#endif

void Say(const char* format, ...) NIMBOSVC_PRINTF(1, 2);

// Reads keys until one of accepted arrives and returns it; other keys are
// ignored. Returns NO_MORE_KEYS when the input ends first, so that a closed
// input cannot keep the program waiting for ever.
int WaitForKey(const std::string& accepted);
