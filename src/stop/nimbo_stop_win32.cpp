// NimboStop.exe: asks a running Nimbo server to shut down, with the command
// message "/SHUTDOWN" to its main window, and waits until the server has
// taken it. Without a server window in this session, while the service
// "Nimbo" runs, it stops the service where this account may (else it leaves
// it be: run it as an administrator) and waits up to 30 s until it has
// stopped. No arguments, no output, exit code always 0 (also when no server
// runs), so scripts can call it unconditionally.
#include <windows.h>

#include "base/dll_search_win32.h"
#include "shell/command_sender_win32.h"
#include "shell/service_control_win32.h"
#include "shell/start_decision.h"

int main() {
    LoadLibrariesFromSystemFolderOnly();
    StartFacts facts;
    HWND server = FindServerWindow();
    facts.windowFound = server != nullptr;
    facts.serviceActive = !facts.windowFound && QueryNimboService().active();
    switch (DecideStart(facts, "/SHUTDOWN").action) {
        case StartAction::SecondStart: SendCommandText(server, "/SHUTDOWN"); break;
        case StartAction::StopService: StopNimboService(SERVICE_WAIT_MS); break;
        default: break;
    }
    return 0;
}
