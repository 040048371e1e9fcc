#include "dhcp_builder.h"

#include <algorithm>
#include <cstring>

namespace {

void PutBig32(Bytes& bytes, size_t offset, uint32_t value) {
    bytes[offset] = static_cast<uint8_t>(value >> 24);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 16);
    bytes[offset + 2] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 3] = static_cast<uint8_t>(value);
}

Bytes Big32(uint32_t value) {
    Bytes bytes(4);
    PutBig32(bytes, 0, value);
    return bytes;
}

const Bytes WINDOWS_PARAMETERS = {1, 15, 3, 6, 44, 46, 47, 31, 33, 249, 43};

}  // namespace

RequestBuilder::RequestBuilder() : header_(OFFSET_OPTIONS, 0) {
    header_[OFFSET_OP] = 1;
    header_[OFFSET_HTYPE] = 1;
    header_[OFFSET_HLEN] = 6;
    PutBig32(header_, OFFSET_XID, 0x12345678);
    chaddr(DefaultHardware());
    std::copy(MAGIC_COOKIE, MAGIC_COOKIE + 4, header_.begin() + OFFSET_COOKIE);
}

RequestBuilder& RequestBuilder::op(uint8_t value) {
    header_[OFFSET_OP] = value;
    return *this;
}
RequestBuilder& RequestBuilder::htype(uint8_t value) {
    header_[OFFSET_HTYPE] = value;
    return *this;
}
RequestBuilder& RequestBuilder::hlen(uint8_t value) {
    header_[OFFSET_HLEN] = value;
    return *this;
}
RequestBuilder& RequestBuilder::hops(uint8_t value) {
    header_[OFFSET_HOPS] = value;
    return *this;
}
RequestBuilder& RequestBuilder::xid(uint32_t value) {
    PutBig32(header_, OFFSET_XID, value);
    return *this;
}
RequestBuilder& RequestBuilder::secs(uint16_t value) {
    header_[OFFSET_SECS] = static_cast<uint8_t>(value >> 8);
    header_[OFFSET_SECS + 1] = static_cast<uint8_t>(value);
    return *this;
}
RequestBuilder& RequestBuilder::flags(uint16_t value) {
    header_[OFFSET_FLAGS] = static_cast<uint8_t>(value >> 8);
    header_[OFFSET_FLAGS + 1] = static_cast<uint8_t>(value);
    return *this;
}
RequestBuilder& RequestBuilder::ciaddr(uint32_t host) {
    PutBig32(header_, OFFSET_CIADDR, host);
    return *this;
}
RequestBuilder& RequestBuilder::yiaddr(uint32_t host) {
    PutBig32(header_, OFFSET_YIADDR, host);
    return *this;
}
RequestBuilder& RequestBuilder::siaddr(uint32_t host) {
    PutBig32(header_, OFFSET_SIADDR, host);
    return *this;
}
RequestBuilder& RequestBuilder::giaddr(uint32_t host) {
    PutBig32(header_, OFFSET_GIADDR, host);
    return *this;
}
RequestBuilder& RequestBuilder::chaddr(const Bytes& hardware) {
    std::fill(header_.begin() + OFFSET_CHADDR, header_.begin() + OFFSET_SNAME, 0);
    size_t n = std::min<size_t>(hardware.size(), 16);
    std::copy(hardware.begin(), hardware.begin() + static_cast<std::ptrdiff_t>(n), header_.begin() + OFFSET_CHADDR);
    return *this;
}

RequestBuilder& RequestBuilder::noCookie() {
    std::fill(header_.begin() + OFFSET_COOKIE, header_.begin() + OFFSET_OPTIONS, 0);
    return *this;
}

