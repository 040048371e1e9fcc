#include "leases_changed.h"

#include <atomic>

namespace {
std::atomic<LeasesChangedCallback> callback{nullptr};
}

void SetLeasesChangedCallback(LeasesChangedCallback fn) { callback.store(fn, std::memory_order_release); }

void PostLeasesChanged() {
    if (LeasesChangedCallback fn = callback.load(std::memory_order_acquire)) fn();
}
