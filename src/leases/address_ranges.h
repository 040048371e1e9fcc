// Address ranges and exceptions per gateway. LOCAL_GATEWAY (0) is the
// server's own network; a relay agent's key is its giaddr in host order.
// Both tables are guarded by LeaseLock; every function here takes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "shell/text_string.h"

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
void AddAddressExceptions(uint32_t gateway, const char* list);

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
