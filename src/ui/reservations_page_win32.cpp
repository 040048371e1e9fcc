// The Reservations page (dialog 214): the reservation list, and a key (host
// name or hardware address) with an address to set or delete. The rules are
// in reservations_page.cpp; every change reaches the reservation list at
// once, so the page stores nothing when it goes.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <vector>

#include "leases/reservations.h"
#include "ui/list_sort.h"
#include "ui/list_view_win32.h"
#include "ui/pages_win32.h"
#include "ui/properties.h"
#include "ui/reservations_page.h"
#include "ui/ui_resource.h"

namespace {

// The host name field takes no more than a key holds.
constexpr int HOST_NAME_FIELD_LIMIT = static_cast<int>(RESERVATION_KEY_LIMIT);
constexpr int ADDRESS_FIELD_LIMIT = 15;
constexpr int KEY_READ_LIMIT = 99;
constexpr int ADDRESS_READ_LIMIT = 49;

// The key each row was made with, by item data; rows only ever added while
// the page exists, so an index stays good. While the list sorts, the
// entries of those keys (the sort compares keys and addresses).
std::vector<std::string> rowKeys;
std::vector<Reservation> sortRows;

HWND List(HWND page) { return GetDlgItem(page, IDC_RESERVATION_LIST); }

void AddRow(HWND page, const std::string& key) {
    rowKeys.push_back(key);
    AppendRow(List(page), key, static_cast<LPARAM>(rowKeys.size() - 1));
}

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM sortCode) {
    return CompareReservations(sortRows[static_cast<size_t>(a)], sortRows[static_cast<size_t>(b)],
                               static_cast<int>(sortCode));
}

// Sorts by the page's sort code. A row whose entry is gone sorts by its key
// and address 0.
void SortRows(HWND page) {
    sortRows.assign(rowKeys.size(), Reservation{});
    for (size_t i = 0; i < rowKeys.size(); ++i) {
        if (std::optional<Reservation> entry = FindReservationByKey(rowKeys[i].c_str()))
            sortRows[i] = *entry;
        else
            sortRows[i].setKey(rowKeys[i].c_str());
    }
    ListView_SortItems(List(page), &CompareRows, PageSortCode(page));
    sortRows.clear();
}

bool HostNameTicked(HWND page) { return IsTicked(page, IDC_BY_HOST_NAME); }
int KeyField(HWND page) { return HostNameTicked(page) ? IDC_HOST_NAME_KEY : IDC_HARDWARE_KEY; }

void UpdateSetButton(HWND page) {
    EnableControl(page, IDC_SET_RESERVATION,
                  CanSetReservation(HostNameTicked(page), ControlText(page, IDC_HOST_NAME_KEY, KEY_READ_LIMIT),
                                    ControlText(page, IDC_HARDWARE_KEY, KEY_READ_LIMIT),
                                    ControlText(page, IDC_RESERVED_ADDRESS, ADDRESS_READ_LIMIT)));
}

void EnableKeyFields(HWND page) {
    EnableControl(page, IDC_HOST_NAME_KEY, HostNameTicked(page));
    EnableControl(page, IDC_HARDWARE_KEY, IsTicked(page, IDC_BY_HARDWARE_ADDRESS));
}

BOOL OnInitDialog(HWND page) {
    HWND list = List(page);
    InsertListColumns(list);
    rowKeys.clear();
    const std::vector<Reservation> entries = SnapshotReservations();
    ListView_SetItemCount(list, static_cast<int>(entries.size()));
    for (const Reservation& entry : entries) AddRow(page, entry.key);
    SendDlgItemMessageA(page, IDC_HOST_NAME_KEY, EM_LIMITTEXT, HOST_NAME_FIELD_LIMIT, 0);
    SendDlgItemMessageA(page, IDC_RESERVED_ADDRESS, EM_LIMITTEXT, ADDRESS_FIELD_LIMIT, 0);
    SetPageSortCode(page, 0);
    SortRows(page);
    SetUpSortedList(list);
    CheckRadioButton(page, IDC_BY_HOST_NAME, IDC_BY_HARDWARE_ADDRESS, IDC_BY_HOST_NAME);
    EnableKeyFields(page);
    return TRUE;
}

