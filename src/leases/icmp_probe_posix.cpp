// Stub until the socket probe is written: no probe mechanism.
#include "leases/icmp_probe.h"

EchoResult PlatformSendEcho(uint32_t, const void*, size_t, uint32_t) { return EchoResult{false, 0, 0}; }
