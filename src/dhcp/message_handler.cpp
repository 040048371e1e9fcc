#include "dhcp/message_handler.h"

#include <cstring>
#include <string>

#include "dhcp/relay_check.h"
#include "dhcp/reply_options.h"
#include "dhcp/udp_socket.h"
#include "leases/address_allocation.h"
#include "leases/address_ranges.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "base/clock.h"
#include "base/host_name.h"
#include "base/ip_address.h"
#include "base/log.h"

namespace {

constexpr uint8_t BROADCAST_FLAG = 0x80;  // most significant bit of flags, first byte on the wire

// Options-area index (counted from offset 236, cookie included) of the end
// option of a DHCPNAK. (Offers reach index 31 and acknowledgements 25 before
// the configured options.)
constexpr size_t NAK_END_INDEX = 13;

// The values a request hands to the lease database, read once.
struct RequestInputs {
    char hostName[OPTION_VALUE_SIZE + 1] = {};  // option 12 as text, "" when absent
    uint8_t id[OPTION_VALUE_SIZE] = {};
    size_t idLength = 0;
    ClientIdentity client() const { return ClientIdentity{hostName, id, idLength}; }
};

// The log lines that name where a reply goes.
struct DestinationLines {
    const char* toGateway;  // with the relay agent's address as "%08lx"
    const char* toClient;
    const char* broadcast;
};
constexpr DestinationLines OFFER_LINES{"Send response to gateway %08lx\n", "Send response\n", "Broadcast response\n"};
constexpr DestinationLines ACK_LINES{"Send DHCPACK to gateway %08lx\n", "Send DHCPACK\n", "Broadcast DHCPACK\n"};
constexpr DestinationLines NAK_LINES{"Send DHCPNACK to gateway %08lx\n", "Send DHCPNACK\n", "Broadcast DHCPNACK\n"};

uint32_t ReadAddressField(const DhcpMessage& message, size_t offset) {
    return ReadBigEndian32(message.bytes + offset);
}

void WriteAddressField(DhcpMessage& message, size_t offset, uint32_t host) {
    WriteBigEndian32(message.bytes + offset, host);
}

// A header field as "%08lx" shows it: its bytes read least significant first.
unsigned long FieldForLog(const DhcpMessage& message, size_t offset) {
    return static_cast<unsigned long>(ReadLittleEndian32(message.bytes + offset));
}

void ReadHostName(const ParsedOptions& options, RequestInputs& inputs) {
    uint8_t value[OPTION_VALUE_SIZE];
    size_t length = FindOption(options, OPTION_HOST_NAME, value);
    std::memcpy(inputs.hostName, value, length);
    inputs.hostName[length] = '\0';  // a zero byte inside the value ends the name early
}

void ReadIdentity(const DhcpMessage& message, const ParsedOptions& options, RequestInputs& inputs) {
    inputs.idLength = GetClientId(message, options, inputs.id);
    if (inputs.idLength > sizeof inputs.id) inputs.idLength = sizeof inputs.id;
}

// sname: the server's host name, always zero-terminated within 64 bytes. The
// whole field is cleared first so that no byte of the request is echoed.
void WriteServerName(DhcpMessage& message) {
    std::string name = GetServerHostName();
    uint8_t* field = message.bytes + OFFSET_SNAME;
    std::memset(field, 0, SNAME_SIZE);
    size_t n = name.size() < SNAME_SIZE - 1 ? name.size() : SNAME_SIZE - 1;
    std::memcpy(field, name.data(), n);
}

// siaddr, file and sname of an offer or acknowledgement.
void FillServerFields(DhcpMessage& message, const ServerSettings& settings) {
    uint32_t nextServerNet = expandAddressTemplate(settings.NextBootServer, settings.serverAddress);
    WriteAddressField(message, OFFSET_SIADDR, NetworkToHost(nextServerNet));
    uint8_t* file = message.bytes + OFFSET_FILE;
    std::memset(file, 0, FILE_SIZE);
    static_assert(sizeof settings.BootFile >= FILE_SIZE - 1, "the boot file setting covers the field");
    const void* zero = std::memchr(settings.BootFile, '\0', FILE_SIZE - 1);
    size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - settings.BootFile) : FILE_SIZE - 1;
    std::memcpy(file, settings.BootFile, n);
    WriteServerName(message);
}

// Writes the cookie and the options common to every reply: 53 and 54.
// Returns the options-area index after them.
size_t WriteReplyHead(DhcpMessage& message, uint8_t type, const ServerSettings& settings) {
    uint8_t* area = message.bytes + OFFSET_COOKIE;
    std::memcpy(area, MAGIC_COOKIE, sizeof MAGIC_COOKIE);
    size_t at = sizeof MAGIC_COOKIE;
    area[at++] = OPTION_MESSAGE_TYPE;
    area[at++] = 1;
    area[at++] = type;
    area[at++] = OPTION_SERVER_ID;
    area[at++] = 4;
    WriteBigEndian32(area + at, settings.serverAddress);
    return at + 4;
}

