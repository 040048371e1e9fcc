// Shows each tab of the properties window for a screenshot: run by
// properties_screenshots.sh under Xvfb with a Wine virtual desktop. For tab
// N it writes the file ready-N into the folder given as its argument and
// waits for shot-N (the picture taken) before going on; then it closes the
// window and ends.
#include <windows.h>

#include <cstdio>
#include <string>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "dhcp/other_servers.h"
#include "dialog_driver.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"
#include "wait_until.h"

namespace {

std::string folder;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The list pages sorted by address, descending (the triangle points
// down), with a row selected.
void SortByAddressDescending(HWND page, int listId, int row) {
    HWND list = GetDlgItem(page, listId);
    ClickHeader(list, 1);
    ClickHeader(list, 1);
    SelectRow(list, row);
}

void ShowEachTab(HWND frame) {
    for (int tab = 0; tab < 4; ++tab) {
        ClickTab(frame, tab);
        if (tab == 1) SelectRangeEntry(CurrentPage(frame), 2);
        if (tab == 2) SortByAddressDescending(CurrentPage(frame), IDC_RESERVATION_LIST, 1);
        if (tab == 3) SortByAddressDescending(CurrentPage(frame), IDC_LEASE_LIST, 2);
        Pump(frame);
        const std::string ready = folder + "\\ready-" + std::to_string(tab);
        if (FILE* file = std::fopen(ready.c_str(), "w")) std::fclose(file);
        const std::string shot = folder + "\\shot-" + std::to_string(tab);
        WaitUntil("the screenshot of tab " + std::to_string(tab), [&] {
            Pump(frame);
            return Exists(shot);
        });
    }
    Click(frame, IDC_CLOSE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    folder = argv[1];
    RegisterDialogClass();
    SetIniPath(folder + "\\NIMBO.INI");
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.168.0.1");
        CopySetting(s.SubnetMask, "255.255.255.0");
        DeriveAddressFields(s);
        CopySetting(s.DNSServer, "192.168.0.2 192.168.0.3");
        CopySetting(s.Routers, "192.168.0.254");
        CopySetting(s.WINSServer, "");
        CopySetting(s.DomainName, "example.lan");
        s.LeaseTime = 259200;
    });
    SetGatewayTables(LOCAL_GATEWAY, "192.168.0.10-192.168.0.199,192.168.0.220-192.168.0.240",
                     "192.168.0.100-192.168.0.109,192.168.0.2");
    struct {
        uint32_t kind;
        const char* key;
        uint32_t address;
    } reservations[] = {{ByHostName, "printer", 0xC0A80005},
                        {ByHardwareAddress, "00-0c-29-ab-cd-ef", 0xC0A80032},
                        {ByHostName, "build-server", 0xC0A8000B},
                        {ByHostName, "nas", 0x0A000002}};
    for (const auto& r : reservations) {
        Reservation entry;
        entry.kind = r.kind;
        entry.setKey(r.key);
        entry.address = r.address;
        AppendReservation(entry);
    }
    struct {
        const char* name;
        uint32_t address;
        uint8_t last;
        bool never;
    } leases[] = {{"pc7", 0xC0A8000C, 0x07, false},
                  {"", 0xC0A80014, 0xEF, false},
                  {"laptop-of-the-front-desk", 0xC0A80065, 0x21, false},
                  {"printer", 0xC0A80005, 0x05, true},
                  {"Unknown (192.168.0.15)", 0xC0A8000F, 0x00, false}};
    for (const auto& l : leases) {
        const uint8_t id[] = {0x00, 0x0C, 0x29, 0xAB, 0xCD, l.last};
        Lease lease;
        lease.setHostName(l.name);
        if (l.last)
            lease.setClientId(id, sizeof id);
        else
            lease.setClientId(id, 1);  // a placeholder's one byte 00
        lease.address = l.address;
        lease.expiry = l.never ? NEVER_EXPIRES : NowFileTime() + 3 * 86400 * FILETIME_TICKS_PER_SECOND;
        AppendLease(lease);
    }
    NoteOtherServer(0xC0A800FE, NowFileTime());  // the General page's line about it
    RunWithDialog(&ShowEachTab, 300000);
    return 0;
}
