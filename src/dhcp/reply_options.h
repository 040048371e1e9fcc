// The configured options that a client asked for in its parameter request
// list (option 55), appended to an offer or acknowledgement, and the address
// templates (%1..%4, %a) relative to the server's own address (or, in a
// relay agent's own settings, to the relay agent's address).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"

// Appends the requested configured options at options-area index `position`
// (counted from offset 236, cookie included) and advances it. A code the
// list repeats is answered once, at its first place. The reply keeps within
// ClientMessageLimit with room for the end option: when the options asked
// for do not all fit, they are left out from the end of the list backwards,
// named in one level 3 line.
// `gateway` is the relay agent whose segment the client is on (host order, 0
// for the server's own): its Routers, when set, replace the server's.
void appendReplyOptions(DhcpMessage& reply, size_t& position, const ParsedOptions& request, const char* hostName,
                        const ServerSettings& settings, uint32_t gateway = 0);

// Where the value of a requested option comes from, host name aside.
enum class OptionSource { None, DnsServers, Routers, WinsServers, DomainName, User };

// What a reply carries for one requested code, for a client of the segment
// of `gateway` that sent no host name (with one, code 12 is that name).
// `sent` is false when the code's rule applies but writes nothing (an address
// setting whose text holds no entry, which still shadows a user option);
// `value` is then empty. `cutTo` is the number of whole items kept when the
// value was cut to fit a length byte (addresses for a list, bytes for a user
// option), else 0. Every reply is built from this, so that what the server
// sends can also be told without building one.
struct ConfiguredOption {
    OptionSource source = OptionSource::None;
    bool sent = false;
    std::string value;
    size_t cutTo = 0;
};
ConfiguredOption ConfiguredOptionFor(const ServerSettings& settings, uint8_t code, uint32_t gateway = 0);

// The longest DHCP message (UDP payload) the client takes: option 57 (its
// maximum message size) less the IP and UDP headers, 548 when it is absent
// or below 576, and never more than the buffer.
constexpr size_t MIN_CLIENT_DATAGRAM = 576;
constexpr size_t IP_UDP_HEADERS = 28;
size_t ClientMessageLimit(const ParsedOptions& request);

// The subnet mask (host order) for a client on the segment of `gateway`: the
// relay agent's own SubnetMask when it has one that converts, else the
// server's.
uint32_t SegmentSubnetMask(const ServerSettings& settings, uint32_t gateway);

// The address in network order (as inet_addr gives it), 0 when the text does
// not convert or names 255.255.255.255. serverAddress is in host order.
uint32_t expandAddressTemplate(const char* text, uint32_t serverAddress);
