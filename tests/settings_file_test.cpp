// NIMBO.INI loading and saving: defaults, every section's rules, hostile
// host names and a round trip of everything the file holds.
#include "config/settings_file.h"

#include <gtest/gtest.h>

#include "scratch_server.h"

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "config/profile_file.h"
#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/ip_address.h"
#include "base/log.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

constexpr uint64_t HOUR = 3600ULL * FILETIME_TICKS_PER_SECOND;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServerState();
        UseLogDirectory(dir_.path());
        SetTestClock(TEST_EPOCH);
        SetIniPath(ini());
        // What the adapter discovery would have found.
        UpdateSettings([](ServerSettings& s) {
            CopySetting(s.IPAddress, "192.0.2.10");
            CopySetting(s.SubnetMask, "255.255.255.0");
            CopySetting(s.DNSServer, "198.51.100.53");
        });
    }
    void TearDown() override {
        ResetServerState();
        ClearLogPaths();
    }

    std::string ini() const { return dir_.file("NIMBO.INI"); }
    void writeIni(const std::string& text) const { WriteFile(ini(), text); }
    ProfileFile file() const {
        ProfileFile model;
        model.loadText(ReadFile(ini()));
        return model;
    }
    std::vector<std::string> mainLog() const { return LogTexts(MainLogPath()); }
    std::vector<std::string> addressLog() const { return LogTexts(AddressLogPath()); }
    static bool Has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Empties the stores, as a restart would, and loads the file again.
    void restart() {
        ClearLeaseTable();
        ClearReservations();
        ClearRangeTables();
        loadSettings();
    }

    ScratchDir dir_;
};

Lease MakeLease(const char* name, std::vector<uint8_t> id, uint32_t address, uint64_t expiry) {
    Lease lease;
    lease.setHostName(name);
    lease.setClientId(id.data(), id.size());
    lease.address = address;
    lease.expiry = expiry;
    return lease;
}

TEST_F(SettingsFileTest, FirstRunWithoutFileUsesDiscoveryAndDefaultsAndWritesThem) {
    loadSettings();
    auto s = CurrentSettings();
    EXPECT_STREQ(s->IPAddress, "192.0.2.10");
    EXPECT_EQ(s->serverAddress, 0xC000020Au);
    EXPECT_EQ(s->subnetMask, 0xFFFFFF00u);
    EXPECT_EQ(s->LeaseTime, 259200u);
    EXPECT_TRUE(s->AutoRefresh);
    EXPECT_FALSE(s->BindToAll);
    ASSERT_EQ(s->userOptions.size(), 101u);
    EXPECT_TRUE(std::all_of(s->userOptions.begin(), s->userOptions.end(), [](const std::string& o) { return o.empty(); }));
    EXPECT_EQ(MainLogLimit(), 1000u * 1024u);
    EXPECT_EQ(AddressLogLimit(), 100u * 1024u);
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "192.0.2.1-192.0.2.254");
    // The server's own address lies in the range and becomes an exception;
    // the DNS server outside it does not.
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.10");
    auto log = mainLog();
    EXPECT_TRUE(Has(log, "Local IP Address = 192.0.2.10"));
    EXPECT_TRUE(Has(log, "Subnet Mask = 255.255.255.0"));
    EXPECT_TRUE(Has(log, "DNS Server = 198.51.100.53"));
    EXPECT_TRUE(Has(log, "WINS Server = "));
    EXPECT_TRUE(Has(log, "Address Ranges = 192.0.2.1-192.0.2.254"));
    EXPECT_TRUE(Has(log, "Exceptions = 192.0.2.10"));

    saveSettings();
    EXPECT_EQ(ReadFile(ini()),
              "[Logging]\r\nMainLogSize=1000\r\nAddressLogSize=100\r\n\r\n"
              "[Server]\r\nIPAddress=192.0.2.10\r\nRanges=192.0.2.1-192.0.2.254\r\nExceptions=192.0.2.10\r\n"
              "SubnetMask=255.255.255.0\r\nDNSServer=198.51.100.53\r\nWINSServer=\r\nRouters=\r\nDomainName=\r\n"
              "NextBootServer=\r\nBootFile=\r\nLeaseTime=259200\r\nAutoRefresh=Yes\r\n");
    EXPECT_FALSE(FileExists(ini() + ".tmp"));
}

