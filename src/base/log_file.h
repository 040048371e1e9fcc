// File seam of the log writer: open for appending (creating the file when
// missing, others may still read it), the size test, one write, finish.
// Other programs can read, move or delete a log while the server runs: the
// next entry then writes to a file of that name, created anew when needed.
// Windows opens and closes the file for every entry (an open handle would
// keep others from deleting it); POSIX may keep it open between entries.
// Callers hold LogLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using LogFileHandle = intptr_t;
constexpr LogFileHandle NO_LOG_FILE = -1;

LogFileHandle OpenLogFile(const std::string& path);
// True when the file holds at least limit bytes (time to rotate).
bool LogFileReached(LogFileHandle file, uint64_t limit);
// Appends size bytes at the end of the file.
void WriteLogFile(LogFileHandle file, const char* data, size_t size);
// Empties the file (a log that could not be rotated).
void TruncateLogFile(LogFileHandle file);
// Lets the file go at once (before a rotation renames it).
void CloseLogFile(LogFileHandle file);
// Ends an entry: closes the file, or keeps it for the next entry.
void FinishLogEntry(LogFileHandle file);
