// Saving and loading the lease section with 10,000 leases: each must stay
// well under 100 ms, since the timer saves leases on the main thread.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/log.h"

namespace {

constexpr int LEASES = 10000;
constexpr uint64_t NOW = (20794ULL * 86400ULL + 11644473600ULL) * 10000000ULL;

uint64_t FixedClock() { return NOW; }

std::string Prepare() {
    std::string dir = (std::filesystem::temp_directory_path() / "nimbo-settings-bench").string();
    std::filesystem::create_directories(dir);
    std::string ini = dir + "/NIMBO.INI";
    std::filesystem::remove(ini);
    SetIniPath(ini);
    ClearLogPaths();  // no log files: the figures are for the INI alone
    SetClockSource(&FixedClock);
    ClearLeaseTable();
    for (int i = 0; i < LEASES; ++i) {
        Lease lease;
        lease.setHostName(("workstation-" + std::to_string(i)).c_str());
        uint8_t id[7] = {1, 0, 0xa0, 0xc9, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        lease.setClientId(id, sizeof id);
        lease.address = 0x0A000000u + static_cast<uint32_t>(i);
        lease.expiry = NOW + static_cast<uint64_t>(i + 1) * 36000000000ULL;
        AppendLease(lease);
    }
    return ini;
}

void BM_SaveLeases(benchmark::State& state) {
    Prepare();
    saveSettings();
    for (auto _ : state) {
        MarkLeasesDirty();
        saveLeases();
    }
    state.SetItemsProcessed(state.iterations() * LEASES);
}
BENCHMARK(BM_SaveLeases)->Unit(benchmark::kMillisecond);

void BM_LoadSettings(benchmark::State& state) {
    Prepare();
    saveSettings();
    for (auto _ : state) {
        state.PauseTiming();
        ClearLeaseTable();
        ClearReservations();
        ClearRangeTables();
        state.ResumeTiming();
        loadSettings();
    }
    state.SetItemsProcessed(state.iterations() * LEASES);
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond);

void BM_ParseLeaseSection(benchmark::State& state) {
    std::string ini = Prepare();
    saveSettings();
    std::string text;
    {
        std::FILE* file = std::fopen(ini.c_str(), "rb");
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
    }
    for (auto _ : state) {
        ProfileFile model;
        model.loadText(text);
        benchmark::DoNotOptimize(model.entries("Leases"));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseLeaseSection)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
