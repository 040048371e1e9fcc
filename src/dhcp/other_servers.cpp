#include "dhcp/other_servers.h"

#include <atomic>
#include <mutex>

namespace {

struct TrackedServer {
    uint32_t server = 0;
    bool logged = false;  // a line was written at lastLine
    uint64_t lastLine = 0;
};

struct OtherServers {
    TrackedServer tracked[OTHER_SERVERS_TRACKED];
    size_t count = 0;
    // The global limit: lines written in the hour that began at windowStart.
    uint64_t windowStart = 0;
    unsigned linesInWindow = 0;
    unsigned long leftOut = 0;
    OtherServerSighting last;
};

std::mutex TableLock;
OtherServers Table;
std::atomic<OtherServerCallback> Callback{nullptr};

// At least an hour from `then` to `now`; a clock set back counts as one.
bool HourPassed(uint64_t then, uint64_t now) { return now < then || now - then >= OTHER_SERVER_LINE_INTERVAL; }

TrackedServer* Find(uint32_t server) {
    for (size_t i = 0; i < Table.count; ++i)
        if (Table.tracked[i].server == server) return &Table.tracked[i];
    return nullptr;
}

// Takes one line of the global allowance, when one is left.
bool TakeLine(uint64_t now) {
    if (Table.linesInWindow == 0 || HourPassed(Table.windowStart, now)) {
        Table.windowStart = now;
        Table.linesInWindow = 0;
    }
    if (Table.linesInWindow >= OTHER_SERVER_LINES_PER_HOUR) return false;
    ++Table.linesInWindow;
    return true;
}

}  // namespace

OtherServerVerdict NoteOtherServer(uint32_t server, uint64_t now) {
    std::lock_guard<std::mutex> guard(TableLock);
    Table.last = OtherServerSighting{server, now};
    OtherServerVerdict verdict;
    TrackedServer* entry = Find(server);
    if (!entry && Table.count < OTHER_SERVERS_TRACKED) {
        entry = &Table.tracked[Table.count++];
        entry->server = server;
        verdict.firstInRun = true;
    }
    // A tracked server's repeats within its hour are expected and not
    // counted; what the limits hold back, and servers beyond the table, are.
    if (entry && entry->logged && !HourPassed(entry->lastLine, now)) return verdict;
    if (!entry || !TakeLine(now)) {
        ++Table.leftOut;
        return verdict;
    }
    entry->logged = true;
    entry->lastLine = now;
    verdict.writeLine = true;
    verdict.leftOut = Table.leftOut;
    Table.leftOut = 0;
    return verdict;
}

OtherServerSighting LastOtherServer() {
    std::lock_guard<std::mutex> guard(TableLock);
    return Table.last;
}

void ForgetOtherServers() {
    std::lock_guard<std::mutex> guard(TableLock);
    Table = OtherServers();
}

void SetOtherServerCallback(OtherServerCallback callback) { Callback.store(callback, std::memory_order_release); }

void PostNewOtherServer(uint32_t server) {
    if (OtherServerCallback fn = Callback.load(std::memory_order_acquire)) fn(server);
}
