#include "clock.h"

#include <atomic>

namespace {
std::atomic<ClockSource> clock_source{nullptr};
}

uint64_t NowFileTime() {
    ClockSource source = clock_source.load(std::memory_order_acquire);
    return source ? source() : SystemFileTime();
}

uint64_t FileTimeAfter(uint64_t now, int32_t seconds) {
    return now + static_cast<uint64_t>(static_cast<int64_t>(seconds) * static_cast<int64_t>(FILETIME_TICKS_PER_SECOND));
}

void SetClockSource(ClockSource source) { clock_source.store(source, std::memory_order_release); }
