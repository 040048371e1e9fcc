// The server's process-wide state for tests, benchmarks and fuzz targets.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

struct ServerSettings;

// Empties the lease table, the reservations and the range tables, publishes
// the empty settings record, forgets the INI path, and puts back the real
// probe, the system clock and no leases-changed callback. The logs are left
// as they are: where they go is the caller's choice.
void ResetServerState();

struct ScratchServer {
    const char* ipAddress = "192.0.2.1";
    const char* subnetMask = "255.255.255.0";
    uint32_t leaseTime = 3600;
    const char* localRanges = "192.0.2.10-192.0.2.20";  // nullptr: none set
    std::vector<std::pair<uint32_t, const char*>> relayRanges;  // by relay agent (giaddr)
};

// ResetServerState, then the settings (no option configured; `edit` may add
// more) and the range tables of a server.
void SetUpScratchServer(const ScratchServer& server, const std::function<void(ServerSettings&)>& edit = nullptr);
