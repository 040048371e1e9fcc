// Our INI model against the Windows profile calls themselves: every file of
// the corpus (and files written by either side) must give the same section
// lists, key lists, values and numbers through both. Windows builds only.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "scratch_server.h"
#include "test_support.h"

#ifndef NIMBO_INI_CORPUS
#error "NIMBO_INI_CORPUS must name the corpus directory"
#endif

namespace {

constexpr DWORD BUFFER_SIZE = 1 << 20;
// One answer buffer for every call (the calls are many, the buffer large).
std::vector<char>& Buffer() {
    static std::vector<char> buffer(BUFFER_SIZE);
    return buffer;
}
const char* const DEFAULT_TEXT = "<default>";

std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 32 || c > 126) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
        if (out.size() > 80) return out + "...";
    }
    return out;
}

// A zero-separated list as the profile calls return it: the first n bytes,
// each name ended by a zero byte.
std::vector<std::string> SplitList(const std::vector<char>& buffer, DWORD n) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (buffer[i] == '\0') {
            names.emplace_back(buffer.data() + start, i - start);
            start = i + 1;
        }
    }
    return names;
}

std::vector<std::string> WindowsSections(const std::string& path) {
    std::vector<char>& buffer = Buffer();
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), BUFFER_SIZE, path.c_str());
    return SplitList(buffer, n);
}

std::vector<std::string> WindowsKeys(const std::string& path, const std::string& section) {
    std::vector<char>& buffer = Buffer();
    DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), BUFFER_SIZE, path.c_str());
    return SplitList(buffer, n);
}

std::string WindowsValue(const std::string& path, const std::string& section, const std::string& key) {
    std::vector<char>& buffer = Buffer();
    GetPrivateProfileStringA(section.c_str(), key.c_str(), DEFAULT_TEXT, buffer.data(), BUFFER_SIZE, path.c_str());
    return std::string(buffer.data());
}

std::string FlipCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Asks both sides every question about the file at path and returns the
// number of answers compared.
int CompareBothWays(const std::string& path) {
    ProfileFile ours;
    ours.loadText(ReadFile(path));
    int compared = 0;

    std::vector<std::string> sections = WindowsSections(path);
    EXPECT_EQ(ours.sectionNames(), sections) << path;

    std::set<std::string> sectionProbes(sections.begin(), sections.end());
    for (const std::string& name : ours.sectionNames()) sectionProbes.insert(name);
    for (const std::string& name : std::set<std::string>(sectionProbes)) sectionProbes.insert(FlipCase(name));
    sectionProbes.insert("");
    sectionProbes.insert("Missing Section");

    for (const std::string& section : sectionProbes) {
        std::vector<std::string> keys = WindowsKeys(path, section);
        EXPECT_EQ(ours.keyNames(section), keys) << path << " [" << Escaped(section) << "]";
        std::set<std::string> keyProbes(keys.begin(), keys.end());
        for (const std::string& key : std::set<std::string>(keyProbes)) keyProbes.insert(FlipCase(key));
        keyProbes.insert("missing key");
        keyProbes.insert("");
        for (const std::string& key : keyProbes) {
            std::string where = path + " [" + Escaped(section) + "] " + Escaped(key);
            EXPECT_EQ(ours.getString(section, key, DEFAULT_TEXT), WindowsValue(path, section, key)) << where;
            EXPECT_EQ(ours.getInt(section, key, 777),
                      static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key.c_str(), 777, path.c_str())))
                << where;
            EXPECT_EQ(ours.getInt(section, key, -3),
                      static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key.c_str(), -3, path.c_str())))
                << where;
            compared += 3;
        }
    }
    return compared;
}

// Windows keeps a cache of profile files; a fresh name per file keeps it
// from answering for an older file of the same name.
std::string FreshFile(const ScratchDir& dir) {
    static int counter = 0;
    return dir.file("written" + std::to_string(++counter) + ".ini");
}

TEST(ProfileDifferential, CorpusReadsTheSameBothWays) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(NIMBO_INI_CORPUS)) {
        if (entry.path().extension() != ".ini") continue;
        std::string path = entry.path().string();
        int compared = CompareBothWays(path);
        EXPECT_GT(compared, 0) << path;
        ++files;
    }
    EXPECT_GE(files, 10);
}

TEST(ProfileDifferential, FilesWeWriteReadBackTheSame) {
    ScratchDir dir;
    const char* values[] = {" x ", "\"q\"", "'a'", "\"", "", "plain", "a=b", ";c", "\t", " ", "[S]", "\"a ", "0x10", "-7", "\x0b\x01\x0c"};
    const char* hostile[] = {"a\r\nb", "[Server]", ";x", " x ", "a=b", "x\x7f", "tab\there", "a~b", "#k", "'k'"};
    ProfileFile ours;
    ours.loadText("; by hand\r\n[Server]\r\nIPAddress=192.0.2.1\r\n[Unknown]\r\nkept=1\r\n");
    int n = 0;
    for (const char* value : values) ours.setString("Server", "key" + std::to_string(n++), SafeValue(value));
    std::vector<std::pair<std::string, std::string>> leases;
    for (const char* name : hostile) leases.emplace_back(SafeKeyName(name) + "~0102", "c0000205.ffffffff.ffffffff");
    for (int i = 0; i < 500; ++i) leases.emplace_back("host" + std::to_string(i) + "~01", "0a000001.ffffffff.ffffffff");
    leases.emplace_back("HOST1~01", "0a000002.ffffffff.ffffffff");
    ours.replaceSection("Leases", leases);
    ours.setString("server", "IPAddress", "192.0.2.9");

    std::string path = FreshFile(dir);
    WriteFile(path, ours.saveText());
    CompareBothWays(path);
    n = 0;
    for (const char* value : values)
        EXPECT_EQ(WindowsValue(path, "Server", "key" + std::to_string(n++)), SafeValue(value)) << Escaped(value);
    EXPECT_EQ(WindowsKeys(path, "Leases").size(), 510u);
    EXPECT_EQ(WindowsValue(path, "Leases", "host1~01"), "0a000002.ffffffff.ffffffff");
    EXPECT_EQ(WindowsSections(path), (std::vector<std::string>{"Server", "Unknown", "Leases"}));
}

