// The "leases changed" notification (MSG_LEASES_CHANGED). The lease store
// posts it after each change a viewer should see; it never blocks and never
// waits for the receiver. Windows posts the window message to the main
// window; the Linux host and the tests install a callback.
#pragma once

constexpr unsigned MSG_LEASES_CHANGED = 0x8001;  // WM_APP + 1

void PostLeasesChanged();

using LeasesChangedCallback = void (*)();
// Called (on whatever thread posts) instead of, or on Windows besides, the
// window message. nullptr removes it.
void SetLeasesChangedCallback(LeasesChangedCallback callback);

#ifdef _WIN32
// The window that receives MSG_LEASES_CHANGED (an HWND); nullptr for none.
void SetLeasesChangedWindow(void* window);
#endif
