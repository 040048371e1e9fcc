#include "file_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/trusted_path.h"

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

// Creates the temporary file anew, never through a link nor over a file
// that someone put there; a stale one (a crash between create and rename)
// is removed first, so it cannot block saving.
int CreateTemporary(const std::string& temporary) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
        if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return -1;
    }
    errno = EEXIST;
    return -1;
}

// Whether an existing file may be replaced; 0 or the error of the refusal.
int MayReplace(const std::string& path, const struct stat& file) {
    if (!S_ISREG(file.st_mode)) return EISDIR;
    // No write bit at all is the read-only attribute of this platform; root
    // could write such a file, Windows would not replace it.
    if ((file.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    // Immutable, append-only, or not ours to write.
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? EPERM : errno;
    ::close(fd);
    return 0;
}

bool ReadFrom(int fd, std::string& contents, bool& exists, long* error) {
    contents.clear();
    exists = false;
    if (error) *error = 0;
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

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents, bool& exists, long* error) {
    return ReadFrom(::open(path.c_str(), O_RDONLY | O_CLOEXEC), contents, exists, error);
}

bool ReadProgramFile(const std::string& path, std::string& contents, bool& exists, long* error) {
    return ReadFrom(OpenTrusted(path, O_RDONLY), contents, exists, error);
}

bool CommitFile(const std::string& path, const std::string& contents, long* error) {
    if (error) *error = 0;
    auto failed = [&](int code) {
        if (error) *error = code;
        return false;
    };
    std::string target;
    if (int code = ResolveTrustedPath(path, &target)) return failed(code);
    struct stat existing;
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists) {
        if (int code = MayReplace(target, existing)) return failed(code);
    }

    std::string temporary = target + ".tmp";
    int fd = CreateTemporary(temporary);
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
