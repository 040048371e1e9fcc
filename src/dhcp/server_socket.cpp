// The server socket's lifecycle, the same on every platform. The main thread
// closes the socket at shutdown while the server thread receives on it and
// the server thread and its offer workers send on it:
// - The close sets ServerClosing and wakes the blocked receive
//   (InterruptCall). A receive checks the flag before it waits and after it
//   woke, so it ends with SOCKET_INTERRUPTED_ERROR whatever the platform
//   reported, and so does every receive until the release.
// - A send and the close never overlap: both hold ServerSocketMutex, and a
//   send under the lock first checks the flag. Without that a send could
//   reach a closed socket, or another socket that got its handle meanwhile.
// - The receive takes no lock, since only the close can end its wait.
// - The release (the server thread, when its loop has ended) closes what is
//   still open and clears the flag for the next open.
#include <atomic>
#include <mutex>

#include "dhcp/server_socket_calls.h"
#include "dhcp/udp_socket.h"

namespace {

std::mutex ServerSocketMutex;
std::atomic<UdpHandle> ServerSocket{INVALID_UDP_HANDLE};
std::atomic<bool> ServerClosing{false};

// The closing flag and the open socket, as a receive or a send finds them:
// true with `handle` set when it may go ahead.
bool UsableSocket(UdpHandle& handle, long& error) {
    if (ServerClosing.load()) {
        error = SOCKET_INTERRUPTED_ERROR;
        return false;
    }
    handle = ServerSocket.load();
    if (handle == INVALID_UDP_HANDLE) {
        error = SOCKET_CLOSED_ERROR;
        return false;
    }
    return true;
}

}  // namespace

bool OpenServerSocket(uint32_t address, bool bindToAll, uint16_t port, long& error) {
    error = 0;
    std::lock_guard<std::mutex> hold(ServerSocketMutex);
    if (ServerSocket.load() != INVALID_UDP_HANDLE) {
        error = SOCKET_ADDRESS_IN_USE;  // one server socket per process
        return false;
    }
    UdpHandle handle = OpenServerSocketCall(address, bindToAll, port, error);
    if (handle == INVALID_UDP_HANDLE) return false;
    ServerSocket = handle;  // a close that came first still ends the first receive
    return true;
}

size_t ReceiveOnServerSocket(void* buffer, size_t size, long& error, int* arrival) {
    for (;;) {
        UdpHandle handle;
        if (!UsableSocket(handle, error)) return 0;
        int from = 0;
        ptrdiff_t n = ReceiveCall(handle, buffer, size, error, from);
        if (arrival) *arrival = from;
        if (ServerClosing.load()) {
            error = SOCKET_INTERRUPTED_ERROR;
            return 0;
        }
        if (n > 0) return static_cast<size_t>(n);
        if (n < 0) return 0;  // with the call's error
        // Nothing to answer: wait again.
    }
}

bool SendFromServerSocket(const void* data, size_t size, uint32_t address, uint16_t port, long& error,
                          int arrival) {
    std::lock_guard<std::mutex> hold(ServerSocketMutex);  // no close in the middle of the send
    UdpHandle handle;
    return UsableSocket(handle, error) && SendCall(handle, data, size, address, port, arrival, error);
}

void CloseServerSocket() {
    std::lock_guard<std::mutex> hold(ServerSocketMutex);  // waits for a send under way
    ServerClosing = true;
    UdpHandle handle = ServerSocket.load();
    if (handle != INVALID_UDP_HANDLE && InterruptCall(handle)) ServerSocket = INVALID_UDP_HANDLE;
}

void ReleaseServerSocket() {
    std::lock_guard<std::mutex> hold(ServerSocketMutex);
    CloseUdp(ServerSocket.exchange(INVALID_UDP_HANDLE));
    ServerClosing = false;
}
