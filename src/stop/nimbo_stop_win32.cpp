// NimboStop.exe: asks a running Nimbo server to shut down, with the command
// message "/SHUTDOWN" to its main window, and waits until the server has
// taken it. No arguments, no output, exit code always 0 (also when no server
// runs), so scripts can call it unconditionally.
#include <windows.h>

#include "shell/command_sender_win32.h"

int main() {
    if (HWND server = FindServerWindow()) SendCommandText(server, "/SHUTDOWN");
    return 0;
}
