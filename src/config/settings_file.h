// NIMBO.INI: reading it into ServerSettings and the lease database at start
// and writing it back.
#pragma once

#include <string>

// The INI path is the program directory + "NIMBO.INI"; set before loading.
void SetIniPath(const std::string& path);
std::string IniPath();

void loadSettings();
void saveSettings();      // settings, then saveLeases, then saveReservations
void saveReservations();  // rewrites [Reservations]
void saveLeases();        // rewrites [Leases] under LeaseLock, clears LeasesDirty

// The same work on a file's text instead of the file (fuzzing, tests):
// loadSettingsFromText reads text as loadSettings reads the file, and
// SettingsFileText returns what saveSettings would write over `previous`.
void loadSettingsFromText(const std::string& text);
std::string SettingsFileText(const std::string& previous);
