// nimbo: the Linux host of the server.
//
//   nimbo [--dir DIR] [--server-port N] [--client-port N] [switches]
//   nimbo --version
//   nimbo [--dir DIR] --export-kea OUT
//
// The program directory (NIMBO.INI, NIMBO.LOG, Addresses.LOG and the files
// nimbo.lock, nimbo.run and nimbo.ctl) is the directory of the executable,
// or DIR. The first start in a directory is the server and runs in the
// foreground until SIGTERM, SIGINT, SIGHUP (unless ignored at start) or a
// "/SHUTDOWN" command; a later start hands its switches (/SHUTDOWN, /QUIET,
// /OPTIONS, /SHOWICON, /HIDEICON; "-" works as well as "/") to that server,
// prints its answer and exits. Those switches never start a server: with
// none running they end with "no server is running in DIR", exit code 1.
// As root, a server start in a directory that other users own or may write
// is refused with exit code 77 before anything is written.
// The texts that the Windows program shows in message boxes (the answers,
// a first start's "Command Line parameters Error", the static address
// warning, a failed save) go to standard error. A word that starts with "--"
// and is no option of nimbo's ends the start before anything runs: the
// usage on standard error, exit code 2. A run whose final save of NIMBO.INI
// fails ends with exit code 1.
// --export-kea writes kea-dhcp4.conf and kea-leases4.csv for ISC Kea into
// OUT from NIMBO.INI and prints a summary; it starts no server (exit code 1
// when NIMBO.INI is missing or unreadable or a file cannot be written, 2
// when OUT is no directory).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/paths.h"
#include "export/kea_export_command.h"
#include "host/server_host.h"
#include "nimbo_version.h"

namespace {

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return ".";
    return DirectoryOf(std::string(buffer.data(), static_cast<size_t>(length)));
}

const char* const USAGE =
    "usage: nimbo [--dir DIR] [--server-port N] [--client-port N] [switches]\n"
    "       nimbo --version\n"
    "       nimbo [--dir DIR] --export-kea OUT\n"
    "  Runs the DHCP server with NIMBO.INI, NIMBO.LOG and Addresses.LOG in DIR\n"
    "  (default: the directory of this program). When a server already runs\n"
    "  there, hands it the switches instead (none = /SHOWICON):\n"
    "  /SHUTDOWN stops it, /QUIET answers without a message; /OPTIONS,\n"
    "  /SHOWICON and /HIDEICON are accepted. \"-\" works in place of \"/\".\n"
    "  --export-kea writes kea-dhcp4.conf and kea-leases4.csv for ISC Kea into\n"
    "  OUT from NIMBO.INI (stop the server first, so that its leases are saved).\n";

// The export for Kea: the configuration names the lease file by its
// absolute path, where Kea on this machine finds it.
int ExportForKea(const HostOptions& options) {
    std::error_code ignored;
    std::string directory = std::filesystem::absolute(options.exportDirectory, ignored).string();
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    const KeaExportOutcome outcome =
        ExportToKea(JoinPath(options.directory, "NIMBO.INI"), directory, JoinPath(directory, KEA_LEASE_FILE));
    if (outcome.exitCode != EXPORT_OK) {
        std::fprintf(stderr, "nimbo: %s\n", outcome.error.c_str());
        return outcome.exitCode;
    }
    std::fputs(outcome.summary.c_str(), stdout);
    return EXPORT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-?")) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::printf("nimbo %s\n", NIMBO_VERSION_TEXT);
        return 0;
    }
    HostOptions options;
    std::string error;
    if (!ParseHostArguments(arguments, ProgramDirectory(), &options, &error)) {
        std::fprintf(stderr, "nimbo: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    if (!options.exportDirectory.empty()) return ExportForKea(options);
    return RunServerHost(options);
}
