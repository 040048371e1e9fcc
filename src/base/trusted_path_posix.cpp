#include "base/trusted_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"

namespace {

constexpr int MAX_LINKS = 40;

bool Trusted(const struct stat& entry) { return entry.st_uid == 0 || entry.st_uid == ::geteuid(); }

}  // namespace

int ResolveTrustedPath(const std::string& path, std::string* target) {
    std::string at = path;
    for (int hop = 0; hop <= MAX_LINKS; ++hop) {
        struct stat entry;
        if (::lstat(at.c_str(), &entry) != 0) {
            if (errno != ENOENT) return errno;
            *target = at;  // still to be made
            return 0;
        }
        if (!S_ISLNK(entry.st_mode)) {
            if (hop > 0 && !Trusted(entry)) return EPERM;
            *target = at;
            return 0;
        }
        if (!Trusted(entry)) return EPERM;
        std::string link(static_cast<size_t>(entry.st_size > 0 ? entry.st_size : PATH_MAX) + 1, '\0');
        ssize_t n = ::readlink(at.c_str(), &link[0], link.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) >= link.size()) return ENAMETOOLONG;  // changed under us
        link.resize(static_cast<size_t>(n));
        at = (!link.empty() && link[0] == '/') ? link : ContainingDirectory(at) + "/" + link;
    }
    return ELOOP;
}

int OpenTrusted(const std::string& path, int flags, unsigned mode) {
    std::string target;
    if (int error = ResolveTrustedPath(path, &target)) {
        errno = error;
        return -1;
    }
    int fd = ::open(target.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        if (errno == ELOOP) errno = EPERM;  // a link put there since the check
        return -1;
    }
    struct stat opened;
    if (target != path && (::fstat(fd, &opened) != 0 || !Trusted(opened))) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

std::string DirectoryOpenToOthers(const std::string& directory) {
    char* real = ::realpath(directory.c_str(), nullptr);
    if (!real) return "";  // nothing there to trust or not: the start fails on its own
    std::string path = real;
    std::free(real);
    for (bool first = true;; first = false) {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
        if (!Trusted(info)) return path + " belongs to user " + std::to_string(info.st_uid);
        // Root's own group counts as root's; any other group, or everyone,
        // could plant links. Above the directory a sticky bit keeps others
        // from moving root's entries away.
        const bool othersWrite = (info.st_mode & S_IWOTH) != 0 || ((info.st_mode & S_IWGRP) != 0 && info.st_gid != 0);
        if (othersWrite && (first || (info.st_mode & S_ISVTX) == 0)) return path + " may be written by other users";
        if (path == "/") return "";
        path = ContainingDirectory(path);
    }
}
