// NIMBO.INI: reading it into ServerSettings and the lease database at start
// and writing it back.
#pragma once

#include <string>

// The INI path is the program directory + "NIMBO.INI"; set before loading.
void SetIniPath(const std::string& path);
std::string IniPath();

void loadSettings();
// Each save returns true when NIMBO.INI was written. A failure is logged at
// level 0 once until a save succeeds again, leaves the file as it was and
// keeps LeasesDirty set for the next try.
bool saveSettings();      // settings, then the leases, then the reservations
bool saveReservations();  // rewrites [Reservations]
bool saveLeases();        // rewrites [Leases] under LeaseLock, clears LeasesDirty
// The system's error code (errno or GetLastError) of the last failed read or
// write of NIMBO.INI; 0 after a save that succeeded.
long LastSaveError();

// The same work on a file's text instead of the file (fuzzing, tests):
// loadSettingsFromText reads text as loadSettings reads the file, and
// SettingsFileText returns what saveSettings would write over `previous`.
void loadSettingsFromText(const std::string& text);
std::string SettingsFileText(const std::string& previous);
