// ICMP echo on POSIX: an unprivileged ICMP datagram socket where the system
// allows one (Linux net.ipv4.ping_group_range), else a raw ICMP socket
// (root or CAP_NET_RAW). With neither, no probe is possible and candidates
// count as free; that is logged once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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
constexpr size_t MAX_PAYLOAD = 512;

std::atomic<bool> unavailable_logged{false};
std::atomic<uint16_t> next_sequence{1};

uint16_t Checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
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

EchoResult PlatformSendEcho(uint32_t address, const void* payload, size_t payloadSize, uint32_t timeoutMs) {
    if (payloadSize > MAX_PAYLOAD) payloadSize = MAX_PAYLOAD;
    bool raw = false;
    int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) {
        const int error = errno;
        if (!unavailable_logged.exchange(true))
            WriteLog(0, "ICMP probe unavailable - addresses are offered without a ping\n");
        return EchoResult{false, 0, static_cast<unsigned long>(error)};
    }
    Socket sock(fd);

    // The datagram socket's kernel replaces the identifier with the socket's
    // own and fills in the checksum; the raw socket sends what we build.
    const uint16_t id = static_cast<uint16_t>(getpid());
    const uint16_t sequence = next_sequence.fetch_add(1);
    uint8_t request[ICMP_HEADER + MAX_PAYLOAD] = {};
    request[0] = ICMP_ECHO_REQUEST_TYPE;
    request[4] = static_cast<uint8_t>(id >> 8);
    request[5] = static_cast<uint8_t>(id);
    request[6] = static_cast<uint8_t>(sequence >> 8);
    request[7] = static_cast<uint8_t>(sequence);
    std::memcpy(request + ICMP_HEADER, payload, payloadSize);
    const uint16_t sum = Checksum(request, ICMP_HEADER + payloadSize);
    request[2] = static_cast<uint8_t>(sum >> 8);
    request[3] = static_cast<uint8_t>(sum);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(address);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (sendto(sock.fd(), request, ICMP_HEADER + payloadSize, 0, reinterpret_cast<sockaddr*>(&target),
               sizeof target) < 0)
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
        if (length < ICMP_HEADER || icmp[0] != ICMP_ECHO_REPLY_TYPE) continue;
        const uint16_t replyId = static_cast<uint16_t>((icmp[4] << 8) | icmp[5]);
        const uint16_t replySequence = static_cast<uint16_t>((icmp[6] << 8) | icmp[7]);
        if (replySequence != sequence || (raw && replyId != id)) continue;
        return EchoResult{true, 1, 0};
    }
}