TEST_F(SettingsFileTest, LoggingServerAndOptionValues) {
    writeIni(
        "[Logging]\nMainLogSize=10\nAddressLogSize=99999999999\n"
        "[Server]\nLeaseTime=-1\nAutoRefresh=y\nBindToAll=2\nBootFile=" + std::string(200, 'b') +
        "\nNextBootServer=%1.%2.%3.5\nDomainName=example.org\n"
        "[Options]\nMaxOption=300\noption3=i%a\noption255=s last\noption256=never\n");
    loadSettings();
    auto s = CurrentSettings();
    EXPECT_EQ(MainLogLimit(), 51200u);
    EXPECT_EQ(AddressLogLimit(), 4194303u * 1024u);  // the largest that fits 32 bits
    EXPECT_EQ(s->LeaseTime, UNLIMITED_LEASE_TIME);
    EXPECT_TRUE(s->AutoRefresh);
    EXPECT_TRUE(s->BindToAll);
    EXPECT_EQ(std::string(s->BootFile), std::string(127, 'b'));
    EXPECT_STREQ(s->NextBootServer, "%1.%2.%3.5");
    ASSERT_EQ(s->userOptions.size(), 256u);
    EXPECT_EQ(s->userOptions[3], "i%a");
    EXPECT_EQ(s->userOptions[255], "s last");

    saveSettings();
    ProfileFile saved = file();
    EXPECT_EQ(saved.getString("Logging", "MainLogSize", ""), "50");
    EXPECT_EQ(saved.getString("Server", "LeaseTime", ""), "-1");
    EXPECT_EQ(saved.getString("Server", "AutoRefresh", ""), "Yes");
    EXPECT_EQ(saved.getString("Server", "DomainName", ""), "example.org");
    // Keys the program never writes stay as they were.
    EXPECT_EQ(saved.getString("Server", "BindToAll", ""), "2");
    EXPECT_EQ(saved.getString("Options", "option256", ""), "never");

    for (const char* off : {"1", "true", "No", ""}) {
        writeIni(std::string("[Server]\nAutoRefresh=") + off + "\n[Options]\nMaxOption=-5\n");
        loadSettings();
        EXPECT_FALSE(CurrentSettings()->AutoRefresh) << off;
        EXPECT_TRUE(CurrentSettings()->userOptions.empty());
    }
    saveSettings();
    EXPECT_EQ(file().getString("Server", "AutoRefresh", ""), "No");
}

TEST_F(SettingsFileTest, RangesExceptionsAndGateways) {
    writeIni(
        "[Server]\nIPAddress=192.0.2.10\nRanges=192.0.2.100-192.0.2.200\nExceptions=192.0.2.150\n"
        "DNSServer=192.0.2.120 198.51.100.53\nRouters=192.0.2.1\n"
        "[GW3]\nGateway=198.51.100.1\nRanges=198.51.100.10-198.51.100.20\nExceptions=198.51.100.15\n"
        "SubnetMask=255.255.255.192\nRouters=%1.%2.%3.1\n"
        "[GW7]\nGateway=0.0.0.0\nRanges=203.0.113.1-203.0.113.9\nRouters=203.0.113.1\n"
        "[GW8]\nGateway=198.51.100.1\nRanges=198.51.100.30-198.51.100.40\n"
        "[GW9]\nGateway=203.0.113.65\nRanges=203.0.113.70-203.0.113.80\nRouters=%a\nNote=kept\n");
    loadSettings();
    // The DNS server inside the range joins the exceptions; the router and a
    // server address outside it do not.
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.150,192.0.2.120");
    EXPECT_TRUE(Has(mainLog(), "Exceptions = 192.0.2.150,192.0.2.120"));
    // A later section of the same gateway replaces the earlier one.
    EXPECT_EQ(GatewayRanges(0xC6336401u), "198.51.100.30-198.51.100.40");
    EXPECT_EQ(GatewayExceptions(0xC6336401u), "");
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "192.0.2.100-192.0.2.200");
    // So do its own settings (GW8 has none); a skipped section gives none.
    std::map<uint32_t, GatewaySettings> own = CurrentSettings()->gatewaySettings;
    ASSERT_EQ(own.size(), 1u);
    EXPECT_STREQ(own[0xCB007141u].SubnetMask, "");
    EXPECT_STREQ(own[0xCB007141u].Routers, "%a");

    saveSettings();
    ProfileFile saved = file();
    EXPECT_EQ(saved.getString("Server", "Exceptions", ""), "192.0.2.150,192.0.2.120");
    EXPECT_EQ(saved.getString("GW3", "Ranges", ""), "198.51.100.10-198.51.100.20");
    // The relay sections are the administrator's: every key stays.
    EXPECT_EQ(saved.getString("GW3", "SubnetMask", ""), "255.255.255.192");
    EXPECT_EQ(saved.getString("GW3", "Routers", ""), "%1.%2.%3.1");
    EXPECT_EQ(saved.getString("GW9", "Routers", ""), "%a");
    EXPECT_EQ(saved.getString("GW9", "Note", ""), "kept");
}

