// The BOOTP/DHCP message as the server reads and writes it: one 2048-byte
// buffer that a datagram is received into and the reply is built in, the
// option table of a request, option lookup and the client identity.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t DHCP_BUFFER_SIZE = 2048;
constexpr size_t MAX_STORED_OPTIONS = 32;
constexpr size_t OPTION_VALUE_SIZE = 256;

// Byte offsets of the fixed header.
enum DhcpOffset : size_t {
    OFFSET_OP = 0,
    OFFSET_HTYPE = 1,
    OFFSET_HLEN = 2,
    OFFSET_HOPS = 3,
    OFFSET_XID = 4,
    OFFSET_SECS = 8,
    OFFSET_FLAGS = 10,
    OFFSET_CIADDR = 12,
    OFFSET_YIADDR = 16,
    OFFSET_SIADDR = 20,
    OFFSET_GIADDR = 24,
    OFFSET_CHADDR = 28,
    OFFSET_SNAME = 44,
    OFFSET_FILE = 108,
    OFFSET_COOKIE = 236,
    OFFSET_OPTIONS = 240,
};
constexpr size_t SNAME_SIZE = 64;
constexpr size_t FILE_SIZE = 128;
constexpr uint8_t MAGIC_COOKIE[4] = {99, 130, 83, 99};

enum DhcpMessageType : uint8_t {
    DHCPDISCOVER = 1,
    DHCPOFFER = 2,
    DHCPREQUEST = 3,
    DHCPDECLINE = 4,
    DHCPACK = 5,
    DHCPNAK = 6,
    DHCPRELEASE = 7,
};

enum DhcpOptionCode : uint8_t {
    OPTION_PAD = 0,
    OPTION_SUBNET_MASK = 1,
    OPTION_ROUTERS = 3,
    OPTION_DNS_SERVERS = 6,
    OPTION_HOST_NAME = 12,
    OPTION_DOMAIN_NAME = 15,
    OPTION_WINS_SERVERS = 44,
    OPTION_REQUESTED_ADDRESS = 50,
    OPTION_LEASE_TIME = 51,
    OPTION_MESSAGE_TYPE = 53,
    OPTION_SERVER_ID = 54,
    OPTION_PARAMETER_LIST = 55,
    OPTION_MAX_MESSAGE_SIZE = 57,
    OPTION_CLIENT_ID = 61,
    OPTION_END = 255,
};

// The receive buffer and the received length. Bytes at and past `length`
// are zero after ParseRequest, never data left by an earlier datagram.
struct DhcpMessage {
    uint8_t bytes[DHCP_BUFFER_SIZE];
    size_t length;
};

struct OptionEntry {
    uint8_t code;    // never 0 or 255 in a stored row
    uint8_t length;  // value bytes, 0 to 255
    uint8_t value[OPTION_VALUE_SIZE];
};

// Up to 32 stored options in message order, then a row with code 0.
struct ParsedOptions {
    OptionEntry rows[MAX_STORED_OPTIONS + 1];
};

// Walks the options of a received datagram into `options` and writes the
// request trace to the main log. Clears the buffer past `received`.
void ParseRequest(DhcpMessage& message, size_t received, ParsedOptions& options);

// Value length of option `code` (0 when absent); copies the value bytes into
// `out` (at least 256 bytes), after setting out[0] to 0. With repeats, the
// last occurrence's length is returned.
size_t FindOption(const ParsedOptions& options, uint8_t code, uint8_t* out);

// The client identity into `out` (at least 256 bytes); returns its length.
size_t GetClientId(const DhcpMessage& message, const ParsedOptions& options, uint8_t* out);

// First value byte of option 53, 0 when absent.
uint8_t GetMessageType(const ParsedOptions& options);
