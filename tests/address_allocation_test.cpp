#include "leases/address_allocation.h"

#include <thread>

#include "lease_test_fixture.h"
#include "leases/lease_expiry.h"

namespace {

using AllocationTest = LeaseDatabaseTest;
EchoResult NoProbe(uint32_t) { return EchoResult{false, 0, 0}; }

TEST_F(AllocationTest, FirstFitAcrossItemsInWrittenOrderWithExceptions) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.50-192.0.2.52,192.0.2.1-192.0.2.20");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.50-192.0.2.51,192.0.2.3");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.52"));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{
                             "FindSpareAddress, pc1 (GW: 00000000)",
                             "Found Ranges for gateway 00000000",
                             "Found Range - c0000232 - c0000234",
                             // 192.0.2.50: the first exception item holds it
                             "Found Range - c0000232 - c0000233",
                             // 192.0.2.51: the same
                             "Found Range - c0000232 - c0000233",
                             // 192.0.2.52: both items are read
                             "Found Range - c0000232 - c0000233",
                             "Found Range - c0000203 - c0000203",
                             "Ping 340200c0 returned 0 echoes (11010)",
                             "Found Addr c0000234 (pc1)",
                             "Created Temporary Lease for pc1 -> c0000234",
                         }));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + Seconds(60));
    EXPECT_STREQ(leases[0].hostName, "pc1");
    EXPECT_TRUE(LeasesDirty);
    EXPECT_EQ(posted, 1);

    // The first item is used up: the second is walked, skipping the
    // server's own address (192.0.2.1) and the exception 192.0.2.3.
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc2", kIdB), SERVER), Ip("192.0.2.2"));
    const uint8_t idC[] = {3};
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc3", idC), SERVER), Ip("192.0.2.4"));
    EXPECT_EQ(probed, (std::vector<uint32_t>{Ip("192.0.2.52"), Ip("192.0.2.2"), Ip("192.0.2.4")}));
}

TEST_F(AllocationTest, AnsweringAddressGetsAPlaceholderForADayAndTheNextIsOffered) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    answering = {Ip("192.0.2.10"), Ip("192.0.2.11")};
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.12"));
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 3u);
    EXPECT_STREQ(leases[0].hostName, "Unknown (192.0.2.10)");
    EXPECT_EQ(leases[0].clientId, std::vector<uint8_t>{0});
    EXPECT_EQ(leases[0].expiry, TEST_EPOCH + Seconds(86400));
    EXPECT_STREQ(leases[1].hostName, "Unknown (192.0.2.11)");
    EXPECT_EQ(leases[2].address, Ip("192.0.2.12"));
    EXPECT_EQ(posted, 3);
    auto log = MainLog();
    EXPECT_EQ(log[3], "Ping 0a0200c0 returned 1 echoes (0)");
    EXPECT_EQ(log[4], "Address c000020a is in use!");

    // Every remaining candidate answers: placeholders and no offer.
    answering = {Ip("192.0.2.13"), Ip("192.0.2.14"), Ip("192.0.2.15"), Ip("192.0.2.16"),
                 Ip("192.0.2.17"), Ip("192.0.2.18"), Ip("192.0.2.19"), Ip("192.0.2.20")};
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc2", kIdB), SERVER), 0u);
    EXPECT_EQ(SnapshotLeases().size(), 11u);
    // A day later the placeholders lapse and the addresses are probed again;
    // without a probe mechanism they count as free, with no Ping line.
    SetEchoOverride(&NoProbe);
    AdvanceTestClock(86401);
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc2", kIdB), SERVER), Ip("192.0.2.10"));
    EXPECT_EQ(MainLog().back(), "Created Temporary Lease for pc2 -> c000020a");
    EXPECT_EQ(MainLog()[MainLog().size() - 3].find("Ping"), std::string::npos);
}

