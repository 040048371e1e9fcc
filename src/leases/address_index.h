// Indexes kept beside the lease table and the reservation list: the lease
// records at each address and of each client identifier (in table order),
// the reservations per address, and the held addresses (leased or reserved)
// as runs, so that lookups and the address walk need not scan the lists.
// The lists stay the source of truth and keep their order; the store's
// functions, the only ones that change them, report every change here.
//
// Every function here requires LeaseLock to be held by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

struct Lease;
using LeaseRecord = std::list<Lease>::iterator;

// Called after the record was appended / before it is erased.
void IndexLeaseAdded(LeaseRecord record);
void IndexLeaseRemoved(LeaseRecord record);
// The record's address changed in place from `from` (marked deleted). The
// records at DELETED_ADDRESS are therefore not kept in table order.
void IndexLeaseMoved(LeaseRecord record, uint32_t from);
void IndexReservationAdded(uint32_t address);
void IndexReservationRemoved(uint32_t address);
// The whole lease table / reservation list was emptied.
void IndexLeasesCleared();
void IndexReservationsCleared();

// The records at the address, in table order.
const std::vector<LeaseRecord>& LeaseRecordsAt(uint32_t address);
// The records whose identifier is exactly these bytes (with or without a
// buffer), in table order.
const std::vector<LeaseRecord>& LeaseRecordsOfClient(const uint8_t* bytes, size_t length);
uint32_t ReservationsAt(uint32_t address);

// When `address` is held by a lease record or a reservation, `last` is the
// last address of the unbroken run of held addresses that contains it and
// the result is true; false when the address is free of both.
bool HeldRunEnd(uint32_t address, uint32_t& last);
