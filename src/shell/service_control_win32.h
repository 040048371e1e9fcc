// The service "Nimbo" as a start of NIMBO.exe or NimboStop.exe sees it: its
// state and the folder of its server, read with the rights any user has (the
// service control manager's status and the service's parameters key), and
// stopped or started with whatever rights the caller has.
#pragma once

#include <windows.h>

#include <string>

struct NimboServiceFacts {
    bool installed = false;
    DWORD state = 0;          // SERVICE_STOPPED and so on; 0 when not installed
    DWORD processId = 0;      // the wrapper's process while the service runs
    std::string startDir;     // its parameter StartDir: the folder of its NIMBO.exe
    bool active() const { return installed && state != SERVICE_STOPPED; }
};
NimboServiceFacts QueryNimboService();

// How long a start of the programs waits for the service to stop or start:
// longer than the server's own shutdown (up to 5 s for its thread, then the
// save).
constexpr DWORD SERVICE_WAIT_MS = 30000;

// Stops the service and waits up to waitMs until it reports stopped. 0, or
// the error: ERROR_ACCESS_DENIED when this account may not stop it,
// ERROR_TIMEOUT when it did not stop in time.
DWORD StopNimboService(DWORD waitMs);

// Starts the service and waits up to waitMs until it reports running. 0, or
// the error (the service's own exit code when it stopped again at once).
DWORD StartNimboService(DWORD waitMs);

// This process's parent (0 when not known) and session (0 is the services').
DWORD ParentProcessId();
DWORD OwnSessionId();
