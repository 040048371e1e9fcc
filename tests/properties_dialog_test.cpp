// The properties window in-process under Wine: an administrator's edit
// through the General and Address Ranges pages, driven with real messages,
// read back from the settings, the range tables, NIMBO.INI and the next offer
// the server makes; the help command through the shell; the save at every
// close.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "config/settings_file.h"
#include "dialog_driver.h"
#include "server_fixture.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"
#include "wait_until.h"

namespace {

constexpr const char* RECORD_SWITCH = "--record-open";
constexpr const char* RECORD_VARIABLE = "NIMBO_TEST_OPEN_RECORD";

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ProgramDirectory() { return ProgramPath().substr(0, ProgramPath().rfind('\\')); }

// Stands in for the help viewer: the shell starts this program with the
// file it was asked to open, and the program writes that down. (Wine reads
// file types from HKEY_CLASSES_ROOT only, so the type is borrowed there and
// given back afterwards.)
class FakeHelpViewer {
public:
    explicit FakeHelpViewer(const std::string& record) : record_(record) {
        previousType_ = Get(".chm");
        const std::string command = "\"" + ProgramPath() + "\" " + RECORD_SWITCH + " \"%1\"";
        Set(".chm", "NimboTest.HelpFile");
        Set("NimboTest.HelpFile\\shell\\open\\command", command);
        SetEnvironmentVariableA(RECORD_VARIABLE, record.c_str());
    }
    ~FakeHelpViewer() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "NimboTest.HelpFile");
        if (previousType_.empty())
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ".chm");
        else
            Set(".chm", previousType_);
        SetEnvironmentVariableA(RECORD_VARIABLE, nullptr);
    }
    // What the viewer was started with, once it has written it down
    // (messages are handled meanwhile); "" when it never does.
    std::string Opened(HWND frame) const {
        std::string line;
        const bool written = WaitUntil("the help viewer's record", [&] {
            Pump(frame);
            std::ifstream in(record_);
            return std::getline(in, line) && in.good();
        });
        return written ? line : "";
    }

private:
    static std::string Get(const char* key) {
        char value[200] = {};
        LONG size = sizeof value;
        return RegQueryValueA(HKEY_CLASSES_ROOT, key, value, &size) == ERROR_SUCCESS ? value : "";
    }
    static void Set(const char* key, const std::string& value) {
        HKEY handle;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(handle);
    }
    std::string record_;
    std::string previousType_;
};

// The server of ServerFixture (192.0.2.1/24 serving 192.0.2.10-192.0.2.20)
// with 192.0.2.15 excepted, leases of 90061 seconds and NIMBO.INI in its
// scratch folder.
class PropertiesDialogTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        SetIniPath(scratch.file("NIMBO.INI"));
        UpdateSettings([](ServerSettings& s) { s.LeaseTime = 90061; });
        SetGatewayTables(LOCAL_GATEWAY, "192.0.2.10-192.0.2.20", "192.0.2.15");
        SetHelpFilePath(ProgramDirectory() + "\\NIMBO.CHM");
    }
    void TearDown() override {
        SetIniPath("");
        ServerFixture::TearDown();
    }
};

std::string IniValue(const std::string& ini, const std::string& key) {
    const std::string line = ReadFile(ini);
    size_t at = line.find("\n" + key + "=");
    if (at == std::string::npos) return "(missing)";
    at += key.size() + 2;
    return line.substr(at, line.find_first_of("\r\n", at) - at);
}