// Items that cannot serve as written are named at load, once each: a high
// end below the low end (a dropped octet reads as 192.0.0.2) and a bound
// that does not parse (it reads as 255.255.255.255), also in exceptions and
// relay sections. Good items, 255.255.255.255 written as such and empty
// items pass without a word; the texts stay as written.
TEST_F(SettingsFileTest, UnusableRangeItemsAreNamedAtLoad) {
    const std::string ranges = "192.0.2.10-192.0.2,192.0.2.20 - 192.0.2.30,,192.0.2.40,192.0.2.50-x,255.255.255.255";
    writeIni("[Server]\nIPAddress=192.0.2.10\nRanges=" + ranges +
             "\nExceptions=192.0.2.45-192.0.2.44,junk\n"
             "[GW2]\nGateway=198.51.100.1\nRanges=198.51.100.9-198.51.100.5,198.51.100.20\n");
    loadSettings();
    std::vector<std::string> named;
    for (const std::string& line : mainLog())
        if (line.find(" item \"") != std::string::npos) named.push_back(line);
    EXPECT_EQ(named, (std::vector<std::string>{
                         "Ranges item \"192.0.2.10-192.0.2\" in [Server] holds no address: its high end reads as "
                         "192.0.0.2, below its low end",
                         "Ranges item \"192.0.2.20 - 192.0.2.30\" in [Server]: \" 192.0.2.30\" is not an address and "
                         "reads as 255.255.255.255",
                         "Ranges item \"192.0.2.50-x\" in [Server]: \"x\" is not an address and reads as 255.255.255.255",
                         "Exceptions item \"192.0.2.45-192.0.2.44\" in [Server] holds no address: its high end reads "
                         "as 192.0.2.44, below its low end",
                         "Exceptions item \"junk\" in [Server]: \"junk\" is not an address and reads as 255.255.255.255",
                         "Ranges item \"198.51.100.9-198.51.100.5\" in [GW2] holds no address: its high end reads as "
                         "198.51.100.5, below its low end",
                     }));
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), ranges);
}

// A later section of a name already seen is ignored at load and named in
// the log. [Leases] and [Reservations] are rewritten whole by the saves,
// which drop the stale copy (kept, it would bring its leases back once the
// first is gone); other sections keep it.
TEST_F(SettingsFileTest, RepeatedSectionsAreNamedAtLoad) {
    writeIni("[Server]\nIPAddress=192.0.2.10\n[Leases]\npc1~01=c000020b.ffffffff.ffffffff\n"
             "[GW1]\nGateway=198.51.100.1\n[leases]\nstale~02=c000020c.ffffffff.ffffffff\n"
             "[Server]\nIPAddress=192.0.2.99\n");
    loadSettings();
    EXPECT_STREQ(CurrentSettings()->IPAddress, "192.0.2.10");
    ASSERT_EQ(SnapshotLeases().size(), 1u);
    std::vector<std::string> named;
    for (const std::string& line : mainLog())
        if (line.rfind("Section [", 0) == 0) named.push_back(line);
    EXPECT_EQ(named, (std::vector<std::string>{
                         "Section [leases] appears again in NIMBO.INI: the later one is ignored and will be dropped "
                         "at the next save",
                         "Section [Server] appears again in NIMBO.INI: the later one is ignored",
                     }));
    saveLeases();
    EXPECT_EQ(ReadFile(ini()).find("stale~02"), std::string::npos);
}

