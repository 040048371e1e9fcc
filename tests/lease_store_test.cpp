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
    ASSERT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.10"));
    LeasesDirty = false;
    posted = 0;
    AdvanceTestClock(5);
    // The request's name and identifier don't replace the record's.
    EXPECT_EQ(AddLease(Client("other", kIdB), Ip("192.0.2.10"), LEASE_TIME), TEST_EPOCH + Seconds(5 + 3600));
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
    AddRecord("pc1", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("pc2", Ip("192.0.2.11"), kIdB, sizeof kIdB, TEST_EPOCH);
    EXPECT_EQ(AddLease(Client("pc1", kIdA), Ip("192.0.2.12"), LEASE_TIME), TEST_EPOCH + Seconds(3600));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.11"), Ip("192.0.2.12")}));
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(MainLog().back(), "Created Permanent Lease for pc1 -> c000020c");
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Create Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.12"});
    EXPECT_FALSE(IsAddressLeased(Ip("192.0.2.10")));

    // A 40-character name keeps 31; an empty identifier leaves "()" empty.
    AddLease(Client("a-host-name-that-is-forty-characters-xx"), Ip("192.0.2.13"), LEASE_TIME);
    EXPECT_STREQ(SnapshotLeases().back().hostName, "a-host-name-that-is-forty-chara");
    EXPECT_EQ(AddressLog().back(), "Create Lease for a-host-name-that-is-forty-characters-xx () of 192.0.2.13");
}

// A reservation made for an address that another client's lease holds:
// when the reserved client is acknowledged there, the record becomes its
// lease, and the other client is refused at its next request.
TEST_F(LeaseStoreTest, ReservedClientAcknowledgedOnItsAddressTakesTheRecordOver) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    AddRecord("pc2", Ip("192.0.2.10"), kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    AddRecord("pc1", Ip("192.0.2.12"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(600));  // its older lease
    Reserve(ByHostName, "pc1", Ip("192.0.2.10"));
    ASSERT_TRUE(CheckRequestedAddress(Ip("192.0.2.10"), LOCAL_GATEWAY, Client("pc1", kIdA), SERVER));
    EXPECT_EQ(AddLease(Client("pc1", kIdA), Ip("192.0.2.10"), LEASE_TIME), TEST_EPOCH + Seconds(3600));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_STREQ(leases[0].hostName, "pc1");
    EXPECT_EQ(leases[0].clientId, std::vector<uint8_t>(kIdA, kIdA + sizeof kIdA));
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + Seconds(3600));
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Add Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    EXPECT_EQ(MainLog().back(), "Renew Lease for pc1 -> c000020a");
    EXPECT_TRUE(LeasesDirty);

    EXPECT_EQ(CheckActiveLeases(0, Client("pc1", kIdA)), Ip("192.0.2.10"));
    EXPECT_FALSE(CheckRequestedAddress(Ip("192.0.2.10"), LOCAL_GATEWAY, Client("pc2", kIdB), SERVER));
}

TEST_F(LeaseStoreTest, LeaseTimeUnlimitedAndAbove31Bits) {
    EXPECT_EQ(AddLease(Client("pc1", kIdA), Ip("192.0.2.10"), UNLIMITED_LEASE_TIME), NEVER_EXPIRES);
    EXPECT_EQ(AddLease(Client("pc1", kIdA), Ip("192.0.2.10"), UNLIMITED_LEASE_TIME), NEVER_EXPIRES);  // renewal
    EXPECT_EQ(SnapshotLeases()[0].expiryLow(), 0xFFFFFFFFu);
    // Read as signed, this lease time would put the expiry in the past.
    EXPECT_EQ(AddLease(Client("pc2", kIdB), Ip("192.0.2.11"), 0x80000000u), TEST_EPOCH + Seconds(0x80000000LL));
}