// The General page: a bad server address holds the user on the page (tab
// click, Close and Ctrl+Tab alike); the fixed page is stored when it is
// left, with the server address added to the exceptions.
void EditGeneralPage(HWND frame) {
    HWND general = CurrentPage(frame);
    ASSERT_EQ(SelectedTab(frame), 0);
    ASSERT_TRUE(GetDlgItem(general, IDC_SERVER_ADDRESS));
    EXPECT_EQ(Text(general, IDC_DAYS) + "/" + Text(general, IDC_HOURS) + "/" + Text(general, IDC_MINUTES), "1/1/1");
    EXPECT_EQ(IsDlgButtonChecked(general, IDC_LIMITED), BST_CHECKED);
    EXPECT_EQ(Text(general, IDC_ABOUT).substr(0, 11), "Nimbo V0.13");

    Type(general, IDC_SERVER_ADDRESS, "192.0.2.300");
    ClickTab(frame, 1);
    EXPECT_EQ(SelectedTab(frame), 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(general, IDC_SERVER_ADDRESS));
    SetFocus(GetDlgItem(frame, IDC_CLOSE));
    Click(frame, IDC_CLOSE);
    EXPECT_TRUE(IsWindowVisible(frame)) << "closed with a bad address";
    EXPECT_EQ(GetFocus(), GetDlgItem(general, IDC_SERVER_ADDRESS));
    PressTab(frame, true, false);
    EXPECT_EQ(SelectedTab(frame), 0) << "Ctrl+Tab left a bad address behind";
    EXPECT_EQ(CurrentPage(frame), general);

    Click(general, IDC_UNLIMITED);
    EXPECT_EQ(IsDlgButtonChecked(general, IDC_LIMITED), BST_UNCHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(general, IDC_DAYS)));
    Click(general, IDC_LIMITED);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(general, IDC_DAYS)));

    Type(general, IDC_SERVER_ADDRESS, "192.0.2.12");  // inside the range
    Type(general, IDC_DNS_SERVERS, "198.51.100.53");
    Type(general, IDC_DAYS, "0");
    Type(general, IDC_HOURS, "99");
    Type(general, IDC_MINUTES, "99");
    SetFocus(GetDlgItem(general, IDC_MINUTES));
    PressTab(frame, true, false);
    ASSERT_EQ(SelectedTab(frame), 1);
    auto settings = CurrentSettings();
    EXPECT_EQ(settings->LeaseTime, 362340u);
    EXPECT_EQ(settings->serverAddress, 0xC000020Cu);
    EXPECT_STREQ(settings->DNSServer, "198.51.100.53");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.15,192.0.2.12");
}

// The Address Ranges page: the server's exception is listed; include merges,
// a reversed range is refused, remove and exclude.
void EditRangesPage(HWND frame) {
    HWND ranges = CurrentPage(frame);
    ASSERT_TRUE(GetDlgItem(ranges, IDC_RANGE_LIST));
    EXPECT_EQ(RangeEntries(ranges), (std::vector<std::string>{"+192.0.2.10 - 192.0.2.20",
                                                              "-192.0.2.15 - 192.0.2.15",
                                                              "-192.0.2.12 - 192.0.2.12"}));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ranges, IDC_INCLUDE)));
    Type(ranges, IDC_RANGE_FROM, "192.0.2.5");
    Type(ranges, IDC_RANGE_TO, "192.0.2.12");
    Click(ranges, IDC_INCLUDE);
    EXPECT_EQ(RangeEntries(ranges).front(), "+192.0.2.5 - 192.0.2.20");

    Type(ranges, IDC_RANGE_FROM, "192.0.2.30");
    Type(ranges, IDC_RANGE_TO, "192.0.2.25");
    Click(ranges, IDC_INCLUDE);
    EXPECT_EQ(GetFocus(), GetDlgItem(ranges, IDC_RANGE_TO));
    EXPECT_EQ(RangeEntries(ranges).size(), 3u);

    SelectRangeEntry(ranges, 1);
    EXPECT_EQ(Text(ranges, IDC_RANGE_FROM) + "|" + Text(ranges, IDC_RANGE_TO), "192.0.2.15|192.0.2.15");
    Click(ranges, IDC_REMOVE);
    Type(ranges, IDC_RANGE_FROM, "192.0.2.18");
    Type(ranges, IDC_RANGE_TO, "192.0.2.20");
    Click(ranges, IDC_EXCLUDE);
    EXPECT_EQ(RangeEntries(ranges), (std::vector<std::string>{"+192.0.2.5 - 192.0.2.20",
                                                              "-192.0.2.12 - 192.0.2.12",
                                                              "-192.0.2.18 - 192.0.2.20"}));
}

