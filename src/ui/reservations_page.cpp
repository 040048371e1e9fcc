#include "ui/reservations_page.h"

#include "config/settings_file.h"
#include "leases/reservations.h"
#include "base/ip_address.h"
#include "base/text_string.h"

namespace {

bool Parses(const std::string& address) { return !address.empty() && ParseAddress(address.c_str()) != ADDRESS_NONE; }

// Whether an entry other than the one with `ownKey` (none when empty) holds
// the address. Entries loaded from the file may share one, so every entry
// is looked at, not only the first at the address.
bool HeldByAnother(uint32_t address, const char* ownKey) {
    if (!IsAddressReserved(address)) return false;
    for (const Reservation& entry : SnapshotReservations())
        if (entry.address == address && !(ownKey && EqualNoCase(entry.key, ownKey))) return true;
    return false;
}

}  // namespace

bool CanSetReservation(bool byHostName, const std::string& hostNameKey, const std::string& hardwareKey,
                       const std::string& address) {
    const std::string& key = byHostName ? hostNameKey : hardwareKey;
    return !key.empty() && Parses(address);
}

ReservationSetResult SetReservationFromPage(uint32_t kind, const std::string& key, const std::string& address) {
    if (key.empty() || key.size() > RESERVATION_KEY_LIMIT) return ReservationSetResult::BadKey;
    if (!Parses(address)) return ReservationSetResult::BadAddress;
    const uint32_t value = ParseAddress(address.c_str());

    if (std::optional<Reservation> existing = FindReservationByKey(key.c_str())) {
        if (HeldByAnother(value, existing->key)) return ReservationSetResult::AddressTaken;
        ChangeReservation(existing->key, kind, value);
        return ReservationSetResult::Changed;
    }
    if (HeldByAnother(value, nullptr)) return ReservationSetResult::AddressTaken;
    Reservation entry;
    entry.kind = kind;
    entry.setKey(key.c_str());
    entry.address = value;
    SetReservation(entry);
    saveReservations();
    return ReservationSetResult::Added;
}

bool DeleteReservationFromPage(const std::string& key) {
    if (!RemoveReservation(key.c_str())) return false;
    saveReservations();
    return true;
}

std::string ReservationAddressText(const std::string& key) {
    std::optional<Reservation> entry = FindReservationByKey(key.c_str());
    if (!entry) return "**ERROR**";
    if (entry->address == NO_RESERVED_ADDRESS && !entry->addressText.empty()) return entry->addressText;
    return FormatAddress(entry->address);
}
