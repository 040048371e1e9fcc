// The Active Leases page (dialog 215): the leases of the table as a copy
// taken under LeaseLock (the snapshot), the selected lease's identifier and
// expiry, Delete Lease, Reserve, Refresh and AutoRefresh. The row texts and
// the reservation rule are in leases_page.cpp. The list never points into
// the table: a row's item data is its index in the snapshot, and what a
// button acts on is a copy of the selected lease taken when it is pressed.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <optional>
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
bool refilling = false;  // the list's own notifications while it is refilled

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

// A copy of the selected row's lease; none when no row is selected.
std::optional<Lease> SelectedLease(HWND page) {
    const int row = SelectedRow(List(page));
    const LPARAM index = row >= 0 ? RowData(List(page), row) : -1;
    if (!InSnapshot(index)) return std::nullopt;
    return snapshot[static_cast<size_t>(index)];
}

void OnSelectionChange(HWND page);

// A new snapshot and the rows of it, sorted as before. What the
// administrator looks at stays: the selected lease (by address and
// identifier) stays selected with its details, and the list stays scrolled
// to the same row; a lease that has gone takes its details with it.
void Fill(HWND page) {
    HWND list = List(page);
    const std::optional<Lease> selected = SelectedLease(page);
    const int top = ListView_GetTopIndex(list);
    refilling = true;
    snapshot = ListedLeases();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    ListView_SetItemCount(list, static_cast<int>(snapshot.size()));
    for (size_t i = 0; i < snapshot.size(); ++i) AppendRow(list, LeaseListText(snapshot[i]), static_cast<LPARAM>(i));
    SortRows(page);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    // From wherever the refill left the view (the top, or where it was).
    RECT now = {}, was = {};
    if (ListView_GetItemRect(list, ListView_GetTopIndex(list), &now, LVIR_BOUNDS) &&
        ListView_GetItemRect(list, top, &was, LVIR_BOUNDS))
        ListView_Scroll(list, 0, was.top - now.top);
    InvalidateRect(list, nullptr, TRUE);
    refilling = false;

    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = selected ? FindListedLease(snapshot, *selected) : -1;
    const int again = find.lParam >= 0 ? ListView_FindItem(list, -1, &find) : -1;
    if (again >= 0) {
        ListView_SetItemState(list, again, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    } else {
        OnSelectionChange(page);  // none: the details cleared, Delete and Reserve off
    }
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
    if (refilling) return;
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
    EnableControl(page, IDC_RESERVE, row >= 0);
}

// Deletes the selected lease after the administrator confirms. The lease is
// copied before the question: while the box is up the list may be refilled
// and sorted anew (AutoRefresh), and the row then holds another lease. The
// record deleted is the one listed (its address and identifier), so a
// placeholder or another client's record at the same address stays; when
// it has left the table meanwhile, nothing is deleted.
void OnDeleteLease(HWND page) {
    if (const std::optional<Lease> lease = SelectedLease(page)) {
        if (ShowMessage(page, IDS_CONFIRM_DELETE_LEASE, IDS_PROGRAM_NAME, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        if (!IsWindow(page)) return;
        if (DeleteListedLease(*lease))
            PostMessageA(page, MSG_LEASES_CHANGED, 0, 0);
        else
            RefuseField(page, IDC_LEASE_IDENTIFIER, IDS_LEASE_GONE);
    }
    EnableControl(page, IDC_DELETE, false);
}

UINT RefusalText(LeaseReserveResult result) {
    switch (result) {
        case LeaseReserveResult::Placeholder: return IDS_PLACEHOLDER_LEASE;
        case LeaseReserveResult::NoKey: return IDS_LEASE_NO_KEY;
        case LeaseReserveResult::ClientReserved: return IDS_CLIENT_RESERVED;
        default: return IDS_ADDRESS_RESERVED;
    }
}

// Reserves the selected lease's address for its client; the balloon on the
// identifier field says by which key, or why not.
void OnReserve(HWND page) {
    const std::optional<Lease> lease = SelectedLease(page);
    if (!lease) return;
    std::string key;
    const LeaseReserveResult result = ReserveListedLease(*lease, &key);
    if (result != LeaseReserveResult::Reserved) {
        RefuseField(page, IDC_LEASE_IDENTIFIER, RefusalText(result));
        return;
    }
    char text[MESSAGE_TEXT_LIMIT];
    std::snprintf(text, sizeof text, LoadResourceString(IDS_RESERVED_TEXT, MESSAGE_TEXT_LIMIT).c_str(), key.c_str());
    SetFocus(GetDlgItem(page, IDC_LEASE_IDENTIFIER));
    ShowFieldBalloon(page, IDC_LEASE_IDENTIFIER, IDS_RESERVED_TITLE, text, false);
    EnableControl(page, IDC_RESERVE, false);
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
        case IDC_RESERVE:
            OnReserve(page);
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
