#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "host_name.h"

namespace {

constexpr std::chrono::seconds CHANGE_CHECK_INTERVAL{1};

std::mutex name_lock;  // guards everything below
std::string cached_name;
bool known = false;
std::chrono::steady_clock::time_point next_check;
int change_fd = -2;  // /proc/sys/kernel/hostname; -2 not opened yet, -1 unavailable

std::string ReadHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

// The kernel reports POLLPRI (with POLLERR) on the file once after each
// change of the name since the file was opened or last reported. Without
// the file every check counts as a change.
bool NameChanged() {
    if (change_fd == -2) change_fd = open("/proc/sys/kernel/hostname", O_RDONLY | O_CLOEXEC);
    if (change_fd < 0) return true;
    pollfd wait{change_fd, POLLPRI, 0};
    return poll(&wait, 1, 0) > 0 && (wait.revents & (POLLPRI | POLLERR)) != 0;
}

}  // namespace

std::string GetServerHostName() {
    std::lock_guard<std::mutex> guard(name_lock);
    const auto now = std::chrono::steady_clock::now();
    if (!known || now >= next_check) {
        next_check = now + CHANGE_CHECK_INTERVAL;
        // Opened before the first read, so that a change after it is seen.
        const bool changed = NameChanged();
        if (!known || changed) {
            cached_name = ReadHostName();
            known = true;
        }
    }
    return cached_name;
}
