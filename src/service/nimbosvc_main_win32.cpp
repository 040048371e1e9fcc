// NimboSVC: installs, runs and removes the Nimbo NT service. Started by the
// service control manager (without arguments) it is the service itself.
#include <windows.h>

#include <string>

#include "base/dll_search_win32.h"
#include "service/console_io.h"
#include "service/service_install.h"
#include "service/service_run.h"
#include "service/wrapper_arguments.h"

namespace {

std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    LoadLibrariesFromSystemFolderOnly();
    const WrapperRequest request = ParseWrapperArguments(argc - 1, argv + 1);
    switch (request.command) {
    case WrapperCommand::Config:
        return ConfigureService(OwnPath(), request.quiet);
    case WrapperCommand::Remove:
        return RemoveService(request.quiet);
    case WrapperCommand::Usage:
        break;
    }
    Say("To Configure NimboSVC type 'NimboSVC Config'\n");
    Say("To Remove NimboSVC type 'NimboSVC Remove'\n");
    Say("Press CTRL-C to return to a prompt\n");
    return RunServiceDispatcher();
}
