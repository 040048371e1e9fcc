#include "leases/lease_expiry.h"

#include <iterator>
#include <mutex>

#include "leases/address_index.h"
#include "leases/lease_internal.h"
#include "leases/lease_store.h"
#include "shell/clock.h"
#include "shell/leases_changed.h"
#include "shell/log.h"

void ExpireLeases() {
    const uint64_t now = NowFileTime();
    bool removed = false;
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        // The timer sweeps twice a second and every offer sweeps first; most
        // of these find nothing to do and need not walk the table.
        if (SweepCanBeSkipped(now)) return;
        uint64_t earliest = NEVER_EXPIRES;
        for (auto it = LeaseTable.begin(); it != LeaseTable.end();) {
            auto next = std::next(it);
            if (it->address == DELETED_ADDRESS) {
                WriteLog(3, "Clear Deleted Lease for %.100s -> %08lx\n", it->hostName,
                         static_cast<unsigned long>(DELETED_ADDRESS));
                RemoveLease(it);
                removed = true;
            } else if (!IsNeverExpiring(it->expiry) && it->expiry < now) {
                WriteLog(3, "Expire Lease for %.100s -> %08lx\n", it->hostName,
                         static_cast<unsigned long>(it->address));
                RemoveLease(it);
                removed = true;
            } else if (!IsNeverExpiring(it->expiry) && it->expiry < earliest) {
                earliest = it->expiry;
            }
            it = next;
        }
        SweepDone(earliest);
    }
    if (removed) {
        MarkLeasesDirty();
        PostLeasesChanged();
    }
}

void ReleaseLease(uint32_t address, size_t idLength, const uint8_t* id) {
    {
        std::lock_guard<std::recursive_mutex> guard(LeaseLock);
        static const uint8_t noBytes = 0;
        auto it = FindLeaseRecordAt(address, id ? id : &noBytes, idLength);
        if (it == LeaseTable.end()) return;
        WriteAddressLog("Release Lease for %.50s (%.50s) of %d.%d.%d.%d\n", it->hostName, FormatClientId(*it).c_str(),
                        OCTETS(address));
        RemoveLease(it);
        MarkLeasesDirty();
    }
    PostLeasesChanged();
}
