#include "shell/handover_win32.h"

#include <string>

#include "config/settings_file.h"
#include "shell/housekeeping.h"
#include "shell/main_window_win32.h"
#include "shell/program_win32.h"
#include "shell/resource.h"
#include "shell/service_control_win32.h"
#include "ui/properties.h"
#include "ui/show_message_win32.h"

namespace {

constexpr size_t CAPTION_LIMIT = 100;

bool handOver = false;
bool handedBack = false;

}  // namespace

void BeginHandOver() {
    handOver = true;
    SetPropertiesTitle(LoadResourceString(IDS_HANDOVER_TITLE, CAPTION_LIMIT));
}

bool HandOverActive() { return handOver; }

bool HandedBack() { return handedBack; }

void HandBackToService(HWND mainWindow, bool sessionEnds) {
    if (!handOver) return;
    handOver = false;
    SetPropertiesTitle("");
    // No tick may save NIMBO.INI once the service's server owns it.
    KillTimer(mainWindow, MAIN_TIMER_ID);
    StopProgramServerThread(sessionEnds ? 1000 : 5000);
    // The service's server reads NIMBO.INI as it starts: started over a
    // failed save, it would take up the file as it was and the leases given
    // out here and the settings changed here would be lost. Then this
    // server goes on, as when the service does not start.
    DWORD error = ERROR_WRITE_FAULT;
    if (saveSettings() || sessionEnds)
        error = StartNimboService(sessionEnds ? 0 : SERVICE_WAIT_MS);
    else if (LastSaveError() != 0)
        error = static_cast<DWORD>(LastSaveError());
    if (error == 0 || sessionEnds) {
        handedBack = true;
        if (!sessionEnds) PostMessageA(mainWindow, MSG_DESTROY_MAIN, 0, 0);
        return;
    }
    StartProgramServerThread();
    SetTimer(mainWindow, MAIN_TIMER_ID, MAIN_TIMER_PERIOD_MS, nullptr);
    ShowErrorMessage(IDS_SERVICE_NOT_RESTARTED, error);
}

void AddHandOverNote(HMENU popup) {
    const std::string note = LoadResourceString(IDS_HANDOVER_MENU, MESSAGE_TEXT_LIMIT);
    InsertMenuA(popup, 0, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, note.c_str());
    InsertMenuA(popup, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}
