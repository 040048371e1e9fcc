// What NimboSVC derives without the system: the command it was given, the
// paths it forms from its own location and the child's command line.
#pragma once

#include <cstdint>
#include <string>

enum class WrapperCommand { Usage, Config, Remove };

struct WrapperRequest {
    WrapperCommand command = WrapperCommand::Usage;
    bool quiet = false;
};

// The arguments after the program name. "Config" or "Remove" as the first
// and "Quiet" only as the second, all without regard to case; anything else
// (or nothing) is Usage, which is also how the system starts the service.
WrapperRequest ParseWrapperArguments(int count, const char* const* arguments);

// The full path up to, not including, its last backslash; empty when there
// is none.
std::string WrapperDirectory(const std::string& path);

// The server program beside the wrapper: directory + "\NIMBO.EXE".
std::string ServerProgramPath(const std::string& directory);

// The service's parameters key under HKEY_LOCAL_MACHINE.
std::string ParametersKeyPath(const std::string& serviceName);

// ProgramParams as "Config" writes it: the server then knows it runs as the
// service's child ("Running as NT service" in its log) and shows no message
// box, which no one could answer there.
constexpr const char* DEFAULT_PROGRAM_PARAMS = "/service";

// What the control handler does with a control of the service control
// manager. Shutdown and preshutdown stop the server as a stop does, and wait
// for it to have saved and ended, within the time the system allows.
// shutdownAlias: a user-defined control (128-255) taken as shutdown, which a
// test can send (the system sends shutdown only when it shuts down); 0: none.
enum class ControlAction { Stop, StopAndWait, Interrogate, Ignore };
ControlAction ActionForControl(uint32_t control, uint32_t shutdownAlias = 0);

// The child's command line: the program path in double quotes, a blank and
// the parameters. The server takes the first word of its command line as its
// own name and drops it, so the parameters must come second to reach it.
std::string ChildCommandLine(const std::string& program, const std::string& parameters);
