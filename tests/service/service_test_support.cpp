#include "service_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "wait_until.h"

ProgramDir::ProgramDir(const std::string& serverProgram) {
    EXPECT_TRUE(CopyFileA(WinePath(NIMBOSVC_EXE).c_str(), wrapper().c_str(), FALSE)) << GetLastError();
    if (!serverProgram.empty()) {
        EXPECT_TRUE(CopyFileA(serverProgram.c_str(), server().c_str(), FALSE)) << serverProgram;
    }
}

std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

ProgramRun RunProgram(const std::string& commandLine, const std::string& input, const std::string& endOfOutput) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, inRead, inWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&inRead, &inWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot run " << commandLine << ": " << GetLastError();
        run.exitCode = ~0u;
    }
    CloseHandle(outWrite);
    CloseHandle(inRead);
    DWORD written;
    if (!input.empty()) WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(inWrite);
    char buffer[512];
    DWORD count;
    while (ReadFile(outRead, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        run.output.append(buffer, count);
        const size_t size = run.output.size();
        if (!endOfOutput.empty() && size >= endOfOutput.size() &&
            run.output.compare(size - endOfOutput.size(), endOfOutput.size(), endOfOutput) == 0) {
            TerminateProcess(process.hProcess, 0);
        }
    }
    CloseHandle(outRead);
    if (process.hProcess != nullptr) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << commandLine;
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::string text;
    for (char c : run.output) {
        if (c != '\r') text += c;
    }
    run.output = text;
    return run;
}

SC_HANDLE Manager() {
    static SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    return manager;
}

ServiceHandle OpenNimboService(const char* name) { return ServiceHandle(OpenServiceA(Manager(), name, SERVICE_ALL_ACCESS)); }

DWORD ServiceState(SC_HANDLE service, SERVICE_STATUS* status) {
    SERVICE_STATUS own{};
    if (status == nullptr) status = &own;
    if (!QueryServiceStatus(service, status)) return 0;
    return status->dwCurrentState;
}

namespace {

std::string StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return "stopped";
        case SERVICE_START_PENDING: return "start pending";
        case SERVICE_STOP_PENDING: return "stop pending";
        case SERVICE_RUNNING: return "running";
        default: return "in state " + std::to_string(state);
    }
}

}  // namespace

bool WaitForState(SC_HANDLE service, DWORD state, DWORD milliseconds) {
    if (WaitUntil("the service to be " + StateName(state), [&] { return ServiceState(service) == state; },
                  static_cast<int>(milliseconds)))
        return true;
    std::fprintf(stderr, "the service is %s\n", StateName(ServiceState(service)).c_str());
    return false;
}

void WaitForServiceDatabase() {
    SC_LOCK lock = nullptr;
    if (WaitUntil("the service database to be free",
                  [&] { return (lock = LockServiceDatabase(Manager())) != nullptr; }))
        UnlockServiceDatabase(lock);
}

bool StartWithRetry(SC_HANDLE service) {
    DWORD error = ERROR_SUCCESS;
    const bool answered = WaitUntil("the service database to take a start", [&] {
        error = StartServiceA(service, 0, nullptr) ? ERROR_SUCCESS : GetLastError();
        return error != ERROR_SERVICE_DATABASE_LOCKED;
    });
    // Wine's manager answers 1053 when the service process ended before it
    // had read the process's answer to the start, which a service that stops
    // at once (a missing parameter) may do. Such a service did start: it is
    // stopped with an exit code of its own.
    SERVICE_STATUS status{};
    if (error == ERROR_SERVICE_REQUEST_TIMEOUT && ServiceState(service, &status) == SERVICE_STOPPED &&
        status.dwWin32ExitCode != ERROR_SERVICE_REQUEST_TIMEOUT)
        return true;
    if (answered && error != ERROR_SUCCESS) ADD_FAILURE() << "StartService failed: " << error;
    return answered && error == ERROR_SUCCESS;
}

bool StartAndWaitRunning(SC_HANDLE service) {
    return StartWithRetry(service) && WaitForState(service, SERVICE_RUNNING);
}

void DeleteServiceIfPresent(const char* name) {
    ServiceHandle service = OpenNimboService(name);
    if (!service) return;
    SERVICE_STATUS status;
    if (ServiceState(service.get()) == SERVICE_RUNNING) ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(service.get());
}

namespace {

std::string ParametersKey(const char* serviceName) {
    return std::string("System\\CurrentControlSet\\Services\\") + serviceName + "\\Parameters";
}

}  // namespace

std::string ParameterValue(const char* name, const char* serviceName) {
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    RegGetValueA(HKEY_LOCAL_MACHINE, ParametersKey(serviceName).c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

void SetParameterValue(const char* name, const std::string& value, const char* serviceName) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ParametersKey(serviceName).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

HWND ServerWindow() { return FindWindowA("NIMBOClass", "DHCP Server"); }

bool WaitForServerWindow(DWORD milliseconds) {
    return WaitUntil("the server window", [] { return ServerWindow() != nullptr; }, static_cast<int>(milliseconds));
}

bool WaitForFile(const std::string& path, DWORD milliseconds) {
    return WaitUntil(path, [&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
                     static_cast<int>(milliseconds));
}

namespace {

std::vector<std::string> ErrorLogCandidates() {
    char windows[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    return {std::string(windows) + "\\nimbosvc.log", std::string(system) + "\\nimbosvc.log"};
}

}  // namespace

std::string ServiceErrorLog() {
    std::string text;
    for (const std::string& path : ErrorLogCandidates()) text += ReadFile(path);
    return text;
}

void DeleteServiceErrorLog() {
    for (const std::string& path : ErrorLogCandidates()) DeleteFileA(path.c_str());
}
