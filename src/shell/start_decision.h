// What a start of NIMBO.exe is, decided from the facts it gathered: port 67
// has room for one server per machine, so a start by hand never becomes a
// second server beside the service "Nimbo". Portable; the Windows side
// (service_start_win32.cpp, startup_mutex_win32.cpp) only gathers the facts
// and carries the decisions out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The elevated half of a stop or a hand-over of the service, started by a
// start by hand through the "runas" verb. Read before the single-instance
// steps, like "/service", as the whole command line in any letter case; they
// never reach the command message.
constexpr const char* STOP_SERVICE_SWITCH = "/STOPSERVICE";
constexpr const char* HAND_OVER_SWITCH = "/HANDOVER";
enum class ElevatedSwitch { None, StopService, HandOver };
ElevatedSwitch ReadElevatedSwitch(const std::string& commandLine);

struct StartFacts {
    bool windowFound = false;       // a server window in this session
    bool serviceActive = false;     // the service "Nimbo" is installed and not stopped
    bool startedByService = false;  // this is the service's own server (its wrapper's child, or in session 0)
    bool handOver = false;          // the elevated half of a hand-over
};

enum class StartAction {
    SecondStart,   // hand the command line to the window found
    FirstStart,    // become the server
    StopService,   // stop the service through the service control manager
    HandOver,      // open the service's settings by the hand-over
    Nothing,       // end at once
    CommandError,  // show "Command Line parameters Error"
};

struct StartDecision {
    StartAction action = StartAction::FirstStart;
    bool quiet = false;  // StopService: "/QUIET" was given, no message on success
};

// A window in this session takes the command line, as always. Without one,
// while the service runs and this is not its own server (nor the hand-over's
// elevated half): "/SHUTDOWN" stops the service; no words, "/OPTIONS" or
// "/SHOWICON" lead to the hand-over; other good words do nothing; a bad word
// is the command-line error.
StartDecision DecideStart(const StartFacts& facts, const std::string& commandLine);

// Whether anyone can answer a message box: not in the services' session 0,
// nor in a server started with "/service" or by the service wrapper.
bool MayShowMessageBoxes(uint32_t sessionId, bool serviceCommandLine, bool startedByService);

// The start-up lock of the program in `directory`: "Local\NIMBOMutex-" and 16
// hexadecimal digits of the folder's path, letter case ignored. One per
// folder, so that the lock of one installation is not another's.
std::string StartupMutexName(const std::string& directory);
// Its access list (SDDL): full access for SYSTEM, Administrators and the
// creating account (userSid), none for anyone else.
std::string StartupMutexAccess(const std::string& userSid);
// Whether a start-up lock that exists already may be waited for: only when
// SYSTEM, Administrators or this process's own account (ownSids: its user
// and its default owner) owns it. Another account's lock is passed by, so
// that no one can keep the server from starting by holding it.
bool MayWaitForStartupMutex(const std::string& ownerSid, const std::vector<std::string>& ownSids);

// Well-known accounts, as SID strings.
constexpr const char* SID_SYSTEM = "S-1-5-18";
constexpr const char* SID_ADMINISTRATORS = "S-1-5-32-544";
