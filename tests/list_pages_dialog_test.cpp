// The Reservations and Active Leases pages in-process under Wine, each in
// one administrator's session driven with real messages: header clicks,
// the fields and buttons, the confirmation box; read back from the lists,
// the lease and reservation stores and NIMBO.INI.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dialog_driver.h"
#include "lease_test_fixture.h"
#include "ui/list_view_win32.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"

namespace {

constexpr int RESERVATIONS_TAB = 2;
constexpr int LEASES_TAB = 3;

class ListPagesTest : public LeaseDatabaseTest {
protected:
    void SetUp() override {
        LeaseDatabaseTest::SetUp();
        RegisterDialogClass();
        SetIniPath(dir.file("NIMBO.INI"));
    }
    void TearDown() override {
        SetIniPath("");
        LeaseDatabaseTest::TearDown();
    }
    std::string Ini() const { return FileExists(dir.file("NIMBO.INI")) ? ReadFile(dir.file("NIMBO.INI")) : ""; }
    bool IniHas(const std::string& line) const { return Ini().find(line + "\r\n") != std::string::npos; }
};

HWND ListOf(HWND page, int id) { return GetDlgItem(page, id); }

bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

int SortIndicator(HWND list) { return static_cast<int>(SendMessageA(list, MSG_GET_SORT, 0, 0)); }

// The column-1 texts of the rows, top to bottom.
std::vector<std::string> AddressColumn(HWND list) {
    std::vector<std::string> out;
    for (const std::string& row : ListRows(list)) out.push_back(row.substr(row.find('|') + 1));
    return out;
}

TEST_F(ListPagesTest, AnAdministratorEditsTheReservations) {
    Reserve(ByHostName, "pc7", 0xC0A80001);                    // 192.168.0.1
    Reserve(ByHardwareAddress, "00-0c-29-ab-cd-ef", 0x0A000001);  // 10.0.0.1
    Reserve(ByHostName, "alpha", 0xAC100005);                  // 172.16.0.5
    RunWithDialog([&](HWND frame) {
        ClickTab(frame, RESERVATIONS_TAB);
        HWND page = CurrentPage(frame);
        HWND list = ListOf(page, IDC_RESERVATION_LIST);
        ASSERT_TRUE(list);
        EXPECT_EQ(ListRows(list), (std::vector<std::string>{"00-0c-29-ab-cd-ef|10.0.0.1", "alpha|172.16.0.5",
                                                             "pc7|192.168.0.1"}));
        EXPECT_EQ(SortIndicator(list), 0);
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(GetDlgItem(list, 0), HDM_GETITEMA, 1, reinterpret_cast<LPARAM>(&item));
        EXPECT_TRUE(item.fmt & HDF_OWNERDRAW);
        EXPECT_FALSE(Enabled(page, IDC_SET_RESERVATION));
        EXPECT_FALSE(Enabled(page, IDC_DELETE));
        EXPECT_FALSE(Enabled(page, IDC_HARDWARE_KEY));

        // Address ascending (as numbers), descending, then names again.
        ClickHeader(list, 1);
        EXPECT_EQ(AddressColumn(list), (std::vector<std::string>{"10.0.0.1", "172.16.0.5", "192.168.0.1"}));
        EXPECT_EQ(SortIndicator(list), 1);
        ClickHeader(list, 1);
        EXPECT_EQ(AddressColumn(list), (std::vector<std::string>{"192.168.0.1", "172.16.0.5", "10.0.0.1"}));
        EXPECT_EQ(SortIndicator(list), 0x101);
        ClickHeader(list, 0);
        EXPECT_EQ(RowOf(list, "pc7"), 2);
        EXPECT_EQ(SortIndicator(list), 0);

        // The key in other letter case changes the entry and keeps its case.
        Type(page, IDC_HOST_NAME_KEY, "PC7");
        EXPECT_FALSE(Enabled(page, IDC_SET_RESERVATION));
        Type(page, IDC_RESERVED_ADDRESS, "192.168.0.77");
        EXPECT_TRUE(Enabled(page, IDC_SET_RESERVATION));
        Click(page, IDC_SET_RESERVATION);
        EXPECT_EQ(ListRows(list).back(), "pc7|192.168.0.77");
        // A host-name key equal to a hardware key makes that entry a
        // host-name reservation.
        Type(page, IDC_HOST_NAME_KEY, "00-0C-29-AB-CD-EF");
        Type(page, IDC_RESERVED_ADDRESS, "10.0.0.1");
        Click(page, IDC_SET_RESERVATION);
        EXPECT_EQ(FindReservationByKey("00-0c-29-ab-cd-ef")->kind, static_cast<uint32_t>(ByHostName));
        EXPECT_EQ(Ini(), "") << "a change is written when the window closes";

        // A new key for an address that another entry holds is refused.
        Type(page, IDC_HOST_NAME_KEY, "scanner");
        Type(page, IDC_RESERVED_ADDRESS, "172.16.0.5");
        Click(page, IDC_SET_RESERVATION);
        EXPECT_EQ(GetFocus(), GetDlgItem(page, IDC_RESERVED_ADDRESS));
        EXPECT_EQ(ListRows(list).size(), 3u);

        // By hardware address: a new entry is written at once; a key longer
        // than an entry holds is refused with the focus on its field.
        Click(page, IDC_BY_HARDWARE_ADDRESS);
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_BY_HOST_NAME), BST_UNCHECKED);
        EXPECT_FALSE(Enabled(page, IDC_HOST_NAME_KEY));
        EXPECT_FALSE(Enabled(page, IDC_SET_RESERVATION)) << "MAC Addr ticked with its field empty";
        Type(page, IDC_HARDWARE_KEY, "00-0c-29-11-22-33-44-55-66-77-88");
        Type(page, IDC_RESERVED_ADDRESS, "10.0.0.2");
        Click(page, IDC_SET_RESERVATION);
        EXPECT_EQ(GetFocus(), GetDlgItem(page, IDC_HARDWARE_KEY));
        EXPECT_EQ(RowOf(list, "00-0c-29-11-22-33-44-55-66-77-88"), -1);
        Type(page, IDC_HARDWARE_KEY, "00-0c-29-11-22-33");
        Click(page, IDC_SET_RESERVATION);
        EXPECT_TRUE(IniHas("@M-00-0c-29-11-22-33=10.0.0.2"));
        EXPECT_EQ(ListRows(list).front(), "00-0c-29-11-22-33|10.0.0.2");

        // Selecting a host-name entry switches the fields to it; Delete
        // writes at once.
        SelectRow(list, RowOf(list, "alpha"));
        Pump(frame);
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_BY_HOST_NAME), BST_CHECKED);
        EXPECT_EQ(Text(page, IDC_HOST_NAME_KEY) + "|" + Text(page, IDC_HARDWARE_KEY) + "|" +
                      Text(page, IDC_RESERVED_ADDRESS),
                  "alpha||172.16.0.5");
        EXPECT_TRUE(Enabled(page, IDC_DELETE));
        Click(page, IDC_DELETE);
        EXPECT_EQ(RowOf(list, "alpha"), -1);
        EXPECT_FALSE(Enabled(page, IDC_DELETE));
        EXPECT_EQ(Ini().find("alpha"), std::string::npos);
        EXPECT_TRUE(IniHas("@M-00-0c-29-11-22-33=10.0.0.2"));
        Click(frame, IDC_CLOSE);
    });
    EXPECT_TRUE(IniHas("@H-pc7=192.168.0.77"));
    EXPECT_TRUE(IniHas("@H-00-0c-29-ab-cd-ef=10.0.0.1"));
}

