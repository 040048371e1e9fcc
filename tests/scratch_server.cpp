#include "scratch_server.h"

#include <string>

#include "base/clock.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/other_servers.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "leases/leases_changed.h"
#include "leases/reservations.h"

void ResetServerState() {
    ClearLeaseTable();
    ClearReservations();
    ClearRangeTables();
    ResetSettings();
    SetIniPath("");
    SetEchoOverride(nullptr);
    SetClockSource(nullptr);
    SetLeasesChangedCallback(nullptr);
    ForgetOtherServers();
    SetOtherServerCallback(nullptr);
}

void SetUpScratchServer(const ScratchServer& server, const std::function<void(ServerSettings&)>& edit) {
    ResetServerState();
    UpdateSettings([&](ServerSettings& s) {
        CopySetting(s.IPAddress, server.ipAddress);
        CopySetting(s.SubnetMask, server.subnetMask);
        DeriveAddressFields(s);
        s.LeaseTime = server.leaseTime;
        s.userOptions.assign(DEFAULT_MAX_OPTION + 1, std::string());
        if (edit) edit(s);
    });
    if (server.localRanges) SetGatewayRanges(LOCAL_GATEWAY, server.localRanges);
    for (const auto& relay : server.relayRanges) SetGatewayRanges(relay.first, relay.second);
}
