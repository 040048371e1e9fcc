#include "dhcp/request_trace.h"

#include <cstdio>
#include <string>

#include "base/ip_address.h"
#include "base/log.h"

namespace {

const char* const MESSAGE_TYPE_NAMES[] = {
    "0", "DHCPDISCOVER", "DHCPOFFER", "DHCPREQUEST", "DHCPDECLINE", "DHCPACK", "DHCPNACK", "DHCPRELEASE",
};

unsigned ReadLittleEndian16(const uint8_t* bytes) {
    return static_cast<unsigned>(bytes[0]) | (static_cast<unsigned>(bytes[1]) << 8);
}

// Byte i of a value of which only `available` bytes were received; 0 beyond.
unsigned ValueByte(const uint8_t* value, size_t available, size_t i) { return i < available ? value[i] : 0; }

// "%d " and "%02x " of one byte: a trace line lists up to 255 of them.
char* PutDecimal(char* p, unsigned byte) {
    if (byte >= 100) *p++ = static_cast<char>('0' + byte / 100);
    if (byte >= 10) *p++ = static_cast<char>('0' + byte / 10 % 10);
    *p++ = static_cast<char>('0' + byte % 10);
    *p++ = ' ';
    return p;
}

char* PutHex(char* p, unsigned byte) {
    const char* digits = "0123456789abcdef";
    *p++ = digits[byte >> 4];
    *p++ = digits[byte & 0x0F];
    *p++ = ' ';
    return p;
}

}  // namespace

void TraceHeader(const DhcpMessage& message, size_t received) {
    const uint8_t* b = message.bytes;
    // %lx and %ld take a long: 32 bits on Windows, 64 on Linux, so the values
    // are passed as unsigned long explicitly.
    WriteLog(3, "DHCP Request (%d) - op=%d, htype=%d hlen=%d xid=%08lx secs=%d\n", static_cast<int>(received),
             b[OFFSET_OP], b[OFFSET_HTYPE], b[OFFSET_HLEN],
             static_cast<unsigned long>(ReadLittleEndian32(b + OFFSET_XID)),
             static_cast<int>(ReadLittleEndian16(b + OFFSET_SECS)));
    WriteLog(3, "  ciaddr = %08lx, yiaddr = %08lx, siaddr = %08lx, giaddr = %08lx, flags=%04x\n",
             static_cast<unsigned long>(ReadLittleEndian32(b + OFFSET_CIADDR)),
             static_cast<unsigned long>(ReadLittleEndian32(b + OFFSET_YIADDR)),
             static_cast<unsigned long>(ReadLittleEndian32(b + OFFSET_SIADDR)),
             static_cast<unsigned long>(ReadLittleEndian32(b + OFFSET_GIADDR)), ReadLittleEndian16(b + OFFSET_FLAGS));
}

void TraceOptionsStart() { WriteLog(3, "DHCP Options:\n"); }

void TraceOption(uint8_t code, uint8_t stated, const uint8_t* value, size_t available) {
    switch (code) {
    case OPTION_HOST_NAME: {
        // A zero byte adds nothing; the name comes off the wire, so a control
        // byte (a line break would forge an entry of its own) shows as '?'.
        std::string name;
        for (size_t i = 0; i < available; ++i)
            if (value[i] != 0) name += static_cast<char>(value[i]);
        WriteLog(3, "%.100s\n", ("  Host Name: " + LogText(name.c_str())).c_str());
        break;
    }
    case OPTION_REQUESTED_ADDRESS:
        WriteLog(3, "  Requested Addr - %d.%d.%d.%d\n", ValueByte(value, available, 0), ValueByte(value, available, 1),
                 ValueByte(value, available, 2), ValueByte(value, available, 3));
        break;
    case OPTION_MESSAGE_TYPE: {
        unsigned type = ValueByte(value, available, 0);
        if (type <= 7)
            WriteLog(3, "  Msg Type = %.20s\n", MESSAGE_TYPE_NAMES[type]);
        else
            WriteLog(3, "  Msg Type = %d\n", static_cast<int>(type));
        break;
    }
    case OPTION_SERVER_ID:
        WriteLog(3, "  Server Addr - %d.%d.%d.%d\n", ValueByte(value, available, 0), ValueByte(value, available, 1),
                 ValueByte(value, available, 2), ValueByte(value, available, 3));
        break;
    case OPTION_PARAMETER_LIST: {
        char text[32 + 4 * 255];
        char* end = text + std::snprintf(text, 32, "  Param Request: ");
        for (size_t i = 0; i < available; ++i) end = PutDecimal(end, value[i]);
        *end = '\0';
        WriteLog(3, "%.300s\n", text);
        break;
    }
    case OPTION_CLIENT_ID: {
        char text[32 + 3 * 255];
        char* end = text + std::snprintf(text, 32, "  Client ID %d:", static_cast<int>(ValueByte(value, available, 0)));
        for (size_t i = 1; i < available; ++i) end = PutHex(end, value[i]);
        *end = '\0';
        WriteLog(3, "%.100s\n", text);
        break;
    }
    default:
        WriteLog(3, "  Tag = %d, Len = %d, Val1 = %d\n", code, stated, ValueByte(value, available, 0));
        break;
    }
}
