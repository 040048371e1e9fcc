// The handling of one datagram: which question goes to the lease database,
// how the reply is built over the request, and where it goes.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dhcp/relay_check.h"
#include "leases/lease_expiry.h"
#include "server_fixture.h"
#include "base/host_name.h"

namespace {

using MessageHandlerTest = ServerFixture;

std::vector<uint8_t> Codes(const std::vector<ReplyOption>& options) {
    std::vector<uint8_t> codes;
    for (const ReplyOption& option : options) codes.push_back(option.code);
    return codes;
}

// ---- DHCPDISCOVER ----

TEST_F(MessageHandlerTest, DiscoverWithoutRelayIsBroadcastWithFirstFreeAddress) {
    ReplyAction offer = Handle(WindowsDiscover());
    ASSERT_GT(offer.length, 0u);
    EXPECT_EQ(offer.destination, BROADCAST_ADDRESS);
    EXPECT_FALSE(offer.toRelayAgent);
    EXPECT_EQ(message.bytes[OFFSET_OP], 2);
    EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_LOCAL);
    EXPECT_TRUE(MainLogHas("Suggested address - 0a0200c0"));
    EXPECT_TRUE(MainLogHas("Broadcast response"));
}

TEST_F(MessageHandlerTest, OfferCarriesFixedOptionsInOrderThenEnd) {
    ReplyAction offer = Handle(WindowsDiscover());
    std::vector<ReplyOption> options = ReplyOptions(offer);
    ASSERT_GE(options.size(), 5u);
    EXPECT_EQ(options[0].code, OPTION_MESSAGE_TYPE);
    EXPECT_EQ(options[0].value, Bytes{DHCPOFFER});
    EXPECT_EQ(options[1].code, OPTION_SERVER_ID);
    EXPECT_EQ(options[1].value, (Bytes{192, 0, 2, 1}));
    EXPECT_EQ(options[2].code, OPTION_LEASE_TIME);
    EXPECT_EQ(ReadBigEndian32(options[2].value.data()), LEASE_SECONDS);
    EXPECT_EQ(options[3].code, OPTION_SUBNET_MASK);
    EXPECT_EQ(options[3].value, (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(options[4].code, OPTION_REQUESTED_ADDRESS);
    EXPECT_EQ(options[4].value, (Bytes{192, 0, 2, 10}));
    // Nothing configured: nothing appended; the datagram ends with the end option.
    EXPECT_EQ(options.size(), 5u);
    EXPECT_EQ(offer.length, 236u + 31u + 1u);
    EXPECT_EQ(message.bytes[offer.length - 1], OPTION_END);
}

TEST_F(MessageHandlerTest, RelayedDiscoverIsOfferedFromGatewayRangesToTheRelayWhateverFlags) {
    for (uint16_t flags : {uint16_t{0}, uint16_t{0x8000}}) {
        ClearLeaseTable();
        ReplyAction offer = Handle(WindowsDiscover().giaddr(RELAY).flags(flags));
        ASSERT_GT(offer.length, 0u) << flags;
        EXPECT_EQ(offer.destination, RELAY) << flags;
        EXPECT_TRUE(offer.toRelayAgent) << flags;
        EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_RELAYED) << flags;
        EXPECT_EQ(Field(OFFSET_GIADDR), RELAY) << flags;
    }
    EXPECT_TRUE(MainLogHas("Send response to gateway 016433c6"));
}

TEST_F(MessageHandlerTest, DiscoverFromUnknownGatewayGetsNoReply) {
    ReplyAction offer = Handle(WindowsDiscover().giaddr(0xCB007101));  // 203.0.113.1
    EXPECT_EQ(offer.length, 0u);
    EXPECT_TRUE(SnapshotLeases().empty());
}

// A relay agent that no [GWn] section names, off the server's network: its
// messages are dropped before anything else (no trace, no NAK towards it),
// with one line per relay agent and minute, at most ten lines a minute.
TEST_F(MessageHandlerTest, MessagesFromUnknownRelayAgentsAreDroppedBeforeAnythingElse) {
    constexpr uint32_t UNKNOWN = Ip("203.0.113.77");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Handle(RelayedRequest(UNKNOWN, FIRST_RELAYED, SERVER)).length, 0u);
        EXPECT_EQ(Handle(WindowsDiscover().giaddr(UNKNOWN)).length, 0u);
    }
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Dropped a message from unknown relay agent 203.0.113.77"}));
    // One on the server's own network is handled as before: refused, to it.
    EXPECT_EQ(Handle(RelayedRequest(Ip("192.0.2.99"), FIRST_RELAYED, SERVER)).destination, Ip("192.0.2.99"));

    UnknownRelayLines lines;
    EXPECT_TRUE(TakeUnknownRelayLine(lines, 1, 0xFFFFFFF0u));
    EXPECT_FALSE(TakeUnknownRelayLine(lines, 1, 59000));  // across the wrap of the tick count
    EXPECT_TRUE(TakeUnknownRelayLine(lines, 1, 60000));
    for (uint32_t relay = 2; relay <= 10; ++relay) EXPECT_TRUE(TakeUnknownRelayLine(lines, relay, 60001));
    EXPECT_FALSE(TakeUnknownRelayLine(lines, 11, 60002));  // ten lines in the minute
    EXPECT_EQ(lines.leftOut, 2u);
    EXPECT_TRUE(TakeUnknownRelayLine(lines, 11, 120000));  // relay 1's line has left the minute
}

