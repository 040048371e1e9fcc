// Linux adapter discovery from sample interface lists, route tables and
// resolver files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/adapter_discovery.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "base/log.h"
#include "test_support.h"

namespace {

const char* ROUTE_HEADER = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

InterfaceAddress Interface(const char* name, uint32_t address, uint32_t mask, bool up = true, bool loopback = false) {
    InterfaceAddress item;
    item.name = name;
    item.address = address;
    item.mask = mask;
    item.up = up;
    item.loopback = loopback;
    return item;
}

ServerSettings Fill(const std::vector<InterfaceAddress>& interfaces, const std::string& route,
                    const std::string& resolv) {
    ServerSettings settings;
    CopySetting(settings.SubnetMask, "255.0.0.0");
    CopySetting(settings.WINSServer, "10.9.9.9");
    CopySetting(settings.IPAddress, "10.1.1.1");
    FillAdapterSettings(settings, interfaces, route, resolv);
    return settings;
}

TEST(AdapterDiscoveryLinux, TakesTheFirstUpNonLoopbackInterface) {
    std::vector<InterfaceAddress> interfaces = {
        Interface("lo", 0x7F000001, 0xFF000000, true, true),
        Interface("eth9", 0xC0000209, 0xFFFFFF00, false),  // down
        Interface("eth0", 0xC633640A, 0xFFFFFF00),         // 198.51.100.10/24
        Interface("eth1", 0xC0000201, 0xFFFF0000),
    };
    ServerSettings settings = Fill(interfaces, "", "");
    EXPECT_STREQ(settings.IPAddress, "198.51.100.10");
    EXPECT_STREQ(settings.SubnetMask, "255.255.255.0");
    EXPECT_STREQ(settings.WINSServer, "");
}

TEST(AdapterDiscoveryLinux, NoInterfaceEmptiesTheAddressButKeepsTheMask) {
    ServerSettings settings = Fill({Interface("lo", 0x7F000001, 0xFF000000, true, true)}, "", "");
    EXPECT_STREQ(settings.IPAddress, "");
    EXPECT_STREQ(settings.SubnetMask, "255.0.0.0");
    EXPECT_STREQ(settings.Routers, "");
    EXPECT_STREQ(settings.DNSServer, "");
    EXPECT_STREQ(settings.DomainName, "");
}

TEST(AdapterDiscoveryLinux, RoutersAreTheGatewaysOfUpDefaultRoutesOnce) {
    std::string route = std::string(ROUTE_HEADER) +
                        // default via 198.51.100.1 (UG)
                        "eth0\t00000000\t016433C6\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                        // the subnet itself: not a default route
                        "eth0\t006433C6\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                        // a default route that is not up
                        "eth1\t00000000\t010200C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"
                        // a second default route, and the first one again
                        "eth1\t00000000\t FE0200C0\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
                        "eth2\t00000000\t016433C6\t0003\t0\t0\t300\t00000000\t0\t0\t0\n"
                        "garbage line\n";
    ServerSettings settings = Fill({}, route, "");
    EXPECT_STREQ(settings.Routers, "198.51.100.1 192.0.2.254");
    EXPECT_EQ(DefaultGateways(route, WordOrder::LittleEndian), "198.51.100.1 192.0.2.254");

    // The same table as a big-endian machine prints it.
    std::string bigEndian = std::string(ROUTE_HEADER) +
                            "eth0\t00000000\tC6336401\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                            "eth0\tC6336400\t00000000\t0001\t0\t0\t100\tFFFFFF00\t0\t0\t0\n"
                            "eth1\t00000000\tC00002FE\t0003\t0\t0\t200\t00000000\t0\t0\t0\n";
    EXPECT_EQ(DefaultGateways(bigEndian, WordOrder::BigEndian), "198.51.100.1 192.0.2.254");
}

TEST(AdapterDiscoveryLinux, ResolverGivesIPv4NameServersAndTheLastDomainOrSearch) {
    std::string resolv =
        "# generated\n"
        "nameserver 192.0.2.53\n"
        "nameserver 2001:db8::53\n"
        "nameserver   192.0.2.54   \n"
        "nameserver 192.0.2.53\n"
        "nameserver\n"
        "domain first.example\n"
        "search lab.example corp.example\n"
        "; options ndots:2\n";
    ServerSettings settings = Fill({}, "", resolv);
    EXPECT_STREQ(settings.DNSServer, "192.0.2.53 192.0.2.54");
    EXPECT_STREQ(settings.DomainName, "lab.example");

    settings = Fill({}, "", "search a.example\ndomain b.example\n");
    EXPECT_STREQ(settings.DomainName, "b.example");
}

TEST(AdapterDiscoveryLinux, OverlongValuesAreCutToTheField) {
    std::string resolv;
    for (int i = 0; i < 40; ++i) resolv += "nameserver 192.0.2." + std::to_string(100 + i) + "\n";
    resolv += "domain " + std::string(400, 'd') + "\n";
    ServerSettings settings = Fill({}, "", resolv);
    EXPECT_EQ(std::string(settings.DNSServer).size(), SETTING_TEXT_SIZE - 1);
    EXPECT_EQ(std::string(settings.DomainName), std::string(SETTING_TEXT_SIZE - 1, 'd'));
}

TEST(AdapterDiscoveryLinux, DiscoveryReadsTheInjectedFilesAndWarnsOnlyForZeroAddress) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    WriteFile(dir.file("route"), std::string(ROUTE_HEADER) + "x0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    WriteFile(dir.file("resolv.conf"), "nameserver 192.0.2.7\nsearch test.example\n");
    SetIniPath(dir.file("NIMBO.INI"));
    SetAdapterSources({dir.file("route"), dir.file("resolv.conf")});
    ResetSettings();
    discoverAdapterSettings();
    EXPECT_STREQ(CurrentSettings()->Routers, "192.0.2.1");
    EXPECT_STREQ(CurrentSettings()->DNSServer, "192.0.2.7");
    EXPECT_STREQ(CurrentSettings()->DomainName, "test.example");
    EXPECT_TRUE(LogTexts(MainLogPath()).empty());

    // The warning: only for exactly "0.0.0.0", and not with DontWarnAddress set.
    ServerSettings zero;
    CopySetting(zero.IPAddress, "0.0.0.0");
    testing::internal::CaptureStderr();
    WarnWhenNoStaticAddress(zero);
    // No message box here: the log and standard error tell it.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(STATIC_ADDRESS_WARNING) + "\n");
    std::vector<std::string> lines = LogTexts(MainLogPath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], STATIC_ADDRESS_WARNING);

    WriteFile(dir.file("NIMBO.INI"), "[server]\r\ndontwarnaddress = 1\r\n");
    WarnWhenNoStaticAddress(zero);
    ServerSettings other;
    CopySetting(other.IPAddress, "0.0.0.1");
    WriteFile(dir.file("NIMBO.INI"), "");
    WarnWhenNoStaticAddress(other);
    EXPECT_EQ(LogTexts(MainLogPath()).size(), 1u);

    SetAdapterSources(AdapterSources{});
    ResetSettings();
    ClearLogPaths();
}

}  // namespace
