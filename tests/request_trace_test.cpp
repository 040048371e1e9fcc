#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dhcp/dhcp_message.h"
#include "dhcp_builder.h"
#include "base/log.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

class RequestTrace : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        std::memset(&message, 0, sizeof message);
    }
    void TearDown() override { ClearLogPaths(); }

    // The trace lines of one datagram.
    Lines trace(const Bytes& datagram) {
        std::remove(MainLogPath().c_str());
        std::memcpy(message.bytes, datagram.data(), datagram.size());
        ParseRequest(message, datagram.size(), options);
        return LogTexts(MainLogPath());
    }
    Lines trace(const RequestBuilder& request) { return trace(request.build()); }
    // The option lines only (after the two header lines and "DHCP Options:").
    Lines optionLines(const RequestBuilder& request) {
        Lines lines = trace(request);
        EXPECT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[2], "DHCP Options:");
        return Lines(lines.begin() + 3, lines.end());
    }

    ScratchDir dir;
    DhcpMessage message;
    ParsedOptions options;
};

TEST_F(RequestTrace, WindowsDiscover) {
    Lines lines = trace(WindowsDiscover().secs(3).parameterList(Bytes{1, 3, 6, 15}));
    Lines expected = {
        "DHCP Request (300) - op=1, htype=1 hlen=6 xid=78563412 secs=768",
        "  ciaddr = 00000000, yiaddr = 00000000, siaddr = 00000000, giaddr = 00000000, flags=0000",
        "DHCP Options:",
        "  Msg Type = DHCPDISCOVER",
        "  Client ID 1:00 0c 29 aa bb cc ",
        "  Host Name: WORKSTATION7",
        "  Tag = 60, Len = 8, Val1 = 77",
        "  Param Request: 1 15 3 6 44 46 47 31 33 249 43 ",
        "  Param Request: 1 3 6 15 ",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(RequestTrace, HeaderFieldsPrintLittleEndian) {
    Lines lines = trace(RelayedRequest(0xC6336401, 0xC000020A, 0xC0000201)
                            .ciaddr(0xC0A8010A)
                            .yiaddr(0x0A000001)
                            .siaddr(0xFFFFFFFE)
                            .flags(0x8000)
                            .xid(0xDEADBEEF));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "DHCP Request (300) - op=1, htype=1 hlen=6 xid=efbeadde secs=0");
    EXPECT_EQ(lines[1], "  ciaddr = 0a01a8c0, yiaddr = 0100000a, siaddr = feffffff, giaddr = 016433c6, flags=0080");
    Lines rest(lines.begin() + 2, lines.end());
    Lines expected = {
        "DHCP Options:",
        "  Msg Type = DHCPREQUEST",
        "  Client ID 1:00 0c 29 aa bb cc ",
        "  Requested Addr - 192.0.2.10",
        "  Server Addr - 192.0.2.1",
        "  Host Name: BRANCH-PC",
        "  Param Request: 1 3 6 15 ",
    };
    EXPECT_EQ(rest, expected);
}

TEST_F(RequestTrace, BootpAndShortDatagramsShowOnlyTheHeader) {
    Lines lines = trace(BootpRequest());
    EXPECT_EQ(lines.size(), 2u);

    // A short datagram after one with a cookie: the cookie area is cleared.
    trace(WindowsDiscover());
    Bytes shortDatagram = WindowsDiscover().build();
    shortDatagram.resize(238);
    lines = trace(shortDatagram);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "DHCP Request (238) - op=1, htype=1 hlen=6 xid=78563412 secs=0");

    // Exactly 240 bytes with the cookie: the options line and nothing more.
    lines = trace(RequestBuilder().noEnd());
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(RequestTrace, FortyOptionsHaveFortyLines) {
    RequestBuilder request;
    for (int i = 0; i < 40; ++i) request.option(static_cast<uint8_t>(100 + i), Bytes{static_cast<uint8_t>(i), 9});
    Lines lines = optionLines(request);
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "  Tag = 100, Len = 2, Val1 = 0");
    EXPECT_EQ(lines[39], "  Tag = 139, Len = 2, Val1 = 39");
}

TEST_F(RequestTrace, MessageTypeNames) {
    RequestBuilder request;
    for (uint8_t type = 0; type <= 8; ++type) request.messageType(type);
    request.option(OPTION_MESSAGE_TYPE, Bytes{200});
    Lines expected = {
        "  Msg Type = 0",           "  Msg Type = DHCPDISCOVER", "  Msg Type = DHCPOFFER",
        "  Msg Type = DHCPREQUEST", "  Msg Type = DHCPDECLINE",  "  Msg Type = DHCPACK",
        "  Msg Type = DHCPNACK",    "  Msg Type = DHCPRELEASE",  "  Msg Type = 8",
        "  Msg Type = 200",
    };
    EXPECT_EQ(optionLines(request), expected);
}

TEST_F(RequestTrace, ShortValuesPrintZerosNotTheNextOption) {
    Lines lines = optionLines(RequestBuilder()
                                  .option(OPTION_REQUESTED_ADDRESS, Bytes{10, 1})
                                  .option(OPTION_MESSAGE_TYPE, Bytes{})
                                  .option(OPTION_SERVER_ID, Bytes{})
                                  .option(OPTION_CLIENT_ID, Bytes{})
                                  .option(OPTION_HOST_NAME, Bytes{})
                                  .option(OPTION_PARAMETER_LIST, Bytes{})
                                  .option(43, Bytes{}));
    Lines expected = {
        "  Requested Addr - 10.1.0.0",
        "  Msg Type = 0",
        "  Server Addr - 0.0.0.0",
        "  Client ID 0:",
        "  Host Name: ",
        "  Param Request: ",
        "  Tag = 43, Len = 0, Val1 = 0",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(RequestTrace, OptionRunningPastTheEnd) {
    // The length byte as sent, the bytes that arrived, zeros for the rest.
    Lines lines = optionLines(RequestBuilder().raw(Bytes{43, 10, 5}).noEnd());
    EXPECT_EQ(lines, Lines{"  Tag = 43, Len = 10, Val1 = 5"});
    lines = optionLines(RequestBuilder().raw(Bytes{OPTION_SERVER_ID, 4, 192, 0}).noEnd());
    EXPECT_EQ(lines, Lines{"  Server Addr - 192.0.0.0"});
    lines = optionLines(RequestBuilder().messageType(1).raw(Bytes{OPTION_HOST_NAME}).noEnd());
    EXPECT_EQ(lines, Lines{"  Msg Type = DHCPDISCOVER"});
}

TEST_F(RequestTrace, HostNameBytesAndLimits) {
    // A zero byte adds nothing; a line break cannot start a forged entry.
    Lines lines = optionLines(RequestBuilder().option(OPTION_HOST_NAME, Bytes{'p', 0, 'c', '\r', '\n', '1'}));
    EXPECT_EQ(lines, Lines{"  Host Name: pc??1"});

    // The line is cut at 100 characters.
    lines = optionLines(RequestBuilder().hostName(std::string(200, 'h')));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "  Host Name: " + std::string(100 - 13, 'h'));

    // A long client identifier is cut at 100 characters too, a long
    // parameter list at 300.
    Bytes id(120, 0xab);
    Bytes codes(255);
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i + 1);
    lines = optionLines(RequestBuilder().clientId(255, id).parameterList(codes));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 100u);
    EXPECT_EQ(lines[0].substr(0, 22), "  Client ID 255:ab ab ");
    EXPECT_EQ(lines[1].size(), 300u);
    EXPECT_EQ(lines[1].substr(0, 25), "  Param Request: 1 2 3 4 ");
}

}  // namespace
