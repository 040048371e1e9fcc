#include "config/ansi_text.h"

#include <cstdint>

namespace {

void PutUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point of the UTF-8 sequence at text[i] and its length; length 0
// when no valid (shortest-form, non-surrogate) sequence starts there.
uint32_t ReadUtf8(const std::string& text, size_t i, size_t& length) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t first = byte(i);
    length = 0;
    size_t n;
    uint32_t code;
    if (first >= 0xC2 && first <= 0xDF) {
        n = 2;
        code = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        n = 3;
        code = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        n = 4;
        code = first & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    length = n;
    return code;
}

}  // namespace

std::string AnsiFromUtf16(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code - 0xDC00);  // a byte that was no UTF-8, as it was
            continue;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = '?';  // half of a pair: no character
        }
        PutUtf8(out, code);
    }
    return out;
}

std::u16string Utf16FromAnsi(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length;
        uint32_t code = ReadUtf8(text, i, length);
        if (length == 0) {
            // A byte that begins no UTF-8 sequence (a host name off the wire
            // in another code page, say) is kept as a lone low surrogate, so
            // that it reads back as the same byte.
            code = static_cast<uint8_t>(text[i]);
            if (code >= 0x80) code += 0xDC00;
            length = 1;
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}