TEST_F(MessageHandlerTest, DiscoverWithCiaddrAndNoYiaddrGetsNoReply) {
    ReplyAction offer = Handle(WindowsDiscover().ciaddr(0xC0000232));
    EXPECT_EQ(offer.length, 0u);
    EXPECT_TRUE(SnapshotLeases().empty());
}

TEST_F(MessageHandlerTest, DiscoverWithCiaddrAndYiaddrIsOfferedItsYiaddrWithoutAskingTheLeaseDatabase) {
    ReplyAction offer = Handle(WindowsDiscover().ciaddr(0xC0000232).yiaddr(0xC000023C));
    ASSERT_GT(offer.length, 0u);
    EXPECT_EQ(offer.destination, 0xC0000232u);
    EXPECT_EQ(Field(OFFSET_YIADDR), 0xC000023Cu);
    EXPECT_EQ(ReplyValue(offer, OPTION_REQUESTED_ADDRESS), 0xC000023Cu);
    EXPECT_TRUE(MainLogHas("Send response"));
    EXPECT_TRUE(SnapshotLeases().empty());
    for (const std::string& line : MainLog()) EXPECT_EQ(line.find("Suggested address"), std::string::npos) << line;

    // The broadcast flag turns the unicast into a broadcast.
    offer = Handle(WindowsDiscover().ciaddr(0xC0000232).yiaddr(0xC000023C).flags(0x8000));
    EXPECT_EQ(offer.destination, BROADCAST_ADDRESS);
}

TEST_F(MessageHandlerTest, DiscoverWhenRangesAreUsedUpGetsNoReply) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10");
    ASSERT_GT(Handle(WindowsDiscover()).length, 0u);
    ReplyAction second = Handle(WindowsDiscover(OtherHardware(), "SECOND"));
    EXPECT_EQ(second.length, 0u);
}

TEST_F(MessageHandlerTest, OfferServerFieldsComeFromSettingsAndNotFromTheRequest) {
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.NextBootServer, "%1.%2.%3.5");
        CopySetting(s.BootFile, "pxelinux.0");
    });
    RequestBuilder request = WindowsDiscover().siaddr(0x0A000001);
    Bytes datagram = request.build();
    std::memset(datagram.data() + OFFSET_SNAME, 'x', SNAME_SIZE + FILE_SIZE);  // client junk in sname and file
    std::memcpy(message.bytes, datagram.data(), datagram.size());
    ReplyAction offer = HandleDatagram(message, datagram.size(), *CurrentSettings());
    ASSERT_GT(offer.length, 0u);
    EXPECT_EQ(Field(OFFSET_SIADDR), 0xC0000205u);
    EXPECT_STREQ(reinterpret_cast<const char*>(message.bytes + OFFSET_FILE), "pxelinux.0");
    EXPECT_EQ(message.bytes[OFFSET_FILE + FILE_SIZE - 1], 0);
    std::string expected = GetServerHostName().substr(0, SNAME_SIZE - 1);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(message.bytes + OFFSET_SNAME)), expected);
    EXPECT_TRUE(std::all_of(message.bytes + OFFSET_SNAME + expected.size(), message.bytes + OFFSET_FILE,
                            [](uint8_t b) { return b == 0; }));
    // The fields a reply does not set go back as received.
    EXPECT_EQ(ReadBigEndian32(message.bytes + OFFSET_XID), 0x12345678u);
    Bytes hardware = DefaultHardware();
    EXPECT_TRUE(std::equal(hardware.begin(), hardware.end(), message.bytes + OFFSET_CHADDR));

    // A boot file name that fills the setting is cut so the field keeps its zero.
    UpdateSettings([](ServerSettings& s) { std::memset(s.BootFile, 'b', sizeof s.BootFile); });
    ASSERT_GT(Handle(WindowsDiscover()).length, 0u);
    EXPECT_EQ(strnlen(reinterpret_cast<const char*>(message.bytes + OFFSET_FILE), FILE_SIZE), FILE_SIZE - 1);
}

