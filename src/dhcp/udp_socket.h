// UDP socket seam for the server thread: Winsock on Windows, BSD sockets on
// POSIX. One process-wide server socket, so that the main thread can close it
// at shutdown; closing it ends a blocked receive on both platforms with
// SOCKET_CLOSED_ERROR (or SOCKET_INTERRUPTED_ERROR).
#pragma once

#include <cstddef>
#include <cstdint>

// Error codes as the server logs them (the Winsock numbers).
constexpr long SOCKET_INTERRUPTED_ERROR = 10004;  // WSAEINTR
constexpr long SOCKET_CLOSED_ERROR = 10038;       // WSAENOTSOCK
