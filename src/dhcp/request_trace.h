// The request trace: a readable copy of every received datagram in the main
// log (level 3), written by ParseRequest during its walk over the options.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dhcp/dhcp_message.h"

// The two header lines. Header fields are printed as they lie in the
// message read least significant byte first (192.168.1.10 in ciaddr shows
// as 0a01a8c0; the broadcast flag alone shows as 0080).
void TraceHeader(const DhcpMessage& message, size_t received);

// "DHCP Options:", written when the magic cookie is present.
void TraceOptionsStart();

// One line for one option. `stated` is the length byte of the message;
// `value` holds the `available` bytes that were actually received (fewer
// than `stated` when the option runs past the datagram). Bytes that a line
// would print beyond `available` print as 0.
void TraceOption(uint8_t code, uint8_t stated, const uint8_t* value, size_t available);
