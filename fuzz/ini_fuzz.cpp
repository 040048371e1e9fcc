// Fuzz target for NIMBO.INI: the profile model (parse, rewrite, parse again
// must answer the same) and the settings loader over the same text, whose
// own save must be stable: loading what it saved and saving again writes
// the same file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "leases/address_ranges.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "base/clock.h"
#include "base/log.h"

namespace {

constexpr uint64_t NOW = (20794ULL * 86400ULL + 11644473600ULL) * 10000000ULL;
uint64_t FixedClock() { return NOW; }

#define Check(condition)                                                          \
    do {                                                                          \
        if (!(condition)) {                                                       \
            std::fprintf(stderr, "ini_fuzz: check failed at line %d\n", __LINE__); \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

bool IsLeasesName(const std::string& name) {
    static const char leases[] = "leases";
    if (name.size() != 6) return false;
    for (size_t i = 0; i < 6; ++i)
        if ((name[i] | 0x20) != leases[i]) return false;
    return true;
}

void ResetStores() {
    ClearLeaseTable();
    ClearReservations();
    ClearRangeTables();
    ResetSettings();
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.0.2.10");
        CopySetting(s.SubnetMask, "255.255.255.0");
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        ClearLogPaths();  // entries are formatted, then dropped
        SetClockSource(&FixedClock);
        return true;
    }();
    (void)ready;
    if (size > 1 << 16) return 0;

    // An exact-size copy, so that a read past the end is caught.
    std::vector<char> copy(data, data + size);
    std::string text(copy.begin(), copy.end());

    ProfileFile model;
    model.loadText(text);
    ProfileFile again;
    again.loadText(model.saveText());
    std::vector<std::string> sections = model.sectionNames();
    Check(again.sectionNames() == sections);
    sections.push_back("");
    for (const std::string& section : sections) {
        std::vector<std::string> keys = model.keyNames(section);
        Check(again.keyNames(section) == keys);
        for (const std::string& key : keys) {
            Check(again.find(section, key) == model.find(section, key));
            Check(again.getInt(section, key, 7) == model.getInt(section, key, 7));
        }
    }
    // A key and value made safe from any text read back as written, and
    // add no section but [Leases].
    ProfileFile written = model;
    std::string hostile = text.substr(0, 40);
    std::string key = SafeKeyName(hostile) + "~01";
    written.setString("Leases", key, SafeValue(hostile));
    ProfileFile reread;
    reread.loadText(written.saveText());
    Check(reread.getString("Leases", key, "\x01") == SafeValue(hostile));
    std::vector<std::string> names = reread.sectionNames();
    std::vector<std::string> before = model.sectionNames();
    bool hadLeases = false;
    for (const std::string& name : before) hadLeases = hadLeases || IsLeasesName(name);
    if (!hadLeases) before.push_back("Leases");
    Check(names == before);

    // Loading adds the listed servers to the local exceptions, so the first
    // save may differ from the text; from then on a load and a save must
    // give the same file.
    ResetStores();
    loadSettingsFromText(text);
    std::string saved = SettingsFileText(text);
    ResetStores();
    loadSettingsFromText(saved);
    Check(SettingsFileText(saved) == saved);
    return 0;
}
