// Linux discovery: the interface list, the kernel's route table and the
// resolver configuration stand in for the Windows registry.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>

#include "config/adapter_discovery.h"
#include "config/file_commit.h"
#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "base/ip_address.h"
#include "base/log.h"

namespace {

std::mutex sources_lock;
AdapterSources sources;

std::string ReadText(const std::string& path) {
    std::string text;
    bool exists = false;
    ReadWholeFile(path, text, exists);
    return text;
}

void AppendWord(std::string& list, const std::string& word) {
    if (!list.empty()) list += ' ';
    list += word;
}

bool ListHas(const std::string& list, const std::string& word) {
    std::istringstream words(list);
    std::string each;
    while (words >> each) {
        if (each == word) return true;
    }
    return false;
}

bool IsIPv4Text(const std::string& text) {
    in_addr parsed;
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

void ReadResolver(const std::string& resolvText, std::string* nameServers, std::string* domain) {
    std::istringstream lines(resolvText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string keyword, value;
        if (!(words >> keyword) || keyword[0] == '#' || keyword[0] == ';') continue;
        if (!(words >> value)) continue;
        if (keyword == "nameserver") {
            if (IsIPv4Text(value) && !ListHas(*nameServers, value)) AppendWord(*nameServers, value);
        } else if (keyword == "domain" || keyword == "search") {
            *domain = value;
        }
    }
}

std::vector<InterfaceAddress> SystemInterfaces() {
    std::vector<InterfaceAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return result;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        InterfaceAddress item;
        item.name = entry->ifa_name ? entry->ifa_name : "";
        item.address = ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        if (entry->ifa_netmask) item.mask = ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        result.push_back(item);
    }
    freeifaddrs(list);
    return result;
}

}  // namespace

WordOrder MachineWordOrder() { return IsLittleEndian() ? WordOrder::LittleEndian : WordOrder::BigEndian; }

// /proc/net/route: a header line, then "Iface Destination Gateway Flags
// RefCnt Use Metric Mask ..." with the addresses in hex as said above.
std::string DefaultGateways(const std::string& routeText, WordOrder order) {
    constexpr unsigned long RTF_UP_FLAG = 0x1, RTF_GATEWAY_FLAG = 0x2;
    std::istringstream lines(routeText);
    std::string line, gateways;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        char iface[64];
        unsigned long destination, gateway, flags, refcnt, use, metric, mask;
        if (std::sscanf(line.c_str(), "%63s %lx %lx %lx %lu %lu %lu %lx", iface, &destination, &gateway, &flags,
                        &refcnt, &use, &metric, &mask) != 8) {
            continue;
        }
        if (destination != 0 || mask != 0 || gateway == 0) continue;
        if ((flags & RTF_UP_FLAG) == 0 || (flags & RTF_GATEWAY_FLAG) == 0) continue;
        const uint32_t word = static_cast<uint32_t>(gateway);
        // On a big-endian machine the word is the address in host order
        // already; on a little-endian one its first octet is the low byte.
        const uint32_t hostOrder = order == WordOrder::BigEndian ? word : SwapBytes32(word);
        std::string text = FormatAddress(hostOrder);
        if (!ListHas(gateways, text)) AppendWord(gateways, text);
    }
    return gateways;
}

// No desktop to show a box on: the warning goes to the main log and to
// standard error.
void ShowStaticAddressWarning() {
    WriteLog(0, "%s\n", STATIC_ADDRESS_WARNING);
    std::fprintf(stderr, "%s\n", STATIC_ADDRESS_WARNING);
}

void SetAdapterSources(const AdapterSources& replacement) {
    std::lock_guard<std::mutex> guard(sources_lock);
    sources = replacement;
}

void FillAdapterSettings(ServerSettings& settings, const std::vector<InterfaceAddress>& interfaces,
                         const std::string& routeText, const std::string& resolvText) {
    CopySetting(settings.IPAddress, "");
    CopySetting(settings.DNSServer, "");
    CopySetting(settings.Routers, "");
    CopySetting(settings.WINSServer, "");
    CopySetting(settings.DomainName, "");

    for (const InterfaceAddress& item : interfaces) {
        if (!item.up || item.loopback) continue;
        CopySetting(settings.IPAddress, FormatAddress(item.address).c_str());
        CopySetting(settings.SubnetMask, FormatAddress(item.mask).c_str());
        break;
    }
    CopySetting(settings.Routers, DefaultGateways(routeText, MachineWordOrder()).c_str());
    std::string nameServers, domain;
    ReadResolver(resolvText, &nameServers, &domain);
    CopySetting(settings.DNSServer, nameServers.c_str());
    CopySetting(settings.DomainName, domain.c_str());
}

void discoverAdapterSettings() {
    AdapterSources paths;
    {
        std::lock_guard<std::mutex> guard(sources_lock);
        paths = sources;
    }
    std::vector<InterfaceAddress> interfaces = SystemInterfaces();
    std::string routeText = ReadText(paths.routeFile);
    std::string resolvText = ReadText(paths.resolvFile);
    UpdateSettings([&](ServerSettings& settings) { FillAdapterSettings(settings, interfaces, routeText, resolvText); });
    WarnWhenNoStaticAddress(*CurrentSettings());
}
