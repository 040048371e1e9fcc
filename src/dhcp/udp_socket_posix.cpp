// BSD sockets behind the UDP seam.
//
// Two Linux differences from Winsock are hidden here:
// - close() does not wake a thread blocked in recvfrom on the same socket.
//   InterruptCall therefore shuts the socket down (which does wake it and
//   makes every later receive return at once) and leaves the close to the
//   server thread (ReleaseServerSocket), so the descriptor number cannot be
//   reused while that thread still uses it.
// - A socket bound to one address never receives datagrams sent to
//   255.255.255.255, which is how DHCP clients without an address talk. To
//   serve one interface the socket binds to all addresses, is tied to the
//   interface's device (SO_BINDTODEVICE) and sends from the server address
//   with IP_PKTINFO, so broadcast replies leave through that interface. It
//   drops what a socket bound to the server address would never see:
//   datagrams to the interface's other addresses.
//
// Sends never wait. A reply to a client's own address (a DHCPNAK or DHCPACK
// to ciaddr) waits in the kernel until the address is resolved, or for about
// three seconds until resolution gives up, and is charged to the socket's
// send buffer all that time. A burst of such replies to machines that are
// not there used to fill the buffer, and the next send then blocked the
// server thread until they were given up. The server socket therefore gets
// a send buffer with room for a burst, and a reply that still finds it full
// is dropped with an error (WSAEWOULDBLOCK); the client asks again. The
// receive stays blocking.
#include "dhcp/udp_socket.h"

#include "dhcp/server_socket_calls.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// The kernel doubles what is asked for and charges a pending reply about
// 1280 bytes, so this makes room for some 1600 of them (the default, 208 KB,
// held about 160). Asked for with SO_SNDBUFFORCE, which needs CAP_NET_ADMIN,
// else with SO_SNDBUF, which the kernel caps at net.core.wmem_max.
constexpr int SERVER_SEND_BUFFER_BYTES = 1 << 20;

// Tied to one interface: receive only what a socket bound to the server
// address would (datagrams to that address or to a broadcast address), send
// from that address with IP_PKTINFO.
bool ServerTied = false;
uint32_t ServerSourceNet = 0;     // the server address, network order
uint32_t ServerBroadcastNet = 0;  // the interface's broadcast address, network order
int ServerInterface = 0;          // interface index of the tied device
// Interface of the last datagram received (the server thread's own state:
// it receives and answers one datagram at a time).
int LastArrivalInterface = 0;

bool AddressedToServer(uint32_t destinationNet) {
    return destinationNet == ServerSourceNet || destinationNet == htonl(BROADCAST_ADDRESS) ||
           (ServerBroadcastNet != 0 && destinationNet == ServerBroadcastNet);
}

long TranslateErrno(int code) {
    switch (code) {
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EACCES:
        case EPERM: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE:
        case ENFILE: return 10024;
        case EWOULDBLOCK: return 10035;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case EOPNOTSUPP: return 10045;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ECONNRESET: return 10054;
        case ENOBUFS: return 10055;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case EHOSTUNREACH: return 10065;
        default: return code;
    }
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

// The device that holds an address: its name (empty when no device holds
// it), its index and its broadcast address in network order (0 when it has
// none). Asked of the kernel's address table (rtnetlink), which names the
// device itself: getifaddrs names a labelled secondary address by its label
// ("eth0:1", or any text), which is no device and cannot be bound to.
struct HoldingInterface {
    std::string name;
    int index = 0;
    uint32_t broadcastNet = 0;
};

HoldingInterface InterfaceHolding(uint32_t address) {
    HoldingInterface found;
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return found;
    struct {
        nlmsghdr header;
        ifaddrmsg message;
    } request;
    std::memset(&request, 0, sizeof request);
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.ifa_family = AF_INET;
    if (send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        close(fd);
        return found;
    }
    const uint32_t wantedNet = htonl(address);
    alignas(nlmsghdr) char buffer[16384];
    bool done = false;
    while (!done && found.index == 0) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size_t left = static_cast<size_t>(n);
        for (nlmsghdr* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (header->nlmsg_type != RTM_NEWADDR) continue;
            auto* entry = static_cast<ifaddrmsg*>(NLMSG_DATA(header));
            if (entry->ifa_family != AF_INET) continue;
            uint32_t local = 0, peer = 0, broadcast = 0;
            bool hasLocal = false;
            int attributesLeft = static_cast<int>(IFA_PAYLOAD(header));
            for (rtattr* attribute = IFA_RTA(entry); RTA_OK(attribute, attributesLeft);
                 attribute = RTA_NEXT(attribute, attributesLeft)) {
                if (RTA_PAYLOAD(attribute) < sizeof(uint32_t)) continue;
                uint32_t value;
                std::memcpy(&value, RTA_DATA(attribute), sizeof value);
                if (attribute->rta_type == IFA_LOCAL) {
                    local = value;
                    hasLocal = true;
                } else if (attribute->rta_type == IFA_ADDRESS) {
                    peer = value;
                } else if (attribute->rta_type == IFA_BROADCAST) {
                    broadcast = value;
                }
            }
            // IFA_LOCAL is the device's own address; IFA_ADDRESS is the same
            // except on point-to-point links, where it names the peer.
            if ((hasLocal ? local : peer) != wantedNet) continue;
            char name[IF_NAMESIZE] = {};
            if (!if_indextoname(entry->ifa_index, name)) continue;
            found.name = name;
            found.index = static_cast<int>(entry->ifa_index);
            found.broadcastNet = broadcast;
            break;
        }
    }
    close(fd);
    return found;
}

