// The INI model: lookups, numbers and writing. The expected answers were
// taken from the real Windows profile calls.
#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ansi_text.h"

namespace {

ProfileFile Load(const std::string& text) {
    ProfileFile file;
    file.loadText(text);
    return file;
}

using Names = std::vector<std::string>;

// The reading rules as a whole are pinned by the differential test, which
// reads tests/data/ini through the Windows calls and through this model.

TEST(ProfileFileRead, RewriteKeepsLinesAndByteOrderMark) {
    ProfileFile file = Load("\xEF\xBB\xBF; note\r[C]\rc=1\nquoted=\" x \"\n\n[D]\nd=2");
    EXPECT_EQ(file.getString("C", "quoted", "D"), " x ");
    EXPECT_EQ(file.saveText(), "\xEF\xBB\xBF; note\r\n[C]\r\nc=1\r\nquoted=\" x \"\r\n\r\n[D]\r\nd=2\r\n");
}

// UTF-16 little-endian bytes with the byte-order mark, as Notepad saves "Unicode".
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(ProfileFileRead, UnicodeFileIsReadAndWrittenBackInUnicode) {
    ProfileFile file = Load(Utf16File(u"; caf\u00e9\r\n[Server]\r\nLeaseTime=600\r\nDomainName=caf\u00e9.example\r\n"));
    EXPECT_EQ(file.getInt("Server", "LeaseTime", 0), 600);
    EXPECT_EQ(file.getString("Server", "DomainName", ""), AnsiFromUtf16(u"caf\u00e9.example"));
    file.setString("Server", "BootFile", "pxe.0");
    EXPECT_EQ(file.saveText(),
              Utf16File(u"; caf\u00e9\r\n[Server]\r\nLeaseTime=600\r\nDomainName=caf\u00e9.example\r\nBootFile=pxe.0\r\n"));
    // A cut last byte is dropped; the rest still reads.
    EXPECT_EQ(Load(Utf16File(u"[A]\r\nk=v") + "x").getString("A", "k", ""), "v");
    // Any bytes stored in a Unicode file read back as they were, also a host
    // name off the wire in another code page.
    const std::string name = "pc-\xE9t\xE9-\xFF\x80";
    file.setString("Leases", name + "~01", name);
    EXPECT_EQ(Load(file.saveText()).getString("Leases", name + "~01", ""), name);
}

TEST(ProfileFileRead, DuplicatesAndCase) {
    ProfileFile file = Load(
        "[Sec]\ndup=first\nDUP=second\nnoeq\nnoeq=later\n=novalue\n"
        "[sec]\nmerged=yes\ndup=third\n");
    EXPECT_EQ(file.getString("SEC", "Dup", "D"), "first");
    // The second [sec] is never seen: the first section of a name wins whole.
    EXPECT_EQ(file.getString("Sec", "merged", "D"), "D");
    // A key without "=" hides a later one of the same name.
    EXPECT_EQ(file.getString("Sec", "noeq", "D"), "D");
    EXPECT_EQ(file.getString("Sec", "", "D"), "novalue");
    EXPECT_EQ(file.keyNames("sec"), (Names{"dup", "DUP", "noeq", ""}));
    EXPECT_EQ(file.sectionNames(), (Names{"Sec", "sec"}));
    // entries(): what each reachable name looks up to, once per name.
    auto entries = file.entries("Sec");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"dup", "first"}));
}

TEST(ProfileFileRead, EmptyKeyNamesInKeyLists) {
    ProfileFile file = Load(
        "[A]\nx=1\n=a\n=b\n\n=c\ny=2\n"
        "[B]\nx=1\n=a\n;c\n=b\nnoeq\n=c\ny=2\n"
        "[C]\nnoeq\n=a\nx=1\n");
    EXPECT_EQ(file.keyNames("A"), (Names{"x", "", "y"}));
    EXPECT_EQ(file.keyNames("B"), (Names{"x", "", "", "", "y"}));
    EXPECT_TRUE(file.keyNames("C").empty());
    EXPECT_EQ(file.getString("C", "", "D"), "a");
    // The loader's view names every reachable key and skips the empty one.
    EXPECT_EQ(file.entries("C").size(), 1u);
}

TEST(ProfileFileRead, NumbersReadLikeTheProfileCall) {
    struct Case {
        const char* value;
        int32_t expected;
    } cases[] = {
        {"+5", 5}, {"0x10", 16}, {"99999999999", 1215752191}, {"-", 0}, {"-0", 0}, {" -7abc", -7},
        {"12abc", 12}, {"-2147483648", INT32_MIN}, {"-2147483649", 2147483647}, {"4294967295", -1},
        {"4294967296", 0}, {"--3", 0}, {"0012", 12}, {"1e3", 1}, {"+ 3", 0}, {"\"42\"", 42},
        {"\" 5\"", 5}, {"-+1", 0}, {"2147483648", INT32_MIN}, {"0b101", 5}, {"0o17", 15},
        {"0X1F", 0}, {"-0x10", -16}, {"0x", 0}, {"0xZ", 0}, {"017", 17}, {"0x100000000", 0},
        {"-  5", 0}, {"0xffffffff", -1}, {"1 2", 1}, {"0b2", 0}, {"0x1g", 1}, {"value", 0},
    };
    for (const Case& c : cases) {
        ProfileFile file = Load(std::string("[N]\nk=") + c.value + "\n");
        EXPECT_EQ(file.getInt("N", "k", 777), c.expected) << c.value;
    }
    ProfileFile file = Load("[N]\nempty=\nquotes=\"\"\nnoeq\n");
    EXPECT_EQ(file.getInt("N", "empty", 777), 777);
    EXPECT_EQ(file.getInt("N", "quotes", 777), 777);
    EXPECT_EQ(file.getInt("N", "noeq", 777), 777);
    EXPECT_EQ(file.getInt("N", "missing", -3), -3);
    EXPECT_EQ(file.getInt("Missing", "k", 9), 9);
}

