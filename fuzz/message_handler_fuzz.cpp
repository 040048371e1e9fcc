// Fuzz target for the whole handling of one received datagram: parsing,
// the lease database questions (offer search, request check, lease creation,
// release) and the reply built over the request. Checks what every reply must
// satisfy: it fits the buffer, ends with the end option, and a DHCPNAK is 250
// bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/message_handler.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "base/log.h"
#include "scratch_server.h"

namespace {

std::string log_dir;

void RemoveLogDir() {
    std::error_code error;
    std::filesystem::remove_all(log_dir, error);
}

// Every third address answers the probe, so placeholders are made too.
EchoResult SometimesAnswers(uint32_t address) { return EchoResult{true, address % 3 == 0 ? 1u : 0u, 0}; }

void Setup() {
    static bool done = [] {
        log_dir = (std::filesystem::temp_directory_path() / ("nimbo-handler-fuzz-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(log_dir);
        std::atexit(RemoveLogDir);
        SetLogDirectory(log_dir);
        SetMainLogLimit(64 * 1024);
        SetAddressLogLimit(64 * 1024);
        ScratchServer server;
        server.localRanges = "192.0.2.10-192.0.2.40,192.0.2.1";
        server.relayRanges = {{0xC6336401, "198.51.100.10-198.51.100.20"}};  // relay 198.51.100.1
        SetUpScratchServer(server, [](ServerSettings& s) {
            CopySetting(s.Routers, "%1.%2.%3.254");
            CopySetting(s.DNSServer, "192.0.2.53");
            CopySetting(s.NextBootServer, "%a");
            CopySetting(s.BootFile, "boot.img");
            s.userOptions[66] = "Stftp.example.test";
            s.userOptions[43] = "x" + std::string(300, 'v');
            // The relay's own mask and routers, for its clients also when
            // they renew straight with the server.
            GatewaySettings relay;
            CopySetting(relay.SubnetMask, "255.255.255.192");
            CopySetting(relay.Routers, "%1.%2.%3.%4 %a");
            s.gatewaySettings[0xC6336401] = relay;
        });
        SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.12");
        SetEchoOverride(&SometimesAnswers);
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    // An exact-size copy first, so that ASan sees a read past the input.
    std::unique_ptr<uint8_t[]> input(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(input.get(), data, size);

    // The buffer is reused between datagrams, as in the server.
    static DhcpMessage message;
    size_t copied = size < DHCP_BUFFER_SIZE ? size : DHCP_BUFFER_SIZE;
    if (copied) std::memcpy(message.bytes, input.get(), copied);
    ReplyAction action = HandleDatagram(message, size, *CurrentSettings());

    if (action.length != 0) {
        if (action.length > DHCP_BUFFER_SIZE || action.length < 241) std::abort();
        if (message.bytes[action.length - 1] != OPTION_END) std::abort();
        if (std::memcmp(message.bytes + OFFSET_COOKIE, MAGIC_COOKIE, 4) != 0) std::abort();
        if (message.bytes[OFFSET_OPTIONS + 2] == DHCPNAK && action.length != NAK_LENGTH) std::abort();
        if (action.destination == 0) std::abort();
    }
    // Keep the table from filling up for good, so offers stay reachable.
    if (SnapshotLeases().size() > 64) ClearLeaseTable();
    return 0;
}
