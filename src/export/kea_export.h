// The way out to ISC Kea: the loaded configuration, reservations and lease
// table written as a kea-dhcp4 (2.2) configuration and its memfile lease
// file, with a summary of what went over and what could not.
//
// The subnets are the server's own network (IPAddress and SubnetMask) and
// one per relay agent ([GWn], under "relay" / "ip-addresses"), each with an
// explicit id that the lease file repeats. Pools are the ranges less the
// exceptions, cut to the subnet's host addresses, less the server's own
// address, the relay agents' and the routers', name servers' and WINS
// servers' (which answer the in-use probe, so the server never hands them
// out either). Options are written only where Kea sends exactly the bytes
// this server sends (kea_options.h). Leases go over by hardware address;
// placeholders become declined leases, which Kea also keeps back.
#pragma once

#include <cstdint>
#include <string>

struct KeaExportInput {
    uint64_t now = 0;           // FILETIME scale
    std::string interfaceName;  // the device that holds the server address; empty when none
    std::string leaseFile;      // the lease-database file named in the configuration
};

struct KeaExport {
    std::string config;   // kea-dhcp4.conf
    std::string leases;   // kea-leases4.csv
    std::string summary;  // lines ending in "\n"
};

// Reads the settings record, the range tables, the reservations and the
// lease table as the settings loader left them.
KeaExport BuildKeaExport(const KeaExportInput& input);
