#include "settings_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
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
    if (!ReadProgramFile(path, contents, exists, &error)) {
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

// A key of the file as a table row's read sees it.
struct FileKey {
    const ProfileFile& file;
    const char* section;
    const char* name;
    const char* shownAs;  // the load names the value in a log line so; nullptr: no line

    std::string text(std::string_view absent) const { return file.getString(section, name, absent); }
    int32_t number(int32_t absent) const { return file.getInt(section, name, absent); }
    void show(const char* value) const {
        if (shownAs) WriteLog(1, "%s = %.100s\n", shownAs, value);
    }
};

// The text a save writes for a key; nullopt leaves the file's line as it stands.
using Written = std::optional<std::string>;

// One key of a settings section, so that a key lives in one place for the
// load and the save. The load reads the keys in the table's order (the
// order of its log lines); a save writes them in that order, which is where
// the keys a file lacks are added.
struct SettingKey {
    const char* name;
    const char* shownAs;                                   // see FileKey
    void (*read)(ServerSettings& s, const FileKey& key);  // nullptr: read with the address ranges
    Written (*write)(const ServerSettings& s);             // nullptr: never written back
};

struct SettingsSection {
    const char* name;
    std::vector<SettingKey> keys;
};

using S = ServerSettings;

// A text that keeps the record's value when the file lacks the key (what the
// adapter discovery found, or what the properties window set).
template <auto Field>
void ReadHeldText(S& s, const FileKey& key) {
    CopySetting(s.*Field, key.text(s.*Field).c_str());
    key.show(s.*Field);
}

// A text that is empty when the file lacks the key.
template <auto Field>
void ReadText(S& s, const FileKey& key) {
    CopySetting(s.*Field, key.text("").c_str());
    key.show(s.*Field);
}

template <auto Field>
Written WriteText(const S& s) {
    return SafeValue(s.*Field);
}

// An address that is not yet one (empty or 0.0.0.0) leaves the file's value.
template <auto Field>
Written WriteAddressText(const S& s) {
    if (!IsUsableAddressText(s.*Field)) return std::nullopt;
    return SafeValue(s.*Field);
}

// The local gateway's lists, which belong to the server address: written
// only while there is one.
template <std::string (*List)(uint32_t)>
Written WriteLocalList(const S& s) {
    if (!IsUsableAddressText(s.IPAddress)) return std::nullopt;
    return SafeValue(List(LOCAL_GATEWAY));
}

// The settings sections. [Logging] sets the log module's limits rather than
// the record.
const SettingsSection SETTINGS_SECTIONS[] = {
    {"Logging",
     {
         {"MainLogSize", nullptr, [](S&, const FileKey& key) { SetMainLogLimit(LogLimitFrom(key.text("1000"))); },
          [](const S&) -> Written { return Decimal(static_cast<long>(MainLogLimit() / 1024)); }},
         {"AddressLogSize", nullptr, [](S&, const FileKey& key) { SetAddressLogLimit(LogLimitFrom(key.text("100"))); },
          [](const S&) -> Written { return Decimal(static_cast<long>(AddressLogLimit() / 1024)); }},
     }},
    {"Server",
     {
         {"IPAddress", "Local IP Address", ReadHeldText<&S::IPAddress>, WriteAddressText<&S::IPAddress>},
         {"Ranges", nullptr, nullptr, WriteLocalList<&GatewayRanges>},
         {"Exceptions", nullptr, nullptr, WriteLocalList<&GatewayExceptions>},
         {"SubnetMask", "Subnet Mask", ReadHeldText<&S::SubnetMask>, WriteAddressText<&S::SubnetMask>},
         {"DNSServer", "DNS Server", ReadHeldText<&S::DNSServer>, WriteText<&S::DNSServer>},
         {"WINSServer", "WINS Server", ReadHeldText<&S::WINSServer>, WriteText<&S::WINSServer>},
         {"Routers", "Routers", ReadHeldText<&S::Routers>, WriteText<&S::Routers>},
         {"DomainName", nullptr, ReadHeldText<&S::DomainName>, WriteText<&S::DomainName>},
         {"NextBootServer", nullptr, ReadText<&S::NextBootServer>, WriteText<&S::NextBootServer>},
         {"BootFile", nullptr, ReadText<&S::BootFile>, WriteText<&S::BootFile>},
         {"LeaseTime", nullptr,
          [](S& s, const FileKey& key) {
              s.LeaseTime = static_cast<uint32_t>(key.number(static_cast<int32_t>(DEFAULT_LEASE_TIME)));
          },
          [](const S& s) -> Written { return Decimal(static_cast<int32_t>(s.LeaseTime)); }},
         {"AutoRefresh", nullptr,
          [](S& s, const FileKey& key) {
              const std::string text = key.text("Yes");
              s.AutoRefresh = !text.empty() && (text[0] == 'y' || text[0] == 'Y');
          },
          [](const S& s) -> Written { return std::string(s.AutoRefresh ? "Yes" : "No"); }},
         // The administrator's alone: the properties window has no field for it.
         {"BindToAll", nullptr, [](S& s, const FileKey& key) { s.BindToAll = key.number(0) != 0; }, nullptr},
     }},
};

void ReadSettingKeys(const ProfileFile& file, ServerSettings& settings) {
    for (const SettingsSection& section : SETTINGS_SECTIONS)
        for (const SettingKey& key : section.keys)
            if (key.read) key.read(settings, FileKey{file, section.name, key.name, key.shownAs});
}

void WriteSettingKeys(ProfileFile& file) {
    std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    for (const SettingsSection& section : SETTINGS_SECTIONS) {
        for (const SettingKey& key : section.keys) {
            if (!key.write) continue;
            if (Written value = key.write(*settings)) file.setString(section.name, key.name, *value);
        }
    }
}

// [Options]: option0 to optionN, N = MaxOption. The table is indexed by a
// one-byte option code: a negative MaxOption reads no option, a larger one
// than 255 reads up to 255.
void ReadUserOptions(const ProfileFile& file, ServerSettings& s) {
    int32_t maxOption = file.getInt("Options", "MaxOption", DEFAULT_MAX_OPTION);
    if (maxOption > HIGHEST_OPTION) maxOption = HIGHEST_OPTION;
    s.userOptions.assign(maxOption < 0 ? 0 : static_cast<size_t>(maxOption) + 1, std::string());
    for (int32_t n = 0; n <= maxOption; ++n)
        s.userOptions[static_cast<size_t>(n)] =
            Cut(file.getString("Options", "option" + std::to_string(n), ""), OPTION_TEXT_MAX);
}

// The servers' own addresses may not be handed out. An entry that doesn't
// parse (a template such as "%1.%2.%3.53", or junk) is passed over: as
// 255.255.255.255 it excludes nothing, and a range reaching that far would
// otherwise take it into the exceptions again at every start.
void AddServerExceptions(const char* list) {
    TextString tokens(list);
    for (TextString token = tokens.nextToken(" ,;", true); token.length() != 0; token = tokens.nextToken(" ,;", false))
        if (ParseAddress(token.text()) != ADDRESS_NONE) AddAddressExceptions(LOCAL_GATEWAY, token.text());
}

// The ranges (read by the caller) and Exceptions of [Server] or of a relay
// agent's [GWn] section into the gateway's tables; unusable items are named.
void SetGatewayLists(const ProfileFile& file, const std::string& section, uint32_t gateway, const std::string& ranges) {
    SetGatewayRanges(gateway, ranges.c_str());
    const std::string exceptions = file.getString(section, "Exceptions", "");
    SetGatewayExceptions(gateway, exceptions.c_str());
    ReportUnusableRangeItems(ranges.c_str(), section.c_str(), "Ranges");
    ReportUnusableRangeItems(exceptions.c_str(), section.c_str(), "Exceptions");
}

// [Server] Ranges (the whole subnet when missing) and Exceptions, with the
// listed servers' addresses added to the exceptions.
void ReadLocalRanges(const ProfileFile& file, const ServerSettings& s) {
    const uint32_t first = (s.serverAddress & s.subnetMask) + 1;
    const uint32_t last = (s.serverAddress | ~s.subnetMask) - 1;
    const std::string ranges = file.getString("Server", "Ranges", Dotted(first) + "-" + Dotted(last));
    WriteLog(3, "Address Ranges = %.100s\n", ranges.c_str());
    SetGatewayLists(file, "Server", LOCAL_GATEWAY, ranges);
    for (const char* list : {s.DNSServer, s.IPAddress, s.WINSServer, s.Routers}) AddServerExceptions(list);
    WriteLog(3, "Exceptions = %.100s\n", GatewayExceptions(LOCAL_GATEWAY).c_str());
}

// [GW0] to [GW99]: a relay agent's ranges and exceptions, and the subnet
// mask and routers its clients get instead of the server's.
void ReadRelaySections(const ProfileFile& file) {
    std::map<uint32_t, GatewaySettings> gatewaySettings;
    for (int n = 0; n < GATEWAY_SECTIONS; ++n) {
        std::string section = "GW" + std::to_string(n);
        std::string gateway = Cut(file.getString(section, "Gateway", ""), VALUE_TEXT_MAX);
        if (gateway.empty()) continue;
        uint32_t key = ParseAddress(gateway.c_str());
        if (key == 0) continue;
        SetGatewayLists(file, section, key, file.getString(section, "Ranges", ""));
        // Like the ranges, a later section of the same relay agent replaces
        // an earlier one's settings.
        GatewaySettings own;
        CopySetting(own.SubnetMask, file.getString(section, "SubnetMask", "").c_str());
        CopySetting(own.Routers, file.getString(section, "Routers", "").c_str());
        gatewaySettings.erase(key);
        if (own.SubnetMask[0] || own.Routers[0]) {
            WriteLog(3, "%.10s Subnet Mask = %.100s, Routers = %.100s\n", section.c_str(), own.SubnetMask, own.Routers);
            gatewaySettings[key] = own;
        }
    }
    UpdateSettings([&](ServerSettings& s) { s.gatewaySettings = gatewaySettings; });
}

void LoadFromModel(const ProfileFile& file);

std::string CurrentIniPath() {
    std::lock_guard<std::mutex> guard(path_lock);
    return ini_path;
}

// ---- saving ------------------------------------------------------------

// What a save rewrites.
enum SavedPart : unsigned { SETTINGS = 1, LEASES = 2, RESERVATIONS = 4 };

// The parts into the file's model, in the order saveSettings writes them.
// takeLeases: the lease table is taken for a save, which clears LeasesDirty.
void WriteParts(ProfileFile& file, unsigned parts, bool takeLeases) {
    if (parts & SETTINGS) WriteSettingKeys(file);
    if (parts & LEASES) file.replaceSection("Leases", LeaseKeys(takeLeases));
    if (parts & RESERVATIONS) file.replaceSection("Reservations", ReservationKeys());
}

// Reads the file, rewrites the parts and writes it back, all in one hold of
// file_lock.
bool SaveParts(unsigned parts) {
    std::lock_guard<std::mutex> guard(file_lock);
    std::string path = CurrentIniPath();
    ProfileFile file;
    if (!LoadModel(path, file)) return false;
    WriteParts(file, parts, true);
    const bool written = CommitModel(path, file);
    // Taking the leases cleared LeasesDirty: set it again, so that the
    // timer's next tick tries once more instead of losing the change.
    if (!written && (parts & LEASES)) LeasesDirty = true;
    return written;
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
    WriteParts(file, SETTINGS | LEASES | RESERVATIONS, false);
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

// Every key is loaded, however many. Of keys that differ only in case the
// first stands (a lookup by name reaches no other), and a key with an empty
// name is passed over.
void ReadReservations(const ProfileFile& file) {
    for (const auto& [key, rawValue] : file.entries("Reservations")) {
        std::string value = Cut(rawValue, VALUE_TEXT_MAX);
        Reservation reservation = ParseReservation(key, value);
        AppendReservation(reservation);
        WriteLog(3, "Reserve: (%d) %.100s -> %.100s\n", static_cast<int>(reservation.kind), key.c_str(), value.c_str());
        if (reservation.address == NO_RESERVED_ADDRESS)
            WriteLog(0, "Reservation %.100s has no valid address (%.100s) - not used\n", key.c_str(), value.c_str());
    }
}

// Likewise every lease.
void ReadLeases(const ProfileFile& file) {
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
}

// loadSettings after the file is read: every step in the file's order.
void LoadFromModel(const ProfileFile& file) {
    ReportDuplicateSections(file);
    ServerSettings loaded;
    UpdateSettings([&](ServerSettings& s) {
        ReadSettingKeys(file, s);
        ReadUserOptions(file, s);
        DeriveAddressFields(s);
        loaded = s;
    });
    ReadLocalRanges(file, loaded);
    ReadRelaySections(file);
    ReadReservations(file);
    ReadLeases(file);
    ExpireLeases();
}

}  // namespace

bool saveSettings() { return SaveParts(SETTINGS | LEASES | RESERVATIONS); }
bool saveReservations() { return SaveParts(RESERVATIONS); }
bool saveLeases() { return SaveParts(LEASES); }

long LastSaveError() {
    std::lock_guard<std::mutex> guard(file_lock);
    return last_error;
}
