#include "export/kea_export.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/ip_address.h"
#include "base/text_string.h"
#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/reply_options.h"
#include "export/kea_options.h"
#include "export/kea_pools.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"

namespace {

constexpr uint32_t KEA_INFINITE_LIFETIME = 0xFFFFFFFFu;
constexpr const char* LEASE_HEADER =
    "address,hwaddr,client_id,valid_lifetime,expire,subnet_id,fqdn_fwd,fqdn_rev,hostname,state,user_context\n";
constexpr int LEASE_STATE_DEFAULT = 0;
constexpr int LEASE_STATE_DECLINED = 1;
constexpr size_t HARDWARE_ADDRESS_SIZE = 6;

struct OptionData {
    uint8_t code = 0;
    const char* name = nullptr;  // the settings' options go by name, with readable data
    std::string data;            // csv text with a name, else hex
};

struct HostReservation {
    std::string hardwareAddress;  // aa:bb:cc:dd:ee:ff
    uint32_t address = 0;
    std::string comment;
};

struct Subnet {
    uint32_t id = 0;
    SubnetPrefix prefix;
    std::string label;
    std::vector<uint32_t> relays;
    std::vector<AddressSpan> pools;
    std::vector<OptionData> options;
    std::vector<HostReservation> reservations;
    std::vector<std::string> unmatchedHostNames;  // for the subnet's comment
};

struct LeaseRow {
    uint32_t address = 0;
    std::string hardwareAddress;
    uint64_t validLifetime = 0;
    int64_t expire = 0;
    uint32_t subnetId = 0;
    std::string hostName;
    int state = LEASE_STATE_DEFAULT;
};

// ---- text helpers ---------------------------------------------------------

std::string Dotted(uint32_t address) { return FormatAddress(address); }

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string HardwareAddressText(const uint8_t* bytes) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5]);
    return text;
}

// A JSON string: quotes and backslashes escaped, control bytes as \u00XX,
// other bytes as they stand.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", byte);
            quoted += code;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// A name from a client (a host name) as comments and the summary show it:
// bytes outside printable ASCII as "?".
std::string Printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte > 0x7e) c = '?';
    }
    return shown;
}