// A placeholder (identifier 00, name "Unknown (a.b.c.d)") stands for a
// machine that answered the probe; a client whose identifier is the single
// byte 00 is not that machine and must never be given its address.
TEST_F(AllocationTest, PlaceholdersNeverMatchAClientWhoseIdentifierIs00) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    answering = {Ip("192.0.2.10")};
    const uint8_t zero[] = {0};
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc0", zero), SERVER), Ip("192.0.2.11"));
    // As a restart restores it: the same stored values.
    AddRecord("Unknown (192.0.2.12)", Ip("192.0.2.12"), zero, 1, TEST_EPOCH + Seconds(86400));
    ReleaseLease(Ip("192.0.2.11"), Client("", zero));  // the client gives its offer back
    ASSERT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.12")}));

    EXPECT_EQ(CheckActiveLeases(0, Client("pc0", zero)), 0u);
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("pc0", zero), SERVER), Ip("192.0.2.11"));
    EXPECT_FALSE(CheckRequestedAddress(Ip("192.0.2.10"), LOCAL_GATEWAY, Client("pc0", zero), SERVER));
    EXPECT_FALSE(CheckRequestedAddress(Ip("192.0.2.12"), LOCAL_GATEWAY, Client("", zero), SERVER));
    AddLease(Client("pc0", zero), Ip("192.0.2.11"), LEASE_TIME);
    ReleaseLease(Ip("192.0.2.12"), Client("", zero));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.10"), Ip("192.0.2.12"), Ip("192.0.2.11")}));
    // A client record that merely looks similar stays a client's.
    AddRecord("Unknown (192.0.2.99)", Ip("192.0.2.13"), zero, 1, TEST_EPOCH + Seconds(600));
    EXPECT_EQ(CheckActiveLeases(Ip("192.0.2.13"), Client("x", zero)), Ip("192.0.2.13"));

    // The Active Leases page still deletes a placeholder by its identifier.
    EXPECT_TRUE(DeleteLease(Ip("192.0.2.10"), zero, 1));
    ExpireLeases();
    EXPECT_FALSE(IsAddressLeased(Ip("192.0.2.10")));
}

TEST_F(AllocationTest, WalkStopsBelowTheAllOnesAddressAndSkipsZero) {
    SetGatewayRanges(LOCAL_GATEWAY, "255.255.255.253-x");
    answering = {0xFFFFFFFD, 0xFFFFFFFE, 0xFFFFFFFF, 0, 1};
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), 0u);
    EXPECT_EQ(probed, (std::vector<uint32_t>{0xFFFFFFFD, 0xFFFFFFFE}));

    // An empty text and a final "," give only the all-ones item: nothing to offer.
    probed.clear();
    answering.clear();
    SetGatewayRanges(LOCAL_GATEWAY, "");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), 0u);
    SetGatewayRanges(LOCAL_GATEWAY, "0.0.0.0-0.0.0.1,192.0.2.20-192.0.2.10,");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), 1u);
    EXPECT_EQ(probed, std::vector<uint32_t>{1});
}

TEST_F(AllocationTest, ReservedAddressesAreSkippedAndOfferedToTheirOwnersOutsideTheRanges) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    Reserve(ByHostName, "printer", Ip("192.0.2.10"));
    Reserve(ByHardwareAddress, "00-0c-29-11-22-33", Ip("192.0.2.100"));  // 192.0.2.100, outside
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.11"));
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("PRINTER", kIdA, 1), SERVER), Ip("192.0.2.10"));
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("", kIdB), SERVER), Ip("192.0.2.100"));
    EXPECT_EQ(SnapshotLeases().size(), 1u);  // reservations make no temporary lease
    EXPECT_EQ(probed, std::vector<uint32_t>{Ip("192.0.2.11")});
}

TEST_F(AllocationTest, ActiveLeaseIsOfferedUnchangedToAClientWithAHostName) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    AddRecord("pc1", Ip("192.0.2.15"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(1000));
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.15"));
    EXPECT_EQ(SnapshotLeases()[0].expiry, TEST_EPOCH + Seconds(1000));
    EXPECT_TRUE(probed.empty());
    EXPECT_EQ(MainLog().back(), "Found Matching Active Lease: pc1 -> c000020f");
}

TEST_F(AllocationTest, ClientWithoutHostNameGetsItsOwnRecordHeldForAMinute) {
    AddRecord("pc1", Ip("192.0.2.15"), kIdA, sizeof kIdA, NEVER_EXPIRES);
    // The record lies in a range item of the segment; its exceptions aside.
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.15");
    EXPECT_EQ(SuggestAddress(0, LOCAL_GATEWAY, Client("", kIdA), SERVER), Ip("192.0.2.15"));
    EXPECT_EQ(SnapshotLeases()[0].expiry, TEST_EPOCH + Seconds(60));
    EXPECT_FALSE(LeasesDirty);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"CheckReservations  (00-0c-29-ab-cd-ef)",
                                                   "FindSpareAddress,  (GW: 00000000)"}));
    // Without its request, the held record lapses after the minute.
    AdvanceTestClock(61);
    ExpireLeases();
    EXPECT_TRUE(Addresses().empty());
}

