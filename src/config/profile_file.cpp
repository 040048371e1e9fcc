#include "profile_file.h"

#include <climits>
#include <unordered_map>

#include "config/ansi_text.h"
#include "base/text_string.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    size_t last = text.size();
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string_view CutAtZero(std::string_view text) {
    size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front()) return text.substr(1, text.size() - 2);
    return text;
}

std::string Folded(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = FoldAsciiCase(c);
    return result;
}

// A value that the reader would trim or unquote is written inside quotes,
// which the reader then strips again.
bool NeedsQuotes(std::string_view value) {
    if (value.empty()) return false;
    if (IsBlank(value.front()) || IsBlank(value.back())) return true;
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

}  // namespace

ProfileFile::Line ProfileFile::parseLine(std::string_view raw) {
    Line line;
    line.raw = std::string(raw);
    std::string_view text = Trim(raw);
    if (text.empty()) return line;
    if (text.front() == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (text.front() == '[') {
        size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = std::string(CutAtZero(Trim(text.substr(1, close - 1))));
            return line;
        }
    }
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        line.kind = Kind::KeyNoValue;
        line.name = std::string(CutAtZero(text));
        return line;
    }
    line.kind = Kind::Key;
    line.name = std::string(CutAtZero(Trim(text.substr(0, equals))));
    line.value = std::string(CutAtZero(Unquote(Trim(text.substr(equals + 1)))));
    return line;
}

ProfileFile::Line ProfileFile::keyLine(std::string_view key, std::string_view value) {
    Line line;
    line.kind = Kind::Key;
    line.name = std::string(key);
    line.value = std::string(value);
    line.raw.reserve(key.size() + value.size() + 3);
    line.raw.append(key);
    line.raw += '=';
    if (NeedsQuotes(value)) {
        line.raw += '"';
        line.raw.append(value);
        line.raw += '"';
    } else {
        line.raw.append(value);
    }
    return line;
}

ProfileFile::Line ProfileFile::sectionLine(std::string_view section) {
    Line line;
    line.kind = Kind::Section;
    line.name = std::string(section);
    line.raw = "[" + line.name + "]";
    return line;
}

namespace {

constexpr std::string_view UTF8_MARK = "\xEF\xBB\xBF";
constexpr std::string_view UTF16_MARK = "\xFF\xFE";

// The 8-bit text of UTF-16 little-endian bytes (an odd last byte is dropped).
std::string FromUtf16(std::string_view bytes) {
    std::u16string wide(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return AnsiFromUtf16(wide);
}

void AppendUtf16(std::string& out, std::string_view text) {
    for (char16_t unit : Utf16FromAnsi(std::string(text))) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
}

}  // namespace

void ProfileFile::loadText(std::string_view text) {
    lines_.clear();
    encoding_ = Encoding::Bytes;
    std::string decoded;
    if (text.substr(0, UTF16_MARK.size()) == UTF16_MARK) {
        encoding_ = Encoding::Utf16Mark;
        decoded = FromUtf16(text.substr(UTF16_MARK.size()));
        text = decoded;
    } else if (text.substr(0, UTF8_MARK.size()) == UTF8_MARK) {
        encoding_ = Encoding::Utf8Mark;
        text.remove_prefix(UTF8_MARK.size());
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.push_back(parseLine(text.substr(start)));
            break;
        }
        lines_.push_back(parseLine(text.substr(start, end - start)));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

std::string ProfileFile::saveText() const {
    size_t size = UTF8_MARK.size();
    for (const Line& line : lines_) size += line.raw.size() + 2;
    std::string text;
    text.reserve(size);
    if (encoding_ == Encoding::Utf8Mark) text += UTF8_MARK;
    for (const Line& line : lines_) {
        text += line.raw;
        text += "\r\n";
    }
    if (encoding_ != Encoding::Utf16Mark) return text;
    std::string wide(UTF16_MARK);
    wide.reserve(UTF16_MARK.size() + 2 * text.size());
    AppendUtf16(wide, text);
    return wide;
}

std::optional<long> ProfileFile::findSection(std::string_view section) const {
    // The unnamed section before the first header always exists and comes
    // first, so an empty name never reaches a "[]" header.
    if (section.empty()) return -1L;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && EqualNoCase(lines_[i].name, section)) return static_cast<long>(i);
    return std::nullopt;
}

size_t ProfileFile::sectionEnd(long header) const {
    size_t i = static_cast<size_t>(header + 1);
    while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
    return i;
}

std::optional<std::string> ProfileFile::find(std::string_view section, std::string_view key) const {
    std::optional<long> header = findSection(section);
    if (!header) return std::nullopt;
    size_t end = sectionEnd(*header);
    for (size_t i = static_cast<size_t>(*header + 1); i < end; ++i) {
        const Line& line = lines_[i];
        if ((line.kind == Kind::Key || line.kind == Kind::KeyNoValue) && EqualNoCase(line.name, key)) {
            if (line.kind == Kind::KeyNoValue) return std::nullopt;
            return line.value;
        }
    }
    return std::nullopt;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key, std::string_view fallback) const {
    std::optional<std::string> value = find(section, key);
    return value ? *value : std::string(fallback);
}

int32_t ProfileFile::getInt(std::string_view section, std::string_view key, int32_t fallback) const {
    std::optional<std::string> value = find(section, key);
    if (!value || value->empty()) return fallback;
    const char* p = value->c_str();
    while (*p > 0 && *p <= ' ') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
        base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
        p += 2;
    }
    uint32_t result = 0;
    for (; DigitValue(*p) < base; ++p) result = result * static_cast<uint32_t>(base) + static_cast<uint32_t>(DigitValue(*p));
    if (negative) result = 0u - result;
    return static_cast<int32_t>(result);
}

