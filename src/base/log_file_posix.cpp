// POSIX keeps the descriptor of each log between entries. Whether the path
// still names the open file is learnt from inotify, and the next entry then
// reopens, so that it goes to a file of the log's name, created anew when
// needed, exactly as with an open per entry. Two watches per log:
// - the open file itself: moved (IN_MOVE_SELF), or its name deleted or
//   replaced by another file renamed over it (IN_ATTRIB: its link count fell);
// - its directory: moved or deleted (IN_MOVE_SELF, IN_DELETE_SELF).
// Events of other files in the directory (the settings file's saves) are
// not asked for.
//
// The queue is not asked at every entry: the inotify descriptor raises
// SIGIO when an event is queued (O_ASYNC), and the handler sets a flag that
// the next entry reads, a plain load from memory; only then is the queue
// read. The kernel sends the signal within the call that moved or deleted
// the file: to this thread when it made the call, to a running thread of
// this process within microseconds otherwise. Where the signal cannot be set
// up, each entry asks the queue (FIONREAD) instead; without inotify (no
// instances left) each entry looks the path up with stat.
//
// A log that is a symbolic link is looked up with stat at every entry: the
// link can be changed without the file it led to changing.
//
// The size for the rotation test is counted from our own writes and
// confirmed with statx only when the count reaches the limit, so a log that
// another program truncated is not rotated early. (statx asks for the size
// alone: querying the change times would make the file system stamp every
// following write with a fine-grained time, which costs more than the write.)
//
// Everything runs under LogLock, which the writer holds for the whole entry.
#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "log_file.h"
#include "paths.h"
#include "trusted_path.h"

namespace {

constexpr uint32_t FILE_EVENTS = IN_MOVE_SELF | IN_DELETE_SELF | IN_ATTRIB;
constexpr uint32_t DIRECTORY_EVENTS = IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

struct CachedLog {
    std::string path;
    int fd = -1;
    int fileWatch = -1;       // -1: looked up with stat at every entry
    int directoryWatch = -1;  // shared by the logs of one directory
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t size = 0;
    unsigned last_use = 0;
};

// The main log and the address log; a third path evicts the older one.
CachedLog cache[2];
unsigned use_counter = 0;
int inotify_fd = -2;  // -2: not tried yet, -1: unavailable

// Set by the SIGIO handler when the inotify queue got an event; cleared by
// the writer before it reads the queue.
std::atomic<bool> events_signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");
bool signal_driven = false;  // SIGIO is set up; otherwise FIONREAD per entry
struct sigaction previous_sigio;

void NoteEvents(int signal, siginfo_t* info, void* context) {
    events_signalled.store(true, std::memory_order_relaxed);
    // A handler that was there before still gets its signal.
    if ((previous_sigio.sa_flags & SA_SIGINFO) && previous_sigio.sa_sigaction)
        previous_sigio.sa_sigaction(signal, info, context);
    else if (!(previous_sigio.sa_flags & SA_SIGINFO) && previous_sigio.sa_handler != SIG_DFL &&
             previous_sigio.sa_handler != SIG_IGN)
        previous_sigio.sa_handler(signal);
}

// Asks the kernel for SIGIO at every queued event. SA_RESTART: a call that
// the signal interrupts goes on where the system allows it.
bool RaiseSignalOnEvents(int fd) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = NoteEvents;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGIO, &action, &previous_sigio) != 0) return false;
    if (fcntl(fd, F_SETOWN, getpid()) == 0 && fcntl(fd, F_SETFL, O_NONBLOCK | O_ASYNC) == 0) return true;
    sigaction(SIGIO, &previous_sigio, nullptr);
    return false;
}

bool InotifyReady() {
    if (inotify_fd == -2) {
        inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_fd >= 0) signal_driven = RaiseSignalOnEvents(inotify_fd);
    }
    return inotify_fd >= 0;
}

// Removes a directory watch that no open log other than `leaving` uses
// (both logs usually sit in one directory, which has one watch).
void ReleaseDirectoryWatch(int watch, const CachedLog* leaving) {
    if (watch < 0) return;
    for (const CachedLog& other : cache)
        if (&other != leaving && other.fd >= 0 && other.directoryWatch == watch) return;
    inotify_rm_watch(inotify_fd, watch);
}

void Forget(CachedLog& entry) {
    if (entry.fd >= 0) close(entry.fd);
    entry.fd = -1;
    if (entry.fileWatch >= 0) inotify_rm_watch(inotify_fd, entry.fileWatch);
    entry.fileWatch = -1;
    ReleaseDirectoryWatch(entry.directoryWatch, &entry);
    entry.directoryWatch = -1;
}

