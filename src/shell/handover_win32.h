// The hand-over of the service's settings, on the side of the elevated
// NIMBO.exe that serves in the administrator's session while the service
// "Nimbo" is stopped, its properties window open. When that window closes the
// server stops serving, saves, and the service starts again; when it cannot,
// this server serves on and says so, so that DHCP is never left without a
// server.
#pragma once

#include <windows.h>

// This start stopped the service: the properties window's title and the
// tray menu say that closing the window hands the server back.
void BeginHandOver();
bool HandOverActive();

// Ends the hand-over: stops the server thread, saves NIMBO.INI and starts the
// service. Once it runs, the main window is destroyed, and the exit saves
// nothing more (the service's server owns the file now). When it does not
// start, the server thread runs again and a message says why. At the end of a
// session (sessionEnds) it waits for nothing and shows nothing.
void HandBackToService(HWND mainWindow, bool sessionEnds);
bool HandedBack();

// Puts the hand-over's note at the top of the tray menu.
void AddHandOverNote(HMENU popup);
