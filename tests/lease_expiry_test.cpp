#include "leases/lease_expiry.h"

#include "lease_test_fixture.h"
#include "leases/address_allocation.h"

namespace {

using LeaseExpiryTest = LeaseDatabaseTest;

TEST_F(LeaseExpiryTest, SweepRemovesExpiredAndDeletedRecordsOnly) {
    AddRecord("old", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH - 1);
    AddRecord("now", 0xC000020B, kIdA, sizeof kIdA, TEST_EPOCH);  // equal to now: not yet expired
    AddRecord("never", 0xC000020C, kIdB, sizeof kIdB, NEVER_EXPIRES);
    AddRecord("never-low", 0xC000020D, kIdB, sizeof kIdB, 0xFFFFFFFF00000000ull);  // the high half decides
    AddRecord("gone", 0xC000020E, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(100));
    AddRecord("restored", DELETED_ADDRESS, kIdB, sizeof kIdB, NEVER_EXPIRES);
    MarkLeaseDeleted(0xC000020E);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020B, 0xC000020C, 0xC000020D}));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Expire Lease for old -> c000020a",
                                                   "Clear Deleted Lease for gone -> ffffffff",
                                                   "Clear Deleted Lease for restored -> ffffffff"}));
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");
    EXPECT_FALSE(IsAddressLeased(0xC000020A));

    // Setting the clock forward expires all that can expire; the timer holds
    // the (recursive) lock around the sweep.
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    AdvanceTestClock(1);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020C, 0xC000020D}));
}

TEST_F(LeaseExpiryTest, SweepThatRemovesNothingChangesNothing) {
    AddRecord("later", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(60));
    ExpireLeases();
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(Addresses().size(), 1u);
}

TEST_F(LeaseExpiryTest, SweepFindsRecordsChangedThroughTheStore) {
    AddRecord("later", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(60));
    ExpireLeases();
    AddRecord("past", 0xC000020B, kIdB, sizeof kIdB, TEST_EPOCH - 1);
    ExpireLeases();
    EXPECT_EQ(Addresses().size(), 1u);
    // The offer search shortens the client's own lease to the offer hold.
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = UNLIMITED_LEASE_TIME; });
    AddLease("later", 0xC000020A, sizeof kIdA, kIdA);
    ExpireLeases();
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, "", sizeof kIdA, kIdA), 0xC000020Au);
    AdvanceTestClock(61);
    ExpireLeases();
    EXPECT_TRUE(Addresses().empty());
}

TEST_F(LeaseExpiryTest, ReleaseNeedsBothIdentityAndAddress) {
    AddRecord("pc1", 0xC000020A, kIdA, sizeof kIdA, NEVER_EXPIRES);
    AddRecord("pc1-again", 0xC000020A, kIdA, sizeof kIdA, NEVER_EXPIRES);
    AddRecord("pc2", 0xC000020B, kIdB, sizeof kIdB, NEVER_EXPIRES);
    ReleaseLease(0xC000020B, sizeof kIdA, kIdA);  // another client's address
    ReleaseLease(0xC000020C, sizeof kIdA, kIdA);  // ciaddr differs from the lease
    ReleaseLease(0xC000020A, 5, kIdA);           // a prefix of the identifier
    EXPECT_EQ(Addresses().size(), 3u);
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");

    ReleaseLease(0xC000020A, sizeof kIdA, kIdA);  // only the first match goes
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020A, 0xC000020B}));
    EXPECT_STREQ(SnapshotLeases()[0].hostName, "pc1-again");
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Release Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    EXPECT_EQ(ReadFile(MainLogPath()), "");
}

}  // namespace
