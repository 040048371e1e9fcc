#include "shell/service_start_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "base/message_box.h"
#include "base/paths.h"
#include "shell/command_message.h"
#include "shell/handover_win32.h"
#include "shell/resource.h"
#include "shell/service_control_win32.h"
#include "shell/start_decision.h"
#include "shell/startup_mutex_win32.h"
#include "ui/show_message_win32.h"

namespace {

const NimboServiceFacts& Service() {
    static const NimboServiceFacts facts = QueryNimboService();
    return facts;
}

// The service's own server: the wrapper's child, or anything in session 0,
// where only services run.
bool StartedByService() {
    static const bool byService = OwnSessionId() == 0 || (Service().active() && Service().processId != 0 &&
                                                           Service().processId == ParentProcessId());
    return byService;
}

// Runs the service's own program (the one in its StartDir) with `switchText`
// through the "runas" verb, which asks for elevation where it is needed.
// 0 or the error (ERROR_CANCELLED when elevation was declined).
DWORD RunServiceProgramElevated(const char* switchText, HANDLE* process) {
    const std::string program = JoinPath(Service().startDir, "NIMBO.exe");
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "runas";
    info.lpFile = program.c_str();
    info.lpParameters = switchText;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) return GetLastError();
    *process = info.hProcess;
    return 0;
}

void SayServiceError(UINT textId, DWORD error) {
    if (error == ERROR_CANCELLED) {
        ShowMessage(nullptr, IDS_SERVICE_NEEDS_ADMIN, IDS_NIMBO_ERROR, MB_ICONINFORMATION);
    } else {
        ShowErrorMessage(textId, error);
    }
}

// "/SHUTDOWN" while the service runs: stopped through the service control
// manager, with the elevated half where this account may not.
void StopTheService(bool quiet) {
    DWORD error = StopNimboService(SERVICE_WAIT_MS);
    if (error == ERROR_ACCESS_DENIED) {
        HANDLE process = nullptr;
        error = RunServiceProgramElevated(STOP_SERVICE_SWITCH, &process);
        if (error == 0 && process) {
            error = ERROR_TIMEOUT;
            if (WaitForSingleObject(process, 2 * SERVICE_WAIT_MS) == WAIT_OBJECT_0) GetExitCodeProcess(process, &error);
            CloseHandle(process);
        }
    }
    if (error != 0) {
        SayServiceError(IDS_SERVICE_NOT_STOPPED, error);
    } else if (!quiet) {
        ShowMessage(nullptr, IDS_COMMAND_PASSED, IDS_NIMBO, MB_ICONINFORMATION);
    }
}

void StartTheHandOver() {
    HANDLE process = nullptr;
    const DWORD error = RunServiceProgramElevated(HAND_OVER_SWITCH, &process);
    if (process) CloseHandle(process);
    if (error != 0) SayServiceError(IDS_HANDOVER_FAILED, error);
}

}  // namespace

void NoteWhoCanAnswer(const std::string& commandLine) {
    SetUnattended(!MayShowMessageBoxes(OwnSessionId(), IsServiceCommandLine(commandLine), StartedByService()));
}

bool BecomesServer(const std::string& commandLine, bool handOver) {
    StartFacts facts;
    facts.serviceActive = Service().active();
    facts.startedByService = StartedByService();
    facts.handOver = handOver;
    const StartDecision decision = DecideStart(facts, commandLine);
    if (decision.action == StartAction::FirstStart) {
        if (!handOver || !Service().active()) return true;
        const DWORD error = StopNimboService(SERVICE_WAIT_MS);
        if (error == 0) {
            BeginHandOver();
            return true;
        }
        ReleaseStartupMutex();
        SayServiceError(IDS_SERVICE_NOT_STOPPED, error);
        return false;
    }
    ReleaseStartupMutex();
    switch (decision.action) {
        case StartAction::StopService: StopTheService(decision.quiet); break;
        case StartAction::HandOver: StartTheHandOver(); break;
        case StartAction::CommandError:
            ShowMessage(nullptr, IDS_COMMAND_ERROR, IDS_NIMBO_ERROR, MB_ICONINFORMATION);
            break;
        default: break;
    }
    return false;
}

int StopServiceAsAdministrator() { return static_cast<int>(StopNimboService(SERVICE_WAIT_MS)); }
