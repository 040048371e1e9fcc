// Range list items read without the per-item log line, for the lease
// database's own walks (the callers write the lines where they are due).
#pragma once

#include <cstdint>
#include <vector>

struct RangeItem {
    uint32_t low = 0xFFFFFFFFu;
    uint32_t high = 0xFFFFFFFFu;
    bool written = false;  // false for the all-ones item of an empty text or a final ","
};

// NextRange without its log line; `found` is false when no item was written.
void ReadRangeItem(const char* list, int32_t& position, uint32_t& low, uint32_t& high, bool& found);
// Every item NextRange would read from position 0, in order.
void ParseRangeItems(const char* list, std::vector<RangeItem>& items);
// The "Found Range" line NextRange writes for an item.
void LogRangeItem(uint32_t low, uint32_t high);
// The test of a requested address: the first range item holding the address
// decides, by whether an exception item holds it too. Logs like NextRange.
bool AddressInItems(uint32_t address, const char* ranges, const char* exceptions);
