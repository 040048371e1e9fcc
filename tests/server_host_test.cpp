// The end of the Linux host's run: stop the server thread, save, end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/server_thread.h"
#include "dhcp/udp_socket.h"
#include "dhcp_builder.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "base/log.h"
#include "host/server_host.h"
#include "test_support.h"
#include "wait_until.h"

namespace {

constexpr uint32_t LOOPBACK = 0x7F000001;
std::atomic<bool> inSlowProbe{false};

// Keeps the server thread busy far past the stop's wait.
EchoResult SlowProbe(uint32_t) {
    inSlowProbe = true;
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return EchoResult{true, 0, 0};
}

// Runs in the death test's child: a server thread busy in a probe when the
// host shuts down.
void ShutDownWhileTheThreadIsBusy(const ScratchDir& dir, uint16_t port) {
    UseLogDirectory(dir.path());
    SetIniPath(dir.file("NIMBO.INI"));
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "127.0.0.1");
        CopySetting(s.SubnetMask, "255.0.0.0");
        DeriveAddressFields(s);
    });
    SetGatewayRanges(LOOPBACK, "198.51.100.10-198.51.100.20");
    SetEchoOverride(&SlowProbe);
    SetServerPorts(port, static_cast<uint16_t>(port + 1));
    if (!StartServerThread()) return;
    long error = 0;
    UdpHandle client = OpenUdpSocket(LOOPBACK, 0, error);
    Bytes discover = WindowsDiscover().giaddr(LOOPBACK).build();
    const bool busy = WaitUntil("the server thread in the probe", [&] {
        SendUdp(client, discover.data(), discover.size(), LOOPBACK, port, error);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return inSlowProbe.load();
    });
    if (!busy) return;
    Lease lease;
    lease.setHostName("kept");
    lease.setClientId(reinterpret_cast<const uint8_t*>("\x01"), 1);
    lease.address = 0xC6336405;
    lease.expiry = NEVER_EXPIRES;
    AppendLease(lease);
    ShutDownServer(100);
}

// A server thread that did not stop in time still runs: the host saves and
// then ends the process at once, without the static destructors, which
// would tear down the lease table and the log lock under that thread.
TEST(ServerHostShutdown, ThreadThatDidNotStopEndsTheProcessRightAfterTheSave) {
    ScratchDir dir;
    const uint16_t port = static_cast<uint16_t>(
        30000 + std::chrono::steady_clock::now().time_since_epoch().count() / 1000 % 10000 * 2);
    EXPECT_EXIT(ShutDownWhileTheThreadIsBusy(dir, port), ::testing::ExitedWithCode(0), "");
    EXPECT_NE(ReadFile(dir.file("NIMBO.INI")).find("kept~01=c6336405.ffffffff.ffffffff"), std::string::npos);
    EXPECT_NE(ReadFile(dir.file("NIMBO.LOG")).find("DHCP Server Not Terminated Properly"), std::string::npos);
}

}  // namespace
