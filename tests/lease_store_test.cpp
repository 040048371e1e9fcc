#include "leases/lease_store.h"

#include "lease_test_fixture.h"
#include "leases/address_allocation.h"
#include "leases/lease_expiry.h"

namespace {

using LeaseStoreTest = LeaseDatabaseTest;

TEST(FormatClientIdTest, LowerCaseHexPairsJoinedByDash) {
    EXPECT_EQ(FormatClientId(kIdA, sizeof kIdA), "00-0c-29-ab-cd-ef");
    EXPECT_EQ(FormatClientId(kIdA, 0), "");
}

TEST_F(LeaseStoreTest, OfferThenRequestRenewsTheOfferInPlaceAndMarksTheTableChanged) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    ASSERT_EQ(FindSpareAddress(LOCAL_GATEWAY, "pc1", sizeof kIdA, kIdA), 0xC000020Au);
    LeasesDirty = false;
    posted = 0;
    AdvanceTestClock(5);
    // The request's name and identifier don't replace the record's.
    EXPECT_EQ(AddLease("other", 0xC000020A, sizeof kIdB, kIdB), TEST_EPOCH + Seconds(5 + 3600));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + Seconds(5 + 3600));
    EXPECT_STREQ(leases[0].hostName, "pc1");
    EXPECT_TRUE(LeasesDirty);  // else a crash leaves the 60-second hold in the file
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(MainLog().back(), "Renew Lease for other -> c000020a");
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Add Lease for other (00-0c-29-ab-cd-ef) of 192.0.2.10"});
}

TEST_F(LeaseStoreTest, CreatePathReplacesTheClientsOlderRecordAndAppendsAtTheEnd) {
    AddRecord("pc1", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("pc2", 0xC000020B, kIdB, sizeof kIdB, TEST_EPOCH);
    EXPECT_EQ(AddLease("pc1", 0xC000020C, sizeof kIdA, kIdA), TEST_EPOCH + Seconds(3600));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020B, 0xC000020C}));
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(MainLog().back(), "Created Permanent Lease for pc1 -> c000020c");
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Create Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.12"});
    EXPECT_FALSE(IsAddressLeased(0xC000020A));

    // A 40-character name keeps 31; an empty identifier leaves "()" empty.
    AddLease("a-host-name-that-is-forty-characters-xx", 0xC000020D, 0, nullptr);
    EXPECT_STREQ(SnapshotLeases().back().hostName, "a-host-name-that-is-forty-chara");
    EXPECT_EQ(AddressLog().back(), "Create Lease for a-host-name-that-is-forty-characters-xx () of 192.0.2.13");
}

// A reservation made for an address that another client's lease holds:
// when the reserved client is acknowledged there, the record becomes its
// lease, and the other client is refused at its next request.
TEST_F(LeaseStoreTest, ReservedClientAcknowledgedOnItsAddressTakesTheRecordOver) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    AddRecord("pc2", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    AddRecord("pc1", 0xC000020C, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(600));  // its older lease
    Reserve(ByHostName, "pc1", 0xC000020A);
    ASSERT_TRUE(CheckRequestedAddress(0xC000020A, LOCAL_GATEWAY, "pc1", sizeof kIdA, kIdA));
    EXPECT_EQ(AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA), TEST_EPOCH + Seconds(3600));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_STREQ(leases[0].hostName, "pc1");
    EXPECT_EQ(leases[0].clientId, std::vector<uint8_t>(kIdA, kIdA + sizeof kIdA));
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + Seconds(3600));
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Add Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    EXPECT_EQ(MainLog().back(), "Renew Lease for pc1 -> c000020a");
    EXPECT_TRUE(LeasesDirty);

    EXPECT_EQ(CheckActiveLeases(0, "pc1", kIdA, sizeof kIdA), 0xC000020Au);
    EXPECT_FALSE(CheckRequestedAddress(0xC000020A, LOCAL_GATEWAY, "pc2", sizeof kIdB, kIdB));
}

TEST_F(LeaseStoreTest, LeaseTimeUnlimitedAndAbove31Bits) {
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = UNLIMITED_LEASE_TIME; });
    EXPECT_EQ(AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA), NEVER_EXPIRES);
    EXPECT_EQ(AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA), NEVER_EXPIRES);  // renewal
    EXPECT_EQ(SnapshotLeases()[0].expiryLow(), 0xFFFFFFFFu);
    // Read as signed, this lease time would put the expiry in the past.
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = 0x80000000u; });
    EXPECT_EQ(AddLease("pc2", 0xC000020B, sizeof kIdB, kIdB), TEST_EPOCH + Seconds(0x80000000LL));
}

