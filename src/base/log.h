// The two log files (main log NIMBO.LOG, address log Addresses.LOG) and their
// single writer. Each entry opens the file, rotates it to the .OLD name when it
// has reached its limit, appends a local-time stamp and the text (LF written as
// CR LF) and closes it again (POSIX keeps it open while nothing moved it; see
// log_file.h). A log that cannot be rotated (the .OLD file cannot be
// replaced, the directory is read-only) is emptied instead, and its first
// line says so: it never grows much past its limit. LogLock orders all
// entries of both files and is always the innermost lock of the program; an
// entry's text is formatted before the lock is taken.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// Fixed threshold: an entry of level L is written when L <= LOG_THRESHOLD.
constexpr int LOG_THRESHOLD = 10;
// Longest text of one entry after expansion; longer texts are cut.
constexpr size_t LOG_ENTRY_MAX = 1000;
constexpr uint32_t DEFAULT_LOG_LIMIT = 102400;

extern std::mutex LogLock;

// Forms both log paths from the program directory. Until this is called the
// paths are empty and every entry is dropped; ClearLogPaths() empties them again.
void SetLogDirectory(const std::string& directory);
void ClearLogPaths();
// Copies of the paths (tests, start-up); the writer itself never copies them.
std::string MainLogPath();
std::string AddressLogPath();
// True while the main log has a path: callers may skip building what only a
// log line would show.
bool MainLogEnabled();

// Size limits in bytes; both start at 102400.
void SetMainLogLimit(uint32_t bytes);
void SetAddressLogLimit(uint32_t bytes);
uint32_t MainLogLimit();
uint32_t AddressLogLimit();

#if defined(__GNUC__)
#define NIMBO_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define NIMBO_PRINTF(fmt, args)
#endif

// A leveled entry in the main log; the text is cut at LOG_ENTRY_MAX bytes.
void WriteLog(int level, const char* format, ...) NIMBO_PRINTF(2, 3);

// Appends one entry to the named file with rotation at limit bytes. An empty
// path writes nothing; a file that cannot be opened loses the entry.
void AppendToLogFile(const std::string& path, const char* text, uint32_t limit);

// One line of the address log, with the address log limit.
void WriteAddressLog(const char* format, ...) NIMBO_PRINTF(1, 2);

// Text from outside the program (a host name off the wire, or one stored
// from it) as a log argument: every control byte is shown as '?', so the
// text can neither start a line of its own nor break one.
std::string LogText(const char* text);

// The rotation name: the last "." of the file name onwards replaced by
// ".OLD"; empty when the file name has no ".".
std::string OldLogName(const std::string& path);
