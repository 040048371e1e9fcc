// Damaged and hostile datagrams: cut short, too long, without the cookie,
// options that run past the end, random bytes. None may get a wrong answer
// or cost a client its lease.
#include <cstring>
#include <random>

#include "leases/address_allocation.h"
#include "server_fixture.h"

namespace {

constexpr uint32_t HELD_ADDRESS = 0xC000020F;  // 192.0.2.15, leased to the held client
const Bytes HELD_HARDWARE{0x00, 0x0c, 0x29, 0x99, 0x88, 0x77};

class CraftedDatagramTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        ReplyAction ack = Handle(WindowsRequest(HELD_ADDRESS, SERVER, HELD_HARDWARE, "HELD"));
        ASSERT_GT(ack.length, 0u);
        heldExpiry = SnapshotLeases().at(0).expiry;
    }

    // Runs the handler over raw bytes, received length `received`.
    ReplyAction HandleBytes(const Bytes& datagram, size_t received) {
        size_t n = datagram.size() < DHCP_BUFFER_SIZE ? datagram.size() : DHCP_BUFFER_SIZE;
        if (n != 0) std::memcpy(message.bytes, datagram.data(), n);
        requestCiaddr = n >= OFFSET_CIADDR + 4 && received >= OFFSET_CIADDR + 4 ? Field(OFFSET_CIADDR) : 0;
        return HandleDatagram(message, received, *CurrentSettings());
    }
    ReplyAction HandleBytes(const Bytes& datagram) { return HandleBytes(datagram, datagram.size()); }

    // What any reply of this server must look like.
    void ExpectSoundReply(const ReplyAction& action, const std::string& what) {
        if (action.length == 0) return;
        ASSERT_GE(action.length, 241u) << what;
        ASSERT_LE(action.length, DHCP_BUFFER_SIZE) << what;
        EXPECT_NE(action.destination, 0u) << what;
        EXPECT_EQ(message.bytes[OFFSET_OP], 2) << what;
        EXPECT_EQ(0, std::memcmp(message.bytes + OFFSET_COOKIE, MAGIC_COOKIE, 4)) << what;
        EXPECT_EQ(message.bytes[action.length - 1], OPTION_END) << what;
        bool truncated = false;
        std::vector<ReplyOption> options = ReadOptions(message.bytes, action.length, &truncated);
        EXPECT_FALSE(truncated) << what;
        ASSERT_GE(options.size(), 2u) << what;
        EXPECT_EQ(options[0].code, OPTION_MESSAGE_TYPE) << what;
        EXPECT_EQ(options[1].code, OPTION_SERVER_ID) << what;
        EXPECT_EQ(ReplyValue(action, OPTION_SERVER_ID), SERVER) << what;
        uint8_t type = options[0].value.at(0);
        uint32_t yiaddr = Field(OFFSET_YIADDR);
        if (type == DHCPNAK) {
            EXPECT_EQ(action.length, NAK_LENGTH) << what;
        } else if (type == DHCPACK || (type == DHCPOFFER && requestCiaddr == 0)) {
            // Addresses come from the ranges, and never the held client's.
            EXPECT_GE(yiaddr, FIRST_LOCAL) << what;
            EXPECT_LE(yiaddr, LAST_LOCAL) << what;
            EXPECT_NE(yiaddr, HELD_ADDRESS) << what;
        } else {
            EXPECT_EQ(type, DHCPOFFER) << what;
        }
    }

    void ExpectHeldLeaseKept() {
        bool found = false;
        for (const Lease& lease : SnapshotLeases()) {
            if (lease.address != HELD_ADDRESS) continue;
            found = true;
            EXPECT_EQ(lease.clientId, HELD_HARDWARE);
            EXPECT_EQ(lease.expiry, heldExpiry);
        }
        EXPECT_TRUE(found);
    }

    uint64_t heldExpiry = 0;
    uint32_t requestCiaddr = 0;
};

TEST_F(CraftedDatagramTest, DiscoverCutAtEveryLength) {
    Bytes whole = WindowsDiscover().build();
    for (size_t length = 0; length <= whole.size(); ++length) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        ReplyAction action = HandleBytes(cut);
        ExpectSoundReply(action, "cut at " + std::to_string(length));
        // Without the message type no answer is possible.
        if (length < OFFSET_OPTIONS + 3) {
            EXPECT_EQ(action.length, 0u) << length;
        }
        ClearLeaseTable();
        AddLease(Client("HELD", HELD_HARDWARE), HELD_ADDRESS, LEASE_SECONDS);
    }
}

TEST_F(CraftedDatagramTest, RequestCutAtEveryLengthNeverAcknowledgesAnotherClientsAddress) {
    Bytes whole = WindowsRequest(HELD_ADDRESS, SERVER).build();
    for (size_t length = 0; length <= whole.size(); ++length) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        ReplyAction action = HandleBytes(cut);
        ExpectSoundReply(action, "cut at " + std::to_string(length));
    }
    ExpectHeldLeaseKept();
}

