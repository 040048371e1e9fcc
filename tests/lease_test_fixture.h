// The fixture of the lease database tests: logs in a scratch folder, a fixed
// clock, empty stores, a server at 192.0.2.1 with one-hour leases (passed
// to the calls that take them), a fake
// probe (the addresses in `answering` reply) and a count of the
// leases-changed notifications.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "leases/leases_changed.h"
#include "base/log.h"
#include "scratch_server.h"
#include "test_support.h"

inline constexpr uint32_t SERVER = Ip("192.0.2.1");
inline constexpr uint32_t LEASE_TIME = 3600;  // the lease time of the settings below
inline const uint8_t kIdA[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};
inline const uint8_t kIdB[] = {0x00, 0x0C, 0x29, 0x11, 0x22, 0x33};

inline uint64_t Seconds(int64_t n) { return static_cast<uint64_t>(n) * FILETIME_TICKS_PER_SECOND; }

class LeaseDatabaseTest : public ::testing::Test {
public:
    static inline std::mutex probe_lock;
    static inline std::set<uint32_t> answering;
    static inline std::vector<uint32_t> probed;
    static inline std::atomic<int> posted{0};

    static EchoResult FakeEcho(uint32_t address) {
        std::lock_guard<std::mutex> guard(probe_lock);
        probed.push_back(address);
        const bool answers = answering.count(address) != 0;
        return EchoResult{true, answers ? 1u : 0u, answers ? 0ul : 11010ul};
    }
    static void CountPost() { ++posted; }

protected:
    void SetUp() override {
        ResetServerState();
        UseLogDirectory(dir.path());
        SetTestClock(TEST_EPOCH);
        answering.clear();
        probed.clear();
        SetEchoOverride(&FakeEcho);
        posted = 0;
        SetLeasesChangedCallback(&CountPost);
    }
    void TearDown() override {
        ResetServerState();
        ClearLogPaths();
    }
    static void AddRecord(const char* name, uint32_t address, const uint8_t* id, size_t length, uint64_t expiry) {
        Lease lease;
        lease.setHostName(name);
        lease.setClientId(id, length);
        lease.address = address;
        lease.expiry = expiry;
        AppendLease(lease);
    }
    static void Reserve(uint32_t kind, const char* key, uint32_t address) {
        Reservation r;
        r.kind = kind;
        r.setKey(key);
        r.address = address;
        AppendReservation(r);
    }
    static std::vector<uint32_t> Addresses() {
        std::vector<uint32_t> out;
        for (const Lease& lease : SnapshotLeases()) out.push_back(lease.address);
        return out;
    }
    std::vector<std::string> MainLog() const { return LogTexts(MainLogPath()); }
    std::vector<std::string> AddressLog() const { return LogTexts(AddressLogPath()); }
    ScratchDir dir;
};
