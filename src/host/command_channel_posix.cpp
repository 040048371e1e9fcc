#include "command_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/clock.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/trusted_path.h"

namespace {

int startup_lock_fd = -1;
int run_lock_fd = -1;
int directory_fd = -1;  // keeps long directory paths usable for sun_path

constexpr int COMMAND_IO_TIMEOUT_MS = 2000;

// Only the server's own user may open a lock file, and so hold its lock:
// anyone else who could would keep the server from starting. An older
// server's lock file gets the mode too.
int OpenLockFile(const std::string& directory, const char* name, bool create = true) {
    int fd = OpenTrusted(JoinPath(directory, name), O_RDWR | (create ? O_CREAT : 0), LOCK_FILE_MODE);
    struct stat info;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 07777) != LOCK_FILE_MODE)
        (void)::fchmod(fd, LOCK_FILE_MODE);
    return fd;
}

// sun_path holds 107 characters; a longer directory is reached through the
// process's own descriptor of it.
bool SocketAddress(const std::string& directory, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::string path = JoinPath(directory, "nimbo.ctl");
    if (path.size() >= sizeof address->sun_path) {
        if (directory_fd < 0) directory_fd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (directory_fd < 0) return false;
        path = "/proc/self/fd/" + std::to_string(directory_fd) + "/nimbo.ctl";
        if (path.size() >= sizeof address->sun_path) return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool WaitFor(int fd, short events) {
    pollfd entry{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, COMMAND_IO_TIMEOUT_MS);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

bool ReadAll(int fd, void* buffer, size_t length) {
    auto* bytes = static_cast<char*>(buffer);
    while (length > 0) {
        if (!WaitFor(fd, POLLIN)) return false;
        ssize_t got = ::recv(fd, bytes, length, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* buffer, size_t length) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (length > 0) {
        if (!WaitFor(fd, POLLOUT)) return false;
        ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

bool AcquireStartupLock(const std::string& directory, bool create) {
    if (startup_lock_fd < 0) startup_lock_fd = OpenLockFile(directory, "nimbo.lock", create);
    if (startup_lock_fd < 0) return false;
    while (::flock(startup_lock_fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void ReleaseStartupLock() {
    if (startup_lock_fd < 0) return;
    ::flock(startup_lock_fd, LOCK_UN);
    ::close(startup_lock_fd);
    startup_lock_fd = -1;
}

bool ClaimServerRole(const std::string& directory) {
    if (run_lock_fd < 0) run_lock_fd = OpenLockFile(directory, "nimbo.run");
    if (run_lock_fd < 0) return false;
    if (::flock(run_lock_fd, LOCK_EX | LOCK_NB) == 0) return true;
    return false;
}

bool RunLockHeld(const std::string& directory) {
    if (run_lock_fd >= 0) return true;  // by this process
    int fd = OpenLockFile(directory, "nimbo.run", false);
    if (fd < 0) return errno != ENOENT;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also lets go of the lock if it was taken here
    return held;
}

int SendCommandToServer(const std::string& directory, uint32_t tag, const std::string& text) {
    sockaddr_un address;
    if (!SocketAddress(directory, &address)) return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int result = -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        uint32_t header[2] = {tag, static_cast<uint32_t>(text.size() + 1)};
        int32_t answer = 0;
        if (WriteAll(fd, header, sizeof header) && WriteAll(fd, text.c_str(), text.size() + 1) &&
            ReadAll(fd, &answer, sizeof answer)) {
            result = answer;
        }
    }
    ::close(fd);
    return result;
}

int OpenCommandListener(const std::string& directory) {
    sockaddr_un address;
    if (!SocketAddress(directory, &address)) {
        WriteLog(0, "Command socket path too long - %.100s\n", directory.c_str());
        return -1;
    }
    // Only the holder of the run lock gets here, so a file at this path is
    // left over from a server that ended without cleaning up.
    ::unlink(address.sun_path);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        WriteLog(0, "Command socket failed - Code = %d\n", errno);
        return -1;
    }
    mode_t previous = ::umask(0077);  // only the server's own user may command it
    int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::umask(previous);
    if (bound != 0 || ::listen(fd, 8) != 0) {
        WriteLog(0, "Command socket failed - Code = %d\n", errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

namespace {

constexpr size_t HEADER_SIZE = 2 * sizeof(uint32_t);
// More connections than this waiting at once: the oldest goes.
constexpr size_t PENDING_LIMIT = 16;

// An accepted connection whose message is still coming in.
struct PendingCommand {
    int fd = -1;
    std::string bytes;  // header and text as far as they have arrived
    uint32_t acceptedAt = 0;
};
std::vector<PendingCommand> pending;  // the main thread's own

uint32_t HeaderWord(const std::string& bytes, size_t index) {
    uint32_t word;
    std::memcpy(&word, bytes.data() + index * sizeof word, sizeof word);
    return word;
}

enum class ReadState { Waiting, Whole, Dropped };

// Reads what has arrived, without waiting.
ReadState ReadArrived(PendingCommand& command) {
    char buffer[4096];
    for (;;) {
        size_t whole = HEADER_SIZE;
        if (command.bytes.size() >= HEADER_SIZE) {
            const uint32_t length = HeaderWord(command.bytes, 1);
            if (length > COMMAND_TEXT_LIMIT) {
                WriteLog(1, "Command message dropped - bad header\n");
                return ReadState::Dropped;
            }
            whole += length;
        }
        if (command.bytes.size() >= whole) return ReadState::Whole;
        size_t want = whole - command.bytes.size();
        ssize_t got = ::recv(command.fd, buffer, want < sizeof buffer ? want : sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            command.bytes.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadState::Waiting;
        WriteLog(1, command.bytes.size() < HEADER_SIZE ? "Command message dropped - bad header\n"
                                                      : "Command message dropped - short text\n");
        return ReadState::Dropped;
    }
}

void AcceptWaiting(int listener) {
    for (;;) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (pending.size() >= PENDING_LIMIT) {
            WriteLog(1, "Command message dropped - too many connections\n");
            ::close(pending.front().fd);
            pending.erase(pending.begin());
        }
        pending.push_back(PendingCommand{fd, std::string(), TickCountMs()});
    }
}

}  // namespace

bool ReceiveCommand(int listener, int* connection, uint32_t* tag, std::string* text) {
    if (listener >= 0) AcceptWaiting(listener);
    const uint32_t now = TickCountMs();
    for (size_t i = 0; i < pending.size();) {
        PendingCommand& command = pending[i];
        ReadState state = ReadArrived(command);
        if (state == ReadState::Whole) {
            *tag = HeaderWord(command.bytes, 0);
            // Up to the first zero byte, as the window reads it.
            text->assign(command.bytes.c_str() + HEADER_SIZE);
            *connection = command.fd;
            pending.erase(pending.begin() + static_cast<long>(i));
            return true;
        }
        if (state == ReadState::Waiting && now - command.acceptedAt >= COMMAND_READ_LIMIT_MS) {
            WriteLog(1, "Command message dropped - too slow\n");
            state = ReadState::Dropped;
        }
        if (state == ReadState::Dropped) {
            ::close(command.fd);
            pending.erase(pending.begin() + static_cast<long>(i));
            continue;
        }
        ++i;
    }
    return false;
}

std::vector<int> PendingCommandConnections() {
    std::vector<int> descriptors;
    for (const PendingCommand& command : pending) descriptors.push_back(command.fd);
    return descriptors;
}

void AnswerCommand(int connection, int result) {
    int32_t answer = result;
    ssize_t sent;
    do {
        sent = ::send(connection, &answer, sizeof answer, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    ::close(connection);
}

void CloseCommandListener(int listener, const std::string& directory) {
    for (const PendingCommand& command : pending) ::close(command.fd);
    pending.clear();
    if (listener < 0) return;
    ::close(listener);
    sockaddr_un address;
    if (SocketAddress(directory, &address)) ::unlink(address.sun_path);
}