TEST_F(ListPagesTest, AnAdministratorReviewsAndDeletesLeases) {
    const uint8_t placeholder[] = {0x00};
    const uint8_t laptop[] = {0x00, 0x0C, 0x29, 0x44, 0x55, 0x66};
    std::vector<uint8_t> longId(40, 0xAB);
    AddRecord("pc7", 0xC0A80014, kIdA, sizeof kIdA, NEVER_EXPIRES);  // 192.168.0.20
    AddRecord("", 0x0A000003, kIdB, sizeof kIdB, TEST_EPOCH + Seconds(3600));
    AddRecord("Unknown (10.0.0.9)", 0x0A000009, placeholder, 1, TEST_EPOCH + Seconds(86400));
    AddRecord("laptop", 0x0A000009, laptop, sizeof laptop, TEST_EPOCH + Seconds(3600));
    AddRecord("", 0x0A00000A, longId.data(), longId.size(), TEST_EPOCH + Seconds(3600));
    AddRecord("gone", 0x0A000063, laptop, 1, TEST_EPOCH + Seconds(3600));
    MarkLeaseDeleted(0x0A000063);

    RunWithDialog([&](HWND frame) {
        ClickTab(frame, LEASES_TAB);
        HWND page = CurrentPage(frame);
        HWND list = ListOf(page, IDC_LEASE_LIST);
        ASSERT_TRUE(list);
        EXPECT_EQ(ActiveLeasesPage(), page);
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_AUTO_REFRESH), BST_UNCHECKED);
        ASSERT_EQ(ListRows(list).size(), 5u) << "a deleted lease is listed";
        EXPECT_NE(RowOf(list, "[00-0C-29-11-22-33]"), -1);
        int longRow = -1;
        for (const std::string& row : ListRows(list))
            if (row.find("[AB-AB-") == 0) longRow = RowOf(list, row.substr(0, row.find('|')));
        ASSERT_NE(longRow, -1);
        const std::string longText = ListRows(list)[static_cast<size_t>(longRow)];
        EXPECT_EQ(longText.substr(longText.find('|') - 4), "...]|10.0.0.10");

        // By address, descending: as numbers, 10.0.0.10 above 10.0.0.9.
        ClickHeader(list, 1);
        ClickHeader(list, 1);
        EXPECT_EQ(AddressColumn(list), (std::vector<std::string>{"192.168.0.20", "10.0.0.10", "10.0.0.9", "10.0.0.9",
                                                             "10.0.0.3"}));
        EXPECT_EQ(SortIndicator(list), 0x101);

        SelectRow(list, RowOf(list, "pc7"));
        Pump(frame);
        EXPECT_EQ(Text(page, IDC_LEASE_IDENTIFIER), "00-0C-29-AB-CD-EF");
        EXPECT_EQ(Text(page, IDC_LEASE_EXPIRES), "Never");
        SelectRow(list, RowOf(list, "[00-0C-29-11-22-33]"));
        Pump(frame);
        const std::string expires = Text(page, IDC_LEASE_EXPIRES);
        EXPECT_NE(expires.find("2026"), std::string::npos) << expires;  // the user's date and time format
        EXPECT_NE(expires.find(':'), std::string::npos) << expires;
        SelectRow(list, longRow);
        Pump(frame);
        EXPECT_EQ(Text(page, IDC_LEASE_IDENTIFIER).size(), 98u);

        // No keeps the lease; Yes deletes the listed record, not the
        // placeholder that holds the same address before it. With
        // AutoRefresh clear the row stays until Refresh.
        SelectRow(list, RowOf(list, "laptop"));
        Pump(frame);
        AnswerNextBox("Nimbo", IDNO);
        Click(page, IDC_DELETE);
        EXPECT_EQ(BoxText().substr(0, 43), "Are you sure you want to delete this lease?");
        EXPECT_TRUE(Enabled(page, IDC_DELETE));
        AnswerNextBox("Nimbo", IDYES);
        Click(page, IDC_DELETE);
        EXPECT_FALSE(Enabled(page, IDC_DELETE));
        std::vector<uint32_t> table = Addresses();
        EXPECT_EQ(table[2], 0x0A000009u) << "the placeholder was deleted";
        EXPECT_EQ(table[3], DELETED_ADDRESS);
        EXPECT_NE(RowOf(list, "laptop"), -1);
        Click(page, IDC_REFRESH);
        EXPECT_EQ(RowOf(list, "laptop"), -1);
        EXPECT_NE(RowOf(list, "Unknown (10.0.0.9)"), -1);
        EXPECT_EQ(AddressColumn(list).front(), "192.168.0.20") << "the refill keeps the sort";

        // AutoRefresh ticked: the main window's notice refills the list, and
        // a deleted lease goes at once.
        Click(page, IDC_AUTO_REFRESH);
        AddLease(Client("tablet", laptop), 0x0A000004, LEASE_TIME);
        PostMessageA(ActiveLeasesPage(), MSG_LEASES_CHANGED, 0, 0);
        Pump(frame);
        EXPECT_NE(RowOf(list, "tablet"), -1);
        SelectRow(list, RowOf(list, "pc7"));
        Pump(frame);
        AnswerNextBox("Nimbo", IDYES);
        Click(page, IDC_DELETE);
        EXPECT_EQ(RowOf(list, "pc7"), -1);

        ClickTab(frame, 0);
        EXPECT_EQ(ActiveLeasesPage(), nullptr);
        EXPECT_TRUE(CurrentSettings()->AutoRefresh) << "the box is stored when the page goes";
        Click(frame, IDC_CLOSE);
    });
}

