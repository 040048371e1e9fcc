// The export to Kea as a command of both programs: `nimbo --export-kea DIR`
// and `NIMBO.exe /EXPORTKEA DIR`. It reads NIMBO.INI from disk through the
// settings loader (starting no server, so it works whether one runs or not)
// and writes kea-dhcp4.conf and kea-leases4.csv into DIR, each in full
// before it is renamed into place.
#pragma once

#include <string>

constexpr const char* KEA_CONFIG_FILE = "kea-dhcp4.conf";
constexpr const char* KEA_LEASE_FILE = "kea-leases4.csv";

// Exit codes of the command.
constexpr int EXPORT_OK = 0;
constexpr int EXPORT_FAILED = 1;        // NIMBO.INI missing or unreadable, or a file not written
constexpr int EXPORT_BAD_ARGUMENT = 2;  // no directory, or one that is none

struct KeaExportOutcome {
    int exitCode = EXPORT_OK;
    std::string summary;  // what was written and what was not, when the files are written
    std::string error;    // one line, otherwise
};

// Loads iniPath into this process's settings and lease database (nothing
// else may have loaded them) and writes the two files into directory.
// leaseFile is the lease file's path as the configuration names it, that
// is, where Kea is to read it.
KeaExportOutcome ExportToKea(const std::string& iniPath, const std::string& directory, const std::string& leaseFile);

// The Windows program's switch: "/EXPORTKEA DIR" ("-" for "/", any case;
// DIR may stand in double quotes). None for any other command line; Bad
// when the directory is missing or the quotes are not closed.
enum class ExportCommandLine { None, Export, Bad };
ExportCommandLine ParseExportCommandLine(const std::string& commandLine, std::string* directory);
