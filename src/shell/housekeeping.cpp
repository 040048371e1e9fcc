#include "housekeeping.h"

#include <atomic>
#include <mutex>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "base/clock.h"
#include "base/log.h"

HousekeepingState Housekeeping;

namespace {
std::atomic<TickSource> tickSource{nullptr};
}

void SetTickSource(TickSource source) { tickSource.store(source); }

uint32_t CurrentTick() {
    TickSource source = tickSource.load();
    return source ? source() : TickCountMs();
}

void RunTimerTick(HousekeepingState& state, const TickDesktop& desktop) {
    const bool settings = state.settingsUnsaved;
    const uint32_t start = CurrentTick();
    if ((settings || LeasesDirty.load()) && SaveDue(state, start)) {
        const bool saved = settings ? saveSettings() : saveLeases();
        NoteSaveTime(state, start, CurrentTick());
        NoteSaveResult(state, saved, desktop);
    }

    bool shell = desktop.shellPresent != nullptr && desktop.shellPresent();
    if (TrackLogon(state, shell) == LogonChange::LoggedOn && desktop.postTrayIcon) desktop.postTrayIcon(true);

    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        ExpireLeases();
    }

    if (TakeLeaseViewRefresh(state, CurrentSettings()->AutoRefresh, CurrentTick()) && desktop.refreshLeaseView) {
        desktop.refreshLeaseView();
    }

    if (TakeIconRetry(state) && desktop.postTrayIcon) desktop.postTrayIcon(true);
}

bool SaveDue(const HousekeepingState& state, uint32_t now) {
    if (state.lastSaveMs < SLOW_SAVE_MS) return true;
    uint64_t pause = uint64_t{SLOW_SAVE_PAUSE_FACTOR} * state.lastSaveMs;
    if (pause > SLOW_SAVE_PAUSE_LIMIT_MS) pause = SLOW_SAVE_PAUSE_LIMIT_MS;
    // Unsigned difference: right across the wrap of the tick count.
    return now - state.lastSaveEndTick >= pause;
}

void NoteSaveTime(HousekeepingState& state, uint32_t start, uint32_t end) {
    state.lastSaveMs = end - start;
    state.lastSaveEndTick = end;
}

void NoteSaveResult(HousekeepingState& state, bool saved, const TickDesktop& desktop) {
    if (saved) {
        if (state.saveNoticeShown && desktop.showSaveRecovered) desktop.showSaveRecovered();
        state.settingsUnsaved = false;
        state.saveFailing = false;
        state.saveNoticeShown = false;
        return;
    }
    // The failure itself is in the log (the settings file writes it once
    // until a save succeeds); the notice is for whoever sits at the desktop.
    state.saveFailing = true;
    if (!state.saveNoticeShown && desktop.showSaveNotice) state.saveNoticeShown = desktop.showSaveNotice(LastSaveError());
}

void NoteSettingsSaved(HousekeepingState& state, bool saved) {
    if (!saved) state.settingsUnsaved = true;
}

LogonChange TrackLogon(HousekeepingState& state, bool shellPresent) {
    if (state.loggedOff) {
        if (!shellPresent) return LogonChange::None;
        WriteLog(3, "User Logged On\n");
        state.loggedOff = false;
        state.logoffSeen = false;
        return LogonChange::LoggedOn;
    }
    if (state.logoffSeen && !shellPresent) {
        WriteLog(3, "User Logged Off\n");
        state.loggedOff = true;
        state.logoffSeen = false;
        return LogonChange::LoggedOff;
    }
    return LogonChange::None;
}

bool TakeLeaseViewRefresh(HousekeepingState& state, bool autoRefresh, uint32_t now) {
    // Unsigned difference: right across the wrap of the tick count.
    if (!state.refreshRequested || !autoRefresh || now - state.lastRefreshTick <= LEASE_VIEW_REFRESH_MS) return false;
    state.refreshRequested = false;
    state.lastRefreshTick = now;
    return true;
}

bool TakeIconRetry(HousekeepingState& state) {
    if (!state.iconRetry) return false;
    state.iconRetry = false;
    return true;
}

bool IconNeedsRemoveBeforeAdd(const HousekeepingState& state) { return state.iconShown; }

void IconAddResult(HousekeepingState& state, bool added) {
    state.iconShown = added;
    state.iconRetry = !added;
}

bool BeginHideIcon(HousekeepingState& state) {
    const bool addFailed = state.iconRetry;
    state.iconRetry = false;
    if (!state.iconShown) return addFailed;
    WriteLog(3, "Hide Icon\n");
    state.iconShown = false;
    return true;
}

bool TaskbarRecreated(HousekeepingState& state) {
    const bool wanted = state.iconShown || state.iconRetry;
    state.iconShown = false;
    return wanted;
}

bool EndSession(HousekeepingState& state, bool logoff) {
    if (!logoff) {
        WriteLog(1, "End Session\n");
        return false;
    }
    WriteLog(1, "End Session - Logoff\n");
    state.logoffSeen = true;
    return true;
}