TEST_F(LeaseStoreTest, CheckActiveLeasesFiltersByAddressAndIdentifier) {
    AddRecord("x", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH);
    AddRecord("y", 0xC000020B, kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("z", 0xC000020C, kIdA, sizeof kIdA, TEST_EPOCH);
    EXPECT_EQ(CheckActiveLeases(0, "pc1", kIdA, sizeof kIdA), 0xC000020Bu);
    EXPECT_EQ(CheckActiveLeases(0xC000020C, "pc1", kIdA, sizeof kIdA), 0xC000020Cu);
    EXPECT_EQ(CheckActiveLeases(0xC000020A, "pc1", kIdA, sizeof kIdA), 0u);
    EXPECT_EQ(CheckActiveLeases(0, "pc1", kIdA, 5), 0u);  // a prefix is not the identifier
    EXPECT_EQ(MainLog(), (std::vector<std::string>{
                             "CheckActiveLeases 00000000, pc1 (00-0c-29-ab-cd-ef)",
                             "Found Matching Active Lease: pc1 -> c000020b",
                             "CheckActiveLeases c000020c, pc1 (00-0c-29-ab-cd-ef)",
                             "Found Matching Active Lease: pc1 -> c000020c",
                             "CheckActiveLeases c000020a, pc1 (00-0c-29-ab-cd-ef)",
                             "CheckActiveLeases 00000000, pc1 (00-0c-29-ab-cd)",
                         }));
}

TEST_F(LeaseStoreTest, MarkLeaseDeletedMarksTheFirstRecordOnlyAndHidesItFromLookups) {
    AddRecord("x", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("y", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH);
    MarkLeaseDeleted(0xC000020E);  // nobody holds it
    MarkLeaseDeleted(0xC000020A);
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{DELETED_ADDRESS, 0xC000020A}));
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    // Waiting for the sweep, the record is never offered as ffffffff.
    EXPECT_EQ(CheckActiveLeases(0, "x", kIdA, sizeof kIdA), 0u);
    EXPECT_FALSE(FindLeaseByClientId(kIdA, sizeof kIdA).has_value());
}

TEST_F(LeaseStoreTest, FindLeaseByClientIdNeedsAnIdentifierBuffer) {
    Lease bare;  // a record that never got an identifier buffer
    bare.setHostName("bare");
    bare.address = 0xC000020A;
    bare.expiry = TEST_EPOCH;
    AppendLease(bare);
    EXPECT_FALSE(FindLeaseByClientId(nullptr, 0).has_value());
    AddRecord("empty", 0xC000020B, nullptr, 0, TEST_EPOCH);
    ASSERT_TRUE(FindLeaseByClientId(nullptr, 0).has_value());
    EXPECT_EQ(FindLeaseByClientId(nullptr, 0)->address, 0xC000020Bu);
}

// The store hands out copies: a viewer that changes its copy changes nothing,
// and every change made through the store's functions reaches the indexes
// (lookups by address and identifier, the sweep).
TEST_F(LeaseStoreTest, CopiesAreDetachedAndStoreChangesKeepTheIndexesRight) {
    AddRecord("pc1", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(600));
    AddRecord("pc2", 0xC000020B, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    std::optional<Lease> copy = FindLeaseByClientId(kIdA, sizeof kIdA);
    ASSERT_TRUE(copy.has_value());
    copy->address = 0xC000020C;
    copy->expiry = TEST_EPOCH - 1;
    std::vector<Lease> view = SnapshotLeases();
    view[1].address = DELETED_ADDRESS;
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020A, 0xC000020B}));
    EXPECT_FALSE(IsAddressLeased(0xC000020C));

    // The Active Leases page deletes one record by address and identifier:
    // another client's record at the same address stays.
    AddRecord("pc2-again", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    EXPECT_FALSE(DeleteLease(0xC000020A, kIdA, 5));  // a prefix is not the identifier
    EXPECT_FALSE(DeleteLease(0xC000020B, kIdA, sizeof kIdA));
    EXPECT_TRUE(DeleteLease(0xC000020A, kIdB, sizeof kIdB));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020A, 0xC000020B, DELETED_ADDRESS}));
    EXPECT_EQ(CheckActiveLeases(0xC000020A, "pc2", kIdB, sizeof kIdB), 0u);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020A, 0xC000020B}));
    EXPECT_EQ(MainLog().back(), "Clear Deleted Lease for pc2-again -> ffffffff");
    EXPECT_EQ(CheckActiveLeases(0xC000020A, "pc1", kIdA, sizeof kIdA), 0xC000020Au);

    ClearLeaseTable();
    EXPECT_FALSE(IsAddressLeased(0xC000020B));
    EXPECT_FALSE(FindLeaseByClientId(kIdB, sizeof kIdB).has_value());
}

}  // namespace