RequestBuilder& RequestBuilder::option(uint8_t code, const Bytes& value) {
    size_t n = std::min<size_t>(value.size(), 255);
    options_.push_back(code);
    options_.push_back(static_cast<uint8_t>(n));
    options_.insert(options_.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
    return *this;
}
RequestBuilder& RequestBuilder::option(uint8_t code, const std::string& text) {
    return option(code, Bytes(text.begin(), text.end()));
}
RequestBuilder& RequestBuilder::messageType(uint8_t type) { return option(OPTION_MESSAGE_TYPE, Bytes{type}); }
RequestBuilder& RequestBuilder::clientId(uint8_t type, const Bytes& identifier) {
    Bytes value{type};
    value.insert(value.end(), identifier.begin(), identifier.end());
    return option(OPTION_CLIENT_ID, value);
}
RequestBuilder& RequestBuilder::hostName(const std::string& name) { return option(OPTION_HOST_NAME, name); }
RequestBuilder& RequestBuilder::vendorClass(const std::string& vendor) { return option(60, vendor); }
RequestBuilder& RequestBuilder::parameterList(const Bytes& codes) { return option(OPTION_PARAMETER_LIST, codes); }
RequestBuilder& RequestBuilder::requestedAddress(uint32_t host) {
    return option(OPTION_REQUESTED_ADDRESS, Big32(host));
}
RequestBuilder& RequestBuilder::serverId(uint32_t host) { return option(OPTION_SERVER_ID, Big32(host)); }
RequestBuilder& RequestBuilder::pad(size_t count) {
    options_.insert(options_.end(), count, 0);
    return *this;
}
RequestBuilder& RequestBuilder::raw(const Bytes& bytes) {
    options_.insert(options_.end(), bytes.begin(), bytes.end());
    return *this;
}
RequestBuilder& RequestBuilder::noEnd() {
    end_ = false;
    return *this;
}
RequestBuilder& RequestBuilder::padTo(size_t length) {
    minimum_ = length;
    return *this;
}

Bytes RequestBuilder::build() const {
    Bytes datagram = header_;
    datagram.insert(datagram.end(), options_.begin(), options_.end());
    if (end_) datagram.push_back(OPTION_END);
    if (datagram.size() < minimum_) datagram.resize(minimum_, 0);
    return datagram;
}

size_t RequestBuilder::load(DhcpMessage& message) const {
    Bytes datagram = build();
    size_t n = std::min(datagram.size(), DHCP_BUFFER_SIZE);
    std::memcpy(message.bytes, datagram.data(), n);
    message.length = n;
    return n;
}

Bytes DefaultHardware() { return {0x00, 0x0c, 0x29, 0xaa, 0xbb, 0xcc}; }

RequestBuilder WindowsDiscover(const Bytes& hardware, const std::string& host) {
    RequestBuilder builder;
    builder.chaddr(hardware)
        .messageType(DHCPDISCOVER)
        .clientId(1, hardware)
        .hostName(host)
        .vendorClass("MSFT 5.0")
        .parameterList(WINDOWS_PARAMETERS)
        .padTo(300);
    return builder;
}

RequestBuilder WindowsRequest(uint32_t requested, uint32_t server, const Bytes& hardware, const std::string& host) {
    RequestBuilder builder;
    builder.chaddr(hardware)
        .messageType(DHCPREQUEST)
        .clientId(1, hardware)
        .requestedAddress(requested)
        .serverId(server)
        .hostName(host)
        .vendorClass("MSFT 5.0")
        .parameterList(WINDOWS_PARAMETERS)
        .padTo(300);
    return builder;
}

RequestBuilder RelayedRequest(uint32_t relay, uint32_t requested, uint32_t server, const Bytes& hardware,
                              const std::string& host) {
    RequestBuilder builder;
    builder.chaddr(hardware)
        .hops(1)
        .giaddr(relay)
        .messageType(DHCPREQUEST)
        .clientId(1, hardware)
        .requestedAddress(requested)
        .serverId(server)
        .hostName(host)
        .parameterList(Bytes{1, 3, 6, 15})
        .padTo(300);
    return builder;
}

RequestBuilder BootpRequest(const Bytes& hardware) {
    RequestBuilder builder;
    builder.chaddr(hardware).noCookie().noEnd().padTo(300);
    return builder;
}

std::vector<ReplyOption> ReadOptions(const uint8_t* datagram, size_t length, bool* truncated) {
    std::vector<ReplyOption> options;
    if (truncated) *truncated = false;
    if (length < OFFSET_OPTIONS || std::memcmp(datagram + OFFSET_COOKIE, MAGIC_COOKIE, 4) != 0) return options;
    size_t at = OFFSET_OPTIONS;
    while (at < length) {
        uint8_t code = datagram[at];
        if (code == OPTION_PAD) {
            ++at;
            continue;
        }
        if (code == OPTION_END) break;
        if (at + 1 >= length) {
            if (truncated) *truncated = true;
            break;
        }
        size_t n = datagram[at + 1];
        size_t available = std::min(n, length - (at + 2));
        if (available < n && truncated) *truncated = true;
        options.push_back({code, Bytes(datagram + at + 2, datagram + at + 2 + available)});
        at += 2 + n;
    }
    return options;
}

const ReplyOption* FindReplyOption(const std::vector<ReplyOption>& options, uint8_t code) {
    for (const ReplyOption& option : options)
        if (option.code == code) return &option;
    return nullptr;
}
