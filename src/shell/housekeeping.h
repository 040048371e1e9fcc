// The housekeeping both programs run: the 500 ms timer tick in its order (save
// the lease section when it changed, logon tracking, expiry sweep, the lease
// view refresh at most every 3000 ms, the tray icon retry), and the flags
// behind the tray icon and the notice of a failed save.
//
// Portable: the decisions live here and are tested natively; the Windows
// main window supplies its desktop (shell windows, the tray icon, the Active
// Leases page) through TickDesktop and only moves messages. The Linux host
// runs the same tick with an empty TickDesktop: no shell is ever found, so it
// stays logged off, shows no icon and refreshes nothing.
#pragma once

#include <cstdint>

constexpr unsigned MAIN_TIMER_ID = 2;
constexpr uint32_t MAIN_TIMER_PERIOD_MS = 500;
// Lease view refreshes are at least this far apart.
constexpr uint32_t LEASE_VIEW_REFRESH_MS = 3000;
// Every save rewrites the whole file, which grows with the lease table.
// While a save takes less than SLOW_SAVE_MS (some 25,000 leases) the tick
// saves whenever something changed; after a slower save that took T ms the
// next one waits until SLOW_SAVE_PAUSE_FACTOR * T ms have passed since it
// ended, so that saving takes at most a tenth of the time and a change
// reaches the disk within about ten save times. The wait is at most
// SLOW_SAVE_PAUSE_LIMIT_MS: one save stalled by the disk must not stop
// saving for minutes.
constexpr uint32_t SLOW_SAVE_MS = 50;
constexpr uint32_t SLOW_SAVE_PAUSE_FACTOR = 9;
constexpr uint32_t SLOW_SAVE_PAUSE_LIMIT_MS = 10000;

// Flags of the housekeeping; the thread that runs the tick only (the main
// window's on Windows).
struct HousekeepingState {
    bool iconShown = false;        // the tray icon is added
    bool iconRetry = false;        // adding it failed; the next tick tries again
    bool loggedOff = true;         // no desktop shell found (yet)
    bool logoffSeen = false;       // a logoff was announced, the shell is still there
    bool refreshRequested = false;  // leases changed since the last view refresh
    uint32_t lastRefreshTick = 0;  // tick count of the last refresh sent
    // A failed save. The tick retries it (the whole settings save when the
    // settings were what failed), and the administrator is told once, until
    // a save succeeds again.
    bool settingsUnsaved = false;
    bool saveFailing = false;
    bool saveNoticeShown = false;
    // The last save the tick made: how long it took and when it ended.
    uint32_t lastSaveMs = 0;
    uint32_t lastSaveEndTick = 0;
};

// The one record of the program.
extern HousekeepingState Housekeeping;

// What the tick needs of the desktop. Any member may be null: no shell, no
// icon, no lease view, no way to show a notice.
struct TickDesktop {
    // A desktop shell exists (Windows: a window of class "Shell_TrayWnd",
    // titled "Program Manager" or of class "Progman").
    bool (*shellPresent)() = nullptr;
    // Asks for the tray icon to be shown (true) or hidden; the Windows main
    // window posts MSG_SET_TRAY_ICON to itself.
    void (*postTrayIcon)(bool show) = nullptr;
    // Refreshes the Active Leases page when it is open.
    void (*refreshLeaseView)() = nullptr;
    // Tells the administrator that NIMBO.INI could not be written (error: the
    // system's error code). False when it could not be shown (no icon yet):
    // the next failing save tries again.
    bool (*showSaveNotice)(long error) = nullptr;
    // Tells the administrator that a save succeeded again after a failure
    // that showSaveNotice reported.
    void (*showSaveRecovered)() = nullptr;
};

// The tick count of the refresh throttle: TickCountMs(), or a test's source.
using TickSource = uint32_t (*)();
void SetTickSource(TickSource source);  // nullptr: back to TickCountMs
uint32_t CurrentTick();

// One timer tick, in this order: 1. save ([Leases] when LeasesDirty is set;
// everything when a settings save failed) when one is due (SaveDue; the
// tick reads the tick source when it starts and after a save, to time it);
// 2. logon tracking; 3. ExpireLeases under LeaseLock; 4. the lease view
// refresh (AutoRefresh on, requested, and more than 3000 ms since the last);
// 5. the icon retry.
void RunTimerTick(HousekeepingState& state, const TickDesktop& desktop);

// ---- the steps and transitions, for the window procedure and the tests ----

// Step 1: whether a save may run at `now` (tick count), after the last one:
// always after one under SLOW_SAVE_MS, else once SLOW_SAVE_PAUSE_FACTOR times
// its duration, at most SLOW_SAVE_PAUSE_LIMIT_MS, has passed since it ended.
bool SaveDue(const HousekeepingState& state, uint32_t now);
// Records a save that ran from `start` to `end` (tick counts).
void NoteSaveTime(HousekeepingState& state, uint32_t start, uint32_t end);

// After any save: success clears the failure and its notice (and says so
// when the notice had been shown); a failure shows the notice unless it has
// been shown since the last success.
void NoteSaveResult(HousekeepingState& state, bool saved, const TickDesktop& desktop);
// After the properties window (which saves everything when it closes):
// a failed save there makes the tick retry the whole settings save.
void NoteSettingsSaved(HousekeepingState& state, bool saved);

enum class LogonChange { None, LoggedOn, LoggedOff };
// Step 2. Logged off and a shell found: logs "User Logged On", clears both
// logoff flags; the caller shows the icon. Logoff seen and no shell: logs
// "User Logged Off" and sets logged off.
LogonChange TrackLogon(HousekeepingState& state, bool shellPresent);

// Step 4: true when a refresh is to be sent now (and records it).
bool TakeLeaseViewRefresh(HousekeepingState& state, bool autoRefresh, uint32_t now);

// Step 5: true when the icon is to be added again (clears the retry).
bool TakeIconRetry(HousekeepingState& state);

// Show: whether the shown icon must be removed before it is added again.
bool IconNeedsRemoveBeforeAdd(const HousekeepingState& state);
// After the add: shown, or retried by the next tick.
void IconAddResult(HousekeepingState& state, bool added);
// Hide: clears the retry; true when an icon is to be deleted now: one is
// shown (logs "Hide Icon"), or an add failed and may have reached the shell
// all the same (deleting an icon that is not there does no harm).
bool BeginHideIcon(HousekeepingState& state);
// The shell was (re)started with an empty notification area (Windows:
// "TaskbarCreated"): the icon counts as gone; true when it is to be added
// again (it was shown, or its add is being retried). An icon hidden on
// purpose stays hidden.
bool TaskbarRecreated(HousekeepingState& state);

// WM_ENDSESSION: logs "End Session - Logoff" (logoff, which sets logoff
// seen; returns true: hide the icon) or "End Session" (returns false).
bool EndSession(HousekeepingState& state, bool logoff);
