#include "dhcp/reply_options.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/ip_address.h"
#include "base/log.h"
#include "base/text_string.h"

namespace {

// The last index at which the end option can stand: offset 2047.
constexpr size_t OPTIONS_LIMIT = DHCP_BUFFER_SIZE - OFFSET_COOKIE - 1;
constexpr size_t MAX_VALUE = 255;

// Replaces every occurrence of `find` (two characters) in `text`, left to
// right without looking at what was put in, as TextString::replaceAll does.
void ReplaceAll(std::string& text, const char* find, const std::string& replacement) {
    if (text.find(find) == std::string::npos) return;
    std::string out;
    for (size_t p = 0; p < text.size();) {
        if (text.compare(p, 2, find) == 0) {
            out += replacement;
            p += 2;
        } else {
            out += text[p++];
        }
    }
    text.swap(out);
}

// Host-order form of expandAddressTemplate; 0 when the text doesn't convert.
// Every reply expands its address settings, so a text without a template
// goes straight to the parser.
uint32_t ExpandToHost(const char* text, uint32_t serverAddress) {
    uint32_t host;
    if (std::strchr(text, '%') == nullptr) {
        host = ParseAddress(text);
    } else {
        std::string expanded(text);
        const char* const parts[] = {"%1", "%2", "%3", "%4"};
        for (int i = 0; i < 4; ++i)
            ReplaceAll(expanded, parts[i], std::to_string((serverAddress >> (24 - 8 * i)) & 0xFF));
        ReplaceAll(expanded, "%a", FormatAddress(serverAddress));
        host = ParseAddress(expanded.c_str());
    }
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

// Writes one option at `position` when it fits whole before the end option's
// place. One that doesn't is left out, with a log line: nothing is written
// past the buffer, and a later, shorter option may still fit.
void WriteOption(DhcpMessage& reply, size_t& position, uint8_t code, const std::string& value) {
    if (position > OPTIONS_LIMIT || 2 + value.size() > OPTIONS_LIMIT - position) {
        WriteLog(3, "Option %d left out - no room in the reply\n", code);
        return;
    }
    uint8_t* at = reply.bytes + OFFSET_COOKIE + position;
    at[0] = code;
    at[1] = static_cast<uint8_t>(value.size());
    if (!value.empty()) std::memcpy(at + 2, value.data(), value.size());
    position += 2 + value.size();
}

void WriteAddressList(DhcpMessage& reply, size_t& position, uint8_t code, const char* setting,
                      uint32_t serverAddress) {
    size_t entries = 0;
    std::string value = AddressListValue(setting, serverAddress, entries);
    if (entries == 0) return;
    if (entries * 4 > value.size())
        WriteLog(3, "Option %d cut to %d addresses\n", code, static_cast<int>(value.size() / 4));
    WriteOption(reply, position, code, value);
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

uint32_t expandAddressTemplate(const char* text, uint32_t serverAddress) {
    return HostToNetwork(ExpandToHost(text ? text : "", serverAddress));
}

void appendReplyOptions(DhcpMessage& reply, size_t& position, const ParsedOptions& request, const char* hostName,
                        const ServerSettings& settings, uint32_t gateway) {
    uint8_t list[OPTION_VALUE_SIZE];
    size_t count = FindOption(request, OPTION_PARAMETER_LIST, list);
    if (!hostName) hostName = "";
    const uint32_t server = settings.serverAddress;
    // A relay agent's own routers are relative to its address, since they
    // are on its segment.
    const GatewaySettings* own = SettingsOfGateway(settings, gateway);
    const bool ownRouters = own && own->Routers[0];
    const char* routers = ownRouters ? own->Routers : settings.Routers;
    const uint32_t routersBase = ownRouters ? gateway : server;
    for (size_t i = 0; i < count; ++i) {
        uint8_t code = list[i];
        if (code == OPTION_DNS_SERVERS && settings.DNSServer[0]) {
            WriteLog(3, "Sending DNS Servers\n");
            WriteAddressList(reply, position, code, settings.DNSServer, server);
        } else if (code == OPTION_ROUTERS && routers[0]) {
            WriteLog(3, "Sending Routers\n");
            WriteAddressList(reply, position, code, routers, routersBase);
        } else if (code == OPTION_HOST_NAME && hostName[0]) {
            WriteOption(reply, position, code, Limited(hostName));
            WriteLog(3, "Sending Hostname - %.100s\n", LogText(hostName).c_str());
        } else if (code == OPTION_WINS_SERVERS && settings.WINSServer[0]) {
            WriteLog(3, "Sending WINS Servers\n");
            WriteAddressList(reply, position, code, settings.WINSServer, server);
        } else if (code == OPTION_DOMAIN_NAME && settings.DomainName[0]) {
            WriteLog(3, "Sending Domain Name\n");
            WriteOption(reply, position, code, Limited(settings.DomainName));
        } else if (code < settings.userOptions.size() && !settings.userOptions[code].empty()) {
            WriteLog(3, "Sending User option %d\n", code);
            bool cut = false;
            std::string value = UserOptionValue(settings.userOptions[code], server, cut);
            if (cut) WriteLog(3, "Option %d cut to %d bytes\n", code, static_cast<int>(value.size()));
            WriteOption(reply, position, code, value);
        }
    }
}
