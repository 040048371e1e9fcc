#include "leases/lease_store.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <list>

#include "leases/address_index.h"
#include "leases/lease_internal.h"
#include "leases/address_ranges.h"
#include "base/clock.h"
#include "leases/leases_changed.h"
#include "base/log.h"

std::recursive_mutex LeaseLock;
std::atomic<bool> LeasesDirty{false};

namespace {

// The table: a list in insertion order, guarded by LeaseLock. Only this file
// touches it; the index (address_index.cpp) is told of every change.
std::list<Lease> table;

// What the last full sweep left behind, kept up to date by every change the
// store makes, so that a sweep can tell without a walk that nothing is due.
struct SweepState {
    bool deleted = false;               // a record was marked deleted since
    uint64_t earliest = NEVER_EXPIRES;  // no expiring record ends before this
};
SweepState sweep;

void NoteLeaseChanged(const Lease& lease) {
    if (lease.address == DELETED_ADDRESS) sweep.deleted = true;
    if (!IsNeverExpiring(lease.expiry) && lease.expiry < sweep.earliest) sweep.earliest = lease.expiry;
}

void MarkRecordDeleted(LeaseRecord record) {
    const uint32_t from = record->address;
    record->address = DELETED_ADDRESS;
    NoteLeaseChanged(*record);
    IndexLeaseMoved(record, from);
}

}  // namespace

void Lease::setHostName(const char* name) {
    size_t n = name ? std::strlen(name) : 0;
    if (n > HOST_NAME_FIELD - 1) n = HOST_NAME_FIELD - 1;
    if (n) std::memcpy(hostName, name, n);
    hostName[n] = '\0';
}

void Lease::setClientId(const uint8_t* bytes, size_t length) {
    if (bytes && length)
        clientId.assign(bytes, bytes + length);
    else
        clientId.clear();
    clientIdPresent = true;
}

std::string FormatClientId(const Lease& lease) {
    return FormatClientId(lease.clientId.data(), lease.clientId.size());
}

bool SameClientId(const Lease& lease, const uint8_t* bytes, size_t length) {
    if (lease.clientId.size() != length) return false;
    return length == 0 || std::memcmp(lease.clientId.data(), bytes, length) == 0;
}

bool IsLeaseRecord(LeaseRecord record) { return record != table.end(); }

std::string PlaceholderName(uint32_t address) {
    char name[HOST_NAME_FIELD];
    std::snprintf(name, sizeof name, "Unknown (%d.%d.%d.%d)", OCTETS(address));
    return name;
}

bool IsPlaceholderLease(const Lease& lease) {
    return lease.clientIdPresent && lease.clientId.size() == 1 && lease.clientId[0] == 0 &&
           PlaceholderName(lease.address) == lease.hostName;
}

namespace {

// A record that stands for this client: its identifier buffer holds
// exactly these bytes and it is not a placeholder, whose identifier 00 is
// no client's.
bool IsClientsRecord(const Lease& lease, const uint8_t* bytes, size_t length) {
    return lease.clientIdPresent && SameClientId(lease, bytes, length) && !IsPlaceholderLease(lease);
}

template <typename Match>
LeaseRecord FirstRecordAt(uint32_t address, Match match) {
    // The index keeps the marked records out of table order; they are rare.
    if (address == DELETED_ADDRESS) {
        for (auto it = table.begin(); it != table.end(); ++it)
            if (it->address == address && match(*it)) return it;
        return table.end();
    }
    for (LeaseRecord record : LeaseRecordsAt(address))
        if (match(*record)) return record;
    return table.end();
}

// The client's first live record (in table order) that `also` accepts.
// Records marked deleted are invisible to the lookups: they only wait for
// the next sweep, and handing out their marker address would offer
// 255.255.255.255.
template <typename Also>
LeaseRecord FirstClientRecord(const uint8_t* bytes, size_t length, Also also) {
    for (LeaseRecord record : LeaseRecordsOfClient(bytes, length)) {
        if (record->address != DELETED_ADDRESS && IsClientsRecord(*record, bytes, length) && also(record)) return record;
    }
    return table.end();
}

}  // namespace

LeaseRecord FindLeaseRecordByClientId(const uint8_t* bytes, size_t length) {
    return FirstClientRecord(bytes, length, [](LeaseRecord) { return true; });
}

bool LeaseCountsOnSegment(uint32_t address, uint32_t gateway, uint32_t reserved) {
    return (reserved != 0 && address == reserved) || AddressInGatewayRanges(address, gateway);
}

LeaseRecord FindClientLeaseOnSegment(const uint8_t* bytes, size_t length, uint32_t gateway, uint32_t reserved) {
    return FirstClientRecord(bytes, length, [&](LeaseRecord record) {
        return LeaseCountsOnSegment(record->address, gateway, reserved);
    });
}

