// nimbo: the Linux host of the server.
//
//   nimbo [--dir DIR] [--server-port N] [--client-port N] [switches]
//
// The program directory (NIMBO.INI, NIMBO.LOG, Addresses.LOG and the files
// nimbo.lock, nimbo.run and nimbo.ctl) is the directory of the executable,
// or DIR. The first start in a directory is the server and runs in the
// foreground until SIGTERM, SIGINT or a "/SHUTDOWN" command; a later start
// hands its switches (/SHUTDOWN, /QUIET, /OPTIONS, /SHOWICON, /HIDEICON; "-"
// works as well as "/") to that server, prints its answer and exits.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/paths.h"
#include "shell/server_host.h"

namespace {

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return ".";
    return DirectoryOf(std::string(buffer.data(), static_cast<size_t>(length)));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    HostOptions options;
    std::string error;
    if (!ParseHostArguments(arguments, ProgramDirectory(), &options, &error)) {
        std::fprintf(stderr, "nimbo: %s\n", error.c_str());
        return 2;
    }
    return RunServerHost(options);
}
