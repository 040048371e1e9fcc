// The lease store: every address handed out or held back (bound, temporary,
// placeholder and restored leases) in one process-wide table, guarded by the
// recursive LeaseLock.
//
// The table is private to the store. Records are added, changed and removed
// only by the functions below (and by the lease database's own files through
// lease_internal.h), which keep the indexes by address and by identifier in
// step with every change. No function hands out a pointer or a reference
// into the table: lookups return values (an address, a flag, a copy of a
// record), and viewers get copies. Every function takes LeaseLock itself, so
// the server thread and the main thread may call any of them at any time; a
// caller may hold LeaseLock around several calls (it is recursive).
//
// The API:
//   lookups   CheckActiveLeases, FindLeaseByClientId (a copy), IsAddressLeased
//   changes   AddLease (acknowledged requests), AppendLease (the loader),
//             MarkLeaseDeleted (first record at an address), DeleteLease
//             (the record with this address and identifier), MarkLeasesDirty,
//             ClearLeaseTable
//   viewers   SnapshotLeases: a copy of every record in table order (records
//             marked deleted included; viewers skip DELETED_ADDRESS)
//   the file  TakeLeasesForSave: the same copy, taken in the same hold of
//             LeaseLock that clears LeasesDirty
// Reservations (reservations.h) and the range tables (address_ranges.h) are
// guarded by the same lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "leases/client_identity.h"

constexpr uint32_t DELETED_ADDRESS = 0xFFFFFFFFu;
constexpr uint64_t NEVER_EXPIRES = 0xFFFFFFFFFFFFFFFFull;  // a high half of all ones means never
constexpr size_t HOST_NAME_FIELD = 32;                      // 31 characters and the zero
constexpr uint32_t UNLIMITED_LEASE_TIME = 0xFFFFFFFFu;      // a lease time of -1: leases never expire

struct Lease {
    char hostName[HOST_NAME_FIELD] = {};
    // The identifier bytes. clientIdPresent tells an owned buffer (possibly of
    // 0 bytes) from none: FindLeaseByClientId only matches records with one.
    std::vector<uint8_t> clientId;
    bool clientIdPresent = false;
    uint32_t address = 0;  // host order; DELETED_ADDRESS awaits the sweep
    uint64_t expiry = 0;   // FILETIME scale; NEVER_EXPIRES

    uint32_t clientIdLength() const { return static_cast<uint32_t>(clientId.size()); }
    uint32_t expiryLow() const { return static_cast<uint32_t>(expiry); }
    uint32_t expiryHigh() const { return static_cast<uint32_t>(expiry >> 32); }
    void setHostName(const char* name);  // keeps at most 31 characters
    void setClientId(const uint8_t* bytes, size_t length);
};

inline bool IsNeverExpiring(uint64_t expiry) { return (expiry >> 32) == 0xFFFFFFFFu; }

extern std::recursive_mutex LeaseLock;
extern std::atomic<bool> LeasesDirty;  // set by MarkLeasesDirty, cleared by TakeLeasesForSave

// A placeholder holds an address that answered the in-use probe for nobody:
// the identifier is the one byte 00 and the name "Unknown (a.b.c.d)" names
// its own address. It is known by these stored values (so also after a
// restart) and never matches a client's identity in lookups and releases.
bool IsPlaceholderLease(const Lease& lease);

// A copy of the first live record with exactly these identifier bytes and an
// identifier buffer; nullopt when there is none.
std::optional<Lease> FindLeaseByClientId(const uint8_t* bytes, size_t length);

// Address of the client's first lease (at `filter`, or any when 0), else 0.
uint32_t CheckActiveLeases(uint32_t filter, const ClientIdentity& client);

// Creates or renews the client's lease at `address` for `leaseTime` seconds
// (UNLIMITED_LEASE_TIME: never expires), the lease time of the settings the
// request was answered with; returns its expiry.
uint64_t AddLease(const ClientIdentity& client, uint32_t address, uint32_t leaseTime);

// Appends a copy of the record at the end of the table.
void AppendLease(const Lease& lease);
void MarkLeasesDirty();
// The first record at `address` gets DELETED_ADDRESS; nothing else changes.
void MarkLeaseDeleted(uint32_t address);
// The first record at `address` whose identifier buffer holds exactly these
// bytes gets DELETED_ADDRESS (a placeholder is named by its one byte 00).
// False when there is no such record. Like MarkLeaseDeleted it neither marks
// the table dirty nor posts: the next sweep removes the record and does.
bool DeleteLease(uint32_t address, const uint8_t* id, size_t idLength);

// A copy of the table in table order, for viewers.
std::vector<Lease> SnapshotLeases();
// A copy of the table for the file writer; clears LeasesDirty in the same
// hold of LeaseLock, so a change made after the copy marks it again.
std::vector<Lease> TakeLeasesForSave();
// Empties the table and clears LeasesDirty (tests, shutdown).
void ClearLeaseTable();

// True when a record of the table holds the address (deleted ones hold
// DELETED_ADDRESS). Answered from the index kept beside the table.
bool IsAddressLeased(uint32_t address);
