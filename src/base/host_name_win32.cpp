#include <winsock2.h>

#include <mutex>

#include "host_name.h"

namespace {
std::mutex name_lock;
std::string cached_name;
bool known = false;
}  // namespace

std::string GetServerHostName() {
    std::lock_guard<std::mutex> guard(name_lock);
    if (!known) {
        // A call before Winsock has started fails and is tried again later.
        char name[256] = {};
        if (gethostname(name, sizeof name - 1) != 0) return "";
        cached_name = name;
        known = true;
    }
    return cached_name;
}