size_t WriteFourByteOption(DhcpMessage& message, size_t at, uint8_t code, uint32_t value) {
    uint8_t* area = message.bytes + OFFSET_COOKIE;
    area[at] = code;
    area[at + 1] = 4;
    WriteBigEndian32(area + at + 2, value);
    return at + 6;
}

// Where a reply goes: to the relay agent's port 67 when the request was
// relayed, else broadcast when `broadcast` asks for it, else to the client's
// own address. Writes the line that says which.
ReplyAction ChooseDestination(const DhcpMessage& message, uint32_t clientAddress, uint32_t gateway, bool broadcast,
                              const DestinationLines& lines) {
    ReplyAction action;
    if (gateway != 0) {
        action.destination = gateway;
        action.toRelayAgent = true;
        WriteLog(3, lines.toGateway, FieldForLog(message, OFFSET_GIADDR));
    } else if (broadcast) {
        action.destination = BROADCAST_ADDRESS;
        WriteLog(3, "%s", lines.broadcast);
    } else {
        action.destination = clientAddress;
        WriteLog(3, "%s", lines.toClient);
    }
    return action;
}

// The relay agent whose segment the client is on, for the choice of subnet
// mask and routers: giaddr when the request was relayed. A client behind a
// relay agent renews by unicast straight to the server (giaddr 0); it is
// still on that agent's segment, which is found by the ranges that hold its
// address, as the lease store tells a client's segment. Only relay agents
// with settings of their own are looked for, so without any the lookup
// costs nothing.
uint32_t SegmentGateway(const ServerSettings& settings, uint32_t giaddr, uint32_t address) {
    if (giaddr != 0 || settings.gatewaySettings.empty()) return giaddr;
    if (AddressInGatewayRanges(address, LOCAL_GATEWAY)) return LOCAL_GATEWAY;
    for (const auto& entry : settings.gatewaySettings)
        if (AddressInGatewayRanges(address, entry.first)) return entry.first;
    return LOCAL_GATEWAY;
}

// The configured options the client asked for, then the end option.
// Returns the datagram length.
size_t FinishReply(DhcpMessage& message, size_t index, const ParsedOptions& options, const RequestInputs& inputs,
                   const ServerSettings& settings, uint32_t segment) {
    appendReplyOptions(message, index, options, inputs.hostName, settings, segment);
    message.bytes[OFFSET_COOKIE + index] = OPTION_END;
    return OFFSET_COOKIE + index + 1;
}

ReplyAction HandleDiscover(DhcpMessage& message, const ParsedOptions& options, const ServerSettings& settings) {
    message.bytes[OFFSET_OP] = 2;
    RequestInputs inputs;
    uint32_t clientAddress = ReadAddressField(message, OFFSET_CIADDR);
    uint32_t gateway = ReadAddressField(message, OFFSET_GIADDR);
    if (clientAddress == 0) {
        ReadHostName(options, inputs);
        ReadIdentity(message, options, inputs);
        uint32_t suggested = SuggestAddress(0, gateway, inputs.client(), settings.serverAddress);
        WriteAddressField(message, OFFSET_YIADDR, suggested);
        WriteLog(3, "Suggested address - %08lx\n", FieldForLog(message, OFFSET_YIADDR));
    }
    // A client that already has an address is offered what it put in yiaddr.
    uint32_t offered = ReadAddressField(message, OFFSET_YIADDR);
    if (offered == 0) return {};

    FillServerFields(message, settings);
    const bool broadcast = clientAddress == 0 || (message.bytes[OFFSET_FLAGS] & BROADCAST_FLAG);
    ReplyAction action = ChooseDestination(message, clientAddress, gateway, broadcast, OFFER_LINES);

    const uint32_t segment = SegmentGateway(settings, gateway, offered);
    size_t index = WriteReplyHead(message, DHCPOFFER, settings);
    index = WriteFourByteOption(message, index, OPTION_LEASE_TIME, settings.LeaseTime);
    index = WriteFourByteOption(message, index, OPTION_SUBNET_MASK, SegmentSubnetMask(settings, segment));
    index = WriteFourByteOption(message, index, OPTION_REQUESTED_ADDRESS, offered);
    action.length = FinishReply(message, index, options, inputs, settings, segment);
    return action;
}