TEST_F(MessageHandlerTest, RequestedConfiguredOptionsFollowTheFixedOnes) {
    UpdateSettings([](ServerSettings& s) { CopySetting(s.Routers, "%1.%2.%3.254"); });
    ReplyAction offer = Handle(WindowsDiscover());
    std::vector<ReplyOption> options = ReplyOptions(offer);
    ASSERT_EQ(options.size(), 6u);
    EXPECT_EQ(options[5].code, OPTION_ROUTERS);
    EXPECT_EQ(options[5].value, (Bytes{192, 0, 2, 254}));
    EXPECT_EQ(message.bytes[offer.length - 1], OPTION_END);
}

// ---- DHCPREQUEST ----

TEST_F(MessageHandlerTest, AcceptedRequestIsAcknowledgedByBroadcastWithTheLeaseTimeAndCiaddrEqualToYiaddr) {
    ReplyAction ack = Handle(WindowsRequest(FIRST_LOCAL, SERVER));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ack.destination, BROADCAST_ADDRESS);
    EXPECT_EQ(Field(OFFSET_CIADDR), FIRST_LOCAL);
    EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_LOCAL);
    std::vector<ReplyOption> options = ReplyOptions(ack);
    ASSERT_GE(options.size(), 4u);
    std::vector<uint8_t> codes = Codes(options);
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + 4),
              (std::vector<uint8_t>{OPTION_MESSAGE_TYPE, OPTION_SERVER_ID, OPTION_LEASE_TIME, OPTION_SUBNET_MASK}));
    EXPECT_EQ(options[0].value, Bytes{DHCPACK});
    EXPECT_EQ(ReplyValue(ack, OPTION_LEASE_TIME), LEASE_SECONDS);
    EXPECT_EQ(FindReplyOption(options, OPTION_REQUESTED_ADDRESS), nullptr);
    EXPECT_EQ(ack.length, 236u + 25u + 1u);
    EXPECT_TRUE(MainLogHas("Got DHCP Request for me"));
    EXPECT_TRUE(MainLogHas("Requested Addr c000020a OK"));
    EXPECT_TRUE(MainLogHas("Broadcast DHCPACK"));
    EXPECT_TRUE(MainLogHas("  Lease Expires in 3600 seconds"));
    std::vector<std::string> addresses = AddressLog();
    ASSERT_EQ(addresses.size(), 1u);
    // No offer came first, so the lease is created rather than renewed.
    EXPECT_EQ(addresses[0], "Create Lease for WORKSTATION7 (00-0c-29-aa-bb-cc) of 192.0.2.10");
}

// The administrator saves a new server address and lease time while the
// server thread handles a request with the record it took for it: the check,
// the stored lease and the reply all follow that one record.
TEST_F(MessageHandlerTest, ASaveDuringARequestChangesNothingOfThatRequest) {
    std::shared_ptr<const ServerSettings> taken = CurrentSettings();
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.0.2.15");
        DeriveAddressFields(s);
        s.LeaseTime = 60;
    });
    size_t length = WindowsRequest(Ip("192.0.2.15"), SERVER).load(message);
    ReplyAction ack = HandleDatagram(message, length, *taken);
    ASSERT_GT(ack.length, 0u);  // not the server's own address in the record taken
    EXPECT_EQ(ReplyValue(ack, OPTION_SERVER_ID), SERVER);
    EXPECT_EQ(ReplyValue(ack, OPTION_LEASE_TIME), LEASE_SECONDS);
    ASSERT_EQ(SnapshotLeases().size(), 1u);
    EXPECT_EQ(SnapshotLeases()[0].expiry, TEST_EPOCH + uint64_t{LEASE_SECONDS} * FILETIME_TICKS_PER_SECOND);
}

