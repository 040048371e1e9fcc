// NIMBO.exe's shutdown when the server thread, ended by force, still held
// the lease table's lock: the final save would wait for ever, so the process
// must end on its own with the quit code (0 here). Returning from the
// shutdown, or hanging past the test's time-out, is the failure.
#include <windows.h>

#include <cstdio>
#include <mutex>

#include "config/settings_file.h"
#include "leases/lease_store.h"
#include "base/log.h"
#include "shell/program_win32.h"
#include "test_support.h"

namespace {

HANDLE locked = nullptr;

void HoldTheLeaseTableForEver() {
    LeaseLock.lock();
    SetEvent(locked);
    Sleep(INFINITE);
}

}  // namespace

int main() {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    SetIniPath(dir.file("NIMBO.INI"));
    locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetServerThreadBody(&HoldTheLeaseTableForEver);
    StartProgramServerThread();
    WaitForSingleObject(locked, INFINITE);

    ShutdownProgram(0, 200, 1000);
    std::printf("FAIL: the shutdown returned although the save could not have run\n");
    return 1;
}
