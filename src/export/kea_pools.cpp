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

uint64_t Count(const std::vector<AddressSpan>& spans) {
    uint64_t total = 0;
    for (const AddressSpan& span : spans) total += span.size();
    return total;
}

}  // namespace

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

AddressSpan HostAddressesOf(const SubnetPrefix& subnet) {
    const uint32_t hostBits = subnet.length == 0 ? ~0u : (1u << (32 - subnet.length)) - 1;
    const uint32_t first = subnet.network & ~hostBits;
    const uint32_t last = first | hostBits;
    if (subnet.length >= 31) return {first, last};
    return {first + 1, last - 1};
}

bool SubnetHolds(const SubnetPrefix& subnet, uint32_t address) {
    const uint32_t mask = subnet.length == 0 ? 0 : ~0u << (32 - subnet.length);
    return (address & mask) == (subnet.network & mask);
}

PoolResult PoolsOf(const std::string& ranges, const std::string& exceptions, const SubnetPrefix& subnet,
                   const std::vector<uint32_t>& excluded) {
    std::vector<AddressSpan> holes = SpansOf(exceptions);
    for (uint32_t address : excluded) holes.push_back({address, address});
    holes = JoinSpans(holes);
    const std::vector<AddressSpan> offered = Subtract(SpansOf(ranges), holes);

    const AddressSpan hosts = HostAddressesOf(subnet);
    std::vector<AddressSpan> outsideHosts;
    if (hosts.first > 0) outsideHosts.push_back({0, hosts.first - 1});
    if (hosts.last < ~0u) outsideHosts.push_back({hosts.last + 1, ~0u});

    PoolResult result;
    result.pools = Subtract(offered, outsideHosts);
    result.outside = Count(offered) - Count(result.pools);
    return result;
}