// A client that moved to another segment: its lease of the old one no
// longer counts for a DISCOVER or a REQUEST without ciaddr, unless the
// address is reserved for it; a renewal with ciaddr is acknowledged as
// before, so relayed clients renew (by unicast, without a relay) too.
TEST_F(AllocationTest, ClientThatMovedToAnotherSegmentIsServedFromThatSegment) {
    constexpr uint32_t RELAY = Ip("10.1.2.1");
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    SetGatewayRanges(RELAY, "10.1.2.50-10.1.2.60");
    AddRecord("pc1", Ip("192.0.2.15"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(600));
    AddRecord("pc2", Ip("192.0.2.16"), kIdB, sizeof kIdB, TEST_EPOCH + Seconds(600));

    // Offered an address of the relay's segment, the same one each time.
    EXPECT_EQ(SuggestAddress(0, RELAY, Client("pc1", kIdA), SERVER), Ip("10.1.2.50"));
    EXPECT_EQ(SuggestAddress(0, RELAY, Client("pc1", kIdA), SERVER), Ip("10.1.2.50"));
    EXPECT_EQ(SuggestAddress(0, RELAY, Client("", kIdA), SERVER), Ip("10.1.2.50"));
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.15"), Ip("192.0.2.16"), Ip("10.1.2.50")}));
    // The old lease is refused through the relay, still renewed with ciaddr.
    EXPECT_FALSE(CheckRequestedAddress(Ip("192.0.2.15"), RELAY, Client("pc1", kIdA), SERVER));
    EXPECT_TRUE(CheckRequestedAddress(Ip("192.0.2.15"), LOCAL_GATEWAY, Client("pc1", kIdA), SERVER, true));
    // Acknowledged on the new segment, the old record goes.
    ASSERT_TRUE(CheckRequestedAddress(Ip("10.1.2.50"), RELAY, Client("pc1", kIdA), SERVER));
    AddLease(Client("pc1", kIdA), Ip("10.1.2.50"), LEASE_TIME);
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{Ip("192.0.2.16"), Ip("10.1.2.50")}));
    // Its renewals reach the server without the relay (giaddr 0).
    EXPECT_TRUE(CheckRequestedAddress(Ip("10.1.2.50"), LOCAL_GATEWAY, Client("pc1", kIdA), SERVER, true));
    EXPECT_FALSE(CheckRequestedAddress(Ip("10.1.2.50"), LOCAL_GATEWAY, Client("pc1", kIdA), SERVER));

    // A reserved address counts wherever it lies; a gateway without ranges
    // has no segment to count a lease on.
    Reserve(ByHostName, "pc2", Ip("192.0.2.16"));
    EXPECT_EQ(SuggestAddress(0, RELAY, Client("pc2", kIdB), SERVER), Ip("192.0.2.16"));
    EXPECT_TRUE(CheckRequestedAddress(Ip("192.0.2.16"), RELAY, Client("pc2", kIdB), SERVER));
    EXPECT_EQ(SuggestAddress(0, Ip("10.1.3.1"), Client("", kIdA), SERVER), 0u);
}

TEST_F(AllocationTest, RelayedGatewaysWithAndWithoutRanges) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    SetGatewayRanges(Ip("10.1.2.1"), "10.1.2.50-10.1.2.60");
    EXPECT_EQ(FindSpareAddress(Ip("10.1.2.1"), Client("pc1", kIdA), SERVER), Ip("10.1.2.50"));
    EXPECT_EQ(MainLog()[1], "Found Ranges for gateway 0a010201");
    EXPECT_EQ(FindSpareAddress(Ip("10.1.3.1"), Client("pc2", kIdB), SERVER), 0u);
    auto log = MainLog();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"Not found Ranges for gateway 0a010301", "No valid range for gateway 0a010301"}));
    EXPECT_FALSE(CheckRequestedAddress(Ip("10.1.3.10"), Ip("10.1.3.1"), Client("pc2", kIdB), SERVER));
    EXPECT_TRUE(CheckRequestedAddress(Ip("10.1.2.51"), Ip("10.1.2.1"), Client("pc2", kIdB), SERVER));
    EXPECT_FALSE(CheckRequestedAddress(Ip("10.1.2.51"), LOCAL_GATEWAY, Client("pc2", kIdB), SERVER));
}

