// The frame of the properties window: the modal dialog "Nimbo Settings"
// with its tab control, one page dialog at a time, the picture area, Close
// and Help. Runs on the main thread.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "base/message_box_win32.h"
#include "config/settings_file.h"
#include "ui/dpi_win32.h"
#include "ui/pages_win32.h"
#include "ui/properties.h"
#include "ui/tab_keys_win32.h"
#include "ui/ui_resource.h"

namespace {

struct PageRow {
    UINT title;
    UINT dialogTemplate;
    DLGPROC procedure;
    const char* tooltip;
};

// The tabs, in tab order.
const PageRow PAGES[] = {
    {IDS_TAB_GENERAL, IDD_GENERAL, &GeneralPageProc, "General Configuration"},
    {IDS_TAB_RANGES, IDD_RANGES, &RangesPageProc, "IP Address Ranges"},
    {IDS_TAB_RESERVATIONS, IDD_RESERVATIONS, &ReservationsPageProc, "Lease Reservations"},
    {IDS_TAB_ACTIVE_LEASES, IDD_ACTIVE_LEASES, &ActiveLeasesPageProc, "Active Leases"},
};
constexpr int PAGE_COUNT = sizeof PAGES / sizeof PAGES[0];
constexpr int PICTURE_WIDTH = 68;
constexpr COLORREF PICTURE_TRANSPARENT = RGB(192, 192, 192);
// WM_DPICHANGED (Windows 8.1; the program is built for Vista and later).
constexpr UINT DPI_CHANGED = 0x02E0;

bool dialogOpen = false;
HWND frameWindow = nullptr;
HWND currentPage = nullptr;
HIMAGELIST pictureList = nullptr;
std::string helpFilePath;
std::string propertiesTitle;  // "" while no hand-over runs

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

HWND Tabs(HWND frame) { return GetDlgItem(frame, IDC_TABS); }

// Asks the current page whether it may be left; true when it refuses.
bool PageRefuses() {
    if (!currentPage) return false;
    SetWindowLongPtrA(currentPage, DWLP_MSGRESULT, 0);
    return SendMessageA(currentPage, MSG_VALIDATE_PAGE, 0, 0) == 1;
}

void DestroyPage() {
    if (!currentPage) return;
    RestoreFrameWindows();
    HWND page = currentPage;
    currentPage = nullptr;
    DestroyWindow(page);  // the page stores its fields on WM_DESTROY
}

// Shows the page of the selected tab in the tab control's display area.
void SwitchPage(HWND frame) {
    HWND tabs = Tabs(frame);
    TCITEMA item = {};
    item.mask = TCIF_PARAM;
    if (!TabCtrl_GetItem(tabs, TabCtrl_GetCurSel(tabs), &item)) return;
    const LPARAM row = item.lParam;
    if (row < 0 || row >= PAGE_COUNT) return;
    DestroyPage();

    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    currentPage = CreateDialogParamA(Module(), MAKEINTRESOURCEA(PAGES[row].dialogTemplate), frame,
                                     PAGES[row].procedure, 0);
    if (!currentPage) return;
    SetWindowPos(currentPage, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_SHOWWINDOW);
    SubclassFrameWindows(frame, currentPage);
}

// The picture at the frame's density (the bitmap is drawn for 96 dpi).
void LoadPicture(HWND frame) {
    if (pictureList) ImageList_Destroy(pictureList);
    pictureList = LoadScaledImageList(IDB_PICTURE, PICTURE_WIDTH, PICTURE_TRANSPARENT, 1, WindowDpi(frame));
}

// The frame moved to a monitor of another density: the system has scaled
// the dialogs and their fonts; the frame takes the size it suggests, and
// the picture and the page (its lists' columns and images) are made anew.
void OnDpiChanged(HWND frame, const RECT* suggested) {
    SetWindowPos(frame, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    LoadPicture(frame);
    SwitchPage(frame);
    InvalidateRect(frame, nullptr, TRUE);
}

BOOL OnInitDialog(HWND frame) {
    frameWindow = frame;
    if (!propertiesTitle.empty()) SetWindowTextA(frame, propertiesTitle.c_str());
    HWND tabs = Tabs(frame);
    for (int i = 0; i < PAGE_COUNT; ++i) {
        char title[100] = {};
        LoadStringA(Module(), PAGES[i].title, title, sizeof title);
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = title;
        item.lParam = i;
        TabCtrl_InsertItem(tabs, i, &item);
    }
    TabCtrl_SetCurSel(tabs, 0);
    currentPage = nullptr;
    SwitchPage(frame);
    LoadPicture(frame);
    SetForegroundWindow(frame);
    return TRUE;
}

void CopyTooltip(NMHDR* header) {
    if (header->idFrom >= static_cast<UINT_PTR>(PAGE_COUNT)) return;
    const char* tooltip = PAGES[header->idFrom].tooltip;
    if (header->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        if (info->uFlags != TTF_IDISHWND) lstrcpynA(info->szText, tooltip, sizeof info->szText);
    } else {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        if (info->uFlags != TTF_IDISHWND)
            MultiByteToWideChar(CP_ACP, 0, tooltip, -1, info->szText,
                                static_cast<int>(sizeof info->szText / sizeof info->szText[0]));
    }
}

BOOL OnNotify(HWND frame, NMHDR* header) {
    LONG_PTR result = 0;
    switch (header->code) {
        case TCN_SELCHANGING:
            result = PageRefuses() ? 1 : 0;
            break;
        case TCN_SELCHANGE:
            SwitchPage(frame);
            break;
        case TTN_GETDISPINFOA:
        case TTN_GETDISPINFOW:
            CopyTooltip(header);
            break;
        default:
            break;
    }
    SetWindowLongPtrA(frame, DWLP_MSGRESULT, result);
    return TRUE;
}

// Esc comes as IDCANCEL and closes the window as Close does: the page is
// checked, then everything is stored and saved.
BOOL OnCommand(HWND frame, int id) {
    if (id == IDC_HELP_BUTTON) OpenHelp(frame);
    if (id == IDC_CLOSE || id == IDCANCEL) PostMessageA(frame, WM_CLOSE, 0, 0);
    return TRUE;
}

BOOL OnClose(HWND frame) {
    if (!PageRefuses()) EndDialog(frame, 0);
    return TRUE;
}

void OnDestroy() {
    DestroyPage();
    RestoreFrameWindows();
    frameWindow = nullptr;
    if (pictureList) ImageList_Destroy(pictureList);
    pictureList = nullptr;
}

// Draws the picture centred in its area; the rest of the frame is painted
// by the default dialog handling.
void PaintPicture(HWND frame) {
    HWND area = GetDlgItem(frame, IDC_PICTURE);
    if (!area || !pictureList) return;
    HDC dc = GetDC(area);
    int width = 0, height = 0;
    ImageList_GetIconSize(pictureList, &width, &height);
    RECT client;
    GetClientRect(area, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    ImageList_Draw(pictureList, 0, dc, (client.right - width) / 2, (client.bottom - height) / 2, ILD_TRANSPARENT);
    ValidateRect(area, nullptr);
    ReleaseDC(area, dc);
}

// Ctrl+Tab and Ctrl+Shift+Tab. The page is checked as for a tab click: a
// page left unchecked would store an address that does not parse.
void CycleTab(HWND frame, bool forward) {
    if (PageRefuses()) return;
    HWND tabs = Tabs(frame);
    const int count = TabCtrl_GetItemCount(tabs);
    int index = TabCtrl_GetCurSel(tabs) + (forward ? 1 : -1);
    if (index < 0) index = count - 1;
    if (index >= count) index = 0;
    TabCtrl_SetCurSel(tabs, index);
    SwitchPage(frame);
    if (currentPage) SetFocus(currentPage);
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(frame);
        case WM_NOTIFY:
            return OnNotify(frame, reinterpret_cast<NMHDR*>(lParam));
        case WM_COMMAND:
            return OnCommand(frame, LOWORD(wParam));
        case WM_HELP:
            OpenHelp(frame);
            return TRUE;
        case WM_CLOSE:
            return OnClose(frame);
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        case WM_PAINT:
            PaintPicture(frame);
            return FALSE;
        case MSG_CYCLE_TAB:
            CycleTab(frame, wParam != 0);
            return TRUE;
        case DPI_CHANGED:
            OnDpiChanged(frame, reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

void ShowError(HWND owner, UINT textId, const std::string& detail) {
    const std::string text = LoadResourceString(textId, MESSAGE_TEXT_LIMIT) + detail;
    ShowMessageBox(owner, text, LoadResourceString(IDS_ERROR_CAPTION, MESSAGE_TEXT_LIMIT), MB_OK | MB_ICONHAND);
}

}  // namespace

void ShowPropertiesDialog() {
    if (dialogOpen) {
        if (frameWindow && IsWindow(frameWindow)) SetForegroundWindow(frameWindow);
        return;
    }
    dialogOpen = true;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_PROPERTIES), nullptr, &FrameProc, 0);
    // Written each time the window closes, changed or not. A failed write
    // is said at once: the changes are in effect but not yet in the file.
    if (!saveSettings()) ShowError(nullptr, IDS_SAVE_FAILED, "\n\nSystem error " + std::to_string(LastSaveError()));
    dialogOpen = false;
}

void SetHelpFilePath(const std::string& path) { helpFilePath = path; }

void SetPropertiesTitle(const std::string& title) { propertiesTitle = title; }

void OpenHelp(HWND owner) {
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", helpFilePath.c_str(), nullptr, ".", SW_SHOW));
    // The shell says nothing itself when no program opens the file.
    if (result <= 32) ShowError(owner, IDS_HELP_FAILED, "\n\n" + helpFilePath);
}