TEST_F(MessageHandlerTest, RequestForAnotherServerIsDropped) {
    ReplyAction reply = Handle(WindowsRequest(FIRST_LOCAL, OTHER_SERVER));
    EXPECT_EQ(reply.length, 0u);
    EXPECT_TRUE(SnapshotLeases().empty());
    EXPECT_FALSE(MainLogHas("Got DHCP Request for me"));
}

TEST_F(MessageHandlerTest, ServerIdentifierShorterThanFourBytesNamesNoServer) {
    Bytes shortId{192, 0, 2};
    ReplyAction reply = Handle(RequestBuilder().messageType(DHCPREQUEST).requestedAddress(FIRST_LOCAL).option(
        OPTION_SERVER_ID, shortId));
    EXPECT_EQ(reply.length, 0u);
    EXPECT_FALSE(MainLogHas("Renew DHCP Lease"));
}

TEST_F(MessageHandlerTest, RequestWithoutServerIdentifierIsARenewalAndAnswered) {
    ReplyAction ack = Handle(RequestBuilder().messageType(DHCPREQUEST).requestedAddress(FIRST_LOCAL));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    EXPECT_TRUE(MainLogHas("Renew DHCP Lease"));
    EXPECT_TRUE(MainLogHas("Got DHCP Request for me"));
}

TEST_F(MessageHandlerTest, RenewalUsesCiaddrOverOptionFiftyAndAnswersToCiaddr) {
    ASSERT_GT(Handle(WindowsRequest(FIRST_LOCAL, SERVER)).length, 0u);
    ReplyAction ack = Handle(RequestBuilder()
                                 .messageType(DHCPREQUEST)
                                 .clientId(1, DefaultHardware())
                                 .ciaddr(FIRST_LOCAL)
                                 .requestedAddress(FIRST_LOCAL + 1));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_LOCAL);
    EXPECT_EQ(ack.destination, FIRST_LOCAL);
    EXPECT_TRUE(MainLogHas("Send DHCPACK"));
}

TEST_F(MessageHandlerTest, RefusedRequestGetsA250ByteNakWithOnlyTypeAndServer) {
    RequestBuilder request = WindowsRequest(0xC0000263, SERVER).yiaddr(0x0A000001).siaddr(0x0A000002);  // .99: no range
    ReplyAction nak = Handle(request);
    ASSERT_EQ(nak.length, NAK_LENGTH);
    EXPECT_EQ(nak.destination, BROADCAST_ADDRESS);
    std::vector<ReplyOption> options = ReplyOptions(nak);
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].code, OPTION_MESSAGE_TYPE);
    EXPECT_EQ(options[0].value, Bytes{DHCPNAK});
    EXPECT_EQ(options[1].code, OPTION_SERVER_ID);
    EXPECT_EQ(options[1].value, (Bytes{192, 0, 2, 1}));
    EXPECT_EQ(message.bytes[NAK_LENGTH - 1], OPTION_END);
    EXPECT_EQ(message.bytes[OFFSET_OP], 2);
    // yiaddr and siaddr go back as received.
    EXPECT_EQ(Field(OFFSET_YIADDR), 0x0A000001u);
    EXPECT_EQ(Field(OFFSET_SIADDR), 0x0A000002u);
    EXPECT_TRUE(MainLogHas("Requested Addr Already in use"));
    EXPECT_TRUE(MainLogHas("Broadcast DHCPNACK"));
    EXPECT_TRUE(SnapshotLeases().empty());
}

