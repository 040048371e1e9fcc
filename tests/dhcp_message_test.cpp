#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dhcp/dhcp_message.h"
#include "dhcp_builder.h"

namespace {

constexpr uint32_t SERVER = 0xC0000201;     // 192.0.2.1
constexpr uint32_t REQUESTED = 0xC000020A;  // 192.0.2.10
constexpr uint32_t RELAY = 0xC6336401;      // 198.51.100.1

struct Parsed {
    DhcpMessage message;
    ParsedOptions options;
    uint8_t out[OPTION_VALUE_SIZE];

    Parsed() {
        // Stale contents, as a reused buffer would have them.
        std::memset(&message, 0xAB, sizeof message);
        std::memset(&options, 0xCD, sizeof options);
    }
    explicit Parsed(const RequestBuilder& request) : Parsed() { parse(request); }
    void parse(const RequestBuilder& request) { parse(request.load(message)); }
    void parse(const Bytes& datagram) {
        std::memcpy(message.bytes, datagram.data(), datagram.size());
        parse(datagram.size());
    }
    // The identity the server loop reads before parsing, then the parse.
    void parse(size_t received) {
        peeked = Bytes(out, out + PeekClientId(message, received, out));
        ParseRequest(message, received, options);
    }
    Bytes peeked;
    size_t count() const {
        size_t n = 0;
        while (n <= MAX_STORED_OPTIONS && options.rows[n].code != 0) ++n;
        return n;
    }
    std::string text(uint8_t code) {
        size_t n = FindOption(options, code, out);
        return std::string(reinterpret_cast<const char*>(out), n);
    }
    Bytes value(uint8_t code) {
        size_t n = FindOption(options, code, out);
        return Bytes(out, out + n);
    }
    // Checks that the server loop read the same identity.
    Bytes clientId() {
        size_t n = GetClientId(message, options, out);
        Bytes id(out, out + n);
        EXPECT_EQ(peeked, id);
        return id;
    }
};

// `count` options with the codes 100, 101, ... and one value byte each.
RequestBuilder WithNumberedOptions(int count) {
    RequestBuilder request;
    for (int i = 0; i < count; ++i) request.option(static_cast<uint8_t>(100 + i), Bytes{static_cast<uint8_t>(i)});
    return request;
}

TEST(ParseRequest, WindowsDiscoverStoresItsOptionsInOrder) {
    Parsed p(WindowsDiscover());
    ASSERT_EQ(p.count(), 5u);
    EXPECT_EQ(p.options.rows[0].code, OPTION_MESSAGE_TYPE);
    EXPECT_EQ(p.options.rows[1].code, OPTION_CLIENT_ID);
    EXPECT_EQ(p.options.rows[2].code, OPTION_HOST_NAME);
    EXPECT_EQ(p.options.rows[3].code, 60);
    EXPECT_EQ(p.options.rows[4].code, OPTION_PARAMETER_LIST);
    EXPECT_EQ(p.options.rows[5].code, 0);
    EXPECT_EQ(p.message.length, 300u);
    EXPECT_EQ(GetMessageType(p.options), DHCPDISCOVER);
    EXPECT_EQ(p.text(OPTION_HOST_NAME), "WORKSTATION7");
    EXPECT_EQ(p.text(60), "MSFT 5.0");
    EXPECT_EQ(p.value(OPTION_PARAMETER_LIST), (Bytes{1, 15, 3, 6, 44, 46, 47, 31, 33, 249, 43}));
    // The client identifier without its type byte.
    EXPECT_EQ(p.clientId(), DefaultHardware());
}

TEST(ParseRequest, RelayedRequestKeepsHeaderAndAddresses) {
    Parsed p(RelayedRequest(RELAY, REQUESTED, SERVER));
    EXPECT_EQ(GetMessageType(p.options), DHCPREQUEST);
    EXPECT_EQ(p.value(OPTION_REQUESTED_ADDRESS), (Bytes{192, 0, 2, 10}));
    EXPECT_EQ(p.value(OPTION_SERVER_ID), (Bytes{192, 0, 2, 1}));
    EXPECT_EQ(Bytes(p.message.bytes + OFFSET_GIADDR, p.message.bytes + OFFSET_GIADDR + 4), (Bytes{198, 51, 100, 1}));
    EXPECT_EQ(p.message.bytes[OFFSET_HOPS], 1);
    EXPECT_EQ(p.text(OPTION_HOST_NAME), "BRANCH-PC");
}

TEST(ParseRequest, BootpWithoutCookieHasNoOptions) {
    // Options after a missing cookie are not read.
    Parsed p(BootpRequest().option(OPTION_MESSAGE_TYPE, Bytes{1}).noEnd());
    EXPECT_EQ(p.count(), 0u);
    EXPECT_EQ(GetMessageType(p.options), 0);
    EXPECT_EQ(p.clientId(), DefaultHardware());
}

TEST(ParseRequest, ExactlyTwoHundredFortyBytesHasNoOptions) {
    Parsed p(RequestBuilder().noEnd());
    EXPECT_EQ(p.message.length, 240u);
    EXPECT_EQ(p.count(), 0u);
}

TEST(ParseRequest, StoresThirtyTwoOptionsAndSkipsTheRest) {
    Parsed p(WithNumberedOptions(40));
    EXPECT_EQ(p.count(), MAX_STORED_OPTIONS);
    EXPECT_EQ(p.options.rows[MAX_STORED_OPTIONS].code, 0);
    for (int i = 0; i < 40; ++i) {
        Bytes value = p.value(static_cast<uint8_t>(100 + i));
        if (i < 32)
            EXPECT_EQ(value, Bytes{static_cast<uint8_t>(i)}) << i;
        else
            EXPECT_TRUE(value.empty()) << i;
    }
}

TEST(ParseRequest, PadsAreSkippedAndNotCounted) {
    RequestBuilder request;
    request.pad(3);
    for (int i = 0; i < 32; ++i) request.option(static_cast<uint8_t>(100 + i), Bytes{1}).pad(2);
    Parsed p(request);
    EXPECT_EQ(p.count(), 32u);
    EXPECT_EQ(p.options.rows[31].code, 131);
}

TEST(ParseRequest, EndOptionStopsTheWalk) {
    Parsed p(RequestBuilder().messageType(DHCPDISCOVER).raw(Bytes{OPTION_END, OPTION_HOST_NAME, 1, 'x'}));
    EXPECT_EQ(p.count(), 1u);
    EXPECT_EQ(p.value(OPTION_HOST_NAME), Bytes{});
}

TEST(ParseRequest, OptionRunningPastTheEndIsCutToTheReceivedBytes) {
    // Host name claims 20 bytes, 3 arrive.
    Parsed p(RequestBuilder().messageType(DHCPDISCOVER).raw(Bytes{OPTION_HOST_NAME, 20, 'a', 'b', 'c'}).noEnd());
    ASSERT_EQ(p.count(), 2u);
    EXPECT_EQ(p.options.rows[1].length, 3);
    EXPECT_EQ(p.text(OPTION_HOST_NAME), "abc");

    // The same with only the length byte received.
    p.parse(RequestBuilder().raw(Bytes{OPTION_HOST_NAME, 20}).noEnd());
    ASSERT_EQ(p.count(), 1u);
    EXPECT_EQ(p.options.rows[0].length, 0);

    // A code in the last received byte, without a length, ends the walk.
    p.parse(RequestBuilder().messageType(DHCPREQUEST).raw(Bytes{OPTION_HOST_NAME}).noEnd());
    EXPECT_EQ(p.count(), 1u);
    EXPECT_EQ(GetMessageType(p.options), DHCPREQUEST);
}

TEST(ParseRequest, StaleBytesOfAnEarlierDatagramAreCleared) {
    Parsed p(WindowsDiscover().padTo(600));
    // A 100-byte datagram: the cookie area now reads as zeros, not as the
    // earlier cookie, and a long hlen reaches only zeros.
    Bytes shortDatagram = RequestBuilder().hlen(40).build();
    shortDatagram.resize(100);
    p.parse(shortDatagram);
    EXPECT_EQ(p.message.length, 100u);
    EXPECT_EQ(p.count(), 0u);
    for (size_t i = 100; i < DHCP_BUFFER_SIZE; ++i) ASSERT_EQ(p.message.bytes[i], 0) << i;
    Bytes identity = p.clientId();
    ASSERT_EQ(identity.size(), 40u);
    // chaddr 28..43 sent, sname 44..67 as sent (zeros).
    EXPECT_EQ(Bytes(identity.begin(), identity.begin() + 6), DefaultHardware());
    EXPECT_EQ(Bytes(identity.begin() + 16, identity.end()), Bytes(24, 0));
}

TEST(ParseRequest, ReceivedLengthBeyondTheBufferIsClamped) {
    Parsed p;
    Bytes datagram = RequestBuilder().messageType(DHCPDISCOVER).padTo(DHCP_BUFFER_SIZE).build();
    std::memcpy(p.message.bytes, datagram.data(), datagram.size());
    ParseRequest(p.message, DHCP_BUFFER_SIZE + 500, p.options);
    EXPECT_EQ(p.message.length, DHCP_BUFFER_SIZE);
    EXPECT_EQ(GetMessageType(p.options), DHCPDISCOVER);

    // An option whose value would end past byte 2047 is cut at the buffer.
    Bytes full = RequestBuilder().pad(DHCP_BUFFER_SIZE - OFFSET_OPTIONS - 5).raw(Bytes{77, 200, 1, 2, 3}).noEnd().build();
    ASSERT_EQ(full.size(), DHCP_BUFFER_SIZE);
    p.parse(full);
    ASSERT_EQ(p.count(), 1u);
    EXPECT_EQ(p.value(77), (Bytes{1, 2, 3}));
}

TEST(FindOption, RepeatedOptionTheLastOccurrenceDecides) {
    Parsed p(RequestBuilder().messageType(DHCPDISCOVER).messageType(DHCPREQUEST));
    EXPECT_EQ(GetMessageType(p.options), DHCPREQUEST);

    // The later, shorter value overwrites only the front of the earlier one.
    p.parse(RequestBuilder().option(OPTION_HOST_NAME, "longname").option(OPTION_HOST_NAME, "ab"));
    EXPECT_EQ(FindOption(p.options, OPTION_HOST_NAME, p.out), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p.out), 8), "abngname");
}

