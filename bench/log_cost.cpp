// The log's share of the server's work, without Google Benchmark so that it
// also runs as a Windows program (under Wine): one client served in full
// with the log off and on, and one log entry alone, in microseconds.
//
//   log_cost [CLIENTS]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "serve_client.h"
#include "base/log.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsPer(Clock::time_point start, long count) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / static_cast<double>(count);
}

double ServeClients(long clients, uint32_t first) {
    bench::Populate(0);
    Clock::time_point start = Clock::now();
    for (long i = 0; i < clients; ++i)
        if (!bench::ServeClient(first + static_cast<uint32_t>(i))) {
            std::fprintf(stderr, "a client was not served\n");
            std::exit(1);
        }
    double cost = MicrosecondsPer(start, clients);
    bench::Depopulate();
    return cost;
}

}  // namespace

int main(int argc, char** argv) {
    long clients = argc > 1 ? std::atol(argv[1]) : 2000;
    if (clients < 1) clients = 1;
    ScratchDir scratch;

    ClearLogPaths();
    ServeClients(clients / 10 + 1, 1);  // warm-up
    double off = ServeClients(clients, 100000);

    UseLogDirectory(scratch.path());
    SetMainLogLimit(1u << 30);
    SetAddressLogLimit(1u << 30);
    double on = ServeClients(clients, 200000);
    double entries = static_cast<double>(bench::CountLogLines(MainLogPath()) + bench::CountLogLines(AddressLogPath())) /
                     static_cast<double>(clients);

    long writes = clients * 20;
    Clock::time_point start = Clock::now();
    for (long i = 0; i < writes; ++i) WriteLog(3, "Option %d (%ld) Len = %d - %08lx\n", 54, i, 4, 0xac100001ul);
    double entry = MicrosecondsPer(start, writes);
    ClearLogPaths();

    std::printf("clients %ld\n", clients);
    std::printf("client, log off   %8.1f us\n", off);
    std::printf("client, log on    %8.1f us  (%.1f times, %.1f entries)\n", on, on / off, entries);
    std::printf("one log entry     %8.2f us\n", entry);
    return 0;
}
