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
#include "dialog_driver.h"
#include "leases/address_ranges.h"
#include "ui/properties.h"
#include "ui/ui_resource.h"

namespace {

std::string folder;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void ShowEachTab(HWND frame) {
    for (int tab = 0; tab < 4; ++tab) {
        ClickTab(frame, tab);
        if (tab == 1) SelectRangeEntry(CurrentPage(frame), 2);
        Pump(frame);
        const std::string ready = folder + "\\ready-" + std::to_string(tab);
        if (FILE* file = std::fopen(ready.c_str(), "w")) std::fclose(file);
        const std::string shot = folder + "\\shot-" + std::to_string(tab);
        for (int waited = 0; waited < 60000 && !Exists(shot); waited += 50) {
            Pump(frame);
            Sleep(50);
        }
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
    RunWithDialog(&ShowEachTab, 300000);
    return 0;
}
