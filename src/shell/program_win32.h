// NIMBO.exe: start-up with one server per desktop, the hand-over of a second
// start's command line, the message loop and the shutdown that stops the
// server thread and saves NIMBO.INI.
#pragma once

#include <windows.h>

#include <string>

// Runs one start (the first, which serves until Shutdown Server, or a second
// one, which hands over its command line). Returns the exit code.
int RunProgram(HINSTANCE instance, const std::string& commandLine);

// The server thread as the program runs it: a Win32 thread, so that one
// that does not end at shutdown can be ended by force.
bool StartProgramServerThread();
// Closes the server socket and waits up to waitMs for the thread; logs the
// outcome and terminates the thread when it has not ended. True when it ended.
bool StopProgramServerThread(DWORD waitMs);

// The shutdown after the message loop: stops the server thread (waiting up
// to serverWaitMs), closes the locks, saves NIMBO.INI. Returns quitCode.
// When the server thread had to be terminated, a save that hangs on a lock
// the dead thread held ends the process with quitCode after saveGraceMs.
int ShutdownProgram(int quitCode, DWORD serverWaitMs = 5000, DWORD saveGraceMs = 10000);

// ---- test seams ----
// The server thread's body: ServerThread unless a test gives another.
using ServerThreadBody = void (*)();
void SetServerThreadBody(ServerThreadBody body);  // nullptr: ServerThread
// How long a second start waits for the running server's answer (30 s;
// 0 restores it).
void SetSecondStartWait(DWORD waitMs);
