#include "log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "clock.h"
#include "log_file.h"
#include "paths.h"

std::mutex LogLock;

namespace {

// Paths and limits change only at start-up, before the server thread runs,
// but tests set them at will; a small lock keeps those reads clean.
std::mutex config_lock;
std::string main_log_path;
std::string address_log_path;
uint32_t main_log_limit = DEFAULT_LOG_LIMIT;
uint32_t address_log_limit = DEFAULT_LOG_LIMIT;


}  // namespace

void SetLogDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(config_lock);
    main_log_path = JoinPath(directory, "NIMBO.LOG");
    address_log_path = JoinPath(directory, "Addresses.LOG");
}

void ClearLogPaths() {
    std::lock_guard<std::mutex> guard(config_lock);
    main_log_path.clear();
    address_log_path.clear();
}

std::string MainLogPath() {
    std::lock_guard<std::mutex> guard(config_lock);
    return main_log_path;
}

std::string AddressLogPath() {
    std::lock_guard<std::mutex> guard(config_lock);
    return address_log_path;
}

void SetMainLogLimit(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(config_lock);
    main_log_limit = bytes;
}

void SetAddressLogLimit(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(config_lock);
    address_log_limit = bytes;
}

uint32_t MainLogLimit() {
    std::lock_guard<std::mutex> guard(config_lock);
    return main_log_limit;
}

uint32_t AddressLogLimit() {
    std::lock_guard<std::mutex> guard(config_lock);
    return address_log_limit;
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
    std::lock_guard<std::mutex> guard(LogLock);
    LogFileHandle file = OpenLogFile(path);
    if (file == NO_LOG_FILE) return;
    if (LogFileSize(file) >= limit) {
        CloseLogFile(file);
        std::string old_name = OldLogName(path);
        if (old_name.empty()) {
            std::remove(path.c_str());
        } else {
            std::remove(old_name.c_str());
            std::rename(path.c_str(), old_name.c_str());
        }
        file = OpenLogFile(path);
        if (file == NO_LOG_FILE) return;
    }
    // The whole entry goes out in one write: stamp, then the text with each
    // line feed written as CR LF.
    LocalTime now = CurrentLocalTime();
    std::string entry;
    entry.reserve(32 + 2 * LOG_ENTRY_MAX);
    char stamp[64];
    int stamp_length = std::snprintf(stamp, sizeof stamp, "%d/%d/%d %d:%02d:%02d.%03d - ", now.day, now.month,
                                     now.year, now.hour, now.minute, now.second, now.millisecond);
    entry.append(stamp, stamp_length > 0 ? static_cast<size_t>(stamp_length) : 0);
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') entry.push_back('\r');
        entry.push_back(*p);
    }
    WriteLogFile(file, entry.data(), entry.size());
    FinishLogEntry(file);
}

namespace {
void FormatEntry(char (&buffer)[LOG_ENTRY_MAX + 1], const char* format, va_list args) {
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) buffer[0] = '\0';
}
}  // namespace

void WriteLog(int level, const char* format, ...) {
    if (level > LOG_THRESHOLD) return;
    std::string path = MainLogPath();
    if (path.empty()) return;
    char buffer[LOG_ENTRY_MAX + 1];
    va_list args;
    va_start(args, format);
    FormatEntry(buffer, format, args);
    va_end(args);
    AppendToLogFile(path, buffer, MainLogLimit());
}

void WriteAddressLog(const char* format, ...) {
    std::string path = AddressLogPath();
    if (path.empty()) return;
    char buffer[LOG_ENTRY_MAX + 1];
    va_list args;
    va_start(args, format);
    FormatEntry(buffer, format, args);
    va_end(args);
    AppendToLogFile(path, buffer, AddressLogLimit());
}
