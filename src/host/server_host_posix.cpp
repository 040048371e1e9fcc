#include "server_host.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "config/adapter_discovery.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/server_thread.h"
#include "base/clock.h"
#include "host/command_channel.h"
#include "shell/command_message.h"
#include "base/log.h"
#include "shell/housekeeping.h"
#include "base/paths.h"
#include "base/trusted_path.h"
#include "shell/startup_lines.h"
#include "nimbo_version.h"

namespace {

bool ParsePort(const std::string& text, uint16_t* port) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

std::string ProcessorText() {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    std::string model;
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.compare(0, 10, "model name") == 0 || line.compare(0, 9, "Processor") == 0) {
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                model = line.substr(colon + 1);
                size_t first = model.find_first_not_of(" \t");
                model = first == std::string::npos ? "" : model.substr(first);
            }
            break;
        }
    }
    utsname names{};
    ::uname(&names);
    if (model.empty()) model = names.machine;
    return FormatLine("%ld processors - %.80s", count, model.c_str());
}

// The second start: hand the command line to the running server and show
// its answer. What the Windows program shows in a message box goes to
// standard error.
int SecondStart(const HostOptions& options) {
    std::string text = options.commandLine.empty() ? "/SHOWICON" : options.commandLine;
    int answer = SendCommandToServer(options.directory, COMMAND_MESSAGE_TAG, text);
    if (answer == COMMAND_RESULT_PASSED || answer == COMMAND_RESULT_ERROR) {
        std::fprintf(stderr, "%s\n", CommandAnswerText(answer).c_str());
    } else if (answer < 0) {
        std::fprintf(stderr, "The running Nimbo server in %s did not answer\n", options.directory.c_str());
        return 1;
    }
    return 0;
}

// Carries out the actions of a command message. Only shutdown has an effect
// here: the host has no properties window and no tray icon.
bool ApplyActions(const std::vector<HostAction>& actions) {
    bool shutdown = false;
    for (HostAction action : actions) {
        if (action == HostAction::Shutdown) shutdown = true;
    }
    return shutdown;
}

// Every command message that is whole by now, answered before its actions
// run. Never waits for a client. True when one asked for shutdown.
bool ServeCommands(int listener) {
    bool shutdown = false;
    int connection = -1;
    uint32_t tag = 0;
    std::string text;
    while (ReceiveCommand(listener, &connection, &tag, &text)) {
        std::vector<HostAction> actions;
        int answer = HandleCommandMessage(tag, text.c_str(), &actions);
        AnswerCommand(connection, answer);
        if (ApplyActions(actions)) shutdown = true;
    }
    return shutdown;
}

// NIMBO.LOG may sit on the very disk that failed, so a failed save is also
// told on standard error, where a service manager or a terminal sees it.
bool PrintSaveFailure(long error) {
    std::fprintf(stderr,
                 "nimbo: %s could not be written: %s (error %ld). The server keeps serving and tries again; "
                 "see NIMBO.LOG.\n",
                 IniPath().c_str(), std::strerror(static_cast<int>(error)), error);
    return true;
}

void PrintSaveRecovered() { std::fprintf(stderr, "nimbo: %s written again\n", IniPath().c_str()); }

// The host's desktop: no shell, no icon, no lease view; save notices go to
// standard error.
TickDesktop HostDesktop() {
    TickDesktop desktop;
    desktop.showSaveNotice = PrintSaveFailure;
    desktop.showSaveRecovered = PrintSaveRecovered;
    return desktop;
}

}  // namespace

bool ParseHostArguments(const std::vector<std::string>& arguments, const std::string& programDirectory,
                        HostOptions* options, std::string* error) {
    options->directory = programDirectory;
    std::vector<std::string> rest;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool needsValue = argument == "--dir" || argument == "--server-port" || argument == "--client-port" ||
                          argument == "--export-kea";
        if (!needsValue) {
            // "--" starts the host's own options only; a mistyped one must
            // not reach the command line, where it would merely be logged
            // while the server started anyway.
            if (argument.compare(0, 2, "--") == 0) {
                *error = "unknown option " + argument;
                return false;
            }
            rest.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size()) {
            *error = argument + " needs a value";
            return false;
        }
        const std::string& value = arguments[++i];
        if (argument == "--dir") {
            if (value.empty()) {
                *error = "--dir needs a directory";
                return false;
            }
            options->directory = value;
            while (options->directory.size() > 1 && options->directory.back() == '/') options->directory.pop_back();
        } else if (argument == "--export-kea") {
            if (value.empty()) {
                *error = "--export-kea needs a directory";
                return false;
            }
            options->exportDirectory = value;
        } else if (!ParsePort(value, argument == "--server-port" ? &options->serverPort : &options->clientPort)) {
            *error = argument + " needs a port number from 1 to 65535";
            return false;
        }
    }
    options->commandLine = JoinCommandLine(rest);
    if (!options->exportDirectory.empty() && !rest.empty()) {
        *error = "--export-kea takes no switches: " + options->commandLine;
        return false;
    }
    return true;
}

