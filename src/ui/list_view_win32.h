// The report lists of the Reservations and Active Leases pages: two
// columns, sorting by a click on a column header, and an owner-drawn header
// that shows an engraved triangle beside the sorted column's title (up:
// ascending, down: descending). The sort decisions are in list_sort.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

// Sent to a list after its set-up: store the sort indicator (wParam) for
// the header to draw; and read it back.
constexpr UINT MSG_SET_SORT = WM_APP + 7;
constexpr UINT MSG_GET_SORT = WM_APP + 8;

// The two left-aligned columns "HostName" and "IP Address", W / 2 and
// W - W / 2 wide, W being the list's client width less a vertical scroll
// bar.
void InsertListColumns(HWND list);

// Run by the page once its columns and rows exist: the list procedure goes
// in front of the list's own (one list at a time has it), the sort
// indicator becomes 0 and every header item owner-drawn.
void SetUpSortedList(HWND list);

// The page's sort code, in its user slot (0 when the page is made).
int PageSortCode(HWND page);
void SetPageSortCode(HWND page, int sortCode);

// The selected row, -1 for none.
int SelectedRow(HWND list);
// A row's column-0 text, at most `limit` characters, and its item data.
std::string RowText(HWND list, int row, int limit);
LPARAM RowData(HWND list, int row);
// Appends a row: column 0 shows `text`, column 1 is asked of the page
// (LVN_GETDISPINFO) whenever it is shown.
void AppendRow(HWND list, const std::string& text, LPARAM data);

// What a list page does with its list's notifications (WM_NOTIFY):
// - the list asks for the text of column 1 of a row (`data` is its item
//   data): `addressText` gives it, or false to leave it unset;
// - a click on a column header changes the page's sort code and the list's
//   indicator as ClickColumn says, then `sort` sorts by the page's code;
// - any change of a row's state: `selectionChanged`.
struct ListPage {
    int listId;
    bool (*addressText)(HWND page, int row, LPARAM data, std::string& text);
    void (*sort)(HWND page);
    void (*selectionChanged)(HWND page);
};
// Returns the dialog procedure's answer; the message result is 0.
BOOL OnListNotify(HWND page, NMHDR* header, const ListPage& handlers);
