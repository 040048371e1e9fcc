#include "export/kea_export_command.h"

#include <filesystem>
#include <system_error>

#include "base/clock.h"
#include "base/paths.h"
#include "base/text_string.h"
#include "config/file_commit.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/udp_socket.h"
#include "export/kea_export.h"

namespace {

constexpr const char* EXPORT_SWITCH = "EXPORTKEA";
constexpr const char* BLANKS = " \t";

KeaExportOutcome Failure(int exitCode, const std::string& error) {
    KeaExportOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.error = error;
    return outcome;
}

std::string ErrorCode(long error) { return " (error " + std::to_string(error) + ")"; }

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

}  // namespace

KeaExportOutcome ExportToKea(const std::string& iniPath, const std::string& directory, const std::string& leaseFile) {
    std::error_code ignored;
    if (directory.empty() || !std::filesystem::is_directory(directory, ignored))
        return Failure(EXPORT_BAD_ARGUMENT, "no such directory: " + directory);

    std::string text;
    bool exists = false;
    long error = 0;
    if (!ReadProgramFile(iniPath, text, exists, &error))
        return Failure(EXPORT_FAILED, "cannot read " + iniPath + ErrorCode(error));
    if (!exists) return Failure(EXPORT_FAILED, "no NIMBO.INI: " + iniPath + " does not exist");
    loadSettingsFromText(text);

    const std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    KeaExportInput input;
    input.now = NowFileTime();
    if (!settings->BindToAll && settings->serverAddress != 0)
        input.interfaceName = InterfaceHoldingAddress(settings->serverAddress);
    input.leaseFile = leaseFile;
    const KeaExport exported = BuildKeaExport(input);

    // The lease file first: a configuration is never left naming leases
    // that were not written.
    const std::string leasePath = JoinPath(directory, KEA_LEASE_FILE);
    const std::string configPath = JoinPath(directory, KEA_CONFIG_FILE);
    if (!CommitFile(leasePath, exported.leases, &error))
        return Failure(EXPORT_FAILED, "cannot write " + leasePath + ErrorCode(error));
    if (!CommitFile(configPath, exported.config, &error))
        return Failure(EXPORT_FAILED, "cannot write " + configPath + ErrorCode(error));

    KeaExportOutcome outcome;
    outcome.summary = "Exported " + iniPath + " for Kea (kea-dhcp4 2.2):\n  " + configPath + "\n  " + leasePath + "\n" +
                      exported.summary +
                      "Next: Nimbo saves its lease table when it stops, so stop it before the export and keep it "
                      "stopped; check the configuration with \"kea-dhcp4 -t " +
                      std::string(KEA_CONFIG_FILE) + "\", then start kea-dhcp4 with it.\n";
    return outcome;
}

ExportCommandLine ParseExportCommandLine(const std::string& commandLine, std::string* directory) {
    const size_t start = commandLine.find_first_not_of(BLANKS);
    if (start == std::string::npos || (commandLine[start] != '/' && commandLine[start] != '-'))
        return ExportCommandLine::None;
    size_t end = commandLine.find_first_of(BLANKS, start);
    if (end == std::string::npos) end = commandLine.size();
    if (!EqualNoCase(commandLine.substr(start + 1, end - start - 1), EXPORT_SWITCH)) return ExportCommandLine::None;

    std::string rest = Trimmed(commandLine.substr(end));
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        if (close != rest.size() - 1) return ExportCommandLine::Bad;
        rest = rest.substr(1, close - 1);
    }
    if (rest.empty()) return ExportCommandLine::Bad;
    *directory = rest;
    return ExportCommandLine::Export;
}
