#include "dhcp/reply_options.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/ip_address.h"
#include "base/log.h"
#include "base/text_string.h"

namespace {

constexpr size_t MAX_VALUE = 255;

// Host-order form of expandAddressTemplate; 0 when the text doesn't convert.
uint32_t ExpandToHost(const char* text, uint32_t serverAddress) {
    TextString expanded(text);
    char part[4][4];
    for (int i = 0; i < 4; ++i)
        std::snprintf(part[i], sizeof part[i], "%d", static_cast<int>((serverAddress >> (24 - 8 * i)) & 0xFF));
    expanded.replaceAll("%1", part[0]);
    expanded.replaceAll("%2", part[1]);
    expanded.replaceAll("%3", part[2]);
    expanded.replaceAll("%4", part[3]);
    expanded.replaceAll("%a", FormatAddress(serverAddress).c_str());
    uint32_t host = ParseAddress(expanded.text());
    return host == ADDRESS_NONE ? 0 : host;
}

// strtoul with base 10 as a 32-bit long has it, on every platform: leading
// blanks and one sign, digits up to the first other character, a leading
// minus negates (so -1 is 4294967295), a value beyond 32 bits gives
// 4294967295. No digits give 0.
uint32_t ToNumber32(const char* text) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - result) : result;
}

void PutBig(std::string& value, uint32_t number, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) value += static_cast<char>((number >> shift) & 0xFF);
}

// The value of an address list setting: entries at spaces, commas and
// semicolons, four bytes each. Values are limited to what a length byte can
// count, so a list is cut to whole addresses (63 of them).
std::string AddressListValue(const char* setting, uint32_t serverAddress, size_t& entries) {
    TextString list(setting);
    std::string value;
    entries = 0;
    for (TextString entry = list.nextToken(" ,;", true); entry.length() != 0; entry = list.nextToken(" ,;", false)) {
        ++entries;
        if (value.size() + 4 <= MAX_VALUE) PutBig(value, ExpandToHost(entry.text(), serverAddress), 4);
    }
    return value;
}

// The value of a user option text: a type letter, then numbers, addresses or
// text. Numeric lists are cut to whole items within 255 bytes, text to 255.
std::string UserOptionValue(const std::string& text, uint32_t serverAddress, bool& cut) {
    cut = false;
    char type = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    std::string rest = text.substr(1);
    int size = type == 'B' ? 1 : type == 'W' ? 2 : type == 'D' || type == 'I' ? 4 : 0;
    if (size == 0) {
        cut = rest.size() > MAX_VALUE;
        return rest.substr(0, MAX_VALUE);
    }
    TextString items(rest.c_str());
    std::string value;
    for (TextString item = items.nextToken(", ", true); item.length() != 0; item = items.nextToken(", ", false)) {
        if (value.size() + static_cast<size_t>(size) > MAX_VALUE) {
            cut = true;
            break;
        }
        uint32_t number = type == 'I' ? ExpandToHost(item.text(), serverAddress) : ToNumber32(item.text());
        PutBig(value, number, size);
    }
    return value;
}

// Writes one option at `position`; the caller has made sure it fits.
void WriteOption(DhcpMessage& reply, size_t& position, uint8_t code, const std::string& value) {
    uint8_t* at = reply.bytes + OFFSET_COOKIE + position;
    at[0] = code;
    at[1] = static_cast<uint8_t>(value.size());
    if (!value.empty()) std::memcpy(at + 2, value.data(), value.size());
    position += 2 + value.size();
}

// The option of an address list setting; an entry that doesn't convert is
// sent as 0.0.0.0.
ConfiguredOption AddressListOption(OptionSource source, const char* setting, uint32_t base) {
    ConfiguredOption option;
    option.source = source;
    size_t entries = 0;
    option.value = AddressListValue(setting, base, entries);
    option.sent = entries != 0;
    if (entries * 4 > option.value.size()) option.cutTo = option.value.size() / 4;
    return option;
}

std::string Limited(const char* text) {
    size_t n = std::strlen(text);
    return std::string(text, n > MAX_VALUE ? MAX_VALUE : n);
}

// The relay agent's own settings, or null when it has none (or gateway is
// the server's own segment).
const GatewaySettings* SettingsOfGateway(const ServerSettings& settings, uint32_t gateway) {
    if (gateway == 0) return nullptr;
    auto found = settings.gatewaySettings.find(gateway);
    return found == settings.gatewaySettings.end() ? nullptr : &found->second;
}

}  // namespace

uint32_t SegmentSubnetMask(const ServerSettings& settings, uint32_t gateway) {
    const GatewaySettings* own = SettingsOfGateway(settings, gateway);
    if (own && own->SubnetMask[0]) {
        if (uint32_t mask = ExpandToHost(own->SubnetMask, gateway)) return mask;
    }
    return settings.subnetMask;
}

