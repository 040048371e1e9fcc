#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dhcp/dhcp_message.h"
#include "dhcp/reply_options.h"
#include "dhcp_builder.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t SERVER = 0xC0A80A02;  // 192.168.10.2
constexpr size_t LIMIT = DHCP_BUFFER_SIZE - OFFSET_COOKIE - 1;
constexpr size_t SENTINEL = 0x5EC0DE;

class ReplyOptions : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        settings.serverAddress = SERVER;
        settings.userOptions.assign(DEFAULT_MAX_OPTION + 1, "");
    }
    void TearDown() override { ClearLogPaths(); }

    // Parses a request asking for `codes`, appends the reply options after a
    // cookie at position `start`, and returns what a client would read.
    std::vector<ReplyOption> reply(const Bytes& codes, const char* hostName = "", size_t start = 4,
                                   uint32_t gateway = 0) {
        RequestBuilder request;
        if (!codes.empty()) request.parameterList(codes);
        if (maxMessageSize) request.option(57, Bytes{uint8_t(maxMessageSize >> 8), uint8_t(maxMessageSize)});
        DhcpMessage message;
        std::memset(&message, 0, sizeof message);
        ParseRequest(message, request.load(message), options);
        std::remove(MainLogPath().c_str());
        std::memset(&replyMessage, 0, sizeof replyMessage);
        replyMessage.length = SENTINEL;
        std::memcpy(replyMessage.bytes + OFFSET_COOKIE, MAGIC_COOKIE, 4);
        position = start;
        appendReplyOptions(replyMessage, position, options, hostName, settings, gateway);
        EXPECT_LE(position, LIMIT);
        EXPECT_EQ(replyMessage.length, SENTINEL);
        replyMessage.bytes[OFFSET_COOKIE + position] = OPTION_END;
        bool truncated = false;
        std::vector<ReplyOption> result = ReadOptions(replyMessage.bytes, OFFSET_COOKIE + position + 1, &truncated);
        EXPECT_FALSE(truncated);
        return result;
    }
    Lines log() { return LogTexts(MainLogPath()); }

    ScratchDir dir;
    ServerSettings settings;
    ParsedOptions options;
    DhcpMessage replyMessage;
    size_t position = 0;
    uint16_t maxMessageSize = 0;  // option 57 of the request, when set
};

std::vector<uint8_t> Codes(const std::vector<ReplyOption>& options) {
    std::vector<uint8_t> codes;
    for (const ReplyOption& option : options) codes.push_back(option.code);
    return codes;
}

TEST_F(ReplyOptions, NothingWithoutAParameterRequestList) {
    CopySetting(settings.DNSServer, "10.0.0.1");
    CopySetting(settings.DomainName, "example.test");
    settings.userOptions[42] = "I10.0.0.9";
    EXPECT_TRUE(reply(Bytes{}, "pc1").empty());
    EXPECT_EQ(position, 4u);
    EXPECT_TRUE(log().empty());
}

TEST_F(ReplyOptions, OrderOfTheClientsListAndItsLogLines) {
    CopySetting(settings.DNSServer, "10.0.0.1");
    CopySetting(settings.Routers, "10.0.0.254");
    CopySetting(settings.DomainName, "example.test");
    CopySetting(settings.WINSServer, "10.0.0.2");
    settings.userOptions[42] = "I10.0.0.9";
    std::vector<ReplyOption> options = reply(Bytes{15, 6, 3, 12, 44, 42, 99}, "pc1");
    EXPECT_EQ(Codes(options), (Bytes{15, 6, 3, 12, 44, 42}));
    EXPECT_EQ(options[0].value, Bytes({'e', 'x', 'a', 'm', 'p', 'l', 'e', '.', 't', 'e', 's', 't'}));
    EXPECT_EQ(options[3].value, (Bytes{'p', 'c', '1'}));
    Lines expected = {
        "Sending Domain Name", "Sending DNS Servers",  "Sending Routers",
        "Sending Hostname - pc1", "Sending WINS Servers", "Sending User option 42",
    };
    EXPECT_EQ(log(), expected);
    // The position is just past the last option.
    EXPECT_EQ(position, 4u + 14 + 6 + 6 + 5 + 6 + 6);
}

TEST_F(ReplyOptions, AddressListsAndTemplates) {
    CopySetting(settings.DNSServer, "10.0.0.1, 10.0.0.2;10.0.0.3");
    CopySetting(settings.Routers, "%1.%2.%3.1");
    CopySetting(settings.WINSServer, "255.255.255.255 nonsense %a");
    std::vector<ReplyOption> options = reply(Bytes{6, 3, 44});
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0].value, (Bytes{10, 0, 0, 1, 10, 0, 0, 2, 10, 0, 0, 3}));
    EXPECT_EQ(options[1].value, (Bytes{192, 168, 10, 1}));
    EXPECT_EQ(options[2].value, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 192, 168, 10, 2}));

    // Only delimiters: the log line, but no option.
    CopySetting(settings.DNSServer, " ;, ");
    EXPECT_TRUE(reply(Bytes{6}).empty());
    EXPECT_EQ(log(), Lines{"Sending DNS Servers"});
}

