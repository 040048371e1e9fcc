// What the frame of the properties window and its pages share: the private
// messages, the page dialog procedures and small helpers for moving text in
// and out of controls.
#pragma once

#include <windows.h>

#include <string>

#include "ui/show_message_win32.h"

// Sent to the frame: go to the next tab (wParam 1) or the previous one (0).
constexpr UINT MSG_CYCLE_TAB = WM_APP + 5;
// Sent to the current page: its message result is 1 to refuse being left
// (the page has beeped and put the focus on the bad field), 0 to allow.
constexpr UINT MSG_VALIDATE_PAGE = WM_APP + 6;

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RangesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReservationsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ActiveLeasesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a control, at most `limit` characters.
std::string ControlText(HWND dialog, int id, int limit);
void SetControlText(HWND dialog, int id, const std::string& text);
void EnableControl(HWND dialog, int id, bool enable);
bool IsTicked(HWND dialog, int id);
// A click on radio button `id` of the group first..last: ticks it and clears
// the others. The frame's keyboard procedure adds DLGC_WANTTAB to every
// control's dialog code, and Wine's automatic radio buttons know the radio
// buttons of their group by that code alone, so there a click would tick
// nothing: the pages tick the button themselves.
void OnRadioClick(HWND dialog, int first, int last, int id);

// The reaction to a field that fails its check: the field gets the focus,
// the default beep sounds and a balloon tip on the field says why (string
// `textId`, titled "Not accepted"). Returns the refusal for MSG_VALIDATE_PAGE.
INT_PTR RefuseField(HWND page, int id, UINT textId);

// A balloon tip on edit `id` of the page (EM_SHOWBALLOONTIP): the title is
// string `titleId`; a warning icon, else an information icon.
void ShowFieldBalloon(HWND page, int id, UINT titleId, const std::string& text, bool warning);

// Answers MSG_VALIDATE_PAGE: the result goes into the page's message result.
INT_PTR AnswerValidate(HWND page, bool refuse);
