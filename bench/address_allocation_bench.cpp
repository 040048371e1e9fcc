// Cost of choosing an offer (FindSpareAddress, probe answered "no reply" by
// the echo override) and of checking a requested address, with a /16 range
// whose start is taken by leases and 1,000 reservations, so that the walk
// has to skip them all.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "leases/address_allocation.h"
#include "leases/address_ranges.h"
#include "leases/icmp_probe.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/log.h"
#include "test_support.h"

namespace {

constexpr uint32_t SERVER = Ip("172.16.0.1");
constexpr uint32_t RANGE_FIRST = SERVER;      // the range starts at the server's own address
constexpr uint32_t RANGE_LAST = 0xAC10FFFE;   // 172.16.255.254
constexpr uint32_t OUTSIDE = 0x0A1E0000;      // 10.30.0.0: leases of other networks
constexpr int64_t IN_RANGE_LIMIT = 60000;     // a /16 holds no more; the rest go outside
constexpr int RESERVATIONS = 1000;

EchoResult NoReply(uint32_t) { return EchoResult{true, 0, 11010}; }
uint64_t FixedNow() { return TEST_EPOCH; }

std::vector<uint8_t> IdOf(uint32_t n) {
    return {0x00, 0x50, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
            static_cast<uint8_t>(n)};
}

// Fills the stores: `leases` records, the first ones at the start of the
// range, then 1,000 reservations right after them (by hardware address and
// by name, alternately).
uint32_t Populate(int64_t leases) {
    ClearLogPaths();
    SetClockSource(&FixedNow);
    SetEchoOverride(&NoReply);
    ClearLeaseTable();
    ClearReservations();
    ClearRangeTables();
    SetGatewayRanges(LOCAL_GATEWAY, "172.16.0.1-172.16.255.254");
    SetGatewayExceptions(LOCAL_GATEWAY, "172.16.255.1-172.16.255.254");
    const int64_t inRange = leases < IN_RANGE_LIMIT ? leases : IN_RANGE_LIMIT;
    for (int64_t i = 0; i < leases; ++i) {
        Lease lease;
        std::string name = "host" + std::to_string(i);
        lease.setHostName(name.c_str());
        std::vector<uint8_t> id = IdOf(static_cast<uint32_t>(i));
        lease.setClientId(id.data(), id.size());
        lease.address = i < inRange ? RANGE_FIRST + 1 + static_cast<uint32_t>(i)
                                    : OUTSIDE + static_cast<uint32_t>(i - inRange);
        lease.expiry = TEST_EPOCH + 3600 * FILETIME_TICKS_PER_SECOND;
        AppendLease(lease);
    }
    const uint32_t firstReserved = RANGE_FIRST + 1 + static_cast<uint32_t>(inRange);
    for (int i = 0; i < RESERVATIONS; ++i) {
        Reservation r;
        r.kind = (i % 2) ? ByHostName : ByHardwareAddress;
        std::string key = (i % 2) ? "reserved" + std::to_string(i) : FormatClientId(IdOf(0xF0000000u + i).data(), 6);
        r.setKey(key.c_str());
        r.address = firstReserved + static_cast<uint32_t>(i);
        AppendReservation(r);
    }
    return firstReserved + RESERVATIONS;  // the first free address
}

void Cleanup() {
    ClearLeaseTable();
    ClearReservations();
    ClearRangeTables();
    SetEchoOverride(nullptr);
    SetClockSource(nullptr);
}

// A newcomer's offer, taken back untimed after each round so every round
// walks the same occupied start of the range.
void RunFindSpareAddress(benchmark::State& state, uint32_t expected) {
    const std::vector<uint8_t> id = IdOf(0xEEEEEEEE);
    for (auto _ : state) {
        uint32_t address = FindSpareAddress(LOCAL_GATEWAY, Client("newcomer", id), SERVER);
        if (address != expected) state.SkipWithError("unexpected address");
        state.PauseTiming();
        ReleaseLease(address, Client("", id));
        state.ResumeTiming();
    }
}

void BM_FindSpareAddress(benchmark::State& state) {
    RunFindSpareAddress(state, Populate(state.range(0)));
    Cleanup();
}

// A request for a free address by a client with no lease and no reservation.
void BM_CheckRequestedAddress_Free(benchmark::State& state) {
    const uint32_t free = Populate(state.range(0));
    const std::vector<uint8_t> id = IdOf(0xEEEEEEEE);
    for (auto _ : state) {
        if (!CheckRequestedAddress(free, LOCAL_GATEWAY, Client("newcomer", id), SERVER))
            state.SkipWithError("refused");
    }
    Cleanup();
}

// A renewal by the client whose lease is the last record of the table.
void BM_CheckRequestedAddress_OwnLease(benchmark::State& state) {
    Populate(state.range(0));
    const uint32_t last = static_cast<uint32_t>(state.range(0) - 1);
    const std::vector<uint8_t> id = IdOf(last);
    const uint32_t address = SnapshotLeases().back().address;
    for (auto _ : state) {
        if (!CheckRequestedAddress(address, LOCAL_GATEWAY, Client("", id), SERVER)) state.SkipWithError("refused");
    }
    Cleanup();
}

// The timer's sweep when nothing has expired.
void BM_ExpireLeases(benchmark::State& state) {
    Populate(state.range(0));
    for (auto _ : state) ExpireLeases();
    Cleanup();
}

// What the main log costs: the same search with the log written to a file
// (about a dozen lines per offer).
void BM_FindSpareAddress_Logged(benchmark::State& state) {
    const uint32_t expected = Populate(state.range(0));
    ScratchDir dir;
    UseLogDirectory(dir.path());
    RunFindSpareAddress(state, expected);
    ClearLogPaths();
    Cleanup();
}

}  // namespace

BENCHMARK(BM_FindSpareAddress)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckRequestedAddress_Free)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckRequestedAddress_OwnLease)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpireLeases)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindSpareAddress_Logged)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
