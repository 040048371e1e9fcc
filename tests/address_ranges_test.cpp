#include "leases/address_ranges.h"

#include <sstream>

#include "lease_test_fixture.h"

namespace {

using AddressRangesTest = LeaseDatabaseTest;

// Every item of a text as "low-high@position", in hex.
std::string ReadAll(const char* text) {
    std::ostringstream out;
    int32_t position = 0;
    for (int n = 0; n < 100; ++n) {
        uint32_t low, high;
        NextRange(text, position, low, high);
        out << std::hex << low << "-" << high << "@" << std::dec << position << " ";
        if (position == -1) break;
    }
    return out.str();
}

TEST_F(AddressRangesTest, NextRangeReadsItemsInWrittenOrder) {
    EXPECT_EQ(ReadAll("192.168.0.10-192.168.0.20,,192.168.0.30"), "c0a8000a-c0a80014@25 c0a8001e-c0a8001e@-1 ");
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Found Range - c0a8000a - c0a80014",
                                                   "Found Range - c0a8001e - c0a8001e"}));
    // No item, or a final ",": the all-ones item, without a line.
    EXPECT_EQ(ReadAll(""), "ffffffff-ffffffff@-1 ");
    EXPECT_EQ(ReadAll(",,"), "ffffffff-ffffffff@-1 ");
    EXPECT_EQ(ReadAll("10.0.0.1,"), "a000001-a000001@8 ffffffff-ffffffff@-1 ");
    EXPECT_EQ(MainLog().size(), 3u);
    // Split at the first "-"; what doesn't parse is all ones.
    EXPECT_EQ(ReadAll("192.168.0.10-x"), "c0a8000a-ffffffff@-1 ");
    EXPECT_EQ(ReadAll("10.0.0.9-10.0.0.1-10.0.0.5,bogus"), "a000009-ffffffff@26 ffffffff-ffffffff@-1 ");
    std::string overlong = "10.0.0.1-" + std::string(5000, '9') + ",10.0.0.7";
    EXPECT_EQ(ReadAll(overlong.c_str()), "a000001-ffffffff@5009 a000007-a000007@-1 ");
}

TEST_F(AddressRangesTest, GatewaysWithAndWithoutRanges) {
    SetGatewayRanges(0x0A010201, "10.1.2.10-10.1.2.20");
    TextString ranges("stale"), exceptions("stale");
    ASSERT_TRUE(GetRangesForGateway(0x0A010201, ranges, exceptions));
    EXPECT_STREQ(ranges.text(), "10.1.2.10-10.1.2.20");
    EXPECT_STREQ(exceptions.text(), "");
    EXPECT_FALSE(IsAddressInRanges(0x0A01030A, 0x0A010301));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Found Ranges for gateway 0a010201",
                                                   "Not found Ranges for gateway 0a010301",
                                                   "No valid range for gateway 0a010301"}));
    EXPECT_EQ(RangeTable.count(0x0A010301), 0u);  // looking up creates nothing
}

TEST_F(AddressRangesTest, MembershipIncludesTheBoundsOfRangesAndExceptions) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.168.0.10-192.168.0.20,192.168.0.15-192.168.0.30,192.168.0.50-192.168.0.40");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.168.0.12-192.168.0.14,192.168.0.25");
    std::string inside;
    for (uint32_t a = 0xC0A80009; a <= 0xC0A80032; ++a) inside += IsAddressInRanges(a, LOCAL_GATEWAY) ? '1' : '0';
    // 9 to 50: 10-11 in, 12-14 excepted, 15-30 in but 25, the reversed item holds nothing
    EXPECT_EQ(inside, "011000111111111101111100000000000000000000");
    // An empty range text is present and holds only 255.255.255.255.
    SetGatewayRanges(0x0A000001, "");
    EXPECT_FALSE(IsAddressInRanges(0x0A000005, 0x0A000001));
}

TEST_F(AddressRangesTest, ServerDnsAndRouterAddressesBecomeExceptionsOnce) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.168.0.1-192.168.0.254");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.2");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.1");
    AddAddressExceptions(LOCAL_GATEWAY, "");
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.1 192.168.0.254");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254");
    // Again, and an address outside the ranges: nothing more.
    AddAddressExceptions(LOCAL_GATEWAY, " ;192.168.0.2,,10.0.0.1;192.168.0.2 ");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254");
    // Tokens are appended as written.
    AddAddressExceptions(LOCAL_GATEWAY, "192.168.0.0x10");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.168.0.2,192.168.0.1,192.168.0.254,192.168.0.0x10");
    AddAddressExceptions(0x0A000001, "10.0.0.5");  // a gateway without ranges gets none
    EXPECT_EQ(ExceptionTable.count(0x0A000001), 0u);
    // Junk and templates stay out, even where a range reaches 255.255.255.255.
    SetGatewayRanges(0x0A000002, "10.0.0.1-x");
    AddAddressExceptions(0x0A000002, "junk %1.%2.%3.53 10.0.0.9");
    EXPECT_EQ(GatewayExceptions(0x0A000002), "10.0.0.9");
}

}  // namespace