TEST_F(SettingsFileTest, ServerTemplatesNeverJoinTheExceptions) {
    // A range that reaches 255.255.255.255, where a text that doesn't parse lands.
    writeIni("[Server]\nIPAddress=192.0.2.10\nRanges=192.0.2.100-255.255.255.255\nExceptions=\n"
             "DNSServer=%1.%2.%3.53;192.0.2.200\nRouters=junk\n");
    loadSettings();
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.200");
    for (int start = 0; start < 2; ++start) {
        saveSettings();
        restart();
    }
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.200");
}

TEST_F(SettingsFileTest, UnusableServerAddressLeavesTheFileValues) {
    writeIni("[Server]\nIPAddress=192.0.2.10\nSubnetMask=255.255.255.0\nRanges=192.0.2.5-192.0.2.6\nExceptions=x\n");
    loadSettings();
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "0.0.0.0");
        CopySetting(s.SubnetMask, "");
    });
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.7-192.0.2.8");
    saveSettings();
    ProfileFile saved = file();
    EXPECT_EQ(saved.getString("Server", "IPAddress", ""), "192.0.2.10");
    EXPECT_EQ(saved.getString("Server", "SubnetMask", ""), "255.255.255.0");
    EXPECT_EQ(saved.getString("Server", "Ranges", ""), "192.0.2.5-192.0.2.6");
    EXPECT_EQ(saved.getString("Server", "Exceptions", ""), "x");
}

TEST_F(SettingsFileTest, ReservationKindsAndPrefixes) {
    writeIni(
        "[Reservations]\n00-A0-C9-12-34-56=192.0.2.20\n00:A0:C9:12:34:56=192.0.2.21\n"
        "@M-00-a0-c9-aa-bb-cc=192.0.2.22\n@H-printer=192.0.2.23\n@m-lower=192.0.2.24\n"
        "=192.0.2.25\nabcdefghijabcdefghijabcdefghij-long=junk\n");
    loadSettings();
    auto list = SnapshotReservations();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].kind, ByHardwareAddress);
    EXPECT_STREQ(list[0].key, "00-A0-C9-12-34-56");
    EXPECT_EQ(list[0].address, 0xC0000214u);
    EXPECT_EQ(list[1].kind, ByHostName);
    EXPECT_EQ(list[2].kind, ByHardwareAddress);
    EXPECT_STREQ(list[2].key, "00-a0-c9-aa-bb-cc");
    EXPECT_EQ(list[3].kind, ByHostName);
    EXPECT_STREQ(list[3].key, "printer");
    EXPECT_EQ(list[4].kind, ByHostName);  // the prefix compares with case
    EXPECT_STREQ(list[4].key, "@m-lower");
    EXPECT_EQ(std::string(list[5].key).size(), 31u);
    EXPECT_EQ(list[5].address, ADDRESS_NONE);
    EXPECT_TRUE(Has(mainLog(), "Reserve: (1) 00-A0-C9-12-34-56 -> 192.0.2.20"));
    EXPECT_TRUE(Has(mainLog(), "Reserve: (0) @H-printer -> 192.0.2.23"));
    // A value that is no address: never offered (it would be offered as
    // 255.255.255.255 and refused for ever), reported once, kept as written.
    auto log = mainLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.find("junk") != l.npos; }), 2);
    EXPECT_TRUE(Has(log, "Reservation abcdefghijabcdefghijabcdefghij-long has no valid address (junk) - not used"));
    EXPECT_EQ(CheckReservations(Client("abcdefghijabcdefghijabcdefghij-")), 0u);

    saveReservations();
    EXPECT_EQ(file().keyNames("Reservations"),
              (std::vector<std::string>{"@M-00-A0-C9-12-34-56", "@H-00:A0:C9:12:34:56", "@M-00-a0-c9-aa-bb-cc",
                                        "@H-printer", "@H-@m-lower", "@H-abcdefghijabcdefghijabcdefghij-"}));
    EXPECT_EQ(file().getString("Reservations", "@M-00-A0-C9-12-34-56", ""), "192.0.2.20");
    EXPECT_EQ(file().getString("Reservations", "@H-abcdefghijabcdefghijabcdefghij-", ""), "junk");
    restart();
    EXPECT_EQ(SnapshotReservations().size(), 6u);
}

