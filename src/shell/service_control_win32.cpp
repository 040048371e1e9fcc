#include "shell/service_control_win32.h"

#include <tlhelp32.h>

#include "base/service_handle_win32.h"

namespace {

constexpr const char* SERVICE_NAME = "Nimbo";
constexpr const char* PARAMETERS_KEY = "System\\CurrentControlSet\\Services\\Nimbo\\Parameters";
constexpr DWORD POLL_MS = 100;

// Opens the service with `access`; 0 or the error of the call that failed.
DWORD OpenNimbo(DWORD access, SC_HANDLE* service) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return GetLastError();
    *service = OpenServiceA(manager.get(), SERVICE_NAME, access);
    return *service ? 0 : GetLastError();
}

DWORD State(SC_HANDLE service, SERVICE_STATUS* status) {
    return QueryServiceStatus(service, status) ? status->dwCurrentState : 0;
}

}  // namespace

NimboServiceFacts QueryNimboService() {
    NimboServiceFacts facts;
    SC_HANDLE opened = nullptr;
    if (OpenNimbo(SERVICE_QUERY_STATUS, &opened) != 0) return facts;
    ServiceHandle service(opened);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &needed)) {
        facts.state = status.dwCurrentState;
        facts.processId = status.dwProcessId;
    }
    facts.installed = true;
    char directory[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, PARAMETERS_KEY, "StartDir", RRF_RT_REG_SZ, nullptr, directory, &size) ==
        ERROR_SUCCESS) {
        facts.startDir = directory;
    }
    return facts;
}

DWORD StopNimboService(DWORD waitMs) {
    SC_HANDLE opened = nullptr;
    if (DWORD error = OpenNimbo(SERVICE_STOP | SERVICE_QUERY_STATUS, &opened)) return error;
    ServiceHandle service(opened);
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return error;
    }
    const DWORD started = GetTickCount();
    while (State(service.get(), &status) != SERVICE_STOPPED) {
        if (GetTickCount() - started >= waitMs) return ERROR_TIMEOUT;
        Sleep(POLL_MS);
    }
    return 0;
}

DWORD StartNimboService(DWORD waitMs) {
    SC_HANDLE opened = nullptr;
    if (DWORD error = OpenNimbo(SERVICE_START | SERVICE_QUERY_STATUS, &opened)) return error;
    ServiceHandle service(opened);
    const DWORD started = GetTickCount();
    // The database is locked for a moment while the system starts services.
    while (!StartServiceA(service.get(), 0, nullptr)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) break;
        if (error != ERROR_SERVICE_DATABASE_LOCKED || GetTickCount() - started >= waitMs) return error;
        Sleep(POLL_MS);
    }
    SERVICE_STATUS status{};
    for (DWORD state; (state = State(service.get(), &status)) != SERVICE_RUNNING;) {
        if (state == SERVICE_STOPPED) return status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NEVER_STARTED;
        if (GetTickCount() - started >= waitMs) return ERROR_TIMEOUT;
        Sleep(POLL_MS);
    }
    return 0;
}

DWORD ParentProcessId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

DWORD OwnSessionId() {
    DWORD session = 0xFFFFFFFF;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0xFFFFFFFF;
}
