// Address ranges and exceptions per gateway. LOCAL_GATEWAY (0) is the
// server's own network; a relay agent's key is its giaddr in host order.
// Both tables are guarded by LeaseLock; every function here takes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/text_string.h"

constexpr uint32_t LOCAL_GATEWAY = 0;

extern std::map<uint32_t, TextString> RangeTable;      // guarded by LeaseLock
extern std::map<uint32_t, TextString> ExceptionTable;  // guarded by LeaseLock

// Reads the next item of a range list: low and high in host order (both
// 0xFFFFFFFF for a text without items), position -1 after the last item.
void NextRange(const char* list, int32_t& position, uint32_t& low, uint32_t& high);

// Copies out the gateway's range and exception texts; false when the
// gateway has no range entry.
bool GetRangesForGateway(uint32_t gateway, TextString& ranges, TextString& exceptions);
bool IsAddressInRanges(uint32_t address, uint32_t gateway);
// True when the gateway has a range entry: the server's own (0), or a relay
// agent that a [GWn] section names (even with empty Ranges). No log lines.
bool IsKnownGateway(uint32_t gateway);
// The segment test: true when one of the gateway's range items holds the
// address, whatever its exceptions say; false for a gateway without ranges.
// No log lines.
bool AddressInGatewayRanges(uint32_t address, uint32_t gateway);
void AddAddressExceptions(uint32_t gateway, const char* list);

// Writes one level 0 line for each item of a range list (the `key` of
// `section` in NIMBO.INI) that cannot serve as written: a bound that does
// not parse, which reads as 255.255.255.255, or a high end below the low
// end, which leaves the item without an address. The lines name the item
// as written. For the loader; the tables are not touched.
void ReportUnusableRangeItems(const char* list, const char* section, const char* key);

// Write access by key (creating the entry when missing).
void SetGatewayRanges(uint32_t gateway, const char* ranges);
void SetGatewayExceptions(uint32_t gateway, const char* exceptions);
// Both texts of a gateway in one step, so that no reader sees the new ranges
// with the old exceptions.
void SetGatewayTables(uint32_t gateway, const char* ranges, const char* exceptions);
// Read access by key for the writers; the entry is created empty when missing.
std::string GatewayRanges(uint32_t gateway);
std::string GatewayExceptions(uint32_t gateway);
void ClearRangeTables();
// The keys of every gateway with a range entry, ascending (LOCAL_GATEWAY
// first when it has one).
std::vector<uint32_t> ServedGateways();
