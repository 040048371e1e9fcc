#include "leases/reservations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/log.h"
#include "test_support.h"

namespace {

const uint8_t kId[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};

Reservation Entry(uint32_t kind, const char* key, uint32_t address) {
    Reservation r;
    r.kind = kind;
    r.setKey(key);
    r.address = address;
    return r;
}

class ReservationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        ClearReservations();
    }
    void TearDown() override {
        ClearReservations();
        ClearLogPaths();
    }
    std::vector<std::string> MainLog() { return LogTexts(MainLogPath()); }
    ScratchDir dir;
};

TEST_F(ReservationsTest, NoEntriesGiveZeroAfterTheCheckLine) {
    EXPECT_EQ(CheckReservations("pc7", sizeof kId, kId), 0u);
    EXPECT_EQ(MainLog(), std::vector<std::string>{"CheckReservations pc7 (00-0c-29-ab-cd-ef)"});
}

TEST_F(ReservationsTest, HardwareKeysCompareAsTextWithoutRegardToCase) {
    AppendReservation(Entry(ByHardwareAddress, "00:0c:29:ab:cd:ef", 0xC0A80063));  // ":" never matches
    AppendReservation(Entry(ByHardwareAddress, "00-0C-29-AB-CD-EF", 0xC0A80064));
    EXPECT_EQ(CheckReservations("", sizeof kId, kId), 0xC0A80064u);
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"CheckReservations  (00-0c-29-ab-cd-ef)",
                                                   "Found Matching Reservation: (Addr)00-0C-29-AB-CD-EF -> c0a80064"}));
}

TEST_F(ReservationsTest, HostNamesCompareWithoutRegardToCase) {
    AppendReservation(Entry(ByHostName, "pc7", 0xC0A80007));
    EXPECT_EQ(CheckReservations("PC7", 0, nullptr), 0xC0A80007u);
    EXPECT_EQ(MainLog().back(), "Found Matching Reservation: PC7 -> c0a80007");
    EXPECT_EQ(CheckReservations("pc8", 0, nullptr), 0u);
    EXPECT_EQ(CheckReservations("", sizeof kId, kId), 0u);  // no host name: no host-name match
}

TEST_F(ReservationsTest, KindsDoNotCrossAndTheFirstEntryWins) {
    AppendReservation(Entry(ByHardwareAddress, "pc7", 0xC0A80001));
    AppendReservation(Entry(ByHostName, "00-0c-29-ab-cd-ef", 0xC0A80002));
    EXPECT_EQ(CheckReservations("pc7", 0, nullptr), 0u);
    EXPECT_EQ(CheckReservations("", sizeof kId, kId), 0u);
    AppendReservation(Entry(ByHostName, "pc7", 0xC0A80003));
    AppendReservation(Entry(ByHardwareAddress, "00-0c-29-ab-cd-ef", 0xC0A80004));
    EXPECT_EQ(CheckReservations("pc7", sizeof kId, kId), 0xC0A80003u);
    // An empty host-name key matches a client without a host name.
    ClearReservations();
    AppendReservation(Entry(ByHostName, "", 0xC0A80005));
    EXPECT_EQ(CheckReservations("", 0, nullptr), 0xC0A80005u);
}

TEST_F(ReservationsTest, EditsKeepLookupsByKeyAndAddressCurrent) {
    AppendReservation(Entry(ByHostName, "Alpha", 0xC0A8000A));
    AppendReservation(Entry(ByHostName, "beta", 0xC0A8000B));
    EXPECT_TRUE(IsAddressReserved(0xC0A8000A));
    ASSERT_TRUE(FindReservationByKey("ALPHA").has_value());
    EXPECT_EQ(FindReservationByKey("ALPHA")->address, 0xC0A8000Au);
    EXPECT_FALSE(FindReservationByKey("gamma").has_value());

    EXPECT_TRUE(ChangeReservation("alpha", ByHardwareAddress, 0xC0A8000C));
    EXPECT_FALSE(IsAddressReserved(0xC0A8000A));
    EXPECT_TRUE(IsAddressReserved(0xC0A8000C));
    EXPECT_EQ(FindReservationByAddress(0xC0A8000C)->kind, static_cast<uint32_t>(ByHardwareAddress));
    EXPECT_STREQ(FindReservationByAddress(0xC0A8000C)->key, "Alpha");

    EXPECT_TRUE(RemoveReservation("BETA"));
    EXPECT_FALSE(RemoveReservation("beta"));
    EXPECT_FALSE(IsAddressReserved(0xC0A8000B));
    EXPECT_FALSE(FindReservationByAddress(0xC0A8000B).has_value());
    EXPECT_EQ(SnapshotReservations().size(), 1u);
    EXPECT_FALSE(ChangeReservation("nobody", ByHostName, 1));
}

TEST_F(ReservationsTest, KeysKeepAtMost31Characters) {
    Reservation r = Entry(ByHostName, "a-host-name-that-is-forty-characters-xx", 1);
    EXPECT_EQ(std::string(r.key), "a-host-name-that-is-forty-chara");
}

}  // namespace