TEST_F(PropertiesDialogTest, AnAdministratorsEditReachesTheFileAndTheNextOffer) {
    RunWithDialog([&](HWND frame) {
        ShowPropertiesDialog();  // a second Properties command only brings it forward
        EXPECT_EQ(FindWindowExA(nullptr, frame, "NIMBODlgClass", nullptr), nullptr);
        EXPECT_EQ(GetForegroundWindow(), frame);

        ASSERT_NO_FATAL_FAILURE(EditGeneralPage(frame));
        ASSERT_NO_FATAL_FAILURE(EditRangesPage(frame));

        // Ctrl+Tab past the last tab comes back to the first, storing the
        // ranges on the way; Ctrl+Shift+Tab on the first goes to the last.
        SetFocus(GetDlgItem(CurrentPage(frame), IDC_RANGE_TO));
        for (int expected : {2, 3, 0}) {
            PressTab(frame, true, false);
            EXPECT_EQ(SelectedTab(frame), expected);
        }
        EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "192.0.2.5-192.0.2.20");
        EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.12,192.0.2.18-192.0.2.20");
        PressTab(frame, true, true);
        EXPECT_EQ(SelectedTab(frame), 3);
        SetFocus(GetDlgItem(frame, IDC_CLOSE));
        PressTab(frame, true, false);  // on the frame's own buttons Ctrl+Tab does nothing
        EXPECT_EQ(SelectedTab(frame), 3);

        FakeHelpViewer viewer(scratch.file("opened.txt"));
        Click(frame, IDC_HELP_BUTTON);
        EXPECT_EQ(viewer.Opened(frame), ProgramDirectory() + "\\NIMBO.CHM");
        Click(frame, IDC_CLOSE);
    });
    EXPECT_EQ(FindFrame(), nullptr);

    const std::string ini = scratch.file("NIMBO.INI");
    EXPECT_EQ(IniValue(ini, "IPAddress"), "192.0.2.12");
    EXPECT_EQ(IniValue(ini, "LeaseTime"), "362340");
    EXPECT_EQ(IniValue(ini, "Ranges"), "192.0.2.5-192.0.2.20");
    EXPECT_EQ(IniValue(ini, "Exceptions"), "192.0.2.12,192.0.2.18-192.0.2.20");

    // The server thread handles each datagram with the settings of that moment.
    ReplyAction offer = Handle(WindowsDiscover());
    EXPECT_EQ(Field(OFFSET_YIADDR), 0xC0000205u);  // the first address of the widened range
    EXPECT_EQ(ReplyValue(offer, OPTION_LEASE_TIME), 362340u);
    EXPECT_EQ(ReplyValue(offer, OPTION_SERVER_ID), 0xC000020Cu);
}

TEST_F(PropertiesDialogTest, EveryCloseSavesAndEveryOpeningStartsOnGeneral) {
    RunWithDialog([](HWND frame) {
        ClickTab(frame, 1);
        EXPECT_EQ(SelectedTab(frame), 1);
        Click(frame, IDC_CLOSE);
    });
    std::remove(scratch.file("NIMBO.INI").c_str());
    RunWithDialog([](HWND frame) {
        EXPECT_EQ(SelectedTab(frame), 0);
        // Tab leaves the page's last field for the frame's controls, and
        // Shift+Tab comes back.
        SetFocus(GetDlgItem(CurrentPage(frame), IDC_MINUTES));
        PressTab(frame, false, false);
        EXPECT_EQ(GetFocus(), GetDlgItem(frame, IDC_TABS));
        PressTab(frame, false, true);
        EXPECT_EQ(GetFocus(), GetDlgItem(CurrentPage(frame), IDC_MINUTES));
        Click(frame, IDC_CLOSE);
    });
    EXPECT_EQ(IniValue(scratch.file("NIMBO.INI"), "LeaseTime"), "90060");  // shown as 1/1/1, stored again
}

