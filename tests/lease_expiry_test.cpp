#include "leases/lease_expiry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "leases/lease_store.h"
#include "shell/clock.h"
#include "shell/leases_changed.h"
#include "shell/log.h"
#include "test_support.h"

namespace {

const uint8_t kIdA[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};
const uint8_t kIdB[] = {0x00, 0x0C, 0x29, 0x11, 0x22, 0x33};

std::atomic<int> posted{0};
void CountPost() { ++posted; }

uint64_t Seconds(int64_t n) { return static_cast<uint64_t>(n) * FILETIME_TICKS_PER_SECOND; }

class LeaseExpiryTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        SetTestClock(TEST_EPOCH);
        ClearLeaseTable();
        posted = 0;
        SetLeasesChangedCallback(&CountPost);
    }
    void TearDown() override {
        SetLeasesChangedCallback(nullptr);
        ClearLeaseTable();
        UseSystemClock();
        ClearLogPaths();
    }
    static void Add(const char* name, uint32_t address, const uint8_t* id, size_t length, uint64_t expiry) {
        Lease lease;
        lease.setHostName(name);
        lease.setClientId(id, length);
        lease.address = address;
        lease.expiry = expiry;
        AppendLease(lease);
    }
    static std::vector<uint32_t> Addresses() {
        std::vector<uint32_t> out;
        for (const Lease& lease : SnapshotLeases()) out.push_back(lease.address);
        return out;
    }
    ScratchDir dir;
};

TEST_F(LeaseExpiryTest, SweepRemovesExpiredAndDeletedRecordsOnly) {
    Add("old", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH - 1);
    Add("now", 0xC000020B, kIdA, sizeof kIdA, TEST_EPOCH);  // equal to now: not yet expired
    Add("never", 0xC000020C, kIdB, sizeof kIdB, NEVER_EXPIRES);
    Add("never-low", 0xC000020D, kIdB, sizeof kIdB, 0xFFFFFFFF00000000ull);  // the high half decides
    Add("gone", 0xC000020E, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(100));
    Add("later", 0xC000020F, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(100));
    MarkLeaseDeleted(0xC000020E);

    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020B, 0xC000020C, 0xC000020D, 0xC000020F}));
    EXPECT_EQ(LogTexts(MainLogPath()), (std::vector<std::string>{"Expire Lease for old -> c000020a",
                                                                 "Clear Deleted Lease for gone -> ffffffff"}));
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");  // expiry writes no address-log line
    EXPECT_FALSE(IsAddressLeased(0xC000020A));
    EXPECT_FALSE(IsAddressLeased(DELETED_ADDRESS));

    // Setting the clock forward expires everything that can expire.
    AdvanceTestClock(101);
    ExpireLeases();
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0xC000020C, 0xC000020D}));
}

TEST_F(LeaseExpiryTest, SweepThatRemovesNothingChangesNothing) {
    Add("later", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(60));
    ExpireLeases();
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(Addresses().size(), 1u);
    // The timer holds LeaseLock around the sweep; the lock is recursive.
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    AdvanceTestClock(61);
    ExpireLeases();
    EXPECT_TRUE(Addresses().empty());
}

TEST_F(LeaseExpiryTest, ReleaseNeedsBothIdentityAndAddress) {
    Add("pc1", 0xC000020A, kIdA, sizeof kIdA, NEVER_EXPIRES);
    Add("pc2", 0xC000020B, kIdB, sizeof kIdB, NEVER_EXPIRES);
    ReleaseLease(0xC000020B, sizeof kIdA, kIdA);  // another client's address
    ReleaseLease(0xC000020C, sizeof kIdA, kIdA);  // ciaddr differs from the lease
    ReleaseLease(0xC000020A, 5, kIdA);           // a prefix of the identifier
    EXPECT_EQ(Addresses().size(), 2u);
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(ReadFile(AddressLogPath()), "");

    ReleaseLease(0xC000020A, sizeof kIdA, kIdA);  // never-expiring leases can still be released
    EXPECT_EQ(Addresses(), std::vector<uint32_t>{0xC000020B});
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(LogTexts(AddressLogPath()),
              std::vector<std::string>{"Release Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    EXPECT_EQ(ReadFile(MainLogPath()), "");  // no main-log line for a release
}

TEST_F(LeaseExpiryTest, ReleaseRemovesOnlyTheFirstMatchingRecord) {
    Add("a", 0xC000020A, kIdA, sizeof kIdA, NEVER_EXPIRES);
    Add("b", 0xC000020A, kIdA, sizeof kIdA, NEVER_EXPIRES);
    ReleaseLease(0xC000020A, sizeof kIdA, kIdA);
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_STREQ(leases[0].hostName, "b");
    EXPECT_TRUE(IsAddressLeased(0xC000020A));
}

TEST_F(LeaseExpiryTest, RecordsRestoredAsDeletedAreClearedByTheFirstSweep) {
    Add("restored", DELETED_ADDRESS, kIdA, sizeof kIdA, NEVER_EXPIRES);
    ExpireLeases();
    EXPECT_TRUE(Addresses().empty());
    EXPECT_EQ(LogTexts(MainLogPath()), std::vector<std::string>{"Clear Deleted Lease for restored -> ffffffff"});
}

}  // namespace
