// ICMP echo seam: one echo request with the given payload, waiting at most
// timeoutMs for a reply. Windows uses ICMP.DLL (IcmpCreateFile, IcmpSendEcho,
// IcmpCloseHandle) loaded by name at run time; POSIX uses an unprivileged
// ICMP datagram socket, else a raw socket.
#pragma once

#include <cstddef>
#include <cstdint>

struct EchoResult {
    bool available;       // false: no probe mechanism (library or socket) is usable
    unsigned replies;     // echo replies received
    unsigned long error;  // the platform's error code of the attempt (0 if none)
};

// address in host order.
EchoResult SendEcho(uint32_t address, const void* payload, size_t payloadSize, uint32_t timeoutMs);

// Tests replace the probe: the function answers for every address.
using EchoFunction = EchoResult (*)(uint32_t address);
void SetEchoOverride(EchoFunction probe);  // nullptr = the real probe

#ifdef _WIN32
// Tests: the library name to load instead of "ICMP.DLL" (nullptr = that
// one again); `forget` also drops what was loaded or found unusable.
void SetIcmpLibraryForTests(const char* name, bool forget);
#endif
