#include "leases/address_allocation.h"

#include <cstdio>
#include <mutex>
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

}  // namespace

uint32_t SuggestAddress(uint32_t filter, uint32_t gateway, const ClientIdentity& client, uint32_t server) {
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        if (client.hostName[0] != '\0') {
            const uint32_t reserved = ReservedAddressOf(client);
            if (uint32_t address = CheckActiveLeasesOnSegment(filter, gateway, reserved, client)) return address;
        }
        if (uint32_t address = CheckReservations(client)) return address;
    }
    // Outside the lock: the search lets go of it around each probe.
    return FindSpareAddress(gateway, client, server);
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
    std::unique_lock<std::recursive_mutex> lock(LeaseLock);
    const std::string shown = LogText(client.hostName);
    WriteLog(3, "FindSpareAddress, %.20s (GW: %08lx)\n", shown.c_str(), static_cast<unsigned long>(gateway));
    ExpireLeases();

    LeaseRecord own = FindClientLeaseOnSegment(client.id, client.idLength, gateway, ReservedAddressOf(client));
    if (IsLeaseRecord(own)) {
        SetLeaseExpiry(own, FileTimeAfter(NowFileTime(), OFFER_HOLD_SECONDS));
        return own->address;
    }

    TextString ranges, exceptionText;
    if (!GetRangesForGateway(gateway, ranges, exceptionText)) {
        WriteLog(0, "No valid range for gateway %08lx\n", static_cast<unsigned long>(gateway));
        return 0;
    }
    // The exception text is parsed once; IsExcepted still writes the line of
    // every item it tests, candidate by candidate. Without a main log there
    // is nothing to write, and a whole excepted run is skipped at once.
    std::vector<RangeItem> exceptions;
    ParseRangeItems(exceptionText.text(), exceptions);
    const bool logging = MainLogEnabled();

    int32_t position = 0;
    do {
        uint32_t low, high;
        NextRange(ranges.text(), position, low, high);
        if (high > LAST_CANDIDATE) high = LAST_CANDIDATE;
        uint64_t x = low == 0 ? 1 : low;  // 64 bits: x + 1 never wraps
        while (x <= high) {
            const uint32_t candidate = static_cast<uint32_t>(x);
            uint32_t last;
            // Reserved or leased: jump over the whole run of held addresses.
            if (HeldRunEnd(candidate, last)) {
                x = uint64_t{last} + 1;
                continue;
            }
            if (candidate == server) {
                ++x;
                continue;
            }
            if (IsExcepted(candidate, exceptions, logging, last)) {
                x = logging ? x + 1 : uint64_t{last} + 1;
                continue;
            }

            // The probe may take 100 ms: the main thread's timer must not wait
            // for it, so LeaseLock is let go meanwhile and the candidate is
            // checked again afterwards.
            lock.unlock();
            const bool answered = PingAddress(candidate);
            lock.lock();
            if (HeldRunEnd(candidate, last)) {
                ++x;  // taken meanwhile
                continue;
            }
            if (answered) {
                WriteLog(0, "Address %08lx is in use!\n", static_cast<unsigned long>(candidate));
                AppendPlaceholder(candidate);
                PostLeasesChanged();
                MarkLeasesDirty();
                ++x;
                continue;
            }
            WriteLog(3, "Found Addr %08lx (%.100s)\n", static_cast<unsigned long>(candidate), shown.c_str());
            Lease record;
            record.setHostName(client.hostName);
            record.setClientId(client.id, client.idLength);
            record.address = candidate;
            record.expiry = FileTimeAfter(NowFileTime(), OFFER_HOLD_SECONDS);
            AppendLease(record);
            PostLeasesChanged();
            WriteLog(1, "Created Temporary Lease for %.100s -> %08lx\n", shown.c_str(),
                     static_cast<unsigned long>(candidate));
            MarkLeasesDirty();
            return candidate;
        }
    } while (position != -1);
    return 0;
}
