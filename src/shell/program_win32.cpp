#include "program_win32.h"

#include <commctrl.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "config/adapter_discovery.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/server_thread.h"
#include "dhcp/udp_socket.h"
#include "shell/command_message.h"
#include "shell/command_sender_win32.h"
#include "shell/handover_win32.h"
#include "shell/kea_export_win32.h"
#include "shell/service_start_win32.h"
#include "shell/start_decision.h"
#include "shell/startup_mutex_win32.h"
#include "base/log.h"
#include "shell/main_window_win32.h"
#include "base/paths.h"
#include "shell/resource.h"
#include "shell/startup_lines.h"
#include "ui/properties.h"

namespace {

// A start waits this long at most for another start of the same folder.
constexpr DWORD STARTUP_MUTEX_WAIT_MS = 60000;
constexpr UINT SECOND_START_PROBE = WM_APP;  // posted to and taken from the helper window
constexpr size_t VERSION_TEXT_LIMIT = 20;
// How long a second start waits for the running server's answer.
constexpr DWORD SECOND_START_WAIT_MS = 30000;
DWORD secondStartWaitMs = SECOND_START_WAIT_MS;

HANDLE serverThread = nullptr;
ServerThreadBody serverThreadBody = nullptr;
bool registeredAsServiceProcess = false;

using RegisterServiceProcessCall = DWORD(WINAPI*)(DWORD processId, DWORD type);

RegisterServiceProcessCall FindRegisterServiceProcess() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<RegisterServiceProcessCall>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "RegisterServiceProcess")))
                  : nullptr;
}

std::string ProgramDirectory() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return DirectoryOf(std::string(path, length));
}

std::string HelpFilePath(const std::string& directory) {
    char path[MAX_PATH + 32];
    std::snprintf(path, sizeof path, "%.200s\\NIMBO.CHM", directory.c_str());
    return path;
}

// Windows 95 family: stays alive across a logoff as a "service process".
void RegisterAsServiceProcess() {
    RegisterServiceProcessCall call = FindRegisterServiceProcess();
    if (call && call(0, 1) != 0) {
        registeredAsServiceProcess = true;
        return;
    }
    ShowMessage(nullptr, IDS_REGISTER_SERVICE_FAILED, IDS_NIMBO_ERROR, MB_ICONWARNING);
}

void UnregisterAsServiceProcess() {
    if (!registeredAsServiceProcess) return;
    if (RegisterServiceProcessCall call = FindRegisterServiceProcess()) call(0, 0);
    registeredAsServiceProcess = false;
}

SystemVersion ReadSystemVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    SystemVersion system;
    system.platformId = static_cast<long>(info.dwPlatformId);
    system.major = static_cast<long>(info.dwMajorVersion);
    system.minor = static_cast<long>(info.dwMinorVersion);
    system.build = static_cast<long>(info.dwBuildNumber);
    system.servicePack = info.szCSDVersion;
    return system;
}

std::string ReadHardwareLine(long platformId) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    ProcessorFigures cpu;
    cpu.count = static_cast<long>(info.dwNumberOfProcessors);
    cpu.architecture = info.wProcessorArchitecture;
    cpu.level = info.wProcessorLevel;
    cpu.revision = info.wProcessorRevision;
    cpu.type = static_cast<long>(info.dwProcessorType);
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    MemoryFigures memory{status.ullTotalPhys,     status.ullAvailPhys,     static_cast<int>(status.dwMemoryLoad),
                         status.ullTotalPageFile, status.ullAvailPageFile, status.ullTotalVirtual,
                         status.ullAvailVirtual};
    return HardwareText(WindowsProcessorText(platformId, cpu), memory);
}

