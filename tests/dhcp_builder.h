// A builder for realistic DHCP/BOOTP requests in tests, and a reader for the
// options of a reply. Addresses are given in host order (192.0.2.10 is
// 0xC000020A) and written to the wire in network order.
//
//   DhcpMessage message;
//   size_t length = WindowsDiscover().giaddr(0xC6336401).load(message);
//   ParseRequest(message, length, options);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dhcp/dhcp_message.h"

using Bytes = std::vector<uint8_t>;

class RequestBuilder {
public:
    // op 1 (BOOTREQUEST), htype 1 (Ethernet), hlen 6, xid 0x12345678, the
    // hardware address 00:0c:29:aa:bb:cc, the magic cookie, no options.
    RequestBuilder();

    // Fixed header fields.
    RequestBuilder& op(uint8_t value);
    RequestBuilder& htype(uint8_t value);
    RequestBuilder& hlen(uint8_t value);
    RequestBuilder& hops(uint8_t value);
    RequestBuilder& xid(uint32_t value);      // written most significant byte first
    RequestBuilder& secs(uint16_t value);     // written most significant byte first
    RequestBuilder& flags(uint16_t value);    // 0x8000 = broadcast bit
    RequestBuilder& ciaddr(uint32_t host);
    RequestBuilder& yiaddr(uint32_t host);
    RequestBuilder& siaddr(uint32_t host);
    RequestBuilder& giaddr(uint32_t host);
    // Up to 16 bytes into chaddr; does not change hlen.
    RequestBuilder& chaddr(const Bytes& hardware);

    // Leaves out the magic cookie (a BOOTP request); options added are still
    // written at offset 240 but a server must not read them.
    RequestBuilder& noCookie();

    // Options, appended in call order.
    RequestBuilder& option(uint8_t code, const Bytes& value);  // value.size() <= 255
    RequestBuilder& option(uint8_t code, const std::string& text);
    RequestBuilder& messageType(uint8_t type);                         // 53
    RequestBuilder& clientId(uint8_t type, const Bytes& identifier);  // 61
    RequestBuilder& hostName(const std::string& name);                 // 12
    RequestBuilder& vendorClass(const std::string& vendor);            // 60
    RequestBuilder& parameterList(const Bytes& codes);                 // 55
    RequestBuilder& requestedAddress(uint32_t host);                   // 50
    RequestBuilder& serverId(uint32_t host);                           // 54
    RequestBuilder& pad(size_t count = 1);
    // Bytes copied into the option area as they are (e.g. a truncated option).
    RequestBuilder& raw(const Bytes& bytes);

    // build() appends the end option (255) unless noEnd() was called.
    RequestBuilder& noEnd();
    // Zero bytes after the end until the datagram is at least `length` bytes
    // (clients pad to the 300-byte BOOTP minimum).
    RequestBuilder& padTo(size_t length);

    // The datagram: 240 header bytes (cookie included), options, end, padding.
    Bytes build() const;
    // Copies the datagram into message.bytes (at most 2048 bytes), sets
    // message.length and returns the length. Bytes past it are left as they were.
    size_t load(DhcpMessage& message) const;

private:
    Bytes header_;
    Bytes options_;
    bool end_ = true;
    size_t minimum_ = 0;
};

// The hardware address the builder uses by default: 00:0c:29:aa:bb:cc.
Bytes DefaultHardware();

// A Windows client's DHCPDISCOVER: 53 (1), 61 (type 1 + hardware address),
// 12 (host name), 60 ("MSFT 5.0"), 55 (1 15 3 6 44 46 47 31 33 249 43),
// padded to 300 bytes.
RequestBuilder WindowsDiscover(const Bytes& hardware = DefaultHardware(), const std::string& host = "WORKSTATION7");

// A Windows client's DHCPREQUEST for `requested` from server `server`:
// 53 (3), 61, 50, 54, 12, 60, 55 (as in the discover); padded to 300 bytes.
RequestBuilder WindowsRequest(uint32_t requested, uint32_t server, const Bytes& hardware = DefaultHardware(),
                              const std::string& host = "WORKSTATION7");

// A DHCPREQUEST forwarded by a relay agent at `relay`: hops 1, giaddr set,
// options 53 (3), 61, 50, 54, 12, 55.
RequestBuilder RelayedRequest(uint32_t relay, uint32_t requested, uint32_t server,
                              const Bytes& hardware = DefaultHardware(), const std::string& host = "BRANCH-PC");

// A plain BOOTP request: no cookie, no options, 300 bytes.
RequestBuilder BootpRequest(const Bytes& hardware = DefaultHardware());

// One option of a reply (or any datagram with a cookie at offset 236).
struct ReplyOption {
    uint8_t code;
    Bytes value;
};

// The options of a datagram in order, read from offset 240 up to the end
// option or `length`; pads skipped. Empty without the cookie. An option whose
// value runs past `length` is returned with the bytes that are there and
// `truncated` set.
std::vector<ReplyOption> ReadOptions(const uint8_t* datagram, size_t length, bool* truncated = nullptr);
// The first option `code` of ReadOptions, or nullptr.
const ReplyOption* FindReplyOption(const std::vector<ReplyOption>& options, uint8_t code);
