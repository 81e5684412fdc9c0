// The shared framing, fed the way TCP delivers: split at every byte, in random chunks, and
// with bad headers.
#include "pack_frame.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> FeedInChunks(pack::Decoder& d, const std::string& stream,
                                      const std::vector<size_t>& cuts, bool* ok) {
    std::vector<std::string> out;
    size_t at = 0;
    *ok = true;
    auto sink = [&](const uint8_t* b, size_t n) { out.emplace_back(reinterpret_cast<const char*>(b), n); };
    for (size_t cut : cuts) {
        *ok = d.Feed(reinterpret_cast<const uint8_t*>(stream.data()) + at, cut - at, sink) && *ok;
        at = cut;
    }
    *ok = d.Feed(reinterpret_cast<const uint8_t*>(stream.data()) + at, stream.size() - at, sink) && *ok;
    return out;
}

TEST(PackFrame, SplitAtEveryByteGivesTheSameBodies) {
    std::vector<std::string> bodies = {"&1(＆)", "", "abc", std::string(300, 'z'), std::string("\0\xff", 2)};
    std::string stream;
    for (const auto& b : bodies) stream += pack::Encode(b);
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        pack::Decoder d;
        bool ok;
        EXPECT_EQ(FeedInChunks(d, stream, {cut}, &ok), bodies) << "cut at " << cut;
        EXPECT_TRUE(ok);
        EXPECT_TRUE(d.idle());
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<size_t> cuts;
        for (size_t at = 0; at < stream.size(); at += 1 + rng() % 9) cuts.push_back(at);
        pack::Decoder d;
        bool ok;
        EXPECT_EQ(FeedInChunks(d, stream, cuts, &ok), bodies);
    }
}

TEST(PackFrame, WrongFlagOrTooLongStopsForGood) {
    {
        pack::Decoder d(1023, 10);
        std::string stream = pack::Encode("ok") + pack::Encode(std::string(11, 'x')) + pack::Encode("late");
        bool ok;
        EXPECT_EQ(FeedInChunks(d, stream, {3, 9}, &ok), std::vector<std::string>{"ok"});
        EXPECT_FALSE(ok);
        EXPECT_TRUE(d.failed());
    }
    {
        pack::Decoder d;
        std::string stream = pack::Encode("ok") + pack::Encode("bad", 1022);
        bool ok;
        EXPECT_EQ(FeedInChunks(d, stream, {7}, &ok), std::vector<std::string>{"ok"});
        EXPECT_FALSE(ok);
        uint8_t more = 0;
        EXPECT_FALSE(d.Feed(&more, 1, [](const uint8_t*, size_t) {}));
    }
    // The header is little-endian (flag << 22) | length.
    EXPECT_EQ(pack::Encode("abc"), std::string("\x03\x00\xC0\xFF"
                                               "abc",
                                               7));
}

}  // namespace
