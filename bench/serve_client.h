// One client served in full through the message handling, as the
// benchmarks measure it: a DHCPDISCOVER answered with a DHCPOFFER, the
// DHCPREQUEST answered with a DHCPACK, and the DHCPRELEASE. The server is
// 172.16.0.1/16 with the range 172.16.0.2-172.16.255.254; `leases` other
// clients' leases sit at the start of the range, so the offer search walks
// past them. No probe is sent and the clock stands still.
#pragma once

#include <cstdint>
#include <string>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/message_handler.h"
#include "dhcp_builder.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/ip_address.h"
#include "scratch_server.h"
#include "test_support.h"

namespace bench {

constexpr uint32_t SERVER = 0xAC100001;       // 172.16.0.1
constexpr uint32_t RANGE_FIRST = 0xAC100002;  // 172.16.0.2

inline EchoResult NoReply(uint32_t) { return EchoResult{true, 0, 11010}; }
inline uint64_t FixedNow() { return TEST_EPOCH; }

inline Bytes HardwareOf(uint32_t n) {
    return {0x02, 0x00, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
            static_cast<uint8_t>(n)};
}

inline void Populate(int64_t leases) {
    ScratchServer server;
    server.ipAddress = "172.16.0.1";
    server.subnetMask = "255.255.0.0";
    server.leaseTime = 259200;
    server.localRanges = "172.16.0.2-172.16.255.254";
    SetUpScratchServer(server, [](ServerSettings& s) {
        CopySetting(s.Routers, "%1.%2.%3.1");
        CopySetting(s.DNSServer, "172.16.0.53");
        CopySetting(s.DomainName, "example.test");
    });
    SetClockSource(&FixedNow);
    SetEchoOverride(&NoReply);
    for (int64_t i = 0; i < leases; ++i) {
        Lease lease;
        std::string name = "host" + std::to_string(i);
        lease.setHostName(name.c_str());
        Bytes id = HardwareOf(0x80000000u + static_cast<uint32_t>(i));
        lease.setClientId(id.data(), id.size());
        lease.address = RANGE_FIRST + static_cast<uint32_t>(i);
        lease.expiry = TEST_EPOCH + 259200ull * FILETIME_TICKS_PER_SECOND;
        AppendLease(lease);
    }
}

inline void Depopulate() { ResetServerState(); }

// Serves client number `client`; false when it got no offer or no ACK.
inline bool ServeClient(uint32_t client) {
    static DhcpMessage message;
    Bytes hardware = HardwareOf(client);
    std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    size_t length = WindowsDiscover(hardware, "BENCH").load(message);
    ReplyAction offer = HandleDatagram(message, length, *settings);
    uint32_t offered = ReadBigEndian32(message.bytes + OFFSET_YIADDR);
    length = WindowsRequest(offered, SERVER, hardware, "BENCH").load(message);
    ReplyAction ack = HandleDatagram(message, length, *settings);
    length = RequestBuilder().messageType(DHCPRELEASE).clientId(1, hardware).ciaddr(offered).load(message);
    HandleDatagram(message, length, *settings);
    return offer.length != 0 && ack.length != 0;
}

// Entries in a log file: its line ends.
inline size_t CountLogLines(const std::string& path) {
    std::string contents = ReadFile(path);
    size_t lines = 0;
    for (char c : contents) lines += c == '\n';
    return lines;
}

}  // namespace bench