// AutoRefresh keeps the lease looked at in view; Delete takes the one
// confirmed though a refill moved it (or none, if it went); Reserve.
TEST_F(ListPagesTest, RefillsKeepTheViewAndButtonsActOnTheLeaseChosen) {
    auto id = [](int n) { return std::vector<uint8_t>{0x00, 0x0C, 0x29, 0x00, 0x00, static_cast<uint8_t>(n)}; };
    auto lease = [&](const std::string& name, int n) { AddLease(Client(name.c_str(), id(n)), 0x0A000000u + n, LEASE_TIME); };
    for (int n = 10; n < 40; ++n) lease("pc" + std::to_string(n), n);
    AddRecord("Unknown (10.0.0.99)", 0x0A000063, id(0).data(), 1, TEST_EPOCH + Seconds(3600));
    Reserve(ByHostName, "pc38", 0x0A000064);
    RunWithDialog([&](HWND frame) {
        ClickTab(frame, LEASES_TAB);
        HWND page = CurrentPage(frame), list = ListOf(page, IDC_LEASE_LIST);
        Click(page, IDC_AUTO_REFRESH);
        auto refill = [&](const char* name, int n) { lease(name, n), SendMessageA(page, MSG_LEASES_CHANGED, 0, 0); };
        auto press = [&](const char* name, int button) { SelectRow(list, RowOf(list, name)), Click(page, button); };
        ListView_EnsureVisible(list, 25, FALSE);
        SelectRow(list, RowOf(list, "pc30"));  // mid-view
        const int top = ListView_GetTopIndex(list);
        refill("pc0", 2);
        EXPECT_EQ(SelectedRow(list), RowOf(list, "pc30"));
        EXPECT_EQ(Text(page, IDC_LEASE_IDENTIFIER), "00-0C-29-00-00-1E");
        EXPECT_EQ(ListView_GetTopIndex(list), top);
        AnswerNextBox("Nimbo", IDYES, [&] { refill("pc00", 3); });
        Click(page, IDC_DELETE);
        EXPECT_FALSE(IsAddressLeased(0x0A00001E)) << "pc30 was confirmed";
        EXPECT_TRUE(IsAddressLeased(0x0A00001D));
        AnswerNextBox("Nimbo", IDYES, [&] { DeleteLease(0x0A000024, id(36).data(), 6); });
        press("pc36", IDC_DELETE);
        EXPECT_EQ(TakeBalloon().substr(0, 47), "1024:Not accepted:This lease has left the table");
        press("pc37", IDC_RESERVE);
        EXPECT_EQ(TakeBalloon().substr(0, 64), "1024:Reserved:This address is now reserved for 00-0c-29-00-00-25");
        EXPECT_TRUE(IniHas("@M-00-0c-29-00-00-25=10.0.0.37"));
        press("pc38", IDC_RESERVE);
        press("Unknown (10.0.0.99)", IDC_RESERVE);  // only the last balloon is kept
        EXPECT_NE(TakeBalloon().find("for nobody"), std::string::npos);
        EXPECT_EQ(SnapshotReservations().size(), 2u) << "pc38 is reserved already";
        ClickTab(frame, RESERVATIONS_TAB);
        EXPECT_NE(RowOf(ListOf(CurrentPage(frame), IDC_RESERVATION_LIST), "00-0c-29-00-00-25"), -1);
        Click(frame, IDC_CLOSE);
    });
}

}  // namespace
