#include "leases/lease_expiry.h"

#include "lease_test_fixture.h"
#include "leases/address_allocation.h"

namespace {

using LeaseExpiryTest = LeaseDatabaseTest;

TEST_F(LeaseExpiryTest, SweepRemovesExpiredAndDeletedRecordsOnly) {
    AddRecord("old", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH - 1);
    AddRecord("now", Ip("192.0.2.11"), kIdA, sizeof kIdA, TEST_EPOCH);  // equal to now: not yet expired
    AddRecord("never", Ip("192.0.2.12"), kIdB, sizeof kIdB, NEVER_EXPIRES);
    AddRecord("never-low", Ip("192.0.2.13"), kIdB, sizeof kIdB, 0xFFFFFFFF00000000ull);  // the high half decides
    AddRecord("gone", Ip("192.0.2.14"), kIdB, sizeof kIdB, TEST_EPOCH + Seconds(100));
    AddRecord("restored", DELETED_ADDRESS, kIdB, sizeof kIdB, NEVER_EXPIRES);
    MarkLeaseDeleted(Ip("192.0.2.14"));
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.11"), Ip("192.0.2.12"), Ip("192.0.2.13")}));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Expire Lease for old -> c000020a",
                                                   "Clear Deleted Lease for gone -> ffffffff",
                                                   "Clear Deleted Lease for restored -> ffffffff"}));
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");
    EXPECT_FALSE(IsAddressLeased(Ip("192.0.2.10")));

    // Setting the clock forward expires all that can expire; the timer holds
    // the (recursive) lock around the sweep.
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    AdvanceTestClock(1);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.12"), Ip("192.0.2.13")}));
}

TEST_F(LeaseExpiryTest, SweepThatRemovesNothingChangesNothing) {
    AddRecord("later", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(60));
    ExpireLeases();
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(Addresses().size(), 1u);
}

TEST_F(LeaseExpiryTest, SweepFindsRecordsChangedThroughTheStore) {
    AddRecord("later", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(60));
    ExpireLeases();
    AddRecord("past", Ip("192.0.2.11"), kIdB, sizeof kIdB, TEST_EPOCH - 1);
    ExpireLeases();
    EXPECT_EQ(Addresses().size(), 1u);
    // The offer search shortens the client's own lease to the offer hold.
    AddLease(Client("later", kIdA), Ip("192.0.2.10"), UNLIMITED_LEASE_TIME);
    ExpireLeases();
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("", kIdA), SERVER), Ip("192.0.2.10"));
    AdvanceTestClock(61);
    ExpireLeases();
    EXPECT_TRUE(Addresses().empty());
}

TEST_F(LeaseExpiryTest, ReleaseNeedsBothIdentityAndAddress) {
    AddRecord("pc1", Ip("192.0.2.10"), kIdA, sizeof kIdA, NEVER_EXPIRES);
    AddRecord("pc1-again", Ip("192.0.2.10"), kIdA, sizeof kIdA, NEVER_EXPIRES);
    AddRecord("pc2", Ip("192.0.2.11"), kIdB, sizeof kIdB, NEVER_EXPIRES);
    ReleaseLease(Ip("192.0.2.11"), Client("", kIdA));  // another client's address
    ReleaseLease(Ip("192.0.2.12"), Client("", kIdA));  // ciaddr differs from the lease
    ReleaseLease(Ip("192.0.2.10"), Client("", kIdA, 5));           // a prefix of the identifier
    EXPECT_EQ(Addresses().size(), 3u);
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");

    ReleaseLease(Ip("192.0.2.10"), Client("", kIdA));  // only the first match goes
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.11")}));
    EXPECT_STREQ(SnapshotLeases()[0].hostName, "pc1-again");
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Release Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    EXPECT_EQ(ReadFile(MainLogPath()), "");
}

}  // namespace