TEST_F(MessageHandlerTest, NakToAClientWithAnAddressGoesToCiaddr) {
    ReplyAction nak = Handle(RequestBuilder().messageType(DHCPREQUEST).ciaddr(0xC0000263));
    ASSERT_EQ(nak.length, NAK_LENGTH);
    EXPECT_EQ(nak.destination, 0xC0000263u);
    EXPECT_TRUE(MainLogHas("Send DHCPNACK"));
}

TEST_F(MessageHandlerTest, RequestWithoutAUsableRequestedAddressIsRefused) {
    // Selecting: server identifier but no option 50.
    EXPECT_EQ(Handle(RequestBuilder().messageType(DHCPREQUEST).serverId(SERVER)).length, NAK_LENGTH);
    // Renewal with ciaddr 0 and no option 50.
    EXPECT_EQ(Handle(RequestBuilder().messageType(DHCPREQUEST)).length, NAK_LENGTH);
    // Option 50 of two bytes.
    EXPECT_EQ(Handle(RequestBuilder().messageType(DHCPREQUEST).serverId(SERVER).option(OPTION_REQUESTED_ADDRESS,
                                                                                       Bytes{192, 0}))
                  .length,
              NAK_LENGTH);
    EXPECT_TRUE(SnapshotLeases().empty());
}

TEST_F(MessageHandlerTest, RelayedAckAndNakGoToTheRelayAgentAndTheNakAsksForABroadcast) {
    ReplyAction ack = Handle(RelayedRequest(RELAY, FIRST_RELAYED, SERVER).ciaddr(FIRST_RELAYED));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    EXPECT_EQ(ack.destination, RELAY);  // not ciaddr
    EXPECT_TRUE(ack.toRelayAgent);
    EXPECT_TRUE(MainLogHas("Send DHCPACK to gateway 016433c6"));

    // The relay's gateway decides the ranges: a local address is refused.
    RequestBuilder refused = RelayedRequest(RELAY, FIRST_LOCAL, SERVER, OtherHardware()).flags(0x0001);
    Bytes sent = refused.build();
    ReplyAction nak = Handle(refused);
    ASSERT_EQ(nak.length, NAK_LENGTH);
    EXPECT_EQ(ReplyOptions(nak)[0].value, Bytes{DHCPNAK});
    EXPECT_EQ(nak.destination, RELAY);
    EXPECT_TRUE(nak.toRelayAgent);
    EXPECT_TRUE(MainLogHas("Send DHCPNACK to gateway 016433c6"));
    // The broadcast bit joins the client's other flags; the rest of the
    // header goes back as received.
    EXPECT_EQ(message.bytes[OFFSET_FLAGS], 0x80);
    EXPECT_EQ(message.bytes[OFFSET_FLAGS + 1], 0x01);
    for (size_t offset : {OFFSET_HOPS, OFFSET_XID, OFFSET_CIADDR, OFFSET_YIADDR, OFFSET_GIADDR, OFFSET_CHADDR})
        EXPECT_EQ(message.bytes[offset], sent[offset]) << offset;

    // Unrelayed replies keep their destinations and the client port.
    ReplyAction local = Handle(WindowsRequest(FIRST_LOCAL, SERVER));
    EXPECT_EQ(local.destination, BROADCAST_ADDRESS);
    EXPECT_FALSE(local.toRelayAgent);
    ReplyAction localNak = Handle(RequestBuilder().messageType(DHCPREQUEST).ciaddr(0xC0000263));
    EXPECT_EQ(localNak.destination, 0xC0000263u);
    EXPECT_FALSE(localNak.toRelayAgent);
    EXPECT_EQ(message.bytes[OFFSET_FLAGS], 0);
}

