// Choosing the address to offer a client, deciding whether a requested
// address may be acknowledged, and the ICMP in-use probe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "leases/client_identity.h"

constexpr int32_t OFFER_HOLD_SECONDS = 60;
constexpr int32_t IN_USE_HOLD_SECONDS = 86400;

// `server` is the server's own address in the settings the request is
// answered with: it is never offered nor acknowledged to a client.

// A client's existing lease is offered only when it counts on the segment
// of `gateway` (lies within its range items or is reserved for the client);
// otherwise the client is offered an address of that segment.
uint32_t SuggestAddress(uint32_t filter, uint32_t gateway, const ClientIdentity& client, uint32_t server);
// clientHasAddress: the request carries ciaddr (a client renewing or
// rebinding its lease). Only then does the client's lease count wherever it
// lies; otherwise only a lease on the gateway's segment (its range items, or
// the client's reserved address) is the client's to be acknowledged. An
// address reserved for another client is refused (unless the client holds
// a lease on it).
bool CheckRequestedAddress(uint32_t requested, uint32_t gateway, const ClientIdentity& client, uint32_t server,
                           bool clientHasAddress = false);
// Holds LeaseLock except around each probe, so that the main thread never
// waits for one; the candidate is checked again after the probe. A caller
// that itself holds LeaseLock keeps it held through the probes.
uint32_t FindSpareAddress(uint32_t gateway, const ClientIdentity& client, uint32_t server);
// True when at least one echo reply arrived within 100 ms.
bool PingAddress(uint32_t address);