TEST(ProfileDifferential, SettingsFileWithHostileNamesReadsTheSame) {
    ScratchDir dir;
    ResetServerState();
    UpdateSettings([](ServerSettings& s) {
        CopySetting(s.IPAddress, "192.0.2.10");
        CopySetting(s.DomainName, " lan.example\r\n[Leases]\r\nx~01=1.2.3 ");
    });
    const char* names[] = {"evil\r\n[Server]\r\nIPAddress=1", "a=b", "[Server]", ";x", " x ", "a~b", "\x01\x7f", "pc1", "PC1"};
    uint8_t id = 0;
    for (const char* name : names) {
        Lease lease;
        lease.setHostName(name);
        uint8_t bytes[2] = {0xaa, id++};
        lease.setClientId(bytes, sizeof bytes);
        lease.address = 0xC0000200u + id;
        lease.expiry = NEVER_EXPIRES;
        AppendLease(lease);
    }
    Reservation reservation;
    reservation.setKey("=[x]\r\n;");
    reservation.address = 0xC0000264u;
    AppendReservation(reservation);

    std::string path = FreshFile(dir);
    WriteFile(path, SettingsFileText(""));
    CompareBothWays(path);
    EXPECT_EQ(WindowsSections(path), (std::vector<std::string>{"Logging", "Server", "Leases", "Reservations"}));
    EXPECT_EQ(WindowsKeys(path, "Leases").size(), 9u);
    EXPECT_EQ(WindowsValue(path, "Server", "DomainName"), " lan.example__[Leases]__x~01=1.2.3 ");
    EXPECT_EQ(WindowsKeys(path, "Reservations"), std::vector<std::string>{"@H-_[x]__;"});
    ResetServerState();
}

// A UTF-16 file (Notepad's "Unicode"): what we write back into it stays
// UTF-16 and reads the same both ways, and so does what Windows writes.
TEST(ProfileDifferential, UnicodeFilesStayUnicodeAndReadTheSame) {
    ScratchDir dir;
    ProfileFile ours;
    ours.loadText(ReadFile(std::string(NIMBO_INI_CORPUS) + "/utf16le.ini"));
    ours.setString("Server", "BootFile", "pxe.0");
    ours.replaceSection("Leases", {{"pc2~0304", "c0000206.ffffffff.ffffffff"}});
    std::string path = FreshFile(dir);
    WriteFile(path, ours.saveText());
    EXPECT_EQ(ReadFile(path).substr(0, 2), "\xFF\xFE");
    CompareBothWays(path);
    EXPECT_EQ(WindowsValue(path, "Server", "BootFile"), "pxe.0");
    EXPECT_EQ(WindowsKeys(path, "Leases"), std::vector<std::string>{"pc2~0304"});

    WritePrivateProfileStringA("Server", "LeaseTime", "900", path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush the cache to the file
    EXPECT_EQ(ReadFile(path).substr(0, 2), "\xFF\xFE");
    CompareBothWays(path);
    ours.loadText(ReadFile(path));
    EXPECT_EQ(ours.getInt("Server", "LeaseTime", 0), 900);
}

TEST(ProfileDifferential, FilesWindowsWritesReadTheSame) {
    ScratchDir dir;
    std::string path = FreshFile(dir);
    WriteFile(path, "; by hand\r\n[Server]\r\nIPAddress=192.0.2.1\r\n\r\n[Leases]\r\nold~01=1\r\n");
    const char* values[] = {" x ", "\"q\"", "'a'", "\"", "", "plain", "a=b", ";c", "\t", "0x10"};
    int n = 0;
    for (const char* value : values)
        WritePrivateProfileStringA("Server", ("key" + std::to_string(n++)).c_str(), value, path.c_str());
    WritePrivateProfileStringA("Leases", nullptr, nullptr, path.c_str());
    WritePrivateProfileStringA("Leases", "pc1~0102", "c0000205.ffffffff.ffffffff", path.c_str());
    WritePrivateProfileStringA("Leases", "PC1~0102", "c0000206.ffffffff.ffffffff", path.c_str());
    WritePrivateProfileStringA("Reservations", "@H-printer", "192.0.2.20", path.c_str());
    WritePrivateProfileStringA("server", "ipaddress", "192.0.2.7", path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush the cache to the file
    CompareBothWays(path);
}

}  // namespace
