#include "leases/lease_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "config/server_settings.h"
#include "leases/address_allocation.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "shell/clock.h"
#include "shell/leases_changed.h"
#include "shell/log.h"
#include "test_support.h"

namespace {

constexpr uint32_t SERVER = 0xC0000201;  // 192.0.2.1
const uint8_t kIdA[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};
const uint8_t kIdB[] = {0x00, 0x0C, 0x29, 0x11, 0x22, 0x33};

std::atomic<int> posted{0};
void CountPost() { ++posted; }
EchoResult Silent(uint32_t) { return EchoResult{true, 0, 0}; }

uint64_t Seconds(int64_t n) { return static_cast<uint64_t>(n) * FILETIME_TICKS_PER_SECOND; }

class LeaseStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        SetTestClock(TEST_EPOCH);
        ClearLeaseTable();
        ResetSettings();
        UpdateSettings([](ServerSettings& s) {
            s.serverAddress = SERVER;
            s.LeaseTime = 3600;
        });
        SetEchoOverride(&Silent);
        posted = 0;
        SetLeasesChangedCallback(&CountPost);
    }
    void TearDown() override {
        SetLeasesChangedCallback(nullptr);
        SetEchoOverride(nullptr);
        ClearLeaseTable();
        ResetSettings();
        UseSystemClock();
        ClearLogPaths();
    }
    std::vector<std::string> MainLog() { return LogTexts(MainLogPath()); }
    std::vector<std::string> AddressLog() { return LogTexts(AddressLogPath()); }

    static Lease Record(const char* name, uint32_t address, const uint8_t* id, size_t length, uint64_t expiry) {
        Lease lease;
        lease.setHostName(name);
        lease.setClientId(id, length);
        lease.address = address;
        lease.expiry = expiry;
        return lease;
    }
    ScratchDir dir;
};

TEST(FormatClientIdTest, LowerCaseHexPairsJoinedByDash) {
    EXPECT_EQ(FormatClientId(kIdA, sizeof kIdA), "00-0c-29-ab-cd-ef");
    const uint8_t one[] = {0xFF};
    EXPECT_EQ(FormatClientId(one, 1), "ff");
    EXPECT_EQ(FormatClientId(kIdA, 0), "");
    EXPECT_EQ(FormatClientId(nullptr, 0), "");
}

TEST(LeaseValueTest, CopiesAreDeepAndHostNamesKeep31Characters) {
    Lease a;
    a.setHostName("a-host-name-that-is-forty-characters-xx");
    EXPECT_EQ(std::string(a.hostName), "a-host-name-that-is-forty-chara");
    a.setClientId(kIdA, sizeof kIdA);
    Lease b = a;
    b.clientId[0] = 0x77;
    EXPECT_EQ(a.clientId[0], 0x00);
    Lease none;
    EXPECT_FALSE(none.clientIdPresent);
    none.setClientId(nullptr, 0);
    EXPECT_TRUE(none.clientIdPresent);
    EXPECT_EQ(none.clientIdLength(), 0u);
}

TEST_F(LeaseStoreTest, OfferThenRequestRenewsTheTemporaryRecordInPlaceAndMarksTheTableChanged) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    ASSERT_EQ(FindSpareAddress(LOCAL_GATEWAY, "pc1", sizeof kIdA, kIdA), 0xC000020Au);
    LeasesDirty = false;
    posted = 0;
    AdvanceTestClock(5);

    const uint64_t expiry = AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA);
    EXPECT_EQ(expiry, TEST_EPOCH + Seconds(5 + 3600));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].expiry, expiry);
    EXPECT_TRUE(LeasesDirty);  // a crash must not leave the 60-second hold in the file
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(MainLog().back(), "Renew Lease for pc1 -> c000020a");
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Add Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.10"});
    ClearRangeTables();
}

TEST_F(LeaseStoreTest, RenewKeepsTheRecordsOwnNameAndIdentifier) {
    AppendLease(Record("first", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH));
    AddLease("second", 0xC000020A, sizeof kIdB, kIdB);
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_STREQ(leases[0].hostName, "first");
    EXPECT_EQ(FormatClientId(leases[0].clientId.data(), leases[0].clientIdLength()), "00-0c-29-ab-cd-ef");
    EXPECT_EQ(AddressLog().back(), "Add Lease for second (00-0c-29-ab-cd-ef) of 192.0.2.10");
}

TEST_F(LeaseStoreTest, CreatePathReplacesTheClientsOlderRecordAndAppendsAtTheEnd) {
    AppendLease(Record("pc1", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH + Seconds(100)));
    AppendLease(Record("pc2", 0xC000020B, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(100)));

    const uint64_t expiry = AddLease("pc1", 0xC000020C, sizeof kIdA, kIdA);
    EXPECT_EQ(expiry, TEST_EPOCH + Seconds(3600));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 2u);
    EXPECT_EQ(leases[0].address, 0xC000020Bu);
    EXPECT_EQ(leases[1].address, 0xC000020Cu);
    EXPECT_STREQ(leases[1].hostName, "pc1");
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(MainLog().back(), "Created Permanent Lease for pc1 -> c000020c");
    EXPECT_EQ(AddressLog(), std::vector<std::string>{"Create Lease for pc1 (00-0c-29-ab-cd-ef) of 192.0.2.12"});
    EXPECT_FALSE(IsAddressLeased(0xC000020A));
    EXPECT_TRUE(IsAddressLeased(0xC000020C));
}