TEST_F(AllocationTest, RequestedAddressChecks) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.1-192.0.2.20,192.0.2.250-x");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.5");
    AddRecord("pc1", Ip("192.0.2.10"), kIdA, sizeof kIdA, TEST_EPOCH + Seconds(100));
    Reserve(ByHostName, "pc3", Ip("192.0.2.100"));
    const uint8_t idC[] = {3};

    auto check = [](const char* address, const ClientIdentity& client) {
        return CheckRequestedAddress(Ip(address), LOCAL_GATEWAY, client, SERVER);
    };
    EXPECT_TRUE(check("192.0.2.10", Client("", kIdA)));       // own lease
    EXPECT_FALSE(check("192.0.2.10", Client("", kIdB)));      // another's lease
    EXPECT_TRUE(check("192.0.2.100", Client("pc3", idC)));    // reservation outside
    EXPECT_FALSE(check("192.0.2.11", Client("pc3", idC)));    // reserved elsewhere
    Reserve(ByHostName, "pc4", Ip("192.0.2.15"));
    EXPECT_FALSE(check("192.0.2.15", Client("pc2", kIdB)));   // reserved for another
    EXPECT_TRUE(check("192.0.2.15", Client("pc4", kIdB)));
    EXPECT_FALSE(check("192.0.2.1", Client("pc2", kIdB)));    // the server's own
    EXPECT_FALSE(check("192.0.2.5", Client("pc2", kIdB)));    // excepted
    EXPECT_FALSE(check("192.0.2.21", Client("pc2", kIdB)));   // outside
    EXPECT_FALSE(check("0.0.0.0", Client("pc2", kIdB)));
    EXPECT_FALSE(check("255.255.255.255", Client("pc2", kIdB)));  // broadcast
    EXPECT_TRUE(check("192.0.2.20", Client("pc2", kIdB)));    // free, no offer
    EXPECT_TRUE(probed.empty());
    EXPECT_EQ(SnapshotLeases().size(), 1u);
}

TEST_F(AllocationTest, RequestForAFreeAddressLogsTheRangeItemsItReads) {
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.30-192.0.2.40,192.0.2.10-192.0.2.20");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.11,192.0.2.12");
    ASSERT_TRUE(CheckRequestedAddress(Ip("192.0.2.10"), LOCAL_GATEWAY, Client("pc2", kIdB), SERVER));
    EXPECT_EQ(MainLog(), (std::vector<std::string>{
                             "CheckActiveLeases c000020a, pc2 (00-0c-29-11-22-33)",
                             "CheckReservations pc2 (00-0c-29-11-22-33)",
                             "Found Ranges for gateway 00000000",
                             "Found Range - c000021e - c0000228",
                             "Found Range - c000020a - c0000214",
                             "Found Range - c000020b - c000020b",
                             "Found Range - c000020c - c000020c",
                         }));
}

// The probe runs without LeaseLock: another thread can take the lock (the
// main window's timer) and even take the candidate meanwhile.
std::atomic<bool> lock_was_free{false};
EchoResult ProbeWhileAnotherClientTakesTheAddress(uint32_t address) {
    std::thread other([address] {
        std::unique_lock<std::recursive_mutex> attempt(LeaseLock, std::try_to_lock);
        lock_was_free = attempt.owns_lock();
        if (attempt.owns_lock() && address == Ip("192.0.2.10")) AddLease(Client("other", kIdB), address, LEASE_TIME);
    });
    other.join();
    return LeaseDatabaseTest::FakeEcho(address);
}

TEST_F(AllocationTest, ProbeRunsWithoutTheLockAndTheCandidateIsCheckedAgain) {
    SetEchoOverride(&ProbeWhileAnotherClientTakesTheAddress);
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20");
    EXPECT_EQ(FindSpareAddress(LOCAL_GATEWAY, Client("pc1", kIdA), SERVER), Ip("192.0.2.11"));
    EXPECT_TRUE(lock_was_free);
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 2u);
    EXPECT_STREQ(leases[0].hostName, "other");
    EXPECT_STREQ(leases[1].hostName, "pc1");
}

}  // namespace
