// The address pools of a Kea subnet, made from one segment's range and
// exception lists: what the server would hand out on that segment, as
// whole runs of addresses inside the subnet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A run of addresses, both ends included, host order.
struct AddressSpan {
    uint32_t first = 0;
    uint32_t last = 0;
    uint64_t size() const { return static_cast<uint64_t>(last) - first + 1; }
};

// A subnet as Kea takes it: network address and prefix length.
struct SubnetPrefix {
    uint32_t network = 0;  // host order
    int length = 0;        // 0 to 32
};

// The prefix length of a mask whose ones all stand before its zeros (-1
// for any other mask, which names no subnet).
int PrefixLengthOf(uint32_t mask);
bool SubnetHolds(const SubnetPrefix& subnet, uint32_t address);

// The runs sorted, with overlapping and adjacent ones joined.
std::vector<AddressSpan> JoinSpans(std::vector<AddressSpan> spans);
// How many addresses the runs hold.
uint64_t AddressCount(const std::vector<AddressSpan>& spans);

struct PoolResult {
    std::vector<AddressSpan> pools;  // ascending, neither touching nor overlapping
    uint64_t outside = 0;            // addresses of the ranges, less exceptions, outside the subnet's hosts
    uint64_t excluded = 0;           // addresses the `excluded` list took out of the pools
};

// The addresses in an item of `ranges` and in no item of `exceptions` (both
// range list texts as NIMBO.INI holds them), less the `excluded` addresses,
// cut to the subnet's host addresses. An item whose high end is below its
// low end holds nothing; an empty text holds nothing.
PoolResult PoolsOf(const std::string& ranges, const std::string& exceptions, const SubnetPrefix& subnet,
                   const std::vector<uint32_t>& excluded);