// The command line of a second start goes to the running server; the
// answer is shown once the named mutex is free again, so that a message left
// open on the screen does not hold up every later start.
int SecondStart(HINSTANCE instance, HWND server, const std::string& commandLine) {
    // A message taken from the queue first: the process counts as started
    // and ready for input before it talks to the server.
    HWND helper = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    PostMessageA(helper, SECOND_START_PROBE, 0, 0);
    MSG message;
    GetMessageA(&message, helper, 0, 0);
    if (helper) DestroyWindow(helper);

    std::string text = commandLine.empty() ? "/SHOWICON" : commandLine;
    LRESULT answer = COMMAND_RESULT_NONE;
    // A hung server must not hold every later start, which waits for the
    // named mutex: the wait has a limit.
    const bool answered = SendCommandTextWithin(server, text.c_str(), secondStartWaitMs, &answer);
    ReleaseStartupMutex();
    if (!answered) {
        ShowMessage(nullptr, IDS_SERVER_NOT_ANSWERING, IDS_NIMBO_ERROR, MB_ICONWARNING);
        return 1;
    }
    if (answer == COMMAND_RESULT_PASSED) {
        ShowMessage(nullptr, IDS_COMMAND_PASSED, IDS_NIMBO, MB_ICONINFORMATION);
    } else if (answer == COMMAND_RESULT_ERROR) {
        ShowMessage(nullptr, IDS_COMMAND_ERROR, IDS_NIMBO_ERROR, MB_ICONINFORMATION);
    }
    return 0;
}

int FirstStart(HINSTANCE instance, const std::string& directory, const std::string& commandLine) {
    // The top bit of the version word marks the Windows 95 family.
    bool ntFamily = (GetVersion() & 0x80000000u) == 0;
    if (ntFamily) {
        UpdateSettings([](ServerSettings& settings) { settings.isNT = true; });
    } else {
        RegisterAsServiceProcess();
    }

    // LogLock and LeaseLock are the core's own process-wide locks and exist
    // already; StartupLock is this program's.
    CreateStartupLock();

    std::setlocale(LC_CTYPE, "");
    InitCommonControls();
    // The notification area's icon size, at the system's density.
    SmallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_NIMBO), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));

    if (!RegisterWindowClasses(instance)) {
        ReleaseStartupMutex();
        return 0;
    }
    if (!StartSocketLibrary()) {
        ShowMessage(nullptr, IDS_WINSOCK_FAILED, IDS_NIMBO_ERROR, MB_ICONWARNING | MB_TASKMODAL);
        ReleaseStartupMutex();
        return 0;
    }
    SetLogDirectory(directory);

    discoverAdapterSettings();
    loadSettings();

    SystemVersion system = ReadSystemVersion();
    WriteLog(0, "%s", WindowsStartupBanner(LoadResourceString(IDS_VERSION, VERSION_TEXT_LIMIT).c_str(), system).c_str());
    WriteLog(0, "%s", ReadHardwareLine(system.platformId).c_str());

    HWND window = CreateMainWindow(instance);
    if (!window) {
        ReleaseStartupMutex();
        StopSocketLibrary();
        return 0;
    }

    LRESULT ownAnswer = COMMAND_RESULT_NONE;
    if (IsServiceCommandLine(commandLine)) {
        WriteLog(1, "Running as NT service\n");
    } else if (!commandLine.empty()) {
        ownAnswer = SendCommandText(window, commandLine.c_str());
    }

    ReleaseMutex(StartupLock);
    PostMessageA(window, MSG_LEASES_CHANGED, 0, 0);
    ReleaseStartupMutex();
    // Shown once the start is complete: the window serves while the box is open.
    if (ownAnswer == COMMAND_RESULT_ERROR) ShowMessage(nullptr, IDS_COMMAND_ERROR, IDS_NIMBO, MB_ICONINFORMATION);

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    int quitCode = message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
    return ShutdownProgram(quitCode);
}

DWORD WINAPI ServerThreadEntry(void*) {
    (serverThreadBody ? serverThreadBody : ServerThread)();
    return 0;
}

// Ends the process with the quit code when the final save has not finished
// within the grace time. Armed only after the server thread was terminated:
// that thread may have died holding the lease table's or the log's lock, or
// the heap's, and the save would then wait for ever. Its thread is started
// before the server thread may be terminated, since starting a thread
// afterwards could itself wait on such a lock.
struct ExitWatchdog {
    HANDLE armed = nullptr;
    HANDLE done = nullptr;
    HANDLE thread = nullptr;
    int exitCode = 0;
    DWORD graceMs = 0;
};

DWORD WINAPI WatchdogEntry(void* parameter) {
    auto* watchdog = static_cast<ExitWatchdog*>(parameter);
    HANDLE events[2] = {watchdog->armed, watchdog->done};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;  // done, never armed
    if (WaitForSingleObject(watchdog->done, watchdog->graceMs) == WAIT_TIMEOUT) {
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(watchdog->exitCode));
    }
    return 0;
}

