#include "text_string.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

char FoldAsciiCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
    return true;
}

TextString::TextString(const char* text) { assign(text); }

TextString::TextString(const TextString& other) { assign(other.data_ ? other.data_ : nullptr); }

TextString::TextString(TextString&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      length_(std::exchange(other.length_, 0)),
      cursor_(std::exchange(other.cursor_, -1)) {}

TextString& TextString::operator=(const TextString& other) {
    if (this != &other) assign(other.data_ ? other.data_ : nullptr);
    return *this;
}

TextString& TextString::operator=(TextString&& other) noexcept {
    if (this != &other) {
        delete[] data_;
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        length_ = std::exchange(other.length_, 0);
        cursor_ = 0;
        other.cursor_ = -1;
    }
    return *this;
}

TextString& TextString::operator=(const char* text) {
    if (text != data_) assign(text);
    return *this;
}

TextString::~TextString() { delete[] data_; }

void TextString::assign(const char* text) {
    if (!text) {
        if (data_) data_[0] = '\0';
        length_ = 0;
    } else {
        uint32_t n = static_cast<uint32_t>(std::strlen(text));
        if (capacity_ < n + 1) {
            char* fresh = new char[n + 1];
            delete[] data_;
            data_ = fresh;
            capacity_ = n + 1;
        }
        std::memmove(data_, text, n + 1);
        length_ = n;
    }
    cursor_ = 0;
}

void TextString::grow(uint32_t needed) {
    if (capacity_ >= needed) return;
    uint32_t fresh_capacity = needed + 128;
    char* fresh = new char[fresh_capacity];
    if (data_) {
        std::memcpy(fresh, data_, length_ + 1);
        delete[] data_;
    } else {
        length_ = 0;
        fresh[0] = '\0';
    }
    data_ = fresh;
    capacity_ = fresh_capacity;
}

bool TextString::equals(const char* other) const {
    if (!data_) return other == nullptr;
    return other && std::strcmp(data_, other) == 0;
}

int TextString::compareNoCase(const char* other) const {
    if (!other) return data_ ? 1 : 0;
    if (!data_) return 1;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(data_);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(other);
    for (;; ++a, ++b) {
        int ca = std::tolower(*a), cb = std::tolower(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

unsigned long TextString::toNumber() const { return data_ ? std::strtoul(data_, nullptr, 10) : 0; }

void TextString::clear() {
    if (data_) data_[0] = '\0';
    length_ = 0;
    cursor_ = 0;
}

void TextString::toUpper() {
    for (uint32_t i = 0; i < length_; ++i)
        data_[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(data_[i])));
}

TextString TextString::substring(uint32_t from) const {
    if (from == 0) return *this;
    if (from < length_) return TextString(data_ + from);
    return TextString("");
}

char TextString::at(uint32_t index) const { return index < length_ ? data_[index] : '\0'; }

void TextString::append(char ch) {
    grow(length_ + 2);
    data_[length_++] = ch;
    data_[length_] = '\0';
}

void TextString::append(const char* text) {
    if (!text) return;
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    // The text may be this string's own (t.append(t.text())): growing frees
    // the buffer it lies in, so its copy is taken from the new buffer.
    const bool own = data_ && text >= data_ && text < data_ + capacity_;
    const size_t offset = own ? static_cast<size_t>(text - data_) : 0;
    grow(n + length_ + 1);
    if (own) text = data_ + offset;
    std::memmove(data_ + length_, text, n);
    length_ += n;
    data_[length_] = '\0';
}

TextString TextString::nextToken(const char* delimiters, bool restart) {
    TextString result("");
    if (!data_) return result;
    if (restart || cursor_ < 0) cursor_ = 0;
    auto is_delimiter = [&](char c) { return c != '\0' && std::strchr(delimiters, c) != nullptr; };
    uint32_t pos = static_cast<uint32_t>(cursor_);
    if (pos > length_) pos = length_;
    while (pos < length_ && is_delimiter(data_[pos])) ++pos;
    while (pos < length_ && !is_delimiter(data_[pos])) result.append(data_[pos++]);
    while (pos < length_ && is_delimiter(data_[pos])) ++pos;
    cursor_ = static_cast<int32_t>(pos);
    return result;
}

void TextString::replaceAll(const char* find, const char* replacement) {
    uint32_t k = find ? static_cast<uint32_t>(std::strlen(find)) : 0;
    if (k == 0 || k > length_) return;
    TextString out("");
    uint32_t p = 0;
    while (p <= length_ - k) {
        if (std::memcmp(data_ + p, find, k) == 0) {
            out.append(replacement ? replacement : "");
            p += k;
        } else {
            out.append(data_[p++]);
        }
    }
    out.append(data_ + p);
    assign(out.text());
}
