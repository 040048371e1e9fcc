// The handling of one received datagram, apart from any socket: trace it,
// answer DHCPDISCOVER with DHCPOFFER and DHCPREQUEST with DHCPACK or DHCPNAK
// (built in place over the request), take back the lease of a DHCPRELEASE.
// The server thread feeds it every datagram and sends what it returns; tests
// call it directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"

// Length of every DHCPNAK: the fixed header, cookie, 53, 54 and end.
constexpr size_t NAK_LENGTH = 250;

struct ReplyAction {
    size_t length = 0;        // bytes of message.bytes to send; 0 = no reply
    uint32_t destination = 0;  // host order
    // A relay agent listens on the server port (67), a client on the client
    // port (68).
    bool toRelayAgent = false;
};

// Handles the datagram of `received` bytes in `message` with one settings
// snapshot: drops it when an unknown relay agent sent it (relay_check.h),
// else logs "DHCP - Incoming call", parses and traces it,
// then acts on its message type. A reply, if any, is in message.bytes[0 .. length).
// Any content and any length up to DHCP_BUFFER_SIZE is safe.
ReplyAction HandleDatagram(DhcpMessage& message, size_t received, const ServerSettings& settings);