TEST(ProfileFileWrite, KeepsOtherLinesAndPlacesNewKeys) {
    ProfileFile file = Load(
        "; settings by hand\r\n[Server]\r\nIPAddress=192.0.2.1\r\nUnknown=kept\r\n\r\n"
        "; gateways\r\n[GW3]\r\nGateway=198.51.100.1\r\n");
    file.setString("server", "ipaddress", "192.0.2.9");
    file.setString("Server", "LeaseTime", "60");
    file.setString("Logging", "MainLogSize", "50");
    EXPECT_EQ(file.saveText(),
              "; settings by hand\r\n[Server]\r\nipaddress=192.0.2.9\r\nUnknown=kept\r\nLeaseTime=60\r\n\r\n"
              "; gateways\r\n[GW3]\r\nGateway=198.51.100.1\r\n\r\n[Logging]\r\nMainLogSize=50\r\n");
    // A key without "=" takes the value in its own line.
    ProfileFile bare = Load("[S]\nflag\n");
    bare.setString("S", "FLAG", "1");
    EXPECT_EQ(bare.saveText(), "[S]\r\nFLAG=1\r\n");
}

TEST(ProfileFileWrite, ValuesReadBackAsWritten) {
    const char* values[] = {" x ", "\"quoted\"", "'q'", "\"", "\"a ", "  ", "\t", "a=b", ";x", "[y]", "", "plain", "\x0b\x01\x0c"};
    ProfileFile file;
    for (const char* value : values) {
        file.setString("V", "k", value);
        EXPECT_EQ(Load(file.saveText()).getString("V", "k", "D"), value) << file.saveText();
    }
}

TEST(ProfileFileWrite, ReplaceAndDeleteSections) {
    ProfileFile file = Load("[Leases]\nold=1\n[Other]\na=1\n[LEASES]\nstale=1\n");
    file.replaceSection("Leases", {{"pc1~01", "1"}, {"PC2~02", "2"}, {"pc1~01", "3"}});
    EXPECT_EQ(file.saveText(), "[Leases]\r\npc1~01=3\r\nPC2~02=2\r\n[Other]\r\na=1\r\n");
    file.deleteSection("leases");
    EXPECT_EQ(file.saveText(), "[Other]\r\na=1\r\n");
    file.replaceSection("Reservations", {{"@H-x", "192.0.2.5"}});
    EXPECT_EQ(file.saveText(), "[Other]\r\na=1\r\n\r\n[Reservations]\r\n@H-x=192.0.2.5\r\n");
    file.deleteSection("Missing");
    EXPECT_EQ(Load(file.saveText()).getString("Reservations", "@h-X", "D"), "192.0.2.5");
}

TEST(ProfileFileWrite, SafeKeyNamesStayOneKey) {
    const char* hostile[] = {"a\r\nb", "[Server]", ";x", " x ", "a=b", "x\x7f", "tab\there", "nul\x01", "=", "[", "a~b"};
    for (const char* name : hostile) {
        std::string key = SafeKeyName(name);
        ProfileFile file;
        file.setString("Leases", key, "v");
        ProfileFile back = Load(file.saveText());
        EXPECT_EQ(back.sectionNames(), Names{"Leases"}) << name;
        EXPECT_EQ(back.keyNames("Leases"), Names{key}) << name;
        EXPECT_EQ(back.getString("Leases", key, "D"), "v") << name;
        EXPECT_EQ(key.size(), std::string(name).size()) << name;
    }
    EXPECT_EQ(SafeKeyName("pc-1.example"), "pc-1.example");
    EXPECT_EQ(SafeKeyName(" [a=b] "), "_[a_b]_");
    EXPECT_EQ(SafeValue(std::string("a\r\nb\tc\x01\0", 8)), "a__b\tc\x01_");
}

TEST(ProfileFileNumbers, DecimalAndHexReadings) {
    EXPECT_EQ(ReadDecimal(" 42x"), 42);
    EXPECT_EQ(ReadDecimal("-7"), -7);
    EXPECT_EQ(ReadDecimal("abc"), 0);
    EXPECT_EQ(ReadDecimal("99999999999"), INT32_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999"), INT32_MIN);
    EXPECT_EQ(ReadHex32("c0a80a05"), 0xc0a80a05u);
    EXPECT_EQ(ReadHex32("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHex32("0x1f"), 0x1Fu);
    EXPECT_EQ(ReadHex32("1ffffffff"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHex32("zz"), 0u);
    EXPECT_EQ(ReadHex32("-1"), 0xFFFFFFFFu);
}

}  // namespace
