#include "ui/tab_keys_win32.h"

#include "ui/pages_win32.h"

namespace {

struct Subclassed {
    HWND window;
    WNDPROC previous;
};

Subclassed table[MAX_SUBCLASSED];
int tableCount = 0;
HWND keysFrame = nullptr;
HWND keysPage = nullptr;

WNDPROC PreviousProcedure(HWND window) {
    for (int i = 0; i < tableCount; ++i)
        if (table[i].window == window) return table[i].previous;
    return nullptr;
}

bool KeyIsDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

void OnTabKey(HWND window) {
    const bool shift = KeyIsDown(VK_SHIFT);
    if (KeyIsDown(VK_CONTROL)) {
        if (keysPage && (window == keysPage || IsChild(keysPage, window)))
            PostMessageA(keysFrame, MSG_CYCLE_TAB, shift ? 0 : 1, 0);
        return;
    }
    // The frame walks its own controls and, through the page, the page's:
    // asked of the page alone, Tab would circle inside the page.
    PostMessageA(keysFrame, WM_NEXTDLGCTL, shift ? 1 : 0, 0);
}

LRESULT CALLBACK KeyboardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = PreviousProcedure(window);
    if (!previous) return 0;
    switch (message) {
        case WM_GETDLGCODE:
            return CallWindowProcA(previous, window, message, wParam, lParam) | DLGC_WANTTAB;
        case WM_KEYDOWN:
            if (wParam == VK_TAB) OnTabKey(window);
            break;
        case WM_CHAR:
            if (wParam == '\t') return 0;
            break;
        default:
            break;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

BOOL CALLBACK TakeWindow(HWND window, LPARAM) {
    if (tableCount >= MAX_SUBCLASSED) return FALSE;
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpiA(className, "RichEdit") == 0) return TRUE;
    table[tableCount].window = window;
    table[tableCount].previous =
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    ++tableCount;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeyboardProc));
    return TRUE;
}

}  // namespace

void SubclassFrameWindows(HWND frame, HWND page) {
    tableCount = 0;
    keysFrame = frame;
    keysPage = page;
    EnumChildWindows(frame, &TakeWindow, 0);
}

void RestoreFrameWindows() {
    for (int i = 0; i < tableCount; ++i)
        if (IsWindow(table[i].window))
            SetWindowLongPtrA(table[i].window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(table[i].previous));
    tableCount = 0;
    keysPage = nullptr;
}
