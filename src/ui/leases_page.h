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

// The index in `listed` of the lease with this address and identifier (a
// refill keeps the administrator's selection on the same lease, wherever
// the new order puts it); -1 when it is no longer listed.
int FindListedLease(const std::vector<Lease>& listed, const Lease& lease);

enum class LeaseReserveResult {
    Reserved,         // the address is reserved for the client, NIMBO.INI written
    Placeholder,      // "Unknown (...)": an address that answered a ping for nobody
    NoKey,            // neither a six-byte identifier nor a host name to reserve by
    ClientReserved,   // a reservation already names the client (either key)
    AddressReserved,  // a reservation already holds the address
};
// Reserves the listed lease's address for its client: by hardware address
// when the identifier is six bytes (the type byte of a client identifier is
// not stored, so six bytes are an Ethernet address), else by host name. The
// checks and the new entry are one step under LeaseLock; the list is then
// written to NIMBO.INI, as the Reservations page's Set writes a new entry.
// `key` receives the key reserved by (or that would have been).
LeaseReserveResult ReserveListedLease(const Lease& lease, std::string* key = nullptr);
