#include "service/wrapper_arguments.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "service/service_names.h"

namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

WrapperRequest ParseWrapperArguments(int count, const char* const* arguments) {
    WrapperRequest request;
    if (count < 1) return request;
    if (SameWord(arguments[0], "Config")) {
        request.command = WrapperCommand::Config;
    } else if (SameWord(arguments[0], "Remove")) {
        request.command = WrapperCommand::Remove;
    } else {
        return request;
    }
    request.quiet = count >= 2 && SameWord(arguments[1], "Quiet");
    return request;
}

std::string WrapperDirectory(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ServerProgramPath(const std::string& directory) { return directory + SERVER_PROGRAM_FILE; }

std::string ParametersKeyPath(const std::string& serviceName) {
    std::string path = SERVICE_PARAMETERS_KEY;
    return path.replace(path.find("%s"), 2, serviceName);
}

ControlAction ActionForControl(uint32_t control, uint32_t shutdownAlias) {
    constexpr uint32_t STOP = 1, INTERROGATE = 4, SHUTDOWN = 5, PRESHUTDOWN = 15;
    if (control == STOP) return ControlAction::Stop;
    if (control == INTERROGATE) return ControlAction::Interrogate;
    if (control == SHUTDOWN || control == PRESHUTDOWN || (shutdownAlias != 0 && control == shutdownAlias)) {
        return ControlAction::StopAndWait;
    }
    return ControlAction::Ignore;
}

std::string ChildCommandLine(const std::string& program, const std::string& parameters) {
    return "\"" + program + "\" " + parameters;
}
