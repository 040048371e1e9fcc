// NimboSVC run as the service by the service control manager of a Wine
// prefix of its own, with the stand-in server (standin_server.cpp) as its
// child: installation, the child's command line and directory, stops before
// and after the server window exists, and removal of a running service.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "service_test_support.h"

namespace {

class ServiceRun : public ::testing::Test {
protected:
    void SetUp() override { DeleteServiceErrorLog(); }
    void TearDown() override { DeleteServiceIfPresent(); }

    void ClearMarkers() {
        for (const char* name : {"standin-start.txt", "standin-window.txt", "standin-stop.txt", "standin-exit.txt"}) {
            DeleteFileA(dir.file(name).c_str());
        }
    }
    // The value of one "name=" line of the start marker.
    std::string StartMarker(const std::string& name) {
        std::string text = ReadFile(dir.file("standin-start.txt"));
        size_t at = text.find(name + "=");
        if (at == std::string::npos) return "<none>";
        at += name.size() + 1;
        return text.substr(at, text.find('\n', at) - at);
    }
    // Installs and starts with "Config Quiet".
    ServiceHandle Install() {
        // So that the wrapper's own start is what is tested.
        WaitForServiceDatabase();
        ProgramRun run = RunProgram("\"" + dir.wrapper() + "\" Config Quiet");
        EXPECT_EQ(run.output, "Service Started OK\n");
        EXPECT_EQ(run.exitCode, 0u);
        ServiceHandle service = OpenNimboService();
        EXPECT_TRUE(service);
        return service;
    }
    void RestartWith(SC_HANDLE service, const std::string& parameters) {
        SetParameterValue("ProgramParams", parameters);
        ClearMarkers();
        ASSERT_TRUE(StartAndWaitRunning(service));
    }
    // Installed directly, as "Config" would, with the given child
    // parameters, and started.
    ServiceHandle InstallWith(const std::string& parameters) {
        ServiceHandle service(CreateServiceA(Manager(), "Nimbo", "Nimbo DHCP Server", SERVICE_ALL_ACCESS, 0x110,
                                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                             ("\"" + dir.wrapper() + "\"").c_str(), nullptr, nullptr, nullptr,
                                             nullptr, nullptr));
        EXPECT_TRUE(service) << GetLastError();
        SetParameterValue("Program", dir.server());
        SetParameterValue("StartDir", dir.path());
        if (service) RestartWith(service.get(), parameters);
        return service;
    }

    ProgramDir dir{WinePath(STANDIN_EXE)};
};

// Wine's dispatcher waits 10 s before it gives up in a process that its
// service control manager did not start (Windows returns at once), so the
// test ends the program once it has printed the usage.
TEST_F(ServiceRun, WithoutArgumentsPrintsUsage) {
    const std::string usage =
        "To Configure NimboSVC type 'NimboSVC Config'\n"
        "To Remove NimboSVC type 'NimboSVC Remove'\n"
        "Press CTRL-C to return to a prompt\n";
    ProgramRun run = RunProgram("\"" + dir.wrapper() + "\"", "", "prompt\r\n");
    EXPECT_EQ(run.output, usage);
}

// "Config Quiet" installs and starts; the child runs in the program
// directory with its path quoted as the first word and the parameters after
// it; a stop reaches "stopped" only once the child has ended.
TEST_F(ServiceRun, RunsTheServerAsChildAndStopsItInOrder) {
    ServiceHandle service = Install();
    ASSERT_TRUE(service);
    ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING));
    // On a window station of its own (type 0x10): the marker tells.
    ASSERT_TRUE(WaitForFile(dir.file("standin-window.txt")));
    EXPECT_EQ(ServerWindow(), nullptr) << "the service's window shares the test's desktop";
    EXPECT_EQ(ParameterValue("Program"), dir.server());
    EXPECT_EQ(ParameterValue("StartDir"), dir.path());
    EXPECT_EQ(ParameterValue("ProgramParams"), "/service");
    EXPECT_EQ(StartMarker("cwd"), dir.path());
    EXPECT_EQ(StartMarker("cmdline"), "\"" + dir.server() + "\" /service");
    EXPECT_EQ(StartMarker("args"), "/service");

    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
    EXPECT_TRUE(FileExists(dir.file("standin-exit.txt")));

    // A server that takes its time to shut down: the service stays stop
    // pending all the while, and interrogation repeats that state.
    RestartWith(service.get(), "/exitdelay 1500");
    ASSERT_TRUE(WaitForFile(dir.file("standin-window.txt")));
    EXPECT_EQ(StartMarker("args"), "/exitdelay 1500") << "the parameters did not reach the server";
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForFile(dir.file("standin-stop.txt")));
    int pendingSeen = 0;
    DWORD early = 0;  // a state other than stop pending seen while the server ran
    ASSERT_TRUE(WaitUntil("the stand-in server to end", [&] {
        const DWORD state = ServiceState(service.get());
        if (FileExists(dir.file("standin-exit.txt"))) return true;
        if (state != SERVICE_STOP_PENDING) early = state;
        ++pendingSeen;
        return early != 0;
    }));
    EXPECT_EQ(early, 0u) << "stopped before the server ended";
    EXPECT_GT(pendingSeen, 0);
    ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(ServiceErrorLog(), "");
}

