// The start-up lock of one program folder ("Local\NIMBOMutex-..." of
// start_decision.h): concurrent starts take turns through it, so that the
// look for a server window and the creation of one are one step between
// them. No other account can keep a start waiting on it.
#pragma once

#include <windows.h>

#include <string>

// Takes the lock of the program in `directory`, made with an access list
// that lets no other account in. Waits for it up to waitMs when this
// account, SYSTEM or Administrators holds it; passes it by (the start goes on
// without it) when another account made it, when it cannot be opened, or
// when the wait runs out.
void TakeStartupMutex(const std::string& directory, DWORD waitMs);

// Releases and closes the lock; nothing when it was passed by.
void ReleaseStartupMutex();