// Seconds until `expiry` for option 51; all ones for a lease that never ends.
uint32_t LeaseSeconds(uint64_t expiry) {
    if (IsNeverExpiring(expiry)) {
        WriteLog(3, "  Lease Never Expires\n");
        return 0xFFFFFFFFu;
    }
    uint64_t now = NowFileTime();
    // A lease that has already run out (a lease time beyond 2^31 seconds
    // wraps into the past) is sent as 0 seconds rather than a wrapped count.
    uint64_t seconds = expiry > now ? (expiry - now) / FILETIME_TICKS_PER_SECOND : 0;
    uint32_t sent = static_cast<uint32_t>(seconds);
    WriteLog(3, "  Lease Expires in %ld seconds\n", static_cast<long>(sent));
    return sent;
}

ReplyAction HandleRequest(DhcpMessage& message, const ParsedOptions& options, const ServerSettings& settings) {
    message.bytes[OFFSET_OP] = 2;
    uint8_t value[OPTION_VALUE_SIZE] = {};
    size_t serverIdLength = FindOption(options, OPTION_SERVER_ID, value);
    bool renewal = serverIdLength == 0;
    if (renewal) WriteLog(3, "Renew DHCP Lease\n");
    // A server identifier names this server only with all four bytes present.
    bool forMe = serverIdLength >= 4 && ReadBigEndian32(value) == settings.serverAddress;
    if (!forMe && !renewal) return {};
    WriteLog(3, "Got DHCP Request for me\n");

    uint32_t clientAddress = ReadAddressField(message, OFFSET_CIADDR);
    uint32_t gateway = ReadAddressField(message, OFFSET_GIADDR);
    uint32_t requested = renewal ? clientAddress : 0;
    if (requested == 0) {
        // Without a complete option 50 the request asks for address 0, which
        // is refused.
        std::memset(value, 0, sizeof value);
        if (FindOption(options, OPTION_REQUESTED_ADDRESS, value) >= 4) requested = ReadBigEndian32(value);
    }
    RequestInputs inputs;
    ReadHostName(options, inputs);
    ReadIdentity(message, options, inputs);

    // A client with ciaddr set renews its own lease wherever it lies (it
    // unicasts to the server without a relay); otherwise only a lease on the
    // segment the request came from is the client's.
    if (!CheckRequestedAddress(requested, gateway, inputs.client(), settings.serverAddress, clientAddress != 0)) {
        WriteLog(3, "Requested Addr Already in use\n");
        WriteServerName(message);
        ReplyAction action = ChooseDestination(message, clientAddress, gateway, clientAddress == 0, NAK_LINES);
        // With the broadcast bit the relay agent broadcasts the NAK on the
        // client's segment: the client may have no usable address or mask
        // there and may not answer ARP for the one it asked for.
        if (action.toRelayAgent) message.bytes[OFFSET_FLAGS] |= BROADCAST_FLAG;
        size_t index = WriteReplyHead(message, DHCPNAK, settings);
        message.bytes[OFFSET_COOKIE + index] = OPTION_END;
        static_assert(OFFSET_COOKIE + NAK_END_INDEX + 1 == NAK_LENGTH, "a DHCPNAK ends with its end option");
        action.length = NAK_LENGTH;
        return action;
    }

    WriteLog(3, "Requested Addr %08lx OK\n", static_cast<unsigned long>(requested));
    FillServerFields(message, settings);
    ReplyAction action = ChooseDestination(message, clientAddress, gateway, clientAddress == 0, ACK_LINES);
    uint64_t expiry = AddLease(inputs.client(), requested, settings.LeaseTime);
    WriteAddressField(message, OFFSET_CIADDR, requested);
    WriteAddressField(message, OFFSET_YIADDR, requested);

    const uint32_t segment = SegmentGateway(settings, gateway, requested);
    size_t index = WriteReplyHead(message, DHCPACK, settings);
    index = WriteFourByteOption(message, index, OPTION_LEASE_TIME, LeaseSeconds(expiry));
    index = WriteFourByteOption(message, index, OPTION_SUBNET_MASK, SegmentSubnetMask(settings, segment));
    action.length = FinishReply(message, index, options, inputs, settings, segment);
    return action;
}

void HandleRelease(const DhcpMessage& message, const ParsedOptions& options) {
    RequestInputs inputs;
    ReadIdentity(message, options, inputs);
    uint32_t released = ReadAddressField(message, OFFSET_CIADDR);
    ExpireLeases();
    ReleaseLease(released, inputs.client());
}

}  // namespace

ReplyAction HandleDatagram(DhcpMessage& message, size_t received, const ServerSettings& settings) {
    if (received > DHCP_BUFFER_SIZE) received = DHCP_BUFFER_SIZE;
    if (DropFromUnknownRelayAgent(message, received, settings)) return {};
    WriteLog(1, "DHCP - Incoming call\n");
    ParsedOptions options;
    ParseRequest(message, received, options);
    switch (GetMessageType(options)) {
        case DHCPDISCOVER: return HandleDiscover(message, options, settings);
        case DHCPREQUEST: return HandleRequest(message, options, settings);
        case DHCPRELEASE: HandleRelease(message, options); return {};
        default: return {};
    }
}
