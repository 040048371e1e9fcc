#include "base/text_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(TextString& text, const char* delimiters) {
    std::vector<std::string> tokens;
    for (TextString token = text.nextToken(delimiters, true); token.length() != 0;
         token = text.nextToken(delimiters, false))
        tokens.push_back(token.text());
    return tokens;
}

TEST(TextString, DefaultConstructedReadsEmptyAndEqualsOnlyAbsentText) {
    TextString empty;
    EXPECT_STREQ(empty.text(), "");
    EXPECT_EQ(empty.cursor(), -1);
    EXPECT_TRUE(empty.equals(nullptr));
    EXPECT_FALSE(empty.equals(""));
    EXPECT_EQ(empty.nextToken(" ,;", true).length(), 0u);
    EXPECT_EQ(empty.toNumber(), 0u);
    EXPECT_EQ(empty.compareNoCase(nullptr), 0);
    EXPECT_EQ(empty.compareNoCase("x"), 1);
}

TEST(TextString, AssignmentKeepsBufferForShorterTextAndSizesExactlyForLonger) {
    TextString text("abcdef");
    EXPECT_EQ(text.capacity(), 7u);
    text = "abc";
    EXPECT_EQ(text.capacity(), 7u);
    EXPECT_EQ(text.length(), 3u);
    text = "abcdefghijkl";
    EXPECT_EQ(text.capacity(), 13u);
    EXPECT_EQ(text.cursor(), 0);
    text = static_cast<const char*>(nullptr);
    EXPECT_STREQ(text.text(), "");
    EXPECT_TRUE(text.hasBuffer());
}

TEST(TextString, SelfAssignmentChangesNothing) {
    TextString text("keep");
    const TextString& same = text;
    text = same;
    text = text.text();
    EXPECT_STREQ(text.text(), "keep");
}

// Appending the string's own text (or a part of it) while the append has to
// grow the buffer: the source lives in the buffer being replaced.
TEST(TextString, AppendOfItsOwnTextGrowsSafely) {
    TextString text("abc");  // exactly sized: the append reallocates
    text.append(text.text());
    EXPECT_STREQ(text.text(), "abcabc");
    text.append(text.text() + 4);  // room left now: no reallocation
    EXPECT_STREQ(text.text(), "abcabcbc");
    TextString longer(std::string(200, 'x').c_str());
    longer.append(longer.text() + 1);
    EXPECT_EQ(longer.length(), 399u);
    EXPECT_EQ(std::string(longer.text()), std::string(399, 'x'));
}

TEST(TextString, TokenizerSkipsRunsOfDelimiters) {
    TextString list("10.0.0.1, 10.0.0.2;;10.0.0.3 ");
    EXPECT_EQ(Tokens(list, " ,;"), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    TextString commas(",,,");
    EXPECT_TRUE(Tokens(commas, " ,;").empty());
    TextString single("one");
    EXPECT_EQ(Tokens(single, " ,;"), std::vector<std::string>{"one"});
}

TEST(TextString, ReplaceAllIsLeftToRightAndDoesNotReexamine) {
    TextString text("%1.%2.%3.1");
    text.replaceAll("%1", "192");
    text.replaceAll("%2", "168");
    text.replaceAll("%3", "10");
    EXPECT_STREQ(text.text(), "192.168.10.1");

    TextString loop("%1");
    loop.replaceAll("%1", "x%1");
    EXPECT_STREQ(loop.text(), "x%1");

    TextString overlap("aaaa");
    overlap.replaceAll("aa", "b");
    EXPECT_STREQ(overlap.text(), "bb");

    TextString too_long("ab");
    too_long.replaceAll("abc", "z");
    too_long.replaceAll("", "z");
    EXPECT_STREQ(too_long.text(), "ab");

    TextString tail("x%a");
    tail.replaceAll("%a", "10.0.0.1");
    EXPECT_STREQ(tail.text(), "x10.0.0.1");
}

TEST(TextString, SubstringCharacterAndNumber) {
    TextString text("  42abc");
    EXPECT_EQ(text.toNumber(), 42u);
    EXPECT_STREQ(text.substring(0).text(), "  42abc");
    EXPECT_STREQ(text.substring(4).text(), "abc");
    EXPECT_STREQ(text.substring(7).text(), "");
    EXPECT_STREQ(text.substring(99).text(), "");
    EXPECT_EQ(text.at(2), '4');
    EXPECT_EQ(text.at(7), '\0');
    EXPECT_EQ(TextString("-1").toNumber(), static_cast<unsigned long>(-1));
}

TEST(TextString, AppendsGrowWithHeadroom) {
    TextString text;
    text.append('a');
    EXPECT_STREQ(text.text(), "a");
    EXPECT_EQ(text.capacity(), 2u + 128u);
    for (int i = 0; i < 300; ++i) text.append("x");
    EXPECT_EQ(text.length(), 301u);
    text.append(static_cast<const char*>(nullptr));
    EXPECT_EQ(text.length(), 301u);
}

TEST(TextString, CaseHandling) {
    TextString text("Pc7-Abc");
    EXPECT_EQ(text.compareNoCase("PC7-abc"), 0);
    EXPECT_LT(TextString("a").compareNoCase("B"), 0);
    text.toUpper();
    EXPECT_STREQ(text.text(), "PC7-ABC");
    text.clear();
    EXPECT_EQ(text.length(), 0u);
    EXPECT_EQ(text.cursor(), 0);
}

TEST(TextString, CopiesOwnTheirBuffers) {
    TextString a("first");
    TextString b(a);
    a = "changed";
    EXPECT_STREQ(b.text(), "first");
    TextString c(std::move(a));
    EXPECT_STREQ(c.text(), "changed");
    std::vector<TextString> many(3, TextString("v"));
    many[1] = "w";
    EXPECT_STREQ(many[0].text(), "v");
}

}  // namespace
