#include "leases/address_index.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>

#include "leases/lease_store.h"

namespace {

const std::vector<LeaseRecord> none;

// Records per address and per identifier, reservations per address, and the
// held addresses (lease or reservation) as maximal runs first -> last, so
// that a walk can jump over a block of thousands of leased addresses at once.
struct AddressIndex {
    std::unordered_map<uint32_t, std::vector<LeaseRecord>> leases;
    std::unordered_map<std::string, std::vector<LeaseRecord>> clientIds;
    std::unordered_map<uint32_t, uint32_t> reservations;
    std::unordered_map<uint32_t, uint32_t> held;
    std::map<uint32_t, uint32_t> runs;
};

AddressIndex index;

void AddRun(uint32_t address) {
    uint32_t first = address, last = address;
    if (address != 0xFFFFFFFFu) {
        auto right = index.runs.find(address + 1);
        if (right != index.runs.end()) {
            last = right->second;
            index.runs.erase(right);
        }
    }
    if (address != 0 && !index.runs.empty()) {
        auto left = index.runs.lower_bound(address);
        if (left != index.runs.begin()) {
            --left;
            if (left->second == address - 1) {
                left->second = last;
                return;
            }
        }
    }
    index.runs.emplace(first, last);
}

void RemoveRun(uint32_t address) {
    auto it = index.runs.upper_bound(address);
    if (it == index.runs.begin()) return;
    --it;
    uint32_t first = it->first, last = it->second;
    if (address < first || address > last) return;
    index.runs.erase(it);
    if (first < address) index.runs.emplace(first, address - 1);
    if (address < last) index.runs.emplace(address + 1, last);
}

void Hold(uint32_t address) {
    if (++index.held[address] == 1) AddRun(address);
}

void Unhold(uint32_t address) {
    auto it = index.held.find(address);
    if (it == index.held.end()) return;
    if (--it->second == 0) {
        index.held.erase(it);
        RemoveRun(address);
    }
}

std::string IdKey(const uint8_t* bytes, size_t length) {
    return length ? std::string(reinterpret_cast<const char*>(bytes), length) : std::string();
}

std::string IdKey(const Lease& lease) { return IdKey(lease.clientId.data(), lease.clientId.size()); }

bool Decrement(std::unordered_map<uint32_t, uint32_t>& counts, uint32_t address) {
    auto it = counts.find(address);
    if (it == counts.end()) return false;
    if (--it->second == 0) counts.erase(it);
    return true;
}

template <typename Key>
bool Unlist(std::unordered_map<Key, std::vector<LeaseRecord>>& lists, const Key& key, LeaseRecord record) {
    auto it = lists.find(key);
    if (it == lists.end()) return false;
    auto at = std::find(it->second.begin(), it->second.end(), record);
    if (at == it->second.end()) return false;
    it->second.erase(at);
    if (it->second.empty()) lists.erase(it);
    return true;
}

void List(LeaseRecord record) {
    index.leases[record->address].push_back(record);
    index.clientIds[IdKey(*record)].push_back(record);
    Hold(record->address);
}

}  // namespace

// The update functions run after the list itself has changed (or, for a
// removal, just before the record goes).
void IndexLeaseAdded(LeaseRecord record) { List(record); }

void IndexLeaseRemoved(LeaseRecord record) {
    Unlist(index.leases, record->address, record);
    Unlist(index.clientIds, IdKey(*record), record);
    Unhold(record->address);
}

void IndexLeaseMoved(LeaseRecord record, uint32_t from) {
    Unlist(index.leases, from, record);
    Unhold(from);
    index.leases[record->address].push_back(record);
    Hold(record->address);
}

void IndexReservationAdded(uint32_t address) {
    ++index.reservations[address];
    Hold(address);
}

void IndexReservationRemoved(uint32_t address) {
    if (Decrement(index.reservations, address)) Unhold(address);
}

void IndexLeasesCleared() {
    for (const auto& [address, records] : index.leases)
        for (size_t i = 0; i < records.size(); ++i) Unhold(address);
    index.leases.clear();
    index.clientIds.clear();
}

void IndexReservationsCleared() {
    for (const auto& [address, count] : index.reservations)
        for (uint32_t i = 0; i < count; ++i) Unhold(address);
    index.reservations.clear();
}

const std::vector<LeaseRecord>& LeaseRecordsAt(uint32_t address) {
    auto it = index.leases.find(address);
    return it == index.leases.end() ? none : it->second;
}

const std::vector<LeaseRecord>& LeaseRecordsOfClient(const uint8_t* bytes, size_t length) {
    auto it = index.clientIds.find(IdKey(bytes, length));
    return it == index.clientIds.end() ? none : it->second;
}

uint32_t ReservationsAt(uint32_t address) {
    auto it = index.reservations.find(address);
    return it == index.reservations.end() ? 0 : it->second;
}

bool HeldRunEnd(uint32_t address, uint32_t& last) {
    auto it = index.runs.upper_bound(address);
    if (it == index.runs.begin()) return false;
    --it;
    if (address > it->second) return false;
    last = it->second;
    return true;
}
