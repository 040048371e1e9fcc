// Which addresses are held by a lease record or a reservation, and which
// client identifiers have a record, kept beside
// LeaseTable and ReservationList so that lookups by address and the address
// walk need not scan the lists. The lists stay the source of truth and keep
// their order; this is only an index of them.
//
// Every function here requires LeaseLock to be held by the caller. The index
// notices when a list was changed behind its back (its record count differs
// from the list's size) and then rebuilds itself from the lists.
#pragma once

#include <cstddef>
#include <cstdint>

struct Lease;

void IndexLeaseAdded(const Lease& lease);
void IndexLeaseRemoved(const Lease& lease);
// A record's address changed in place (marked deleted).
void IndexLeaseMoved(uint32_t from, uint32_t to);
void IndexReservationAdded(uint32_t address);
void IndexReservationRemoved(uint32_t address);
// Forgets everything; the next query rebuilds from the lists.
void InvalidateAddressIndex();

// Number of lease records / reservations at the address.
uint32_t LeaseRecordsAt(uint32_t address);
uint32_t ReservationsAt(uint32_t address);
// Number of records with an identifier buffer holding exactly these bytes.
uint32_t LeaseRecordsWithClientId(const uint8_t* bytes, size_t length);

// When `address` is held by a lease record or a reservation, `last` is the
// last address of the unbroken run of held addresses that contains it and
// the result is true; false when the address is free of both.
bool HeldRunEnd(uint32_t address, uint32_t& last);