// A relay agent's own SubnetMask and Routers, templates relative to its
// address, reach its clients: in the offer, the acknowledgement and the
// renewal that comes by unicast straight to the server. The server's own
// clients, and those of a relay agent without settings of its own, get the
// server's.
TEST_F(MessageHandlerTest, ClientsBehindARelayAgentGetItsSubnetMaskAndRouters) {
    constexpr uint32_t PLAIN_RELAY = 0xCB007101;  // 203.0.113.1, no settings of its own
    SetGatewayRanges(PLAIN_RELAY, "203.0.113.10-203.0.113.20");
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.Routers, "%1.%2.%3.254");
        GatewaySettings own;
        CopySetting(own.SubnetMask, "255.255.255.192");
        CopySetting(own.Routers, "%1.%2.%3.%4, 198.51.100.62");
        s.gatewaySettings[RELAY] = own;
    });
    auto maskAndRouters = [this](const ReplyAction& reply) {
        std::vector<ReplyOption> options = ReplyOptions(reply);
        const ReplyOption* routers = FindReplyOption(options, OPTION_ROUTERS);
        return std::make_pair(ReplyValue(reply, OPTION_SUBNET_MASK), routers ? routers->value : Bytes{});
    };
    const auto relayed = std::make_pair(0xFFFFFFC0u, Bytes{198, 51, 100, 1, 198, 51, 100, 62});
    const auto servers = std::make_pair(0xFFFFFF00u, Bytes{192, 0, 2, 254});

    EXPECT_EQ(maskAndRouters(Handle(WindowsDiscover().giaddr(RELAY))), relayed);
    EXPECT_EQ(maskAndRouters(Handle(RelayedRequest(RELAY, FIRST_RELAYED, SERVER, DefaultHardware(), "WORKSTATION7"))),
              relayed);
    RequestBuilder renewal = RequestBuilder()
                                 .messageType(DHCPREQUEST)
                                 .clientId(1, DefaultHardware())
                                 .hostName("WORKSTATION7")
                                 .ciaddr(FIRST_RELAYED)
                                 .parameterList(Bytes{1, 3});
    ReplyAction renewed = Handle(renewal);
    EXPECT_EQ(renewed.destination, FIRST_RELAYED);
    EXPECT_FALSE(renewed.toRelayAgent);
    EXPECT_EQ(maskAndRouters(renewed), relayed);

    EXPECT_EQ(maskAndRouters(Handle(WindowsDiscover(OtherHardware(), "LOCAL"))), servers);
    EXPECT_EQ(maskAndRouters(Handle(WindowsRequest(FIRST_LOCAL, SERVER, OtherHardware(), "LOCAL"))), servers);
    Bytes third{0x00, 0x0c, 0x29, 0x44, 0x55, 0x66};
    EXPECT_EQ(maskAndRouters(Handle(RelayedRequest(PLAIN_RELAY, 0xCB00710A, SERVER, third, "PLAIN"))), servers);
}

TEST_F(MessageHandlerTest, UnlimitedLeaseTimeIsAllOnesInOfferAndAck) {
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = UNLIMITED_LEASE_TIME; });
    ReplyAction offer = Handle(WindowsDiscover());
    EXPECT_EQ(ReplyValue(offer, OPTION_LEASE_TIME), 4294967295u);
    ReplyAction ack = Handle(WindowsRequest(FIRST_LOCAL, SERVER));
    EXPECT_EQ(ReplyValue(ack, OPTION_LEASE_TIME), 4294967295u);
    EXPECT_TRUE(MainLogHas("  Lease Never Expires"));
}

// ---- DHCPRELEASE ----

TEST_F(MessageHandlerTest, ReleaseWithAnotherAddressKeepsTheLeaseAndWritesNothing) {
    ASSERT_GT(Handle(WindowsRequest(FIRST_LOCAL, SERVER)).length, 0u);
    size_t addressLines = AddressLog().size();
    ReplyAction reply = Handle(
        RequestBuilder().messageType(DHCPRELEASE).clientId(1, DefaultHardware()).ciaddr(FIRST_LOCAL + 1));
    EXPECT_EQ(reply.length, 0u);
    ASSERT_EQ(SnapshotLeases().size(), 1u);
    EXPECT_EQ(SnapshotLeases()[0].address, FIRST_LOCAL);
    EXPECT_EQ(AddressLog().size(), addressLines);
}

TEST_F(MessageHandlerTest, ReleaseByAnotherClientKeepsTheLease) {
    ASSERT_GT(Handle(WindowsRequest(FIRST_LOCAL, SERVER)).length, 0u);
    Handle(RequestBuilder().messageType(DHCPRELEASE).clientId(1, OtherHardware()).ciaddr(FIRST_LOCAL));
    EXPECT_EQ(SnapshotLeases().size(), 1u);
}

// ---- Other types ----

