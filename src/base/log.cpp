#include "log.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "clock.h"
#include "log_file.h"
#include "paths.h"

std::mutex LogLock;

namespace {

// Everything below is guarded by LogLock, which every entry holds anyway, so
// the hot path reads the path and the limit in place, without a copy or a
// second lock. The flags let an entry for an empty path return before the
// lock, as the writer always has.
struct LogTarget {
    std::string path;
    uint32_t limit = DEFAULT_LOG_LIMIT;
    std::atomic<bool> enabled{false};
};
LogTarget main_log;
LogTarget address_log;

// printf for the log's own formats, without the C library's set-up cost for
// every call (most of an entry's time in user space). It handles what the
// program's formats use: the conversions d, i, u, x, X, c, s and %%, the
// flags '-' and '0', a width, a precision and the length modifiers l, ll
// and z. A format with anything else (or a width or precision given as
// '*') is left to vsnprintf whole. The text is cut at size - 1 bytes and
// always ends with a zero byte.
class Formatter {
public:
    Formatter(char* out, size_t size) : out_(out), end_(out + size - 1) {}
    void put(char c) {
        if (out_ < end_) *out_++ = c;
    }
    void put(const char* text, size_t length) {
        const size_t room = static_cast<size_t>(end_ - out_);
        if (length > room) length = room;
        std::memcpy(out_, text, length);
        out_ += length;
    }
    void pad(char c, size_t count) {
        while (count-- > 0) put(c);
    }
    void finish() { *out_ = '\0'; }

    // One field: `text` of `length` bytes, with `zeros` leading zeros after
    // the sign, in `width` columns.
    void field(const char* sign, const char* text, size_t length, size_t zeros, size_t width, bool left) {
        const size_t signLength = *sign ? 1 : 0;
        const size_t used = signLength + zeros + length;
        if (!left && width > used) pad(' ', width - used);
        if (signLength) put(*sign);
        pad('0', zeros);
        put(text, length);
        if (left && width > used) pad(' ', width - used);
    }

private:
    char* out_;
    char* const end_;
};

bool FormatFast(char* out, size_t size, const char* format, va_list args) {
    Formatter text(out, size);
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            const char* run = p;
            while (p[1] != '\0' && p[1] != '%') ++p;
            text.put(run, static_cast<size_t>(p - run) + 1);
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-') left = true;
            else if (*p == '0') zero = true;
            else break;
        }
        size_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<size_t>(*p++ - '0');
        bool precise = false;
        size_t precision = 0;
        if (*p == '.') {
            precise = true;
            ++p;
            while (*p >= '0' && *p <= '9') precision = precision * 10 + static_cast<size_t>(*p++ - '0');
        }
        int longs = 0;
        bool sized = false;
        if (*p == 'z') {
            sized = true;
            ++p;
        } else {
            while (*p == 'l' && longs < 2) ++longs, ++p;
        }
        const char conversion = *p;
        switch (conversion) {
        case '%':
            if (left || zero || width || precise || longs || sized) return false;
            text.put('%');
            break;
        case 'c': {
            if (longs || sized || precise) return false;
            const char c = static_cast<char>(va_arg(args, int));
            text.field("", &c, 1, 0, width, left);
            break;
        }
        case 's': {
            if (longs || sized) return false;
            const char* string = va_arg(args, const char*);
            if (!string) string = "(null)";
            size_t length = precise ? strnlen(string, precision) : std::strlen(string);
            text.field("", string, length, 0, width, left);
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            const bool isSigned = conversion == 'd' || conversion == 'i';
            unsigned long long magnitude;
            bool negative = false;
            if (isSigned) {
                long long value = sized    ? static_cast<long long>(va_arg(args, ptrdiff_t))
                                  : longs == 2 ? va_arg(args, long long)
                                  : longs == 1 ? va_arg(args, long)
                                               : va_arg(args, int);
                negative = value < 0;
                magnitude = negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
            } else {
                magnitude = sized    ? va_arg(args, size_t)
                            : longs == 2 ? va_arg(args, unsigned long long)
                            : longs == 1 ? va_arg(args, unsigned long)
                                         : va_arg(args, unsigned int);
            }
            char digits[24];
            size_t length = 0;
            const unsigned base = conversion == 'x' || conversion == 'X' ? 16 : 10;
            const char* alphabet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            // A precision of 0 prints nothing for the value 0.
            if (!(precise && precision == 0 && magnitude == 0)) {
                do {
                    digits[length++] = alphabet[magnitude % base];
                    magnitude /= base;
                } while (magnitude != 0);
            }
            char forward[24];
            for (size_t i = 0; i < length; ++i) forward[i] = digits[length - 1 - i];
            const char* sign = negative ? "-" : "";
            size_t zeros = 0;
            if (precise) {
                zeros = precision > length ? precision - length : 0;
            } else if (zero && !left) {
                const size_t used = (negative ? 1 : 0) + length;
                zeros = width > used ? width - used : 0;
            }
            text.field(sign, forward, length, zeros, width, left);
            break;
        }
        default:
            return false;
        }
    }
    text.finish();
    return true;
}

