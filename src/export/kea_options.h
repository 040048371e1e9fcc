// Which configured options Kea (kea-dhcp4 2.2) sends with exactly the bytes
// that this server sends. Kea reads even raw option data against its own
// definition of the code: it refuses some values, cuts others, trims zero
// bytes from texts, and fills some options itself. An option is exported
// only where the bytes stay the same.
#pragma once

#include <cstdint>
#include <string>

struct KeaOptionDecision {
    bool write = false;
    std::string reason;  // why not, when write is false
};

// The decision for option `code` whose value is `value`, the bytes this
// server sends.
KeaOptionDecision DecideKeaOption(uint8_t code, const std::string& value);