TEST_F(MessageHandlerTest, InformDeclineAndUnknownTypesProduceOnlyTheIncomingLineAndTrace) {
    for (uint8_t type : {uint8_t{DHCPDECLINE}, uint8_t{8}, uint8_t{DHCPOFFER}, uint8_t{0}, uint8_t{200}}) {
        RequestBuilder request = RequestBuilder()
                                     .messageType(type)
                                     .clientId(1, DefaultHardware())
                                     .requestedAddress(FIRST_LOCAL)
                                     .serverId(SERVER)
                                     .ciaddr(FIRST_LOCAL);
        // The trace alone, written into another directory.
        ScratchDir traceDir;
        UseLogDirectory(traceDir.path());
        DhcpMessage copy{};
        ParsedOptions options;
        ParseRequest(copy, request.load(copy), options);
        std::vector<std::string> trace = LogTexts(MainLogPath());

        UseLogDirectory(scratch.path());
        std::remove(MainLogPath().c_str());
        ReplyAction reply = Handle(request);
        EXPECT_EQ(reply.length, 0u) << int(type);
        std::vector<std::string> expected{"DHCP - Incoming call"};
        expected.insert(expected.end(), trace.begin(), trace.end());
        EXPECT_EQ(MainLog(), expected) << int(type);
    }
    EXPECT_TRUE(SnapshotLeases().empty());
    EXPECT_TRUE(AddressLog().empty());
}

// ---- Whole exchanges ----

// A host name off the wire cannot start a line of its own in either log, on
// any of the lines that show it: the whole life of a lease with a name that
// holds a line break and a forged time stamp.
TEST_F(MessageHandlerTest, HostNameCannotForgeLinesInEitherLog) {
    const std::string forged = "pc\r\n10:00:00 FORGED";
    auto client = [&](uint8_t type) {
        return RequestBuilder().messageType(type).clientId(1, DefaultHardware()).hostName(forged).parameterList({12});
    };
    ASSERT_GT(Handle(client(DHCPDISCOVER)).length, 0u);
    ASSERT_GT(Handle(client(DHCPREQUEST).requestedAddress(FIRST_LOCAL).serverId(SERVER)).length, 0u);
    ASSERT_GT(Handle(client(DHCPREQUEST).ciaddr(FIRST_LOCAL)).length, 0u);  // renewal
    Handle(client(DHCPRELEASE).ciaddr(FIRST_LOCAL));
    ASSERT_GT(Handle(client(DHCPDISCOVER)).length, 0u);
    AdvanceTestClock(61);
    ExpireLeases();
    AddLease(Client(forged.c_str()), FIRST_LOCAL + 5, LEASE_SECONDS);
    MarkLeaseDeleted(FIRST_LOCAL + 5);
    ExpireLeases();

    EXPECT_TRUE(EveryLogLineIsStamped(MainLogPath()));
    EXPECT_TRUE(EveryLogLineIsStamped(AddressLogPath()));
    EXPECT_TRUE(MainLogHas("Sending Hostname - pc??10:00:00 FORGED"));
    EXPECT_TRUE(MainLogHas("Expire Lease for pc??10:00:00 FORGED -> c000020a"));
    std::vector<std::string> addresses = AddressLog();
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(addresses[0], "Add Lease for pc??10:00:00 FORGED (00-0c-29-aa-bb-cc) of 192.0.2.10");
    // The reply still carries the name as the client sent it.
    std::vector<ReplyOption> options = ReplyOptions(Handle(client(DHCPDISCOVER)));
    const ReplyOption* name = FindReplyOption(options, OPTION_HOST_NAME);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name->value.begin(), name->value.end()), forged);
}

