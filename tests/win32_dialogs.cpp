#include "win32_dialogs.h"

#include "wait_until.h"

namespace {

constexpr int MESSAGE_TEXT_ID = 0xFFFF;

// The first visible top-level window of the class.
HWND FindVisible(const char* windowClass) {
    for (HWND window = FindWindowExA(nullptr, nullptr, windowClass, nullptr); window;
         window = FindWindowExA(nullptr, window, windowClass, nullptr)) {
        if (IsWindowVisible(window)) return window;
    }
    return nullptr;
}

HWND WaitForVisible(const char* windowClass, const char* what, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil(what, [&] { return (window = FindVisible(windowClass)) != nullptr; }, static_cast<int>(timeoutMs));
    return window;
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

bool TakeMessageBox(MessageBoxSeen* seen, DWORD timeoutMs, int button) {
    HWND box = WaitForVisible("#32770", "a message box", timeoutMs);
    if (!box) return false;
    seen->caption = WindowText(box);
    seen->text = WindowText(GetDlgItem(box, MESSAGE_TEXT_ID));
    seen->owner = GetWindow(box, GW_OWNER);
    seen->hasRetry = GetDlgItem(box, IDRETRY) != nullptr;
    seen->hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    if (!GetDlgItem(box, button)) button = GetDlgItem(box, IDOK) ? IDOK : IDCANCEL;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    // Gone before the next look, so a second box is not this one again.
    WaitUntil("the message box to close", [box] { return !IsWindow(box) || !IsWindowVisible(box); });
    return true;
}

bool ReadPopupMenu(std::string* items, int* defaultId, DWORD timeoutMs) {
    HWND popup = WaitForVisible("#32768", "a popup menu", timeoutMs);
    if (!popup) return false;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
    items->clear();
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        if (i) *items += "|";
        *items += (info.fType & MFT_SEPARATOR) ? "-" : text;
    }
    UINT id = menu ? GetMenuDefaultItem(menu, FALSE, 0) : static_cast<UINT>(-1);
    *defaultId = id == static_cast<UINT>(-1) ? -1 : static_cast<int>(id);
    return true;
}
