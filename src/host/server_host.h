// The Linux host: start-up, single instance per program directory, the
// 500 ms housekeeping, command messages and shutdown of the server, in the
// order of the Windows program (without its window and tray icon).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostOptions {
    std::string directory;    // program directory: NIMBO.INI, the logs, the lock and socket files
    std::string commandLine;  // the switches, joined by blanks
    std::string exportDirectory;  // --export-kea DIR: export for Kea into DIR instead of running
    // Ports of the server thread; other values only in tests.
    uint16_t serverPort = 67;
    uint16_t clientPort = 68;
};

// Parses the arguments of `nimbo` (without the program name): "--dir DIR",
// "--server-port N", "--client-port N" and "--export-kea DIR" are the
// host's own options; the rest is the command line. The directory defaults
// to `programDirectory`. False (with a message in *error) for an option
// without its value, for any other word that starts with "--", and for
// switches beside --export-kea, which starts no server to hand them to.
bool ParseHostArguments(const std::vector<std::string>& arguments, const std::string& programDirectory,
                        HostOptions* options, std::string* error);

// Runs one start: either the server until it is shut down, or a second
// start that hands its command line to the running server. Returns the exit
// code. A command line with a command word (HasCommandWord) is for a running
// server only: without one it prints "no server is running in DIR" and
// gives 1, creating no file. Run as root in a directory that other users
// own or may write (DirectoryOpenToOthers), any other start refuses with
// EXIT_DIRECTORY_OPEN_TO_OTHERS before it touches a file.
int RunServerHost(const HostOptions& options);

// Exit code of that refusal (as 77: the start can never succeed as it is).
constexpr int EXIT_DIRECTORY_OPEN_TO_OTHERS = 77;

// The exit code of a run whose final save failed (told on standard error).
constexpr int EXIT_FINAL_SAVE_FAILED = 1;

// The end of a run, after the main loop: stops the server thread (waiting
// up to timeoutMs) and saves the settings, leases and reservations. Returns
// the exit code when the thread ended: 0, or EXIT_FINAL_SAVE_FAILED. When it
// did not, the thread still uses the lease table and the log lock, which the
// static destructors of a normal exit would destroy under it: the process
// then ends at once, right after the save, without them (same exit codes).
int ShutDownServer(uint32_t timeoutMs);

// One tick of the housekeeping timer: the Windows main window's tick
// without a desktop. A save that fails is told on standard error once, and
// again when a save succeeds after it.
void RunHousekeepingTick();

// The start-up banner texts (without the level), for the log.
std::string StartupBannerLine(const char* version);
std::string HardwareLine();
