// Text in and out of the controls of the properties window's pages.
#include <vector>

#include "ui/pages_win32.h"

std::string ControlText(HWND dialog, int id, int limit) {
    std::vector<char> buffer(static_cast<size_t>(limit) + 1, '\0');
    GetDlgItemTextA(dialog, id, buffer.data(), limit + 1);
    return buffer.data();
}

void SetControlText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void EnableControl(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE); }

bool IsTicked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void OnRadioClick(HWND dialog, int first, int last, int id) { CheckRadioButton(dialog, first, last, id); }

INT_PTR RefuseField(HWND page, int id) {
    SetFocus(GetDlgItem(page, id));
    MessageBeep(0);
    return 1;
}

INT_PTR AnswerValidate(HWND page, bool refuse) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, refuse ? 1 : 0);
    return TRUE;
}
