#include "ui/leases_page.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/settings_file.h"
#include "leases/client_identity.h"
#include "leases/reservations.h"
#include "ui/user_locale.h"

namespace {

constexpr const char* CUT_MARK = "...";
constexpr size_t CUT_MARK_LENGTH = 3;
constexpr size_t HARDWARE_ADDRESS_LENGTH = 6;

// The bytes as upper-case hex pairs joined by "-" in at most `room`
// characters: when they do not all fit, as many whole pairs as leave room
// for the cut mark, then the mark.
std::string HexPairs(const std::vector<uint8_t>& bytes, size_t room) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        if (!text.empty()) text += '-';
        text += pair;
    }
    if (text.size() <= room) return text;
    const size_t pairs = (room - CUT_MARK_LENGTH + 1) / 3;  // a pair and its "-" take 3, the last pair 2
    text.resize(pairs ? pairs * 3 - 1 : 0);
    return text + CUT_MARK;
}

}  // namespace

std::vector<Lease> ListedLeases() {
    std::vector<Lease> leases = SnapshotLeases();
    std::vector<Lease> listed;
    listed.reserve(leases.size());
    for (Lease& lease : leases)
        if (lease.address != DELETED_ADDRESS) listed.push_back(std::move(lease));
    return listed;
}

std::string LeaseListText(const Lease& lease) {
    const size_t nameLength = strnlen(lease.hostName, sizeof lease.hostName);
    if (nameLength) return std::string(lease.hostName, nameLength);
    return "[" + HexPairs(lease.clientId, LEASE_TEXT_LIMIT - 2) + "]";
}

std::string LeaseIdentifierText(const Lease& lease) { return HexPairs(lease.clientId, LEASE_TEXT_LIMIT); }

std::string LeaseExpiryText(uint64_t expiry) {
    if (IsNeverExpiring(expiry)) return "Never";
    return LocalDateTimeText(expiry);
}

bool DeleteListedLease(const Lease& lease) {
    return DeleteLease(lease.address, lease.clientId.data(), lease.clientId.size());
}

int FindListedLease(const std::vector<Lease>& listed, const Lease& lease) {
    for (size_t i = 0; i < listed.size(); ++i)
        if (listed[i].address == lease.address && listed[i].clientId == lease.clientId) return static_cast<int>(i);
    return -1;
}

LeaseReserveResult ReserveListedLease(const Lease& lease, std::string* key) {
    const std::string hostName(lease.hostName, strnlen(lease.hostName, sizeof lease.hostName));
    const bool byHardware = lease.clientId.size() == HARDWARE_ADDRESS_LENGTH;
    const std::string hardwareKey = byHardware ? FormatClientId(lease.clientId.data(), lease.clientId.size()) : "";
    const std::string& chosen = byHardware ? hardwareKey : hostName;
    if (key) *key = chosen;
    if (IsPlaceholderLease(lease)) return LeaseReserveResult::Placeholder;
    if (chosen.empty()) return LeaseReserveResult::NoKey;
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        for (const std::string* name : {&hardwareKey, &hostName})
            if (!name->empty() && FindReservationByKey(name->c_str())) return LeaseReserveResult::ClientReserved;
        if (IsAddressReserved(lease.address)) return LeaseReserveResult::AddressReserved;
        Reservation entry;
        entry.kind = byHardware ? ByHardwareAddress : ByHostName;
        entry.setKey(chosen.c_str());
        entry.address = lease.address;
        SetReservation(entry);
    }
    saveReservations();
    return LeaseReserveResult::Reserved;
}
