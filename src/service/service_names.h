// The names NimboSVC shares with the system and with the server program.
// The system compares every one of them without regard to case.
#pragma once

#include <cstdint>

constexpr const char* SERVICE_NAME = "Nimbo";
constexpr const char* SERVICE_DISPLAY_NAME = "Nimbo DHCP Server";
// The name in the dispatch table and in the control handler registration.
// A service of its own process is not looked up by it.
constexpr const char* SERVICE_DISPATCH_NAME = "Nimbo Service";
// Appended to the wrapper's directory: the program the service runs.
constexpr const char* SERVER_PROGRAM_FILE = "\\NIMBO.EXE";
// The server's hidden main window and its Shutdown Server command.
constexpr const char* SERVER_WINDOW_CLASS = "NIMBOClass";
constexpr const char* SERVER_WINDOW_TITLE = "DHCP Server";
constexpr unsigned SERVER_STOP_COMMAND = 40003;
// Appended to in the wrapper's current directory.
constexpr const char* SERVICE_ERROR_LOG = "nimbosvc.log";
// Under HKEY_LOCAL_MACHINE; "%s" stands for the service name.
constexpr const char* SERVICE_PARAMETERS_KEY = "System\\CurrentControlSet\\Services\\%s\\Parameters";
constexpr const char* PARAM_PROGRAM = "Program";
constexpr const char* PARAM_START_DIR = "StartDir";
constexpr const char* PARAM_PROGRAM_PARAMS = "ProgramParams";
// Read buffers of the three values at service start.
constexpr uint32_t PROGRAM_BUFFER = 260;
constexpr uint32_t START_DIR_BUFFER = 260;
constexpr uint32_t PROGRAM_PARAMS_BUFFER = 256;
// The wait hint of every status report; a stop also looks this long for the
// server window.
constexpr uint32_t SERVICE_WAIT_HINT_MS = 5000;