// Text that Kea's csv form carries as it stands, whatever its parser makes
// of separators, escapes and blanks: letters, digits, ".", "-" and "_".
bool IsPlainText(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

bool IsPrintableAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// Kea's lease file has no quoting: it reads "&#xHH" as the byte HH. Commas
// (which would end the field), the "&" itself and control bytes are written
// that way.
std::string LeaseFileText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (c == ',' || c == '&' || byte < 0x20 || byte == 0x7f) {
            char code[8];
            std::snprintf(code, sizeof code, "&#x%02x", byte);
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string SubnetText(const SubnetPrefix& prefix) {
    return Dotted(prefix.network) + "/" + std::to_string(prefix.length);
}

std::vector<uint32_t> AddressesOf(const std::string& value) {
    std::vector<uint32_t> addresses;
    for (size_t i = 0; i + 4 <= value.size(); i += 4)
        addresses.push_back(ReadBigEndian32(reinterpret_cast<const uint8_t*>(value.data()) + i));
    return addresses;
}

// An option value of addresses as Kea's csv form writes them.
std::string AddressList(const std::string& value) {
    std::string list;
    for (uint32_t address : AddressesOf(value)) list += (list.empty() ? "" : ", ") + Dotted(address);
    return list;
}

int64_t UnixSeconds(uint64_t filetime) {
    return static_cast<int64_t>(filetime / FILETIME_TICKS_PER_SECOND) -
           static_cast<int64_t>(FILETIME_UNIX_EPOCH_SECONDS);
}

std::string Plural(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- the export -----------------------------------------------------------

struct Segment {
    uint32_t gateway;   // LOCAL_GATEWAY for the server's own network
    uint32_t subnetId;  // the subnet that serves it
};

// Everything one export gathers, and what it has to say.
struct ExportState {
    KeaExportInput input;
    std::shared_ptr<const ServerSettings> settings;
    std::vector<uint32_t> excluded;  // never handed out: servers, relay agents, routers
    std::vector<Subnet> subnets;     // subnet id N at index N - 1
    std::vector<Segment> segments;
    std::vector<OptionData> globalOptions;
    std::vector<Lease> leases;
    std::vector<LeaseRow> rows;
    std::vector<std::string> notes;   // what did not go over, and why
    std::vector<std::string> others;  // what went over changed
    size_t hostNameReservations = 0;
    size_t declined = 0;
    size_t unlimited = 0;
    size_t expired = 0;
};

void Note(ExportState& state, const std::string& line) { state.notes.push_back(line); }
void Other(ExportState& state, const std::string& line) { state.others.push_back(line); }

// ---- subnets and pools ----

// The server's own address, the relay agents' and the routers, name servers
// and WINS servers of the settings, on every segment: each answers the
// in-use probe, so the server never hands it out, and Kea, which does not
// probe, must not either.
void CollectExcluded(ExportState& state) {
    const ServerSettings& settings = *state.settings;
    if (settings.serverAddress != 0) state.excluded.push_back(settings.serverAddress);
    for (uint32_t gateway : ServedGateways()) {
        if (gateway != LOCAL_GATEWAY) state.excluded.push_back(gateway);
        for (uint8_t code : {OPTION_ROUTERS, OPTION_DNS_SERVERS, OPTION_WINS_SERVERS}) {
            const ConfiguredOption option = ConfiguredOptionFor(settings, code, gateway);
            if (option.source == OptionSource::User) continue;
            for (uint32_t address : AddressesOf(option.value))
                if (address != 0) state.excluded.push_back(address);
        }
    }
}

Subnet* SubnetWithPrefix(ExportState& state, const SubnetPrefix& prefix) {
    for (Subnet& subnet : state.subnets) {
        if (subnet.prefix.network == prefix.network && subnet.prefix.length == prefix.length) return &subnet;
    }
    return nullptr;
}

// The subnet with the longest prefix that holds the address.
Subnet* SubnetHolding(ExportState& state, uint32_t address) {
    Subnet* best = nullptr;
    for (Subnet& subnet : state.subnets) {
        if (SubnetHolds(subnet.prefix, address) && (!best || subnet.prefix.length > best->prefix.length))
            best = &subnet;
    }
    return best;
}

size_t SegmentsServedBy(const ExportState& state, uint32_t subnetId) {
    return static_cast<size_t>(std::count_if(state.segments.begin(), state.segments.end(),
                                             [&](const Segment& segment) { return segment.subnetId == subnetId; }));
}

void AddSegment(ExportState& state, uint32_t gateway) {
    const ServerSettings& settings = *state.settings;
    const bool local = gateway == LOCAL_GATEWAY;
    const uint32_t base = local ? settings.serverAddress : gateway;
    const std::string label = local ? "the server's network" : "relay agent " + Dotted(gateway);
    if (base == 0 || base == ADDRESS_NONE) {
        Note(state, "the server's network: IPAddress \"" + std::string(settings.IPAddress) + "\" is no address");
        return;
    }
    const uint32_t mask = local ? settings.subnetMask : SegmentSubnetMask(settings, gateway);
    const int length = PrefixLengthOf(mask);
    if (length <= 0) {
        Note(state, label + ": the subnet mask " + Dotted(mask) + " names no subnet");
        return;
    }
    const SubnetPrefix prefix{base & mask, length};
    const std::string ranges = GatewayRanges(gateway), exceptions = GatewayExceptions(gateway);
    const PoolResult pools = PoolsOf(ranges, exceptions, prefix, state.excluded);
    if (pools.outside != 0) {
        Other(state, label + ": " + Plural(pools.outside, "address", "addresses") +
                         " of its ranges outside the hosts of " + SubnetText(prefix) + " left out");
    }
    if (pools.excluded != 0) {
        Other(state, label + ": " + Plural(pools.excluded, "address", "addresses") +
                         " of servers, relay agents and routers left out of the pools");
    }

    Subnet* subnet = SubnetWithPrefix(state, prefix);
    if (subnet) {
        Other(state, label + " shares " + SubnetText(prefix) + " with " + subnet->label + ": one subnet serves both");
        std::vector<AddressSpan> joined = subnet->pools;
        joined.insert(joined.end(), pools.pools.begin(), pools.pools.end());
        subnet->pools = JoinSpans(joined);
    } else {
        state.subnets.emplace_back();
        subnet = &state.subnets.back();
        subnet->id = static_cast<uint32_t>(state.subnets.size());
        subnet->prefix = prefix;
        subnet->label = label;
        subnet->pools = pools.pools;
    }
    if (!local) subnet->relays.push_back(gateway);
    state.segments.push_back({gateway, subnet->id});
}

// ---- options ----

// The option as Kea is to send it; false (with the reason noted) when Kea
// would not send these bytes, or there is nothing to send.
bool MakeOptionData(ExportState& state, uint8_t code, const ConfiguredOption& option, OptionData& data) {
    data = OptionData{};
    data.code = code;
    switch (option.source) {
        case OptionSource::None: return false;
        case OptionSource::DnsServers: data.name = "domain-name-servers"; break;
        case OptionSource::Routers: data.name = "routers"; break;
        case OptionSource::WinsServers: data.name = "netbios-name-servers"; break;
        case OptionSource::DomainName: data.name = "domain-name"; break;
        case OptionSource::User: break;
    }
    if (!option.sent) return false;
    const KeaOptionDecision decision = DecideKeaOption(code, option.value);
    if (!decision.write) {
        const std::string setting = option.source == OptionSource::User
                                        ? "option" + std::to_string(code) + "=" + state.settings->userOptions[code]
                                        : std::string(data.name);
        Note(state, "option " + std::to_string(code) + " (" + setting + "): " + decision.reason);
        return false;
    }
    if (option.source == OptionSource::User ||
        (option.source == OptionSource::DomainName && !IsPlainText(option.value))) {
        data.name = nullptr;  // raw bytes go by code
        data.data = Hex(option.value);
    } else if (option.source == OptionSource::DomainName) {
        data.data = option.value;
    } else {
        data.data = AddressList(option.value);
    }
    return true;
}

void CollectOptions(ExportState& state) {
    const ServerSettings& settings = *state.settings;
    for (int number = 1; number < 255; ++number) {
        const auto code = static_cast<uint8_t>(number);
        const ConfiguredOption global = ConfiguredOptionFor(settings, code, LOCAL_GATEWAY);
        if (code < settings.userOptions.size() && !settings.userOptions[code].empty() &&
            global.source != OptionSource::User) {
            Other(state, "option" + std::to_string(code) + " left out: a setting takes its place, as in the server");
        }
        OptionData data;
        if (MakeOptionData(state, code, global, data)) state.globalOptions.push_back(data);
        for (const Segment& segment : state.segments) {
            if (segment.gateway == LOCAL_GATEWAY) continue;
            const ConfiguredOption own = ConfiguredOptionFor(settings, code, segment.gateway);
            if (own.source == global.source && own.sent == global.sent && own.value == global.value) continue;
            if (!own.sent && !global.sent) continue;
            const std::string where = "option " + std::to_string(code) + " of relay agent " + Dotted(segment.gateway);
            Subnet& subnet = state.subnets[segment.subnetId - 1];
            if (!own.sent) {
                Note(state, where + ": the server sends none there, and Kea would send the server's");
            } else if (SegmentsServedBy(state, segment.subnetId) > 1) {
                Note(state, where + ": its subnet serves other segments too");
            } else if (MakeOptionData(state, code, own, data)) {
                subnet.options.push_back(data);
            }
        }
    }
}

// ---- reservations ----

// The six bytes of a key in the form 00-0c-29-ab-cd-ef (either case).
bool ParseHardwareKey(const char* key, uint8_t bytes[HARDWARE_ADDRESS_SIZE]) {
    if (std::strlen(key) != 17) return false;
    for (size_t i = 0; i < HARDWARE_ADDRESS_SIZE; ++i) {
        unsigned value = 0;
        for (size_t j = 0; j < 2; ++j) {
            const char c = FoldAsciiCase(key[i * 3 + j]);
            if (c >= '0' && c <= '9') {
                value = value * 16 + static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
            } else {
                return false;
            }
        }
        if (i < HARDWARE_ADDRESS_SIZE - 1 && key[i * 3 + 2] != '-') return false;
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

bool IsLive(const ExportState& state, const Lease& lease) {
    return lease.address != DELETED_ADDRESS && (IsNeverExpiring(lease.expiry) || lease.expiry > state.input.now);
}

// The hardware address of the first live lease of the host name whose
// identifier is six bytes; empty when there is none.
std::string HardwareAddressOfHost(const ExportState& state, const char* hostName) {
    for (const Lease& lease : state.leases) {
        if (!IsLive(state, lease) || IsPlaceholderLease(lease) || lease.clientId.size() != HARDWARE_ADDRESS_SIZE)
            continue;
        if (EqualNoCase(lease.hostName, hostName)) return HardwareAddressText(lease.clientId.data());
    }
    return "";
}

void CollectReservations(ExportState& state) {
    for (const Reservation& reservation : SnapshotReservations()) {
        const bool byHost = reservation.kind == ByHostName;
        const std::string key = Printable(reservation.key);
        const std::string shown = "reservation " + std::string(byHost ? "@H-" : "@M-") + key + " -> ";
        if (reservation.address == NO_RESERVED_ADDRESS) {
            Note(state, shown + Printable(reservation.addressText) + ": no address");
            continue;
        }
        const std::string what = shown + Dotted(reservation.address);
        Subnet* subnet = SubnetHolding(state, reservation.address);
        if (!subnet) {
            Note(state, what + ": in no exported subnet");
            continue;
        }
        HostReservation host;
        host.address = reservation.address;
        if (byHost) {
            host.hardwareAddress = HardwareAddressOfHost(state, reservation.key);
            if (host.hardwareAddress.empty()) {
                Note(state,
                     what + ": Kea knows clients by hardware address, and no active lease of the host shows one");
                subnet->unmatchedHostNames.push_back(key + " -> " + Dotted(reservation.address));
                continue;
            }
            host.comment = "host name " + key;
        } else {
            uint8_t bytes[HARDWARE_ADDRESS_SIZE];
            if (!ParseHardwareKey(reservation.key, bytes)) {
                Note(state, what + ": Kea knows clients by hardware address, and this identifier is none");
                continue;
            }
            host.hardwareAddress = HardwareAddressText(bytes);
        }
        // The first entry wins in the server; Kea refuses a second one.
        const bool taken =
            std::any_of(subnet->reservations.begin(), subnet->reservations.end(), [&](const HostReservation& other) {
                return other.address == host.address || other.hardwareAddress == host.hardwareAddress;
            });
        if (taken) {
            Note(state, what + ": an earlier reservation holds its address or its client");
            continue;
        }
        if (byHost) ++state.hostNameReservations;
        subnet->reservations.push_back(host);
    }
}

// ---- leases ----

void CollectLeases(ExportState& state) {
    const int64_t now = UnixSeconds(state.input.now);
    const uint32_t leaseTime = state.settings->LeaseTime;
    std::set<uint32_t> written;
    for (const Lease& lease : state.leases) {
        if (lease.address == DELETED_ADDRESS) continue;
        if (!IsLive(state, lease)) {
            ++state.expired;
            continue;
        }
        const std::string what = "lease " + Printable(lease.hostName) + " (" +
                                 FormatClientId(lease.clientId.data(), lease.clientId.size()) + ") of " +
                                 Dotted(lease.address);
        const bool placeholder = IsPlaceholderLease(lease);
        if (!placeholder && lease.clientId.size() != HARDWARE_ADDRESS_SIZE) {
            Note(state, what + ": its identifier is " + Plural(lease.clientId.size(), "byte", "bytes") +
                            ", not the hardware address by which Kea would know the client");
            continue;
        }
        const Subnet* subnet = SubnetHolding(state, lease.address);
        if (!subnet) {
            Note(state, what + ": in no exported subnet");
            continue;
        }
        if (!written.insert(lease.address).second) {
            Note(state, what + ": an earlier lease holds the address");
            continue;
        }
        LeaseRow row;
        row.address = lease.address;
        row.subnetId = subnet->id;
        const bool never = IsNeverExpiring(lease.expiry);
        const int64_t expire = UnixSeconds(lease.expiry);
        const uint64_t remaining = expire > now ? static_cast<uint64_t>(expire - now) : 1;
        if (never) {
            row.validLifetime = KEA_INFINITE_LIFETIME;
        } else if (placeholder || leaseTime == 0 || leaseTime == UNLIMITED_LEASE_TIME) {
            // A lease that runs out under an unlimited lease time (given
            // before it was set) keeps its expiry with the time it has left.
            row.validLifetime = remaining;
        } else {
            row.validLifetime = leaseTime;
        }
        row.expire = never ? now + static_cast<int64_t>(KEA_INFINITE_LIFETIME) : expire;
        if (placeholder) {
            row.state = LEASE_STATE_DECLINED;
            ++state.declined;
        } else {
            row.hardwareAddress = HardwareAddressText(lease.clientId.data());
            row.hostName = LeaseFileText(lease.hostName);
            if (never) ++state.unlimited;
        }
        state.rows.push_back(row);
    }
}

// ---- output ----

void AppendOptionList(std::string& out, const std::vector<OptionData>& options, const std::string& indent) {
    out += indent + "\"option-data\": [\n";
    for (size_t i = 0; i < options.size(); ++i) {
        const OptionData& option = options[i];
        out += indent + "  { ";
        if (option.name) {
            out += "\"name\": " + Quoted(option.name) + ", \"data\": " + Quoted(option.data);
        } else {
            out += "\"code\": " + std::to_string(option.code) +
                   ", \"csv-format\": false, \"data\": " + Quoted(option.data);
        }
        out += i + 1 < options.size() ? " },\n" : " }\n";
    }
    out += indent + "]";
}

void AppendSubnet(std::string& out, const ExportState& state, const Subnet& subnet) {
    const ServerSettings& settings = *state.settings;
    out += "    {\n      \"id\": " + std::to_string(subnet.id) + ",\n";
    out += "      \"subnet\": " + Quoted(SubnetText(subnet.prefix)) + ",\n";
    if (!subnet.unmatchedHostNames.empty()) {
        std::string names;
        for (const std::string& name : subnet.unmatchedHostNames) names += (names.empty() ? "" : ", ") + name;
        out += "      \"comment\": " + Quoted("Reservations by host name that Kea cannot match: " + names) + ",\n";
    }
    if (!subnet.relays.empty()) {
        out += "      \"relay\": { \"ip-addresses\": [ ";
        for (size_t r = 0; r < subnet.relays.size(); ++r) out += (r ? ", " : "") + Quoted(Dotted(subnet.relays[r]));
        out += " ] },\n";
    }
    const uint32_t nextServer = NetworkToHost(expandAddressTemplate(settings.NextBootServer, settings.serverAddress));
    if (nextServer != 0) out += "      \"next-server\": " + Quoted(Dotted(nextServer)) + ",\n";
    if (settings.BootFile[0] && IsPrintableAscii(settings.BootFile))
        out += "      \"boot-file-name\": " + Quoted(settings.BootFile) + ",\n";
    if (!subnet.options.empty()) {
        AppendOptionList(out, subnet.options, "      ");
        out += ",\n";
    }
    out += "      \"reservations\": [\n";
    for (size_t r = 0; r < subnet.reservations.size(); ++r) {
        const HostReservation& host = subnet.reservations[r];
        out += "        { \"hw-address\": " + Quoted(host.hardwareAddress) +
               ", \"ip-address\": " + Quoted(Dotted(host.address));
        if (!host.comment.empty()) out += ", \"comment\": " + Quoted(host.comment);
        out += r + 1 < subnet.reservations.size() ? " },\n" : " }\n";
    }
    out += "      ],\n      \"pools\": [\n";
    for (size_t p = 0; p < subnet.pools.size(); ++p) {
        const AddressSpan& pool = subnet.pools[p];
        out += "        { \"pool\": " + Quoted(Dotted(pool.first) + " - " + Dotted(pool.last)) + " }";
        out += p + 1 < subnet.pools.size() ? ",\n" : "\n";
    }
    out += "      ]\n    }";
}

std::string ConfigText(const ExportState& state) {
    const ServerSettings& settings = *state.settings;
    const std::string interface =
        settings.BindToAll || state.input.interfaceName.empty() ? "*" : state.input.interfaceName;
    std::string out = "{\n\"Dhcp4\": {\n";
    out += "  \"interfaces-config\": { \"interfaces\": [ " + Quoted(interface) + " ] },\n";
    out +=
        "  \"lease-database\": { \"type\": \"memfile\", \"persist\": true, \"name\": " + Quoted(state.input.leaseFile) +
        " },\n";
    out += "  \"valid-lifetime\": " + std::to_string(settings.LeaseTime) + ",\n";
    AppendOptionList(out, state.globalOptions, "  ");
    out += ",\n  \"subnet4\": [\n";
    for (size_t i = 0; i < state.subnets.size(); ++i) {
        AppendSubnet(out, state, state.subnets[i]);
        out += i + 1 < state.subnets.size() ? ",\n" : "\n";
    }
    out += "  ]\n}\n}\n";
    return out;
}

std::string LeaseText(const ExportState& state) {
    std::string out = LEASE_HEADER;
    for (const LeaseRow& row : state.rows) {
        out += Dotted(row.address) + "," + row.hardwareAddress + ",," + std::to_string(row.validLifetime) + "," +
               std::to_string(row.expire) + "," + std::to_string(row.subnetId) + ",0,0," + row.hostName + "," +
               std::to_string(row.state) + ",\n";
    }
    return out;
}

std::string SummaryText(const ExportState& state) {
    const ServerSettings& settings = *state.settings;
    std::string out;
    if (settings.BindToAll) {
        out += "Interface: \"*\" (BindToAll): Kea serves every interface of its machine\n";
    } else if (!state.input.interfaceName.empty()) {
        out += "Interface: " + state.input.interfaceName + " (it holds " + settings.IPAddress + " here)\n";
    } else {
        out += "Interface: \"*\": no interface here holds " + std::string(settings.IPAddress) +
               "; name the one Kea is to serve under interfaces-config\n";
    }
    out += "Lease file named in the configuration: " + state.input.leaseFile + "\n";
    out += "Subnets: " + std::to_string(state.subnets.size()) + "\n";
    size_t reservations = 0;
    for (const Subnet& subnet : state.subnets) {
        const uint64_t addresses = AddressCount(subnet.pools);
        reservations += subnet.reservations.size();
        out += "  " + std::to_string(subnet.id) + ": " + SubnetText(subnet.prefix) + ", " + subnet.label + ": " +
               Plural(subnet.pools.size(), "pool", "pools") + " of " + Plural(addresses, "address", "addresses") +
               ", " + Plural(subnet.reservations.size(), "reservation", "reservations") + "\n";
        for (const AddressSpan& pool : subnet.pools)
            out += "     " + Dotted(pool.first) + " - " + Dotted(pool.last) + "\n";
    }
    std::string names;
    for (const OptionData& option : state.globalOptions)
        names += (names.empty() ? "" : ", ") +
                 (option.name ? std::string(option.name) : "option " + std::to_string(option.code));
    out += "Options: " + (names.empty() ? std::string("none") : names) + "\n";
    out += "Reservations: " + std::to_string(reservations) + " (" + std::to_string(state.hostNameReservations) +
           " by host name, through the hardware address of its lease)\n";
    out += "Leases: " + std::to_string(state.rows.size()) + " (" +
           Plural(state.declined, "held-back address as a declined lease", "held-back addresses as declined leases") +
           ", " + std::to_string(state.unlimited) + " unlimited)";
    if (state.expired != 0) out += "; " + std::to_string(state.expired) + " expired left out";
    out += "\n";
    if (!state.notes.empty()) {
        out += "Not carried over: " + std::to_string(state.notes.size()) + "\n";
        for (const std::string& line : state.notes) out += "  " + line + "\n";
    }
    if (!state.others.empty()) {
        out += "Also:\n";
        for (const std::string& line : state.others) out += "  " + line + "\n";
    }
    return out;
}

}  // namespace

KeaExport BuildKeaExport(const KeaExportInput& input) {
    ExportState state;
    state.input = input;
    state.settings = CurrentSettings();
    state.leases = SnapshotLeases();
    CollectExcluded(state);
    for (uint32_t gateway : ServedGateways()) AddSegment(state, gateway);
    CollectOptions(state);
    if (!IsPrintableAscii(state.settings->BootFile))
        Note(state, "BootFile " + Printable(state.settings->BootFile) + ": Kea takes only ASCII in boot-file-name");
    CollectReservations(state);
    CollectLeases(state);
    return {ConfigText(state), LeaseText(state), SummaryText(state)};
}
