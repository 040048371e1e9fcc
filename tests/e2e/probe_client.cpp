// nimbo_probe_client: a tiny DHCP client and datagram sender for the
// end-to-end tests. It talks to one server address only (inside the test's
// network namespace) and prints one result line.
//
//   nimbo_probe_client SERVER COMMAND ARGS...
//     dora MAC                 DISCOVER, REQUEST the offer  -> "ACK a.b.c.d" | "NAK" | "NONE"
//     renew MAC ADDR           REQUEST without server id    -> "ACK a.b.c.d" | "NAK" | "NONE"
//     release MAC ADDR         RELEASE                       -> "SENT"
//     relay MAC GIADDR         DISCOVER with giaddr set      -> "OFFER a.b.c.d" | "NONE"
//     relayrequest MAC GIADDR ADDR  REQUEST with giaddr set     -> "ACK a.b.c.d" | "NAK" | "NONE"
//     ask MAC CODES [SIZE]     DISCOVER whose option 55 holds CODES (1,15,15,...),
//                              with option 57 = SIZE when given
//                                                  -> "OFFER LENGTH n OPTIONS c1 c2 ..." | "NONE"
//     crafted KIND [COUNT]     malformed datagrams; prints "REPLIES n BAD m"
//                              KIND: truncated oversized cookie overrun random
//     flood SIZE MS            datagrams of SIZE bytes, one every 1.5 ms, for
//                              MS milliseconds            -> "SENT n"
//     naks COUNT [GAP_US]      renewals (no server id) from COUNT clients whose
//                              ciaddr, 10.66.x.y, nobody holds, GAP_US
//                              microseconds apart (default 4000): each draws
//                              a DHCPNAK to that address  -> "SENT n"
// Replies are awaited on UDP port 68 of every local address; as a relay
// agent, on port 67, where relay agents listen. With PROBE_HOST_NAME set,
// dora sends it as option 12 and asks for option 12. PROBE_WAIT_MS is the
// wait for each reply; with PROBE_TRIES=n a request is sent up to n times.
#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint8_t COOKIE[4] = {99, 130, 83, 99};
int sock = -1;
sockaddr_in server{};
int waitMs = 1500;
int tries = 1;  // sends of a DISCOVER or REQUEST, as a client retransmits
const char* hostName = nullptr;  // option 12 of dora's messages, when set
uint32_t relayAgent = 0;         // giaddr of a request (network order), when set

bool ParseMac(const char* text, uint8_t mac[6]) {
    unsigned v[6];
    if (std::sscanf(text, "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) return false;
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(v[i]);
    return true;
}

struct Packet {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(240, 0);
    Packet(uint32_t xid, const uint8_t mac[6]) {
        bytes[0] = 1;
        bytes[1] = 1;
        bytes[2] = 6;
        std::memcpy(&bytes[4], &xid, 4);
        std::memcpy(&bytes[28], mac, 6);
        std::memcpy(&bytes[236], COOKIE, 4);
    }
    void option(uint8_t code, std::vector<uint8_t> value) {
        bytes.push_back(code);
        bytes.push_back(static_cast<uint8_t>(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
    }
    void address(size_t offset, uint32_t networkOrder) { std::memcpy(&bytes[offset], &networkOrder, 4); }
    void end() { bytes.push_back(255); }
};

// The parameter request list, and the host name when one is set.
void ClientOptions(Packet& packet) {
    if (!hostName) {
        packet.option(55, {1, 3, 6, 15});
        return;
    }
    packet.option(12, std::vector<uint8_t>(hostName, hostName + std::strlen(hostName)));
    packet.option(55, {1, 3, 6, 12, 15});
}

std::vector<uint8_t> AddressBytes(uint32_t networkOrder) {
    std::vector<uint8_t> v(4);
    std::memcpy(v.data(), &networkOrder, 4);
    return v;
}

void Send(const std::vector<uint8_t>& bytes) {
    if (::sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&server), sizeof server) < 0) {
        std::perror("sendto");
    }
}

struct Reply {
    uint32_t xid = 0;
    uint32_t yiaddr = 0;  // network order
    int type = 0;
    bool wellFormed = false;
    size_t length = 0;
    std::vector<uint8_t> codes;  // of its options, in order
};

// Waits for one datagram on the local port; false on time-out.
bool Receive(Reply* reply, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) return false;
        pollfd entry{sock, POLLIN, 0};
        if (::poll(&entry, 1, left) <= 0) continue;
        uint8_t buffer[4096];
        ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
        if (got <= 0) continue;
        *reply = Reply{};
        reply->length = static_cast<size_t>(got);
        if (got < 240) return true;
        std::memcpy(&reply->xid, buffer + 4, 4);
        std::memcpy(&reply->yiaddr, buffer + 16, 4);
        bool cookie = std::memcmp(buffer + 236, COOKIE, 4) == 0;
        // Walk the options with bounds; a reply must end with option 255.
        size_t at = 240;
        bool ended = false;
        while (at < static_cast<size_t>(got)) {
            uint8_t code = buffer[at];
            if (code == 0) { ++at; continue; }
            if (code == 255) { ended = true; break; }
            if (at + 1 >= static_cast<size_t>(got) || at + 2 + buffer[at + 1] > static_cast<size_t>(got)) break;
            if (code == 53 && buffer[at + 1] == 1) reply->type = buffer[at + 2];
            reply->codes.push_back(code);
            at += 2 + buffer[at + 1];
        }
        reply->wellFormed = buffer[0] == 2 && cookie && ended && (reply->type == 2 || reply->type == 5 || reply->type == 6);
        return true;
    }
}

