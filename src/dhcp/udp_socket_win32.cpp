// Winsock behind the UDP seam. Closing the server socket from the main thread
// ends the server thread's blocked recvfrom; whatever code Winsock reports for
// that receive, server_socket.cpp reports a receive that fails after the
// close as SOCKET_INTERRUPTED_ERROR, so that the loop ends the same way
// everywhere.
//
// Only the close ends a blocked receive on Winsock, so InterruptCall closes
// the socket at once and cannot wait for the server thread; server_socket.cpp
// keeps every send apart from it.
//
// Sends never wait. A reply to a client's own address waits until the
// address is resolved, or until resolution gives up seconds later, and holds
// send buffer space meanwhile: a burst of replies to machines that are not
// there could fill it, and a blocking send then held up the server thread
// (seen under Wine, whose sockets are the host's). So the server socket gets
// room for bursts, and each send is made with the socket switched to
// non-blocking mode for that call only; a reply that cannot go out at once
// is dropped with WSAEWOULDBLOCK. The switch is safe because only the
// server thread receives and sends, one after the other, so no receive is
// under way during a send; the receive stays blocking.
#include "dhcp/udp_socket.h"

#include "dhcp/server_socket_calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

// Room for some 800 pending replies of about 1.3 KB each (Wine's Linux
// sockets double it); without it, about 160 fill the default buffer.
constexpr int SERVER_SEND_BUFFER_BYTES = 1 << 20;

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

SOCKET OpenBroadcastSocket(long& error) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        return INVALID_SOCKET;
    }
    BOOL on = TRUE;
    if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
        error = WSAGetLastError();
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

bool StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSocketLibrary() { WSACleanup(); }

std::string InterfaceHoldingAddress(uint32_t) { return ""; }

UdpHandle OpenServerSocketCall(uint32_t address, bool bindToAll, uint16_t port, long& error) {
    SOCKET s = OpenBroadcastSocket(error);
    if (s == INVALID_SOCKET) return INVALID_UDP_HANDLE;
    // Best effort: the default buffer still serves, only smaller bursts.
    int sendBuffer = SERVER_SEND_BUFFER_BYTES;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
    sockaddr_in local = MakeAddress(bindToAll ? 0 : address, port);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = WSAGetLastError();
        closesocket(s);
        return INVALID_UDP_HANDLE;
    }
    return static_cast<UdpHandle>(s);
}

ptrdiff_t ReceiveCall(UdpHandle handle, void* buffer, size_t size, long& error) {
    sockaddr_in from;
    int fromLength = sizeof from;
    int n = recvfrom(static_cast<SOCKET>(handle), static_cast<char*>(buffer), static_cast<int>(size), 0,
                     reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n != SOCKET_ERROR) return n;  // 0: an empty datagram carries nothing to answer
    error = WSAGetLastError();
    return -1;
}

bool SendCall(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, long& error) {
    SOCKET s = static_cast<SOCKET>(handle);
    sockaddr_in to = MakeAddress(address, port);
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        error = WSAGetLastError();
        return false;
    }
    const bool sent = sendto(s, static_cast<const char*>(data), static_cast<int>(size), 0,
                             reinterpret_cast<sockaddr*>(&to), sizeof to) != SOCKET_ERROR;
    if (!sent) error = WSAGetLastError();
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);  // the next receive waits again
    return sent;
}

bool InterruptCall(UdpHandle handle) {
    closesocket(static_cast<SOCKET>(handle));  // ends the blocked recvfrom
    return true;
}

UdpHandle OpenUdpSocket(uint32_t address, uint16_t port, long& error) {
    error = 0;
    SOCKET s = OpenBroadcastSocket(error);
    if (s == INVALID_SOCKET) return INVALID_UDP_HANDLE;
    sockaddr_in local = MakeAddress(address, port);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = WSAGetLastError();
        closesocket(s);
        return INVALID_UDP_HANDLE;
    }
    return static_cast<UdpHandle>(s);
}

size_t ReceiveUdp(UdpHandle handle, void* buffer, size_t size, uint32_t timeoutMs, uint32_t* fromAddress,
                  uint16_t* fromPort) {
    SOCKET s = static_cast<SOCKET>(handle);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait;
    wait.tv_sec = static_cast<long>(timeoutMs / 1000);
    wait.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return 0;
    sockaddr_in from;
    int fromLength = sizeof from;
    int n = recvfrom(s, static_cast<char*>(buffer), static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&from),
                     &fromLength);
    if (n <= 0) return 0;
    if (fromAddress) *fromAddress = ntohl(from.sin_addr.s_addr);
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return static_cast<size_t>(n);
}

bool SendUdp(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, long& error) {
    sockaddr_in to = MakeAddress(address, port);
    if (sendto(static_cast<SOCKET>(handle), static_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
        error = WSAGetLastError();
        return false;
    }
    return true;
}

void CloseUdp(UdpHandle handle) {
    if (handle != INVALID_UDP_HANDLE) closesocket(static_cast<SOCKET>(handle));
}
