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

namespace {

// One option the client asked for and the server has, with what its log
// lines say, before it is known to fit.
struct Answer {
    enum Kind { DNS, ROUTERS, WINS, HOST_NAME, DOMAIN_NAME, USER } kind;
    uint8_t code;
    std::string value;
    size_t entries = 0;  // address lists: the setting's entries; 0 writes nothing
    bool cut = false;    // user options: cut to what a length byte counts
    bool isList() const { return kind == DNS || kind == ROUTERS || kind == WINS; }
    size_t size() const { return isList() && entries == 0 ? 0 : 2 + value.size(); }
};

// The answer to one requested code, if the server has one: the first rule
// that applies (the settings shadow user options of the same code).
bool AnswerFor(uint8_t code, const char* hostName, const ServerSettings& settings, const char* routers,
               uint32_t routersBase, Answer& answer) {
    const uint32_t server = settings.serverAddress;
    answer.code = code;
    if (code == OPTION_DNS_SERVERS && settings.DNSServer[0]) {
        answer.kind = Answer::DNS;
        answer.value = AddressListValue(settings.DNSServer, server, answer.entries);
    } else if (code == OPTION_ROUTERS && routers[0]) {
        answer.kind = Answer::ROUTERS;
        answer.value = AddressListValue(routers, routersBase, answer.entries);
    } else if (code == OPTION_HOST_NAME && hostName[0]) {
        answer.kind = Answer::HOST_NAME;
        answer.value = Limited(hostName);
    } else if (code == OPTION_WINS_SERVERS && settings.WINSServer[0]) {
        answer.kind = Answer::WINS;
        answer.value = AddressListValue(settings.WINSServer, server, answer.entries);
    } else if (code == OPTION_DOMAIN_NAME && settings.DomainName[0]) {
        answer.kind = Answer::DOMAIN_NAME;
        answer.value = Limited(settings.DomainName);
    } else if (code < settings.userOptions.size() && !settings.userOptions[code].empty()) {
        answer.kind = Answer::USER;
        answer.value = UserOptionValue(settings.userOptions[code], server, answer.cut);
    } else {
        return false;
    }
    return true;
}

// Logs and writes one answer that fits.
void WriteAnswer(DhcpMessage& reply, size_t& position, const Answer& answer, const char* hostName) {
    static const char* const LIST_LINES[] = {"Sending DNS Servers\n", "Sending Routers\n", "Sending WINS Servers\n"};
    switch (answer.kind) {
        case Answer::DNS:
        case Answer::ROUTERS:
        case Answer::WINS:
            WriteLog(3, "%s", LIST_LINES[answer.kind]);
            if (answer.entries == 0) return;  // nothing in the list after all
            if (answer.entries * 4 > answer.value.size())
                WriteLog(3, "Option %d cut to %d addresses\n", answer.code, static_cast<int>(answer.value.size() / 4));
            break;
        case Answer::HOST_NAME:
            WriteOption(reply, position, answer.code, answer.value);
            WriteLog(3, "Sending Hostname - %.100s\n", LogText(hostName).c_str());
            return;
        case Answer::DOMAIN_NAME: WriteLog(3, "Sending Domain Name\n"); break;
        case Answer::USER:
            WriteLog(3, "Sending User option %d\n", answer.code);
            if (answer.cut)
                WriteLog(3, "Option %d cut to %d bytes\n", answer.code, static_cast<int>(answer.value.size()));
            break;
    }
    WriteOption(reply, position, answer.code, answer.value);
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
    // A relay agent's own routers are relative to its address, since they
    // are on its segment.
    const GatewaySettings* own = SettingsOfGateway(settings, gateway);
    const bool ownRouters = own && own->Routers[0];
    const char* routers = ownRouters ? own->Routers : settings.Routers;
    const uint32_t routersBase = ownRouters ? gateway : settings.serverAddress;

    // Each code once, at its first place in the list: a list that repeats a
    // code must not make the reply (and the log) many times its own size.
    bool asked[256] = {};
    std::vector<Answer> answers;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t code = list[i];
        if (asked[code]) continue;
        asked[code] = true;
        Answer answer;
        if (AnswerFor(code, hostName, settings, routers, routersBase, answer)) answers.push_back(std::move(answer));
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