TEST_F(SettingsFileTest, LeaseEntriesAsTheFileHoldsThem) {
    writeIni(
        "[Leases]\n"
        "pc1~0100a0c9123456=c0000205.ffffffff.ffffffff\n"
        "noid~=c0000206.ffffffff.ffffffff\n"
        "twofields~01=c0a80a05.ffffffff\n"
        "notilde=c0000207.ffffffff.ffffffff\n"
        "odd~0102f=c0000208.ffffffff.ffffffff\n"
        "a~b~c~0a0b=c0000209.ffffffff.ffffffff\n"
        "expired~01=c000020a.01dc0000.00000000\n"
        "deleted~02=ffffffff.ffffffff.ffffffff\n"
        "PC1~0100A0C9123456=c000020b.ffffffff.ffffffff\n");
    loadSettings();
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 4u);
    EXPECT_STREQ(leases[0].hostName, "pc1");
    EXPECT_EQ(leases[0].clientId, (std::vector<uint8_t>{0x01, 0x00, 0xa0, 0xc9, 0x12, 0x34, 0x56}));
    EXPECT_EQ(leases[0].address, 0xC0000205u);
    EXPECT_TRUE(IsNeverExpiring(leases[0].expiry));
    EXPECT_STREQ(leases[1].hostName, "noid");
    EXPECT_TRUE(leases[1].clientId.empty());
    EXPECT_TRUE(leases[1].clientIdPresent);
    EXPECT_STREQ(leases[2].hostName, "odd");  // the odd last digit is ignored
    EXPECT_EQ(leases[2].clientId, (std::vector<uint8_t>{0x01, 0x02}));
    EXPECT_STREQ(leases[3].hostName, "a~b~c");  // split at the last "~"
    EXPECT_EQ(leases[3].clientId, (std::vector<uint8_t>{0x0a, 0x0b}));
    EXPECT_TRUE(Has(addressLog(), "Restore Lease for pc1 (01-00-a0-c9-12-34-56) of 192.0.2.5"));
    EXPECT_TRUE(Has(mainLog(), "Active Lease: pc1 -> 192.0.2.5"));
    EXPECT_TRUE(Has(mainLog(), "Active Lease: noid -> 192.0.2.6"));
}

TEST_F(SettingsFileTest, LeasesSharingAKeyKeepTheLaterValue) {
    AppendLease(MakeLease("pc1", {1, 2}, 0xC0000205u, NEVER_EXPIRES));
    AppendLease(MakeLease("other", {3}, 0xC0000206u, NEVER_EXPIRES));
    AppendLease(MakeLease("PC1", {1, 2}, 0xC0000207u, NEVER_EXPIRES));
    MarkLeasesDirty();
    saveLeases();
    EXPECT_FALSE(LeasesDirty.load());
    EXPECT_EQ(file().keyNames("Leases"), (std::vector<std::string>{"pc1~0102", "other~03"}));
    EXPECT_EQ(file().getString("Leases", "pc1~0102", ""), "c0000207.ffffffff.ffffffff");
    restart();
    ASSERT_EQ(SnapshotLeases().size(), 2u);
    EXPECT_EQ(SnapshotLeases()[0].address, 0xC0000207u);
}

TEST_F(SettingsFileTest, HostileHostNamesStayOneLease) {
    const char* names[] = {"evil\r\n[Server]\r\nIPAddress=1.2.3.4", "a=b", "[Server]", ";x", " x ", "a~b", "\x01\x7f"};
    uint32_t address = 0xC0000210u;
    for (const char* name : names) AppendLease(MakeLease(name, {0xaa, static_cast<uint8_t>(address)}, address++, NEVER_EXPIRES));
    saveSettings();
    ProfileFile saved = file();
    EXPECT_EQ(saved.sectionNames(), (std::vector<std::string>{"Logging", "Server", "Leases"}));
    EXPECT_EQ(saved.getString("Server", "IPAddress", ""), "192.0.2.10");
    EXPECT_EQ(saved.keyNames("Leases").size(), 7u);

    restart();
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), 7u);
    const char* expected[] = {"evil__[Server]__IPAddress_1.2.3", "a_b", "_Server]", "_x", "_x_", "a~b", "__"};
    for (size_t i = 0; i < leases.size(); ++i) {
        EXPECT_STREQ(leases[i].hostName, expected[i]);
        EXPECT_EQ(leases[i].address, 0xC0000210u + i);
        EXPECT_EQ(leases[i].clientId.size(), 2u);
    }
    EXPECT_STREQ(CurrentSettings()->IPAddress, "192.0.2.10");
}

