#include "leases/reservations.h"

#include "lease_test_fixture.h"

namespace {

using ReservationsTest = LeaseDatabaseTest;

TEST_F(ReservationsTest, MatchesByKindWithoutRegardToCaseFirstEntryWins) {
    EXPECT_EQ(CheckReservations("pc7", sizeof kIdA, kIdA), 0u);
    Reserve(ByHardwareAddress, "00:0c:29:ab:cd:ef", 0xC0A80001);  // ":" never matches
    Reserve(ByHardwareAddress, "pc7", 0xC0A80002);                // kinds don't cross
    Reserve(ByHostName, "00-0c-29-ab-cd-ef", 0xC0A80003);
    EXPECT_EQ(CheckReservations("pc7", 0, nullptr), 0u);
    EXPECT_EQ(CheckReservations("", sizeof kIdA, kIdA), 0u);
    Reserve(ByHardwareAddress, "00-0C-29-AB-CD-EF", 0xC0A80064);
    Reserve(ByHostName, "pc7", 0xC0A80007);
    EXPECT_EQ(CheckReservations("", sizeof kIdA, kIdA), 0xC0A80064u);
    EXPECT_EQ(CheckReservations("PC7", sizeof kIdB, kIdB), 0xC0A80007u);
    EXPECT_EQ(CheckReservations("PC7", sizeof kIdA, kIdA), 0xC0A80064u);  // listed first
    EXPECT_EQ(MainLog(), (std::vector<std::string>{
                             "CheckReservations pc7 (00-0c-29-ab-cd-ef)",
                             "CheckReservations pc7 ()",
                             "CheckReservations  (00-0c-29-ab-cd-ef)",
                             "CheckReservations  (00-0c-29-ab-cd-ef)",
                             "Found Matching Reservation: (Addr)00-0C-29-AB-CD-EF -> c0a80064",
                             "CheckReservations PC7 (00-0c-29-11-22-33)",
                             "Found Matching Reservation: PC7 -> c0a80007",
                             "CheckReservations PC7 (00-0c-29-ab-cd-ef)",
                             "Found Matching Reservation: (Addr)00-0C-29-AB-CD-EF -> c0a80064",
                         }));
    // Only an empty host-name key matches a client without a host name.
    Reserve(ByHostName, "", 0xC0A80005);
    EXPECT_EQ(CheckReservations("", 0, nullptr), 0xC0A80005u);
}

TEST_F(ReservationsTest, EditsKeepLookupsByKeyAndAddressCurrent) {
    Reserve(ByHostName, "Alpha", 0xC0A8000A);
    Reserve(ByHostName, "a-host-name-that-is-forty-characters-xx", 0xC0A8000B);
    EXPECT_EQ(FindReservationByKey("ALPHA")->address, 0xC0A8000Au);
    EXPECT_TRUE(FindReservationByKey("A-HOST-NAME-THAT-IS-FORTY-CHARA").has_value());

    EXPECT_TRUE(ChangeReservation("alpha", ByHardwareAddress, 0xC0A8000C));
    EXPECT_FALSE(IsAddressReserved(0xC0A8000A));
    EXPECT_EQ(FindReservationByAddress(0xC0A8000C)->kind, static_cast<uint32_t>(ByHardwareAddress));
    EXPECT_STREQ(FindReservationByAddress(0xC0A8000C)->key, "Alpha");

    EXPECT_TRUE(RemoveReservation("A-host-name-that-is-forty-chara"));
    EXPECT_FALSE(RemoveReservation("a-host-name-that-is-forty-chara"));
    EXPECT_FALSE(FindReservationByAddress(0xC0A8000B).has_value());
    EXPECT_FALSE(ChangeReservation("nobody", ByHostName, 1));
    EXPECT_EQ(SnapshotReservations().size(), 1u);

    // Set by key: replaces in place (whatever the key's case), else appends.
    Reservation entry;
    entry.kind = ByHostName;
    entry.setKey("ALPHA");
    entry.address = 0xC0A8000D;
    EXPECT_TRUE(SetReservation(entry));
    entry.setKey("beta");
    EXPECT_FALSE(SetReservation(entry));
    auto list = SnapshotReservations();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].key, "ALPHA");
    EXPECT_EQ(list[0].kind, static_cast<uint32_t>(ByHostName));
    EXPECT_FALSE(IsAddressReserved(0xC0A8000C));
    EXPECT_EQ(CheckReservations("alpha", 0, nullptr), 0xC0A8000Du);
    EXPECT_TRUE(RemoveReservation("beta"));
    EXPECT_TRUE(IsAddressReserved(0xC0A8000D));  // alpha still holds it
    ClearReservations();
    EXPECT_FALSE(IsAddressReserved(0xC0A8000D));
}

}  // namespace
