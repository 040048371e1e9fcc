#include "ui/list_view_win32.h"

#include <vector>

#include "ui/dpi_win32.h"
#include "ui/list_sort.h"

namespace {

constexpr const char* SORT_PROPERTY = "tqlm_sort";
constexpr int HEADER_TITLE_LIMIT = 98;

// The list's own procedure. One list page exists at a time, so one slot.
WNDPROC listProcedure = nullptr;

HWND Header(HWND list) { return GetDlgItem(list, 0); }

int SortIndicator(HWND list) { return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(list, SORT_PROPERTY))); }

// One line of the triangle through the given points, in one pen of the
// system colour `colour` (COLOR_...), so that a high-contrast scheme reads.
void DrawLines(HDC dc, int colour, int width, const POINT* points, int count) {
    HPEN pen = CreatePen(PS_SOLID, width, GetSysColor(colour));
    HGDIOBJ previous = SelectObject(dc, pen);
    Polyline(dc, points, count);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

// The engraved triangle whose box starts at (x, y), its 96-dpi sizes
// scaled to `dpi`: the shadow colour on one side, the highlight on the lit
// side.
void DrawSortArrow(HDC dc, int x, int y, bool descending, int dpi) {
    auto s = [dpi](int pixels) { return ScaleToDpi(pixels, dpi); };
    const int pen = s(1);
    if (descending) {
        const POINT light[] = {{x + s(7), y}, {x + s(4), y + s(7)}};
        const POINT shadowLeft[] = {{x, y + s(1)}, {x + s(3), y + s(7)}};
        const POINT shadowTop[] = {{x, y}, {x + s(7), y}};
        DrawLines(dc, COLOR_BTNHIGHLIGHT, pen, light, 2);
        DrawLines(dc, COLOR_BTNSHADOW, pen, shadowLeft, 2);
        DrawLines(dc, COLOR_BTNSHADOW, pen, shadowTop, 2);
    } else {
        const POINT shadow[] = {{x, y + s(6)}, {x + s(3), y - s(1)}};
        const POINT light[] = {{x + s(4), y}, {x + s(7), y + s(6)}, {x - s(1), y + s(6)}};
        DrawLines(dc, COLOR_BTNSHADOW, pen, shadow, 2);
        DrawLines(dc, COLOR_BTNHIGHLIGHT, pen, light, 3);
    }
}

void DrawHeaderItem(HWND list, const DRAWITEMSTRUCT* item) {
    if (item->CtlType != ODT_HEADER) return;
    const int indicator = SortIndicator(list);
    const bool sorted = static_cast<int>(item->itemID) == IndicatedColumn(indicator);
    HDC dc = item->hDC;
    SetBkMode(dc, TRANSPARENT);

    char title[HEADER_TITLE_LIMIT + 1] = {};
    HDITEMA header = {};
    header.mask = HDI_TEXT;
    header.pszText = title;
    header.cchTextMax = sizeof title;
    SendMessageA(item->hwndItem, HDM_GETITEMA, item->itemID, reinterpret_cast<LPARAM>(&header));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, title, lstrlenA(title), &extent);
    const RECT& area = item->rcItem;
    const int dpi = WindowDpi(list);
    const HeaderItemLayout layout = LayOutHeaderItem(area.left, area.top, area.right, area.bottom,
                                                     item->itemState == ODS_SELECTED, extent.cx, dpi);

    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    HGDIOBJ previous = SelectObject(dc, face);
    Rectangle(dc, layout.left, layout.top, layout.right, layout.bottom);
    SelectObject(dc, previous);
    DeleteObject(face);

    if (sorted) DrawSortArrow(dc, layout.arrowX, layout.arrowY, IndicatesDescending(indicator), dpi);
    RECT titleArea = {layout.titleLeft, layout.top, layout.titleRight, layout.bottom};
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextA(dc, title, -1, &titleArea, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT OnSetSort(HWND list, WPARAM indicator) {
    SetPropA(list, SORT_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(indicator)));
    if (HWND header = Header(list)) {
        RECT area;
        GetClientRect(header, &area);
        InvalidateRect(list, &area, FALSE);
        InvalidateRect(header, nullptr, FALSE);  // the header is a window of its own
    }
    return 1;
}

LRESULT OnDestroy(HWND list, WPARAM wParam, LPARAM lParam) {
    RemovePropA(list, SORT_PROPERTY);
    WNDPROC own = listProcedure;
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
    return CallWindowProcA(own, list, WM_DESTROY, wParam, lParam);
}

LRESULT CALLBACK SortedListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DRAWITEM:
            DrawHeaderItem(list, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return 1;
        case MSG_SET_SORT:
            return OnSetSort(list, wParam);
        case MSG_GET_SORT:
            return SortIndicator(list);
        case WM_DESTROY:
            return OnDestroy(list, wParam, lParam);
        default:
            return CallWindowProcA(listProcedure, list, message, wParam, lParam);
    }
}