TEST_F(SettingsFileTest, SettingTextsCannotBreakLines) {
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.DomainName, "example.org\r\n[Leases]\r\nx~01=01010101.ffffffff.ffffffff");
        CopySetting(s.BootFile, " padded ");
    });
    saveSettings();
    restart();
    EXPECT_TRUE(SnapshotLeases().empty());
    EXPECT_STREQ(CurrentSettings()->DomainName, "example.org__[Leases]__x~01=01010101.ffffffff.ffffffff");
    EXPECT_STREQ(CurrentSettings()->BootFile, " padded ");
}

TEST_F(SettingsFileTest, RoundTripOfEverything) {
    writeIni("; kept comment\r\n[Custom]\r\nmine=1\r\n");
    loadSettings();
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.0.2.1");
        CopySetting(s.SubnetMask, "255.255.0.0");
        CopySetting(s.DNSServer, "%1.%2.0.53, 198.51.100.54");
        CopySetting(s.WINSServer, "198.51.100.55");
        CopySetting(s.Routers, "%1.%2.%3.1");
        CopySetting(s.DomainName, "lan.example");
        CopySetting(s.NextBootServer, "192.0.2.2");
        CopySetting(s.BootFile, "pxelinux.0");
        s.LeaseTime = 3600;
        s.AutoRefresh = false;
    });
    SetMainLogLimit(2048 * 1024);
    SetAddressLogLimit(64 * 1024);
    SetGatewayRanges(LOCAL_GATEWAY, "192.0.2.100-192.0.2.199,192.0.2.250");
    SetGatewayExceptions(LOCAL_GATEWAY, "192.0.2.150");
    Reservation hw;
    hw.kind = ByHardwareAddress;
    hw.setKey("00-a0-c9-12-34-56");
    hw.address = 0xC0000264u;
    AppendReservation(hw);
    Reservation host;
    host.setKey("printer");
    host.address = 0xC0000265u;
    AppendReservation(host);

    std::vector<uint8_t> longId(255);
    for (size_t i = 0; i < longId.size(); ++i) longId[i] = static_cast<uint8_t>(i);
    AppendLease(MakeLease("forever", {1, 2, 3}, 0xC0000270u, NEVER_EXPIRES));
    AppendLease(MakeLease("longid", longId, 0xC0000271u, TEST_EPOCH + 24 * HOUR));
    AppendLease(MakeLease("gone", {9}, DELETED_ADDRESS, TEST_EPOCH + HOUR));
    for (uint32_t i = 0; i < 10000; ++i)
        AppendLease(MakeLease(("host" + std::to_string(i)).c_str(), {0x01, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)},
                              0x0A000000u + i, TEST_EPOCH + (i + 1) * HOUR));
    auto before = CurrentSettings();
    auto leasesBefore = SnapshotLeases();
    saveSettings();

    ProfileFile saved = file();
    EXPECT_EQ(saved.getString("Custom", "mine", ""), "1");
    EXPECT_EQ(saved.getString("Leases", "gone~09", "").substr(0, 9), "ffffffff.");
    EXPECT_EQ(saved.keyNames("Leases").size(), 10003u);
    EXPECT_NE(ReadFile(ini()).find("; kept comment\r\n"), std::string::npos);

    ResetSettings();
    restart();
    auto after = CurrentSettings();
    EXPECT_STREQ(after->IPAddress, before->IPAddress);
    EXPECT_EQ(after->serverAddress, 0xC0000201u);
    EXPECT_STREQ(after->SubnetMask, before->SubnetMask);
    EXPECT_STREQ(after->DNSServer, before->DNSServer);
    EXPECT_STREQ(after->WINSServer, before->WINSServer);
    EXPECT_STREQ(after->Routers, before->Routers);
    EXPECT_STREQ(after->DomainName, before->DomainName);
    EXPECT_STREQ(after->NextBootServer, before->NextBootServer);
    EXPECT_STREQ(after->BootFile, before->BootFile);
    EXPECT_EQ(after->LeaseTime, 3600u);
    EXPECT_FALSE(after->AutoRefresh);
    EXPECT_EQ(MainLogLimit(), 2048u * 1024u);
    EXPECT_EQ(AddressLogLimit(), 64u * 1024u);
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "192.0.2.100-192.0.2.199,192.0.2.250");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "192.0.2.150");  // no listed server lies in the range
    auto reservations = SnapshotReservations();
    ASSERT_EQ(reservations.size(), 2u);
    EXPECT_EQ(reservations[0].kind, ByHardwareAddress);
    EXPECT_STREQ(reservations[0].key, "00-a0-c9-12-34-56");
    EXPECT_EQ(reservations[1].kind, ByHostName);
    EXPECT_EQ(reservations[1].address, 0xC0000265u);

    // The deleted lease is written, then swept at load.
    auto leases = SnapshotLeases();
    ASSERT_EQ(leases.size(), leasesBefore.size() - 1);
    leasesBefore.erase(leasesBefore.begin() + 2);
    for (size_t i = 0; i < leases.size(); ++i) {
        EXPECT_STREQ(leases[i].hostName, leasesBefore[i].hostName);
        EXPECT_EQ(leases[i].clientId, leasesBefore[i].clientId);
        EXPECT_EQ(leases[i].address, leasesBefore[i].address);
        EXPECT_EQ(leases[i].expiry, leasesBefore[i].expiry);
    }
}

