// Text in and out of the controls of the properties window's pages, and the
// balloon tips on their fields.
#include "ui/pages_win32.h"

#include <commctrl.h>

#include <vector>

#include "config/ansi_text.h"
#include "ui/ui_resource.h"

std::string ControlText(HWND dialog, int id, int limit) {
    std::vector<char> buffer(static_cast<size_t>(limit) + 1, '\0');
    GetDlgItemTextA(dialog, id, buffer.data(), limit + 1);
    return buffer.data();
}

void SetControlText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void EnableControl(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE); }

bool IsTicked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void OnRadioClick(HWND dialog, int first, int last, int id) { CheckRadioButton(dialog, first, last, id); }

void ShowFieldBalloon(HWND page, int id, UINT titleId, const std::string& text, bool warning) {
    const std::u16string title = Utf16FromAnsi(LoadResourceString(titleId, MESSAGE_TEXT_LIMIT));
    const std::u16string body = Utf16FromAnsi(text);
    EDITBALLOONTIP tip = {};
    tip.cbStruct = sizeof tip;
    tip.pszTitle = reinterpret_cast<LPCWSTR>(title.c_str());
    tip.pszText = reinterpret_cast<LPCWSTR>(body.c_str());
    tip.ttiIcon = warning ? TTI_WARNING : TTI_INFO;
    SendDlgItemMessageW(page, id, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip));
}

INT_PTR RefuseField(HWND page, int id, UINT textId) {
    SetFocus(GetDlgItem(page, id));
    MessageBeep(0);
    ShowFieldBalloon(page, id, IDS_REFUSED_TITLE, LoadResourceString(textId, MESSAGE_TEXT_LIMIT), true);
    return 1;
}

INT_PTR AnswerValidate(HWND page, bool refuse) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, refuse ? 1 : 0);
    return TRUE;
}