LeaseRecord FindOtherLeaseOfClient(const uint8_t* bytes, size_t length, LeaseRecord except) {
    return FirstClientRecord(bytes, length, [&](LeaseRecord record) { return record != except; });
}

LeaseRecord FindLeaseRecordAt(uint32_t address, const uint8_t* bytes, size_t length) {
    return FirstRecordAt(address, [&](const Lease& lease) {
        return !bytes || (lease.clientIdPresent && SameClientId(lease, bytes, length));
    });
}

LeaseRecord FindClientLeaseAt(uint32_t address, const uint8_t* bytes, size_t length) {
    return FirstRecordAt(address, [&](const Lease& lease) { return IsClientsRecord(lease, bytes, length); });
}

void RemoveLease(LeaseRecord record) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    IndexLeaseRemoved(record);
    table.erase(record);
}

void SetLeaseExpiry(LeaseRecord record, uint64_t expiry) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    record->expiry = expiry;
    NoteLeaseChanged(*record);
}

bool SweepLeaseTable(uint64_t now) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    // The timer sweeps twice a second and every offer sweeps first; most of
    // these find nothing to do and need not walk the table.
    if (!sweep.deleted && now <= sweep.earliest) return false;
    bool removed = false;
    uint64_t earliest = NEVER_EXPIRES;
    for (auto it = table.begin(); it != table.end();) {
        auto next = std::next(it);
        if (it->address == DELETED_ADDRESS) {
            WriteLog(3, "Clear Deleted Lease for %.100s -> %08lx\n", LogText(it->hostName).c_str(),
                     static_cast<unsigned long>(DELETED_ADDRESS));
            RemoveLease(it);
            removed = true;
        } else if (!IsNeverExpiring(it->expiry) && it->expiry < now) {
            WriteLog(3, "Expire Lease for %.100s -> %08lx\n", LogText(it->hostName).c_str(),
                     static_cast<unsigned long>(it->address));
            RemoveLease(it);
            removed = true;
        } else if (!IsNeverExpiring(it->expiry) && it->expiry < earliest) {
            earliest = it->expiry;
        }
        it = next;
    }
    sweep.deleted = false;
    sweep.earliest = earliest;
    return removed;
}

std::optional<Lease> FindLeaseByClientId(const uint8_t* bytes, size_t length) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    LeaseRecord record = FindLeaseRecordByClientId(bytes, length);
    if (record == table.end()) return std::nullopt;
    return *record;
}

bool IsAddressLeased(uint32_t address) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return !LeaseRecordsAt(address).empty();
}

namespace {

// CheckActiveLeases, with `counts` (when given) deciding whether a lease of
// the client at an address counts for this request.
template <typename Counts>
uint32_t FindActiveLease(uint32_t filter, const ClientIdentity& client, Counts counts) {
    const uint8_t* bytes = client.id;
    const size_t length = client.idLength;
    const std::string shown = LogText(client.hostName);
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    WriteLog(3, "CheckActiveLeases %08lx, %.20s (%.50s)\n", static_cast<unsigned long>(filter), shown.c_str(),
             FormatClientId(client).c_str());
    auto matches = [&](const Lease& lease) {
        return lease.address != DELETED_ADDRESS && (filter == 0 || lease.address == filter) &&
               SameClientId(lease, bytes, length) && !IsPlaceholderLease(lease);
    };
    uint32_t found = 0;
    // Each index lists its records in table order, so the first match in an
    // index is the first in the table.
    const std::vector<LeaseRecord>& candidates =
        (filter != 0 && filter != DELETED_ADDRESS) ? LeaseRecordsAt(filter) : LeaseRecordsOfClient(bytes, length);
    for (LeaseRecord record : candidates) {
        if (!matches(*record)) continue;
        if (!counts(record->address)) {
            WriteLog(3, "Lease %08lx is outside the segment of the request\n", static_cast<unsigned long>(record->address));
            continue;
        }
        found = record->address;
        break;
    }
    if (!found) return 0;
    WriteLog(3, "Found Matching Active Lease: %.100s -> %08lx\n", shown.c_str(), static_cast<unsigned long>(found));
    return found;
}

}  // namespace

uint32_t CheckActiveLeases(uint32_t filter, const ClientIdentity& client) {
    return FindActiveLease(filter, client, [](uint32_t) { return true; });
}

uint32_t CheckActiveLeasesOnSegment(uint32_t filter, uint32_t gateway, uint32_t reserved,
                                    const ClientIdentity& client) {
    return FindActiveLease(filter, client,
                           [&](uint32_t address) { return LeaseCountsOnSegment(address, gateway, reserved); });
}

