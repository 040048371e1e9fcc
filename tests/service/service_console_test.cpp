// Installing and removing the service through NimboSVC's console dialogue,
// with the keys fed through the key seam, against the service control
// manager of a Wine prefix of its own.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "service/console_io.h"
#include "service/service_install.h"
#include "service_test_support.h"

namespace {

std::string Keys;
size_t NextKey = 0;
std::string Output;

int ScriptedKey() { return NextKey < Keys.size() ? static_cast<unsigned char>(Keys[NextKey++]) : NO_MORE_KEYS; }
void CollectText(const char* text) { Output += text; }

const std::string CONFIRM_CONFIG = "\nIf this is OK press 'Y', otherwise press 'ESC'\n";
const std::string ASK_START = "Service Created OK\nDo you want to try and start the Nimbo Service now? (Y/N)\n";
const std::string CONFIRM_REMOVE = "\nIf this really want to remove the Nimbo Service press 'Y',\n otherwise press 'ESC'\n";
const std::string OOPS =
    "\nOops. Nimbo does not exist in the above directory\n"
    "Please copy NimboSVC into the same directory as Nimbo and try again\n";

class ConsoleDialogue : public ::testing::Test {
protected:
    void SetUp() override {
        SetConsoleIo(ScriptedKey, CollectText);
        DeleteServiceIfPresent();
    }
    void TearDown() override {
        SetConsoleIo(nullptr, nullptr);
        DeleteServiceIfPresent();
    }
    // The keys the next command will read; the output starts empty.
    void Type(const std::string& keys) {
        Keys = keys;
        NextKey = 0;
        Output.clear();
    }
    int Config(const std::string& keys) {
        Type(keys);
        return ConfigureService(dir.wrapper(), false);
    }
    int Remove(const std::string& keys) {
        Type(keys);
        return RemoveService(false);
    }
    std::string Listing() const {
        return "You are about to configure a Nimbo NT Service with the following parameters\n"
               "Service Display Name - Nimbo DHCP Server\n"
               "Service Program      - " + dir.wrapper() + "\n"
               "Nimbo Program        - " + dir.server() + "\n"
               "Nimbo Directory      - " + dir.path() + "\n"
               "Nimbo Parameters\t - /service\n";
    }
    static bool Installed() { return static_cast<bool>(OpenNimboService()); }

    ProgramDir dir{""};
};

TEST_F(ConsoleDialogue, ConfigWithoutTheServerProgramInstallsNothing) {
    EXPECT_EQ(Config("Y"), 1);
    EXPECT_EQ(Output, Listing() + OOPS);
    EXPECT_EQ(NextKey, 0u) << "asked before checking the program";
    Type("");
    EXPECT_EQ(ConfigureService(dir.wrapper(), true), 1);
    EXPECT_EQ(Output, OOPS);
    EXPECT_FALSE(Installed());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// Declining, accepting without starting, a second install, declining the
// removal, removing a stopped service and removing a missing one.
TEST_F(ConsoleDialogue, InstallAndRemoveAnswersEachKey) {
    WriteFile(dir.server(), "");

    EXPECT_EQ(Config("n\r \x1bY"), 0);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG) << "Escape ends without a further message";
    EXPECT_EQ(NextKey, 4u) << "keys after Escape were read";
    EXPECT_FALSE(Installed());

    EXPECT_EQ(Config("xNyqN"), 0);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG + ASK_START +
                          "You may need to restart Windows before the changes take effect!\n");
    EXPECT_EQ(NextKey, Keys.size());
    {
        // Closed again before the removal: a service marked for deletion
        // stays until its last handle goes.
        ServiceHandle service = OpenNimboService();
        ASSERT_TRUE(service);
        EXPECT_EQ(ServiceState(service.get()), static_cast<DWORD>(SERVICE_STOPPED));
        char buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
        DWORD needed;
        ASSERT_TRUE(QueryServiceConfigA(service.get(), config, sizeof buffer, &needed));
        EXPECT_EQ(config->dwServiceType, 0x10u) << "not interactive: services share no user's desktop";
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
        EXPECT_EQ(std::string(config->lpBinaryPathName), "\"" + dir.wrapper() + "\"");
        EXPECT_EQ(std::string(config->lpDisplayName), "Nimbo DHCP Server");
    }
    EXPECT_EQ(ParameterValue("Program"), dir.server());
    EXPECT_EQ(ParameterValue("StartDir"), dir.path());
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Nimbo\\Parameters",
                           "ProgramParams", RRF_RT_ANY, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ParameterValue("ProgramParams"), "/service");

    EXPECT_EQ(Config("Y"), 1);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG + "Error creating Service Entry (Nimbo) - 1073\n");

    EXPECT_EQ(Remove("a\x1b"), 0);
    EXPECT_EQ(Output, CONFIRM_REMOVE);
    EXPECT_TRUE(Installed());

    EXPECT_EQ(Remove("zY"), 0);
    EXPECT_EQ(Output, CONFIRM_REMOVE + "Removing Service\n") << "a stopped service is removed without stopping it";
    EXPECT_FALSE(Installed());

    EXPECT_EQ(Remove("y"), 1);
    EXPECT_EQ(Output, CONFIRM_REMOVE + "Error finding Service Entry (Nimbo) - 1060\n");

    // Input that ends is taken as Escape instead of waiting for ever.
    EXPECT_EQ(Config(""), 0);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG);
    EXPECT_FALSE(Installed());
}