TEST_F(LeaseStoreTest, CheckActiveLeasesFiltersByAddressAndIdentifier) {
    AddRecord("x", Ip("192.0.2.10"), kIdB, sizeof kIdB, TEST_EPOCH);
    AddRecord("y", Ip("192.0.2.11"), kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("z", Ip("192.0.2.12"), kIdA, sizeof kIdA, TEST_EPOCH);
    EXPECT_EQ(CheckActiveLeases(0, Client("pc1", kIdA)), Ip("192.0.2.11"));
    EXPECT_EQ(CheckActiveLeases(Ip("192.0.2.12"), Client("pc1", kIdA)), Ip("192.0.2.12"));
    EXPECT_EQ(CheckActiveLeases(Ip("192.0.2.10"), Client("pc1", kIdA)), 0u);
    EXPECT_EQ(CheckActiveLeases(0, Client("pc1", kIdA, 5)), 0u);  // a prefix is not the identifier
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
    AddRecord("x", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH);
    AddRecord("y", Ip("192.0.2.10"), kIdB, sizeof kIdB, TEST_EPOCH);
    MarkLeaseDeleted(Ip("192.0.2.14"));  // nobody holds it
    MarkLeaseDeleted(Ip("192.0.2.10"));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{DELETED_ADDRESS, Ip("192.0.2.10")}));
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    // Waiting for the sweep, the record is never offered as ffffffff.
    EXPECT_EQ(CheckActiveLeases(0, Client("x", kIdA)), 0u);
    EXPECT_FALSE(FindLeaseByClientId(kIdA, sizeof kIdA).has_value());
}

TEST_F(LeaseStoreTest, FindLeaseByClientIdNeedsAnIdentifierBuffer) {
    Lease bare;  // a record that never got an identifier buffer
    bare.setHostName("bare");
    bare.address = Ip("192.0.2.10");
    bare.expiry = TEST_EPOCH;
    AppendLease(bare);
    EXPECT_FALSE(FindLeaseByClientId(nullptr, 0).has_value());
    AddRecord("empty", Ip("192.0.2.11"), nullptr, 0, TEST_EPOCH);
    ASSERT_TRUE(FindLeaseByClientId(nullptr, 0).has_value());
    EXPECT_EQ(FindLeaseByClientId(nullptr, 0)->address, Ip("192.0.2.11"));
}

// The store hands out copies: a viewer that changes its copy changes nothing,
// and every change made through the store's functions reaches the indexes
// (lookups by address and identifier, the sweep).
TEST_F(LeaseStoreTest, CopiesAreDetachedAndStoreChangesKeepTheIndexesRight) {
    AddRecord("pc1", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(600));
    AddRecord("pc2", Ip("192.0.2.11"), kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    std::optional<Lease> copy = FindLeaseByClientId(kIdA, sizeof kIdA);
    ASSERT_TRUE(copy.has_value());
    copy->address = Ip("192.0.2.12");
    copy->expiry = TEST_EPOCH - 1;
    std::vector<Lease> view = SnapshotLeases();
    view[1].address = DELETED_ADDRESS;
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.11")}));
    EXPECT_FALSE(IsAddressLeased(Ip("192.0.2.12")));

    // The Active Leases page deletes one record by address and identifier:
    // another client's record at the same address stays.
    AddRecord("pc2-again", Ip("192.0.2.10"), kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));
    EXPECT_FALSE(DeleteLease(Ip("192.0.2.10"), kIdA, 5));  // a prefix is not the identifier
    EXPECT_FALSE(DeleteLease(Ip("192.0.2.11"), kIdA, sizeof kIdA));
    EXPECT_TRUE(DeleteLease(Ip("192.0.2.10"), kIdB, sizeof kIdB));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.11"), DELETED_ADDRESS}));
    EXPECT_EQ(CheckActiveLeases(Ip("192.0.2.10"), Client("pc2", kIdB)), 0u);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.11")}));
    EXPECT_EQ(MainLog().back(), "Clear Deleted Lease for pc2-again -> ffffffff");
    EXPECT_EQ(CheckActiveLeases(Ip("192.0.2.10"), Client("pc1", kIdA)), Ip("192.0.2.10"));

    ClearLeaseTable();
    EXPECT_FALSE(IsAddressLeased(Ip("192.0.2.11")));
    EXPECT_FALSE(FindLeaseByClientId(kIdB, sizeof kIdB).has_value());
}

}  // namespace
