// NIMBO.exe, the DHCP server program: a hidden window, a tray icon and the
// server thread. See program_win32.h.
#include <windows.h>

#include "base/dll_search_win32.h"
#include "shell/program_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    LoadLibrariesFromSystemFolderOnly();
    int exitCode = RunProgram(instance, commandLine ? commandLine : "");
    // NIMBO.INI is saved. The process ends here without running static
    // destructors: a server thread that was terminated may still hold the
    // lease table's or the log's lock, and destroying those would fail.
    ExitProcess(static_cast<UINT>(exitCode));
}
