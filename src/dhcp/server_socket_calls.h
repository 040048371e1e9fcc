// The platform calls under the server socket. server_socket.cpp keeps the
// socket's lifecycle once for every platform: the one open socket, the
// closing flag, the lock that keeps a send and the close apart, the release.
// These calls act on one socket and know nothing of threads;
// udp_socket_posix.cpp and udp_socket_win32.cpp implement them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dhcp/udp_socket.h"

// Creates the server socket, sets it up and binds it as OpenServerSocket
// describes. INVALID_UDP_HANDLE with `error` when a step fails; nothing is
// left open then. Called under the lifecycle's lock while no server socket
// is open, so it may keep what it learnt for the calls below.
UdpHandle OpenServerSocketCall(uint32_t address, bool bindToAll, uint16_t port, long& error);

// Waits for one datagram of at most `size` bytes. Returns its length (> 0);
// 0 for a wait that brought nothing to answer (an empty datagram, one the
// socket does not serve, a signal), after which the caller waits again; -1
// with `error` on failure (a datagram larger than the buffer is one).
// `arrival` gets what a send of the reply needs to know of the datagram.
// Called by the server thread alone, without the lock: the close must reach
// it.
ptrdiff_t ReceiveCall(UdpHandle handle, void* buffer, size_t size, long& error, int& arrival);

// Sends one datagram without waiting (see SendFromServerSocket), as the
// reply to a datagram of that `arrival`. Called under the lock, by any
// thread.
bool SendCall(UdpHandle handle, const void* data, size_t size, uint32_t address, uint16_t port, int arrival,
              long& error);

// Ends a receive blocked on the socket and makes every later one return at
// once. True when that closed the socket (Winsock: only a close wakes the
// receive); false when it stays open until the release closes it with
// CloseUdp (POSIX: a shutdown wakes it, and the descriptor's number cannot
// pass to another socket while the server thread may still use it). Called
// under the lock, from any thread.
bool InterruptCall(UdpHandle handle);
