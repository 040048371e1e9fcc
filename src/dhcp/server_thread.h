// The server thread: one UDP socket on port 67, one datagram at a time,
// DHCPDISCOVER answered with DHCPOFFER, DHCPREQUEST with DHCPACK or DHCPNAK,
// DHCPRELEASE taken back. A DHCPDISCOVER whose address must first be probed
// goes to an offer worker (offer_workers.h), so that other clients are not
// held up by the probe. The main thread starts it once and stops it by
// closing the socket; the thread stops its workers before it ends.
#pragma once

#include <cstdint>

constexpr uint16_t DHCP_SERVER_PORT = 67;
constexpr uint16_t DHCP_CLIENT_PORT = 68;

// The thread body: socket set-up, receive loop, close.
void ServerThread();

// Starts ServerThread on its own thread. False when the thread cannot start.
bool StartServerThread();

// Closes the server socket, which ends the blocked receive, and waits up to
// timeoutMs for the thread. Logs "DHCP Server Terminated Successfully\n", or
// "DHCP Server Not Terminated Properly\n" and returns false when it did not end.
bool StopServerThread(uint32_t timeoutMs = 5000);

// Ports used by the next StartServerThread (tests run on other ports).
// Replies to a relay agent go to relayPort; 0 means the server port, where
// relay agents listen.
void SetServerPorts(uint16_t serverPort, uint16_t clientPort, uint16_t relayPort = 0);
