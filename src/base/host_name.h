// The machine's host name as the system's host-name call returns it
// (gethostname; Winsock must be started on Windows). Empty on failure.
#pragma once

#include <string>

std::string GetServerHostName();
