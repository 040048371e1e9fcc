#include "config/ansi_text.h"

#include <windows.h>

std::string AnsiFromUtf16(const std::u16string& text) {
    if (text.empty()) return std::string();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, &result[0], size, nullptr, nullptr);
    return result;
}

std::u16string Utf16FromAnsi(const std::string& text) {
    if (text.empty()) return std::u16string();
    const int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::u16string result(static_cast<size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(&result[0]), size);
    return result;
}
