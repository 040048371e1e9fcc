#include "base/message_box_win32.h"

#include "base/message_box.h"

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
    if (Unattended()) {
        LogInsteadOfBox(caption, text);
        return UnattendedAnswer(style & MB_TYPEMASK);
    }
    return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}
