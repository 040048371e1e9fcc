// The lease save under steady churn, as the housekeeping timer of nimbo runs
// it: a tick every 500 ms after the end of the last one, and a thread that
// changes a lease every 10 ms. For 10,000 and 100,000 leases, once saving on
// every tick that finds a change (the cadence before slow saves were spaced
// out) and once with the spacing of RunTimerTick. Real time, real files.
//
//   save_cadence_bench [SECONDS_PER_RUN] [DIRECTORY]
//
// Figures per run: saves made, mean and longest save, the main thread's CPU
// time and its busy time (in ticks) as shares of the run, and the longest
// time a change waited for the disk (from the start of the save before it
// to the end of the save that wrote it).
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "config/settings_file.h"
#include "leases/lease_store.h"
#include "base/clock.h"
#include "base/log.h"
#include "shell/housekeeping.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t NOW = (20794ULL * 86400ULL + 11644473600ULL) * FILETIME_TICKS_PER_SECOND;

uint64_t FixedClock() { return NOW; }

double ThreadCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Milliseconds(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

void ClientId(int i, uint8_t id[7]) {
    const uint8_t bytes[7] = {1, 0, 0xa0, 0xc9, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8),
                              static_cast<uint8_t>(i)};
    std::copy(bytes, bytes + 7, id);
}

void Populate(const std::string& directory, int leases) {
    SetIniPath(directory + "/NIMBO.INI");
    std::filesystem::remove(directory + "/NIMBO.INI");
    ClearLeaseTable();
    for (int i = 0; i < leases; ++i) {
        Lease lease;
        lease.setHostName(("workstation-" + std::to_string(i)).c_str());
        uint8_t id[7];
        ClientId(i, id);
        lease.setClientId(id, sizeof id);
        lease.address = 0x0A000000u + static_cast<uint32_t>(i);
        lease.expiry = NOW + static_cast<uint64_t>(i + 1) * 36000000000ULL;
        AppendLease(lease);
    }
    saveSettings();
}

struct Figures {
    int saves = 0;
    double totalSaveMs = 0, longestSaveMs = 0, cpuShare = 0, busyShare = 0, longestWaitMs = 0;
};

Figures Run(const std::string& directory, int leases, double seconds, bool spaced) {
    Populate(directory, leases);
    Housekeeping = HousekeepingState{};

    std::atomic<bool> stop{false};
    std::thread churn([&] {
        std::mt19937 random(7);
        while (!stop.load()) {
            const int i = static_cast<int>(random() % static_cast<unsigned>(leases));
            uint8_t id[7];
            ClientId(i, id);
            const std::string name = "workstation-" + std::to_string(i);
            AddLease(ClientIdentity{name.c_str(), id, sizeof id}, 0x0A000000u + static_cast<uint32_t>(i), 259200);
            MarkLeasesDirty();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    Figures figures;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const double cpuStart = ThreadCpuSeconds();
    Clock::duration busy{};
    Clock::time_point previousSaveStart = start;
    Clock::time_point nextTick = start + std::chrono::milliseconds(MAIN_TIMER_PERIOD_MS);
    while (nextTick < end) {
        std::this_thread::sleep_until(nextTick);
        if (!spaced) Housekeeping.lastSaveMs = 0;  // every tick may save, as before
        const uint32_t endBefore = Housekeeping.lastSaveEndTick;
        const Clock::time_point tickStart = Clock::now();
        RunTimerTick(Housekeeping, TickDesktop{});
        const Clock::time_point tickEnd = Clock::now();
        busy += tickEnd - tickStart;
        if (Housekeeping.lastSaveEndTick != endBefore) {
            ++figures.saves;
            figures.totalSaveMs += Housekeeping.lastSaveMs;
            figures.longestSaveMs = std::max(figures.longestSaveMs, static_cast<double>(Housekeeping.lastSaveMs));
            figures.longestWaitMs = std::max(figures.longestWaitMs, Milliseconds(tickEnd - previousSaveStart));
            previousSaveStart = tickStart;
        }
        nextTick = Clock::now() + std::chrono::milliseconds(MAIN_TIMER_PERIOD_MS);
    }
    const double elapsedMs = Milliseconds(Clock::now() - start);
    figures.cpuShare = (ThreadCpuSeconds() - cpuStart) * 1000.0 / elapsedMs;
    figures.busyShare = Milliseconds(busy) / elapsedMs;
    stop = true;
    churn.join();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 15.0;
    std::string directory = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "nimbo-save-cadence").string();
    std::filesystem::create_directories(directory);
    ClearLogPaths();  // the INI alone
    SetClockSource(&FixedClock);

    std::printf("%d ms ticks, a lease changed every 10 ms, %.0f s per run, files in %s\n", MAIN_TIMER_PERIOD_MS,
                seconds, directory.c_str());
    std::printf("%8s %-12s %6s %10s %10s %8s %8s %12s\n", "leases", "cadence", "saves", "mean save", "longest",
                "cpu", "busy", "longest wait");
    for (int leases : {10000, 100000}) {
        for (bool spaced : {false, true}) {
            Figures f = Run(directory, leases, seconds, spaced);
            std::printf("%8d %-12s %6d %8.1f ms %7.0f ms %7.1f%% %7.1f%% %9.0f ms\n", leases,
                        spaced ? "spaced" : "every tick", f.saves, f.saves ? f.totalSaveMs / f.saves : 0.0,
                        f.longestSaveMs, f.cpuShare * 100, f.busyShare * 100, f.longestWaitMs);
            std::fflush(stdout);
        }
    }
    ClearLeaseTable();
    std::filesystem::remove_all(directory);
    return 0;
}
