// Cost of serving one client in full through the message handling (see
// serve_client.h), with the log off and with the main and address logs
// written to a scratch directory, and the cost of one log entry alone.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "serve_client.h"
#include "base/log.h"

namespace {

void ServeClients(benchmark::State& state, bool logging) {
    ScratchDir scratch;
    if (logging) {
        UseLogDirectory(scratch.path());
        // Large limits: measure the writes, not the rotations.
        SetMainLogLimit(1u << 30);
        SetAddressLogLimit(1u << 30);
    } else {
        ClearLogPaths();
    }
    bench::Populate(state.range(0));
    uint32_t client = 0;
    for (auto _ : state) {
        if (!bench::ServeClient(++client)) {
            state.SkipWithError("a client was not served");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["leases"] = static_cast<double>(state.range(0));
    if (logging && state.iterations() > 0)
        state.counters["entries"] =
            static_cast<double>(bench::CountLogLines(MainLogPath()) + bench::CountLogLines(AddressLogPath())) /
            static_cast<double>(state.iterations());
    bench::Depopulate();
    ClearLogPaths();
}

void BM_ServeClientLogOff(benchmark::State& state) { ServeClients(state, false); }
void BM_ServeClientLogOn(benchmark::State& state) { ServeClients(state, true); }

// One entry of the request trace's usual size.
void BM_LogEntry(benchmark::State& state) {
    ScratchDir scratch;
    UseLogDirectory(scratch.path());
    SetMainLogLimit(1u << 30);
    int n = 0;
    for (auto _ : state) WriteLog(3, "Option %d (%d) Len = %d - %08lx\n", 54, ++n, 4, 0xac100001ul);
    state.SetItemsProcessed(state.iterations());
    ClearLogPaths();
}

BENCHMARK(BM_ServeClientLogOff)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServeClientLogOn)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LogEntry)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
