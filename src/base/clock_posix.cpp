#include <sys/time.h>
#include <time.h>

#include "clock.h"

uint64_t SystemFileTime() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<uint64_t>(now.tv_sec) + FILETIME_UNIX_EPOCH_SECONDS) * FILETIME_TICKS_PER_SECOND +
           static_cast<uint64_t>(now.tv_nsec) / 100;
}

WallTime CurrentWallTime() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return WallTime{static_cast<int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

LocalTime LocalTimeAt(int64_t second) {
    time_t t = static_cast<time_t>(second);
    struct tm parts;
    localtime_r(&t, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

uint32_t TickCountMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000);
}
