// Which addresses are held by a lease record or a reservation, kept beside
// LeaseTable and ReservationList so that lookups by address and the address
// walk need not scan the lists. The lists stay the source of truth and keep
// their order; this is only an index of them.
//
// Every function here requires LeaseLock to be held by the caller. The index
// notices when a list was changed behind its back (its record count differs
// from the list's size) and then rebuilds itself from the lists.
#pragma once

#include <cstdint>

void IndexLeaseAdded(uint32_t address);
void IndexLeaseRemoved(uint32_t address);
void IndexReservationAdded(uint32_t address);
void IndexReservationRemoved(uint32_t address);
// Forgets everything; the next query rebuilds from the lists.
void InvalidateAddressIndex();

// Number of lease records / reservations at the address.
uint32_t LeaseRecordsAt(uint32_t address);
uint32_t ReservationsAt(uint32_t address);

// When `address` is held by a lease record or a reservation, `last` is the
// last address of the unbroken run of held addresses that contains it and
// the result is true; false when the address is free of both.
bool HeldRunEnd(uint32_t address, uint32_t& last);