void FormatText(char* out, size_t size, const char* format, va_list args) {
    va_list attempt;
    va_copy(attempt, args);
    const bool done = FormatFast(out, size, format, attempt);
    va_end(attempt);
    if (!done && std::vsnprintf(out, size, format, args) < 0) out[0] = '\0';
}

// One entry as it goes out: room for the time stamp in front, then the text
// with each line feed written as CR LF. Built on the writer's own stack
// before LogLock is taken; under the lock only the stamp is added.
constexpr size_t STAMP_MAX = 48;
struct Entry {
    char bytes[STAMP_MAX + 2 * LOG_ENTRY_MAX + 2];
    size_t length = 0;  // text bytes from bytes + STAMP_MAX
};

void SetText(Entry& entry, const char* text) {
    char* out = entry.bytes + STAMP_MAX;
    char* const end = entry.bytes + sizeof entry.bytes;
    // Runs without a line feed are copied whole; the room suffices for a
    // text of LOG_ENTRY_MAX bytes that is all line feeds.
    for (const char* p = text; *p && out + 2 <= end;) {
        const char* feed = std::strchr(p, '\n');
        size_t run = feed ? static_cast<size_t>(feed - p) : std::strlen(p);
        const size_t room = static_cast<size_t>(end - out) - 2;
        if (run > room) {
            std::memcpy(out, p, room);
            out += room;
            break;
        }
        std::memcpy(out, p, run);
        out += run;
        p += run;
        if (*p == '\n') {
            *out++ = '\r';
            *out++ = '\n';
            ++p;
        }
    }
    entry.length = static_cast<size_t>(out - (entry.bytes + STAMP_MAX));
}

// "d/m/yyyy h:mm:ss." of the last second stamped: the local-time conversion
// runs once a second, each entry adds only its milliseconds. Guarded by
// LogLock, under which every entry is stamped, so the stamps of the file
// never run backwards.
int64_t stamped_second = INT64_MIN;
char stamp_prefix[STAMP_MAX];
size_t stamp_prefix_length = 0;

void SetPath(LogTarget& target, std::string path) {
    target.path = std::move(path);
    target.enabled.store(!target.path.empty(), std::memory_order_release);
}

// Writes the stamp just before the entry's text; returns where it starts.
char* WriteStamp(Entry& entry) {
    WallTime now = CurrentWallTime();
    if (now.second != stamped_second) {
        LocalTime local = LocalTimeAt(now.second);
        int n = std::snprintf(stamp_prefix, sizeof stamp_prefix, "%d/%d/%d %d:%02d:%02d.", local.day, local.month,
                              local.year, local.hour, local.minute, local.second);
        // Room for the milliseconds and " - " behind it.
        const size_t room = STAMP_MAX - 6;
        stamp_prefix_length = n <= 0 ? 0 : static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
        stamped_second = now.second;
    }
    char* start = entry.bytes + STAMP_MAX - (stamp_prefix_length + 6);
    std::memcpy(start, stamp_prefix, stamp_prefix_length);
    char* p = start + stamp_prefix_length;
    int ms = now.millisecond;
    *p++ = static_cast<char>('0' + ms / 100);
    *p++ = static_cast<char>('0' + ms / 10 % 10);
    *p++ = static_cast<char>('0' + ms % 10);
    std::memcpy(p, " - ", 3);
    return start;
}

void WriteEntry(LogFileHandle file, Entry& entry) {
    char* start = WriteStamp(entry);
    WriteLogFile(file, start, static_cast<size_t>(entry.bytes + STAMP_MAX + entry.length - start));
}

