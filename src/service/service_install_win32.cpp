#include <windows.h>

#include "service/console_io.h"
#include "service/folder_check_win32.h"
#include "base/service_handle_win32.h"
#include "service/service_install.h"
#include "service/service_names.h"
#include "service/wrapper_arguments.h"

namespace {

// A service of its own process. Not interactive: since Windows Vista every
// service runs in session 0, whose desktop no user sees.
constexpr DWORD SERVICE_TYPE = SERVICE_WIN32_OWN_PROCESS;
const char* const YES_OR_ESCAPE = "Yy\x1b";
// Longer than the server's own shutdown (up to 5 s for its thread, then the
// save) plus the stop's search for its window (up to 5 s).
constexpr DWORD STOP_WAIT_LIMIT_MS = 30000;

bool IsFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsYes(int key) { return key == 'Y' || key == 'y'; }

// Prints the question and reads keys until Y, y or Escape.
bool Confirmed(const char* question) {
    Say("%s", question);
    return IsYes(WaitForKey(YES_OR_ESCAPE));
}

// The service control manager, or no handle after printing why.
ServiceHandle OpenManager() {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) Say("Error Opening Service Control Manager - %ld\n", static_cast<long>(GetLastError()));
    return manager;
}

// Writes Program, StartDir and ProgramParams. A failure is printed with the
// name it concerns and the system's error code.
bool WriteParameters(const std::string& program, const std::string& directory, const std::string& parameters) {
    const std::string keyPath = ParametersKeyPath(SERVICE_NAME);
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        Say("Error writing Service Parameters (%s) - %ld\n", keyPath.c_str(), static_cast<long>(result));
        return false;
    }
    const struct {
        const char* name;
        const std::string& value;
    } values[] = {{PARAM_PROGRAM, program}, {PARAM_START_DIR, directory}, {PARAM_PROGRAM_PARAMS, parameters}};
    for (const auto& value : values) {
        result = RegSetValueExA(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.value.c_str()),
                                static_cast<DWORD>(value.value.size() + 1));
        if (result != ERROR_SUCCESS) {
            Say("Error writing Service Parameters (%s) - %ld\n", value.name, static_cast<long>(result));
            break;
        }
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// Sends the stop control and waits until the service reports stopped,
// printing each change of state once. The service control manager refuses
// to interrogate a service that is stop pending (1061), so the wait reads
// the state the manager holds, every 100 ms. It gives up after
// STOP_WAIT_LIMIT_MS on a server that does not end; the removal then takes
// effect once the service has stopped.
void StopAndWait(SC_HANDLE service) {
    Say("Stopping Service\n");
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) status.dwCurrentState = SERVICE_STOPPED;
    DWORD printed = 0;
    const DWORD started = GetTickCount();
    while (status.dwCurrentState != SERVICE_STOPPED) {
        if (status.dwCurrentState != printed) {
            printed = status.dwCurrentState;
            if (printed == SERVICE_STOP_PENDING) Say("Service is Stopping\n");
            if (printed == SERVICE_RUNNING) Say("Service is Running\n");
        }
        if (GetTickCount() - started >= STOP_WAIT_LIMIT_MS) {
            Say("Service did not stop within %lu seconds\n", static_cast<unsigned long>(STOP_WAIT_LIMIT_MS / 1000));
            return;
        }
        Sleep(100);
        if (!QueryServiceStatus(service, &status)) status.dwCurrentState = SERVICE_STOPPED;
    }
    Say("Service Stopped\n");
}

}  // namespace

int ConfigureService(const std::string& servicePath, bool quiet) {
    const std::string directory = WrapperDirectory(servicePath);
    const std::string program = ServerProgramPath(directory);
    const std::string parameters = DEFAULT_PROGRAM_PARAMS;
    if (!quiet) {
        Say("You are about to configure a Nimbo NT Service with the following parameters\n");
        Say("Service Display Name - %s\n", SERVICE_DISPLAY_NAME);
        Say("Service Program      - %s\n", servicePath.c_str());
        Say("Nimbo Program        - %s\n", program.c_str());
        Say("Nimbo Directory      - %s\n", directory.c_str());
        Say("Nimbo Parameters\t - %s\n", parameters.c_str());
    }
    if (!IsFile(program)) {
        Say("\nOops. Nimbo does not exist in the above directory\n"
            "Please copy NimboSVC into the same directory as Nimbo and try again\n");
        return 1;
    }
    if (!ProgramFolderSafe(directory)) return 1;
    if (!quiet && !Confirmed("\nIf this is OK press 'Y', otherwise press 'ESC'\n")) return 0;

    ServiceHandle manager = OpenManager();
    if (!manager) return 1;
    // Quoted, so that a directory with blanks (C:\Program Files\...) cannot
    // be read as a shorter program path followed by arguments.
    const std::string binaryPath = "\"" + servicePath + "\"";
    ServiceHandle service(CreateServiceA(manager.get(), SERVICE_NAME, SERVICE_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                                         SERVICE_TYPE, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(),
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        Say("Error creating Service Entry (%s) - %ld\n", SERVICE_NAME, static_cast<long>(GetLastError()));
        return 1;
    }
    if (!WriteParameters(program, directory, parameters)) {
        // Without its parameters the service could never start; take back
        // the entry just made instead of leaving a broken one installed.
        Say("Removing Service\n");
        DeleteService(service.get());
        return 1;
    }

    if (!quiet) {
        Say("Service Created OK\n");
        Say("Do you want to try and start the Nimbo Service now? (Y/N)\n");
        if (!IsYes(WaitForKey("YyNn"))) {
            Say("You may need to restart Windows before the changes take effect!\n");
            return 0;
        }
    }
    if (!StartServiceA(service.get(), 0, nullptr)) {
        Say("Service failed to start\n");
        return 1;
    }
    Say("Service Started OK\n");
    return 0;
}

int RemoveService(bool quiet) {
    if (!quiet && !Confirmed("\nIf this really want to remove the Nimbo Service press 'Y',\n otherwise press 'ESC'\n")) {
        return 0;
    }
    ServiceHandle manager = OpenManager();
    if (!manager) return 1;
    ServiceHandle service(OpenServiceA(manager.get(), SERVICE_NAME, SERVICE_ALL_ACCESS));
    if (!service) {
        Say("Error finding Service Entry (%s) - %ld\n", SERVICE_NAME, static_cast<long>(GetLastError()));
        return 1;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status)) {
        if (status.dwCurrentState != SERVICE_STOPPED) StopAndWait(service.get());
    } else if (DWORD error = GetLastError(); error != ERROR_SERVICE_NOT_ACTIVE) {
        Say("Service Cannot be Interrogated - %ld\n", static_cast<long>(error));
    }
    Say("Removing Service\n");
    if (!DeleteService(service.get())) {
        Say("Error removing Service Entry (%s) - %ld\n", SERVICE_NAME, static_cast<long>(GetLastError()));
        return 1;
    }
    return 0;
}
