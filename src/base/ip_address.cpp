#include "ip_address.h"

#include <cctype>
#include <cstdio>
#include <cstring>

bool IsLittleEndian() {
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

namespace {

// One part of an address: decimal, octal with a leading 0, hex with 0x.
// Returns false when no digit is found or the value overflows 32 bits.
bool ParsePart(const char*& p, uint32_t& value) {
    int base = 10;
    if (*p == '0') {
        if (p[1] == 'x' || p[1] == 'X') {
            base = 16;
            p += 2;
            if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
        } else {
            base = 8;
        }
    }
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    uint64_t result = 0;
    bool any = false;
    for (;; ++p) {
        int c = static_cast<unsigned char>(*p);
        int digit;
        if (std::isdigit(c)) {
            digit = c - '0';
            if (digit >= base) return false;
        } else if (base == 16 && std::isxdigit(c)) {
            digit = std::tolower(c) - 'a' + 10;
        } else {
            break;
        }
        result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (result > 0xFFFFFFFFull) return false;
        any = true;
    }
    value = static_cast<uint32_t>(result);
    return any;
}

}  // namespace

bool TryParseAddress(const char* text, uint32_t& result) {
    result = ADDRESS_NONE;
    if (!text) return false;
    uint32_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4) return false;
        if (!ParsePart(p, parts[count])) return false;
        ++count;
        if (*p == '.') {
            ++p;
            continue;
        }
        if (*p == '\0' || std::isspace(static_cast<unsigned char>(*p))) break;
        return false;
    }
    uint32_t address;
    switch (count) {
        case 1:
            address = parts[0];
            break;
        case 2:
            if (parts[0] > 0xFF || parts[1] > 0xFFFFFF) return false;
            address = (parts[0] << 24) | parts[1];
            break;
        case 3:
            if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF) return false;
            address = (parts[0] << 24) | (parts[1] << 16) | parts[2];
            break;
        default:
            if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFF || parts[3] > 0xFF) return false;
            address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
            break;
    }
    result = address;
    return true;
}

uint32_t ParseAddress(const char* text) {
    uint32_t address;
    TryParseAddress(text, address);
    return address;
}

uint32_t SwapBytes32(uint32_t value) {
    return ((value & 0xFF) << 24) | ((value & 0xFF00) << 8) | ((value >> 8) & 0xFF00) | (value >> 24);
}

uint32_t HostToNetwork(uint32_t host) { return IsLittleEndian() ? SwapBytes32(host) : host; }
uint32_t NetworkToHost(uint32_t net) { return IsLittleEndian() ? SwapBytes32(net) : net; }

std::string FormatAddress(uint32_t host) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", host >> 24, (host >> 16) & 0xFF, (host >> 8) & 0xFF, host & 0xFF);
    return text;
}

uint32_t ReadBigEndian32(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void WriteBigEndian32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[0];
}