// Moves a full log to its .OLD name (or deletes it when the name has no
// "."). False when that failed and the log is still there under its name.
bool Rotate(const std::string& path) {
    std::string old_name = OldLogName(path);
    if (old_name.empty()) return std::remove(path.c_str()) == 0;
    std::remove(old_name.c_str());
    return std::rename(path.c_str(), old_name.c_str()) == 0;
}

// One entry to the named file; caller holds LogLock.
void AppendLocked(const std::string& path, Entry& entry, uint32_t limit) {
    LogFileHandle file = OpenLogFile(path);
    if (file == NO_LOG_FILE) return;
    if (LogFileReached(file, limit)) {
        CloseLogFile(file);
        const bool rotated = Rotate(path);
        file = OpenLogFile(path);
        if (file == NO_LOG_FILE) return;
        // A log that cannot be moved aside (a viewer holds the .OLD file
        // open, a read-only directory) would otherwise grow with every
        // entry: it is emptied instead, and its first line says why.
        if (!rotated && LogFileReached(file, limit)) {
            TruncateLogFile(file);
            Entry notice;
            std::string old_name = OldLogName(path);
            char text[LOG_ENTRY_MAX + 1];
            std::snprintf(text, sizeof text, "Log rotation to %.200s failed - log emptied\n",
                          old_name.empty() ? "nothing (delete)" : old_name.c_str());
            SetText(notice, text);
            WriteEntry(file, notice);
        }
    }
    WriteEntry(file, entry);
    FinishLogEntry(file);
}

void WriteTo(LogTarget& target, const char* format, va_list args) {
    if (!target.enabled.load(std::memory_order_acquire)) return;
    // Formatted before the lock: writers on other threads wait only for
    // the stamp and the write.
    char text[LOG_ENTRY_MAX + 1];
    FormatText(text, sizeof text, format, args);
    Entry entry;
    SetText(entry, text);
    std::lock_guard<std::mutex> guard(LogLock);
    if (target.path.empty()) return;
    AppendLocked(target.path, entry, target.limit);
}

}  // namespace

void SetLogDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(LogLock);
    SetPath(main_log, JoinPath(directory, "NIMBO.LOG"));
    SetPath(address_log, JoinPath(directory, "Addresses.LOG"));
}

void ClearLogPaths() {
    std::lock_guard<std::mutex> guard(LogLock);
    SetPath(main_log, "");
    SetPath(address_log, "");
}

bool MainLogEnabled() { return main_log.enabled.load(std::memory_order_acquire); }

std::string MainLogPath() {
    std::lock_guard<std::mutex> guard(LogLock);
    return main_log.path;
}

std::string AddressLogPath() {
    std::lock_guard<std::mutex> guard(LogLock);
    return address_log.path;
}

void SetMainLogLimit(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(LogLock);
    main_log.limit = bytes;
}

void SetAddressLogLimit(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(LogLock);
    address_log.limit = bytes;
}

uint32_t MainLogLimit() {
    std::lock_guard<std::mutex> guard(LogLock);
    return main_log.limit;
}

uint32_t AddressLogLimit() {
    std::lock_guard<std::mutex> guard(LogLock);
    return address_log.limit;
}

std::string OldLogName(const std::string& path) {
    size_t separator = path.find_last_of(PATH_SEPARATORS);
    size_t dot = path.rfind('.');
    // Only a dot in the file name counts: "/srv/nimbo.d/NIMBO" has none.
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return "";
    return path.substr(0, dot) + ".OLD";
}

std::string LogText(const char* text) {
    std::string shown(text ? text : "");
    for (char& c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) c = '?';
    }
    return shown;
}

void AppendToLogFile(const std::string& path, const char* text, uint32_t limit) {
    if (path.empty()) return;
    Entry entry;
    SetText(entry, text);
    std::lock_guard<std::mutex> guard(LogLock);
    AppendLocked(path, entry, limit);
}

void WriteLog(int level, const char* format, ...) {
    if (level > LOG_THRESHOLD) return;
    va_list args;
    va_start(args, format);
    WriteTo(main_log, format, args);
    va_end(args);
}

void WriteAddressLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteTo(address_log, format, args);
    va_end(args);
}