// A stop that arrives before the server has made its window still reaches
// the server once the window appears.
TEST_F(ServiceRun, StopWhileTheServerIsStarting) {
    ServiceHandle service = InstallWith("/delay 2000");
    ASSERT_TRUE(service);
    SERVICE_STATUS status;
    EXPECT_EQ(ServerWindow(), nullptr);
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(WaitForState(service.get(), SERVICE_STOPPED)) << "stop lost while the server was starting";
    EXPECT_TRUE(FileExists(dir.file("standin-stop.txt")));
    EXPECT_EQ(ServiceErrorLog(), "");
}

// With no server window at all the stop gives up after the wait hint, logs
// the failure with the error code, and the service stays stop pending while
// the child lives.
TEST_F(ServiceRun, StopWithoutServerWindowIsLogged) {
    ServiceHandle service = InstallWith("/nowindow");
    ASSERT_TRUE(service);
    SERVICE_STATUS status;
    ASSERT_TRUE(WaitForFile(dir.file("standin-start.txt")));
    const DWORD start = GetTickCount();
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    WaitUntil("the wrapper's error log", [] { return !ServiceErrorLog().empty(); });
    EXPECT_GE(GetTickCount() - start, 4500u) << "gave up before the wait hint";
    std::string log = ServiceErrorLog();
    EXPECT_EQ(log.rfind("Can't find Nimbo to close it! - ", 0), 0u) << log;
    EXPECT_GT(std::stoul(log.substr(log.find(" - ") + 3)), 0u) << log;
    EXPECT_EQ(log.back(), '\n');
    EXPECT_EQ(ServiceState(service.get()), static_cast<DWORD>(SERVICE_STOP_PENDING));

    HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, std::stoul(StartMarker("pid")));
    ASSERT_NE(child, nullptr);
    TerminateProcess(child, 0);
    CloseHandle(child);
    EXPECT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
}

// "Remove Quiet" of a running service stops it, printing the state lines,
// and removes it once the server (slow to shut down here) has ended.
TEST_F(ServiceRun, RemoveQuietStopsAndRemoves) {
    ASSERT_TRUE(InstallWith("/exitdelay 1000"));
    ASSERT_TRUE(WaitForServerWindow());
    ProgramRun run = RunProgram("\"" + dir.wrapper() + "\" remove QUIET");
    EXPECT_EQ(run.output, "Stopping Service\nService is Stopping\nService Stopped\nRemoving Service\n");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(FileExists(dir.file("standin-exit.txt"))) << "reported stopped before the server ended";
    EXPECT_FALSE(OpenNimboService());
}

// A service whose parameters are missing reports stopped with the error of
// the read that failed (2: not found), first without the key, then without
// Program.
TEST_F(ServiceRun, MissingParametersStopWithTheReadError) {
    ServiceHandle service(CreateServiceA(Manager(), "NimboBare", "Nimbo Bare", SERVICE_ALL_ACCESS, 0x110,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         ("\"" + dir.wrapper() + "\"").c_str(), nullptr, nullptr, nullptr, nullptr,
                                         nullptr));
    ASSERT_TRUE(service);
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\NimboBare\\Parameters");
            SetParameterValue("StartDir", dir.path(), "NimboBare");
            SetParameterValue("ProgramParams", "", "NimboBare");
        }
        ASSERT_TRUE(StartWithRetry(service.get()));
        SERVICE_STATUS status{};
        ASSERT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
        ServiceState(service.get(), &status);
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "round " << round;
    }
    EXPECT_FALSE(FileExists(dir.file("standin-start.txt")));
    DeleteService(service.get());
}

}  // namespace
