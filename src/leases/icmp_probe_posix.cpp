// ICMP echo on POSIX: an unprivileged ICMP datagram socket where the system
// allows one (Linux net.ipv4.ping_group_range), else a raw ICMP socket
// (root or CAP_NET_RAW). With neither, no probe is possible and candidates
// count as free; that is logged once.
//
// Each probe has its own socket, identifier, sequence number and payload,
// all drawn from the system's random source: a datagram socket takes its
// identifier from bind() (the kernel then delivers it only replies with that
// identifier), a raw socket writes it into the request and sees every ICMP
// packet of the host. Either way a reply counts only when it comes from the
// probed address and carries the probe's identifier, sequence and payload.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "leases/icmp_probe.h"
#include "base/log.h"

namespace {

constexpr uint8_t ICMP_ECHO_REPLY_TYPE = 0;
constexpr uint8_t ICMP_ECHO_REQUEST_TYPE = 8;
constexpr size_t ICMP_HEADER = 8;
// Attempts at a free identifier for a datagram socket (another socket may
// hold the one drawn).
constexpr int BIND_ATTEMPTS = 8;

std::atomic<bool> unavailable_logged{false};

uint16_t Checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// Unpredictable bytes from the kernel's random source.
bool RandomBytes(void* out, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(out);
    while (size > 0) {
        ssize_t n = getrandom(p, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

uint16_t Read16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

// The echo request of one probe: its identifier, sequence and payload.
struct Probe {
    uint16_t id = 0;
    uint16_t sequence = 0;
    uint8_t payload[PROBE_PAYLOAD_SIZE] = {};
};

// Whether an ICMP message (header first) is the echo reply to `probe`.
bool AnswersProbe(const uint8_t* icmp, size_t length, const Probe& probe) {
    return length == ICMP_HEADER + PROBE_PAYLOAD_SIZE && icmp[0] == ICMP_ECHO_REPLY_TYPE && icmp[1] == 0 &&
           Read16(icmp + 4) == probe.id && Read16(icmp + 6) == probe.sequence &&
           std::memcmp(icmp + ICMP_HEADER, probe.payload, PROBE_PAYLOAD_SIZE) == 0;
}

// A datagram socket bound to an unpredictable identifier. -1 when the
// system allows none (or no identifier could be had).
int OpenDatagramSocket(Probe& probe) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return -1;
    for (int attempt = 0; attempt < BIND_ATTEMPTS; ++attempt) {
        if (!RandomBytes(&probe.id, sizeof probe.id)) break;
        if (probe.id == 0) continue;  // 0 asks the kernel to choose
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(probe.id);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) return fd;
        if (errno != EADDRINUSE) break;
    }
    close(fd);
    return -1;
}

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Milliseconds left until the deadline, 0 when it has passed.
int Remaining(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

EchoResult PlatformSendEcho(uint32_t address, uint32_t timeoutMs) {
    Probe probe;
    if (!RandomBytes(&probe.sequence, sizeof probe.sequence) || !RandomBytes(probe.payload, sizeof probe.payload))
        return EchoResult{true, 0, static_cast<unsigned long>(errno)};
    bool raw = false;
    int fd = OpenDatagramSocket(probe);
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
        if (fd >= 0 && !RandomBytes(&probe.id, sizeof probe.id)) {
            const int error = errno;
            close(fd);
            return EchoResult{true, 0, static_cast<unsigned long>(error)};
        }
    }
    if (fd < 0) {
        const int error = errno;
        if (!unavailable_logged.exchange(true))
            WriteLog(0, "ICMP probe unavailable - addresses are offered without a ping\n");
        return EchoResult{false, 0, static_cast<unsigned long>(error)};
    }
    Socket sock(fd);

    // The datagram socket's kernel fills in the checksum; the raw socket
    // sends what we build.
    uint8_t request[ICMP_HEADER + PROBE_PAYLOAD_SIZE] = {};
    request[0] = ICMP_ECHO_REQUEST_TYPE;
    request[4] = static_cast<uint8_t>(probe.id >> 8);
    request[5] = static_cast<uint8_t>(probe.id);
    request[6] = static_cast<uint8_t>(probe.sequence >> 8);
    request[7] = static_cast<uint8_t>(probe.sequence);
    std::memcpy(request + ICMP_HEADER, probe.payload, PROBE_PAYLOAD_SIZE);
    const uint16_t sum = Checksum(request, sizeof request);
    request[2] = static_cast<uint8_t>(sum >> 8);
    request[3] = static_cast<uint8_t>(sum);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(address);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (sendto(sock.fd(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&target), sizeof target) < 0)
        return EchoResult{true, 0, static_cast<unsigned long>(errno)};

    for (;;) {
        pollfd wait{sock.fd(), POLLIN, 0};
        const int ready = poll(&wait, 1, Remaining(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return EchoResult{true, 0, static_cast<unsigned long>(errno)};
        if (ready == 0) return EchoResult{true, 0, 0};  // timed out

        uint8_t reply[1500];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got =
            recvfrom(sock.fd(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return EchoResult{true, 0, static_cast<unsigned long>(errno)};
        }
        if (from.sin_addr.s_addr != target.sin_addr.s_addr) continue;
        const uint8_t* icmp = reply;
        size_t length = static_cast<size_t>(got);
        if (raw) {
            // A raw socket sees the IP header and every ICMP packet of the host.
            if (length < 20) continue;
            const size_t ipHeader = static_cast<size_t>(reply[0] & 0x0F) * 4;
            if (ipHeader < 20 || length < ipHeader + ICMP_HEADER) continue;
            icmp += ipHeader;
            length -= ipHeader;
        }
        if (AnswersProbe(icmp, length, probe)) return EchoResult{true, 1, 0};
    }
}
