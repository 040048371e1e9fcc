// Helpers shared by the lease database's own files; not for other areas.
//
// The records of the lease table are reached here as LeaseRecord handles.
// A handle is good only while the caller holds LeaseLock, and a record is
// changed only through the functions below, which keep the indexes and the
// sweep's bookkeeping in step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "leases/address_index.h"
#include "leases/lease_store.h"

// The four octets of a host-order address, most significant first, for
// "%d.%d.%d.%d".
#define OCTETS(address)                                                                          \
    static_cast<int>(((address) >> 24) & 0xFF), static_cast<int>(((address) >> 16) & 0xFF), \
        static_cast<int>(((address) >> 8) & 0xFF), static_cast<int>((address) & 0xFF)

std::string FormatClientId(const Lease& lease);
// Same identifier length and bytes (the buffer's presence is not tested).
bool SameClientId(const Lease& lease, const uint8_t* bytes, size_t length);

// False for the "no record" result of the lookups below.
bool IsLeaseRecord(LeaseRecord record);
// The first live record of the client: an identifier buffer equal to the
// bytes, and not a placeholder.
LeaseRecord FindLeaseRecordByClientId(const uint8_t* bytes, size_t length);
// The first record at the address, or with `bytes` the first one at the
// address whose identifier buffer holds exactly those bytes.
LeaseRecord FindLeaseRecordAt(uint32_t address, const uint8_t* bytes, size_t length);
// The first record at the address that is this client's (identifier buffer
// with exactly these bytes, not a placeholder).
LeaseRecord FindClientLeaseAt(uint32_t address, const uint8_t* bytes, size_t length);
// Unlinks and destroys one record.
void RemoveLease(LeaseRecord record);
void SetLeaseExpiry(LeaseRecord record, uint64_t expiry);

// The host name of a placeholder for an address: "Unknown (a.b.c.d)".
std::string PlaceholderName(uint32_t address);

// Whether a client's existing lease at `address` counts for a request that
// came through `gateway` (its giaddr, or LOCAL_GATEWAY): the address lies
// within one of the gateway's range items (its exceptions aside) or is the
// one reserved for the client (`reserved`, 0 for none). A client that moved
// to another segment is so given an address of the segment it is on now.
bool LeaseCountsOnSegment(uint32_t address, uint32_t gateway, uint32_t reserved);
// The client's first live record (as FindLeaseRecordByClientId) that counts
// on the gateway's segment.
LeaseRecord FindClientLeaseOnSegment(const uint8_t* bytes, size_t length, uint32_t gateway, uint32_t reserved);
// CheckActiveLeases (same log lines) for a request that came through
// `gateway`: only leases that count on its segment match.
uint32_t CheckActiveLeasesOnSegment(uint32_t filter, uint32_t gateway, uint32_t reserved,
                                    const ClientIdentity& client);
// The client's first live record other than `except`.
LeaseRecord FindOtherLeaseOfClient(const uint8_t* bytes, size_t length, LeaseRecord except);

// CheckReservations without its log lines.
uint32_t ReservedAddressOf(const ClientIdentity& client);

// Expiry of a bound lease made now: NEVER_EXPIRES for the unlimited lease time.
uint64_t BoundLeaseExpiry(uint32_t leaseTime);

// The walk of ExpireLeases: removes the records marked deleted and those
// whose expiry is before `now`, each with its log line. True when it removed
// any. While no record can have expired or been marked deleted since the
// last walk, it returns false at once.
bool SweepLeaseTable(uint64_t now);