// Waits for the reply to `xid`, skipping others.
bool Await(uint32_t xid, Reply* reply) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (!Receive(reply, left)) return false;
        if (reply->xid == xid && reply->wellFormed) return true;
    }
    return false;
}

// Sends a request and waits for its reply, sending it again up to `tries`
// times in all.
bool SendAndAwait(const std::vector<uint8_t>& bytes, uint32_t xid, Reply* reply) {
    for (int attempt = 0; attempt < tries; ++attempt) {
        Send(bytes);
        if (Await(xid, reply)) return true;
    }
    return false;
}

std::string Dotted(uint32_t networkOrder) {
    in_addr a{networkOrder};
    return inet_ntoa(a);
}

int Request(const uint8_t mac[6], uint32_t address, uint32_t serverId) {
    uint32_t xid = static_cast<uint32_t>(std::random_device{}());
    Packet request(xid, mac);
    if (relayAgent) {
        request.address(24, relayAgent);
        request.bytes[3] = 1;  // hops
    }
    request.option(53, {3});
    request.option(50, AddressBytes(address));
    if (serverId) request.option(54, AddressBytes(serverId));
    ClientOptions(request);
    request.end();
    Reply reply;
    if (!SendAndAwait(request.bytes, xid, &reply)) {
        std::printf("NONE\n");
        return 1;
    }
    if (reply.type == 5) {
        std::printf("ACK %s\n", Dotted(reply.yiaddr).c_str());
        return 0;
    }
    std::printf("NAK\n");
    return 1;
}

int Crafted(const std::string& kind, int count) {
    std::mt19937 random(12345);
    uint8_t mac[6] = {0x02, 0xBA, 0xD0, 0, 0, 0};
    std::vector<uint32_t> sent;
    for (int i = 0; i < count; ++i) {
        mac[5] = static_cast<uint8_t>(i);
        uint32_t xid = 0xC0DE0000u + static_cast<uint32_t>(i);
        Packet p(xid, mac);
        p.option(53, {1});
        std::vector<uint8_t> bytes;
        if (kind == "truncated") {
            p.end();
            bytes.assign(p.bytes.begin(), p.bytes.begin() + (i * 37) % 243);  // cut anywhere up to the first option
        } else if (kind == "oversized") {
            p.end();
            bytes = p.bytes;
            bytes.resize(4000 + i, static_cast<uint8_t>(i));
        } else if (kind == "cookie") {
            p.end();
            bytes = p.bytes;
            bytes[236 + i % 4] ^= 0x5A;
        } else if (kind == "overrun") {
            p.option(12, std::vector<uint8_t>(8, 'h'));
            bytes = p.bytes;
            bytes.push_back(61);  // client id claiming more bytes than follow
            bytes.push_back(static_cast<uint8_t>(200 + i % 50));
            bytes.push_back(1);
            bytes.push_back(2);
            if (i % 2) bytes.push_back(55);  // or a code without its length byte
        } else {
            bytes.resize(random() % 1500);
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
            // Half of them look like requests so they get past the first checks.
            if (i % 2 && bytes.size() >= 244) {
                bytes[0] = 1;
                std::memcpy(&bytes[236], COOKIE, 4);
                std::memcpy(&bytes[4], &xid, 4);
            }
        }
        if (bytes.size() >= 8) std::memcpy(&bytes[4], &xid, 4);
        Send(bytes);
        sent.push_back(xid);
    }
    int replies = 0, bad = 0;
    Reply reply;
    while (Receive(&reply, 700)) {
        ++replies;
        // A reply to a malformed datagram must at least be a well-formed
        // BOOTREPLY for one of ours; anything else is a wrong answer.
        bool ours = false;
        for (uint32_t x : sent) ours = ours || x == reply.xid;
        if (!reply.wellFormed || !ours) ++bad;
    }
    std::printf("REPLIES %d BAD %d\n", replies, bad);
    return bad == 0 ? 0 : 1;
}

// A steady stream of datagrams of one size (too large for the server's
// buffer when SIZE is above 2048).
int Flood(size_t size, int milliseconds) {
    std::vector<uint8_t> bytes(size, 0x5A);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int sent = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (::sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&server), sizeof server) >= 0)
            ++sent;
        ::usleep(1500);
    }
    std::printf("SENT %d\n", sent);
    return 0;
}