TEST(FindOption, LengthZeroOptionChangesOnlyTheFirstByte) {
    Parsed p(RequestBuilder().option(OPTION_HOST_NAME, Bytes{}));
    ASSERT_EQ(p.count(), 1u);
    uint8_t out[OPTION_VALUE_SIZE];
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(FindOption(p.options, OPTION_HOST_NAME, out), 0u);
    EXPECT_EQ(out[0], 0);
    for (size_t i = 1; i < sizeof out; ++i) ASSERT_EQ(out[i], 0x5A) << i;

    // Absent: the same.
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(FindOption(p.options, OPTION_DOMAIN_NAME, out), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0x5A);

    // A message type of length 0 is no message type.
    p.parse(RequestBuilder().messageType(DHCPDISCOVER).option(OPTION_MESSAGE_TYPE, Bytes{}));
    EXPECT_EQ(GetMessageType(p.options), 0);
}

TEST(GetClientId, IdentifierOrHardwareAddress) {
    // Length 1: the type byte alone, an empty identity.
    Parsed p(RequestBuilder().clientId(1, Bytes{}));
    EXPECT_EQ(p.clientId(), Bytes{});
    // Length 0: falls back to chaddr.
    p.parse(RequestBuilder().option(OPTION_CLIENT_ID, Bytes{}));
    EXPECT_EQ(p.clientId(), DefaultHardware());
    // No option 61, hlen 6.
    p.parse(RequestBuilder().chaddr(Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(p.clientId(), (Bytes{1, 2, 3, 4, 5, 6}));
    // A text identifier of type 0.
    p.parse(RequestBuilder().clientId(0, Bytes{'h', 'o', 's', 't'}));
    EXPECT_EQ(p.clientId(), (Bytes{'h', 'o', 's', 't'}));
    // hlen 0 and no identifier: empty.
    p.parse(RequestBuilder().hlen(0));
    EXPECT_EQ(p.clientId(), Bytes{});
    // Repeated: the last occurrence decides, an empty one too.
    p.parse(RequestBuilder().clientId(1, Bytes{7, 7, 7}).clientId(1, Bytes{8}));
    EXPECT_EQ(p.clientId(), Bytes{8});
    p.parse(RequestBuilder().clientId(1, Bytes{7, 7, 7}).option(OPTION_CLIENT_ID, Bytes{}));
    EXPECT_EQ(p.clientId(), DefaultHardware());
    // Only the first 32 options count; a datagram cut inside chaddr reads zeros.
    p.parse(WithNumberedOptions(32).clientId(1, Bytes{9}));
    EXPECT_EQ(p.clientId(), DefaultHardware());
    const Bytes whole = RequestBuilder().build();
    p.parse(Bytes(whole.begin(), whole.begin() + 30));
    EXPECT_EQ(p.clientId(), (Bytes{DefaultHardware()[0], DefaultHardware()[1], 0, 0, 0, 0}));
}

}  // namespace
