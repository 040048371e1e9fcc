// Installing ("Config") and removing ("Remove") the service from the
// command line. Both talk to the user through console_io.h. They return the
// program's exit code: 1 when a failure was printed, 0 otherwise (done, or
// declined by the user).
#pragma once

#include <string>

// Installs the service whose program is servicePath (the wrapper's own full
// path) and which runs the server program beside it. Quiet: no listing, no
// questions, and the service is started at once.
int ConfigureService(const std::string& servicePath, bool quiet);

// Stops the service when it runs, waits until it has stopped, and removes it.
// Quiet: without asking first.
int RemoveService(bool quiet);
