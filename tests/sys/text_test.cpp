#include "sys/text.h"

#include <gtest/gtest.h>

using namespace sys;

namespace {
// "表" is B1 ED, "\x95\x5C" is a character whose trail byte is '\\'.
const std::string kBackslashTrail = "\x95\x5C";  // 昞-like: trail byte 0x5C
}  // namespace

TEST(TextFind, NeverMatchesInsideDoubleByteCharacter) {
    std::string path = "a" + kBackslashTrail + "b\\c";
    EXPECT_EQ(Find(path, "\\"), 5);
    EXPECT_EQ(FindLast(path, "\\"), 5);
    EXPECT_EQ(Find(kBackslashTrail, "\\"), -1);
    // 'A' (0x41) is a valid trail byte too.
    EXPECT_EQ(Find("\xB0\x41"
                   "A",
                   "A"),
              3);
    EXPECT_EQ(Find("\xB0\x41"
                   "a",
                   "A", 1, true),
              3);
}

TEST(TextFind, PositionsAndStart) {
    EXPECT_EQ(Find("abcabc", "c"), 3);
    EXPECT_EQ(Find("abcabc", "c", 4), 6);
    EXPECT_EQ(Find("abcabc", "c", 0), 3);
    EXPECT_EQ(Find("abcabc", "c", 7), -1);
    EXPECT_EQ(Find("abc", ""), -1);
    EXPECT_EQ(Find("", "a"), -1);
    EXPECT_EQ(FindLast("abcabc", "bc"), 5);
    EXPECT_EQ(Find("渺岚壁纸", "壁纸"), 5);
    EXPECT_EQ(Find("HTTP://X", "http://", 1, true), 1);
    EXPECT_EQ(Find("HTTP://X", "http://"), -1);
}

TEST(TextFind, LeadByteAtEndStandsAlone) {
    std::string t = "ab\xB1";
    EXPECT_EQ(Find(t, "\xB1"), 3);
    EXPECT_EQ(Find(t, "b"), 2);
    // A needle ending in a lone lead byte does not match the first half of a character.
    EXPECT_EQ(Find("x\xB1\xED", "x\xB1"), -1);
    EXPECT_TRUE(EndsWith("ab\\", "\\"));
    EXPECT_FALSE(EndsWith(kBackslashTrail, "\\"));
}

TEST(TextCase, FoldsAsciiOnly) {
    EXPECT_EQ(ToLowerAscii("HTTP://Ab\xC1\x41Z"), "http://ab\xC1\x41z");
    EXPECT_EQ(ToUpperAscii("x-\xB0\x61y"), "X-\xB0\x61Y");
}

TEST(TextTrim, AsciiAndFullWidthSpacesOnly) {
    EXPECT_EQ(Trim("  \xA1\xA1 a b \xA1\xA1  "), "a b");
    EXPECT_EQ(Trim("\tx\t"), "\tx\t");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\xA1\xA1"), "");
    // "\xB0\xA1" ends in A1 but is a character of its own, not half a full-width space.
    EXPECT_EQ(Trim("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
}

TEST(TextSplit, EmptyPiecesAndTrailingSeparator) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("a,,b", ","), (V{"a", "", "b"}));
    EXPECT_EQ(Split(",a,", ","), (V{"", "a"}));
    EXPECT_EQ(Split("a,,", ","), (V{"a", ""}));
    EXPECT_EQ(Split("", ","), V{});
    EXPECT_EQ(Split(",", ","), V{""});
    EXPECT_EQ(Split("abc", ""), V{"abc"});
    EXPECT_EQ(Split("a\\b" + kBackslashTrail + "c", "\\"), (V{"a", "b" + kBackslashTrail + "c"}));
    EXPECT_EQ(Split("&1(＆)x(＆)", "(＆)"), (V{"&1", "x"}));
    EXPECT_EQ(Join({"a", "", "b"}, "; "), "a; ; b");
}

TEST(TextReplace, CharacterBoundaries) {
    EXPECT_EQ(ReplaceAll("#引号a#引号", "#引号", "\""), "\"a\"");
    EXPECT_EQ(ReplaceAll(kBackslashTrail + "\\", "\\", "/"), kBackslashTrail + "/");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

TEST(TextToInt, SignDigitsAndSaturation) {
    EXPECT_EQ(ToInt("42abc"), 42);
    EXPECT_EQ(ToInt("-7"), -7);
    EXPECT_EQ(ToInt("+5"), 5);
    EXPECT_EQ(ToInt("abc"), 0);
    EXPECT_EQ(ToInt(""), 0);
    EXPECT_EQ(ToInt("-"), 0);
    // No blank is skipped: leading blanks are not digits.
    EXPECT_EQ(ToInt("  12"), 0);
    EXPECT_EQ(ToInt("\t3"), 0);
    EXPECT_EQ(ToInt("- 3"), 0);
    EXPECT_EQ(ToInt("99999999999"), 2147483647);
    EXPECT_EQ(ToInt("2147483648"), 2147483647);
    EXPECT_EQ(ToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ToInt(std::string(5000, '9')), 2147483647);
    EXPECT_EQ(ToInt("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(ToInt("８０８０"), 0);
    EXPECT_EQ(ToInt("８０８０", true), 8080);
    EXPECT_EQ(ToInt("8０8x", true), 808);
}

TEST(TextRound, HalfAwayFromZeroTwoDecimals) {
    EXPECT_EQ(FormatRounded2(1.005), "1.01");
    EXPECT_EQ(FormatRounded2(2.675), "2.68");
    EXPECT_EQ(FormatRounded2(-2.675), "-2.68");
    EXPECT_EQ(FormatRounded2(1.004), "1");
    EXPECT_EQ(FormatRounded2(0.005), "0.01");
    EXPECT_EQ(FormatRounded2(0.004), "0");
    EXPECT_EQ(FormatRounded2(-0.001), "0");
    EXPECT_EQ(FormatRounded2(123456.789), "123456.79");
    EXPECT_EQ(FormatRounded2(3.0), "3");
    EXPECT_EQ(FormatRounded2(1e20), "1e+20");
}

TEST(TextCodec, GbkRoundTrips) {
    std::string gbk = "渺岚壁纸 4K风景";
    std::u16string wide = GbkToUtf16(gbk);
    EXPECT_EQ(wide, u"渺岚壁纸 4K风景");
    EXPECT_EQ(Utf16ToGbk(wide), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), std::string(reinterpret_cast<const char*>(u8"渺岚壁纸 4K风景")));
    EXPECT_EQ(Utf8ToGbk(reinterpret_cast<const char*>(u8"节点")), "节点");
    EXPECT_EQ(Utf16ToGbk(u"\U0001F600"), "?");
    EXPECT_EQ(GbkToUtf16(""), u"");
}

TEST(TextCodec, LiteralsAreGbkBytes) {
    EXPECT_EQ(std::string("渺岚壁纸"), "\xC3\xEC\xE1\xB0\xB1\xDA\xD6\xBD");
    EXPECT_EQ(std::string("(＆)"), "\x28\xA3\xA6\x29");
    EXPECT_EQ(std::string("\xA1\xA1"), "　");
}
