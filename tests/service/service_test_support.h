// Helpers of the service wrapper's tests under Wine: a program directory
// holding NimboSVC.exe and a server program, programs run with their output
// captured, and the service control manager seen from outside.
#pragma once

#include <windows.h>

#include <string>

#include "base/service_handle_win32.h"
#include "test_support.h"
#include "wait_until.h"

// A scratch directory with NimboSVC.exe and, under the name NIMBO.EXE, the
// given server program (none: the directory has no NIMBO.EXE).
class ProgramDir {
public:
    explicit ProgramDir(const std::string& serverProgram);
    const std::string& path() const { return scratch_.path(); }
    std::string file(const std::string& name) const { return path() + "\\" + name; }
    std::string wrapper() const { return file("NimboSVC.exe"); }
    std::string server() const { return file("NIMBO.EXE"); }

private:
    ScratchDir scratch_;
};

struct ProgramRun {
    DWORD exitCode = 0;
    std::string output;  // stdout and stderr, CR LF turned into LF
};

// Runs a command line to its end (60 s at most) with input on its stdin.
// With endOfOutput, the program is ended as soon as its output ends so.
ProgramRun RunProgram(const std::string& commandLine, const std::string& input = "",
                      const std::string& endOfOutput = "");

// The service control manager of this Wine prefix, opened once.
SC_HANDLE Manager();
// The service, or no handle when it does not exist (GetLastError tells why).
ServiceHandle OpenNimboService(const char* name = "Nimbo");
DWORD ServiceState(SC_HANDLE service, SERVICE_STATUS* status = nullptr);
// The waits below end as soon as their state is there; false (having said
// on stderr what did not come) after `milliseconds`.
bool WaitForState(SC_HANDLE service, DWORD state, DWORD milliseconds = WAIT_LIMIT_MS);
// Right after boot Wine starts its own services and the database is locked
// for a moment (starts fail with 1055). Waits until it is free.
void WaitForServiceDatabase();
// Starts the service, trying again while the database is locked; a service
// that stopped again at once counts as started (see the definition).
bool StartWithRetry(SC_HANDLE service);
// The same, and waits until it runs.
bool StartAndWaitRunning(SC_HANDLE service);
// Stops (when running) and deletes the service; nothing when it is absent.
void DeleteServiceIfPresent(const char* name = "Nimbo");

// A value of the service's parameters key ("" when absent).
std::string ParameterValue(const char* name, const char* serviceName = "Nimbo");
void SetParameterValue(const char* name, const std::string& value, const char* serviceName = "Nimbo");

// The server's main window by class and title.
HWND ServerWindow();
bool WaitForServerWindow(DWORD milliseconds = WAIT_LIMIT_MS);
bool WaitForFile(const std::string& path, DWORD milliseconds = WAIT_LIMIT_MS);

// The wrapper's error log as a service writes it: in the service's current
// directory, which the service control manager chooses (the Windows or the
// system directory). Empty when there is none.
std::string ServiceErrorLog();
void DeleteServiceErrorLog();

// A Linux path of the build as Wine sees it (drive Z:).
std::string WinePath(const std::string& unixPath);
