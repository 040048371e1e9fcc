// The General page's decisions without windows: the lease-time fields, the
// check of the two address fields, and the store into the settings and the
// local exceptions.
#include "ui/general_page.h"

#include <gtest/gtest.h>

#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "base/ip_address.h"
#include "scratch_server.h"

namespace {

LeaseTimeFields Limited(const char* days, const char* hours, const char* minutes) {
    return LeaseTimeFields{false, days, hours, minutes};
}

TEST(GeneralPageTest, LeaseTimeShownAndReadBack) {
    LeaseTimeFields shown = ShowLeaseTime(90061);
    EXPECT_FALSE(shown.unlimited);
    EXPECT_EQ(shown.days + "/" + shown.hours + "/" + shown.minutes, "1/1/1");
    EXPECT_EQ(ReadLeaseTime(shown), 90060u);  // the second is dropped

    shown = ShowLeaseTime(UNLIMITED_LEASE_TIME);
    EXPECT_TRUE(shown.unlimited);
    EXPECT_EQ(shown.days + "/" + shown.hours + "/" + shown.minutes, "3/0/0");
    EXPECT_EQ(ReadLeaseTime(shown), UNLIMITED_LEASE_TIME);
    shown.unlimited = false;  // "Limited To:" chosen without editing
    EXPECT_EQ(ReadLeaseTime(shown), 259200u);

    EXPECT_EQ(ReadLeaseTime(Limited("", "", "")), 0u);
    EXPECT_EQ(ReadLeaseTime(Limited("0", "99", "99")), 362340u);  // not limited to a day or an hour
    EXPECT_EQ(ReadLeaseTime(Limited("2x", " 1 ", "-5")), 3600u);  // unreadable fields count 0
}

TEST(GeneralPageTest, OnlyServerAddressAndMaskKeepTheUserOnThePage) {
    EXPECT_EQ(CheckGeneralPage("192.168.0.300", "255.255.255.0"), GeneralField::ServerAddress);
    EXPECT_EQ(CheckGeneralPage("255.255.255.255", "255.255.255.0"), GeneralField::ServerAddress);
    EXPECT_EQ(CheckGeneralPage("192.168.0.1", "255.255.255.256"), GeneralField::SubnetMask);
    EXPECT_EQ(CheckGeneralPage("bad", "bad"), GeneralField::ServerAddress);
    // Empty fields read as 0.0.0.0, as on the Windows family the program was
    // made for, so a first run without a discovered address can leave.
    EXPECT_EQ(CheckGeneralPage("", ""), GeneralField::None);
    EXPECT_EQ(PageAddress(""), 0u);
    EXPECT_EQ(PageAddress("10.0.0.1"), 0x0A000001u);
}

class GeneralStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServerState();
        UpdateSettings([](ServerSettings& s) {
            CopySetting(s.IPAddress, "198.51.100.1");
            DeriveAddressFields(s);
            CopySetting(s.NextBootServer, "198.51.100.9");
        });
        SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.1-192.0.2.254");
    }
    void TearDown() override { ResetServerState(); }
};

TEST_F(GeneralStoreTest, StoresEveryFieldAndExceptsTheServersInTheRange) {
    const uint32_t boundBefore = CurrentSettings()->serverAddressNet;
    GeneralFields fields = GeneralPageFields(*CurrentSettings());
    fields.IPAddress = "192.0.2.1";
    fields.SubnetMask = "255.255.255.0";
    fields.DNSServer = "192.0.2.2";
    fields.Routers = "192.0.2.1 192.0.2.254";
    fields.WINSServer = "198.51.100.7";  // outside every range
    fields.DomainName = "example.lan";
    fields.leaseTime = Limited("0", "99", "99");
    StoreGeneralPage(fields);

    // DNS first, then the server, WINS and routers; each address once.
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.2,192.0.2.1,192.0.2.254");
    auto s = CurrentSettings();
    EXPECT_STREQ(s->IPAddress, "192.0.2.1");
    EXPECT_EQ(s->serverAddress, 0xC0000201u);
    EXPECT_EQ(s->serverAddressNet, boundBefore);  // the socket keeps its address until the next start
    EXPECT_STREQ(s->SubnetMask, "255.255.255.0");
    EXPECT_EQ(s->subnetMask, 0xFFFFFF00u);
    EXPECT_STREQ(s->DNSServer, "192.0.2.2");
    EXPECT_STREQ(s->Routers, "192.0.2.1 192.0.2.254");
    EXPECT_STREQ(s->WINSServer, "198.51.100.7");
    EXPECT_STREQ(s->DomainName, "example.lan");
    EXPECT_EQ(s->LeaseTime, 362340u);
    EXPECT_STREQ(s->NextBootServer, "198.51.100.9");  // not on the page, untouched

    // Leaving the page again adds nothing twice.
    StoreGeneralPage(GeneralPageFields(*CurrentSettings()));
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.2,192.0.2.1,192.0.2.254");
}

}  // namespace
