#include "leases_changed.h"

#include <atomic>

namespace {
std::atomic<LeasesChangedCallback> callback{nullptr};
}

void SetLeasesChangedCallback(LeasesChangedCallback fn) { callback.store(fn, std::memory_order_release); }

// Platform part: the posted window message on Windows, nothing more on POSIX.
void PostLeasesChangedToWindow();

void PostLeasesChanged() {
    PostLeasesChangedToWindow();
    if (LeasesChangedCallback fn = callback.load(std::memory_order_acquire)) fn();
}
