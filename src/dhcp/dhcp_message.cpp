#include "dhcp/dhcp_message.h"

#include <algorithm>
#include <cstring>

#include "dhcp/request_trace.h"

namespace {

// Calls visit(code, stated length, value, available bytes) for each option
// of a received datagram in message order, pad and end aside. An option
// that runs past the datagram is given with the bytes that did arrive; the
// walk then ends, since its position moves past `received`.
template <class Visit>
void WalkOptions(const uint8_t* bytes, size_t received, Visit visit) {
    size_t at = OFFSET_OPTIONS;
    while (at < received) {
        uint8_t code = bytes[at];
        if (code == OPTION_PAD) {
            ++at;
            continue;
        }
        if (code == OPTION_END) break;
        // A code in the last received byte has no length: nothing to read.
        if (at + 1 >= received) break;
        uint8_t stated = bytes[at + 1];
        size_t available = std::min<size_t>(stated, received - (at + 2));
        visit(code, stated, bytes + at + 2, available);
        at += 2 + static_cast<size_t>(stated);
    }
}

bool HasCookie(const uint8_t* bytes, size_t received) {
    return received >= OFFSET_OPTIONS && std::memcmp(bytes + OFFSET_COOKIE, MAGIC_COOKIE, sizeof MAGIC_COOKIE) == 0;
}

}  // namespace

void ParseRequest(DhcpMessage& message, size_t received, ParsedOptions& options) {
    // A datagram never exceeds the buffer; a larger count is a caller's error
    // and is cut rather than trusted.
    if (received > DHCP_BUFFER_SIZE) received = DHCP_BUFFER_SIZE;
    // Clear what an earlier datagram or reply left past the received bytes,
    // so that no stale byte reaches the identity, the trace or a reply, and a
    // datagram shorter than 240 bytes never matches the cookie.
    std::memset(message.bytes + received, 0, DHCP_BUFFER_SIZE - received);
    message.length = received;

    size_t stored = 0;
    TraceHeader(message, received);
    if (HasCookie(message.bytes, received)) {
        TraceOptionsStart();
        // An option that runs past the datagram is kept with the bytes that
        // did arrive: its stored length is what was received, never what it
        // claims.
        WalkOptions(message.bytes, received,
                    [&](uint8_t code, uint8_t stated, const uint8_t* value, size_t available) {
                        if (stored < MAX_STORED_OPTIONS) {
                            OptionEntry& row = options.rows[stored++];
                            row.code = code;
                            row.length = static_cast<uint8_t>(available);
                            std::memcpy(row.value, value, available);
                        }
                        TraceOption(code, stated, value, available);
                    });
    }
    options.rows[stored].code = 0;
    options.rows[stored].length = 0;
}

size_t PeekClientId(const DhcpMessage& message, size_t received, uint8_t* out) {
    if (received > DHCP_BUFFER_SIZE) received = DHCP_BUFFER_SIZE;
    // What GetClientId finds after ParseRequest: the last option 61 among
    // the stored options, without its type byte.
    size_t stored = 0, length = 0;
    if (HasCookie(message.bytes, received)) {
        WalkOptions(message.bytes, received,
                    [&](uint8_t code, uint8_t, const uint8_t* value, size_t available) {
                        if (stored++ >= MAX_STORED_OPTIONS || code != OPTION_CLIENT_ID) return;
                        length = available;
                        if (available > 1) std::memcpy(out, value + 1, available - 1);
                    });
    }
    if (length >= 1) return length - 1;
    // Else the hardware address; bytes past the datagram count as zero.
    const size_t hlen = received > OFFSET_HLEN ? message.bytes[OFFSET_HLEN] : 0;
    for (size_t i = 0; i < hlen; ++i)
        out[i] = OFFSET_CHADDR + i < received ? message.bytes[OFFSET_CHADDR + i] : 0;
    return hlen;
}

size_t FindOption(const ParsedOptions& options, uint8_t code, uint8_t* out) {
    out[0] = 0;
    size_t result = 0;
    for (size_t i = 0; i <= MAX_STORED_OPTIONS && options.rows[i].code != 0; ++i) {
        const OptionEntry& row = options.rows[i];
        if (row.code != code) continue;
        // A repeated option overwrites the front of the earlier value; the
        // last occurrence's length counts.
        std::memcpy(out, row.value, row.length);
        result = row.length;
    }
    return result;
}

size_t GetClientId(const DhcpMessage& message, const ParsedOptions& options, uint8_t* out) {
    size_t n = FindOption(options, OPTION_CLIENT_ID, out);
    if (n >= 1) {
        // The first byte is the identifier's type and not part of the identity.
        std::memmove(out, out + 1, n - 1);
        return n - 1;
    }
    // hlen is not limited to the 16 bytes of chaddr: the identity is what the
    // request gives. It stays inside the buffer (28 + 255 < 2048), and past the
    // received length the buffer holds zeros.
    size_t hlen = message.bytes[OFFSET_HLEN];
    std::memcpy(out, message.bytes + OFFSET_CHADDR, hlen);
    return hlen;
}

uint8_t GetMessageType(const ParsedOptions& options) {
    uint8_t value[OPTION_VALUE_SIZE];
    // A type option of length 0 counts as absent, as FindOption reports it.
    return FindOption(options, OPTION_MESSAGE_TYPE, value) ? value[0] : 0;
}
