// The INI model against the rules of the Windows profile calls. The expected
// answers here were taken from the real calls (see the differential test).
#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ProfileFile Load(const std::string& text) {
    ProfileFile file;
    file.loadText(text);
    return file;
}

using Names = std::vector<std::string>;

TEST(ProfileFileRead, CommentsBlanksAndTrimming) {
    ProfileFile file = Load(
        "[Sec]\r\n"
        "key=value\r\n"
        "  spaced  =  v with blanks  \r\n"
        ";comment=1\r\n"
        "  ;indented=1\r\n"
        "#hash=1\r\n"
        "k;c=4\r\n"
        "\tlead tab=1\r\n"
        "in ner = 2 \r\n"
        "x=1=2\r\n"
        "k2 = val ; trailing\r\n"
        "\r\n");
    EXPECT_EQ(file.getString("Sec", "key", "D"), "value");
    EXPECT_EQ(file.getString("Sec", "spaced", "D"), "v with blanks");
    EXPECT_EQ(file.getString("Sec", ";comment", "D"), "D");
    EXPECT_EQ(file.getString("Sec", "#hash", "D"), "1");
    EXPECT_EQ(file.getString("Sec", "k;c", "D"), "4");
    EXPECT_EQ(file.getString("Sec", "lead tab", "D"), "1");
    EXPECT_EQ(file.getString("Sec", "in ner", "D"), "2");
    EXPECT_EQ(file.getString("Sec", "x", "D"), "1=2");
    EXPECT_EQ(file.getString("Sec", "k2", "D"), "val ; trailing");
    EXPECT_EQ(file.keyNames("Sec"), (Names{"key", "spaced", "#hash", "k;c", "lead tab", "in ner", "x", "k2"}));
}

TEST(ProfileFileRead, QuotesAroundValues) {
    ProfileFile file = Load(
        "[Q]\nquoted=\"q v\"\nsq='s'\nhalf=\"abc\none=\"\nthree=\"\"\"\nempty=''\n"
        "inner=\" x \"\nmixed='x\"\nouter= \"a\"\t\nmid=\"x\"y\"\n\"qk\"=3\n");
    EXPECT_EQ(file.getString("Q", "quoted", "D"), "q v");
    EXPECT_EQ(file.getString("Q", "sq", "D"), "s");
    EXPECT_EQ(file.getString("Q", "half", "D"), "\"abc");
    EXPECT_EQ(file.getString("Q", "one", "D"), "\"");
    EXPECT_EQ(file.getString("Q", "three", "D"), "\"");
    EXPECT_EQ(file.getString("Q", "empty", "D"), "");
    EXPECT_EQ(file.getString("Q", "inner", "D"), " x ");
    EXPECT_EQ(file.getString("Q", "mixed", "D"), "'x\"");
    EXPECT_EQ(file.getString("Q", "outer", "D"), "a");
    EXPECT_EQ(file.getString("Q", "mid", "D"), "x\"y");
    EXPECT_EQ(file.getString("Q", "\"qk\"", "D"), "3");
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

TEST(ProfileFileRead, SectionHeaders) {
    ProfileFile file = Load(
        "top=1\n"
        "  [Sec2]  \na=1\n"
        "[  Padded  ]\np=1\n[Bad\nb=1\n[k=v\n"
        "[X]junk\nx=1\n"
        "[ T3 ]junk]\nz=1\n"
        "[]\nempty=1\n"
        "[U]u=1\nu2=2\n");
    EXPECT_EQ(file.getString("", "top", "D"), "1");
    EXPECT_EQ(file.getString("Sec2", "a", "D"), "1");
    EXPECT_EQ(file.getString("Padded", "b", "D"), "1");
    EXPECT_EQ(file.getString("Padded", "[k", "D"), "v");
    EXPECT_EQ(file.getString("X", "x", "D"), "1");
    EXPECT_EQ(file.getString("T3 ]junk", "z", "D"), "1");
    EXPECT_EQ(file.getString("", "empty", "D"), "D");
    EXPECT_EQ(file.getString("U", "u2", "D"), "2");
    EXPECT_EQ(file.sectionNames(), (Names{"Sec2", "Padded", "X", "T3 ]junk", "U"}));
    EXPECT_TRUE(file.keyNames("Missing").empty());
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

TEST(ProfileFileRead, LineEndsAndOddBytes) {
    std::string text = "\xEF\xBB\xBF[B]\r\nb=1\r\n[C]\rc=1\rc2=2\r\n[D]\nd=1";
    text += '\0';
    text += "x\nd2=2\n[E]\ne=" + std::string(70000, 'v') + "\ne2=2\n[F]\nf=last";
    ProfileFile file = Load(text);
    EXPECT_EQ(file.getString("B", "b", "D"), "1");
    EXPECT_EQ(file.getString("C", "c2", "D"), "2");
    EXPECT_EQ(file.getString("D", "d", "D"), "1");
    EXPECT_EQ(file.getString("D", "d2", "D"), "2");
    EXPECT_EQ(file.getString("E", "e", "D").size(), 70000u);
    EXPECT_EQ(file.getString("E", "e2", "D"), "2");
    EXPECT_EQ(file.getString("F", "f", "D"), "last");
    // A rewrite keeps the byte-order mark and the lines.
    EXPECT_EQ(Load(file.saveText()).saveText(), file.saveText());
    EXPECT_EQ(file.saveText().substr(0, 3), "\xEF\xBB\xBF");
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
