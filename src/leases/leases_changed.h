// The "leases changed" notification. The lease store calls it after each
// change a viewer should see, on whatever thread made the change. Each
// program installs what it means: the Windows program posts
// MSG_LEASES_CHANGED to its main window, the Linux host has no viewer and
// installs nothing, tests count the calls. The handler never blocks and never
// waits for a receiver.
#pragma once

void PostLeasesChanged();

using LeasesChangedCallback = void (*)();
// Installs the handler; nullptr removes it. Safe against concurrent posts.
void SetLeasesChangedCallback(LeasesChangedCallback callback);
