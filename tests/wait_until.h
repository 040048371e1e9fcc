// Tests wait for a state, never for a fixed time: a loaded machine (the
// ThreadSanitizer suite beside the Wine suite on two cores) stretches every
// step, so a sleep that is long enough today is too short tomorrow.
// WaitUntil asks for the state every 20 ms until it holds; its bound is only
// there to end a test whose state never comes, and when it gives up it says
// on stderr what it waited for (the caller's assertion then fails).
// Standard C++ only: the native tests, the tests under Wine and the probe
// programs share it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

// The bound of a wait for something that takes a moment on an idle machine
// (a window, a file, a service state, a log line).
constexpr int WAIT_LIMIT_MS = 30000;

template <typename Reached>
bool WaitUntil(const std::string& what, Reached reached, int limitMs = WAIT_LIMIT_MS) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (reached()) return true;
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(limitMs)) {
            std::fprintf(stderr, "gave up after %d ms waiting for %s\n", limitMs, what.c_str());
            std::fflush(stderr);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
