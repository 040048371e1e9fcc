// The properties window, "Nimbo Settings": the modal tabbed dialog in which
// the administrator edits the settings, the address ranges and the
// reservations, and views and deletes active leases. Everything here runs on
// the main thread, inside the main window's message handling.
#pragma once

#include <windows.h>

#include <string>

// Posted to the main window when the lease table changed (by the lease
// store's notification), and by the main window to the Active Leases page to
// have it refilled.
constexpr UINT MSG_LEASES_CHANGED = WM_APP + 1;

// Runs the dialog modally with no owner and saves all settings when it ends;
// when it is already open, only brings it to the foreground. The caller (the
// main window's Properties command) holds StartupLock around the call.
void ShowPropertiesDialog();

// The window's title while a hand-over of the service's settings runs; ""
// gives back the dialog's own, "Nimbo Settings".
void SetPropertiesTitle(const std::string& title);

// The Active Leases page while it exists, else null. The main window posts it
// MSG_LEASES_CHANGED to have it refilled.
HWND ActiveLeasesPage();

// The help file, NIMBO.CHM beside the program; formed at start-up.
void SetHelpFilePath(const std::string& path);
// Asks the shell to open the help file ("open", working directory ".", shown
// normally). The owner is only the parent of any message the shell shows.
void OpenHelp(HWND owner);
