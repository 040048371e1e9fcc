// ProfileFile: an INI file held in memory, read and written with the same
// rules as the Windows profile-string calls (GetPrivateProfileStringA,
// GetPrivateProfileIntA, WritePrivateProfileStringA), so that a file either
// side writes reads the same on the other. The program uses this model on
// every platform and never calls the Windows profile API itself.
//
// Reading rules (pinned by the differential test against the real calls):
// - Lines end at CR LF, LF or a lone CR; a UTF-8 byte-order mark is skipped.
// - A file that begins with the UTF-16 little-endian byte-order mark (FF FE,
//   Notepad's "Unicode") is UTF-16 text: it is converted to 8-bit text
//   (ansi_text.h) and then read by the same rules.
// - Blanks are space, tab, VT, FF (and CR/LF); names and values are trimmed.
// - A line whose first non-blank is ";" is a comment.
// - A line whose first non-blank is "[" and which holds a "]" opens a
//   section named by the text between "[" and the last "]", trimmed. Lines
//   before the first section belong to a section with the empty name.
// - Any other non-blank line is a key: the name is the text before the first
//   "=", trimmed; the value is the rest, trimmed, and then stripped of one
//   pair of matching quotes (" or ') when it starts and ends with one. A
//   line without "=" is a key without a value: a lookup that finds it gets
//   the default, and key lists leave it out.
// - Section and key names compare without regard to ASCII case. Of several
//   sections with one name, only the first is seen; of several keys with one
//   name in a section, the first wins the lookup (key lists name each).
// - A zero byte ends a name or value.
//
// Writing keeps every other line as it was (comments, unknown sections and
// keys survive), writes CR LF line ends, and keeps the file's form: a
// UTF-16 file is written back in UTF-16 with its mark, a UTF-8 mark stays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ProfileFile {
public:
    // Replaces the model by the text of a file.
    void loadText(std::string_view text);
    // The whole file as text, CR LF line ends.
    std::string saveText() const;

    // The value of a key; nullopt when the section or key is missing or the
    // key has no "=".
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    std::string getString(std::string_view section, std::string_view key, std::string_view fallback) const;
    // The number reading of GetPrivateProfileIntA: leading blanks, one "+" or
    // "-", an optional lower-case base prefix ("0x", "0o", "0b"), then digits
    // of that base up to the first other character, wrapping modulo 2^32.
    // A missing key or an empty value gives the fallback; no digits give 0.
    int32_t getInt(std::string_view section, std::string_view key, int32_t fallback) const;

    // Names of the keys with a value in the section, in file order (every
    // one, however many), as the Windows key list gives them: of key lines
    // with an empty name that follow each other (blank lines between don't
    // count) only the first is named, and a list whose first name is empty
    // is empty. Empty when the section is missing.
    std::vector<std::string> keyNames(std::string_view section) const;
    // Every key name of the section a lookup can reach, once each (the first
    // spelling), with the value that lookup gives; keys without a value and
    // empty names are left out. One pass, for sections of many keys.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;
    // Names of the sections in file order; empty names are left out.
    std::vector<std::string> sectionNames() const;

    // Writes or replaces one key. A replaced key keeps its line; a new key
    // goes after the last key line of the section; a new section goes at the
    // end of the file. Names and the value should already be safe for the
    // file (see SafeKeyName, SafeValue); the value is quoted when blanks or
    // quotes at its ends would otherwise be lost.
    void setString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the section (every section of that name) with all its lines.
    void deleteSection(std::string_view section);
    // Rewrites a whole section: the same result as deleteSection followed by
    // setString for each pair in order (a later duplicate name replaces the
    // earlier value in place), in time linear in the number of keys. The
    // section takes the place of the first old one, or goes at the end.
    void replaceSection(std::string_view section, const std::vector<std::pair<std::string, std::string>>& keys);

private:
    enum class Kind : uint8_t { Blank, Comment, Section, Key, KeyNoValue };
    struct Line {
        std::string raw;    // the line as written, without its line end
        Kind kind = Kind::Blank;
        std::string name;   // section or key name, trimmed
        std::string value;  // key value, trimmed and unquoted
    };

    static Line parseLine(std::string_view raw);
    static Line keyLine(std::string_view key, std::string_view value);
    static Line sectionLine(std::string_view section);
    // First section header of that name: its line index, or -1 for the
    // leading unnamed section (empty name), or nullopt.
    std::optional<long> findSection(std::string_view section) const;
    // End (one past the last line) of the section that starts after `header`.
    size_t sectionEnd(long header) const;

    enum class Encoding : uint8_t { Bytes, Utf8Mark, Utf16Mark };
    Encoding encoding_ = Encoding::Bytes;
    std::vector<Line> lines_;
};

// Key text that reads back as itself: control characters and DEL become
// "_", as do "=" anywhere, a leading "[" or ";", and blanks at either end.
std::string SafeKeyName(std::string_view text);
// Value text on one line: CR, LF and the zero byte become "_" (whatever
// else a value holds reads back as written, quoting keeps its ends).
std::string SafeValue(std::string_view text);

// Number readings of C's atoi (saturating instead of overflowing) and of a
// strtoul with base 16 cut to 32 bits (saturating at 0xFFFFFFFF).
int32_t ReadDecimal(std::string_view text);
uint32_t ReadHex32(std::string_view text);