TEST_F(ReplyOptions, ExpandAddressTemplate) {
    EXPECT_EQ(expandAddressTemplate("%1.%2.%3.%4", SERVER), HostToNetwork(SERVER));
    EXPECT_EQ(expandAddressTemplate("%a", SERVER), HostToNetwork(SERVER));
    EXPECT_EQ(expandAddressTemplate("%1.%2.0.%3%4", SERVER), HostToNetwork(0xC0A80066u));  // .102
    EXPECT_EQ(expandAddressTemplate("10.0.0.1", SERVER), HostToNetwork(0x0A000001u));
    EXPECT_EQ(expandAddressTemplate("255.255.255.255", SERVER), 0u);
    EXPECT_EQ(expandAddressTemplate("", SERVER), 0u);
    EXPECT_EQ(expandAddressTemplate("%A.1.1.1", SERVER), 0u);  // placeholders are case-sensitive
    EXPECT_EQ(expandAddressTemplate(nullptr, SERVER), 0u);
}

TEST_F(ReplyOptions, ConfiguredSettingsShadowUserOptions) {
    settings.userOptions[6] = "I10.1.1.1";
    settings.userOptions[12] = "Suser-host";
    std::vector<ReplyOption> options = reply(Bytes{6, 12});
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].value, (Bytes{10, 1, 1, 1}));
    EXPECT_EQ(options[1].value, (Bytes{'u', 's', 'e', 'r', '-', 'h', 'o', 's', 't'}));

    CopySetting(settings.DNSServer, "10.0.0.1");
    options = reply(Bytes{6, 12}, "pc1");
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].value, (Bytes{10, 0, 0, 1}));
    EXPECT_EQ(options[1].value, (Bytes{'p', 'c', '1'}));
}

TEST_F(ReplyOptions, RelayAgentsOwnRoutersAndMaskAreRelativeToItsAddress) {
    constexpr uint32_t RELAY = 0x0A010201;  // 10.1.2.1
    constexpr uint32_t OTHER_RELAY = 0x0A010301;
    CopySetting(settings.Routers, "%1.%2.%3.1");
    CopySetting(settings.DNSServer, "%1.%2.%3.53");
    settings.subnetMask = 0xFFFFFF00;
    GatewaySettings own;
    CopySetting(own.SubnetMask, "255.255.%3.128");
    CopySetting(own.Routers, "%1.%2.%3.1");
    settings.gatewaySettings[RELAY] = own;
    GatewaySettings junk;
    CopySetting(junk.SubnetMask, "junk");
    settings.gatewaySettings[OTHER_RELAY] = junk;

    std::vector<ReplyOption> options = reply(Bytes{3, 6}, "", 4, RELAY);
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].value, (Bytes{10, 1, 2, 1}));
    EXPECT_EQ(options[1].value, (Bytes{192, 168, 10, 53}));  // DNS stays the server's
    EXPECT_EQ(SegmentSubnetMask(settings, RELAY), 0xFFFF0280u);

    // No Routers of its own, a mask that doesn't convert, or no settings
    // at all: the server's.
    for (uint32_t gateway : {OTHER_RELAY, uint32_t{0x0A010401}, uint32_t{0}}) {
        options = reply(Bytes{3}, "", 4, gateway);
        ASSERT_EQ(options.size(), 1u);
        EXPECT_EQ(options[0].value, (Bytes{192, 168, 10, 1})) << gateway;
        EXPECT_EQ(SegmentSubnetMask(settings, gateway), 0xFFFFFF00u) << gateway;
    }
}

