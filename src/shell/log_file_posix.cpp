// POSIX keeps the descriptor of each log between entries and checks, with
// one stat of the path per entry, that the path still names the same file:
// a log that another program moved, deleted or replaced is reopened (and so
// created anew) by the next entry, exactly as with an open per entry, at two
// system calls an entry (stat, write) instead of four. Everything runs under
// LogLock, which the writer holds for the whole entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "log_file.h"

namespace {

struct CachedLog {
    std::string path;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t size = 0;
    unsigned last_use = 0;
};

// The main log and the address log; a third path evicts the older one.
CachedLog cache[2];
unsigned use_counter = 0;

CachedLog* FindOrEvict(const std::string& path) {
    CachedLog* oldest = &cache[0];
    for (CachedLog& entry : cache) {
        if (entry.fd >= 0 && entry.path == path) return &entry;
        if (entry.last_use < oldest->last_use) oldest = &entry;
    }
    for (CachedLog& entry : cache)
        if (entry.fd < 0) return &entry;
    close(oldest->fd);
    oldest->fd = -1;
    return oldest;
}

}  // namespace

LogFileHandle OpenLogFile(const std::string& path) {
    CachedLog* entry = FindOrEvict(path);
    entry->last_use = ++use_counter;
    struct stat info;
    if (entry->fd >= 0) {
        if (stat(path.c_str(), &info) == 0 && info.st_dev == entry->device && info.st_ino == entry->inode) {
            entry->size = static_cast<uint64_t>(info.st_size);
            return entry - cache;
        }
        close(entry->fd);
        entry->fd = -1;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return NO_LOG_FILE;
    if (fstat(fd, &info) != 0) {
        close(fd);
        return NO_LOG_FILE;
    }
    entry->path = path;
    entry->fd = fd;
    entry->device = info.st_dev;
    entry->inode = info.st_ino;
    entry->size = static_cast<uint64_t>(info.st_size);
    return entry - cache;
}

uint64_t LogFileSize(LogFileHandle file) { return cache[file].size; }

void WriteLogFile(LogFileHandle file, const char* data, size_t size) {
    int fd = cache[file].fd;
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// Closing before a rotation really closes, so the renamed file is let go;
// after an entry the descriptor stays for the next one.
void CloseLogFile(LogFileHandle file) {
    CachedLog& entry = cache[file];
    close(entry.fd);
    entry.fd = -1;
}

void FinishLogEntry(LogFileHandle) {}
