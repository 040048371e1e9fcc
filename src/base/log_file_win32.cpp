// Windows opens, writes and closes the log for every entry, so that other
// programs may move or delete it at any time. What each entry costs beside
// that (every call is a round trip to the kernel, and under Wine to its
// server) is kept to one size query: the move to the end of the file gives
// the size for the rotation test too, and the path is converted to the
// system's wide form once, not at every open.
#include <windows.h>

#include "log_file.h"

namespace {

// The wide form of the last path opened (the main log and the address log
// alternate, so two are kept), and the handle already at its end.
struct WidePath {
    std::string narrow;
    std::wstring wide;
};
WidePath wide_paths[2];
unsigned next_wide_path = 0;
HANDLE at_end = INVALID_HANDLE_VALUE;

const std::wstring& WideForm(const std::string& path) {
    for (const WidePath& known : wide_paths)
        if (known.narrow == path && !known.wide.empty()) return known.wide;
    WidePath& slot = wide_paths[next_wide_path++ % 2];
    slot.narrow = path;
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    slot.wide.assign(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &slot.wide[0], length);
    return slot.wide;
}

}  // namespace

LogFileHandle OpenLogFile(const std::string& path) {
    HANDLE file = CreateFileW(WideForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    at_end = INVALID_HANDLE_VALUE;
    return file == INVALID_HANDLE_VALUE ? NO_LOG_FILE : reinterpret_cast<LogFileHandle>(file);
}

// Moves to the end, which tells the size as well.
bool LogFileReached(LogFileHandle file, uint64_t limit) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER zero{}, size{};
    if (!SetFilePointerEx(handle, zero, &size, FILE_END)) return false;
    at_end = handle;
    return static_cast<uint64_t>(size.QuadPart) >= limit;
}

void WriteLogFile(LogFileHandle file, const char* data, size_t size) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    if (handle != at_end) {
        LARGE_INTEGER zero{};
        SetFilePointerEx(handle, zero, nullptr, FILE_END);
    }
    DWORD written = 0;
    WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr);
}

void CloseLogFile(LogFileHandle file) {
    at_end = INVALID_HANDLE_VALUE;
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

void FinishLogEntry(LogFileHandle file) { CloseLogFile(file); }

void TruncateLogFile(LogFileHandle file) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER zero{};
    if (SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) at_end = handle;
}