std::vector<std::string> ProfileFile::keyNames(std::string_view section) const {
    std::vector<std::string> names;
    std::optional<long> header = findSection(section);
    if (!header) return names;
    size_t end = sectionEnd(*header);
    bool afterEmptyName = false;
    for (size_t i = static_cast<size_t>(*header + 1); i < end; ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Blank) continue;
        if (line.kind != Kind::Key) {
            afterEmptyName = false;
            continue;
        }
        if (!(line.name.empty() && afterEmptyName)) names.push_back(line.name);
        afterEmptyName = line.name.empty();
    }
    // The list is handed out zero-separated, so one that starts with an
    // empty name reads as an empty list.
    if (!names.empty() && names.front().empty()) names.clear();
    return names;
}

std::vector<std::pair<std::string, std::string>> ProfileFile::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> result;
    std::optional<long> header = findSection(section);
    if (!header) return result;
    size_t end = sectionEnd(*header);
    std::unordered_map<std::string, bool> seen;  // folded name -> first line had a value
    for (size_t i = static_cast<size_t>(*header + 1); i < end; ++i) {
        const Line& line = lines_[i];
        if (line.kind != Kind::Key && line.kind != Kind::KeyNoValue) continue;
        if (line.name.empty()) continue;
        auto [slot, fresh] = seen.emplace(Folded(line.name), line.kind == Kind::Key);
        (void)slot;
        if (fresh && line.kind == Kind::Key) result.emplace_back(line.name, line.value);
    }
    return result;
}

std::vector<std::string> ProfileFile::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines_)
        if (line.kind == Kind::Section && !line.name.empty()) names.push_back(line.name);
    return names;
}

void ProfileFile::setString(std::string_view section, std::string_view key, std::string_view value) {
    std::optional<long> header = findSection(section);
    if (!header) {
        if (!lines_.empty() && lines_.back().kind != Kind::Blank) lines_.push_back(Line{});
        lines_.push_back(sectionLine(section));
        lines_.push_back(keyLine(key, value));
        return;
    }
    size_t begin = static_cast<size_t>(*header + 1);
    size_t end = sectionEnd(*header);
    size_t insertAt = begin;
    for (size_t i = begin; i < end; ++i) {
        Line& line = lines_[i];
        if (line.kind != Kind::Key && line.kind != Kind::KeyNoValue) continue;
        if (EqualNoCase(line.name, key)) {
            line = keyLine(key, value);
            return;
        }
        insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<long>(insertAt), keyLine(key, value));
}

void ProfileFile::deleteSection(std::string_view section) { replaceSection(section, {}); }

void ProfileFile::replaceSection(std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& keys) {
    std::vector<Line> fresh;
    if (!keys.empty()) {
        fresh.reserve(keys.size() + 1);
        fresh.push_back(sectionLine(section));
        std::unordered_map<std::string, size_t> position;  // folded name -> index in fresh
        position.reserve(keys.size());
        for (const auto& [key, value] : keys) {
            auto [slot, added] = position.emplace(Folded(key), fresh.size());
            if (added)
                fresh.push_back(keyLine(key, value));
            else
                fresh[slot->second] = keyLine(fresh[slot->second].name, value);
        }
    }

    // Every section of that name goes, so that no older duplicate shows
    // through once the first is rewritten.
    std::vector<Line> kept;
    kept.reserve(lines_.size() + fresh.size());
    bool placed = false;
    size_t i = 0;
    while (i < lines_.size()) {
        if (lines_[i].kind == Kind::Section && !section.empty() && EqualNoCase(lines_[i].name, section)) {
            if (!placed) {
                for (Line& line : fresh) kept.push_back(std::move(line));
                placed = true;
            }
            i = sectionEnd(static_cast<long>(i));
            continue;
        }
        kept.push_back(std::move(lines_[i]));
        ++i;
    }
    if (!placed && !fresh.empty()) {
        if (!kept.empty() && kept.back().kind != Kind::Blank) kept.push_back(Line{});
        for (Line& line : fresh) kept.push_back(std::move(line));
    }
    lines_ = std::move(kept);
}

std::string SafeKeyName(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '=') c = '_';
    }
    if (!name.empty() && (name.front() == '[' || name.front() == ';')) name.front() = '_';
    for (size_t i = 0; i < name.size() && name[i] == ' '; ++i) name[i] = '_';
    for (size_t i = name.size(); i > 0 && name[i - 1] == ' '; --i) name[i - 1] = '_';
    return name;
}

std::string SafeValue(std::string_view text) {
    std::string value(text);
    for (char& c : value)
        if (c == '\r' || c == '\n' || c == '\0') c = '_';
    return value;
}

int32_t ReadDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

uint32_t ReadHex32(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2]) < 16)
        i += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && DigitValue(text[i]) < 16; ++i) {
        value = value * 16 + static_cast<uint64_t>(DigitValue(text[i]));
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}