TEST_F(SettingsFileTest, SavesWhileTheServerThreadAddsLeases) {
    loadSettings();
    saveSettings();
    std::thread server([] {
        for (uint32_t i = 0; i < 300; ++i) {
            uint8_t id[2] = {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
            AddLease(Client(("pc" + std::to_string(i)).c_str(), id), 0xC0000200u + i % 200, 3600);
        }
    });
    for (int i = 0; i < 20; ++i) {
        if (i % 5 == 0)
            saveSettings();
        else
            saveLeases();
    }
    server.join();
    if (LeasesDirty.load()) saveLeases();
    ProfileFile saved = file();
    EXPECT_EQ(saved.keyNames("Leases").size(), SnapshotLeases().size());
    EXPECT_EQ(saved.getString("Server", "IPAddress", ""), "192.0.2.10");
    EXPECT_EQ(saved.getString("Logging", "MainLogSize", ""), "1000");
}

// NIMBO.INI saved by Notepad as "Unicode": every setting is read, and the
// next save writes UTF-16 again instead of appending 8-bit text to it.
TEST_F(SettingsFileTest, UnicodeFileIsReadAndSavedAsUnicode) {
    std::u16string text = u"[Server]\r\nIPAddress=192.0.2.10\r\nLeaseTime=600\r\nRanges=192.0.2.50-192.0.2.60\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    writeIni(bytes);
    loadSettings();
    EXPECT_EQ(CurrentSettings()->LeaseTime, 600u);
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "192.0.2.50-192.0.2.60");
    AppendLease(MakeLease("pc1", {1}, 0xC0000232u, NEVER_EXPIRES));
    ASSERT_TRUE(saveSettings());
    const std::string saved = ReadFile(ini());
    ASSERT_GE(saved.size(), 4u);
    EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(saved.size() % 2, 0u);
    EXPECT_EQ(saved.find("LeaseTime"), std::string::npos);  // no 8-bit text in it
    EXPECT_EQ(file().getString("Leases", "pc1~01", ""), "c0000232.ffffffff.ffffffff");
    EXPECT_EQ(file().getString("Server", "LeaseTime", ""), "600");
}

TEST_F(SettingsFileTest, FailedLeaseWriteIsRetriedAndLoggedOnce) {
    SetIniPath(dir_.file("missing-dir/NIMBO.INI"));
    AppendLease(MakeLease("pc1", {1}, 0xC0000205u, NEVER_EXPIRES));
    MarkLeasesDirty();
    EXPECT_FALSE(saveLeases());
    EXPECT_TRUE(LeasesDirty.load());
    saveLeases();
    // A whole save that fails leaves the leases for the timer's next try too.
    EXPECT_FALSE(saveSettings());
    EXPECT_TRUE(LeasesDirty.load());
    auto log = mainLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Cannot write ", 0) == 0; }), 1);
    SetIniPath(ini());
    saveLeases();
    EXPECT_FALSE(LeasesDirty.load());
    EXPECT_EQ(file().getString("Leases", "pc1~01", ""), "c0000205.ffffffff.ffffffff");
}

