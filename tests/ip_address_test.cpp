#include "base/ip_address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ParseAddress, DottedQuadsAndBerkeleyShortForms) {
    EXPECT_EQ(ParseAddress("192.168.0.10"), 0xC0A8000Au);
    EXPECT_EQ(ParseAddress("0.0.0.0"), 0u);
    EXPECT_EQ(ParseAddress("10.1"), 0x0A000001u);
    EXPECT_EQ(ParseAddress("10.1.258"), 0x0A010102u);
    EXPECT_EQ(ParseAddress("3232235530"), 0xC0A8000Au);
    EXPECT_EQ(ParseAddress("0x7f.1"), 0x7F000001u);
    EXPECT_EQ(ParseAddress("010.0.0.1"), 0x08000001u);
    EXPECT_EQ(ParseAddress("192.168.0.1 trailing"), 0xC0A80001u);
}

TEST(ParseAddress, RejectsWhatInetAddrRejects) {
    for (const char* bad : {"", " ", "x", "192.168.0.256", "1.2.3.4.5", "1..2", "192.168.0.", "09.1.1.1",
                            "1.2.3.4x", "0x", "4294967296", "192.168.0.10-x"})
        EXPECT_EQ(ParseAddress(bad), ADDRESS_NONE) << bad;
    EXPECT_EQ(ParseAddress(nullptr), ADDRESS_NONE);
    EXPECT_EQ(ParseAddress("255.255.255.255"), ADDRESS_NONE);
}

TEST(AddressBytes, OrdersAndFormatting) {
    uint8_t bytes[4];
    WriteBigEndian32(bytes, 0xC0A8010A);
    EXPECT_EQ(bytes[0], 192);
    EXPECT_EQ(bytes[3], 10);
    EXPECT_EQ(ReadBigEndian32(bytes), 0xC0A8010Au);
    EXPECT_EQ(ReadLittleEndian32(bytes), 0x0A01A8C0u);
    EXPECT_EQ(FormatAddress(0xC0A8010A), "192.168.1.10");
    EXPECT_EQ(NetworkToHost(HostToNetwork(0x01020304)), 0x01020304u);
    uint32_t net = HostToNetwork(0xC0A8010A);
    uint8_t in_memory[4];
    std::memcpy(in_memory, &net, 4);
    EXPECT_EQ(in_memory[0], 192);
}

}  // namespace
