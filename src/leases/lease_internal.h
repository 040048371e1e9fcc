// Helpers shared by the lease database's own files; not for other areas.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "leases/lease_store.h"

// The four octets of a host-order address, most significant first, for
// "%d.%d.%d.%d".
#define OCTETS(address)                                                                          \
    static_cast<int>(((address) >> 24) & 0xFF), static_cast<int>(((address) >> 16) & 0xFF), \
        static_cast<int>(((address) >> 8) & 0xFF), static_cast<int>((address) & 0xFF)

std::string FormatClientId(const Lease& lease);
// Same identifier length and bytes (the buffer's presence is not tested).
bool SameClientId(const Lease& lease, const uint8_t* bytes, size_t length);
// The first live record with an identifier buffer equal to the bytes; caller
// holds LeaseLock.
std::list<Lease>::iterator FindLeaseRecordByClientId(const uint8_t* bytes, size_t length);
// The first record at the address, or with `bytes` the first one at the
// address whose identifier buffer holds exactly those bytes; caller holds
// LeaseLock.
std::list<Lease>::iterator FindLeaseRecordAt(uint32_t address, const uint8_t* bytes, size_t length);
// Expiry of a bound lease made now: NEVER_EXPIRES for the unlimited lease time.
uint64_t BoundLeaseExpiry(uint32_t leaseTime);

// The sweep skips its walk while no record can have expired or been marked
// deleted since the last full walk. Records changed in place (expiry or
// address) outside this file's operations are announced here. Caller holds
// LeaseLock.
void NoteLeaseChanged(const Lease& lease);
// True when a sweep at `now` would find nothing to remove.
bool SweepCanBeSkipped(uint64_t now);
// After a full walk: `earliest` is the first expiry still in the table.
void SweepDone(uint64_t earliest);
