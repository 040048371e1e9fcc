// The Reservations page's rules without windows, against the real
// reservation list and NIMBO.INI: what a new entry, a change and a delete
// write and when, the uniqueness of keys and addresses, and the key limit.
#include "ui/reservations_page.h"

#include "config/settings_file.h"
#include "lease_test_fixture.h"

namespace {

class ReservationPageTest : public LeaseDatabaseTest {
protected:
    void SetUp() override {
        LeaseDatabaseTest::SetUp();
        SetIniPath(dir.file("NIMBO.INI"));
    }
    void TearDown() override {
        SetIniPath("");
        LeaseDatabaseTest::TearDown();
    }
    std::string Section() const {
        std::string text;
        for (char c : ReadFile(dir.file("NIMBO.INI")))
            if (c != '\r') text += c;
        const size_t at = text.find("[Reservations]");
        return at == std::string::npos ? "" : text.substr(at);
    }
};

TEST_F(ReservationPageTest, SetButtonNeedsTheChosenKeyAndAnAddress) {
    EXPECT_TRUE(CanSetReservation(true, "pc7", "", "192.0.2.7"));
    EXPECT_FALSE(CanSetReservation(false, "pc7", "", "192.0.2.7"));  // MAC Addr ticked, its field empty
    EXPECT_TRUE(CanSetReservation(false, "", "00-0c-29-ab-cd-ef", "192.0.2.7"));
    EXPECT_FALSE(CanSetReservation(true, "pc7", "", ""));
    EXPECT_FALSE(CanSetReservation(true, "pc7", "", "192.0.2.300"));
    EXPECT_FALSE(CanSetReservation(true, "pc7", "", "255.255.255.255"));  // what inet_addr cannot tell from an error
}

TEST_F(ReservationPageTest, AnAdministratorsEditsKeepKeysAndAddressesUnique) {
    Reserve(ByHostName, "pc7", 0xC0000207);
    Reserve(ByHardwareAddress, "00-0c-29-ab-cd-ef", 0xC0000208);

    // A new entry is written at once.
    EXPECT_EQ(SetReservationFromPage(ByHostName, "printer", "192.0.2.9"), ReservationSetResult::Added);
    EXPECT_EQ(Section(), "[Reservations]\n@H-pc7=192.0.2.7\n@M-00-0c-29-ab-cd-ef=192.0.2.8\n@H-printer=192.0.2.9\n");

    // A change (the key in any case) keeps the entry's own address free
    // for it, and reaches the file only with the save at the window's close.
    EXPECT_EQ(SetReservationFromPage(ByHardwareAddress, "PC7", "192.0.2.7"), ReservationSetResult::Changed);
    EXPECT_EQ(SetReservationFromPage(ByHostName, "PC7", "192.0.2.17"), ReservationSetResult::Changed);
    EXPECT_NE(Section().find("@H-pc7=192.0.2.7\n"), std::string::npos);

    // An address another entry holds is refused, for a new key and a change.
    EXPECT_EQ(SetReservationFromPage(ByHostName, "scanner", "192.0.2.9"), ReservationSetResult::AddressTaken);
    EXPECT_EQ(SetReservationFromPage(ByHostName, "pc7", "192.0.2.9"), ReservationSetResult::AddressTaken);
    EXPECT_EQ(SetReservationFromPage(ByHostName, "scanner", "192.0.2.x"), ReservationSetResult::BadAddress);

    // A key longer than an entry holds is refused, not stored cut (the cut
    // key would name neither its row nor the client). 31 characters fit.
    const std::string longest(31, 'k');
    EXPECT_EQ(SetReservationFromPage(ByHardwareAddress, longest + "k", "192.0.2.30"), ReservationSetResult::BadKey);
    EXPECT_EQ(SetReservationFromPage(ByHostName, "", "192.0.2.30"), ReservationSetResult::BadKey);
    EXPECT_EQ(SetReservationFromPage(ByHardwareAddress, longest, "192.0.2.30"), ReservationSetResult::Added);
    EXPECT_EQ(ReservationAddressText(longest), "192.0.2.30");
    EXPECT_EQ(SnapshotReservations().size(), 4u);

    // Delete writes at once; a row whose entry is gone shows **ERROR**.
    EXPECT_TRUE(DeleteReservationFromPage("PRINTER"));
    EXPECT_FALSE(DeleteReservationFromPage("printer"));
    EXPECT_EQ(ReservationAddressText("printer"), "**ERROR**");
    EXPECT_EQ(Section(), "[Reservations]\n@H-pc7=192.0.2.17\n@M-00-0c-29-ab-cd-ef=192.0.2.8\n@M-" + longest +
                             "=192.0.2.30\n");
}

}  // namespace
