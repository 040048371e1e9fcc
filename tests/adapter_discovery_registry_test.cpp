// The registry walk of the adapter discovery, against a scratch key tree
// under HKEY_CURRENT_USER laid out like HKEY_LOCAL_MACHINE (NT and Windows 95
// layouts). Runs under Wine in CI.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/adapter_discovery.h"
#include "config/server_settings.h"
#include "base/log.h"
#include "test_support.h"

namespace {

// A private key tree that is deleted again when the test ends.
class ScratchRegistry {
public:
    ScratchRegistry() {
        path_ = "Software\\NimboAdapterTest" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path_.c_str(), &root_), ERROR_SUCCESS);
    }
    ~ScratchRegistry() {
        RegCloseKey(root_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    HKEY root() const { return root_; }

    void text(const std::string& key, const char* name, const std::string& value) {
        set(key, name, REG_SZ, value + '\0');
    }
    // A multi-string from its strings; the list ends with an empty string.
    void multi(const std::string& key, const char* name, const std::vector<std::string>& strings) {
        std::string data;
        for (const std::string& s : strings) data += s + '\0';
        data += '\0';
        set(key, name, REG_MULTI_SZ, data);
    }

private:
    void set(const std::string& key, const char* name, DWORD type, const std::string& data) {
        HKEY handle;
        ASSERT_EQ(RegCreateKeyA(root_, key.c_str(), &handle), ERROR_SUCCESS) << key;
        ASSERT_EQ(RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(handle);
    }
    std::string path_;
    HKEY root_ = nullptr;
};

const std::string SERVICES = "System\\CurrentControlSet\\Services\\";
const std::string PARAMETERS = SERVICES + "TCPIP\\Parameters";
const std::string LINKAGE = SERVICES + "TCPIP\\Linkage";

void Adapter(ScratchRegistry& reg, const std::string& name, const std::string& address, const std::string& mask,
             const std::vector<std::string>& gateways) {
    std::string key = SERVICES + name + "\\Parameters\\TCPIP";
    reg.multi(key, "IPAddress", {address});
    reg.multi(key, "SubnetMask", {mask});
    reg.multi(key, "DefaultGateway", gateways);
}

ServerSettings DiscoverNT(ScratchRegistry& reg) {
    ServerSettings settings;
    settings.isNT = true;
    CopySetting(settings.SubnetMask, "255.0.0.0");
    CopySetting(settings.DNSServer, "stale");
    DiscoverAdapterSettingsUnder(reg.root(), settings);
    return settings;
}

TEST(AdapterDiscoveryRegistry, NtStaticLanAdapterGivesItsAddressGatewayAndWins) {
    ScratchRegistry reg;
    reg.text(PARAMETERS, "Domain", "corp.example");
    reg.multi(LINKAGE, "Bind", {"\\Device\\NimboLan1"});
    Adapter(reg, "NimboLan1", "192.168.1.10", "255.255.255.0", {"192.168.1.1"});
    reg.text(SERVICES + "NetBT\\Adapters\\NimboLan1", "NameServer", "192.168.1.2");
    reg.text(SERVICES + "NetBT\\Adapters\\NimboLan1", "NameServerBackup", "192.168.1.3");
    ServerSettings settings = DiscoverNT(reg);
    EXPECT_STREQ(settings.IPAddress, "192.168.1.10");
    EXPECT_STREQ(settings.SubnetMask, "255.255.255.0");
    EXPECT_STREQ(settings.Routers, "192.168.1.1");
    EXPECT_STREQ(settings.WINSServer, "192.168.1.2 192.168.1.3");
    EXPECT_STREQ(settings.DomainName, "corp.example");
    EXPECT_STREQ(settings.DNSServer, "");  // emptied, and no NameServer value
}

TEST(AdapterDiscoveryRegistry, NtDynamicAdapterBeforeStaticOneAddsItsGatewayFirst) {
    ScratchRegistry reg;
    reg.multi(LINKAGE, "Bind", {"\\Device\\NimboDyn", "\\device\\NimboLan2", "\\Device\\NimboNever"});
    Adapter(reg, "NimboDyn", "0.0.0.0", "0.0.0.0", {"10.9.9.1"});
    Adapter(reg, "NimboLan2", "192.168.2.10", "255.255.0.0", {"192.168.2.1", "192.168.2.254"});
    Adapter(reg, "NimboNever", "192.168.3.10", "255.255.255.0", {"192.168.3.1"});
    ServerSettings settings = DiscoverNT(reg);
    EXPECT_STREQ(settings.IPAddress, "192.168.2.10");
    EXPECT_STREQ(settings.SubnetMask, "255.255.0.0");
    EXPECT_STREQ(settings.Routers, "10.9.9.1 192.168.2.1 192.168.2.254");
    EXPECT_STREQ(settings.WINSServer, "");  // no NetBT key: left empty, the walk still stops
}

TEST(AdapterDiscoveryRegistry, NtOnlyDynamicAdaptersLeaveZeroAddressAndOnlyDialUpLeavesItEmpty) {
    {
        ScratchRegistry reg;
        reg.multi(LINKAGE, "Bind", {"\\Device\\NimboDynA", "\\Device\\NimboDynB"});
        Adapter(reg, "NimboDynA", "0.0.0.0", "0.0.0.0", {});
        Adapter(reg, "NimboDynB", "0.0.0.0", "0.0.0.0", {});
        EXPECT_STREQ(DiscoverNT(reg).IPAddress, "0.0.0.0");
    }
    {
        ScratchRegistry reg;
        reg.multi(LINKAGE, "Bind", {"\\Device\\NdisWanIp", "\\Device\\ndiswan5", "NimboLan3"});
        Adapter(reg, "NdisWanIp", "10.0.0.5", "255.0.0.0", {"10.0.0.1"});
        Adapter(reg, "NimboLan3", "10.0.0.6", "255.0.0.0", {"10.0.0.1"});  // no \Device\ prefix
        ServerSettings settings = DiscoverNT(reg);
        EXPECT_STREQ(settings.IPAddress, "");
        EXPECT_STREQ(settings.Routers, "");
        EXPECT_STREQ(settings.SubnetMask, "255.0.0.0");  // not emptied
    }
}

TEST(AdapterDiscoveryRegistry, NtNameServersLoseTheirSeparatorsAndOverlongBindSkipsTheWalk) {
    ScratchRegistry reg;
    reg.text(PARAMETERS, "NameServer", "10.0.0.1,10.0.0.2;10.0.0.3");
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i) many.push_back("\\Device\\NimboLongAdapterName" + std::to_string(i));
    reg.multi(LINKAGE, "Bind", many);  // over 256 bytes: the read fails
    Adapter(reg, "NimboLongAdapterName0", "192.168.4.10", "255.255.255.0", {"192.168.4.1"});
    ServerSettings settings = DiscoverNT(reg);
    EXPECT_STREQ(settings.DNSServer, "10.0.0.1 10.0.0.2 10.0.0.3");
    EXPECT_STREQ(settings.IPAddress, "");
}

TEST(AdapterDiscoveryRegistry, NtGatewayListsAreCutToTheField) {
    ScratchRegistry reg;
    reg.multi(LINKAGE, "Bind", {"\\Device\\NimboA", "\\Device\\NimboB", "\\Device\\NimboC"});
    std::vector<std::string> gateways;
    for (int i = 0; i < 15; ++i) gateways.push_back("172.16.100." + std::to_string(100 + i));  // 14 bytes each
    Adapter(reg, "NimboA", "0.0.0.0", "0.0.0.0", gateways);
    Adapter(reg, "NimboB", "0.0.0.0", "0.0.0.0", gateways);
    Adapter(reg, "NimboC", "0.0.0.0", "0.0.0.0", gateways);
    ServerSettings settings = DiscoverNT(reg);
    EXPECT_EQ(std::string(settings.Routers).size(), SETTING_TEXT_SIZE - 1);
    EXPECT_EQ(std::string(settings.Routers).rfind("172.16.100.100 172.16.100.101", 0), 0u);
}

TEST(AdapterDiscoveryRegistry, Windows95SkipsTheDialUpTransportAndReadsMstcp) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    ScratchRegistry reg;
    reg.text("Enum\\Root\\Net\\0000", "HardwareID", "*PNP8387");
    reg.text("Enum\\Root\\Net\\0000\\Bindings", "NETBEUI\\0002", "");
    reg.text("Enum\\Root\\Net\\0000\\Bindings", "MSTCP\\0001", "");
    reg.text("Enum\\Root\\Net\\0001", "HardwareID", "PCI\\VEN_8086");
    reg.text("Enum\\Network\\MSTCP\\0001", "Driver", "NetTrans\\0001");
    const std::string trans = SERVICES + "Class\\NetTrans\\";
    reg.text(trans + "0000", "IPAddress", "192.168.5.5");
    reg.text(trans + "0000", "IPMask", "255.255.255.0");
    reg.text(trans + "0000", "DefaultGateway", "192.168.5.1,192.168.5.2");
    reg.text(trans + "0001", "IPAddress", "10.1.1.1");  // the dial-up transport: skipped
    reg.text(trans + "0001", "IPMask", "255.0.0.0");
    reg.text(trans + "0002", "IPAddress", "0.0.0.0");   // no address: skipped
    reg.text(SERVICES + "VxD\\MSTCP", "NameServer", "192.168.5.53;192.168.5.54");
    reg.text(SERVICES + "VxD\\MSTCP", "Domain", "home.example");
    reg.text(SERVICES + "VxD\\MSTCP", "NameServer1", "192.168.5.7");
    reg.text(SERVICES + "VxD\\MSTCP", "NameServer2", "192.168.5.8");

    ServerSettings settings;
    settings.isNT = false;
    DiscoverAdapterSettingsUnder(reg.root(), settings);
    EXPECT_STREQ(settings.IPAddress, "192.168.5.5");
    EXPECT_STREQ(settings.SubnetMask, "255.255.255.0");
    EXPECT_STREQ(settings.Routers, "192.168.5.1 192.168.5.2");
    EXPECT_STREQ(settings.DNSServer, "192.168.5.53 192.168.5.54");
    EXPECT_STREQ(settings.DomainName, "home.example");
    EXPECT_STREQ(settings.WINSServer, "192.168.5.7 192.168.5.8");
    std::vector<std::string> lines = LogTexts(MainLogPath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "DUN TCP/IP Registry Key = System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001");
    ClearLogPaths();
}

}  // namespace
