// Fills IPAddress, SubnetMask, Routers, DNSServer, WINSServer and DomainName
// of ServerSettings from the machine's own TCP/IP configuration (the registry
// on Windows; interfaces, routes and resolv.conf on Linux), before the INI
// file is read over them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ServerSettings;

void discoverAdapterSettings();

// The static-address warning: when [Server] DontWarnAddress of NIMBO.INI is 0
// and IPAddress is exactly "0.0.0.0", tells the administrator (a message box
// on Windows, a level 0 log line and standard error elsewhere).
constexpr const char* STATIC_ADDRESS_WARNING =
    "The DHCP Server needs to be assigned a STATIC IP address on your network. See the NIMBO help file for "
    "instructions.";
void WarnWhenNoStaticAddress(const ServerSettings& settings);
// The platform's way of telling it (adapter_discovery_win32.cpp / _posix.cpp).
void ShowStaticAddressWarning();

#ifdef _WIN32
// The registry walk below a given root key (an HKEY); discoverAdapterSettings
// passes HKEY_LOCAL_MACHINE, tests a scratch key of their own. Fills the
// fields of `settings`, the NT or Windows 95 layout chosen by settings.isNT.
void DiscoverAdapterSettingsUnder(void* rootKey, ServerSettings& settings);
#else
// One IPv4 address of a network interface, as getifaddrs lists it.
struct InterfaceAddress {
    std::string name;
    uint32_t address = 0;  // host order
    uint32_t mask = 0;     // host order
    bool up = false;
    bool loopback = false;
};

// Where the Linux discovery reads the routes and the resolver settings.
struct AdapterSources {
    std::string routeFile = "/proc/net/route";
    std::string resolvFile = "/etc/resolv.conf";
};
void SetAdapterSources(const AdapterSources& sources);

// /proc/net/route prints each address as the hex of the 32-bit word that
// holds its network-order bytes, read in the machine's own byte order.
enum class WordOrder { LittleEndian, BigEndian };
WordOrder MachineWordOrder();
// The gateways of the up default routes of such a table text (file order,
// each once, as dotted quads joined by blanks), for a table printed on a
// machine of the given byte order.
std::string DefaultGateways(const std::string& routeText, WordOrder order);

// The Linux discovery from its inputs: address and mask of the first up,
// non-loopback interface; the gateways of the default routes in the route
// table text (file order, each once); the IPv4 name servers and the domain
// ("domain", or the first name of "search"; the last such line wins) of the
// resolver text. WINSServer stays empty; SubnetMask keeps its value when no
// interface is found. Values longer than a field are cut.
void FillAdapterSettings(ServerSettings& settings, const std::vector<InterfaceAddress>& interfaces,
                         const std::string& routeText, const std::string& resolvText);
#endif
