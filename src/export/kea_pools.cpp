#include "export/kea_pools.h"

#include <algorithm>

#include "leases/range_items.h"

namespace {

// The written items of a list as joined runs.
std::vector<AddressSpan> SpansOf(const std::string& list) {
    std::vector<RangeItem> items;
    ParseRangeItems(list.c_str(), items);
    std::vector<AddressSpan> spans;
    for (const RangeItem& item : items) {
        if (item.written && item.low <= item.high) spans.push_back({item.low, item.high});
    }
    return JoinSpans(spans);
}

// `spans` less `holes`; both sorted and joined.
std::vector<AddressSpan> Subtract(const std::vector<AddressSpan>& spans, const std::vector<AddressSpan>& holes) {
    std::vector<AddressSpan> result;
    size_t h = 0;
    for (AddressSpan span : spans) {
        while (h < holes.size() && holes[h].last < span.first) ++h;
        bool left = true;
        for (size_t i = h; i < holes.size() && holes[i].first <= span.last; ++i) {
            if (holes[i].first > span.first) result.push_back({span.first, holes[i].first - 1});
            if (holes[i].last >= span.last) {
                left = false;
                break;
            }
            span.first = std::max(span.first, holes[i].last + 1);
        }
        if (left) result.push_back(span);
    }
    return result;
}

// The addresses of the subnet that may go to hosts: all but the network and
// broadcast addresses, which a /31 or /32 does not have.
AddressSpan HostAddressesOf(const SubnetPrefix& subnet) {
    const uint32_t hostBits = subnet.length == 0 ? ~0u : (1u << (32 - subnet.length)) - 1;
    const uint32_t first = subnet.network & ~hostBits;
    const uint32_t last = first | hostBits;
    if (subnet.length >= 31) return {first, last};
    return {first + 1, last - 1};
}

}  // namespace

uint64_t AddressCount(const std::vector<AddressSpan>& spans) {
    uint64_t total = 0;
    for (const AddressSpan& span : spans) total += span.size();
    return total;
}

std::vector<AddressSpan> JoinSpans(std::vector<AddressSpan> spans) {
    std::sort(spans.begin(), spans.end(), [](const AddressSpan& a, const AddressSpan& b) { return a.first < b.first; });
    std::vector<AddressSpan> joined;
    for (const AddressSpan& span : spans) {
        if (!joined.empty() && static_cast<uint64_t>(joined.back().last) + 1 >= span.first) {
            joined.back().last = std::max(joined.back().last, span.last);
        } else {
            joined.push_back(span);
        }
    }
    return joined;
}

int PrefixLengthOf(uint32_t mask) {
    int length = 0;
    while (length < 32 && (mask & (0x80000000u >> length))) ++length;
    const uint32_t contiguous = length == 0 ? 0 : ~0u << (32 - length);
    return mask == contiguous ? length : -1;
}

bool SubnetHolds(const SubnetPrefix& subnet, uint32_t address) {
    const uint32_t mask = subnet.length == 0 ? 0 : ~0u << (32 - subnet.length);
    return (address & mask) == (subnet.network & mask);
}

PoolResult PoolsOf(const std::string& ranges, const std::string& exceptions, const SubnetPrefix& subnet,
                   const std::vector<uint32_t>& excluded) {
    const std::vector<AddressSpan> ranged = Subtract(SpansOf(ranges), SpansOf(exceptions));
    std::vector<AddressSpan> taken;
    for (uint32_t address : excluded) taken.push_back({address, address});
    const std::vector<AddressSpan> offered = Subtract(ranged, JoinSpans(taken));

    const AddressSpan hosts = HostAddressesOf(subnet);
    std::vector<AddressSpan> outsideHosts;
    if (hosts.first > 0) outsideHosts.push_back({0, hosts.first - 1});
    if (hosts.last < ~0u) outsideHosts.push_back({hosts.last + 1, ~0u});

    PoolResult result;
    result.pools = Subtract(offered, outsideHosts);
    result.outside = AddressCount(offered) - AddressCount(result.pools);
    result.excluded = AddressCount(Subtract(ranged, outsideHosts)) - AddressCount(result.pools);
    return result;
}
