// POSIX keeps the descriptor of each log between entries. Whether the path
// still names the open file is learnt from inotify: a watch on the log's
// directory reports the log being renamed, deleted or replaced, and one
// non-blocking read per entry (normally answered "nothing") tells the writer
// to reopen, so that the next entry goes to a file of the log's name,
// created anew, exactly as with an open per entry. Without inotify (no
// instances left) each entry looks the path up with stat instead.
//
// The size for the rotation test is counted from our own writes and
// confirmed with statx only when the count reaches the limit, so a log that
// another program truncated is not rotated early. (statx asks for the size
// alone: querying the change times would make the file system stamp every
// following write with a fine-grained time, which costs more than the write.)
//
// Everything runs under LogLock, which the writer holds for the whole entry.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log_file.h"
#include "paths.h"

namespace {

struct CachedLog {
    std::string path;
    std::string name;  // the file name within its directory, for inotify events
    int fd = -1;
    int watch = -1;  // inotify watch of the directory, -1: check with stat
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t size = 0;
    unsigned last_use = 0;
};

// The main log and the address log; a third path evicts the older one.
CachedLog cache[2];
unsigned use_counter = 0;
int inotify_fd = -2;  // -2: not tried yet, -1: unavailable

// Removes a directory watch that no open log other than `leaving` uses
// (both logs usually sit in one directory, which has one watch).
void ReleaseWatch(int watch, const CachedLog* leaving) {
    if (watch < 0) return;
    for (const CachedLog& other : cache)
        if (&other != leaving && other.fd >= 0 && other.watch == watch) return;
    inotify_rm_watch(inotify_fd, watch);
}

void Forget(CachedLog& entry) {
    if (entry.fd >= 0) close(entry.fd);
    entry.fd = -1;
    ReleaseWatch(entry.watch, &entry);
    entry.watch = -1;
}

// Reads every pending event and forgets the logs whose names were moved or
// deleted, or whose directory went away.
void DrainEvents() {
    if (inotify_fd < 0) return;
    // Asking how much is queued is cheaper than a read that finds nothing.
    int pending = 0;
    if (ioctl(inotify_fd, FIONREAD, &pending) == 0 && pending == 0) return;
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(inotify_fd, buffer, sizeof buffer);
        if (n <= 0) return;
        for (char* p = buffer; p < buffer + n;) {
            const struct inotify_event* event = reinterpret_cast<const struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + event->len;
            for (CachedLog& entry : cache) {
                if (entry.fd < 0) continue;
                bool whole_directory = (event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
                bool this_file = event->wd == entry.watch && event->len > 0 && entry.name == event->name;
                if (event->mask & IN_Q_OVERFLOW || (event->wd == entry.watch && (whole_directory || this_file))) {
                    // The watch of a vanished directory is already gone.
                    if (event->mask & IN_IGNORED) entry.watch = -1;
                    Forget(entry);
                }
            }
        }
    }
}

int WatchDirectoryOf(const std::string& path) {
    if (inotify_fd == -2) inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_fd < 0) return -1;
    const std::string directory = ContainingDirectory(path);
    return inotify_add_watch(inotify_fd, directory.c_str(),
                             IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
}

CachedLog* FindOrEvict(const std::string& path) {
    CachedLog* oldest = &cache[0];
    for (CachedLog& entry : cache) {
        if (entry.fd >= 0 && entry.path == path) return &entry;
        if (entry.last_use < oldest->last_use) oldest = &entry;
    }
    for (CachedLog& entry : cache)
        if (entry.fd < 0) return &entry;
    Forget(*oldest);
    return oldest;
}

bool StillNamesOpenFile(const CachedLog& entry) {
    if (entry.watch >= 0) return true;  // events said nothing against it
    struct stat info;
    return stat(entry.path.c_str(), &info) == 0 && info.st_dev == entry.device && info.st_ino == entry.inode;
}

}  // namespace

LogFileHandle OpenLogFile(const std::string& path) {
    DrainEvents();
    CachedLog* entry = FindOrEvict(path);
    entry->last_use = ++use_counter;
    if (entry->fd >= 0) {
        if (StillNamesOpenFile(*entry)) return entry - cache;
        Forget(*entry);
    }
    // Watch before opening: a rename between the two is then reported.
    int watch = WatchDirectoryOf(path);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) != 0) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        ReleaseWatch(watch, nullptr);
        return NO_LOG_FILE;
    }
    size_t separator = path.find_last_of(PATH_SEPARATORS);
    entry->path = path;
    entry->name = separator == std::string::npos ? path : path.substr(separator + 1);
    entry->fd = fd;
    entry->watch = watch;
    entry->device = info.st_dev;
    entry->inode = info.st_ino;
    entry->size = static_cast<uint64_t>(info.st_size);
    return entry - cache;
}

bool LogFileReached(LogFileHandle file, uint64_t limit) {
    CachedLog& entry = cache[file];
    if (entry.size < limit) return false;
    struct statx info;
    if (statx(entry.fd, "", AT_EMPTY_PATH, STATX_SIZE, &info) == 0 && (info.stx_mask & STATX_SIZE))
        entry.size = info.stx_size;
    return entry.size >= limit;
}

void WriteLogFile(LogFileHandle file, const char* data, size_t size) {
    CachedLog& entry = cache[file];
    while (size > 0) {
        ssize_t written = write(entry.fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
        entry.size += static_cast<uint64_t>(written);
    }
}

// Closing before a rotation really closes, so the renamed file is let go.
// The rotation's own rename is read from the queue by the next open, when
// no open log has that name any more, and changes nothing.
void CloseLogFile(LogFileHandle file) { Forget(cache[file]); }

void FinishLogEntry(LogFileHandle) {}
