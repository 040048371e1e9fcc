#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "service/service_names.h"
#include "service/service_run.h"
#include "service/wrapper_arguments.h"

namespace {

// A service of its own process, in the services' session: its windows share
// no desktop with any user.
constexpr DWORD SERVICE_TYPE = SERVICE_WIN32_OWN_PROCESS;
// How long a shutdown waits for the server to save and end (it takes up to
// 5 s for its thread, then the save); the system may end it sooner.
constexpr DWORD SHUTDOWN_WAIT_MS = 20000;

// Shared by the service entry point (a dispatcher thread) and the control
// handler (the dispatcher's own thread). Reports are made under StatusLock.
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
std::mutex StatusLock;
std::atomic<DWORD> LastState{SERVICE_STOPPED};
// The running server process, published before the state becomes running.
std::atomic<HANDLE> ChildProcess{nullptr};
std::atomic<DWORD> ShutdownAlias{0};

void ReportLocked(DWORD state, DWORD exitCode, DWORD checkPoint) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_TYPE;
    status.dwCurrentState = state;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = SERVICE_WAIT_HINT_MS;
    LastState = state;
    SetServiceStatus(StatusHandle, &status);
}

void ReportStatus(DWORD state, DWORD exitCode, DWORD checkPoint) {
    std::lock_guard<std::mutex> guard(StatusLock);
    ReportLocked(state, exitCode, checkPoint);
}

// The progress of a stop the handler waits for: reported only while the
// service is still stop pending, so it never comes after "stopped".
void ReportStopProgress(DWORD checkPoint) {
    std::lock_guard<std::mutex> guard(StatusLock);
    if (LastState == SERVICE_STOP_PENDING) ReportLocked(SERVICE_STOP_PENDING, 0, checkPoint);
}

// One line "message - error" appended to the error log in the current
// directory; the file is opened and closed for each line.
void WriteErrorLog(const char* message, DWORD error) {
    FILE* file = std::fopen(SERVICE_ERROR_LOG, "at");
    if (file == nullptr) return;
    std::fprintf(file, "%s - %ld\n", message, static_cast<long>(error));
    std::fclose(file);
}

struct ServiceParameters {
    std::string program;
    std::string startDir;
    std::string programParams;
};

// Reads one text value through a buffer of size bytes. A value stored
// without its terminating zero still ends inside the buffer.
LONG ReadText(HKEY key, const char* name, DWORD size, std::string* text) {
    std::vector<char> buffer(size + 1, '\0');
    DWORD length = size;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &length);
    if (result == ERROR_SUCCESS) *text = buffer.data();
    return result;
}

// Returns 0 or the error code of the first call that failed.
LONG ReadParameters(const char* serviceName, ServiceParameters* parameters) {
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, ParametersKeyPath(serviceName).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    result = ReadText(key, PARAM_PROGRAM, PROGRAM_BUFFER, &parameters->program);
    if (result == ERROR_SUCCESS) result = ReadText(key, PARAM_START_DIR, START_DIR_BUFFER, &parameters->startDir);
    if (result == ERROR_SUCCESS) {
        result = ReadText(key, PARAM_PROGRAM_PARAMS, PROGRAM_PARAMS_BUFFER, &parameters->programParams);
    }
    RegCloseKey(key);
    return result;
}

// Waits up to milliseconds; true when the server process has ended.
bool ChildEnded(DWORD milliseconds) {
    HANDLE child = ChildProcess;
    if (child == nullptr) {
        Sleep(milliseconds);
        return false;
    }
    return WaitForSingleObject(child, milliseconds) == WAIT_OBJECT_0;
}

// The server creates its window only after loading its settings, so a stop
// soon after the start finds none yet. Looking again until the wait hint has
// passed lets such a stop still reach the server; giving up at once would
// leave the service stop pending with nothing to end the child.
void StopServer() {
    ReportStatus(SERVICE_STOP_PENDING, 0, 1);
    const DWORD started = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(SERVER_WINDOW_CLASS, SERVER_WINDOW_TITLE);
        if (window != nullptr) {
            PostMessageA(window, WM_COMMAND, SERVER_STOP_COMMAND, 0);
            return;
        }
        const DWORD error = GetLastError();
        if (GetTickCount() - started >= SERVICE_WAIT_HINT_MS) {
            WriteErrorLog("Can't find Nimbo to close it!", error);
            return;
        }
        // A server that ended by itself needs no command; the service
        // reports stopped on its own.
        if (ChildEnded(100)) return;
    }
}

// Shutdown: the system ends the process once the handler has returned (or
// its time is up), so the handler waits here until the server has saved and
// ended, telling the system that it is still at it.
void StopServerAndWait() {
    StopServer();
    const DWORD started = GetTickCount();
    for (DWORD checkPoint = 2; !ChildEnded(1000); ++checkPoint) {
        if (GetTickCount() - started >= SHUTDOWN_WAIT_MS) return;
        ReportStopProgress(checkPoint);
    }
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    switch (ActionForControl(control, ShutdownAlias)) {
    case ControlAction::Stop:
        StopServer();
        break;
    case ControlAction::StopAndWait:
        StopServerAndWait();
        break;
    case ControlAction::Interrogate:
        ReportStatus(LastState, 0, 0);
        break;
    case ControlAction::Ignore:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
    // The extended handler: preshutdown reaches no other.
    StatusHandle = RegisterServiceCtrlHandlerExA(SERVICE_DISPATCH_NAME, ControlHandler, nullptr);
    if (StatusHandle == nullptr) {
        ReportStatus(SERVICE_STOPPED, GetLastError(), 1);
        return;
    }
    ReportStatus(SERVICE_START_PENDING, 0, 1);

    const char* serviceName = argc > 0 && argv[0] != nullptr ? argv[0] : SERVICE_NAME;
    ServiceParameters parameters;
    if (LONG error = ReadParameters(serviceName, &parameters); error != ERROR_SUCCESS) {
        ReportStatus(SERVICE_STOPPED, static_cast<DWORD>(error), 1);
        return;
    }
    ReportStatus(SERVICE_START_PENDING, 0, 2);

    std::string commandLine = ChildCommandLine(parameters.program, parameters.programParams);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(parameters.program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, parameters.startDir.c_str(), &startup, &process)) {
        ReportStatus(SERVICE_STOPPED, GetLastError(), 1);
        return;
    }
    CloseHandle(process.hThread);
    // The process handle stays open until the wrapper ends: the control
    // handler may be waiting on it.
    ChildProcess = process.hProcess;
    ReportStatus(SERVICE_RUNNING, 0, 2);
    WaitForSingleObject(process.hProcess, INFINITE);
    ReportStatus(SERVICE_STOPPED, 0, 0);
}

}  // namespace

void SetShutdownAlias(unsigned long control) { ShutdownAlias = control; }

int RunServiceDispatcher() {
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(SERVICE_DISPATCH_NAME), ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