#ifndef _WIN32
// Sets or clears the immutable flag (chattr +i); false where the file
// system or the process's rights do not allow it.
bool SetImmutable(const std::string& path, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
}

// NIMBO.INI as administrators keep it on Linux: a link into another
// directory, a mode and a group of their choosing. A save writes through
// the link and keeps mode, owner and group, whatever a stale or planted
// temporary file is; a file that may not be written (no write permission,
// or immutable) is a failed save that loses nothing. A link to another
// user's file is neither read nor written (as root, for that other user).
TEST_F(SettingsFileTest, SavesWriteThroughLinksKeepModeAndOwnerAndRespectReadOnlyFiles) {
    const std::string etc = dir_.file("etc");
    ASSERT_EQ(mkdir(etc.c_str(), 0755), 0);
    const std::string target = etc + "/nimbo.ini";
    WriteFile(target, "[Server]\r\nLeaseTime=600\r\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    ASSERT_EQ(symlink("etc/nimbo.ini", ini().c_str()), 0);
    if (root) {
        ASSERT_EQ(chown(target.c_str(), 1234, 5678), 0);
        loadSettings();
        EXPECT_NE(CurrentSettings()->LeaseTime, 600u);
        EXPECT_FALSE(saveSettings());
        EXPECT_EQ(LastSaveError(), EPERM);
        EXPECT_EQ(ReadFile(target), "[Server]\r\nLeaseTime=600\r\n");
        ASSERT_EQ(chown(target.c_str(), 0, 5678), 0);
        // A temporary file planted as a link to a file it must not touch.
        WriteFile(dir_.file("victim"), "secret");
        ASSERT_EQ(symlink("../victim", (target + ".tmp").c_str()), 0);
        ASSERT_EQ(lchown((target + ".tmp").c_str(), 65534, 65534), 0);
    }
    loadSettings();
    EXPECT_EQ(CurrentSettings()->LeaseTime, 600u);
    AppendLease(MakeLease("pc1", {1}, 0xC0000205u, NEVER_EXPIRES));
    ASSERT_TRUE(saveSettings());
    if (root) {
        EXPECT_EQ(ReadFile(dir_.file("victim")), "secret");
    }

    struct stat link, written;
    ASSERT_EQ(lstat(ini().c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(stat(target.c_str(), &written), 0);
    EXPECT_EQ(written.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(written.st_gid, 5678u);
    }
    EXPECT_EQ(file().getString("Leases", "pc1~01", ""), "c0000205.ffffffff.ffffffff");
    EXPECT_FALSE(FileExists(target + ".tmp"));
    EXPECT_FALSE(FileExists(ini() + ".tmp"));

    // Read-only: refused (as Windows refuses), logged, the file untouched.
    const std::string before = ReadFile(target);
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    AppendLease(MakeLease("pc2", {2}, 0xC0000206u, NEVER_EXPIRES));
    MarkLeasesDirty();
    EXPECT_FALSE(saveLeases());
    EXPECT_EQ(LastSaveError(), EACCES);
    EXPECT_FALSE(saveSettings());
    EXPECT_TRUE(LeasesDirty.load());
    EXPECT_EQ(SnapshotLeases().size(), 2u);
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_TRUE(Has(mainLog(), "Cannot write " + ini() + " (error " + std::to_string(EACCES) + ")"));

    // Immutable: refused even to root.
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    if (!SetImmutable(target, true)) GTEST_SKIP() << "cannot make a file immutable here";
    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(LastSaveError(), EPERM);
    SetImmutable(target, false);
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_TRUE(saveSettings());
    EXPECT_EQ(file().getString("Leases", "pc2~02", ""), "c0000206.ffffffff.ffffffff");
    EXPECT_FALSE(LeasesDirty.load());
}
#endif

}  // namespace