TEST_F(MessageHandlerTest, DiscoverOfferRequestAckThenRelease) {
    ReplyAction offer = Handle(WindowsDiscover());
    ASSERT_GT(offer.length, 0u);
    uint32_t offered = Field(OFFSET_YIADDR);
    uint32_t serverId = ReplyValue(offer, OPTION_SERVER_ID);
    EXPECT_EQ(offered, FIRST_LOCAL);
    EXPECT_EQ(serverId, SERVER);
    ASSERT_EQ(SnapshotLeases().size(), 1u);  // the temporary hold

    ReplyAction ack = Handle(WindowsRequest(offered, serverId));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    EXPECT_EQ(Field(OFFSET_YIADDR), offered);
    std::vector<Lease> leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].address, offered);
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + uint64_t{LEASE_SECONDS} * FILETIME_TICKS_PER_SECOND);

    // A second client gets the next address while the first holds its lease.
    ReplyAction second = Handle(WindowsDiscover(OtherHardware(), "SECOND"));
    EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_LOCAL + 1);
    ASSERT_GT(second.length, 0u);

    ReplyAction release =
        Handle(RequestBuilder().messageType(DHCPRELEASE).clientId(1, DefaultHardware()).ciaddr(offered));
    EXPECT_EQ(release.length, 0u);
    leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].address, FIRST_LOCAL + 1);
    std::vector<std::string> addresses = AddressLog();
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0], "Add Lease for WORKSTATION7 (00-0c-29-aa-bb-cc) of 192.0.2.10");
    EXPECT_EQ(addresses[1], "Release Lease for WORKSTATION7 (00-0c-29-aa-bb-cc) of 192.0.2.10");

    // The released address is free again for the next client.
    Handle(WindowsDiscover(Bytes{0x00, 0x0c, 0x29, 0x44, 0x55, 0x66}, "THIRD"));
    EXPECT_EQ(Field(OFFSET_YIADDR), offered);
}

TEST_F(MessageHandlerTest, RelayedExchangeLeasesFromTheRelayRanges) {
    ReplyAction offer = Handle(WindowsDiscover().giaddr(RELAY).hops(1));
    ASSERT_GT(offer.length, 0u);
    uint32_t offered = Field(OFFSET_YIADDR);
    EXPECT_EQ(offered, FIRST_RELAYED);
    ReplyAction ack = Handle(RelayedRequest(RELAY, offered, SERVER, DefaultHardware(), "WORKSTATION7"));
    ASSERT_GT(ack.length, 0u);
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    EXPECT_EQ(Field(OFFSET_GIADDR), RELAY);
    EXPECT_EQ(message.bytes[OFFSET_HOPS], 1);
}

// A client that held a local lease and now boots behind the relay: its
// INIT-REBOOT request for the old address is refused and it is offered an
// address of the relay's segment; it renews that one by unicast (ciaddr
// set, no relay agent) and is acknowledged.
TEST_F(MessageHandlerTest, ClientMovedBehindARelayIsServedFromTheRelaySegment) {
    ASSERT_GT(Handle(WindowsDiscover()).length, 0u);
    ASSERT_EQ(ReplyOptions(Handle(WindowsRequest(FIRST_LOCAL, SERVER)))[0].value, Bytes{DHCPACK});
    auto request = [] { return RequestBuilder().messageType(DHCPREQUEST).clientId(1, DefaultHardware()); };
    ReplyAction nak = Handle(request().giaddr(RELAY).hops(1).requestedAddress(FIRST_LOCAL).hostName("WORKSTATION7"));
    EXPECT_EQ(ReplyOptions(nak)[0].value, Bytes{DHCPNAK});
    ASSERT_GT(Handle(WindowsDiscover().giaddr(RELAY).hops(1)).length, 0u);
    EXPECT_EQ(Field(OFFSET_YIADDR), FIRST_RELAYED);
    ReplyAction ack = Handle(RelayedRequest(RELAY, FIRST_RELAYED, SERVER, DefaultHardware(), "WORKSTATION7"));
    EXPECT_EQ(ReplyOptions(ack)[0].value, Bytes{DHCPACK});
    ReplyAction renewal = Handle(request().ciaddr(FIRST_RELAYED).hostName("WORKSTATION7"));
    EXPECT_EQ(ReplyOptions(renewal)[0].value, Bytes{DHCPACK});
    std::vector<Lease> leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].address, FIRST_RELAYED);
}

TEST_F(MessageHandlerTest, SettingsChangeTakesEffectWithTheNextDatagram) {
    EXPECT_EQ(ReplyValue(Handle(WindowsDiscover()), OPTION_SERVER_ID), SERVER);
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.0.2.3");
        DeriveAddressFields(s);
    });
    ReplyAction offer = Handle(WindowsDiscover());
    EXPECT_EQ(ReplyValue(offer, OPTION_SERVER_ID), 0xC0000203u);
}

}  // namespace
