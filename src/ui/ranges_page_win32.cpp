// The Address Ranges page (dialog 213): the included and excluded ranges of
// the server's own network in one list, and the subnet mask. The list rules
// are in ranges_page.cpp; the list view shows `entries`, which holds the
// edits until the page is destroyed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "base/ip_address.h"
#include "ui/dpi_win32.h"
#include "ui/general_page.h"
#include "ui/pages_win32.h"
#include "ui/properties.h"
#include "ui/ranges_page.h"
#include "ui/ui_resource.h"

namespace {

constexpr int ADDRESS_LIMIT = 15;
constexpr int TEXT_LIMIT = 255;
constexpr int TYPED_LIMIT = 49;
constexpr int ENTRY_LIMIT = 99;
constexpr int KIND_IMAGE_WIDTH = 16;
constexpr COLORREF KIND_TRANSPARENT = RGB(255, 0, 255);

RangeList entries;  // one Address Ranges page exists at a time
bool refocusing = false;
bool refilling = false;  // the list's own notifications while it is refilled

HWND List(HWND page) { return GetDlgItem(page, IDC_RANGE_LIST); }

// Shows `entries`; the entry at `changed` (if any) is selected and scrolled
// into view, without filling From and To from it.
void ShowEntries(HWND page, int changed = -1) {
    HWND list = List(page);
    refilling = true;
    ListView_DeleteAllItems(list);
    for (size_t i = 0; i < entries.size(); ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(entries[i].text.c_str());
        item.iImage = entries[i].kind;
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    const bool selecting = changed >= 0 && static_cast<size_t>(changed) < entries.size();
    if (selecting) {
        ListView_SetItemState(list, changed, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, changed, FALSE);
    }
    refilling = false;
    EnableControl(page, IDC_REMOVE, selecting);
}

int SelectedEntry(HWND page) {
    const int selected = ListView_GetNextItem(List(page), -1, LVNI_SELECTED);
    return selected >= 0 && static_cast<size_t>(selected) < entries.size() ? selected : -1;
}

void EnableAddButtons(HWND page, bool enable) {
    EnableControl(page, IDC_INCLUDE, enable);
    EnableControl(page, IDC_EXCLUDE, enable);
}

BOOL OnInitDialog(HWND page) {
    HWND list = List(page);
    HIMAGELIST kinds = LoadScaledImageList(IDB_RANGE_KINDS, KIND_IMAGE_WIDTH, KIND_TRANSPARENT, 5, WindowDpi(page));
    ListView_SetImageList(list, kinds, LVSIL_SMALL);  // the list destroys it with itself
    // One column as wide as the list beside a vertical scroll bar: the
    // entries stand one below the other and none is cut.
    RECT client;
    GetClientRect(list, &client);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = client.right - ScaledMetric(list, SM_CXVSCROLL);
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    entries = RangeListFromTables(GatewayRanges(LOCAL_GATEWAY).c_str(), GatewayExceptions(LOCAL_GATEWAY).c_str());
    ShowEntries(page);
    SetControlText(page, IDC_SUBNET_MASK, CurrentSettings()->SubnetMask);
    SendDlgItemMessageA(page, IDC_SUBNET_MASK, EM_LIMITTEXT, ADDRESS_LIMIT, 0);
    return TRUE;
}

// A selected entry fills From and To, ready to be included, excluded or
// removed.
void OnSelectionChange(HWND page) {
    const int selected = SelectedEntry(page);
    if (selected >= 0) {
        std::string first, last;
        const int tokens = SplitRangeEntry(entries[selected].text.substr(0, ENTRY_LIMIT), first, last);
        SetControlText(page, IDC_RANGE_FROM, first);
        SetControlText(page, IDC_RANGE_TO, tokens == 2 ? last : first);
        EnableAddButtons(page, true);
    }
    EnableControl(page, IDC_REMOVE, selected >= 0);
}

void OnRemove(HWND page) {
    const int selected = SelectedEntry(page);
    if (selected >= 0) {
        entries.erase(entries.begin() + selected);
        ShowEntries(page);
        // The view stays where the entry was.
        if (!entries.empty())
            ListView_EnsureVisible(List(page), std::min(selected, static_cast<int>(entries.size()) - 1), FALSE);
    }
    EnableControl(page, IDC_REMOVE, false);
}

void OnAddRange(HWND page, int kind) {
    const std::string from = ControlText(page, IDC_RANGE_FROM, TYPED_LIMIT);
    const std::string to = ControlText(page, IDC_RANGE_TO, TYPED_LIMIT);
    size_t changed = entries.size();
    switch (AddRangeEntry(entries, kind, from, to, &changed)) {
        case RangeAddResult::BadFrom:
            RefuseField(page, IDC_RANGE_FROM, IDS_NOT_AN_ADDRESS);
            return;
        case RangeAddResult::BadTo:
            RefuseField(page, IDC_RANGE_TO, IDS_NOT_AN_ADDRESS);
            return;
        case RangeAddResult::Reversed:
            RefuseField(page, IDC_RANGE_TO, IDS_RANGE_REVERSED);
            return;
        default:
            // Also when covered: merges before the stop stay, and the entry
            // that covers the range is shown.
            ShowEntries(page, static_cast<int>(changed));
            return;
    }
}

// An address field that does not parse takes the focus back, unless the
// focus went out of the window (another program) or the page is going.
// The guard stops two bad fields from passing the focus to and fro.
void OnAddressLeft(HWND page, int id) {
    if (refocusing || !IsWindowVisible(page)) return;
    HWND gaining = GetFocus();
    if (!gaining || GetAncestor(gaining, GA_ROOT) != GetAncestor(page, GA_ROOT)) return;
    if (PageAddress(ControlText(page, id, TYPED_LIMIT).c_str()) != ADDRESS_NONE) return;
    refocusing = true;
    RefuseField(page, id, IDS_NOT_AN_ADDRESS);
    refocusing = false;
    EnableAddButtons(page, false);
}

void OnAddressField(HWND page, int id, int notification) {
    EnableControl(page, IDC_REMOVE, false);
    if (notification == EN_KILLFOCUS) OnAddressLeft(page, id);
    if (notification == EN_CHANGE)
        EnableAddButtons(page, !ControlText(page, IDC_RANGE_FROM, TYPED_LIMIT).empty() &&
                                   !ControlText(page, IDC_RANGE_TO, TYPED_LIMIT).empty());
}

BOOL OnCommand(HWND page, int id, int notification) {
    switch (id) {
        case IDC_INCLUDE:
            OnAddRange(page, RANGE_INCLUDED);
            break;
        case IDC_EXCLUDE:
            OnAddRange(page, RANGE_EXCLUDED);
            break;
        case IDC_REMOVE:
            OnRemove(page);
            break;
        case IDC_RANGE_FROM:
        case IDC_RANGE_TO:
            OnAddressField(page, id, notification);
            break;
        default:
            return FALSE;
    }
    return TRUE;
}

INT_PTR OnValidate(HWND page) {
    const bool bad = PageAddress(ControlText(page, IDC_SUBNET_MASK, TEXT_LIMIT).c_str()) == ADDRESS_NONE;
    return AnswerValidate(page, bad && RefuseField(page, IDC_SUBNET_MASK, IDS_NOT_A_MASK));
}

void OnDestroy(HWND page) {
    StoreRangesPage(entries, ControlText(page, IDC_SUBNET_MASK, TEXT_LIMIT));
    entries.clear();
}

}  // namespace

INT_PTR CALLBACK RangesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(page);
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom != IDC_RANGE_LIST || header->code != LVN_ITEMCHANGED) return FALSE;
            if (!refilling) OnSelectionChange(page);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        case WM_COMMAND:
            return OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        case MSG_VALIDATE_PAGE:
            return OnValidate(page);
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
