// Removal of expired and deleted leases, and of a lease its client releases.
#pragma once

#include <cstddef>
#include <cstdint>

#include "leases/client_identity.h"

// Sweeps expired and deleted records under LeaseLock; marks the table dirty
// and posts MSG_LEASES_CHANGED when it removed any.
void ExpireLeases();

// Removes the client's lease at `address` when identifier and address match.
void ReleaseLease(uint32_t address, const ClientIdentity& client);
