// The server program itself under the service: NIMBO.EXE run by NimboSVC as
// the service of a Wine prefix of its own. The server opens DHCP port 67, so
// own_prefix.sh runs the whole prefix inside a network namespace of its own.
// The program is the first argument; without one the test is skipped.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "service_test_support.h"

namespace {

std::string ServerProgram;

// Whether a process of the server program is still there.
bool ServerProcessExists() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, "NIMBO.EXE") == 0;
    }
    CloseHandle(snapshot);
    return found;
}

bool WaitForLogLine(const std::string& path, const std::string& text) {
    return WaitUntil("\"" + text + "\" in " + path, [&] { return ReadFile(path).find(text) != std::string::npos; });
}

// Installed with "Config Quiet", the server starts as the service's child
// with its start-up banner and "/service", which it logs and does not take as
// a command; a stop shuts it down in order (settings saved) before the
// service reports stopped. As the wrapper's child its message boxes are log
// lines (no one could answer one there), and the system's shutdown (the
// test's stand-in control, see shutdown_wrapper.cpp) saves and ends the
// server as a stop does. "Remove Quiet" stops and removes it.
TEST(RealServer, RunsAsServiceChildAndStopsInOrder) {
    ProgramDir dir(ServerProgram);
    const std::string log = dir.file("NIMBO.LOG");
    const std::string ini = dir.file("NIMBO.INI");
    // A static address on loopback: without one the server's start-up warns
    // in a message box, which a service cannot answer.
    WriteFile(ini, "[Server]\r\nIPAddress=127.0.0.1\r\nSubnetMask=255.0.0.0\r\nDontWarnAddress=1\r\n");
    WaitForServiceDatabase();
    ProgramRun run = RunProgram("\"" + dir.wrapper() + "\" Config Quiet");
    EXPECT_EQ(run.output, "Service Started OK\n");
    {
        ServiceHandle service = OpenNimboService();
        ASSERT_TRUE(service);
        ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING));
        // Written once the window exists.
        ASSERT_TRUE(WaitForLogLine(log, "Running as NT service")) << ReadFile(log);
        EXPECT_EQ(ReadFile(log).find("Command Line - \"/service\""), std::string::npos) << "handled as a command";
        EXPECT_EQ(ParameterValue("Program"), dir.server());
        EXPECT_EQ(ParameterValue("StartDir"), dir.path());
        EXPECT_EQ(ParameterValue("ProgramParams"), "/service");
        EXPECT_NE(ReadFile(log).find("Starting - Running on "), std::string::npos) << ReadFile(log);
        EXPECT_EQ(ReadFile(ini).find("AutoRefresh="), std::string::npos) << "settings saved before the stop";

        SERVICE_STATUS status;
        ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
        ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
        EXPECT_FALSE(ServerProcessExists()) << "reported stopped while the server still runs";
        EXPECT_EQ(ServerWindow(), nullptr);
        EXPECT_NE(ReadFile(ini).find("AutoRefresh="), std::string::npos) << "settings not saved";
        EXPECT_NE(ReadFile(log).find("DHCP Server Terminated Successfully"), std::string::npos) << ReadFile(log);

        // The wrapper reports stopped a moment before its process ends and
        // lets go of its program file.
        ASSERT_TRUE(WaitUntil("the stopped wrapper's program file to be free", [&] {
            return CopyFileA(WinePath(SHUTDOWN_WRAPPER_EXE).c_str(), dir.wrapper().c_str(), FALSE) != FALSE;
        }));
        WriteFile(ini, "");
        DeleteFileA(log.c_str());
        SetParameterValue("ProgramParams", "/BOGUS");
        ASSERT_TRUE(StartAndWaitRunning(service.get()));
        EXPECT_TRUE(WaitForLogLine(log, "Message - Nimbo: Command Line parameters Error")) << ReadFile(log);
        ASSERT_TRUE(ControlService(service.get(), 200, &status));
        ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED, 30000));
        EXPECT_FALSE(ServerProcessExists());
        EXPECT_NE(ReadFile(ini).find("AutoRefresh="), std::string::npos) << "not saved at shutdown";
        DeleteFileA(log.c_str());
        SetParameterValue("ProgramParams", "/service");
        ASSERT_TRUE(StartAndWaitRunning(service.get()));
        ASSERT_TRUE(WaitForLogLine(log, "Running as NT service")) << ReadFile(log);
    }
    // The wrapper of the build: the folder's is the stand-in now.
    run = RunProgram("\"" + WinePath(NIMBOSVC_EXE) + "\" Remove Quiet");
    EXPECT_EQ(run.output, "Stopping Service\nService is Stopping\nService Stopped\nRemoving Service\n");
    EXPECT_FALSE(ServerProcessExists());
    EXPECT_FALSE(OpenNimboService());
    DeleteServiceIfPresent();
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::printf("SKIP: no server program given\n");
        return 77;
    }
    ServerProgram = WinePath(argv[1]);
    return RUN_ALL_TESTS();
}
