// The Active Leases page (dialog 215): the leases of the table as a copy
// taken under LeaseLock (the snapshot), the selected lease's identifier and
// expiry, Delete Lease, Refresh and AutoRefresh. The row texts are in
// leases_page.cpp. The list never points into the table: a row's item data
// is its index in the snapshot.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "config/server_settings.h"
#include "base/ip_address.h"
#include "ui/leases_page.h"
#include "ui/list_sort.h"
#include "ui/list_view_win32.h"
#include "ui/pages_win32.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"

namespace {

std::vector<Lease> snapshot;
HWND openPage = nullptr;

HWND List(HWND page) { return GetDlgItem(page, IDC_LEASE_LIST); }

bool InSnapshot(LPARAM index) { return index >= 0 && static_cast<size_t>(index) < snapshot.size(); }

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM sortCode) {
    if (!InSnapshot(a) || !InSnapshot(b)) return 0;
    return CompareLeases(snapshot[static_cast<size_t>(a)], snapshot[static_cast<size_t>(b)],
                         static_cast<int>(sortCode));
}

void SortRows(HWND page) { ListView_SortItems(List(page), &CompareRows, PageSortCode(page)); }

void ClearDetails(HWND page) {
    SetControlText(page, IDC_LEASE_IDENTIFIER, "");
    SetControlText(page, IDC_LEASE_EXPIRES, "");
}

// A new snapshot and the rows of it, sorted as before.
void Fill(HWND page) {
    HWND list = List(page);
    snapshot = ListedLeases();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    ListView_SetItemCount(list, static_cast<int>(snapshot.size()));
    for (size_t i = 0; i < snapshot.size(); ++i) AppendRow(list, LeaseListText(snapshot[i]), static_cast<LPARAM>(i));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    ClearDetails(page);
    SortRows(page);
}

BOOL OnInitDialog(HWND page) {
    InsertListColumns(List(page));
    CheckDlgButton(page, IDC_AUTO_REFRESH, CurrentSettings()->AutoRefresh ? BST_CHECKED : BST_UNCHECKED);
    Fill(page);
    openPage = page;
    SetPageSortCode(page, 0);
    SortRows(page);
    SetUpSortedList(List(page));
    return TRUE;
}

void OnSelectionChange(HWND page) {
    const int row = SelectedRow(List(page));
    const LPARAM index = row >= 0 ? RowData(List(page), row) : -1;
    if (InSnapshot(index)) {
        const Lease& lease = snapshot[static_cast<size_t>(index)];
        SetControlText(page, IDC_LEASE_IDENTIFIER, LeaseIdentifierText(lease));
        SetControlText(page, IDC_LEASE_EXPIRES, LeaseExpiryText(lease.expiry));
    } else if (row < 0) {
        ClearDetails(page);
    }
    EnableControl(page, IDC_DELETE, row >= 0);
}

// Deletes the selected lease after the administrator confirms. The record
// deleted is the one listed (its address and identifier), so a placeholder
// or another client's record at the same address stays.
void OnDeleteLease(HWND page) {
    const int row = SelectedRow(List(page));
    if (row >= 0) {
        if (ShowMessage(page, IDS_CONFIRM_DELETE_LEASE, IDS_PROGRAM_NAME, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        const LPARAM index = RowData(List(page), row);
        if (InSnapshot(index)) {
            DeleteListedLease(snapshot[static_cast<size_t>(index)]);
            PostMessageA(page, MSG_LEASES_CHANGED, 0, 0);
        }
    }
    EnableControl(page, IDC_DELETE, false);
}

bool AddressText(HWND, int, LPARAM data, std::string& text) {
    if (!InSnapshot(data)) return false;
    text = FormatAddress(snapshot[static_cast<size_t>(data)].address);
    return true;
}

const ListPage LEASE_LIST = {IDC_LEASE_LIST, &AddressText, &SortRows, &OnSelectionChange};

BOOL OnCommand(HWND page, int id) {
    switch (id) {
        case IDC_REFRESH:
            Fill(page);
            return TRUE;
        case IDC_DELETE:
            OnDeleteLease(page);
            return TRUE;
        default:
            return FALSE;
    }
}

// The AutoRefresh choice is stored when the page goes (the main window's
// side follows it from then on).
void OnDestroy(HWND page) {
    if (openPage == page) openPage = nullptr;
    const bool autoRefresh = IsTicked(page, IDC_AUTO_REFRESH);
    UpdateSettings([autoRefresh](ServerSettings& settings) { settings.AutoRefresh = autoRefresh; });
    snapshot.clear();
}

}  // namespace

INT_PTR CALLBACK ActiveLeasesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return OnListNotify(page, reinterpret_cast<NMHDR*>(lParam), LEASE_LIST);
        case WM_COMMAND:
            return OnCommand(page, LOWORD(wParam));
        case MSG_LEASES_CHANGED:
            if (IsTicked(page, IDC_AUTO_REFRESH)) Fill(page);
            return TRUE;
        case WM_HELP:
            OpenHelp(page);
            return TRUE;
        case WM_DESTROY:
            OnDestroy(page);
            return FALSE;
        default:
            return FALSE;
    }
}

HWND ActiveLeasesPage() { return openPage; }