uint64_t BoundLeaseExpiry(uint32_t leaseTime) {
    if (leaseTime == UNLIMITED_LEASE_TIME) return NEVER_EXPIRES;
    // The lease time is taken as unsigned: read as a signed count, a lease
    // time above 2^31 - 1 seconds would put the expiry in the past and free
    // the address while the client still uses it.
    return NowFileTime() + static_cast<uint64_t>(leaseTime) * FILETIME_TICKS_PER_SECOND;
}

namespace {

// Appends a new record for the client in place of its older one.
void AppendClientLease(const ClientIdentity& client, uint32_t address, uint64_t expiry) {
    LeaseRecord older = FindLeaseRecordByClientId(client.id, client.idLength);
    if (older != table.end()) RemoveLease(older);
    Lease record;
    record.setHostName(client.hostName);
    record.setClientId(client.id, client.idLength);
    record.address = address;
    record.expiry = expiry;
    AppendLease(record);
}

}  // namespace

uint64_t AddLease(const ClientIdentity& client, uint32_t address, uint32_t leaseTime) {
    const uint8_t* id = client.id;
    const size_t idLength = client.idLength;
    const std::string shown = LogText(client.hostName);
    std::unique_lock<std::recursive_mutex> guard(LeaseLock);
    const uint64_t expiry = BoundLeaseExpiry(leaseTime);

    LeaseRecord held = FindLeaseRecordAt(address, nullptr, 0);
    if (held != table.end()) {
        WriteLog(1, "Renew Lease for %.100s -> %08lx\n", shown.c_str(), static_cast<unsigned long>(address));
        std::string idText;
        if (!IsClientsRecord(*held, id, idLength) && ReservedAddressOf(client) == address) {
            // The address is reserved for this client but another client's
            // record (or a placeholder) holds it: the record becomes this
            // client's lease, so that the other client is refused from now
            // on instead of both being acknowledged on one address.
            RemoveLease(held);
            AppendClientLease(client, address, expiry);
            idText = FormatClientId(client);
        } else {
            // The record keeps its name and identifier. The client's record
            // of another address (left behind on the segment it moved away
            // from) goes, as it would in the create path.
            idText = FormatClientId(*held);
            SetLeaseExpiry(held, expiry);
            if (IsClientsRecord(*held, id, idLength)) {
                LeaseRecord older = FindOtherLeaseOfClient(id, idLength, held);
                if (older != table.end()) RemoveLease(older);
            }
        }
        WriteAddressLog("Add Lease for %.50s (%.50s) of %d.%d.%d.%d\n", shown.c_str(), idText.c_str(),
                        OCTETS(address));
        // The new expiry must reach the file: a crash would otherwise restore
        // the 60-second offer hold, drop the lease at the next start and let
        // a second client get the address.
        MarkLeasesDirty();
        guard.unlock();
        PostLeasesChanged();
        return expiry;
    }

    AppendClientLease(client, address, expiry);
    MarkLeasesDirty();
    PostLeasesChanged();
    WriteLog(1, "Created Permanent Lease for %.100s -> %08lx\n", shown.c_str(), static_cast<unsigned long>(address));
    WriteAddressLog("Create Lease for %.50s (%.50s) of %d.%d.%d.%d\n", shown.c_str(),
                    FormatClientId(client).c_str(), OCTETS(address));
    return expiry;
}

void AppendLease(const Lease& lease) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    table.push_back(lease);
    IndexLeaseAdded(std::prev(table.end()));
    NoteLeaseChanged(lease);
}

void MarkLeasesDirty() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    LeasesDirty.store(true);
}

void MarkLeaseDeleted(uint32_t address) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    if (address == DELETED_ADDRESS) return;  // already marked
    LeaseRecord record = FindLeaseRecordAt(address, nullptr, 0);
    if (record != table.end()) MarkRecordDeleted(record);
}

bool DeleteLease(uint32_t address, const uint8_t* id, size_t idLength) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    if (address == DELETED_ADDRESS) return false;
    static const uint8_t noBytes = 0;
    LeaseRecord record = FindLeaseRecordAt(address, id ? id : &noBytes, idLength);
    if (record == table.end()) return false;
    MarkRecordDeleted(record);
    return true;
}

std::vector<Lease> SnapshotLeases() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return std::vector<Lease>(table.begin(), table.end());
}

std::vector<Lease> TakeLeasesForSave() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    LeasesDirty = false;
    return std::vector<Lease>(table.begin(), table.end());
}

void ClearLeaseTable() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    IndexLeasesCleared();
    table.clear();
    sweep = SweepState{};
    LeasesDirty.store(false);
}
