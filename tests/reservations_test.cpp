#include "leases/reservations.h"

#include "lease_test_fixture.h"

namespace {

using ReservationsTest = LeaseDatabaseTest;

TEST_F(ReservationsTest, MatchesByKindWithoutRegardToCaseFirstEntryWins) {
    EXPECT_EQ(CheckReservations(Client("pc7", kIdA)), 0u);
    Reserve(ByHardwareAddress, "00:0c:29:ab:cd:ef", Ip("192.168.0.1"));  // ":" never matches
    Reserve(ByHardwareAddress, "pc7", Ip("192.168.0.2"));                // kinds don't cross
    Reserve(ByHostName, "00-0c-29-ab-cd-ef", Ip("192.168.0.3"));
    EXPECT_EQ(CheckReservations(Client("pc7")), 0u);
    EXPECT_EQ(CheckReservations(Client("", kIdA)), 0u);
    Reserve(ByHardwareAddress, "00-0C-29-AB-CD-EF", Ip("192.168.0.100"));
    Reserve(ByHostName, "pc7", Ip("192.168.0.7"));
    EXPECT_EQ(CheckReservations(Client("", kIdA)), Ip("192.168.0.100"));
    EXPECT_EQ(CheckReservations(Client("PC7", kIdB)), Ip("192.168.0.7"));
    EXPECT_EQ(CheckReservations(Client("PC7", kIdA)), Ip("192.168.0.100"));  // listed first
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
    Reserve(ByHostName, "", Ip("192.168.0.5"));
    EXPECT_EQ(CheckReservations(Client("")), Ip("192.168.0.5"));
}

TEST_F(ReservationsTest, EditsKeepLookupsByKeyAndAddressCurrent) {
    Reserve(ByHostName, "Alpha", Ip("192.168.0.10"));
    Reserve(ByHostName, "a-host-name-that-is-forty-characters-xx", Ip("192.168.0.11"));
    EXPECT_EQ(FindReservationByKey("ALPHA")->address, Ip("192.168.0.10"));
    EXPECT_TRUE(FindReservationByKey("A-HOST-NAME-THAT-IS-FORTY-CHARA").has_value());

    EXPECT_TRUE(ChangeReservation("alpha", ByHardwareAddress, Ip("192.168.0.12")));
    EXPECT_FALSE(IsAddressReserved(Ip("192.168.0.10")));
    EXPECT_EQ(FindReservationByAddress(Ip("192.168.0.12"))->kind, static_cast<uint32_t>(ByHardwareAddress));
    EXPECT_STREQ(FindReservationByAddress(Ip("192.168.0.12"))->key, "Alpha");

    EXPECT_TRUE(RemoveReservation("A-host-name-that-is-forty-chara"));
    EXPECT_FALSE(RemoveReservation("a-host-name-that-is-forty-chara"));
    EXPECT_FALSE(FindReservationByAddress(Ip("192.168.0.11")).has_value());
    EXPECT_FALSE(ChangeReservation("nobody", ByHostName, 1));
    EXPECT_EQ(SnapshotReservations().size(), 1u);

    // Set by key: replaces in place (whatever the key's case), else appends.
    Reservation entry;
    entry.kind = ByHostName;
    entry.setKey("ALPHA");
    entry.address = Ip("192.168.0.13");
    EXPECT_TRUE(SetReservation(entry));
    entry.setKey("beta");
    EXPECT_FALSE(SetReservation(entry));
    auto list = SnapshotReservations();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].key, "ALPHA");
    EXPECT_EQ(list[0].kind, static_cast<uint32_t>(ByHostName));
    EXPECT_FALSE(IsAddressReserved(Ip("192.168.0.12")));
    EXPECT_EQ(CheckReservations(Client("alpha")), Ip("192.168.0.13"));
    EXPECT_TRUE(RemoveReservation("beta"));
    EXPECT_TRUE(IsAddressReserved(Ip("192.168.0.13")));  // alpha still holds it
    ClearReservations();
    EXPECT_FALSE(IsAddressReserved(Ip("192.168.0.13")));
}

}  // namespace
