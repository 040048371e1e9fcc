#include "leases/address_allocation.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "leases/address_index.h"
#include "leases/address_ranges.h"
#include "leases/lease_expiry.h"
#include "leases/lease_internal.h"
#include "leases/lease_store.h"
#include "leases/range_items.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "leases/leases_changed.h"
#include "base/log.h"

namespace {

// The highest address the walk considers: 255.255.255.255 is the broadcast
// address and never offered, and stopping below it keeps the walk from
// wrapping around to 0.
constexpr uint32_t LAST_CANDIDATE = 0xFFFFFFFEu;

void AppendPlaceholder(uint32_t address) {
    Lease record;
    record.setHostName(PlaceholderName(address).c_str());
    const uint8_t none = 0;
    record.setClientId(&none, 1);
    record.address = address;
    record.expiry = FileTimeAfter(NowFileTime(), IN_USE_HOLD_SECONDS);
    AppendLease(record);
}

// Whether an exception item holds x. The items are tested in written order
// and each tested item writes its "Found Range" line, as reading the
// exception text from its start for this candidate would. `last` gets the
// high bound of the item that holds x.
bool IsExcepted(uint32_t x, const std::vector<RangeItem>& exceptions, bool logging, uint32_t& last) {
    for (const RangeItem& item : exceptions) {
        if (logging && item.written) LogRangeItem(item.low, item.high);
        if (item.low <= x && x <= item.high) {
            last = item.high;
            return true;
        }
    }
    return false;
}

// Candidates whose probe is out, for searches that run at the same time:
// they count as held. Guarded by LeaseLock.
std::set<uint32_t> AddressesUnderProbe;

void HoldTemporarily(const ClientIdentity& client, uint32_t address, const std::string& shown) {
    WriteLog(3, "Found Addr %08lx (%.100s)\n", static_cast<unsigned long>(address), shown.c_str());
    Lease record;
    record.setHostName(client.hostName);
    record.setClientId(client.id, client.idLength);
    record.address = address;
    record.expiry = FileTimeAfter(NowFileTime(), OFFER_HOLD_SECONDS);
    AppendLease(record);
    PostLeasesChanged();
    WriteLog(1, "Created Temporary Lease for %.100s -> %08lx\n", shown.c_str(), static_cast<unsigned long>(address));
    MarkLeasesDirty();
}

void HoldInUse(uint32_t address) {
    WriteLog(0, "Address %08lx is in use!\n", static_cast<unsigned long>(address));
    AppendPlaceholder(address);
    PostLeasesChanged();
    MarkLeasesDirty();
}

}  // namespace

// The walk of FindSpareAddress over the gateway's range items, with the
// client it searches for (copied, so that the search may outlive the
// request's buffers).
struct AddressWalk {
    uint32_t gateway = 0;
    uint32_t server = 0;
    std::string hostName;
    std::vector<uint8_t> id;
    std::string shown;  // the host name as log lines show it
    std::string ranges;
    // The exception text is parsed once; IsExcepted still writes the line of
    // every item it tests, candidate by candidate. Without a main log there
    // is nothing to write, and a whole excepted run is skipped at once.
    std::vector<RangeItem> exceptions;
    bool logging = false;
    int32_t position = 0;  // in `ranges`; -1 after the last item
    bool inItem = false;   // x and high belong to an item being walked
    uint64_t x = 0;        // 64 bits: x + 1 never wraps
    uint32_t high = 0;

    ClientIdentity client() const { return ClientIdentity{hostName.c_str(), id.data(), id.size()}; }
};

AddressSearch::AddressSearch() = default;
// The candidate out for its probe goes with the search.
AddressSearch::AddressSearch(AddressSearch&& other) noexcept
    : probeDue(other.probeDue), candidate(other.candidate), result(other.result), walk(std::move(other.walk)) {
    other.probeDue = false;
}

AddressSearch::~AddressSearch() {
    if (!probeDue) return;
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    AddressesUnderProbe.erase(candidate);
}

