// Clock seam. System time is held in the Windows FILETIME scale: 100 ns
// intervals since 1601-01-01 00:00 UTC, as the lease file stores it.
#pragma once

#include <cstdint>

constexpr uint64_t FILETIME_TICKS_PER_SECOND = 10000000ULL;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t FILETIME_UNIX_EPOCH_SECONDS = 11644473600ULL;

// Current UTC time in the FILETIME scale; the test clock when one is set.
uint64_t NowFileTime();

// now + seconds, with seconds taken as a signed 32-bit count.
uint64_t FileTimeAfter(uint64_t now, int32_t seconds);

// Replaces the system clock (tests). Pass nullptr to go back to the real one.
using ClockSource = uint64_t (*)();
void SetClockSource(ClockSource source);

// Wall-clock UTC time in whole seconds since 1970-01-01 and the
// milliseconds, for log stamps: cheap enough to read for every entry.
struct WallTime {
    int64_t second;
    int millisecond;
};
WallTime CurrentWallTime();

struct LocalTime {
    int year, month, day, hour, minute, second;
};
// The local date and time of a wall-clock second.
LocalTime LocalTimeAt(int64_t second);

// Monotonic milliseconds (GetTickCount-like), for periodic work.
uint32_t TickCountMs();

// Platform implementations (clock_win32.cpp / clock_posix.cpp).
uint64_t SystemFileTime();
