#include <windows.h>

#include "clock.h"

uint64_t SystemFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

WallTime CurrentWallTime() {
    uint64_t ticks = SystemFileTime();
    uint64_t milliseconds = ticks / 10000;
    return WallTime{static_cast<int64_t>(milliseconds / 1000) - static_cast<int64_t>(FILETIME_UNIX_EPOCH_SECONDS),
                    static_cast<int>(milliseconds % 1000)};
}

LocalTime LocalTimeAt(int64_t second) {
    uint64_t ticks = (static_cast<uint64_t>(second) + FILETIME_UNIX_EPOCH_SECONDS) * FILETIME_TICKS_PER_SECOND;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME local;
    SYSTEMTIME parts{};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &parts);
    return LocalTime{parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond};
}

uint32_t TickCountMs() { return GetTickCount(); }
