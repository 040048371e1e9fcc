// Sending the command message to a running server's main window: a
// WM_COPYDATA with the tag 25975 and the zero-terminated text. Used by a
// second start of NIMBO.exe, by its first start for its own command line,
// and by NimboStop.exe.
#pragma once

#include <windows.h>

// Finds the running server's main window ("NIMBOClass", "DHCP Server").
HWND FindServerWindow();

// Sends text (length + 1 bytes, the zero included) and waits for the answer:
// 0, 1 or 2 (see command_message.h).
LRESULT SendCommandText(HWND server, const char* text);

// The same, waiting at most timeoutMs (and not at all for a server that
// has stopped answering messages). False when no answer came: the server
// is hung or busy, or the system let the message not through.
bool SendCommandTextWithin(HWND server, const char* text, DWORD timeoutMs, LRESULT* answer);
