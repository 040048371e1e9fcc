// The program's texts on screen: string resources of the program file and
// the message boxes made of them. Used by the main window, start-up and the
// properties window alike.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The longest message text read from the string table.
constexpr size_t MESSAGE_TEXT_LIMIT = 1000;

// A string resource of the program file, at most limit - 1 characters ("" when
// it is missing, which is logged at level -1).
std::string LoadResourceString(UINT id, size_t limit);

// A message box whose text is string resource textId and whose caption is
// string resource captionId (8, "Nimbo Error", when 0). Returns the button.
int ShowMessage(HWND owner, UINT textId, UINT captionId, UINT style);

// A warning without owner, captioned "Nimbo Error", whose text is string
// resource textId with the error code put into its one "%lu".
int ShowErrorMessage(UINT textId, unsigned long error);