ConfiguredOption ConfiguredOptionFor(const ServerSettings& settings, uint8_t code, uint32_t gateway) {
    const uint32_t server = settings.serverAddress;
    // A relay agent's own routers are relative to its address, since they
    // are on its segment.
    const GatewaySettings* own = SettingsOfGateway(settings, gateway);
    const bool ownRouters = own && own->Routers[0];
    const char* routers = ownRouters ? own->Routers : settings.Routers;
    if (code == OPTION_DNS_SERVERS && settings.DNSServer[0])
        return AddressListOption(OptionSource::DnsServers, settings.DNSServer, server);
    if (code == OPTION_ROUTERS && routers[0])
        return AddressListOption(OptionSource::Routers, routers, ownRouters ? gateway : server);
    if (code == OPTION_WINS_SERVERS && settings.WINSServer[0])
        return AddressListOption(OptionSource::WinsServers, settings.WINSServer, server);
    ConfiguredOption option;
    if (code == OPTION_DOMAIN_NAME && settings.DomainName[0]) {
        option.source = OptionSource::DomainName;
        option.sent = true;
        option.value = Limited(settings.DomainName);
    } else if (code < settings.userOptions.size() && !settings.userOptions[code].empty()) {
        option.source = OptionSource::User;
        option.sent = true;
        bool cut = false;
        option.value = UserOptionValue(settings.userOptions[code], server, cut);
        if (cut) option.cutTo = option.value.size();
    }
    return option;
}

uint32_t expandAddressTemplate(const char* text, uint32_t serverAddress) {
    return HostToNetwork(ExpandToHost(text ? text : "", serverAddress));
}

namespace {

// One option the client asked for and the server has, before it is known to
// fit: the client's own name (code 12), or what the settings give.
struct Answer {
    uint8_t code = 0;
    bool hostName = false;
    ConfiguredOption option;
    size_t size() const { return hostName || option.sent ? 2 + option.value.size() : 0; }
};

// Logs and writes one answer that fits.
void WriteAnswer(DhcpMessage& reply, size_t& position, const Answer& answer, const char* hostName) {
    const uint8_t code = answer.code;
    const ConfiguredOption& option = answer.option;
    if (answer.hostName) {
        WriteOption(reply, position, code, option.value);
        WriteLog(3, "Sending Hostname - %.100s\n", LogText(hostName).c_str());
        return;
    }
    switch (option.source) {
        case OptionSource::None: return;
        case OptionSource::DnsServers: WriteLog(3, "Sending DNS Servers\n"); break;
        case OptionSource::Routers: WriteLog(3, "Sending Routers\n"); break;
        case OptionSource::WinsServers: WriteLog(3, "Sending WINS Servers\n"); break;
        case OptionSource::DomainName: WriteLog(3, "Sending Domain Name\n"); break;
        case OptionSource::User: WriteLog(3, "Sending User option %d\n", code); break;
    }
    if (option.cutTo != 0 && option.source == OptionSource::User) {
        WriteLog(3, "Option %d cut to %d bytes\n", code, static_cast<int>(option.cutTo));
    } else if (option.cutTo != 0) {
        WriteLog(3, "Option %d cut to %d addresses\n", code, static_cast<int>(option.cutTo));
    }
    if (option.sent) WriteOption(reply, position, code, option.value);
}

}  // namespace

size_t ClientMessageLimit(const ParsedOptions& request) {
    uint8_t value[OPTION_VALUE_SIZE];
    size_t size = MIN_CLIENT_DATAGRAM;
    if (FindOption(request, OPTION_MAX_MESSAGE_SIZE, value) >= 2) {
        const size_t asked = static_cast<size_t>(value[0]) << 8 | value[1];
        if (asked > size) size = asked;
    }
    size -= IP_UDP_HEADERS;
    return size < DHCP_BUFFER_SIZE ? size : DHCP_BUFFER_SIZE;
}

void appendReplyOptions(DhcpMessage& reply, size_t& position, const ParsedOptions& request, const char* hostName,
                        const ServerSettings& settings, uint32_t gateway) {
    uint8_t list[OPTION_VALUE_SIZE];
    size_t count = FindOption(request, OPTION_PARAMETER_LIST, list);
    if (count == 0) return;
    if (!hostName) hostName = "";
    // Each code once, at its first place in the list: a list that repeats a
    // code must not make the reply (and the log) many times its own size.
    bool asked[256] = {};
    std::vector<Answer> answers;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t code = list[i];
        if (asked[code]) continue;
        asked[code] = true;
        Answer answer;
        answer.code = code;
        if (code == OPTION_HOST_NAME && hostName[0]) {
            answer.hostName = true;
            answer.option.value = Limited(hostName);
        } else {
            answer.option = ConfiguredOptionFor(settings, code, gateway);
            if (answer.option.source == OptionSource::None) continue;
        }
        answers.push_back(std::move(answer));
    }

    // Within what the client takes, the end option included: the options
    // asked for last give way first.
    const size_t limit = ClientMessageLimit(request);
    const size_t room = limit - OFFSET_COOKIE - 1;
    size_t end = position;
    for (const Answer& answer : answers) end += answer.size();
    size_t kept = answers.size();
    std::string leftOut;
    while (kept > 0 && end > room) {
        --kept;
        end -= answers[kept].size();
        leftOut = std::to_string(answers[kept].code) + (leftOut.empty() ? "" : ", ") + leftOut;
    }
    for (size_t i = 0; i < kept; ++i) WriteAnswer(reply, position, answers[i], hostName);
    if (!leftOut.empty())
        WriteLog(3, "Options %.200s left out - the reply may not pass %d bytes\n", leftOut.c_str(),
                 static_cast<int>(limit));
}
