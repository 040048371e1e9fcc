// NIMBO.exe beside the service "Nimbo": what a start that finds no server
// window in its session does while the service runs (start_decision.h), and
// the elevated halves of a stop and of a hand-over of the service.
#pragma once

#include <string>

// Decides, once per start and before the first message box, whether anyone
// can answer one (start_decision.h); where no one can, boxes become log lines.
void NoteWhoCanAnswer(const std::string& commandLine);

// After the look for a server window found none. True when this start is to
// become the server. Otherwise it has released the start-up lock and stopped
// the service, started the hand-over or said why not, and the program ends
// with exit code 0. The elevated half of a hand-over (handOver) stops the
// service here, so that its server saves and ends before this one starts.
bool BecomesServer(const std::string& commandLine, bool handOver);

// The elevated half of a stop ("/STOPSERVICE"): stops the service and waits
// for it. Returns 0 or the error code, which the start that asked shows.
int StopServiceAsAdministrator();