// The wrapper copied beside the stand-in server: 'y' starts the service,
// and removing it stops the server first.
TEST_F(ConsoleDialogue, StartedFromTheDialogueAndRemovedWhileRunning) {
    ASSERT_TRUE(CopyFileA(WinePath(STANDIN_EXE).c_str(), dir.server().c_str(), FALSE));
    EXPECT_EQ(Config("Yy"), 0);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG + ASK_START + "Service Started OK\n");
    {
        ServiceHandle service = OpenNimboService();
        ASSERT_TRUE(service);
        ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING));
    }
    ASSERT_TRUE(WaitForFile(dir.file("standin-window.txt")));

    EXPECT_EQ(Remove("Y"), 0);
    EXPECT_EQ(Output, CONFIRM_REMOVE + "Stopping Service\nService is Stopping\nService Stopped\nRemoving Service\n");
    EXPECT_TRUE(FileExists(dir.file("standin-exit.txt"))) << "removed before the server ended";
    EXPECT_EQ(ServerWindow(), nullptr);
    EXPECT_FALSE(Installed());
}

// A folder that others may write is refused before any question: the
// reason, the fix, exit code 1, nothing installed. (Wine makes an entry for
// Everyone the Unix mode o+w, and reads it back from there.)
TEST_F(ConsoleDialogue, ConfigRefusesAFolderOthersMayWrite) {
    WriteFile(dir.server(), "");
    PSECURITY_DESCRIPTOR open;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;WD)",
                                                                     SDDL_REVISION_1, &open, nullptr));
    ASSERT_TRUE(SetFileSecurityA(dir.path().c_str(), DACL_SECURITY_INFORMATION, open));
    LocalFree(open);
    EXPECT_EQ(Config("Y"), 1);
    EXPECT_EQ(Output.rfind(Listing() + "The service is not installed: Everyone (S-1-1-0) can write " + dir.path() + ".\n", 0),
              0u) << Output;
    EXPECT_NE(Output.find("/reset /T /C\nand then NimboSVC Config again.\n"), std::string::npos) << Output;
    EXPECT_EQ(NextKey, 0u);
    EXPECT_FALSE(Installed());
}

// A parameters key that cannot be written (here: the service's key is
// volatile, so a lasting subkey is refused) must not leave behind a service
// that could never start.
TEST_F(ConsoleDialogue, FailedParameterWriteTakesTheServiceBack) {
    WriteFile(dir.server(), "");
    const char* serviceKey = "System\\CurrentControlSet\\Services\\Nimbo";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, serviceKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(Config("Y"), 1);
    EXPECT_EQ(Output, Listing() + CONFIRM_CONFIG +
                          "Error writing Service Parameters (System\\CurrentControlSet\\Services\\Nimbo\\Parameters)"
                          " - 1021\nRemoving Service\n");
    EXPECT_FALSE(Installed());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, serviceKey);
}

}  // namespace