TEST_F(LeaseStoreTest, LeaseTimeLimits) {
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = UNLIMITED_LEASE_TIME; });
    EXPECT_EQ(AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA), NEVER_EXPIRES);
    EXPECT_EQ(SnapshotLeases()[0].expiryHigh(), 0xFFFFFFFFu);
    EXPECT_EQ(SnapshotLeases()[0].expiryLow(), 0xFFFFFFFFu);
    EXPECT_EQ(AddLease("pc1", 0xC000020A, sizeof kIdA, kIdA), NEVER_EXPIRES);  // renewal too

    // Above 2^31 - 1 seconds the lease still ends in the future, not the past.
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = 0x80000000u; });
    EXPECT_EQ(AddLease("pc2", 0xC000020B, sizeof kIdB, kIdB), TEST_EPOCH + Seconds(0x80000000LL));
}

TEST_F(LeaseStoreTest, EmptyIdentifierAndLongHostName) {
    AddLease("a-host-name-that-is-forty-characters-xx", 0xC000020A, 0, nullptr);
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_STREQ(leases[0].hostName, "a-host-name-that-is-forty-chara");
    EXPECT_TRUE(leases[0].clientIdPresent);
    EXPECT_EQ(AddressLog().back(), "Create Lease for a-host-name-that-is-forty-characters-xx () of 192.0.2.10");
}

TEST_F(LeaseStoreTest, CheckActiveLeasesFiltersByAddressAndIdentifier) {
    AppendLease(Record("x", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH));
    AppendLease(Record("y", 0xC000020B, kIdA, sizeof kIdA, TEST_EPOCH));
    AppendLease(Record("z", 0xC000020C, kIdA, sizeof kIdA, TEST_EPOCH));
    EXPECT_EQ(CheckActiveLeases(0, "pc1", kIdA, sizeof kIdA), 0xC000020Bu);
    EXPECT_EQ(CheckActiveLeases(0xC000020C, "pc1", kIdA, sizeof kIdA), 0xC000020Cu);
    EXPECT_EQ(CheckActiveLeases(0xC000020A, "pc1", kIdA, sizeof kIdA), 0u);
    EXPECT_EQ(CheckActiveLeases(0xC000020D, "pc1", kIdA, sizeof kIdA), 0u);
    EXPECT_EQ(CheckActiveLeases(0, "pc1", kIdA, 5), 0u);  // a prefix is not the identifier
    EXPECT_EQ(MainLog(), (std::vector<std::string>{
                             "CheckActiveLeases 00000000, pc1 (00-0c-29-ab-cd-ef)",
                             "Found Matching Active Lease: pc1 -> c000020b",
                             "CheckActiveLeases c000020c, pc1 (00-0c-29-ab-cd-ef)",
                             "Found Matching Active Lease: pc1 -> c000020c",
                             "CheckActiveLeases c000020a, pc1 (00-0c-29-ab-cd-ef)",
                             "CheckActiveLeases c000020d, pc1 (00-0c-29-ab-cd-ef)",
                             "CheckActiveLeases 00000000, pc1 (00-0c-29-ab-cd)",
                         }));
}

TEST_F(LeaseStoreTest, MarkLeaseDeletedMarksOnlyTheFirstRecordAndHidesItFromLookups) {
    AppendLease(Record("x", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH));
    AppendLease(Record("y", 0xC000020A, kIdB, sizeof kIdB, TEST_EPOCH));
    MarkLeaseDeleted(0xC000020E);  // nobody holds it: nothing changes
    EXPECT_EQ(SnapshotLeases()[0].address, 0xC000020Au);
    MarkLeaseDeleted(0xC000020A);
    auto leases = SnapshotLeases();
    EXPECT_EQ(leases[0].address, DELETED_ADDRESS);
    EXPECT_EQ(leases[1].address, 0xC000020Au);
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    // The marked record waits for the sweep; it is never offered as ffffffff.
    EXPECT_EQ(CheckActiveLeases(0, "x", kIdA, sizeof kIdA), 0u);
    EXPECT_EQ(FindLeaseByClientId(kIdA, sizeof kIdA), nullptr);
    EXPECT_TRUE(IsAddressLeased(0xC000020A));
}

TEST_F(LeaseStoreTest, FindLeaseByClientIdNeedsAnIdentifierBuffer) {
    Lease bare;  // no identifier buffer at all
    bare.address = 0xC000020A;
    AppendLease(bare);
    EXPECT_EQ(FindLeaseByClientId(nullptr, 0), nullptr);
    AppendLease(Record("e", 0xC000020B, nullptr, 0, TEST_EPOCH));
    Lease* found = FindLeaseByClientId(nullptr, 0);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->address, 0xC000020Bu);
}

TEST_F(LeaseStoreTest, IndexFollowsRecordsAddedBehindTheStoresBack) {
    AppendLease(Record("x", 0xC000020A, kIdA, sizeof kIdA, TEST_EPOCH));
    EXPECT_TRUE(IsAddressLeased(0xC000020A));
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        LeaseTable.push_back(Record("y", 0xC000020B, kIdB, sizeof kIdB, TEST_EPOCH));
    }
    EXPECT_TRUE(IsAddressLeased(0xC000020B));
    ClearLeaseTable();
    EXPECT_FALSE(IsAddressLeased(0xC000020A));
    EXPECT_FALSE(LeasesDirty);
}

}  // namespace
