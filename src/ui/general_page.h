// The decisions of the General page, without windows: how the lease time is
// shown in and read from its three fields, which address field refuses to
// be left, and how the page is stored into the settings and the local
// exceptions. The page's dialog procedure only moves text between its
// controls and these functions.
#pragma once

#include <cstdint>
#include <string>

#include "config/server_settings.h"
#include "dhcp/other_servers.h"

// An address typed into a page, in host order, read the way the Windows
// family this program was made for reads it with inet_addr: an empty text is
// 0.0.0.0 (so a first-run user with empty fields is not held on the page),
// anything else as ParseAddress reads it; ADDRESS_NONE when it does not parse.
uint32_t PageAddress(const char* text);

// The lease-time controls: "Unlimited" or "Limited To:" with days, hours and
// minutes as typed.
struct LeaseTimeFields {
    bool unlimited = false;
    std::string days;
    std::string hours;
    std::string minutes;
};

// What the fields show for a lease time: unlimited with 3, 0, 0; otherwise
// whole days, hours of the day and minutes of the hour (seconds dropped).
LeaseTimeFields ShowLeaseTime(uint32_t leaseTime);
// The lease time the fields give: UNLIMITED_LEASE_TIME, or
// ((days * 24 + hours) * 60 + minutes) * 60 in unsigned 32-bit arithmetic,
// each field an unsigned decimal number, 0 when empty or unreadable. Hours
// and minutes are not limited to a day or an hour.
uint32_t ReadLeaseTime(const LeaseTimeFields& fields);

// Every field of the page as text.
struct GeneralFields {
    std::string IPAddress;
    std::string SubnetMask;
    std::string DNSServer;
    std::string WINSServer;
    std::string Routers;
    std::string DomainName;
    LeaseTimeFields leaseTime;
};

GeneralFields GeneralPageFields(const ServerSettings& settings);

// The first field that keeps the user on the page: the server address, then
// the subnet mask (only those two are checked); None when both parse.
enum class GeneralField { None, ServerAddress, SubnetMask };
GeneralField CheckGeneralPage(const char* serverAddress, const char* subnetMask);

// Stores the page. First the local exceptions gain every address of the DNS
// servers, the server itself, the WINS servers and the routers (in that
// order) that a local range would still hand out; then the settings are
// published in one step: the texts, the host-order server address and mask
// derived from them, and the lease time. The network-order address the
// socket is bound to stays as it is until the next start. Exceptions come
// first so that the server never sees the new address without its
// exception.
void StoreGeneralPage(const GeneralFields& fields);

// The line between the about text and the server address: the last other
// DHCP server seen, through the string table's format whose two "%.15s" and
// "%.50s" take its address and the local date and time; "" when none was
// seen in this run.
std::string OtherServerLine(const std::string& format, const OtherServerSighting& seen);