TEST_F(CraftedDatagramTest, WrongCookieIsNotAnswered) {
    Bytes datagram = WindowsDiscover().build();
    for (size_t i = 0; i < 4; ++i) {
        Bytes bad = datagram;
        bad[OFFSET_COOKIE + i] ^= 0x01;
        EXPECT_EQ(HandleBytes(bad).length, 0u) << i;
    }
    EXPECT_EQ(SnapshotLeases().size(), 1u);
}

TEST_F(CraftedDatagramTest, ReceivedLengthBeyondTheBufferIsCut) {
    Bytes datagram = WindowsDiscover().padTo(DHCP_BUFFER_SIZE).build();
    ReplyAction action = HandleBytes(datagram, 4096);
    ExpectSoundReply(action, "4096");
    EXPECT_GT(action.length, 0u);
}

TEST_F(CraftedDatagramTest, OptionRunningPastTheEndIsNotReadBeyondTheDatagram) {
    // Host name claiming 200 bytes of which 10 arrived, then nothing.
    Bytes datagram = RequestBuilder().messageType(DHCPDISCOVER).raw(Bytes{OPTION_HOST_NAME, 200}).noEnd().build();
    for (int i = 0; i < 10; ++i) datagram.push_back('h');
    ReplyAction action = HandleBytes(datagram);
    ExpectSoundReply(action, "past the end");
    ASSERT_GT(action.length, 0u);
    // The temporary lease carries only the bytes that arrived.
    bool found = false;
    for (const Lease& lease : SnapshotLeases())
        if (std::string(lease.hostName) == "hhhhhhhhhh") found = true;
    EXPECT_TRUE(found);
}

TEST_F(CraftedDatagramTest, OddIdentitiesAreHandled) {
    // Client identifier of length 1 (empty identity), of length 0, and a
    // hardware length that runs far past chaddr.
    ExpectSoundReply(HandleBytes(RequestBuilder().messageType(DHCPDISCOVER).option(OPTION_CLIENT_ID, Bytes{1}).build()),
                     "id length 1");
    ExpectSoundReply(HandleBytes(RequestBuilder().messageType(DHCPDISCOVER).option(OPTION_CLIENT_ID, Bytes{}).build()),
                     "id length 0");
    ExpectSoundReply(HandleBytes(RequestBuilder().messageType(DHCPDISCOVER).hlen(255).build()), "hlen 255");
    ExpectSoundReply(HandleBytes(RequestBuilder().messageType(DHCPRELEASE).hlen(255).ciaddr(HELD_ADDRESS).build()),
                     "release hlen 255");
    ExpectHeldLeaseKept();
}

TEST_F(CraftedDatagramTest, ReplyThatWouldOverflowTheBufferStaysWithinIt) {
    UpdateSettings([](ServerSettings& s) {
        for (int code = 70; code <= DEFAULT_MAX_OPTION; ++code) s.userOptions[code] = "S" + std::string(250, 'v');
    });
    Bytes wanted;
    for (int code = 70; code <= DEFAULT_MAX_OPTION; ++code) wanted.push_back(static_cast<uint8_t>(code));
    // A client that takes the largest message: the buffer is the limit.
    ReplyAction offer = HandleBytes(WindowsDiscover().parameterList(wanted).option(57, Bytes{0xFF, 0xFF}).build());
    ExpectSoundReply(offer, "overflow");
    EXPECT_GT(offer.length, 1000u);
    // One that takes the least gets no more than 548 bytes.
    offer = HandleBytes(WindowsDiscover().parameterList(wanted).build());
    ExpectSoundReply(offer, "548 bytes");
    EXPECT_LE(offer.length, 548u);
}

TEST_F(CraftedDatagramTest, RandomDatagramsFromAFixedSeed) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    const uint8_t types[] = {DHCPDISCOVER, DHCPREQUEST, DHCPRELEASE, DHCPDECLINE, 8};
    int answered = 0;
    for (int round = 0; round < 300; ++round) {
        size_t length = static_cast<size_t>(random() % (DHCP_BUFFER_SIZE + 1));
        Bytes datagram(length);
        for (uint8_t& b : datagram) b = static_cast<uint8_t>(byte(random));
        // Two in three carry a cookie and a message type, to reach the handlers.
        if (round % 3 != 0 && length > OFFSET_OPTIONS + 3) {
            std::memcpy(datagram.data() + OFFSET_COOKIE, MAGIC_COOKIE, 4);
            datagram[OFFSET_OPTIONS] = OPTION_MESSAGE_TYPE;
            datagram[OFFSET_OPTIONS + 1] = 1;
            datagram[OFFSET_OPTIONS + 2] = types[random() % 5];
            if (round % 2 == 0) std::memset(datagram.data() + OFFSET_CIADDR, 0, 16);  // no addresses, no relay
        }
        ReplyAction action = HandleBytes(datagram);
        ExpectSoundReply(action, "round " + std::to_string(round));
        if (action.length != 0) ++answered;
    }
    // The rounds do reach the reply paths.
    EXPECT_GT(answered, 20);
    ExpectHeldLeaseKept();
}

}  // namespace