// Reads every pending event and forgets the logs it concerns. A watch that
// the kernel dropped (IN_IGNORED: its file or directory is gone) is already
// gone and is not removed again.
void ReadEvents() {
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(inotify_fd, buffer, sizeof buffer);
        if (n <= 0) return;
        for (char* p = buffer; p < buffer + n;) {
            const struct inotify_event* event = reinterpret_cast<const struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + event->len;
            for (CachedLog& entry : cache) {
                if (entry.fd < 0) continue;
                const bool overflow = (event->mask & IN_Q_OVERFLOW) != 0;
                if (!overflow && event->wd != entry.fileWatch && event->wd != entry.directoryWatch) continue;
                if (event->mask & IN_IGNORED) {
                    if (event->wd == entry.fileWatch) entry.fileWatch = -1;
                    if (event->wd == entry.directoryWatch) entry.directoryWatch = -1;
                }
                Forget(entry);
            }
        }
    }
}

// The events queued since the last entry, if any.
void DrainEvents() {
    if (inotify_fd < 0) return;
    if (signal_driven) {
        if (!events_signalled.load(std::memory_order_relaxed)) return;
        events_signalled.store(false, std::memory_order_relaxed);
    } else {
        // Asking how much is queued is cheaper than a read that finds nothing.
        int pending = 0;
        if (ioctl(inotify_fd, FIONREAD, &pending) == 0 && pending == 0) return;
    }
    ReadEvents();
}

// Watches the open file itself and its directory. The file is watched
// through its descriptor where /proc allows, so that the watch is on the
// file just opened even if its name changed meanwhile. False when either
// watch cannot be set; the entry then has neither.
bool WatchOpenFile(CachedLog& entry) {
    if (!InotifyReady()) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(entry.fd);
    entry.fileWatch = inotify_add_watch(inotify_fd, self.c_str(), FILE_EVENTS);
    if (entry.fileWatch < 0) entry.fileWatch = inotify_add_watch(inotify_fd, entry.path.c_str(), FILE_EVENTS);
    entry.directoryWatch = inotify_add_watch(inotify_fd, ContainingDirectory(entry.path).c_str(), DIRECTORY_EVENTS);
    if (entry.fileWatch >= 0 && entry.directoryWatch >= 0) return true;
    if (entry.fileWatch >= 0) inotify_rm_watch(inotify_fd, entry.fileWatch);
    ReleaseDirectoryWatch(entry.directoryWatch, &entry);
    entry.fileWatch = entry.directoryWatch = -1;
    return false;
}

// Whether the path leads to the file (device, inode) now.
bool PathLeadsTo(const std::string& path, dev_t device, ino_t inode) {
    struct stat now;
    return stat(path.c_str(), &now) == 0 && now.st_dev == device && now.st_ino == inode;
}

// Opens the log into `entry` and watches it, unless it is a link. False when
// it cannot be opened, or when a link leads it to a file that another user
// may have planted there (trusted_path.h).
bool OpenWatched(CachedLog& entry, const std::string& path) {
    int fd = OpenTrusted(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) != 0) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) return false;
    entry.path = path;
    entry.fd = fd;
    entry.device = info.st_dev;
    entry.inode = info.st_ino;
    entry.size = static_cast<uint64_t>(info.st_size);
    struct stat link;
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) return true;
    // A file moved or deleted between the open and the watch is no longer
    // the log: the caller opens again.
    if (WatchOpenFile(entry) && !PathLeadsTo(path, info.st_dev, info.st_ino)) Forget(entry);
    return true;
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
    if (entry.fileWatch >= 0) return true;  // events said nothing against it
    return PathLeadsTo(entry.path, entry.device, entry.inode);
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
    for (int attempt = 0; attempt < 3 && entry->fd < 0; ++attempt)
        if (!OpenWatched(*entry, path)) return NO_LOG_FILE;
    return entry->fd >= 0 ? entry - cache : NO_LOG_FILE;
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

void TruncateLogFile(LogFileHandle file) {
    CachedLog& entry = cache[file];
    if (ftruncate(entry.fd, 0) == 0) entry.size = 0;
}

// Closing before a rotation really closes, so the renamed file is let go;
// its watch goes with it, so the rotation's own rename is no event.
void CloseLogFile(LogFileHandle file) { Forget(cache[file]); }

void FinishLogEntry(LogFileHandle) {}
