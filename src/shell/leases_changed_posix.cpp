// POSIX hosts have no window: the callback of leases_changed.cpp is the whole
// notification.
void PostLeasesChangedToWindow() {}
