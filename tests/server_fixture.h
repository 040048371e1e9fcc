// A server with a known configuration for the message handling tests: server
// 192.0.2.1/24, lease time one hour, local range 192.0.2.10-192.0.2.20, a
// relay agent at 198.51.100.1 with 198.51.100.10-198.51.100.20, a fixed
// clock, the logs in a scratch directory and a probe that nobody answers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/message_handler.h"
#include "dhcp/udp_socket.h"
#include "dhcp_builder.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "scratch_server.h"
#include "test_support.h"

constexpr uint32_t SERVER = Ip("192.0.2.1");
constexpr uint32_t OTHER_SERVER = Ip("192.0.2.2");
constexpr uint32_t FIRST_LOCAL = Ip("192.0.2.10");
constexpr uint32_t LAST_LOCAL = Ip("192.0.2.20");
constexpr uint32_t RELAY = Ip("198.51.100.1");
constexpr uint32_t FIRST_RELAYED = Ip("198.51.100.10");
constexpr uint32_t LEASE_SECONDS = 3600;  // the scratch server's lease time

inline EchoResult NobodyAnswers(uint32_t) { return EchoResult{true, 0, 0}; }

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        StartSocketLibrary();  // the host name call needs it on Windows
        ScratchServer server;
        server.relayRanges = {{RELAY, "198.51.100.10-198.51.100.20"}};
        SetUpScratchServer(server);
        UseLogDirectory(scratch.path());
        SetTestClock(TEST_EPOCH);
        SetEchoOverride(&NobodyAnswers);
    }

    void TearDown() override {
        ResetServerState();
        ClearLogPaths();
        StopSocketLibrary();
    }

    // Runs the handler over the request with the current settings.
    ReplyAction Handle(const RequestBuilder& request) {
        size_t length = request.load(message);
        return HandleDatagram(message, length, *CurrentSettings());
    }

    std::vector<ReplyOption> ReplyOptions(const ReplyAction& action) const {
        return ReadOptions(message.bytes, action.length);
    }

    // A four-byte option of the reply as a host-order number (0 when absent).
    uint32_t ReplyValue(const ReplyAction& action, uint8_t code) const {
        std::vector<ReplyOption> options = ReplyOptions(action);
        const ReplyOption* option = FindReplyOption(options, code);
        if (!option || option->value.size() != 4) return 0;
        return ReadBigEndian32(option->value.data());
    }

    uint32_t Field(size_t offset) const { return ReadBigEndian32(message.bytes + offset); }

    std::vector<std::string> MainLog() const { return LogTexts(MainLogPath()); }
    std::vector<std::string> AddressLog() const {
        return FileExists(AddressLogPath()) ? LogTexts(AddressLogPath()) : std::vector<std::string>();
    }
    bool MainLogHas(const std::string& line) const {
        for (const std::string& text : MainLog())
            if (text == line) return true;
        return false;
    }

    // The hardware address of a second client.
    static Bytes OtherHardware() { return Bytes{0x00, 0x0c, 0x29, 0x11, 0x22, 0x33}; }

    ScratchDir scratch;
    DhcpMessage message{};
};
