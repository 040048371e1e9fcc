#include <cstring>
#include <string>

#include "config/adapter_discovery.h"
#include "config/file_commit.h"
#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"

void WarnWhenNoStaticAddress(const ServerSettings& settings) {
    if (std::strcmp(settings.IPAddress, "0.0.0.0") != 0) return;
    std::string text;
    bool exists = false;
    ReadProgramFile(IniPath(), text, exists);
    ProfileFile ini;
    ini.loadText(text);
    if (ini.getInt("Server", "DontWarnAddress", 0) != 0) return;
    ShowStaticAddressWarning();
}