// Renewals from clients that are not there: the server refuses each
// (10.66.0.0/16 lies in no range) and sends its DHCPNAK to the ciaddr, which
// the server's side has to resolve first and never can.
int Naks(int count, int gapMicroseconds) {
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t mac[6] = {0x02, 0x0a, 0x0a, 0x00, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        Packet request(0x4E410000u + static_cast<uint32_t>(i), mac);
        const uint32_t absent = htonl(0x0A420000u + (static_cast<uint32_t>(i / 250) << 8) + static_cast<uint32_t>(i % 250) + 1);
        request.address(12, absent);
        request.option(53, {3});
        request.option(50, AddressBytes(absent));
        request.end();
        Send(request.bytes);
        ++sent;
        // A burst, not a flood: a slow server (under Wine, say) keeps up
        // with it, so that no request is lost from its receive queue.
        ::usleep(static_cast<useconds_t>(gapMicroseconds));
    }
    std::printf("SENT %d\n", sent);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVER COMMAND ARGS...\n", argv[0]);
        return 2;
    }
    if (const char* wait = std::getenv("PROBE_WAIT_MS")) waitMs = std::atoi(wait);
    if (const char* count = std::getenv("PROBE_TRIES")) tries = std::max(1, std::atoi(count));
    hostName = std::getenv("PROBE_HOST_NAME");
    server.sin_family = AF_INET;
    server.sin_port = htons(67);
    if (inet_pton(AF_INET, argv[1], &server.sin_addr) != 1) return 2;
    sock = ::socket(AF_INET, SOCK_DGRAM, 0);
    int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    std::string command = argv[2];
    const uint16_t localPort = command == "relay" || command == "relayrequest" ? 67 : 68;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 2;
    }
    uint8_t mac[6] = {};
    if ((command == "dora" || command == "renew" || command == "release" || command == "relay" ||
         command == "relayrequest" || command == "ask") &&
        (argc < 4 || !ParseMac(argv[3], mac))) {
        std::fprintf(stderr, "bad MAC\n");
        return 2;
    }
    uint32_t argAddress = 0;
    if (argc >= 5) inet_pton(AF_INET, argv[4], &argAddress);

    if (command == "dora") {
        uint32_t xid = static_cast<uint32_t>(std::random_device{}());
        Packet discover(xid, mac);
        discover.option(53, {1});
        ClientOptions(discover);
        discover.end();
        Reply offer;
        if (!SendAndAwait(discover.bytes, xid, &offer) || offer.type != 2) {
            std::printf("NONE\n");
            return 1;
        }
        return Request(mac, offer.yiaddr, server.sin_addr.s_addr);
    }
    if (command == "renew" && argAddress) return Request(mac, argAddress, 0);
    if (command == "release" && argAddress) {
        Packet release(static_cast<uint32_t>(std::random_device{}()), mac);
        release.address(12, argAddress);
        release.option(53, {7});
        release.option(54, AddressBytes(server.sin_addr.s_addr));
        release.end();
        Send(release.bytes);
        std::printf("SENT\n");
        return 0;
    }
    if (command == "relay" && argAddress) {
        uint32_t xid = static_cast<uint32_t>(std::random_device{}());
        Packet discover(xid, mac);
        discover.address(24, argAddress);
        discover.bytes[3] = 1;  // hops
        discover.option(53, {1});
        discover.end();
        Reply offer;
        if (!SendAndAwait(discover.bytes, xid, &offer) || offer.type != 2) {
            std::printf("NONE\n");
            return 1;
        }
        std::printf("OFFER %s\n", Dotted(offer.yiaddr).c_str());
        return 0;
    }
    if (command == "relayrequest" && argc >= 6 && inet_pton(AF_INET, argv[4], &relayAgent) == 1 &&
        inet_pton(AF_INET, argv[5], &argAddress) == 1)
        return Request(mac, argAddress, server.sin_addr.s_addr);
    if (command == "ask" && argc >= 5) {
        uint32_t xid = static_cast<uint32_t>(std::random_device{}());
        Packet discover(xid, mac);
        discover.option(53, {1});
        std::vector<uint8_t> codes;
        for (char* code = std::strtok(argv[4], ","); code; code = std::strtok(nullptr, ","))
            codes.push_back(static_cast<uint8_t>(std::atoi(code)));
        discover.option(55, codes);
        if (argc >= 6) discover.option(57, {static_cast<uint8_t>(std::atoi(argv[5]) >> 8), static_cast<uint8_t>(std::atoi(argv[5]))});
        discover.end();
        Reply offer;
        if (!SendAndAwait(discover.bytes, xid, &offer) || offer.type != 2) {
            std::printf("NONE\n");
            return 1;
        }
        std::printf("OFFER LENGTH %zu OPTIONS", offer.length);
        for (uint8_t code : offer.codes) std::printf(" %d", code);
        std::printf("\n");
        return 0;
    }
    if (command == "crafted" && argc >= 4) return Crafted(argv[3], argc >= 5 ? std::atoi(argv[4]) : 20);
    if (command == "naks" && argc >= 4) return Naks(std::atoi(argv[3]), argc >= 5 ? std::atoi(argv[4]) : 4000);
    if (command == "flood" && argc >= 5) return Flood(static_cast<size_t>(std::atoi(argv[3])), std::atoi(argv[4]));
    std::fprintf(stderr, "bad command\n");
    return 2;
}
