#include "leases/address_ranges.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/log.h"
#include "test_support.h"

namespace {

struct Item {
    uint32_t low, high;
    int32_t position;
    bool operator==(const Item& o) const { return low == o.low && high == o.high && position == o.position; }
};

std::ostream& operator<<(std::ostream& out, const Item& item) {
    return out << std::hex << item.low << "-" << item.high << std::dec << " @" << item.position;
}

std::vector<Item> ReadAll(const char* text) {
    std::vector<Item> items;
    int32_t position = 0;
    do {
        Item item{};
        NextRange(text, position, item.low, item.high);
        item.position = position;
        items.push_back(item);
    } while (position != -1 && items.size() < 100);
    return items;
}

class AddressRangesTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        ClearRangeTables();
    }
    void TearDown() override {
        ClearRangeTables();
        ClearLogPaths();
    }
    std::vector<std::string> MainLog() { return LogTexts(MainLogPath()); }
    ScratchDir dir;
};

TEST_F(AddressRangesTest, NextRangeReadsItemsInWrittenOrder) {
    EXPECT_EQ(ReadAll("192.168.0.10-192.168.0.20,,192.168.0.30"),
              (std::vector<Item>{{0xC0A8000A, 0xC0A80014, 25}, {0xC0A8001E, 0xC0A8001E, -1}}));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Found Range - c0a8000a - c0a80014",
                                                   "Found Range - c0a8001e - c0a8001e"}));
    // Empty texts and separators only: one all-ones item, no line.
    EXPECT_EQ(ReadAll(""), (std::vector<Item>{{0xFFFFFFFF, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(ReadAll(",,,"), (std::vector<Item>{{0xFFFFFFFF, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(ReadAll(",10.0.0.1"), (std::vector<Item>{{0x0A000001, 0x0A000001, -1}}));
    // A final "," reads as one more all-ones item.
    EXPECT_EQ(ReadAll("10.0.0.1,"), (std::vector<Item>{{0x0A000001, 0x0A000001, 8}, {0xFFFFFFFF, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(MainLog().size(), 4u);
}

TEST_F(AddressRangesTest, NextRangeSplitsAtTheFirstDashAndUnparsableTextsAreAllOnes) {
    EXPECT_EQ(ReadAll("192.168.0.10-x"), (std::vector<Item>{{0xC0A8000A, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(ReadAll("bogus"), (std::vector<Item>{{0xFFFFFFFF, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(ReadAll("10.0.0.9-10.0.0.1-10.0.0.5"), (std::vector<Item>{{0x0A000009, 0xFFFFFFFF, -1}}));
    EXPECT_EQ(ReadAll("10.0.0.9-10.0.0.1"), (std::vector<Item>{{0x0A000009, 0x0A000001, -1}}));
    int32_t position = -1;  // after the end
    uint32_t low = 0, high = 0;
    NextRange("10.0.0.1", position, low, high);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(low, 0xFFFFFFFFu);
}

TEST_F(AddressRangesTest, OverlongItemIsReadSafely) {
    std::string text = "10.0.0.1-" + std::string(5000, '9') + ",10.0.0.7";
    auto items = ReadAll(text.c_str());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].low, 0x0A000001u);
    EXPECT_EQ(items[0].high, 0xFFFFFFFFu);
    EXPECT_EQ(items[1], (Item{0x0A000007, 0x0A000007, -1}));
}

TEST_F(AddressRangesTest, GatewayLookupOfLocalAndRelayedGateways) {
    SetGatewayRanges(0x0A010201, "10.1.2.10-10.1.2.20");
    TextString ranges("stale"), exceptions("stale");
    ASSERT_TRUE(GetRangesForGateway(0x0A010201, ranges, exceptions));
    EXPECT_STREQ(ranges.text(), "10.1.2.10-10.1.2.20");
    EXPECT_STREQ(exceptions.text(), "");  // no exception entry: none
    EXPECT_FALSE(GetRangesForGateway(0x0A010301, ranges, exceptions));
    EXPECT_FALSE(IsAddressInRanges(0x0A01030A, 0x0A010301));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Found Ranges for gateway 0a010201",
                                                   "Not found Ranges for gateway 0a010301",
                                                   "Not found Ranges for gateway 0a010301",
                                                   "No valid range for gateway 0a010301"}));
    // Looking up creates nothing; write access by key creates an empty entry.
    EXPECT_EQ(RangeTable.count(0x0A010301), 0u);
    EXPECT_EQ(GatewayExceptions(0x0A010201), "");
    EXPECT_EQ(ExceptionTable.count(0x0A010201), 1u);
}

TEST_F(AddressRangesTest, MembershipIncludesBoundsOfRangesAndExceptions) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.168.0.10-192.168.0.20,192.168.0.15-192.168.0.30");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.168.0.12-192.168.0.14,192.168.0.25");
    EXPECT_TRUE(IsAddressInRanges(0xC0A8000A, LOCAL_GATEWAY));
    EXPECT_TRUE(IsAddressInRanges(0xC0A80014, LOCAL_GATEWAY));
    EXPECT_FALSE(IsAddressInRanges(0xC0A80009, LOCAL_GATEWAY));
    EXPECT_FALSE(IsAddressInRanges(0xC0A8000C, LOCAL_GATEWAY));
    EXPECT_FALSE(IsAddressInRanges(0xC0A8000E, LOCAL_GATEWAY));
    EXPECT_TRUE(IsAddressInRanges(0xC0A8000F, LOCAL_GATEWAY));
    EXPECT_FALSE(IsAddressInRanges(0xC0A80019, LOCAL_GATEWAY));
    EXPECT_TRUE(IsAddressInRanges(0xC0A8001E, LOCAL_GATEWAY));
    EXPECT_FALSE(IsAddressInRanges(0xC0A8001F, LOCAL_GATEWAY));
    // An empty range text is present and reads as 255.255.255.255 only.
    SetGatewayRanges(0x0A000001, "");
    EXPECT_FALSE(IsAddressInRanges(0x0A000005, 0x0A000001));
    // An item whose high bound is below its low bound holds nothing.
    SetGatewayRanges(0x0A000002, "10.0.0.9-10.0.0.1");
    EXPECT_FALSE(IsAddressInRanges(0x0A000005, 0x0A000002));
}

TEST_F(AddressRangesTest, ServerDnsAndRouterAddressesBecomeExceptionsOnce) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.168.0.1-192.168.0.254");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.2");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.1");
    AddAddressExceptions(LOCAL_GATEWAY, "");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.1 192.168.0.254");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254");
    // Applying again adds nothing; outside addresses are not added.
    AddAddressExceptions(LOCAL_GATEWAY, " ;192.168.0.2,,10.0.0.1;192.168.0.2 ");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254");
    // The token is appended as written.
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.0x10");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.016");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254,192.168.0.0x10,192.168.0.016");
}

TEST_F(AddressRangesTest, ExceptionsForAGatewayWithoutRangesAreNotAdded) {
    AddAddressExceptions(0x0A000001, "10.0.0.5");
    EXPECT_EQ(ExceptionTable.count(0x0A000001), 0u);
}

}  // namespace
