#include "settings_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "config/file_commit.h"
#include "config/profile_file.h"
#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "leases/lease_expiry.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "base/text_string.h"

namespace {

using KeyList = std::vector<std::pair<std::string, std::string>>;

constexpr int MIN_LOG_KILOBYTES = 50;
// Largest log size in kilobytes whose byte count still fits in 32 bits.
constexpr int MAX_LOG_KILOBYTES = static_cast<int>(0xFFFFFFFFu / 1024);
// Option codes are one byte: keys past option255 could never be sent.
constexpr int HIGHEST_OPTION = 255;
constexpr size_t VALUE_TEXT_MAX = 255;   // what a 256-byte read buffer holds
constexpr size_t OPTION_TEXT_MAX = 499;  // likewise for the 500-byte option buffer
constexpr int GATEWAY_SECTIONS = 100;

std::mutex path_lock;
std::string ini_path;

// Serialises every read-modify-write of the file, so that a lease save from
// the timer and a settings save never interleave and lose each other's keys.
std::mutex file_lock;
// Remembers a failed read or write so that a disk that stays broken (the
// lease timer retries every half second) logs once, not on every try.
bool last_write_failed = false;
long last_error = 0;

void ReportFailure(const char* what, const std::string& path, long error) {
    if (!last_write_failed) WriteLog(0, "%s %.200s (error %ld)\n", what, path.c_str(), error);
    last_write_failed = true;
    last_error = error;
}

std::string Cut(std::string text, size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string Dotted(uint32_t address) { return FormatAddress(address); }

bool IsUsableAddressText(const char* text) { return text[0] != '\0' && std::string(text) != "0.0.0.0"; }

uint32_t LogLimitFrom(const std::string& text) {
    int kilobytes = ReadDecimal(text);
    if (kilobytes <= MIN_LOG_KILOBYTES) kilobytes = MIN_LOG_KILOBYTES;
    if (kilobytes > MAX_LOG_KILOBYTES) kilobytes = MAX_LOG_KILOBYTES;
    return static_cast<uint32_t>(kilobytes) * 1024u;
}

std::string Decimal(long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", value);
    return text;
}

// Reads the file into the model. False when it exists but cannot be read:
// writing then would replace it with our keys alone.
bool LoadModel(const std::string& path, ProfileFile& model) {
    std::string contents;
    bool exists = false;
    long error = 0;
    if (path.empty()) return false;
    if (!ReadWholeFile(path, contents, exists, &error)) {
        ReportFailure("Cannot read", path, error);
        return false;
    }
    model.loadText(contents);
    return true;
}

bool CommitModel(const std::string& path, const ProfileFile& model) {
    long error = 0;
    if (CommitFile(path, model.saveText(), &error)) {
        last_write_failed = false;
        last_error = 0;
        return true;
    }
    ReportFailure("Cannot write", path, error);
    return false;
}

// Writes a model whose lease section was taken with TakeLeasesForSave,
// which cleared LeasesDirty: when the write fails, the flag is set again so
// that the timer's next tick tries once more instead of losing the change.
bool CommitModelWithLeases(const std::string& path, const ProfileFile& model) {
    const bool written = CommitModel(path, model);
    if (!written) LeasesDirty = true;
    return written;
}

// ---- leases ------------------------------------------------------------

// A [Leases] key: the client name and "~", then the identifier in hex. The
// name comes off the wire, so whatever could break the line or the key is
// replaced; "~" stays, since the reader splits at the last one.
std::string LeaseKey(const Lease& lease) {
    std::string key = SafeKeyName(std::string(lease.hostName, strnlen(lease.hostName, sizeof lease.hostName)));
    key += '~';
    static const char hex[] = "0123456789abcdef";
    for (uint8_t byte : lease.clientId) {
        key += hex[byte >> 4];
        key += hex[byte & 15];
    }
    return key;
}

std::string LeaseValue(const Lease& lease) {
    char text[40];
    std::snprintf(text, sizeof text, "%08" PRIx32 ".%08" PRIx32 ".%08" PRIx32, lease.address, lease.expiryHigh(),
                  lease.expiryLow());
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses one [Leases] entry. The name is what stands before the last "~"
// (identifiers are hex and never hold one). An odd trailing hex digit is
// ignored: the writer never makes one and the address and time still hold.
bool ParseLease(const std::string& key, const std::string& value, Lease& lease) {
    size_t tilde = key.rfind('~');
    if (tilde == std::string::npos) return false;

    std::vector<std::string> fields;
    TextString split(value.c_str());
    for (TextString field = split.nextToken(".", true); field.length() != 0; field = split.nextToken(".", false)) {
        fields.emplace_back(field.text());
        if (fields.size() == 3) break;
    }
    if (fields.size() < 3) return false;

    lease = Lease{};
    lease.setHostName(key.substr(0, tilde).c_str());
    std::string digits = key.substr(tilde + 1);
    std::vector<uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        // Each pair as strtoul base 16 reads it: digits up to the first other character.
        int high = HexDigit(digits[i]);
        int low = HexDigit(digits[i + 1]);
        uint8_t byte = 0;
        if (high >= 0) byte = static_cast<uint8_t>(low >= 0 ? high * 16 + low : high);
        bytes.push_back(byte);
    }
    lease.setClientId(bytes.data(), bytes.size());
    lease.address = ReadHex32(fields[0]);
    uint64_t high = ReadHex32(fields[1]);
    uint64_t low = ReadHex32(fields[2]);
    lease.expiry = (high << 32) | low;
    return true;
}

// The store copies the table in one hold of LeaseLock; a save (clearDirty)
// clears LeasesDirty in that same hold.
KeyList LeaseKeys(bool clearDirty) {
    const std::vector<Lease> leases = clearDirty ? TakeLeasesForSave() : SnapshotLeases();
    KeyList keys;
    keys.reserve(leases.size());
    for (const Lease& lease : leases) keys.emplace_back(LeaseKey(lease), LeaseValue(lease));
    return keys;
}

// ---- reservations ------------------------------------------------------

bool IsHardwareAddressText(const std::string& text) {
    if (text.size() != 17) return false;
    for (size_t p = 0; p < text.size(); ++p) {
        if (p % 3 == 2) {
            if (text[p] != '-') return false;
        } else if (HexDigit(text[p]) < 0) {
            return false;
        }
    }
    return true;
}

Reservation ParseReservation(const std::string& key, const std::string& value) {
    Reservation reservation;
    std::string text;
    if (key.compare(0, 3, "@M-") == 0) {
        reservation.kind = ByHardwareAddress;
        text = key.substr(3);
    } else if (key.compare(0, 3, "@H-") == 0) {
        reservation.kind = ByHostName;
        text = key.substr(3);
    } else {
        text = key;
        reservation.kind = IsHardwareAddressText(key) ? ByHardwareAddress : ByHostName;
    }
    reservation.setKey(text.c_str());
    reservation.address = ParseAddress(value.c_str());
    if (reservation.address == NO_RESERVED_ADDRESS) reservation.addressText = value;
    return reservation;
}

KeyList ReservationKeys() {
    KeyList keys;
    for (const Reservation& reservation : SnapshotReservations()) {
        std::string text(reservation.key, strnlen(reservation.key, sizeof reservation.key));
        std::string key = (reservation.kind == ByHardwareAddress ? "@M-" : "@H-") + SafeKeyName(Cut(text, 90));
        const bool unparsed = reservation.address == NO_RESERVED_ADDRESS && !reservation.addressText.empty();
        keys.emplace_back(key, unparsed ? SafeValue(reservation.addressText) : Dotted(reservation.address));
    }
    return keys;
}

// ---- settings ----------------------------------------------------------

void ApplySettings(ProfileFile& file) {
    std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    file.setString("Logging", "MainLogSize", Decimal(static_cast<long>(MainLogLimit() / 1024)));
    file.setString("Logging", "AddressLogSize", Decimal(static_cast<long>(AddressLogLimit() / 1024)));
    if (IsUsableAddressText(settings->IPAddress)) {
        file.setString("Server", "IPAddress", SafeValue(settings->IPAddress));
        file.setString("Server", "Ranges", SafeValue(GatewayRanges(LOCAL_GATEWAY)));
        file.setString("Server", "Exceptions", SafeValue(GatewayExceptions(LOCAL_GATEWAY)));
    }
    if (IsUsableAddressText(settings->SubnetMask)) file.setString("Server", "SubnetMask", SafeValue(settings->SubnetMask));
    file.setString("Server", "DNSServer", SafeValue(settings->DNSServer));
    file.setString("Server", "WINSServer", SafeValue(settings->WINSServer));
    file.setString("Server", "Routers", SafeValue(settings->Routers));
    file.setString("Server", "DomainName", SafeValue(settings->DomainName));
    file.setString("Server", "NextBootServer", SafeValue(settings->NextBootServer));
    file.setString("Server", "BootFile", SafeValue(settings->BootFile));
    file.setString("Server", "LeaseTime", Decimal(static_cast<long>(static_cast<int32_t>(settings->LeaseTime))));
    file.setString("Server", "AutoRefresh", settings->AutoRefresh ? "Yes" : "No");
}

void LoadFromModel(const ProfileFile& file);

// The servers' own addresses may not be handed out. An entry that doesn't
// parse (a template such as "%1.%2.%3.53", or junk) is passed over: as
// 255.255.255.255 it excludes nothing, and a range reaching that far would
// otherwise take it into the exceptions again at every start.
void AddServerExceptions(const std::string& list) {
    TextString tokens(list.c_str());
    for (TextString token = tokens.nextToken(" ,;", true); token.length() != 0; token = tokens.nextToken(" ,;", false))
        if (ParseAddress(token.text()) != ADDRESS_NONE) AddAddressExceptions(LOCAL_GATEWAY, token.text());
}

std::string CurrentIniPath() {
    std::lock_guard<std::mutex> guard(path_lock);
    return ini_path;
}

}  // namespace

void SetIniPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(path_lock);
    ini_path = path;
}

