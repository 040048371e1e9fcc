// Other DHCP servers answering on the networks this server serves. A client
// that took another server's offer asks it for the address with a
// DHCPREQUEST that carries the other server's identifier (option 54), which
// reaches this server too: broadcast on the local segment, or relayed. The
// message handler notes each such request here; this table decides what is
// told, and keeps the last sighting for the properties window.
//
// What a flood of forged identifiers can cost is bounded: at most
// OTHER_SERVERS_TRACKED servers are remembered per run (a fixed table), each
// gets at most one log line per hour, and all of them together at most
// OTHER_SERVER_LINES_PER_HOUR. Servers beyond the table are never told about
// on their own; their sightings are counted with the lines left out.
//
// One process-wide table with a lock of its own; the server thread notes,
// the main thread reads. The caller passes the time (FILETIME scale), so
// tests step it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/clock.h"

constexpr size_t OTHER_SERVERS_TRACKED = 16;
constexpr uint64_t OTHER_SERVER_LINE_INTERVAL = 3600 * FILETIME_TICKS_PER_SECOND;
constexpr unsigned OTHER_SERVER_LINES_PER_HOUR = 8;

struct OtherServerVerdict {
    bool writeLine = false;   // log this sighting
    bool firstInRun = false;  // first sighting of this server in the run: tell the administrator
    // Sightings held back since the last line written: by the global limit,
    // or of servers beyond the table (not a tracked server's repeats within
    // its hour). Set only with writeLine, for a line of its own before it.
    unsigned long leftOut = 0;
};

// Records a sighting of `server` (host order) at `now`. A clock set back
// counts as an hour gone by, so that a line is never held back for long.
OtherServerVerdict NoteOtherServer(uint32_t server, uint64_t now);

struct OtherServerSighting {
    uint32_t server = 0;  // 0: none seen in this run
    uint64_t seenAt = 0;  // FILETIME
};
OtherServerSighting LastOtherServer();

// Forgets every sighting (a new run; tests).
void ForgetOtherServers();

// The "new other server" event: called once per tracked server and run, on
// the thread that noted it, after its log line. Each program installs what
// it means (the Windows program a balloon on its tray icon, the Linux host
// a line on standard error). The handler never blocks.
using OtherServerCallback = void (*)(uint32_t server);
void SetOtherServerCallback(OtherServerCallback callback);  // nullptr removes it
void PostNewOtherServer(uint32_t server);
