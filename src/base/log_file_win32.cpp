#include <windows.h>

#include "log_file.h"

LogFileHandle OpenLogFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? NO_LOG_FILE : reinterpret_cast<LogFileHandle>(file);
}

bool LogFileReached(LogFileHandle file, uint64_t limit) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return false;
    return static_cast<uint64_t>(size.QuadPart) >= limit;
}

void WriteLogFile(LogFileHandle file, const char* data, size_t size) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER zero{};
    SetFilePointerEx(handle, zero, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr);
}

void CloseLogFile(LogFileHandle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

void FinishLogEntry(LogFileHandle file) { CloseLogFile(file); }

void TruncateLogFile(LogFileHandle file) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER zero{};
    SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN);
    SetEndOfFile(handle);
}
