// UDP socket seam for the server thread: Winsock on Windows, BSD sockets on
// POSIX. One process-wide server socket, so that the main thread can close it
// at shutdown; closing it ends a blocked receive on both platforms with
// SOCKET_INTERRUPTED_ERROR, and so does every receive after the close. Its
// lifecycle is written once (server_socket.cpp) over a few platform calls
// (server_socket_calls.h).
//
// Addresses are host order (192.0.2.1 is 0xC0000201), ports host order.
// Error codes are the Winsock numbers on both platforms (POSIX errno values
// are translated), so that log lines read the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Error codes as the server logs them (the Winsock numbers).
constexpr long SOCKET_INTERRUPTED_ERROR = 10004;     // WSAEINTR
constexpr long SOCKET_WOULD_BLOCK = 10035;           // WSAEWOULDBLOCK
constexpr long SOCKET_CLOSED_ERROR = 10038;          // WSAENOTSOCK
constexpr long SOCKET_ADDRESS_IN_USE = 10048;         // WSAEADDRINUSE
constexpr long SOCKET_ADDRESS_NOT_AVAILABLE = 10049;  // WSAEADDRNOTAVAIL

constexpr uint32_t BROADCAST_ADDRESS = 0xFFFFFFFFu;  // 255.255.255.255

// Starts and stops the platform's socket library (WSAStartup / WSACleanup on
// Windows; nothing on POSIX). The program calls them once at start-up and
// shutdown; tests call them around their socket use.
bool StartSocketLibrary();
void StopSocketLibrary();

// ---- The server socket (one per process) ----

// Creates the server socket, sets SO_BROADCAST and binds it to `port`.
// bindToAll: all interfaces (address 0). Otherwise the socket serves the
// interface that holds `address`: Windows binds to that address (and still
// receives broadcasts on its interface); POSIX binds to address 0, ties the
// socket to that interface's device and answers from `address`, which gives
// the same reach. Returns false with the error code when any step fails; the
// socket is then closed again. Only one server socket may be open at a time.
bool OpenServerSocket(uint32_t address, bool bindToAll, uint16_t port, long& error);

// Waits for one datagram of at most `size` bytes. Returns its length (> 0),
// or 0 with `error` set: SOCKET_INTERRUPTED_ERROR after CloseServerSocket,
// SOCKET_CLOSED_ERROR when there is no open socket, another code otherwise.
size_t ReceiveOnServerSocket(void* buffer, size_t size, long& error);

// Sends one datagram from the server socket. Never waits: a datagram that
// cannot go out at once (the send buffer is full, typically of replies
// waiting for their destination's address to resolve) is dropped with
// SOCKET_WOULD_BLOCK. The server socket gets a send buffer with room for
// bursts. False with `error` on failure.
bool SendFromServerSocket(const void* data, size_t size, uint32_t address, uint16_t port, long& error);

// Called from any thread (the main thread at shutdown): ends a blocked
// ReceiveOnServerSocket with SOCKET_INTERRUPTED_ERROR. Safe to call when no
// socket is open and more than once.
void CloseServerSocket();

// Called by the server thread when its loop has ended: frees the socket and
// forgets an earlier CloseServerSocket, so that the next OpenServerSocket
// starts afresh. (A CloseServerSocket between release and the next open
// still ends the next thread's first receive.)
void ReleaseServerSocket();

// The name of the network device that holds `address`, as the system names
// it to other programs (Linux: "eth0"); empty when none holds it, and on
// Windows, whose adapter names no other system's program would know.
std::string InterfaceHoldingAddress(uint32_t address);

// ---- Plain UDP sockets (tests and tools) ----

using UdpHandle = intptr_t;
constexpr UdpHandle INVALID_UDP_HANDLE = -1;

// A UDP socket with SO_BROADCAST bound to address:port (address 0 = all).
// INVALID_UDP_HANDLE with `error` on failure.
UdpHandle OpenUdpSocket(uint32_t address, uint16_t port, long& error);
// Waits at most timeoutMs for one datagram; returns its length, 0 on timeout
// or error. fromAddress/fromPort may be null.
size_t ReceiveUdp(UdpHandle handle, void* buffer, size_t size, uint32_t timeoutMs, uint32_t* fromAddress,
                  uint16_t* fromPort);
bool SendUdp(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, long& error);
void CloseUdp(UdpHandle handle);