// Screen readers: every edit and list follows its label. Mnemonics; rows
// select whole; Esc closes as Close does; refusals say why; the ranges list
// keeps one column and shows what each change made.
TEST_F(PropertiesDialogTest, KeyboardAndScreenReaderUsersAndALongRangeList) {
    RunWithDialog([&](HWND frame) {
        EXPECT_EQ(Text(frame, IDC_CLOSE) + Text(frame, IDC_HELP_BUTTON), "&Close&Help");
        for (int tab : {0, 1, 2, 3}) {
            ClickTab(frame, tab);
            for (HWND at = GetWindow(CurrentPage(frame), GW_CHILD); at; at = GetWindow(at, GW_HWNDNEXT)) {
                char type[32] = {}, label[64] = {};
                GetClassNameA(at, type, sizeof type);
                HWND before = GetWindow(at, GW_HWNDPREV);
                GetClassNameA(before, label, sizeof label);
                if (std::strcmp(type, "Edit") && std::strcmp(type, "SysListView32")) continue;
                EXPECT_STREQ(label, "Static") << "tab " << tab << ", control " << GetDlgCtrlID(at);
                GetWindowTextA(before, label, sizeof label);
                EXPECT_TRUE(*label && (tab % 3 == 0 || !IsWindowVisible(before) || std::strchr(label, '&'))) << label;
                if (*type == 'S') EXPECT_TRUE(ListView_GetExtendedListViewStyle(at) & LVS_EX_FULLROWSELECT);
            }
        }
        ClickTab(frame, 1);
        HWND ranges = CurrentPage(frame), list = GetDlgItem(ranges, IDC_RANGE_LIST);
        auto include = [&](const std::string& from, const std::string& to, int selected) {
            Type(ranges, IDC_RANGE_FROM, from.c_str());
            Type(ranges, IDC_RANGE_TO, to.c_str());
            Click(ranges, IDC_INCLUDE);
            EXPECT_TRUE(ListView_IsItemVisible(list, selected)) << from;
            EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), selected) << from;
        };
        for (int n = 30; n < 50; ++n) include("192.0.2." + std::to_string(n), "192.0.2." + std::to_string(n), n - 29);
        EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL), LVS_REPORT | LVS_SINGLESEL);
        include("192.0.2.12", "192.0.2.14", 0);  // covered by the first entry
        include("192.0.2.12", "192.0.2.1", 0);
        EXPECT_EQ(TakeBalloon(), "1015:Not accepted:The last address of the range lies below the first.");
        ClickTab(frame, 0);
        HWND general = CurrentPage(frame);
        for (const char* address : {"192.0.2.300", "192.0.2.7"}) {
            Type(general, IDC_SERVER_ADDRESS, address);
            PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
            Pump(frame);
        }
        EXPECT_EQ(TakeBalloon().substr(0, 41), "1003:Not accepted:This is no IPv4 address");
    }, 120000);
    EXPECT_EQ(IniValue(scratch.file("NIMBO.INI"), "IPAddress"), "192.0.2.7");
}

// Settings that cannot be written are not passed over in silence.
TEST_F(PropertiesDialogTest, AFailedSaveIsReported) {
    SetIniPath(scratch.file("missing\\NIMBO.INI"));
    RunWithDialog([](HWND frame) {
        AnswerNextBox("Nimbo Error", IDOK);
        Click(frame, IDC_CLOSE);
    });
    const std::string failureText = BoxText();
    EXPECT_NE(failureText.find("could not be written to NIMBO.INI"), std::string::npos) << failureText;
    EXPECT_NE(failureText.find("System error 3"), std::string::npos) << failureText;
}

}  // namespace

// The test program is also the fake help viewer that FakeHelpViewer
// registers: started with the switch, it writes down what it was given.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == RECORD_SWITCH) {
        const char* record = std::getenv(RECORD_VARIABLE);
        if (!record) return 1;
        std::ofstream(record) << argv[2] << "\nend\n";
        return 0;
    }
    RegisterDialogClass();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
