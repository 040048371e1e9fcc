// The machine's host name as the system's host-name call returns it
// (gethostname; Winsock must be started on Windows). Empty on failure.
//
// Every reply carries it, so it is read once and kept. Linux reads it again
// when it has changed: /proc/sys/kernel/hostname tells a change to poll(),
// which is asked at most once a second. Windows reads it once per start (a
// computer's new name takes effect at the next start of Windows anyway).
#pragma once

#include <string>

std::string GetServerHostName();
