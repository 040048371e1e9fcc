// Every store operation from several threads at once, as the server thread
// and the main thread (timer sweep, properties window) use them. Run under
// ThreadSanitizer (native-tsan) and AddressSanitizer (native).
#include <map>
#include <thread>

#include "lease_test_fixture.h"
#include "leases/address_allocation.h"
#include "leases/lease_expiry.h"

namespace {

constexpr uint32_t BASE = Ip("198.51.100.0");
constexpr int ROUNDS = 400;

std::vector<uint8_t> ClientId(int thread, int n) {
    return {0x02, static_cast<uint8_t>(thread), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

class LeaseConcurrencyTest : public LeaseDatabaseTest {
protected:
    void SetUp() override {
        LeaseDatabaseTest::SetUp();
        for (uint32_t a = BASE; a < BASE + 512; a += 7) answering.insert(a);
        SetGatewayRanges(LOCAL_GATEWAY, "198.51.100.2-198.51.100.254,198.51.101.1-198.51.101.254");
        SetGatewayRanges(Ip("10.0.0.1"), "10.0.0.10-10.0.0.200");
    }
    // The address index agrees with the lists.
    static void ExpectIndexMatchesLists() {
        std::map<uint32_t, bool> leased, reserved;
        for (const Lease& lease : SnapshotLeases()) leased[lease.address] = true;
        for (const Reservation& r : SnapshotReservations()) reserved[r.address] = true;
        for (const auto& entry : leased) EXPECT_TRUE(IsAddressLeased(entry.first)) << std::hex << entry.first;
        for (uint32_t a = BASE; a < BASE + 512; ++a) {
            EXPECT_EQ(IsAddressLeased(a), leased.count(a) != 0) << std::hex << a;
            EXPECT_EQ(IsAddressReserved(a), reserved.count(a) != 0) << std::hex << a;
        }
    }
};

TEST_F(LeaseConcurrencyTest, EveryOperationFromSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    // Two "server threads": discover, request, acknowledge, sometimes release.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < ROUNDS; ++n) {
                std::vector<uint8_t> id = ClientId(t, n % 50);
                std::string name = "pc" + std::to_string(t) + "-" + std::to_string(n % 50);
                const char* host = (n % 3 == 0) ? "" : name.c_str();
                uint32_t gateway = (n % 11 == 0) ? Ip("10.0.0.1") : LOCAL_GATEWAY;
                // The lease time comes with each request, as the settings change.
                const uint32_t leaseTime = (n % 100 == 0) ? UNLIMITED_LEASE_TIME : 600;
                uint32_t offered = SuggestAddress(0, gateway, Client(host, id), SERVER);
                if (offered && CheckRequestedAddress(offered, gateway, Client(host, id), SERVER))
                    AddLease(Client(host, id), offered, leaseTime);
                uint32_t wanted = BASE + 2 + static_cast<uint32_t>((n * 37) % 250);
                if (CheckRequestedAddress(wanted, LOCAL_GATEWAY, Client(host, id), SERVER))
                    AddLease(Client(host, id), wanted, leaseTime);
                if (n % 5 == 0) {
                    ExpireLeases();
                    ReleaseLease(offered, Client("", id));
                }
            }
        });
    }
    // The main window: timer sweeps under LeaseLock and saves, the Active Leases page.
    threads.emplace_back([] {
        for (int n = 0; n < ROUNDS; ++n) {
            {
                std::lock_guard<std::recursive_mutex> guard(LeaseLock);
                ExpireLeases();
                LeasesDirty = false;
            }
            if (n % 10 == 0) AdvanceTestClock(7);
            std::vector<Lease> view = SnapshotLeases();
            if (!view.empty()) MarkLeaseDeleted(view[static_cast<size_t>(n) % view.size()].address);
        }
    });
    // The properties window: reservations and ranges.
    threads.emplace_back([] {
        for (int n = 0; n < ROUNDS; ++n) {
            std::string key = "res" + std::to_string(n % 20);
            const uint32_t address = BASE + 100 + static_cast<uint32_t>(n % 40);
            if (!FindReservationByKey(key.c_str()))
                Reserve(n % 2, key.c_str(), address);
            else if (n % 3 == 0)
                RemoveReservation(key.c_str());
            else
                ChangeReservation(key.c_str(), n % 2, address + 1);
            if (n % 25 == 0) {
                SetGatewayRanges(LOCAL_GATEWAY, (n % 50) ? "198.51.101.1-198.51.101.254,198.51.100.2-198.51.100.254"
                                                         : "198.51.100.2-198.51.100.254,198.51.101.1-198.51.101.254");
                SetGatewayExceptions(LOCAL_GATEWAY, "");
                AddAddressExceptions(LOCAL_GATEWAY, "198.51.100.1 198.51.100.50;198.51.100.51");
            }
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_GT(posted.load(), 0);
    ExpectIndexMatchesLists();
}

TEST_F(LeaseConcurrencyTest, ConcurrentOffersNeverShareAnAddress) {
    std::vector<std::thread> threads;
    std::mutex results_lock;
    std::map<uint32_t, int> offered;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < 120; ++n) {
                std::vector<uint8_t> id = ClientId(t, n);
                uint32_t address = FindSpareAddress(LOCAL_GATEWAY, Client("", id), SERVER);
                std::lock_guard<std::mutex> guard(results_lock);
                if (address) ++offered[address];
            }
        });
    }
    threads.emplace_back([] {
        for (int n = 0; n < 200; ++n) {
            std::lock_guard<std::recursive_mutex> guard(LeaseLock);
            ExpireLeases();
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_GT(offered.size(), 300u);
    for (const auto& entry : offered) EXPECT_EQ(entry.second, 1) << std::hex << entry.first;
    std::map<uint32_t, int> holders;
    for (const Lease& lease : SnapshotLeases()) ++holders[lease.address];
    for (const auto& entry : holders) EXPECT_EQ(entry.second, 1) << std::hex << entry.first;
    ExpectIndexMatchesLists();
}

}  // namespace
