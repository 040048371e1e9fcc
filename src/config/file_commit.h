// Whole-file replacement that a crash cannot leave half done.
#pragma once

#include <string>

// Reads a whole file. Returns false only when the file exists but cannot be
// read; a missing file gives true with empty contents and `exists` false.
// `error`, when given, gets the system's error code of a failure (errno or
// GetLastError), else 0.
bool ReadWholeFile(const std::string& path, std::string& contents, bool& exists, long* error = nullptr);
// The same for a file of the program's own (NIMBO.INI). On POSIX a symbolic
// link is followed only when it and its target belong to the effective user
// or root (base/trusted_path.h); otherwise the read fails with EPERM.
bool ReadProgramFile(const std::string& path, std::string& contents, bool& exists, long* error = nullptr);

// Writes contents to a temporary file beside path, flushes it to the disk
// and renames it over path, so that path afterwards holds either the old
// file or the new one, never a mixture. False when any step failed (path is
// then unchanged and the temporary file removed).
//
// A file that may not be written is not replaced: the save fails as Windows
// fails to replace a read-only file. On POSIX that is a file without any
// write permission bit, one this process may not open for writing, or an
// immutable one (the error is EACCES or EPERM). There, when path is a
// symbolic link that it may follow (the rule of ReadProgramFile; else
// EPERM), the file it leads to is replaced (the temporary file goes beside
// that one) and the link stays; the replacement gets the old file's mode
// and, as far as the process may give it, its owner and group. The
// temporary file is always made anew (O_EXCL, O_NOFOLLOW), after removing
// a stale one.
bool CommitFile(const std::string& path, const std::string& contents, long* error = nullptr);
