// The one way the programs show a message box: MessageBoxA where someone can
// answer, the log line of message_box.h where no one can.
#pragma once

#include <windows.h>

#include <string>

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style);
