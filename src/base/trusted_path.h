// Files of the program directory (NIMBO.INI, the logs, the lock files) opened
// without being led elsewhere by a symbolic link that someone else planted.
// A program running as root would otherwise truncate, write or lock
// whatever file such a link names.
//
// The rule: a symbolic link is followed only when it, every further link it
// leads through, and the file at its end (when that exists) belong to the
// effective user or to root; such a link can only have been made by the
// administrator or by the program's own user. A path that is no link is
// opened as it is. POSIX only (trusted_path_posix.cpp).
#pragma once

#include <string>

// The file `path` leads to: `path` itself when it is no link, else the end
// of its chain of links, which need not exist yet (a link may name a file
// still to be made). 0, or the error: EPERM when a link or the file at its
// end belongs to another user, ELOOP for a chain of more than 40 links.
int ResolveTrustedPath(const std::string& path, std::string* target);

// open(2) of `path` under the rule above, with O_CLOEXEC added. The last
// step opens the link's end with O_NOFOLLOW, and a file reached through a
// link is checked again once open, so a link or file planted after the
// check is refused too (EPERM). -1 with errno set on failure.
int OpenTrusted(const std::string& path, int flags, unsigned mode = 0);

// Whether root may keep its files in `directory`: empty when the directory
// belongs to root (or the effective user) and only its owner may write it,
// and every directory above it on its real path belongs to root (or the
// effective user) and is writable by its owner only or has the sticky bit
// (like /tmp, whose entries only their owners may rename). Otherwise the
// reason, naming the directory at fault. Empty too for a directory that
// does not exist (opening files in it fails anyway).
std::string DirectoryOpenToOthers(const std::string& directory);
