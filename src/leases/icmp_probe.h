// ICMP echo seam: one echo request, waiting at most timeoutMs for its reply.
// Windows uses ICMP.DLL (IcmpCreateFile, IcmpSendEcho, IcmpCloseHandle)
// loaded by name at run time; POSIX uses an unprivileged ICMP datagram
// socket, else a raw socket.
//
// A reply counts only when it can be told from one forged by a host that
// cannot see the request: each probe carries an unpredictable payload of
// PROBE_PAYLOAD_SIZE bytes, and on POSIX also an unpredictable identifier
// and sequence number, and only a reply from the probed address that echoes
// all of them counts. (Windows' IcmpSendEcho chooses the identifier and
// sequence itself and matches them.) A host on the probed link can still
// answer for an address: it sees the request.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t PROBE_PAYLOAD_SIZE = 32;

struct EchoResult {
    bool available;       // false: no probe mechanism (library or socket) is usable
    unsigned replies;     // matching echo replies received
    unsigned long error;  // the platform's error code of the attempt (0 if none)
};

// address in host order.
EchoResult SendEcho(uint32_t address, uint32_t timeoutMs);

// Tests replace the probe: the function answers for every address.
using EchoFunction = EchoResult (*)(uint32_t address);
void SetEchoOverride(EchoFunction probe);  // nullptr = the real probe

#ifdef _WIN32
// Tests: the library name to load instead of "ICMP.DLL" (nullptr = that
// one again); `forget` also drops what was loaded or found unusable.
void SetIcmpLibraryForTests(const char* name, bool forget);
// Whether a reply buffer that IcmpSendEcho filled holds a successful echo
// from `address` (host order) of exactly `payload`.
bool IsEchoOfProbe(const void* reply, size_t replySize, uint32_t address, const uint8_t* payload);
#endif