// A click on a column header: the new sort code and indicator.
void ClickListColumn(HWND page, HWND list, int column) {
    const ColumnClick click = ClickColumn(PageSortCode(page), column);
    SetPageSortCode(page, click.sortCode);
    SendMessageA(list, MSG_SET_SORT, click.sortIndicator, 0);
}

// The text the list asked for, into its ANSI or wide buffer.
void AnswerDisplayRequest(NMHDR* header, const std::string& text) {
    if (header->code == LVN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
        if (info->item.pszText && info->item.cchTextMax > 0)
            lstrcpynA(info->item.pszText, text.c_str(), info->item.cchTextMax);
    } else {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        if (info->item.pszText && info->item.cchTextMax > 0) {
            const int written =
                MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, info->item.pszText, info->item.cchTextMax);
            if (written == 0) info->item.pszText[info->item.cchTextMax - 1] = L'\0';
        }
    }
}

void AddColumn(HWND list, int index, const char* title, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<char*>(title);
    column.cx = width;
    column.iSubItem = index;
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

}  // namespace

void InsertListColumns(HWND list) {
    RECT client;
    GetClientRect(list, &client);
    const int width = client.right - ScaledMetric(list, SM_CXVSCROLL);
    // A click anywhere on a row selects it.
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, "HostName", width / 2);
    AddColumn(list, 1, "IP Address", width - width / 2);
}

void SetUpSortedList(HWND list) {
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
    if (current != &SortedListProc) {
        listProcedure = current;
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SortedListProc));
    }
    SendMessageA(list, MSG_SET_SORT, 0, 0);
    HWND header = Header(list);
    if (!header) return;
    const int count = Header_GetItemCount(header);
    for (int i = 0; i < count; ++i) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        item.fmt |= HDF_OWNERDRAW;
        SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
}

int PageSortCode(HWND page) { return static_cast<int>(GetWindowLongPtrA(page, DWLP_USER)); }

void SetPageSortCode(HWND page, int sortCode) { SetWindowLongPtrA(page, DWLP_USER, sortCode); }

int SelectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

std::string RowText(HWND list, int row, int limit) {
    std::vector<char> text(static_cast<size_t>(limit) + 1, '\0');
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = text.data();
    item.cchTextMax = limit + 1;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text.data();
}

LPARAM RowData(HWND list, int row) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.lParam;
}

void AppendRow(HWND list, const std::string& text, LPARAM data) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = INT_MAX;  // at the end
    item.pszText = const_cast<char*>(text.c_str());
    item.lParam = data;
    const int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    LVITEMA second = {};
    second.iSubItem = 1;
    second.pszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&second));
}


BOOL OnListNotify(HWND page, NMHDR* header, const ListPage& handlers) {
    if (header->idFrom != static_cast<UINT_PTR>(handlers.listId)) return FALSE;
    if (header->code == LVN_GETDISPINFOA || header->code == LVN_GETDISPINFOW) {
        // The ANSI and wide forms differ only in the type of the text pointer.
        const LVITEMA& item = reinterpret_cast<const NMLVDISPINFOA*>(header)->item;
        std::string text;
        if (item.iSubItem == 1 && (item.mask & LVIF_TEXT) && handlers.addressText(page, item.iItem, item.lParam, text))
            AnswerDisplayRequest(header, text);
    } else if (header->code == LVN_COLUMNCLICK) {
        ClickListColumn(page, GetDlgItem(page, handlers.listId), reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        handlers.sort(page);
    } else if (header->code == LVN_ITEMCHANGED) {
        handlers.selectionChanged(page);
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    return TRUE;
}
