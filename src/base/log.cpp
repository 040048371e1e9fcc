#include "log.h"

#include <atomic>
#include <cstdarg>
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
    for (const char* p = text; *p && out + 2 <= end; ++p) {
        if (*p == '\n') *out++ = '\r';
        *out++ = *p;
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
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0) text[0] = '\0';
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