void RunHousekeepingTick() { RunTimerTick(Housekeeping, HostDesktop()); }

std::string StartupBannerLine(const char* version) {
    utsname names{};
    SystemVersion system;
    if (::uname(&names) == 0) std::sscanf(names.release, "%ld.%ld.%ld", &system.major, &system.minor, &system.build);
    system.servicePack = names.version;
    return StartupBannerText(version, names.sysname, system);
}

std::string HardwareLine() {
    struct sysinfo info {};
    ::sysinfo(&info);
    const unsigned long long unit = info.mem_unit ? info.mem_unit : 1;
    unsigned long long totalRam = info.totalram * unit, freeRam = (info.freeram + info.bufferram) * unit;
    unsigned long long totalSwap = info.totalswap * unit, freeSwap = info.freeswap * unit;
    // Linux has no single "virtual memory" figure; RAM and swap together is
    // what the process can commit.
    unsigned long long totalVirtual = totalRam + totalSwap, freeVirtual = freeRam + freeSwap;
    int load = totalRam ? static_cast<int>((totalRam - freeRam) * 100 / totalRam) : 0;
    return HardwareText(ProcessorText(),
                        MemoryFigures{totalRam, freeRam, load, totalSwap, freeSwap, totalVirtual, freeVirtual});
}

namespace {

enum class StartRole { Server, SecondStart, NoServer };

// Decides, holding the start-up lock, what this start is: the server (only
// when `mayServe`: it then holds the run lock), a second start to a server
// that answers, or one that found no server. A server that is shutting down
// still holds the run lock but no longer answers; wait for it to go
// (bounded) instead of failing the start.
StartRole FindStartRole(const std::string& directory, bool mayServe) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (mayServe && ClaimServerRole(directory)) return StartRole::Server;
        if (!mayServe && !RunLockHeld(directory)) return StartRole::NoServer;
        int answer = SendCommandToServer(directory, 0, "");  // probe: wrong tag, no effect
        if (answer >= 0) break;
        ::usleep(100000);
    }
    return StartRole::SecondStart;
}

// A command word is for a running server: such a start makes no file (it
// takes the start-up lock only when the file is there) and never serves.
int CommandStart(const HostOptions& options) {
    StartRole role = StartRole::NoServer;
    if (AcquireStartupLock(options.directory, false)) {
        role = FindStartRole(options.directory, false);
    } else if (errno != ENOENT) {
        role = StartRole::SecondStart;  // a lock file it may not open: let the server answer, or not
    }
    int code = 1;
    if (role == StartRole::NoServer) {
        std::fprintf(stderr, "no server is running in %s\n", options.directory.c_str());
    } else {
        code = SecondStart(options);
    }
    ReleaseStartupLock();
    return code;
}

// The signals that stop the server: SIGTERM, SIGINT, and SIGHUP (a closed
// terminal) unless it was ignored when the program started (nohup).
sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    struct sigaction hangUp {};
    if (::sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN) sigaddset(&signals, SIGHUP);
    return signals;
}

}  // namespace

