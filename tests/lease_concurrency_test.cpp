// Every store operation from several threads at once, as the server thread
// and the main thread (timer sweep, properties window) use them. Run under
// ThreadSanitizer (native-tsan) and AddressSanitizer (native).
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/server_settings.h"
#include "leases/address_allocation.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "shell/leases_changed.h"
#include "shell/log.h"
#include "test_support.h"

namespace {

constexpr uint32_t BASE = 0xC6336400;  // 198.51.100.0
constexpr int ROUNDS = 400;

// Every seventh address answers the probe.
EchoResult SomeAnswer(uint32_t address) { return EchoResult{true, (address % 7 == 0) ? 1u : 0u, 0}; }

std::atomic<int> posted{0};
void CountPost() { ++posted; }

std::vector<uint8_t> ClientId(int thread, int n) {
    return {0x02, static_cast<uint8_t>(thread), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

class LeaseConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLogDirectory(dir.path());
        SetTestClock(TEST_EPOCH);
        ClearLeaseTable();
        ClearReservations();
        ClearRangeTables();
        ResetSettings();
        UpdateSettings([](ServerSettings& s) {
            s.serverAddress = BASE + 1;
            s.LeaseTime = 3600;
        });
        SetGatewayRanges(LOCAL_GATEWAY, "198.51.100.2-198.51.100.254,198.51.101.1-198.51.101.254");
        SetGatewayRanges(0x0A000001, "10.0.0.10-10.0.0.200");
        SetEchoOverride(&SomeAnswer);
        SetLeasesChangedCallback(&CountPost);
    }
    void TearDown() override {
        SetLeasesChangedCallback(nullptr);
        SetEchoOverride(nullptr);
        ClearLeaseTable();
        ClearReservations();
        ClearRangeTables();
        ResetSettings();
        UseSystemClock();
        ClearLogPaths();
    }

    // The address index agrees with the list.
    static void ExpectIndexMatchesTable() {
        std::map<uint32_t, int> counts;
        for (const Lease& lease : SnapshotLeases()) ++counts[lease.address];
        for (const auto& entry : counts) EXPECT_TRUE(IsAddressLeased(entry.first)) << std::hex << entry.first;
        for (uint32_t a = BASE; a < BASE + 512; ++a) {
            if (!counts.count(a)) {
                EXPECT_FALSE(IsAddressLeased(a)) << std::hex << a;
            }
        }
        std::map<uint32_t, int> reserved;
        for (const Reservation& r : SnapshotReservations()) ++reserved[r.address];
        for (uint32_t a = BASE; a < BASE + 512; ++a) EXPECT_EQ(IsAddressReserved(a), reserved.count(a) != 0);
    }

    ScratchDir dir;
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
                uint32_t gateway = (n % 11 == 0) ? 0x0A000001 : LOCAL_GATEWAY;
                uint32_t offered = SuggestAddress(0, gateway, host, id.size(), id.data());
                if (offered && CheckRequestedAddress(offered, gateway, host, id.size(), id.data()))
                    AddLease(host, offered, id.size(), id.data());
                uint32_t wanted = BASE + 2 + static_cast<uint32_t>((n * 37) % 250);
                if (CheckRequestedAddress(wanted, LOCAL_GATEWAY, host, id.size(), id.data()))
                    AddLease(host, wanted, id.size(), id.data());
                if (n % 5 == 0) {
                    ExpireLeases();
                    ReleaseLease(offered, id.size(), id.data());
                }
                CheckActiveLeases(0, host, id.data(), id.size());
            }
        });
    }
    // The main window: timer sweeps under LeaseLock, the Active Leases page.
    threads.emplace_back([] {
        for (int n = 0; n < ROUNDS; ++n) {
            {
                std::lock_guard<std::recursive_mutex> guard(LeaseLock);
                ExpireLeases();
                if (LeasesDirty) LeasesDirty = false;  // what the save does
            }
            if (n % 10 == 0) AdvanceTestClock(7);
            std::vector<Lease> view = SnapshotLeases();
            if (!view.empty()) MarkLeaseDeleted(view[static_cast<size_t>(n) % view.size()].address);
            if (n % 50 == 0)
                UpdateSettings([n](ServerSettings& s) { s.LeaseTime = (n % 100 == 0) ? UNLIMITED_LEASE_TIME : 600; });
        }
    });
    // The properties window: reservations and ranges.
    threads.emplace_back([] {
        for (int n = 0; n < ROUNDS; ++n) {
            std::string key = "res" + std::to_string(n % 20);
            Reservation r;
            r.kind = (n % 2) ? ByHostName : ByHardwareAddress;
            r.setKey(key.c_str());
            r.address = BASE + 100 + static_cast<uint32_t>(n % 40);
            if (!FindReservationByKey(key.c_str())) AppendReservation(r);
            else if (n % 3 == 0) RemoveReservation(key.c_str());
            else ChangeReservation(key.c_str(), r.kind, r.address + 1);
            FindReservationByAddress(BASE + 120);
            if (n % 25 == 0) {
                SetGatewayRanges(LOCAL_GATEWAY, (n % 50 == 0) ? "198.51.100.2-198.51.100.254,198.51.101.1-198.51.101.254"
                                                              : "198.51.101.1-198.51.101.254,198.51.100.2-198.51.100.254");
                SetGatewayExceptions(LOCAL_GATEWAY, "");
                AddAddressExceptions(LOCAL_GATEWAY, "198.51.100.1 198.51.100.50;198.51.100.51");
                GatewayRanges(LOCAL_GATEWAY);
            }
            SnapshotReservations();
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_GT(posted.load(), 0);
    ExpectIndexMatchesTable();
}

TEST_F(LeaseConcurrencyTest, ConcurrentOffersNeverShareAnAddress) {
    std::vector<std::thread> threads;
    std::mutex results_lock;
    std::vector<uint32_t> offered;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < 120; ++n) {
                std::vector<uint8_t> id = ClientId(t, n);
                uint32_t address = FindSpareAddress(LOCAL_GATEWAY, "", id.size(), id.data());
                std::lock_guard<std::mutex> guard(results_lock);
                offered.push_back(address);
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

    std::map<uint32_t, int> holders;
    for (const Lease& lease : SnapshotLeases()) ++holders[lease.address];
    for (const auto& entry : holders) EXPECT_EQ(entry.second, 1) << std::hex << entry.first;
    std::map<uint32_t, int> times;
    for (uint32_t address : offered) {
        if (address) {
            EXPECT_EQ(++times[address], 1) << std::hex << address;
        }
    }
    ExpectIndexMatchesTable();
}

}  // namespace
