// Removal of expired and deleted leases, and of a lease its client releases.
#pragma once

#include <cstddef>
#include <cstdint>

// Sweeps expired and deleted records under LeaseLock; marks the table dirty
// and posts MSG_LEASES_CHANGED when it removed any.
void ExpireLeases();

// Removes the client's lease at `address` when identity and address match.
void ReleaseLease(uint32_t address, size_t idLength, const uint8_t* id);
