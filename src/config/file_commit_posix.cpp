#include "file_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/paths.h"

namespace {

bool WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The rename itself reaches the disk only with the directory.
void SyncDirectoryOf(const std::string& path) {
    int fd = ::open(ContainingDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The file a path leads to through any chain of symbolic links (which may
// not exist yet: a link may name a file still to be made). 0 or errno.
int FollowLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat entry;
        if (::lstat(target.c_str(), &entry) != 0) return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(entry.st_mode)) return 0;
        std::string link(static_cast<size_t>(entry.st_size > 0 ? entry.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(target.c_str(), &link[0], link.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) >= link.size()) return ENAMETOOLONG;  // changed under us
        link.resize(static_cast<size_t>(n));
        target = (!link.empty() && link[0] == '/') ? link : ContainingDirectory(target) + "/" + link;
    }
    return ELOOP;
}

// Whether an existing file may be replaced; 0 or the error of the refusal.
int MayReplace(const std::string& path, const struct stat& file) {
    if (!S_ISREG(file.st_mode)) return EISDIR;
    // No write bit at all is the read-only attribute of this platform; root
    // could write such a file, Windows would not replace it.
    if ((file.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    // Immutable, append-only, or not ours to write.
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents, bool& exists, long* error) {
    contents.clear();
    exists = false;
    if (error) *error = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        if (error) *error = errno;
        return false;
    }
    exists = true;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool CommitFile(const std::string& path, const std::string& contents, long* error) {
    if (error) *error = 0;
    auto failed = [&](int code) {
        if (error) *error = code;
        return false;
    };
    std::string target;
    if (int code = FollowLinks(path, target)) return failed(code);
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (int code = MayReplace(target, existing)) return failed(code);
    }

    std::string temporary = target + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return failed(errno);
    if (exists) {
        // The owner first: a change of owner may clear set-id bits.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    bool written = WriteAll(fd, contents) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        saved = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return failed(saved);
    }
    SyncDirectoryOf(target);
    return true;
}
