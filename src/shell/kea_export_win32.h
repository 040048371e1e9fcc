// NIMBO.exe /EXPORTKEA DIR: the export for ISC Kea (src/export) as the
// Windows program runs it. It starts no server and talks to none, so start-
// up reads it before the single-instance steps. Without a console, the
// summary goes into DIR\export.txt and a message box.
#pragma once

#include <string>

// True when the command line is the export switch (a bad one included);
// *exitCode is then the command's exit code: 0, 1 (NIMBO.INI missing or
// unreadable, or a file not written), 2 (no directory, or no such one).
bool RunKeaExportCommand(const std::string& programDirectory, const std::string& commandLine, int* exitCode);
