#include "leases/address_ranges.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "leases/lease_store.h"
#include "leases/range_items.h"
#include "base/ip_address.h"
#include "base/log.h"

std::map<uint32_t, TextString> RangeTable;
std::map<uint32_t, TextString> ExceptionTable;

namespace {
// Longest item text that is parsed; the rest of a longer item is skipped.
constexpr size_t MAX_ITEM = 999;
}  // namespace

void ReadRangeItem(const char* list, int32_t& position, uint32_t& low, uint32_t& high, bool& found) {
    low = high = 0xFFFFFFFFu;
    found = false;
    if (!list || position < 0) {
        position = -1;
        return;
    }
    const size_t length = std::strlen(list);
    size_t pos = static_cast<size_t>(position);
    if (pos > length) pos = length;
    for (;;) {
        size_t end = pos;
        while (end < length && list[end] != ',') ++end;
        if (end == pos) {
            if (end >= length) {
                position = -1;
                return;
            }
            pos = end + 1;  // an empty item: step over its ","
            continue;
        }
        size_t size = end - pos;
        if (size > MAX_ITEM) size = MAX_ITEM;
        char item[MAX_ITEM + 1];
        std::memcpy(item, list + pos, size);
        item[size] = '\0';
        if (char* dash = std::strchr(item, '-')) {
            *dash = '\0';
            low = ParseAddress(item);
            high = ParseAddress(dash + 1);
        } else {
            low = high = ParseAddress(item);
        }
        found = true;
        position = end >= length ? -1 : static_cast<int32_t>(end);
        return;
    }
}

void ParseRangeItems(const char* list, std::vector<RangeItem>& items) {
    items.clear();
    int32_t position = 0;
    do {
        RangeItem item;
        ReadRangeItem(list, position, item.low, item.high, item.written);
        items.push_back(item);
    } while (position != -1);
}

void LogRangeItem(uint32_t low, uint32_t high) {
    WriteLog(3, "Found Range - %08lx - %08lx\n", static_cast<unsigned long>(low), static_cast<unsigned long>(high));
}

void NextRange(const char* list, int32_t& position, uint32_t& low, uint32_t& high) {
    bool found;
    ReadRangeItem(list, position, low, high, found);
    if (found) LogRangeItem(low, high);
}

bool IsKnownGateway(uint32_t gateway) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return RangeTable.count(gateway) != 0;
}

bool GetRangesForGateway(uint32_t gateway, TextString& ranges, TextString& exceptions) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto range = RangeTable.find(gateway);
    if (range == RangeTable.end()) {
        WriteLog(0, "Not found Ranges for gateway %08lx\n", static_cast<unsigned long>(gateway));
        return false;
    }
    ranges = range->second.text();
    auto exception = ExceptionTable.find(gateway);
    exceptions = exception == ExceptionTable.end() ? "" : exception->second.text();
    WriteLog(3, "Found Ranges for gateway %08lx\n", static_cast<unsigned long>(gateway));
    return true;
}

bool AddressInItems(uint32_t address, const char* ranges, const char* exceptions) {
    int32_t position = 0;
    do {
        uint32_t low, high;
        NextRange(ranges, position, low, high);
        if (low <= address && address <= high) {
            int32_t inner = 0;
            do {
                NextRange(exceptions, inner, low, high);
                if (low <= address && address <= high) return false;
            } while (inner != -1);
            return true;
        }
    } while (position != -1);
    return false;
}

bool AddressInGatewayRanges(uint32_t address, uint32_t gateway) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    auto range = RangeTable.find(gateway);
    if (range == RangeTable.end()) return false;
    int32_t position = 0;
    do {
        RangeItem item;
        ReadRangeItem(range->second.text(), position, item.low, item.high, item.written);
        if (item.written && item.low <= address && address <= item.high) return true;
    } while (position != -1);
    return false;
}

bool IsAddressInRanges(uint32_t address, uint32_t gateway) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    TextString ranges, exceptions;
    if (!GetRangesForGateway(gateway, ranges, exceptions)) {
        WriteLog(0, "No valid range for gateway %08lx\n", static_cast<unsigned long>(gateway));
        return false;
    }
    return AddressInItems(address, ranges.text(), exceptions.text());
}

void AddAddressExceptions(uint32_t gateway, const char* list) {
    TextString tokens(list ? list : "");
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    bool restart = true;
    for (;;) {
        TextString token = tokens.nextToken(" ,;", restart);
        restart = false;
        if (token.length() == 0) break;
        // A token that doesn't parse (junk, or an address template) reads as
        // 255.255.255.255, which the walk never offers; in a range that
        // reaches that far it would only put the junk into the exceptions.
        const uint32_t address = ParseAddress(token.text());
        if (address == ADDRESS_NONE || !IsAddressInRanges(address, gateway)) continue;
        TextString& exceptions = ExceptionTable[gateway];
        if (exceptions.length() != 0) exceptions.append(',');
        exceptions.append(token.text());
    }
}

void ReportUnusableRangeItems(const char* list, const char* section, const char* key) {
    constexpr unsigned MAX_LINES = 100;  // a damaged list may hold thousands
    const std::string text = list ? list : "";
    unsigned unusable = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        // Cut where the reader cuts, so that the bounds are the ones it reads.
        const std::string item = text.substr(start, std::min(end - start, MAX_ITEM));
        start = end + 1;
        if (item.empty()) continue;
        const size_t dash = item.find('-');
        const std::string lowText = item.substr(0, dash);
        const std::string highText = dash == std::string::npos ? lowText : item.substr(dash + 1);
        uint32_t low, high;
        const bool lowParsed = TryParseAddress(lowText.c_str(), low);
        const bool highParsed = TryParseAddress(highText.c_str(), high);
        if ((lowParsed && highParsed && low <= high) || ++unusable > MAX_LINES) continue;
        if (!lowParsed || !highParsed) {
            WriteLog(0, "%.20s item \"%.100s\" in [%.20s]: \"%.100s\" is not an address and reads as 255.255.255.255\n",
                     key, item.c_str(), section, (lowParsed ? highText : lowText).c_str());
        } else {
            WriteLog(0, "%.20s item \"%.100s\" in [%.20s] holds no address: its high end reads as %.20s, below its low end\n",
                     key, item.c_str(), section, FormatAddress(high).c_str());
        }
    }
    if (unusable > MAX_LINES) WriteLog(0, "%u more unusable %.20s items in [%.20s]\n", unusable - MAX_LINES, key, section);
}

void SetGatewayRanges(uint32_t gateway, const char* ranges) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    RangeTable[gateway] = ranges ? ranges : "";
}

void SetGatewayExceptions(uint32_t gateway, const char* exceptions) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    ExceptionTable[gateway] = exceptions ? exceptions : "";
}

void SetGatewayTables(uint32_t gateway, const char* ranges, const char* exceptions) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    RangeTable[gateway] = ranges ? ranges : "";
    ExceptionTable[gateway] = exceptions ? exceptions : "";
}

std::string GatewayRanges(uint32_t gateway) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return RangeTable[gateway].text();
}

std::string GatewayExceptions(uint32_t gateway) {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    return ExceptionTable[gateway].text();
}

void ClearRangeTables() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    RangeTable.clear();
    ExceptionTable.clear();
}

std::vector<uint32_t> ServedGateways() {
    std::lock_guard<std::recursive_mutex> guard(LeaseLock);
    std::vector<uint32_t> keys;
    for (const auto& entry : RangeTable) keys.push_back(entry.first);
    return keys;
}
