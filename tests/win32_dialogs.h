// Reading the message boxes and menus that a program under test shows, the
// way a person sees them: a message box is a top-level dialog (#32770) with
// a caption and its text in the static control 0xFFFF; a popup menu is a
// #32768 window whose menu MN_GETHMENU gives.
#pragma once

#include <windows.h>

#include <string>

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool hasRetry = false;   // the Retry button exists
    bool hasCancel = false;  // the Cancel button exists
};

// Waits up to timeoutMs for a visible message box, reads it and closes it
// with `button` (IDOK, IDRETRY, IDCANCEL, ...; a box without that button is
// closed with its OK or Cancel). False when none appeared.
bool TakeMessageBox(MessageBoxSeen* seen, DWORD timeoutMs, int button = IDOK);

// A visible popup menu within timeoutMs: its items' texts, separated by
// "|", and its default item's id (-1 for none). False when none appeared.
bool ReadPopupMenu(std::string* items, int* defaultId, DWORD timeoutMs);
