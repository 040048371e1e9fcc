#include "shell/start_decision.h"

#include <algorithm>
#include <cstdio>

#include "base/text_string.h"
#include "shell/command_message.h"

namespace {

bool Has(const std::vector<HostAction>& actions, HostAction action) {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
}

}  // namespace

ElevatedSwitch ReadElevatedSwitch(const std::string& commandLine) {
    if (EqualNoCase(commandLine, STOP_SERVICE_SWITCH)) return ElevatedSwitch::StopService;
    if (EqualNoCase(commandLine, HAND_OVER_SWITCH)) return ElevatedSwitch::HandOver;
    return ElevatedSwitch::None;
}

StartDecision DecideStart(const StartFacts& facts, const std::string& commandLine) {
    StartDecision decision;
    if (facts.windowFound) {
        decision.action = StartAction::SecondStart;
        return decision;
    }
    if (facts.handOver || !facts.serviceActive || facts.startedByService) return decision;

    std::vector<HostAction> actions;
    const int answer = ReadCommandWords(commandLine.c_str(), &actions);
    const bool noWords = commandLine.find_first_not_of(' ') == std::string::npos;
    if (answer == COMMAND_RESULT_ERROR) {
        decision.action = StartAction::CommandError;
    } else if (Has(actions, HostAction::Shutdown)) {
        decision.action = StartAction::StopService;
        decision.quiet = answer == COMMAND_RESULT_NONE;
    } else if (noWords || Has(actions, HostAction::Options) || Has(actions, HostAction::ShowIcon)) {
        decision.action = StartAction::HandOver;
    } else {
        decision.action = StartAction::Nothing;
    }
    return decision;
}

bool MayShowMessageBoxes(uint32_t sessionId, bool serviceCommandLine, bool startedByService) {
    return sessionId != 0 && !serviceCommandLine && !startedByService;
}

std::string StartupMutexName(const std::string& directory) {
    // FNV-1a, 64 bits.
    uint64_t hash = 14695981039346656037ull;
    for (char c : directory) {
        hash ^= static_cast<unsigned char>(FoldAsciiCase(c));
        hash *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("Local\\NIMBOMutex-") + digits;
}

std::string StartupMutexAccess(const std::string& userSid) {
    return "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + userSid + ")";
}

bool MayWaitForStartupMutex(const std::string& ownerSid, const std::vector<std::string>& ownSids) {
    if (ownerSid.empty()) return false;
    if (ownerSid == SID_SYSTEM || ownerSid == SID_ADMINISTRATORS) return true;
    return std::find(ownSids.begin(), ownSids.end(), ownerSid) != ownSids.end();
}
