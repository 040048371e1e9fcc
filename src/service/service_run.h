// NimboSVC as the service: the entry point the dispatcher calls, which runs
// the server program as a child process while the service lives, and the
// control handler, which asks the server to shut down.
#pragma once

// Hands the process to the service control dispatcher and returns when the
// service has stopped, or at once in a process that the service control
// manager did not start.
int RunServiceDispatcher();

// ---- test seam ----
// A user-defined control (128-255) that the control handler takes as the
// system's shutdown, which no program can send. Never set by NimboSVC.exe.
void SetShutdownAlias(unsigned long control);
