// The first check of every datagram, before it is even traced: a message
// relayed by an agent that the server does not know gets no reply and no
// other handling. Its answer would go to port 67 of whatever address the
// sender put into giaddr, which would make the server a reflector towards
// any host. Every later step (the trace, the notice of another DHCP server,
// the message handling) sees only datagrams that passed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"

// True for a datagram whose giaddr is set, names no relay agent of a [GWn]
// section (IsKnownGateway) and lies outside the server's own network; the
// caller drops it. The drop is logged at level 0 (UnknownRelayLines).
bool DropFromUnknownRelayAgent(const DhcpMessage& message, size_t received, const ServerSettings& settings);

// The log lines of those drops: one per relay address and minute, and, since
// spoofed giaddr values would defeat a limit per address, at most
// UNKNOWN_RELAY_LINES_PER_MINUTE within any minute. Drops without a line are
// counted, and the count is written before the next line.
constexpr uint32_t UNKNOWN_RELAY_LINE_INTERVAL_MS = 60000;
constexpr size_t UNKNOWN_RELAY_LINES_PER_MINUTE = 10;

struct UnknownRelayLines {
    std::vector<std::pair<uint32_t, uint32_t>> written;  // relay address and tick of each line of the last minute
    unsigned long leftOut = 0;
};

// Whether the drop of a message from `relay` at tick `now` gets its line
// (then recorded); else it is counted in leftOut.
bool TakeUnknownRelayLine(UnknownRelayLines& lines, uint32_t relay, uint32_t now);
