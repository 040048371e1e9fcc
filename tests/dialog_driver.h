// Drives the properties window from inside its own modal loop, the way a
// user's clicks and keys reach it: controls get real messages, posted
// messages go through the frame's dialog handling. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// What the program does at start-up for the window: registers the class
// "NIMBODlgClass" (standard dialog procedure, icon 101).
void RegisterDialogClass();

// Opens the properties window and runs `scenario` on its frame once the
// frame exists; returns when the window has closed and the settings are
// saved. A scenario that leaves the window open fails after `limitMs`.
void RunWithDialog(const std::function<void(HWND frame)>& scenario, unsigned limitMs = 30000);

HWND FindFrame();
HWND CurrentPage(HWND frame);
int SelectedTab(HWND frame);

// Handles every message waiting in the queue, as the modal loop would.
void Pump(HWND frame);
// A mouse click on tab `index` of the tab control.
void ClickTab(HWND frame, int index);
void Click(HWND dialog, int id);
// Tab with the given modifiers, sent to the window that has the focus.
void PressTab(HWND frame, bool ctrl, bool shift);
void Type(HWND dialog, int id, const char* text);
std::string Text(HWND dialog, int id);

// The Address Ranges list as "+text" (included) and "-text" (excluded).
std::vector<std::string> RangeEntries(HWND page);
void SelectRangeEntry(HWND page, int index);

// A report list's rows as "column 0|column 1", top to bottom (column 1 is
// asked of the page as the list would to show it).
std::vector<std::string> ListRows(HWND list);
// The index of the first row whose column 0 is `text`, -1 for none.
int RowOf(HWND list, const std::string& text);
// Selects a row (and focuses it), as a click on it would.
void SelectRow(HWND list, int index);
// A mouse click on the header of column `column`.
void ClickHeader(HWND list, int column);

// Answers the next message box captioned `caption` with `button` (IDOK,
// IDYES, IDNO...) as soon as it shows, from a timer, after running `meanwhile`;
// BoxText() is then its text, "" while none has been answered.
void AnswerNextBox(const char* caption, int button, std::function<void()> meanwhile = {});
std::string BoxText();

// The last balloon tip on a field as "<id>:<title>:<text>" ("" for none; taken).
std::string TakeBalloon();
