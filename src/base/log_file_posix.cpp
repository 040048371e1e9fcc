// POSIX keeps the descriptor of each log between entries. Whether the path
// still names the open file is learnt from inotify: a watch on the log's
// directory reports the log being renamed, deleted or replaced, and the next
// entry then reopens, so that it goes to a file of the log's name, created
// anew when needed, exactly as with an open per entry.
//
// The queue is not asked at every entry: the inotify descriptor raises
// SIGIO when an event is queued (O_ASYNC), and the handler sets a flag that
// the next entry reads, a plain load from memory. Only then is the queue
// read. The kernel sends the signal within the call that moved or deleted
// the file, so the flag is set before that call returns to a thread of
// this process, and within microseconds for another program. Where the
// signal cannot be set up, each entry asks the queue (FIONREAD) instead;
// without inotify (no instances left) each entry looks the path up with
// stat.
//
// A log that is a symbolic link is looked up with stat at every entry: the
// directory watch sees the link, not the file it leads to, which another
// program may rotate in a directory of its own.
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

int WatchDirectoryOf(const std::string& path) {
    if (inotify_fd == -2) {
        inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_fd >= 0) signal_driven = RaiseSignalOnEvents(inotify_fd);
    }
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
    // What is queued so far concerns files opened before (our own
    // rotation's rename among it): it is read now, so that it cannot close
    // the file opened below.
    if (inotify_fd >= 0) {
        events_signalled.store(false, std::memory_order_relaxed);
        ReadEvents();
    }
    // Watch before opening: a rename between the two is then reported. A
    // link is looked up at every entry instead.
    struct stat link;
    const bool is_link = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    int watch = is_link ? -1 : WatchDirectoryOf(path);
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

void TruncateLogFile(LogFileHandle file) {
    CachedLog& entry = cache[file];
    if (ftruncate(entry.fd, 0) == 0) entry.size = 0;
}

// Closing before a rotation really closes, so the renamed file is let go.
// The rotation's own rename is read from the queue by the next open, when
// no open log has that name any more, and changes nothing.
void CloseLogFile(LogFileHandle file) { Forget(cache[file]); }

void FinishLogEntry(LogFileHandle) {}