int OpenBroadcastSocket(long& error) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = TranslateErrno(errno);
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        error = TranslateErrno(errno);
        close(fd);
        return -1;
    }
    return fd;
}

// One datagram's message header over the caller's buffer: the peer's
// address and room for one IP_PKTINFO item. The header points into the
// record, which therefore stays where it was made.
struct DatagramHeader {
    DatagramHeader(void* buffer, size_t size) : data{buffer, size} {
        header.msg_name = &peer;
        header.msg_namelen = sizeof peer;
        header.msg_iov = &data;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    DatagramHeader(const DatagramHeader&) = delete;
    DatagramHeader& operator=(const DatagramHeader&) = delete;

    sockaddr_in peer{};
    iovec data;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr header{};
};

// The destination address (network order) and arrival interface of a
// received datagram, from its IP_PKTINFO; the server address and interface 0
// when the kernel gave none.
struct Arrival {
    uint32_t destinationNet;
    int interfaceIndex;
};

Arrival ArrivalOf(msghdr& header) {
    for (cmsghdr* item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item)) {
        if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_PKTINFO) continue;
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(item), sizeof info);
        return Arrival{info.ipi_addr.s_addr, info.ipi_ifindex};
    }
    return Arrival{ServerSourceNet, 0};
}

}  // namespace

bool StartSocketLibrary() { return true; }
void StopSocketLibrary() {}

std::string InterfaceHoldingAddress(uint32_t address) { return InterfaceHolding(address).name; }

UdpHandle OpenServerSocketCall(uint32_t address, bool bindToAll, uint16_t port, long& error) {
    int fd = OpenBroadcastSocket(error);
    if (fd < 0) return INVALID_UDP_HANDLE;
    bool tied = false;
    int interfaceIndex = 0;
    uint32_t broadcastNet = 0;
    if (!bindToAll) {
        HoldingInterface holder = InterfaceHolding(address);
        const std::string& device = holder.name;
        if (device.empty()) {
            // What a bind to an address that is not on this machine reports.
            error = SOCKET_ADDRESS_NOT_AVAILABLE;
            close(fd);
            return INVALID_UDP_HANDLE;
        }
        if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                       static_cast<socklen_t>(device.size() + 1)) != 0) {
            error = TranslateErrno(errno);
            close(fd);
            return INVALID_UDP_HANDLE;
        }
        interfaceIndex = holder.index;
        broadcastNet = holder.broadcastNet;
        tied = true;
    }
    // Best effort: the default buffer still serves, only smaller bursts.
    int sendBuffer = SERVER_SEND_BUFFER_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &sendBuffer, sizeof sendBuffer) != 0)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    // The destination and arrival interface of every datagram.
    int on = 1;
    if (setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        error = TranslateErrno(errno);
        close(fd);
        return INVALID_UDP_HANDLE;
    }
    sockaddr_in local = MakeAddress(0, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = TranslateErrno(errno);
        close(fd);
        return INVALID_UDP_HANDLE;
    }
    ServerTied = tied;
    ServerSourceNet = htonl(address);
    ServerInterface = interfaceIndex;
    ServerBroadcastNet = broadcastNet;
    return fd;
}

