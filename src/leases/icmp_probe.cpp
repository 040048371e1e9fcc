#include "leases/icmp_probe.h"

#include <atomic>

#include "leases/address_allocation.h"
#include "base/ip_address.h"
#include "base/log.h"

namespace {

std::atomic<EchoFunction> echo_override{nullptr};

constexpr uint32_t PROBE_TIMEOUT_MS = 100;

}  // namespace

// The platform's probe (icmp_probe_win32.cpp / icmp_probe_posix.cpp).
EchoResult PlatformSendEcho(uint32_t address, uint32_t timeoutMs);

void SetEchoOverride(EchoFunction probe) { echo_override.store(probe, std::memory_order_release); }

EchoResult SendEcho(uint32_t address, uint32_t timeoutMs) {
    if (EchoFunction probe = echo_override.load(std::memory_order_acquire)) return probe(address);
    return PlatformSendEcho(address, timeoutMs);
}

bool PingAddress(uint32_t address) {
    EchoResult result = SendEcho(address, PROBE_TIMEOUT_MS);
    // Without a probe mechanism every candidate counts as free, unlogged.
    if (!result.available) return false;
    // The address as its network-order bytes read least significant first.
    WriteLog(3, "Ping %08x returned %d echoes (%d)\n", static_cast<unsigned>(SwapBytes32(address)),
             static_cast<int>(result.replies), static_cast<int>(result.error));
    return result.replies != 0;
}
