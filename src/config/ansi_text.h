// UTF-16 text and the system's 8-bit ("ANSI") text, converted as the A forms
// of the Windows profile calls convert a Unicode INI file: on Windows
// through the ANSI code page (a character it lacks becomes its default
// character, "?"); elsewhere through UTF-8, the text of the Linux host,
// where a byte that begins no valid UTF-8 sequence becomes the lone
// surrogate U+DC80..U+DCFF and back, so every byte string survives a save.
#pragma once

#include <string>

std::string AnsiFromUtf16(const std::u16string& text);
std::u16string Utf16FromAnsi(const std::string& text);
