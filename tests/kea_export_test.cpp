// The export to Kea: the pool arithmetic, the option decisions against the
// bytes the server sends, the lease rows at a fixed clock, and the command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/clock.h"
#include "base/ip_address.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/reply_options.h"
#include "export/kea_export.h"
#include "export/kea_export_command.h"
#include "export/kea_options.h"
#include "export/kea_pools.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "scratch_server.h"
#include "test_support.h"

namespace {

uint32_t A(const char* text) { return ParseAddress(text); }

std::string Pools(const std::vector<AddressSpan>& pools) {
    std::string text;
    for (const AddressSpan& pool : pools) text += FormatAddress(pool.first) + "-" + FormatAddress(pool.last) + " ";
    return text;
}

TEST(KeaPools, RangesLessExceptionsCutToTheSubnetsHosts) {
    const SubnetPrefix net{A("192.0.2.0"), 24};
    struct Case {
        const char* ranges;
        const char* exceptions;
        std::vector<uint32_t> excluded;
        const char* pools;
        uint64_t outside;
    } cases[] = {
        {"192.0.2.10-192.0.2.50", "192.0.2.10,192.0.2.50", {}, "192.0.2.11-192.0.2.49 ", 0},
        {"192.0.2.10-192.0.2.50", "192.0.2.20,192.0.2.30-192.0.2.35", {},
         "192.0.2.10-192.0.2.19 192.0.2.21-192.0.2.29 192.0.2.36-192.0.2.50 ", 0},
        // Overlapping items join; the server's own address splits a pool.
        {"192.0.2.40-192.0.2.60,192.0.2.10-192.0.2.45", "", {A("192.0.2.30")},
         "192.0.2.10-192.0.2.29 192.0.2.31-192.0.2.60 ", 0},
        // The network and broadcast addresses and what lies beyond the subnet go.
        {"192.0.1.250-192.0.3.4", "192.0.3.0-192.0.3.1", {}, "192.0.2.1-192.0.2.254 ", 6 + 2 + 3},
        // An exception wider than the range, a reversed item, an empty text.
        {"192.0.2.10-192.0.2.20,192.0.2.9-192.0.2.5", "192.0.2.1-192.0.2.100", {}, "", 0},
        {"", "", {}, "", 0},
        // A bound that does not parse reads as 255.255.255.255.
        {"192.0.2.250-x", "", {}, "192.0.2.250-192.0.2.254 ", 0xFFFFFFFFull - A("192.0.2.254")},
    };
    for (const Case& c : cases) {
        const PoolResult result = PoolsOf(c.ranges, c.exceptions, net, c.excluded);
        EXPECT_EQ(Pools(result.pools), c.pools) << c.ranges << " less " << c.exceptions;
        EXPECT_EQ(result.outside, c.outside) << c.ranges;
    }
    EXPECT_EQ(Pools(PoolsOf("192.0.2.0-192.0.2.255", "", {A("192.0.2.6"), 31}, {}).pools), "192.0.2.6-192.0.2.7 ");
    EXPECT_EQ(PrefixLengthOf(A("255.255.255.192")), 26);
    EXPECT_EQ(PrefixLengthOf(A("255.0.255.0")), -1);
}

// What the server sends for a user option text, and whether Kea sends the same.
TEST(KeaOptions, DecisionsOnTheBytesTheServerSends) {
    ServerSettings settings;
    settings.serverAddress = A("192.0.2.1");
    settings.userOptions.assign(256, "");
    struct Case {
        uint8_t code;
        const char* text;
        const char* refusal;  // empty: written
    } cases[] = {
        {26, "W1500", ""},
        {26, "D70000", "Kea would send only 2 of its 4 bytes"},
        {26, "B5", "Kea refuses 1 byte where it takes 2"},
        {94, "B1,2,3", ""},
        {6, "I10.1.1.1,%1.%2.%3.1", ""},
        {3, "I", ""},
        {25, "W", "Kea refuses it empty"},
        {12, "S", "Kea refuses it empty"},
        {66, "B116,0", "Kea would drop its zero bytes"},
        {43, "B1,2", "Kea reads it as a structured value and would send other bytes"},
        {54, "I192.0.2.9", "every reply carries the server's own option of this code, and Kea sends one"},
        {61, "B1,2,3,4,5,6,7", "Kea answers with the client's own identifier"},
    };
    for (const Case& c : cases) {
        settings.userOptions[c.code] = c.text;
        const ConfiguredOption sent = ConfiguredOptionFor(settings, c.code);
        const KeaOptionDecision decision = DecideKeaOption(c.code, sent.value);
        EXPECT_EQ(decision.write, c.refusal[0] == '\0') << int(c.code) << " " << c.text;
        EXPECT_EQ(decision.reason, c.refusal) << int(c.code) << " " << c.text;
        settings.userOptions[c.code].clear();
    }
}

class KeaExportTest : public ::testing::Test {
protected:
    void SetUp() override { ResetServerState(); }
    void TearDown() override { ResetServerState(); }
    ScratchDir dir;
};

// Loaded at one time and exported an hour later: a lease that ran out
// meanwhile stays behind, a placeholder keeps the time it has left, an
// unlimited lease gets Kea's unlimited lifetime from the export's time.
TEST_F(KeaExportTest, LeaseRowsAtTheExportsTime) {
    SetTestClock(TEST_EPOCH);
    const uint64_t in30 = TEST_EPOCH + 30 * 60 * FILETIME_TICKS_PER_SECOND;
    const uint64_t in2h = TEST_EPOCH + 2 * 3600 * FILETIME_TICKS_PER_SECOND;
    char leases[400];
    std::snprintf(leases, sizeof leases,
                  "[Leases]\nUnknown (192.0.2.12)~00=c000020c.%08x.%08x\nsoon~020000000001=c000020d.%08x.%08x\n"
                  "desk~020000000002=c000020e.ffffffff.ffffffff\n",
                  unsigned(in2h >> 32), unsigned(in2h), unsigned(in30 >> 32), unsigned(in30));
    loadSettingsFromText(std::string("[Server]\nIPAddress=192.0.2.1\nSubnetMask=255.255.255.0\nLeaseTime=600\n") +
                         leases);
    SetTestClock(TEST_EPOCH + 3600 * FILETIME_TICKS_PER_SECOND);
    const KeaExport exported = BuildKeaExport({TestClockNow(), "eth0", "/var/lib/kea/kea-leases4.csv"});
    const int64_t now = static_cast<int64_t>(TestClockNow() / FILETIME_TICKS_PER_SECOND - FILETIME_UNIX_EPOCH_SECONDS);
    EXPECT_EQ(exported.leases,
              "address,hwaddr,client_id,valid_lifetime,expire,subnet_id,fqdn_fwd,fqdn_rev,hostname,state,user_context\n"
              "192.0.2.12,,,3600," + std::to_string(now + 3600) + ",1,0,0,,1,\n"
              "192.0.2.14,02:00:00:00:00:02,,4294967295," + std::to_string(now + 4294967295LL) + ",1,0,0,desk,0,\n");
    const char* counts = "Leases: 2 (1 held-back address as a declined lease, 1 unlimited); 1 expired left out";
    EXPECT_NE(exported.summary.find(counts), std::string::npos) << exported.summary;
    EXPECT_NE(exported.config.find("\"interfaces\": [ \"eth0\" ]"), std::string::npos);
}

TEST_F(KeaExportTest, CommandLinesAndFailures) {
    std::string directory;
    EXPECT_EQ(ParseExportCommandLine("  /exportkea  \"C:\\Kea export\" ", &directory), ExportCommandLine::Export);
    EXPECT_EQ(directory, "C:\\Kea export");
    EXPECT_EQ(ParseExportCommandLine("-EXPORTKEA D:\\out", &directory), ExportCommandLine::Export);
    EXPECT_EQ(directory, "D:\\out");
    EXPECT_EQ(ParseExportCommandLine("/EXPORTKEA", &directory), ExportCommandLine::Bad);
    EXPECT_EQ(ParseExportCommandLine("/EXPORTKEA \"C:\\x", &directory), ExportCommandLine::Bad);
    EXPECT_EQ(ParseExportCommandLine("/SHUTDOWN /EXPORTKEA x", &directory), ExportCommandLine::None);
    EXPECT_EQ(ParseExportCommandLine("/EXPORTKEAS x", &directory), ExportCommandLine::None);

    const std::string ini = dir.file("NIMBO.INI");
    EXPECT_EQ(ExportToKea(ini, dir.file("none"), "x").exitCode, EXPORT_BAD_ARGUMENT);
    const KeaExportOutcome missing = ExportToKea(ini, dir.path(), "x");
    EXPECT_EQ(missing.exitCode, EXPORT_FAILED);
    EXPECT_NE(missing.error.find(ini), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file(KEA_CONFIG_FILE)));
    EXPECT_FALSE(FileExists(dir.file(KEA_LEASE_FILE)));
}

}  // namespace