// A selected row fills the fields with its entry, ready to be changed.
void OnSelectionChange(HWND page) {
    const int row = SelectedRow(List(page));
    if (row >= 0) {
        const std::string key = RowText(List(page), row, KEY_READ_LIMIT);
        if (std::optional<Reservation> entry = FindReservationByKey(key.c_str())) {
            const bool byHostName = entry->kind == ByHostName;
            CheckRadioButton(page, IDC_BY_HOST_NAME, IDC_BY_HARDWARE_ADDRESS,
                             byHostName ? IDC_BY_HOST_NAME : IDC_BY_HARDWARE_ADDRESS);
            EnableKeyFields(page);
            SetControlText(page, byHostName ? IDC_HOST_NAME_KEY : IDC_HARDWARE_KEY, entry->key);
            SetControlText(page, byHostName ? IDC_HARDWARE_KEY : IDC_HOST_NAME_KEY, "");
            SetControlText(page, IDC_RESERVED_ADDRESS, ReservationAddressText(key));
            EnableControl(page, IDC_SET_RESERVATION, true);
        }
    }
    EnableControl(page, IDC_DELETE, row >= 0);
}

void OnSet(HWND page) {
    const uint32_t kind = HostNameTicked(page) ? ByHostName : ByHardwareAddress;
    const int keyField = KeyField(page);
    const std::string key = ControlText(page, keyField, KEY_READ_LIMIT);
    switch (SetReservationFromPage(kind, key, ControlText(page, IDC_RESERVED_ADDRESS, ADDRESS_READ_LIMIT))) {
        case ReservationSetResult::BadKey:
            RefuseField(page, keyField, key.empty() ? IDS_KEY_MISSING : IDS_KEY_TOO_LONG);
            return;
        case ReservationSetResult::BadAddress:
            RefuseField(page, IDC_RESERVED_ADDRESS, IDS_NOT_AN_ADDRESS);
            return;
        case ReservationSetResult::AddressTaken:
            RefuseField(page, IDC_RESERVED_ADDRESS, IDS_ADDRESS_RESERVED);
            return;
        case ReservationSetResult::Added:
            AddRow(page, key);
            SortRows(page);
            return;
        case ReservationSetResult::Changed:
            SortRows(page);
            InvalidateRect(List(page), nullptr, FALSE);  // the address column is asked for again
            return;
    }
}

void OnDelete(HWND page) {
    HWND list = List(page);
    const int row = SelectedRow(list);
    if (row < 0) return;
    DeleteReservationFromPage(RowText(list, row, KEY_READ_LIMIT));
    ListView_DeleteItem(list, row);  // also when the entry was gone already
    EnableControl(page, IDC_DELETE, false);
}

BOOL OnCommand(HWND page, int id, int notification) {
    switch (id) {
        case IDC_SET_RESERVATION:
            OnSet(page);
            return TRUE;
        case IDC_DELETE:
            OnDelete(page);
            return TRUE;
        case IDC_BY_HOST_NAME:
        case IDC_BY_HARDWARE_ADDRESS:
            if (notification == BN_CLICKED) OnRadioClick(page, IDC_BY_HOST_NAME, IDC_BY_HARDWARE_ADDRESS, id);
            EnableKeyFields(page);
            UpdateSetButton(page);
            return TRUE;
        case IDC_HOST_NAME_KEY:
        case IDC_HARDWARE_KEY:
        case IDC_RESERVED_ADDRESS:
            if (notification == EN_CHANGE) UpdateSetButton(page);
            return TRUE;
        default:
            return FALSE;
    }
}

bool AddressText(HWND page, int row, LPARAM, std::string& text) {
    text = ReservationAddressText(RowText(List(page), row, KEY_READ_LIMIT));
    return true;
}

const ListPage RESERVATION_LIST = {IDC_RESERVATION_LIST, &AddressText, &SortRows, &OnSelectionChange};

}  // namespace

INT_PTR CALLBACK ReservationsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY:
            return OnListNotify(page, reinterpret_cast<NMHDR*>(lParam), RESERVATION_LIST);
        case WM_COMMAND:
            return OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        case WM_HELP:
            OpenHelp(page);
            return TRUE;
        case WM_DESTROY:
            rowKeys.clear();
            return FALSE;
        default:
            return FALSE;
    }
}
