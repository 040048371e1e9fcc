// The Reservations page's decisions, without windows: when Set may be
// pressed, what Set and Delete do to the reservation list and the file, and
// the address a list row shows. Every change goes through the reservation
// functions of the lease store.
//
// The list's rules: keys are unique without regard to case and kind, and no
// two entries hold the same address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The longest key an entry holds (its field keeps 31 characters). A longer
// key is refused instead of being stored cut: a cut key would no longer
// match its row, nor the client it was typed for.
constexpr size_t RESERVATION_KEY_LIMIT = 31;

// Set is enabled when the chosen kind's key field is not empty and the
// address is not empty and parses.
bool CanSetReservation(bool byHostName, const std::string& hostNameKey, const std::string& hardwareKey,
                       const std::string& address);

enum class ReservationSetResult {
    Added,         // a new entry at the end, written to NIMBO.INI at once
    Changed,       // the entry with the key (any case, any kind) took the kind
                   // and address and kept its key; written when the window closes
    BadKey,        // empty or longer than RESERVATION_KEY_LIMIT: nothing changed
    BadAddress,    // does not parse: nothing changed
    AddressTaken,  // another entry holds the address: nothing changed
};
ReservationSetResult SetReservationFromPage(uint32_t kind, const std::string& key, const std::string& address);

// Removes the entry with the key (any case) and writes the list to NIMBO.INI.
// False when no entry has the key.
bool DeleteReservationFromPage(const std::string& key);

// The address column of a row: the address of the entry with the key as
// "a.b.c.d" (or the file's text when the entry's value was no address), or
// "**ERROR**" when no entry has the key.
std::string ReservationAddressText(const std::string& key);
