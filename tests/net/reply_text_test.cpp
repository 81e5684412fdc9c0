// Reply framing: cut at the first zero byte, seventeen separators appended, GBK-aware split.
#include "net/reply_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& body) {
    return net::SplitReply(reinterpret_cast<const uint8_t*>(body.data()), body.size());
}

std::vector<std::string> Fields(std::initializer_list<std::string> head, size_t total) {
    std::vector<std::string> out(head);
    out.resize(total);
    return out;
}

TEST(SplitReply, ShortRepliesReadAsSeventeenFieldsOrMore) {
    EXPECT_EQ(Split("&2"), Fields({"&2"}, 17));
    EXPECT_EQ(Split(""), Fields({}, 17));
    EXPECT_EQ(net::SplitReply(nullptr, 0), Fields({}, 17));
    // The node's own trailing separator ends field 2; the appended ones add seventeen more.
    EXPECT_EQ(Split("&1(＆)N1(＆)"), Fields({"&1", "N1"}, 19));
    EXPECT_EQ(Split("&3(＆)(＆)x"), Fields({"&3", "", "x"}, 19));
}

TEST(SplitReply, ReadsOnlyUpToTheFirstZeroByte) {
    std::string body("&2(＆)A\0(＆)B", 12);
    EXPECT_EQ(Split(body), Fields({"&2", "A"}, 18));
    EXPECT_EQ(Split(std::string("\0&2", 3)), Fields({}, 17));
}

TEST(SplitReply, SeparatorInsideADoubleByteCharacterIsNotOne) {
    // B0 28 is one character, so the "(" that follows a lead byte cannot start a separator.
    std::string straddle = "&5(＆)\xB0(＆)z";
    auto fields = Split(straddle);
    EXPECT_EQ(fields[0], "&5");
    EXPECT_EQ(fields[1], "\xB0(\xA3\xA6)z");
    EXPECT_EQ(fields.size(), 18u);
    // 0x80 leads too, for this scan.
    EXPECT_EQ(Split("\x80(＆)")[0], "\x80(\xA3\xA6)");
    // A lone lead byte at the very end of the body swallows the first appended "(".
    auto tail = Split("ab\xC1");
    EXPECT_EQ(tail[0], "ab\xC1(\xA3\xA6)");
    EXPECT_EQ(tail.size(), 16u);  // one appended separator went into the character
    // Real GBK text around separators splits normally.
    EXPECT_EQ(Split("&获取(＆)K风景(＆)下载最多"), Fields({"&获取", "K风景", "下载最多"}, 19));
}

TEST(SplitFields, TrailingSeparatorGivesNoEmptyLastFieldAndALoneLeadEndsTheScan) {
    EXPECT_EQ(net::SplitFields("a(＆)b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(net::SplitFields("a(＆)"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(net::SplitFields("(＆)(＆)"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(net::SplitFields("a(＆)\xD6"), (std::vector<std::string>{"a", "\xD6"}));
    EXPECT_TRUE(net::SplitFields("").empty());
}

// Random bodies: whatever arrives, the fields put back together give the text again, no field
// holds a separator on a character boundary, and there are seventeen at least (sixteen when a
// lone lead byte ends the body and takes the first appended separator's "(" along).
TEST(SplitReply, RandomBodiesKeepItsPromises) {
    std::mt19937 rng(1629);
    const std::string sep = "(＆)";
    const std::string alphabet = std::string("(\xA3\xA6)ab\x80\xB0\xFE\0", 10);
    for (int round = 0; round < 3000; ++round) {
        std::string body;
        size_t length = rng() % 40;
        for (size_t i = 0; i < length; ++i) body += alphabet[rng() % alphabet.size()];
        auto fields = Split(body);
        std::string text = body.substr(0, body.find('\0'));
        ASSERT_GE(fields.size(), 16u);
        if (fields.size() == 16u) {
            ASSERT_FALSE(text.empty());
            ASSERT_GE(static_cast<unsigned char>(text.back()), 0x80);
        }
        for (int i = 0; i < 17; ++i) text += sep;
        std::string joined;
        for (const auto& f : fields) joined += f + sep;
        // The last field was ended by a separator, or it is the rest of the text.
        bool same = joined == text || joined.substr(0, joined.size() - sep.size()) == text;
        ASSERT_TRUE(same) << "round " << round;
        for (const auto& f : fields) {
            auto again = net::SplitFields(f);
            ASSERT_LE(again.size(), 1u) << "round " << round;
        }
    }
}

}  // namespace