std::string IniPath() { return CurrentIniPath(); }

void loadSettings() {
    ProfileFile file;
    {
        std::lock_guard<std::mutex> guard(file_lock);
        LoadModel(CurrentIniPath(), file);  // a file that can't be read reads as all defaults
    }
    LoadFromModel(file);
}

void loadSettingsFromText(const std::string& text) {
    ProfileFile file;
    file.loadText(text);
    LoadFromModel(file);
}

std::string SettingsFileText(const std::string& previous) {
    ProfileFile file;
    file.loadText(previous);
    ApplySettings(file);
    file.replaceSection("Leases", LeaseKeys(false));
    file.replaceSection("Reservations", ReservationKeys());
    return file.saveText();
}

namespace {

// Sections that every save rewrites whole, dropping any later section of
// the same name: a stale copy kept in the file would bring its entries back
// once the first is gone.
bool IsRewrittenSection(const std::string& name) { return EqualNoCase(name, "Leases") || EqualNoCase(name, "Reservations"); }

// A later section with the name of an earlier one is never read (a lookup
// finds the first); say so, since it may hold what the administrator meant.
// A damaged file may hold thousands: the lines stop after a hundred.
void ReportDuplicateSections(const ProfileFile& file) {
    constexpr unsigned MAX_LINES = 100;
    std::unordered_set<std::string> seen;
    unsigned duplicates = 0;
    for (const std::string& name : file.sectionNames()) {
        std::string folded = name;
        for (char& c : folded) c = FoldAsciiCase(c);
        if (seen.insert(folded).second) continue;
        if (++duplicates > MAX_LINES) continue;
        WriteLog(0, "Section [%.50s] appears again in NIMBO.INI: the later one is ignored%s\n", name.c_str(),
                 IsRewrittenSection(name) ? " and will be dropped at the next save" : "");
    }
    if (duplicates > MAX_LINES)
        WriteLog(0, "%u more repeated sections in NIMBO.INI are ignored\n", duplicates - MAX_LINES);
}

// loadSettings after the file is read: every step in the file's order.
void LoadFromModel(const ProfileFile& file) {
    ReportDuplicateSections(file);
    SetMainLogLimit(LogLimitFrom(file.getString("Logging", "MainLogSize", "1000")));
    SetAddressLogLimit(LogLimitFrom(file.getString("Logging", "AddressLogSize", "100")));

    std::string ranges;
    std::string dnsServer, ipAddress, winsServer, routers;
    UpdateSettings([&](ServerSettings& s) {
        CopySetting(s.IPAddress, Cut(file.getString("Server", "IPAddress", s.IPAddress), VALUE_TEXT_MAX).c_str());
        WriteLog(1, "Local IP Address = %.100s\n", s.IPAddress);
        DeriveAddressFields(s);

        CopySetting(s.NextBootServer, Cut(file.getString("Server", "NextBootServer", ""), VALUE_TEXT_MAX).c_str());
        CopySetting(s.BootFile, file.getString("Server", "BootFile", "").c_str());

        CopySetting(s.SubnetMask, Cut(file.getString("Server", "SubnetMask", s.SubnetMask), VALUE_TEXT_MAX).c_str());
        WriteLog(1, "Subnet Mask = %.100s\n", s.SubnetMask);
        CopySetting(s.DNSServer, Cut(file.getString("Server", "DNSServer", s.DNSServer), VALUE_TEXT_MAX).c_str());
        WriteLog(1, "DNS Server = %.100s\n", s.DNSServer);
        CopySetting(s.WINSServer, Cut(file.getString("Server", "WINSServer", s.WINSServer), VALUE_TEXT_MAX).c_str());
        WriteLog(1, "WINS Server = %.100s\n", s.WINSServer);
        CopySetting(s.Routers, Cut(file.getString("Server", "Routers", s.Routers), VALUE_TEXT_MAX).c_str());
        WriteLog(1, "Routers = %.100s\n", s.Routers);
        CopySetting(s.DomainName, Cut(file.getString("Server", "DomainName", s.DomainName), VALUE_TEXT_MAX).c_str());

        s.LeaseTime = static_cast<uint32_t>(file.getInt("Server", "LeaseTime", static_cast<int32_t>(DEFAULT_LEASE_TIME)));
        s.BindToAll = file.getInt("Server", "BindToAll", 0) != 0;

        // The table is indexed by a one-byte option code: a negative
        // MaxOption reads no option, a larger one than 255 reads up to 255.
        int32_t maxOption = file.getInt("Options", "MaxOption", DEFAULT_MAX_OPTION);
        if (maxOption > HIGHEST_OPTION) maxOption = HIGHEST_OPTION;
        s.userOptions.assign(maxOption < 0 ? 0 : static_cast<size_t>(maxOption) + 1, std::string());
        for (int32_t n = 0; n <= maxOption; ++n)
            s.userOptions[static_cast<size_t>(n)] =
                Cut(file.getString("Options", "option" + std::to_string(n), ""), OPTION_TEXT_MAX);

        std::string autoRefresh = file.getString("Server", "AutoRefresh", "Yes");
        s.AutoRefresh = !autoRefresh.empty() && (autoRefresh[0] == 'y' || autoRefresh[0] == 'Y');

        DeriveAddressFields(s);
        uint32_t first = (s.serverAddress & s.subnetMask) + 1;
        uint32_t last = (s.serverAddress | ~s.subnetMask) - 1;
        ranges = Dotted(first) + "-" + Dotted(last);
        dnsServer = s.DNSServer;
        ipAddress = s.IPAddress;
        winsServer = s.WINSServer;
        routers = s.Routers;
    });

    ranges = file.getString("Server", "Ranges", ranges);
    WriteLog(3, "Address Ranges = %.100s\n", ranges.c_str());
    SetGatewayRanges(LOCAL_GATEWAY, ranges.c_str());
    const std::string exceptions = file.getString("Server", "Exceptions", "");
    SetGatewayExceptions(LOCAL_GATEWAY, exceptions.c_str());
    ReportUnusableRangeItems(ranges.c_str(), "Server", "Ranges");
    ReportUnusableRangeItems(exceptions.c_str(), "Server", "Exceptions");
    for (const std::string* list : {&dnsServer, &ipAddress, &winsServer, &routers}) AddServerExceptions(*list);
    WriteLog(3, "Exceptions = %.100s\n", GatewayExceptions(LOCAL_GATEWAY).c_str());

    std::map<uint32_t, GatewaySettings> gatewaySettings;
    for (int n = 0; n < GATEWAY_SECTIONS; ++n) {
        std::string section = "GW" + std::to_string(n);
        std::string gateway = Cut(file.getString(section, "Gateway", ""), VALUE_TEXT_MAX);
        if (gateway.empty()) continue;
        uint32_t key = ParseAddress(gateway.c_str());
        if (key == 0) continue;
        const std::string gatewayRanges = file.getString(section, "Ranges", "");
        const std::string gatewayExceptions = file.getString(section, "Exceptions", "");
        SetGatewayRanges(key, gatewayRanges.c_str());
        SetGatewayExceptions(key, gatewayExceptions.c_str());
        ReportUnusableRangeItems(gatewayRanges.c_str(), section.c_str(), "Ranges");
        ReportUnusableRangeItems(gatewayExceptions.c_str(), section.c_str(), "Exceptions");
        // Like the ranges, a later section of the same relay agent replaces
        // an earlier one's settings.
        GatewaySettings own;
        CopySetting(own.SubnetMask, Cut(file.getString(section, "SubnetMask", ""), VALUE_TEXT_MAX).c_str());
        CopySetting(own.Routers, Cut(file.getString(section, "Routers", ""), VALUE_TEXT_MAX).c_str());
        gatewaySettings.erase(key);
        if (own.SubnetMask[0] || own.Routers[0]) {
            WriteLog(3, "%.10s Subnet Mask = %.100s, Routers = %.100s\n", section.c_str(), own.SubnetMask, own.Routers);
            gatewaySettings[key] = own;
        }
    }
    UpdateSettings([&](ServerSettings& s) { s.gatewaySettings = gatewaySettings; });

    // Every key is loaded, however many. Of keys that differ only in case
    // the first stands (a lookup by name reaches no other), and a key with
    // an empty name is passed over.
    for (const auto& [key, rawValue] : file.entries("Reservations")) {
        std::string value = Cut(rawValue, VALUE_TEXT_MAX);
        Reservation reservation = ParseReservation(key, value);
        AppendReservation(reservation);
        WriteLog(3, "Reserve: (%d) %.100s -> %.100s\n", static_cast<int>(reservation.kind), key.c_str(), value.c_str());
        if (reservation.address == NO_RESERVED_ADDRESS)
            WriteLog(0, "Reservation %.100s has no valid address (%.100s) - not used\n", key.c_str(), value.c_str());
    }

    for (const auto& [key, rawValue] : file.entries("Leases")) {
        Lease lease;
        if (!ParseLease(key, Cut(rawValue, VALUE_TEXT_MAX), lease)) continue;
        AppendLease(lease);
        std::string id = FormatClientId(lease.clientId.data(), lease.clientId.size());
        uint32_t a = lease.address;
        const std::string shown = LogText(lease.hostName);
        WriteAddressLog("Restore Lease for %.50s (%.50s) of %d.%d.%d.%d\n", shown.c_str(), id.c_str(),
                        static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 255), static_cast<int>((a >> 8) & 255),
                        static_cast<int>(a & 255));
        WriteLog(3, "Active Lease: %.100s -> %d.%d.%d.%d\n", shown.c_str(), static_cast<int>(a >> 24),
                 static_cast<int>((a >> 16) & 255), static_cast<int>((a >> 8) & 255), static_cast<int>(a & 255));
    }

    ExpireLeases();
}

}  // namespace

bool saveSettings() {
    std::lock_guard<std::mutex> guard(file_lock);
    std::string path = CurrentIniPath();
    ProfileFile file;
    if (!LoadModel(path, file)) return false;
    ApplySettings(file);
    file.replaceSection("Leases", LeaseKeys(true));
    file.replaceSection("Reservations", ReservationKeys());
    return CommitModelWithLeases(path, file);
}

bool saveReservations() {
    std::lock_guard<std::mutex> guard(file_lock);
    std::string path = CurrentIniPath();
    ProfileFile file;
    if (!LoadModel(path, file)) return false;
    file.replaceSection("Reservations", ReservationKeys());
    return CommitModel(path, file);
}

bool saveLeases() {
    std::lock_guard<std::mutex> guard(file_lock);
    std::string path = CurrentIniPath();
    ProfileFile file;
    if (!LoadModel(path, file)) return false;
    file.replaceSection("Leases", LeaseKeys(true));
    return CommitModelWithLeases(path, file);
}

long LastSaveError() {
    std::lock_guard<std::mutex> guard(file_lock);
    return last_error;
}
