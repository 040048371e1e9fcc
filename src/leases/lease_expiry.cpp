#include "leases/lease_expiry.h"

#include <mutex>

#include "leases/lease_internal.h"
#include "leases/lease_store.h"
#include "base/clock.h"
#include "leases/leases_changed.h"
#include "base/log.h"

void ExpireLeases() {
    const uint64_t now = NowFileTime();
    if (SweepLeaseTable(now)) {
        MarkLeasesDirty();
        PostLeasesChanged();
    }
}

void ReleaseLease(uint32_t address, const ClientIdentity& client) {
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        static const uint8_t noBytes = 0;
        auto it = FindClientLeaseAt(address, client.id ? client.id : &noBytes, client.idLength);
        if (!IsLeaseRecord(it)) return;
        WriteAddressLog("Release Lease for %.50s (%.50s) of %d.%d.%d.%d\n", LogText(it->hostName).c_str(),
                        FormatClientId(*it).c_str(), OCTETS(address));
        RemoveLease(it);
        MarkLeasesDirty();
    }
    PostLeasesChanged();
}
