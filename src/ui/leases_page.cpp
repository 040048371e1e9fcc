#include "ui/leases_page.h"

#include <cstdio>
#include <cstring>

#include "ui/user_locale.h"

namespace {

constexpr const char* CUT_MARK = "...";
constexpr size_t CUT_MARK_LENGTH = 3;

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
