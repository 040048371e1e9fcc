#include <windows.h>

#include <atomic>

#include "leases_changed.h"

namespace {
std::atomic<HWND> target{nullptr};
}

void SetLeasesChangedWindow(void* window) { target.store(static_cast<HWND>(window)); }

void PostLeasesChangedToWindow() {
    if (HWND window = target.load()) PostMessageA(window, MSG_LEASES_CHANGED, 0, 0);
}
