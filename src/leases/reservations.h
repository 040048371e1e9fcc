// Reservations: one address tied to one client, named by host name or by
// its identifier text (FormatClientId form). Guarded by LeaseLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <vector>

enum ReservationKind : uint32_t { ByHostName = 0, ByHardwareAddress = 1 };

struct Reservation {
    uint32_t kind = ByHostName;
    char key[32] = {};     // at most 31 characters
    uint32_t address = 0;  // host order
    void setKey(const char* text);
};

extern std::list<Reservation> ReservationList;  // guarded by LeaseLock

uint32_t CheckReservations(const char* hostName, size_t idLength, const uint8_t* id);
std::optional<Reservation> FindReservationByKey(const char* key);       // case-insensitive, either kind
std::optional<Reservation> FindReservationByAddress(uint32_t address);
bool IsAddressReserved(uint32_t address);
void AppendReservation(const Reservation& reservation);
bool RemoveReservation(const char* key);
bool ChangeReservation(const char* key, uint32_t kind, uint32_t address);
std::vector<Reservation> SnapshotReservations();
void ClearReservations();
