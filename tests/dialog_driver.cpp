#include "dialog_driver.h"

#include <commctrl.h>
#include <cstdio>
#include <utility>
#include <gtest/gtest.h>

#include "ui/properties.h"
#include "ui/ui_resource.h"

namespace {

std::function<void(HWND)> pendingScenario;
UINT_PTR watchdog = 0;
std::string balloon;
LRESULT CALLBACK SeeBalloons(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == EM_SHOWBALLOONTIP) {
        const auto* tip = reinterpret_cast<const EDITBALLOONTIP*>(sent->lParam);
        char text[1000] = {};
        snprintf(text, sizeof text, "%d:%ls:%ls", GetDlgCtrlID(sent->hwnd), tip->pszTitle, tip->pszText);
        balloon = text;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK EndOverdueDialog(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (HWND frame = FindFrame()) {
        ADD_FAILURE() << "the properties window is still open";
        EndDialog(frame, 0);
    }
}

void CALLBACK StartScenario(HWND, UINT, UINT_PTR id, DWORD) {
    // The modal loop shows the frame once it has nothing else to do; the
    // scenario starts on the window as the user sees it.
    HWND frame = FindFrame();
    if (!frame || !IsWindowVisible(frame)) return;
    KillTimer(nullptr, id);
    pendingScenario(frame);
}

}  // namespace

void RegisterDialogClass() {
    WNDCLASSA dialogClass = {};
    dialogClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
    dialogClass.lpfnWndProc = DefDlgProcA;
    dialogClass.cbWndExtra = DLGWINDOWEXTRA;
    dialogClass.hInstance = GetModuleHandleA(nullptr);
    dialogClass.hIcon = LoadIconA(dialogClass.hInstance, MAKEINTRESOURCEA(IDI_NIMBO));
    dialogClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    dialogClass.lpszClassName = "NIMBODlgClass";
    RegisterClassA(&dialogClass);
}

void RunWithDialog(const std::function<void(HWND)>& scenario, unsigned limitMs) {
    pendingScenario = scenario;
    SetTimer(nullptr, 0, 10, &StartScenario);
    watchdog = SetTimer(nullptr, 0, limitMs, &EndOverdueDialog);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &SeeBalloons, nullptr, GetCurrentThreadId());
    ShowPropertiesDialog();
    UnhookWindowsHookEx(hook);
    KillTimer(nullptr, watchdog);
}

HWND FindFrame() { return FindWindowA("NIMBODlgClass", "Nimbo Settings"); }

HWND CurrentPage(HWND frame) { return FindWindowExA(frame, nullptr, "#32770", nullptr); }

int SelectedTab(HWND frame) { return TabCtrl_GetCurSel(GetDlgItem(frame, IDC_TABS)); }

void Pump(HWND frame) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(frame) && IsDialogMessageA(frame, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void ClickTab(HWND frame, int index) {
    HWND tabs = GetDlgItem(frame, IDC_TABS);
    RECT item;
    TabCtrl_GetItemRect(tabs, index, &item);
    const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(tabs, WM_LBUTTONUP, 0, point);
    Pump(frame);
}

void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    Pump(GetAncestor(dialog, GA_ROOT));
}

void PressTab(HWND frame, bool ctrl, bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, VK_TAB, 1);
    PostMessageA(focus, WM_CHAR, '\t', 1);
    Pump(frame);
    keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    PostMessageA(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000001);
    Pump(frame);
}

void Type(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }

std::string Text(HWND dialog, int id) {
    char text[300] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::vector<std::string> RangeEntries(HWND page) {
    HWND list = GetDlgItem(page, IDC_RANGE_LIST);
    std::vector<std::string> entries;
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        char text[120] = {};
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        entries.push_back((item.iImage == 0 ? "+" : "-") + std::string(text));
    }
    return entries;
}

void SelectRangeEntry(HWND page, int index) { SelectRow(GetDlgItem(page, IDC_RANGE_LIST), index); }

namespace {

std::string RowColumn(HWND list, int row, int column) {
    char text[200] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::string boxCaption;
int boxButton = 0;
std::string boxText;
std::function<void()> boxMeanwhile;

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA("#32770", boxCaption.c_str());
    if (!box) return;
    KillTimer(nullptr, id);
    if (boxMeanwhile) boxMeanwhile();
    boxText = Text(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, boxButton, 0);
}

}  // namespace

std::vector<std::string> ListRows(HWND list) {
    std::vector<std::string> rows;
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) rows.push_back(RowColumn(list, i, 0) + "|" + RowColumn(list, i, 1));
    return rows;
}

int RowOf(HWND list, const std::string& text) {
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i)
        if (RowColumn(list, i, 0) == text) return i;
    return -1;
}

void SelectRow(HWND list, int index) {
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ClickHeader(HWND list, int column) {
    HWND header = GetDlgItem(list, 0);
    RECT item;
    Header_GetItemRect(header, column, &item);
    const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(header, WM_LBUTTONUP, 0, point);
    Pump(GetAncestor(list, GA_ROOT));
}

void AnswerNextBox(const char* caption, int button, std::function<void()> meanwhile) {
    boxCaption = caption;
    boxButton = button;
    boxMeanwhile = std::move(meanwhile);
    boxText.clear();
    SetTimer(nullptr, 0, 20, &AnswerBox);
}

std::string BoxText() { return boxText; }

std::string TakeBalloon() { return std::exchange(balloon, ""); }
