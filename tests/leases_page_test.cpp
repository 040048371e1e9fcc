// The Active Leases page's texts without windows: the row and detail texts
// (bounded, with a visible cut) and the expiry. Which leases are listed and
// which record Delete Lease takes: list_pages_dialog_test.
#include "ui/leases_page.h"

#include <cstdlib>
#include <ctime>

#include "config/settings_file.h"
#include "lease_test_fixture.h"

namespace {

using LeasePageTest = LeaseDatabaseTest;

TEST_F(LeasePageTest, RowsShowNameOrBracketedIdentifierCutVisiblyWhenLong) {
    Lease lease;
    lease.setClientId(kIdA, sizeof kIdA);
    EXPECT_EQ(LeaseListText(lease), "[00-0C-29-AB-CD-EF]");
    EXPECT_EQ(LeaseIdentifierText(lease), "00-0C-29-AB-CD-EF");
    lease.setHostName("pc7");
    EXPECT_EQ(LeaseListText(lease), "pc7");
    lease.setHostName("");
    lease.setClientId(nullptr, 0);
    EXPECT_EQ(LeaseListText(lease), "[]");

    // Identifiers of up to 255 bytes come off the wire: the texts keep to
    // the page's 99-character buffers and end in "..." where cut.
    std::vector<uint8_t> id(255);
    for (size_t i = 0; i < id.size(); ++i) id[i] = static_cast<uint8_t>(i);
    lease.setClientId(id.data(), 32);  // the longest that fits whole in brackets
    EXPECT_EQ(LeaseListText(lease).size(), 97u);
    EXPECT_EQ(LeaseListText(lease).substr(91), "1E-1F]");
    lease.setClientId(id.data(), id.size());
    const std::string row = LeaseListText(lease);
    EXPECT_LE(row.size(), LEASE_TEXT_LIMIT);
    EXPECT_EQ(row.substr(0, 4), "[00-");
    EXPECT_EQ(row.substr(row.size() - 6), "1E...]");
    const std::string detail = LeaseIdentifierText(lease);
    EXPECT_LE(detail.size(), LEASE_TEXT_LIMIT);
    EXPECT_EQ(detail.substr(detail.size() - 5), "1F...");
}

TEST_F(LeasePageTest, ExpiryIsNeverOrTheLocalTime) {
    EXPECT_EQ(LeaseExpiryText(NEVER_EXPIRES), "Never");
    EXPECT_EQ(LeaseExpiryText(0xFFFFFFFF00000000ull), "Never");  // the high half decides
#ifndef _WIN32  // Windows takes the user's formats; the dialog test reads them there
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    setenv("TZ", "UTC-2", 1);  // two hours east of UTC
    tzset();
    EXPECT_EQ(LeaseExpiryText(TEST_EPOCH + Seconds(3600)), "2026-12-07 03:00:00");
    zone ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
#endif
}

TEST_F(LeasePageTest, ReserveTakesTheHardwareAddressElseTheHostName) {
    SetIniPath(dir.file("NIMBO.INI"));
    Lease printer;
    printer.setClientId(kIdA, 5);
    printer.address = Ip("192.0.2.11");
    EXPECT_EQ(ReserveListedLease(printer), LeaseReserveResult::NoKey);
    printer.setHostName("printer");
    EXPECT_EQ(ReserveListedLease(printer), LeaseReserveResult::Reserved);
    EXPECT_EQ(ReadFile(dir.file("NIMBO.INI")), "[Reservations]\r\n@H-printer=192.0.2.11\r\n");
    printer.setHostName("scanner");
    EXPECT_EQ(ReserveListedLease(printer), LeaseReserveResult::AddressReserved);
}

}  // namespace
