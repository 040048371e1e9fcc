#include "dhcp/relay_check.h"

#include <algorithm>
#include <mutex>

#include "base/clock.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "leases/address_ranges.h"

bool TakeUnknownRelayLine(UnknownRelayLines& lines, uint32_t relay, uint32_t now) {
    auto& written = lines.written;
    // Unsigned differences: right across the wrap of the tick count.
    written.erase(std::remove_if(written.begin(), written.end(),
                                 [now](const auto& line) { return now - line.second >= UNKNOWN_RELAY_LINE_INTERVAL_MS; }),
                  written.end());
    const bool recent = std::any_of(written.begin(), written.end(), [relay](const auto& line) { return line.first == relay; });
    if (recent || written.size() >= UNKNOWN_RELAY_LINES_PER_MINUTE) {
        ++lines.leftOut;
        return false;
    }
    written.emplace_back(relay, now);
    return true;
}

bool DropFromUnknownRelayAgent(const DhcpMessage& message, size_t received, const ServerSettings& settings) {
    if (received < OFFSET_GIADDR + 4) return false;
    const uint32_t relay = ReadBigEndian32(message.bytes + OFFSET_GIADDR);
    if (relay == 0) return false;
    if ((relay & settings.subnetMask) == (settings.serverAddress & settings.subnetMask)) return false;
    if (IsKnownGateway(relay)) return false;

    static std::mutex linesLock;  // the server may handle datagrams on several threads
    static UnknownRelayLines lines;
    std::lock_guard<std::mutex> guard(linesLock);
    if (TakeUnknownRelayLine(lines, relay, TickCountMs())) {
        if (lines.leftOut != 0)
            WriteLog(0, "Messages from unknown relay agents dropped without a line - %lu\n", lines.leftOut);
        lines.leftOut = 0;
        WriteLog(0, "Dropped a message from unknown relay agent %s\n", FormatAddress(relay).c_str());
    }
    return true;
}