namespace {

void Decide(AddressSearch& search, uint32_t address) {
    search.probeDue = false;
    search.result = address;
}

// Walks on to the next candidate that needs the probe (and marks it as
// under probe), or to the end of the items (no address). Caller holds
// LeaseLock.
void WalkToCandidate(AddressSearch& search) {
    AddressWalk& w = *search.walk;
    for (;;) {
        if (!w.inItem) {
            if (w.position == -1) return Decide(search, 0);
            uint32_t low, high;
            NextRange(w.ranges.c_str(), w.position, low, high);
            w.high = high > LAST_CANDIDATE ? LAST_CANDIDATE : high;
            w.x = low == 0 ? 1 : low;
            w.inItem = true;
        }
        while (w.x <= w.high) {
            const uint32_t candidate = static_cast<uint32_t>(w.x);
            uint32_t last;
            // Reserved or leased: jump over the whole run of held addresses.
            if (HeldRunEnd(candidate, last)) {
                w.x = uint64_t{last} + 1;
                continue;
            }
            if (candidate == w.server || AddressesUnderProbe.count(candidate) != 0) {
                ++w.x;
                continue;
            }
            if (IsExcepted(candidate, w.exceptions, w.logging, last)) {
                w.x = w.logging ? w.x + 1 : uint64_t{last} + 1;
                continue;
            }
            AddressesUnderProbe.insert(candidate);
            search.probeDue = true;
            search.candidate = candidate;
            return;
        }
        w.inItem = false;
    }
}

// FindSpareAddress up to its first probe. Caller holds LeaseLock.
void BeginSpareAddressSearch(AddressSearch& search, uint32_t gateway, const ClientIdentity& client, uint32_t server) {
    search.walk.reset(new AddressWalk);
    AddressWalk& w = *search.walk;
    w.gateway = gateway;
    w.server = server;
    w.hostName = client.hostName;
    w.id.assign(client.id, client.id + client.idLength);
    w.shown = LogText(client.hostName);
    WriteLog(3, "FindSpareAddress, %.20s (GW: %08lx)\n", w.shown.c_str(), static_cast<unsigned long>(gateway));
    ExpireLeases();

    LeaseRecord own = FindClientLeaseOnSegment(client.id, client.idLength, gateway, ReservedAddressOf(client));
    if (IsLeaseRecord(own)) {
        SetLeaseExpiry(own, FileTimeAfter(NowFileTime(), OFFER_HOLD_SECONDS));
        return Decide(search, own->address);
    }
    TextString ranges, exceptionText;
    if (!GetRangesForGateway(gateway, ranges, exceptionText)) {
        WriteLog(0, "No valid range for gateway %08lx\n", static_cast<unsigned long>(gateway));
        return Decide(search, 0);
    }
    w.ranges = ranges.text();
    ParseRangeItems(exceptionText.text(), w.exceptions);
    w.logging = MainLogEnabled();
    WalkToCandidate(search);
}

}  // namespace

void BeginAddressSearch(AddressSearch& search, uint32_t filter, uint32_t gateway, const ClientIdentity& client,
                        uint32_t server) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    if (client.hostName[0] != '\0') {
        const uint32_t reserved = ReservedAddressOf(client);
        if (uint32_t address = CheckActiveLeasesOnSegment(filter, gateway, reserved, client))
            return Decide(search, address);
    }
    if (uint32_t address = CheckReservations(client)) return Decide(search, address);
    BeginSpareAddressSearch(search, gateway, client, server);
}

void ContinueAddressSearch(AddressSearch& search, bool answered) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    if (!search.probeDue) return;
    const uint32_t candidate = search.candidate;
    AddressesUnderProbe.erase(candidate);
    search.probeDue = false;
    AddressWalk& w = *search.walk;
    ++w.x;
    uint32_t last;
    if (HeldRunEnd(candidate, last)) return WalkToCandidate(search);  // taken meanwhile
    if (answered) {
        HoldInUse(candidate);
        return WalkToCandidate(search);
    }
    HoldTemporarily(w.client(), candidate, w.shown);
    Decide(search, candidate);
}

uint32_t FinishAddressSearch(AddressSearch& search, const std::atomic<bool>* abandon) {
    while (search.probeDue) {
        // The candidate is let go when the search is destroyed.
        if (abandon && abandon->load()) return 0;
        ContinueAddressSearch(search, PingAddress(search.candidate));
    }
    return search.result;
}

uint32_t SuggestAddress(uint32_t filter, uint32_t gateway, const ClientIdentity& client, uint32_t server) {
    AddressSearch search;
    BeginAddressSearch(search, filter, gateway, client, server);
    return FinishAddressSearch(search);
}

bool CheckRequestedAddress(uint32_t requested, uint32_t gateway, const ClientIdentity& client, uint32_t server,
                           bool clientHasAddress) {
    // 0 is no address; 255.255.255.255 is the broadcast address (and the
    // marker of a deleted lease), never a client's.
    if (requested == 0 || requested == 0xFFFFFFFFu) return false;
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    const uint32_t held = clientHasAddress
                              ? CheckActiveLeases(requested, client)
                              : CheckActiveLeasesOnSegment(requested, gateway, ReservedAddressOf(client), client);
    if (held == requested) return true;
    const uint32_t reserved = CheckReservations(client);
    if (reserved == requested) return true;
    if (reserved != 0) return false;
    // Reserved for another client: acknowledged here, the address would be
    // taken over by its owner at its next request, while both used it.
    if (IsAddressReserved(requested)) return false;
    if (!LeaseRecordsAt(requested).empty()) return false;
    if (requested == server) return false;
    TextString ranges, exceptions;
    if (!GetRangesForGateway(gateway, ranges, exceptions)) {
        WriteLog(0, "No valid range for gateway %08lx\n", static_cast<unsigned long>(gateway));
        return false;
    }
    return AddressInItems(requested, ranges.text(), exceptions.text());
}

uint32_t FindSpareAddress(uint32_t gateway, const ClientIdentity& client, uint32_t server) {
    AddressSearch search;
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        BeginSpareAddressSearch(search, gateway, client, server);
    }
    return FinishAddressSearch(search);
}
