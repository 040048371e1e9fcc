// Reservations: one address tied to one client, named by host name or by
// its identifier text (FormatClientId form).
//
// The list is private to the store (reservations.cpp) and guarded by
// LeaseLock; every function below takes the lock itself. Entries change only
// through these functions, which keep the address index in step, and
// lookups hand out copies:
//   CheckReservations     the reserved address of a client (the server);
//                         entries at NO_RESERVED_ADDRESS are passed over
//   FindReservationByKey, FindReservationByAddress, IsAddressReserved
//   AppendReservation     adds at the end (the loader)
//   SetReservation        replaces the entry with the same key in place, or
//                         adds it at the end (the Reservations page)
//   ChangeReservation     new kind and address for the entry with that key
//   RemoveReservation     deletes the entry with that key
//   SnapshotReservations  a copy of the list in order, for viewers and the file
//   ClearReservations
// Keys compare without regard to ASCII case, whatever their kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "leases/client_identity.h"

enum ReservationKind : uint32_t { ByHostName = 0, ByHardwareAddress = 1 };

// An address of 255.255.255.255 (NO_RESERVED_ADDRESS) is the value of a
// file entry that is no address: such an entry is kept, but never offered.
constexpr uint32_t NO_RESERVED_ADDRESS = 0xFFFFFFFFu;

struct Reservation {
    uint32_t kind = ByHostName;
    char key[32] = {};     // at most 31 characters
    uint32_t address = 0;  // host order
    // The value as the file held it when it is no address, so that the next
    // save writes it back for the administrator to correct; else empty.
    std::string addressText;
    void setKey(const char* text);
};

uint32_t CheckReservations(const ClientIdentity& client);
std::optional<Reservation> FindReservationByKey(const char* key);  // case-insensitive, either kind
std::optional<Reservation> FindReservationByAddress(uint32_t address);
bool IsAddressReserved(uint32_t address);
void AppendReservation(const Reservation& reservation);
// True when an entry with the key was replaced, false when it was appended.
bool SetReservation(const Reservation& reservation);
bool RemoveReservation(const char* key);
bool ChangeReservation(const char* key, uint32_t kind, uint32_t address);
std::vector<Reservation> SnapshotReservations();
void ClearReservations();
