// The configured options that a client asked for in its parameter request
// list (option 55), appended to an offer or acknowledgement, and the address
// templates (%1..%4, %a) relative to the server's own address.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"

// Appends the requested configured options at options-area index `position`
// (counted from offset 236, cookie included) and advances it. Leaves room for
// the end option: position never passes DHCP_BUFFER_SIZE - 236 - 1.
void appendReplyOptions(DhcpMessage& reply, size_t& position, const ParsedOptions& request, const char* hostName,
                        const ServerSettings& settings);

// The address in network order (as inet_addr gives it), 0 when the text does
// not convert or names 255.255.255.255. serverAddress is in host order.
uint32_t expandAddressTemplate(const char* text, uint32_t serverAddress);
