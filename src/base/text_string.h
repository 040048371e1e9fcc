// TextString: the program's own byte string with a tokenizer cursor and a
// replace-all. Single-byte text only; nothing here knows about multi-byte
// characters. Allocation failure throws std::bad_alloc.
#pragma once

#include <cstdint>
#include <string_view>

// Lower case of an ASCII letter, any other byte unchanged: name comparisons
// that must not depend on the C locale use it.
char FoldAsciiCase(char c);
// Equality without regard to the case of ASCII letters (INI section and key
// names, reservation keys).
bool EqualNoCase(std::string_view a, std::string_view b);

class TextString {
public:
    TextString() = default;
    TextString(const char* text);  // NOLINT: implicit on purpose, texts convert freely
    TextString(const TextString& other);
    TextString(TextString&& other) noexcept;
    TextString& operator=(const TextString& other);
    TextString& operator=(TextString&& other) noexcept;
    TextString& operator=(const char* text);
    ~TextString();

    // The text, never null: "" when the string never held a buffer.
    const char* text() const { return data_ ? data_ : ""; }
    uint32_t length() const { return length_; }
    uint32_t capacity() const { return capacity_; }
    int32_t cursor() const { return cursor_; }
    bool hasBuffer() const { return data_ != nullptr; }

    // Byte-for-byte equality. Without a buffer only a null argument is equal.
    bool equals(const char* other) const;
    // Case-insensitive order (ASCII folding); 1 when the argument is null.
    int compareNoCase(const char* other) const;
    // Unsigned decimal value: leading blanks and one sign allowed, stops at the
    // first non-digit (strtoul semantics, so "-1" wraps). 0 without a buffer.
    unsigned long toNumber() const;

    void clear();
    void toUpper();
    TextString substring(uint32_t from) const;
    char at(uint32_t index) const;

    void append(char ch);
    void append(const char* text);

    // Next token of the text: skips delimiters, collects non-delimiters, skips
    // delimiters again. Empty result = text exhausted. restart puts the cursor
    // back to 0 first.
    TextString nextToken(const char* delimiters, bool restart);

    // Replaces every non-overlapping occurrence of find (case-sensitive), left
    // to right; replacements are not re-examined.
    void replaceAll(const char* find, const char* replacement);

private:
    void assign(const char* text);
    void grow(uint32_t needed);

    char* data_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t length_ = 0;
    int32_t cursor_ = -1;
};