void StartWatchdog(ExitWatchdog& watchdog, int exitCode, DWORD graceMs) {
    watchdog.exitCode = exitCode;
    watchdog.graceMs = graceMs;
    watchdog.armed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watchdog.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (watchdog.armed && watchdog.done) watchdog.thread = CreateThread(nullptr, 0, WatchdogEntry, &watchdog, 0, nullptr);
}

void FinishWatchdog(ExitWatchdog& watchdog) {
    if (watchdog.done) SetEvent(watchdog.done);
    if (watchdog.thread) {
        WaitForSingleObject(watchdog.thread, INFINITE);
        CloseHandle(watchdog.thread);
    }
    if (watchdog.armed) CloseHandle(watchdog.armed);
    if (watchdog.done) CloseHandle(watchdog.done);
}

}  // namespace

void SetServerThreadBody(ServerThreadBody body) { serverThreadBody = body; }

void SetSecondStartWait(DWORD waitMs) { secondStartWaitMs = waitMs ? waitMs : SECOND_START_WAIT_MS; }

bool StartProgramServerThread() {
    if (serverThread) return false;
    serverThread = CreateThread(nullptr, 0, ServerThreadEntry, nullptr, 0, nullptr);
    return serverThread != nullptr;
}

bool StopProgramServerThread(DWORD waitMs) {
    if (!serverThread) return true;
    // Ends the blocked receive. (Winsock 2 has no blocking calls of this
    // thread to cancel.)
    CloseServerSocket();
    bool ended = WaitForSingleObject(serverThread, waitMs) == WAIT_OBJECT_0;
    if (ended) {
        WriteLog(3, "DHCP Server Terminated Successfully\n");
    } else {
        WriteLog(-1, "DHCP Server Not Terminated Properly\n");
        TerminateThread(serverThread, 1);
        WaitForSingleObject(serverThread, 1000);
    }
    CloseHandle(serverThread);
    serverThread = nullptr;
    return ended;
}

int ShutdownProgram(int quitCode, DWORD serverWaitMs, DWORD saveGraceMs) {
    ExitWatchdog watchdog;
    StartWatchdog(watchdog, quitCode, saveGraceMs);

    bool ended = StopProgramServerThread(serverWaitMs);
    StopSocketLibrary();
    CloseStartupLock();
    ReleaseStartupMutex();
    UnregisterAsServiceProcess();
    if (SmallIcon) DestroyIcon(SmallIcon);
    SmallIcon = nullptr;

    if (!ended && watchdog.armed) SetEvent(watchdog.armed);
    // After a hand-back the service's server owns NIMBO.INI.
    if (!HandedBack()) saveSettings();
    FinishWatchdog(watchdog);
    return quitCode;
}

int RunProgram(HINSTANCE instance, const std::string& givenCommandLine) {
    ProgramInstance = instance;
    std::string directory = ProgramDirectory();
    NoteWhoCanAnswer(givenCommandLine);
    // The export starts no server and asks none, so it comes before the
    // single-instance steps (a running server would call it a bad switch).
    int exportCode = 0;
    if (RunKeaExportCommand(directory, givenCommandLine, &exportCode)) return exportCode;
    // The elevated halves of a stop and of a hand-over of the service
    // (service_start_win32.h), read before the single-instance steps too.
    const ElevatedSwitch elevated = ReadElevatedSwitch(givenCommandLine);
    if (elevated == ElevatedSwitch::StopService) return StopServiceAsAdministrator();
    const std::string commandLine = elevated == ElevatedSwitch::HandOver ? "/OPTIONS" : givenCommandLine;

    SetIniPath(JoinPath(directory, "NIMBO.INI"));
    SetHelpFilePath(HelpFilePath(directory));

    TakeStartupMutex(directory, STARTUP_MUTEX_WAIT_MS);
    if (HWND server = FindServerWindow()) return SecondStart(instance, server, commandLine);
    if (!BecomesServer(commandLine, elevated == ElevatedSwitch::HandOver)) return 0;
    return FirstStart(instance, directory, commandLine);
}