ptrdiff_t ReceiveCall(UdpHandle handle, void* buffer, size_t size, long& error) {
    DatagramHeader datagram(buffer, size);
    ssize_t n = recvmsg(static_cast<int>(handle), &datagram.header, 0);
    if (n < 0) {
        if (errno == EINTR) return 0;
        error = TranslateErrno(errno);
        return -1;
    }
    if (n == 0) return 0;  // an empty datagram carries nothing to answer
    Arrival arrival = ArrivalOf(datagram.header);
    if (ServerTied && !AddressedToServer(arrival.destinationNet)) return 0;
    LastArrivalInterface = arrival.interfaceIndex;
    if (datagram.header.msg_flags & MSG_TRUNC) {
        // Winsock reports a datagram larger than the buffer as an error.
        error = 10040;
        return -1;
    }
    return n;
}

bool SendCall(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, long& error) {
    DatagramHeader datagram(const_cast<void*>(data), size);
    datagram.peer = MakeAddress(address, port);
    // Tied: answer from the server address through its interface, as a
    // socket bound to that address would. Serving all interfaces: a broadcast
    // leaves through the interface the request came in on (without this it
    // would follow the default route, or fail where there is none).
    int interfaceIndex = ServerTied ? ServerInterface : 0;
    if (!ServerTied && address == BROADCAST_ADDRESS) interfaceIndex = LastArrivalInterface;
    if (ServerTied || interfaceIndex != 0) {
        cmsghdr* item = CMSG_FIRSTHDR(&datagram.header);
        item->cmsg_level = IPPROTO_IP;
        item->cmsg_type = IP_PKTINFO;
        item->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info;
        std::memset(&info, 0, sizeof info);
        info.ipi_ifindex = interfaceIndex;
        info.ipi_spec_dst.s_addr = ServerTied ? ServerSourceNet : 0;
        std::memcpy(CMSG_DATA(item), &info, sizeof info);
    } else {
        datagram.header.msg_control = nullptr;
        datagram.header.msg_controllen = 0;
    }
    for (;;) {
        if (sendmsg(static_cast<int>(handle), &datagram.header, MSG_DONTWAIT) >= 0) return true;
        if (errno == EINTR) continue;
        error = TranslateErrno(errno);
        return false;
    }
}

bool InterruptCall(UdpHandle handle) {
    // Wakes a blocked recvmsg; the descriptor stays valid until the release.
    shutdown(static_cast<int>(handle), SHUT_RDWR);
    return false;
}

UdpHandle OpenUdpSocket(uint32_t address, uint16_t port, long& error) {
    error = 0;
    int fd = OpenBroadcastSocket(error);
    if (fd < 0) return INVALID_UDP_HANDLE;
    sockaddr_in local = MakeAddress(address, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = TranslateErrno(errno);
        close(fd);
        return INVALID_UDP_HANDLE;
    }
    return fd;
}

size_t ReceiveUdp(UdpHandle handle, void* buffer, size_t size, uint32_t timeoutMs, uint32_t* fromAddress,
                  uint16_t* fromPort) {
    pollfd wait{static_cast<int>(handle), POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(timeoutMs)) <= 0) return 0;
    sockaddr_in from;
    socklen_t fromLength = sizeof from;
    ssize_t n = recvfrom(static_cast<int>(handle), buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n <= 0) return 0;
    if (fromAddress) *fromAddress = ntohl(from.sin_addr.s_addr);
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return static_cast<size_t>(n);
}

bool SendUdp(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, long& error) {
    sockaddr_in to = MakeAddress(address, port);
    ssize_t n = sendto(static_cast<int>(handle), data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n < 0) {
        error = TranslateErrno(errno);
        return false;
    }
    return true;
}

void CloseUdp(UdpHandle handle) {
    if (handle != INVALID_UDP_HANDLE) close(static_cast<int>(handle));
}