TEST_F(ReplyOptions, UserOptionEncodings) {
    settings.userOptions[20] = "B1,2,300";
    settings.userOptions[21] = "W1500";
    settings.userOptions[22] = "D86400";
    settings.userOptions[23] = "B";
    settings.userOptions[24] = "Sabc";
    settings.userOptions[25] = "d 0x10, -1 ,4294967296";  // lower case, strtoul base 10
    settings.userOptions[26] = "i%1.%2.%3.9 , , 10.0.0.1";
    settings.userOptions[27] = "w70000";
    settings.userOptions[28] = "T";
    std::vector<ReplyOption> options = reply(Bytes{20, 21, 22, 23, 24, 25, 26, 27, 28});
    ASSERT_EQ(options.size(), 9u);
    EXPECT_EQ(options[0].value, (Bytes{1, 2, 44}));
    EXPECT_EQ(options[1].value, (Bytes{0x05, 0xDC}));
    EXPECT_EQ(options[2].value, (Bytes{0x00, 0x01, 0x51, 0x80}));
    EXPECT_EQ(options[3].value, Bytes{});
    EXPECT_EQ(options[4].value, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(options[5].value, (Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(options[6].value, (Bytes{192, 168, 10, 9, 10, 0, 0, 1}));
    EXPECT_EQ(options[7].value, (Bytes{0x11, 0x70}));
    EXPECT_EQ(options[8].value, Bytes{});
}

TEST_F(ReplyOptions, RepeatsAndFixedOptionCodes) {
    // Option 1 comes from the fixed options too; here it is the user's.
    settings.userOptions[1] = "I255.255.0.0";
    CopySetting(settings.DomainName, "lan");
    std::vector<ReplyOption> options = reply(Bytes{1, 15, 15});
    EXPECT_EQ(Codes(options), (Bytes{1, 15}));
    EXPECT_EQ(options[0].value, (Bytes{255, 255, 0, 0}));
    // A code repeated a hundred times is answered once, at its first place.
    Bytes repeats(100, 15);
    repeats.insert(repeats.begin() + 50, 1);
    EXPECT_EQ(Codes(reply(repeats)), (Bytes{15, 1}));
    EXPECT_EQ(log(), (Lines{"Sending Domain Name", "Sending User option 1"}));
    // Codes beyond the table, and unset ones, give nothing.
    EXPECT_TRUE(reply(Bytes{200, 2}).empty());
}

TEST_F(ReplyOptions, ValuesAreCutToWhatALengthByteCounts) {
    settings.userOptions[30] = "S" + std::string(300, 'x');
    std::string bytes = "B";
    for (int i = 0; i < 300; ++i) bytes += "7 ";
    settings.userOptions[31] = bytes;
    std::string words = "W";
    for (int i = 0; i < 200; ++i) words += "1,";
    settings.userOptions[32] = words;
    std::string addresses = "I";
    for (int i = 0; i < 70; ++i) addresses += "1.2.3.4 ";
    settings.userOptions[33] = addresses;
    // 128 entries of "0" fit in a 256-byte setting; 63 whole addresses are sent.
    std::string zeros;
    for (int i = 0; i < 127; ++i) zeros += "0 ";
    CopySetting(settings.DNSServer, zeros.c_str());
    maxMessageSize = 65535;
    std::vector<ReplyOption> options = reply(Bytes{30, 31, 32, 33, 6});
    ASSERT_EQ(options.size(), 5u);
    EXPECT_EQ(options[0].value, Bytes(255, 'x'));
    EXPECT_EQ(options[1].value, Bytes(255, 7));
    EXPECT_EQ(options[2].value.size(), 254u);
    EXPECT_EQ(options[3].value.size(), 252u);
    EXPECT_EQ(options[4].value, Bytes(252, 0));
    Lines expected = {
        "Sending User option 30", "Option 30 cut to 255 bytes", "Sending User option 31",
        "Option 31 cut to 255 bytes", "Sending User option 32", "Option 32 cut to 254 bytes",
        "Sending User option 33", "Option 33 cut to 252 bytes", "Sending DNS Servers",
        "Option 6 cut to 63 addresses",
    };
    EXPECT_EQ(log(), expected);
}

TEST_F(ReplyOptions, OptionsThatDoNotFitAreLeftOutFromTheEndOfTheList) {
    // Without option 57 (or below 576) a reply may be 548 bytes: after an
    // acknowledgement's 25 bytes of fixed options and room for the end
    // option, 286 bytes. 62 + 5 + 232 + 2 do not fit; the last two give way,
    // though option 42 alone would fit.
    settings.userOptions[41] = "S" + std::string(60, 'w');
    CopySetting(settings.DomainName, "lan");
    settings.userOptions[40] = "S" + std::string(230, 'v');
    settings.userOptions[42] = "B";  // no items: code and length 0
    const Bytes codes{41, 15, 40, 42};
    for (int size : {0, 300, 575}) {
        maxMessageSize = static_cast<uint16_t>(size);
        EXPECT_EQ(Codes(reply(codes, "", 25)), (Bytes{41, 15})) << size;
        EXPECT_EQ(log().back(), "Options 40, 42 left out - the reply may not pass 548 bytes");
    }
    maxMessageSize = 589;  // 561 bytes: room for the first three, just
    EXPECT_EQ(Codes(reply(codes, "", 25)), (Bytes{41, 15, 40}));
    EXPECT_EQ(position, 561u - 236 - 1);
    maxMessageSize = 1500;
    EXPECT_EQ(Codes(reply(codes, "", 25)), codes);
    EXPECT_EQ(log().back(), "Sending User option 42");

    // The buffer bounds the largest limit: an option that ends exactly where
    // the end option still fits at offset 2047.
    maxMessageSize = 65535;
    settings.userOptions[40] = "S" + std::string(100, 'v');
    EXPECT_EQ(reply(Bytes{40}, "", LIMIT - 102).size(), 1u);
    EXPECT_EQ(position, LIMIT);
    EXPECT_TRUE(reply(Bytes{40}, "", LIMIT - 101).empty());
    EXPECT_EQ(position, LIMIT - 101);
}

}  // namespace
