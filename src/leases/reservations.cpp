#include "leases/reservations.h"

#include <cstring>
#include <list>
#include <mutex>
#include <string>

#include "leases/address_index.h"
#include "leases/lease_internal.h"
#include "leases/lease_store.h"
#include "base/log.h"
#include "base/text_string.h"

namespace {

// The list in insertion order, guarded by LeaseLock; only this file touches it.
std::list<Reservation> reservations;

// A key compared with a text that may be absent (read as empty).
bool KeyEquals(const char* key, const char* text) { return EqualNoCase(key, text ? text : ""); }

std::list<Reservation>::iterator FindByKey(const char* key) {
    for (auto it = reservations.begin(); it != reservations.end(); ++it) {
        if (KeyEquals(it->key, key)) return it;
    }
    return reservations.end();
}

}  // namespace

void Reservation::setKey(const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    if (n > sizeof key - 1) n = sizeof key - 1;
    if (n) std::memcpy(key, text, n);
    key[n] = '\0';
}

namespace {

// The first entry that names the client, in list order, whichever its kind.
const Reservation* MatchingReservation(const char* hostName, const std::string& idText) {
    for (const Reservation& entry : reservations) {
        if (entry.address == NO_RESERVED_ADDRESS) continue;  // its value was no address
        if (entry.kind == ByHostName && KeyEquals(entry.key, hostName)) return &entry;
        if (entry.kind == ByHardwareAddress && KeyEquals(entry.key, idText.c_str())) return &entry;
    }
    return nullptr;
}

}  // namespace

uint32_t CheckReservations(const ClientIdentity& client) {
    const char* hostName = client.hostName;
    const std::string idText = FormatClientId(client);
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    const std::string shown = LogText(hostName);
    WriteLog(3, "CheckReservations %.20s (%.50s)\n", shown.c_str(), idText.c_str());
    const Reservation* entry = MatchingReservation(hostName, idText);
    if (!entry) return 0;
    if (entry->kind == ByHostName)
        WriteLog(3, "Found Matching Reservation: %.100s -> %08lx\n", shown.c_str(),
                 static_cast<unsigned long>(entry->address));
    else
        WriteLog(3, "Found Matching Reservation: (Addr)%.100s -> %08lx\n", LogText(entry->key).c_str(),
                 static_cast<unsigned long>(entry->address));
    return entry->address;
}

uint32_t ReservedAddressOf(const ClientIdentity& client) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    const Reservation* entry = MatchingReservation(client.hostName, FormatClientId(client));
    return entry ? entry->address : 0;
}

std::optional<Reservation> FindReservationByKey(const char* key) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto it = FindByKey(key);
    if (it == reservations.end()) return std::nullopt;
    return *it;
}

std::optional<Reservation> FindReservationByAddress(uint32_t address) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    if (ReservationsAt(address) == 0) return std::nullopt;
    for (const Reservation& entry : reservations) {
        if (entry.address == address) return entry;
    }
    return std::nullopt;
}

bool IsAddressReserved(uint32_t address) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return ReservationsAt(address) != 0;
}

void AppendReservation(const Reservation& reservation) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    reservations.push_back(reservation);
    IndexReservationAdded(reservation.address);
}

bool SetReservation(const Reservation& reservation) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto it = FindByKey(reservation.key);
    if (it == reservations.end()) {
        reservations.push_back(reservation);
        IndexReservationAdded(reservation.address);
        return false;
    }
    const uint32_t old = it->address;
    *it = reservation;
    IndexReservationRemoved(old);
    IndexReservationAdded(reservation.address);
    return true;
}

bool RemoveReservation(const char* key) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto it = FindByKey(key);
    if (it == reservations.end()) return false;
    const uint32_t address = it->address;
    reservations.erase(it);
    IndexReservationRemoved(address);
    return true;
}

bool ChangeReservation(const char* key, uint32_t kind, uint32_t address) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto it = FindByKey(key);
    if (it == reservations.end()) return false;
    const uint32_t old = it->address;
    it->kind = kind;
    it->address = address;
    IndexReservationRemoved(old);
    IndexReservationAdded(address);
    return true;
}

std::vector<Reservation> SnapshotReservations() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return std::vector<Reservation>(reservations.begin(), reservations.end());
}

void ClearReservations() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    IndexReservationsCleared();
    reservations.clear();
}
