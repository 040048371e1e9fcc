// ServerSettings: the one process-wide configuration record.
//
// Thread safety: the record is published as an immutable snapshot. Readers
// (the server thread, once per datagram) take CurrentSettings() and keep that
// consistent copy for the whole message; the main thread changes fields with
// UpdateSettings(), which edits a private copy and publishes it in one step.
// A reader therefore never sees a half-written text, and a reply never mixes
// two configurations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "leases/lease_store.h"  // UNLIMITED_LEASE_TIME

constexpr size_t SETTING_TEXT_SIZE = 256;
constexpr size_t BOOT_FILE_SIZE = 128;
constexpr uint32_t DEFAULT_LEASE_TIME = 259200;   // three days
constexpr int DEFAULT_MAX_OPTION = 100;

// What the clients behind one relay agent get instead of the server's own
// settings ([GWn] SubnetMask and Routers). An empty text keeps the server's
// setting; address templates in them are relative to the relay agent's
// address.
struct GatewaySettings {
    char SubnetMask[SETTING_TEXT_SIZE] = {};
    char Routers[SETTING_TEXT_SIZE] = {};
};

struct ServerSettings {
    char IPAddress[SETTING_TEXT_SIZE] = {};
    uint32_t serverAddress = 0;     // host order
    uint32_t serverAddressNet = 0;  // network order, for the socket bind
    char SubnetMask[SETTING_TEXT_SIZE] = {};
    uint32_t subnetMask = 0;        // host order
    char DNSServer[SETTING_TEXT_SIZE] = {};
    char WINSServer[SETTING_TEXT_SIZE] = {};
    char Routers[SETTING_TEXT_SIZE] = {};
    char DomainName[SETTING_TEXT_SIZE] = {};
    char NextBootServer[SETTING_TEXT_SIZE] = {};
    char BootFile[BOOT_FILE_SIZE] = {};
    uint32_t LeaseTime = 0;         // seconds; UNLIMITED_LEASE_TIME = never expires
    bool BindToAll = false;
    bool AutoRefresh = false;
    // Indexed by option code, MaxOption + 1 entries; empty = not configured.
    std::vector<std::string> userOptions;
    // By gateway key (the relay agent's address, host order); only relay
    // agents whose section sets SubnetMask or Routers have an entry.
    std::map<uint32_t, GatewaySettings> gatewaySettings;
    bool isNT = false;
};

// Copies text into a fixed field, cutting it so the field always ends with a
// zero byte.
template <size_t N>
void CopySetting(char (&field)[N], const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    if (n > N - 1) n = N - 1;
    if (n) std::memcpy(field, text, n);
    field[n] = '\0';
}

// Consistent snapshot of the record; never null.
std::shared_ptr<const ServerSettings> CurrentSettings();

// Applies edit to a copy of the current record and publishes the result.
// Writers are serialised; readers holding an older snapshot keep it.
void UpdateSettings(const std::function<void(ServerSettings&)>& edit);

// Back to the empty record of a process that has loaded nothing (tests).
void ResetSettings();

// Sets the three numeric address fields from the IPAddress and SubnetMask texts.
void DeriveAddressFields(ServerSettings& settings);
