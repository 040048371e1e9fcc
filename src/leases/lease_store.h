// The lease store: every address handed out or held back (bound, temporary,
// placeholder and restored leases) in one process-wide list, guarded by the
// recursive LeaseLock. Every operation here takes LeaseLock for its whole
// length, so the server thread and the main thread may call any of them at
// any time. The range, exception and reservation tables share the same lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

constexpr uint32_t DELETED_ADDRESS = 0xFFFFFFFFu;
constexpr uint64_t NEVER_EXPIRES = 0xFFFFFFFFFFFFFFFFull;  // a high half of all ones means never
constexpr size_t HOST_NAME_FIELD = 32;                      // 31 characters and the zero

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
// Guarded by LeaseLock. Read it freely under the lock, but add, remove or
// change records only through the functions below: the store keeps indexes
// of the records by address and identifier beside the list.
extern std::list<Lease> LeaseTable;
extern std::atomic<bool> LeasesDirty;      // set by MarkLeasesDirty, cleared by saveLeases

// Lower-case hex pairs joined by "-"; "" for length 0.
std::string FormatClientId(const uint8_t* bytes, size_t length);

// First record with exactly these identifier bytes and an identifier buffer.
// Caller holds LeaseLock (the pointer is only good while it does).
Lease* FindLeaseByClientId(const uint8_t* bytes, size_t length);

// Address of the client's first lease (at `filter`, or any when 0), else 0.
uint32_t CheckActiveLeases(uint32_t filter, const char* hostName, const uint8_t* bytes, size_t length);

// Creates or renews the client's lease at `address`; returns its expiry.
uint64_t AddLease(const char* hostName, uint32_t address, size_t idLength, const uint8_t* id);

// Appends a deep copy at the end. Takes LeaseLock itself (recursive).
void AppendLease(const Lease& lease);
// Unlinks and destroys one record. Caller holds LeaseLock.
void RemoveLease(std::list<Lease>::iterator record);
void MarkLeasesDirty();
// The first record at `address` gets DELETED_ADDRESS; nothing else changes.
void MarkLeaseDeleted(uint32_t address);

// A copy of the table for viewers and the file writer.
std::vector<Lease> SnapshotLeases();
// Empties the table and clears LeasesDirty (tests, shutdown).
void ClearLeaseTable();

// True when a record of the table holds the address (deleted ones hold
// DELETED_ADDRESS). Answered from an index kept beside the list.
bool IsAddressLeased(uint32_t address);