int RunServerHost(const HostOptions& options) {
    if (HasCommandWord(options.commandLine)) return CommandStart(options);
    // Root would read, write and lock files that others could have replaced
    // by links: nothing is touched in such a directory.
    if (::geteuid() == 0) {
        const std::string reason = DirectoryOpenToOthers(options.directory);
        if (!reason.empty()) {
            std::fprintf(stderr,
                         "nimbo: refusing to run as root in %s: %s. Give the directory and those above it to root, "
                         "writable by root only, or run nimbo as a user of its own.\n",
                         options.directory.c_str(), reason.c_str());
            return EXIT_DIRECTORY_OPEN_TO_OTHERS;
        }
    }
    // The named mutex: starts take turns until one knows what it is.
    if (!AcquireStartupLock(options.directory)) {
        std::fprintf(stderr, "Cannot use the program directory %s: %s\n", options.directory.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (FindStartRole(options.directory, true) != StartRole::Server) {
        int code = SecondStart(options);
        ReleaseStartupLock();
        return code;
    }

    // Signals are taken on the main loop's descriptor, never by the server thread.
    sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    ::signal(SIGPIPE, SIG_IGN);

    SetLogDirectory(options.directory);
    SetIniPath(JoinPath(options.directory, "NIMBO.INI"));
    UpdateSettings([](ServerSettings& settings) { settings.isNT = false; });
    discoverAdapterSettings();
    loadSettings();
    WriteLog(0, "%s", StartupBannerLine(NIMBO_VERSION_TEXT).c_str());
    WriteLog(0, "%s", HardwareLine().c_str());

    int listener = OpenCommandListener(options.directory);
    SetServerPorts(options.serverPort, options.clientPort);
    StartServerThread();

    bool shutdown = false;
    if (IsServiceCommandLine(options.commandLine)) {
        WriteLog(1, "Running as NT service\n");
    } else if (!options.commandLine.empty()) {
        std::vector<HostAction> actions;
        int answer = HandleCommandMessage(COMMAND_MESSAGE_TAG, options.commandLine.c_str(), &actions);
        if (answer == COMMAND_RESULT_ERROR) std::fprintf(stderr, "%s\n", CommandAnswerText(answer).c_str());
        shutdown = ApplyActions(actions);
    }
    ReleaseStartupLock();

    uint32_t nextTick = TickCountMs() + MAIN_TIMER_PERIOD_MS;
    while (!shutdown) {
        uint32_t now = TickCountMs();
        int32_t untilTick = static_cast<int32_t>(nextTick - now);
        if (untilTick <= 0) {
            RunHousekeepingTick();
            // Also drops command clients that took too long.
            if (listener >= 0 && ServeCommands(listener)) shutdown = true;
            nextTick = TickCountMs() + MAIN_TIMER_PERIOD_MS;
            continue;
        }
        // The signals, the listener and the command connections whose
        // message is still coming in.
        std::vector<pollfd> watched{{signalFd, POLLIN, 0}};
        if (listener >= 0) {
            watched.push_back({listener, POLLIN, 0});
            for (int fd : PendingCommandConnections()) watched.push_back({fd, POLLIN, 0});
        }
        int ready = ::poll(watched.data(), watched.size(), untilTick);
        if (ready < 0) {
            if (errno == EINTR) continue;
            WriteLog(-1, "Main loop poll failed - Code = %d\n", errno);
            break;
        }
        if (watched[0].revents & POLLIN) {
            signalfd_siginfo signalInfo;
            if (::read(signalFd, &signalInfo, sizeof signalInfo) == sizeof signalInfo) {
                WriteLog(1, "Signal %d - Shutdown Server\n", static_cast<int>(signalInfo.ssi_signo));
                shutdown = true;
            }
        }
        bool commandReady = false;
        for (size_t i = 1; i < watched.size(); ++i) commandReady = commandReady || watched[i].revents != 0;
        if (commandReady && ServeCommands(listener)) shutdown = true;
    }

    // Shutdown, in the Windows program's order: no more commands, stop the
    // server thread, then save everything. The run lock stays held until the
    // process exits, so a new start waits until the file is written.
    CloseCommandListener(listener, options.directory);
    if (signalFd >= 0) ::close(signalFd);
    return ShutDownServer(5000);
}

int ShutDownServer(uint32_t timeoutMs) {
    const bool stopped = StopServerThread(timeoutMs);
    const bool saved = saveSettings();
    int code = 0;
    if (saved) {
        NoteSaveResult(Housekeeping, true, HostDesktop());
    } else {
        const long error = LastSaveError();
        std::fprintf(stderr, "nimbo: the final save failed: %s could not be written: %s (error %ld). "
                             "What changed since the last good save is lost.\n",
                     IniPath().c_str(), std::strerror(static_cast<int>(error)), error);
        code = EXIT_FINAL_SAVE_FAILED;
    }
    if (!stopped) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
