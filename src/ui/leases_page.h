// The Active Leases page's decisions, without windows: which leases are
// listed and the texts of a row and of the detail fields. The page keeps a
// copy of the table (the snapshot) and shows only that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "leases/lease_store.h"

// The page's text buffers hold 99 characters: a longer text is cut and
// ends in "..." so that the cut shows.
constexpr size_t LEASE_TEXT_LIMIT = 99;

// A copy of every lease of the table that is not marked deleted, in table
// order (taken under LeaseLock).
std::vector<Lease> ListedLeases();

// The row's text: the host name, or the identifier in brackets as
// upper-case hex pairs joined by "-" ([00-0C-29-AB-CD-EF], [] for none).
std::string LeaseListText(const Lease& lease);
// The identifier as upper-case hex pairs joined by "-", without brackets.
std::string LeaseIdentifierText(const Lease& lease);
// "Never" for a lease that never expires, else the local date and time.
std::string LeaseExpiryText(uint64_t expiry);

// Deletes the listed lease: the record at its address with its identifier,
// not merely the first record at the address (a placeholder and a client's
// lease may share one). False when the table no longer holds it.
bool DeleteListedLease(const Lease& lease);
