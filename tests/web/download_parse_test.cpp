// The download engine's parsers and builders: URLs, requests, response headers, FTP replies and
// the segment table. Parsers of network bytes are fed split at every byte and fuzzed.
#include <gtest/gtest.h>

#include <random>

#include "web/download_engine.h"
#include "web/download_ftp.h"
#include "web/download_http.h"
#include "web/download_segments.h"
#include "web/download_url.h"

using namespace web;

TEST(DownloadUrl, SchemesAreRecognisedByTheirSums) {
    EXPECT_EQ(DownloadSchemeOf("http://h/"), DownloadScheme::kHttp);
    EXPECT_EQ(DownloadSchemeOf("HTTP://h/"), DownloadScheme::kHttp);
    EXPECT_EQ(DownloadSchemeOf("ftp://h/"), DownloadScheme::kFtp);
    EXPECT_EQ(DownloadSchemeOf("mms://h/"), DownloadScheme::kMms);
    EXPECT_EQ(DownloadSchemeOf("mmst://h/"), DownloadScheme::kMms);
    EXPECT_EQ(DownloadSchemeOf("rtsp://h/"), DownloadScheme::kRtsp);
    EXPECT_EQ(DownloadSchemeOf("https://h/"), DownloadScheme::kNone);
    EXPECT_EQ(DownloadSchemeOf("htt"), DownloadScheme::kNone);
    EXPECT_EQ(DownloadSchemeOf(""), DownloadScheme::kNone);
    // Only the sum counts: a permutation of the same characters passes, as it always did.
    EXPECT_EQ(DownloadSchemeOf("hptt://h/"), DownloadScheme::kHttp);
}

TEST(DownloadUrl, HostPortUserAndPath) {
    DownloadUrl u;
    ASSERT_TRUE(ParseDownloadUrl("http://img.example.com/a/b.jpg?x=1", &u));
    EXPECT_EQ(u.host, "img.example.com");
    EXPECT_EQ(u.port, 80);
    EXPECT_EQ(u.path, "/a/b.jpg?x=1");
    ASSERT_TRUE(ParseDownloadUrl("http://h:8080/", &u));
    EXPECT_EQ(u.port, 8080);
    EXPECT_EQ(u.path, "/");
    ASSERT_TRUE(ParseDownloadUrl("ftp://bob:se:cret@files.example:2121/pub/x.zip", &u));
    EXPECT_EQ(u.scheme, DownloadScheme::kFtp);
    EXPECT_EQ(u.user, "bob");
    EXPECT_EQ(u.password, "se:cret");
    EXPECT_EQ(u.host, "files.example");
    EXPECT_EQ(u.port, 2121);
    ASSERT_TRUE(ParseDownloadUrl("ftp://bob@files.example/x", &u));
    EXPECT_EQ(u.port, 21);
    ASSERT_TRUE(ParseDownloadUrl("http://bob@h/x", &u));
    EXPECT_EQ(u.port, 80);
    ASSERT_TRUE(ParseDownloadUrl("rtsp://h/s", &u));
    EXPECT_EQ(u.port, 554);
    for (const char* bad : {"http://h", "http:///x", "http://h:/x", "http://h:0/x", "http://h:65536/x",
                            "http://h:80x/x", "https://h/x", "ftp://user@/x"})
        EXPECT_FALSE(ParseDownloadUrl(bad, &u)) << bad;
}

TEST(DownloadRequest, DirectProxyRangeAndReferer) {
    DownloadRequest r;
    r.url = "http://h:81/dir/f.jpg";
    ASSERT_TRUE(ParseDownloadUrl(r.url, &r.parsed));
    r.rangeStart = 40000;
    EXPECT_EQ(BuildDownloadRequest(r),
              "GET /dir/f.jpg HTTP/1.1\r\nHost: h\r\nAccept: */*\r\nReferer: http://h:81/dir\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nRange: bytes=40000-\r\n"
              "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
    r.referer = "http://ref.example/page";
    r.rangeStart = -1;
    EXPECT_NE(BuildDownloadRequest(r).find("\r\nReferer: http://ref.example/page\r\nUser-Agent"),
              std::string::npos);
    r.referer.clear();
    r.viaProxy = true;
    r.rangeStart = 0;
    EXPECT_EQ(BuildDownloadRequest(r),
              "GET http://h:81/dir/f.jpg HTTP/1.1\r\nHost: h\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nRange: bytes=0-\r\n"
              "Proxy-Connection: Keep-Alive\r\n\r\n");
    // A default Referer longer than 1024 bytes is left out.
    r.viaProxy = false;
    r.url = "http://h/" + std::string(1020, 'd') + "/f";
    ASSERT_TRUE(ParseDownloadUrl(r.url, &r.parsed));
    EXPECT_EQ(BuildDownloadRequest(r).find("Referer"), std::string::npos);
    r.url = "http://h/" + std::string(1015, 'd') + "/f";
    ASSERT_TRUE(ParseDownloadUrl(r.url, &r.parsed));
    EXPECT_NE(BuildDownloadRequest(r).find("Referer: http://h/ddd"), std::string::npos);
}

namespace {

const std::string kHead =
    "HTTP/1.1 206 Partial Content\r\nContent-Length: 60000\r\nContent-Range: bytes 40000-99999/100000\r\n"
    "X-Content-Length: 7\r\n\r\n";

}  // namespace

TEST(DownloadHeader, SplitAtEveryByteGivesTheSameHeaderAndBody) {
    std::string stream = kHead + "BODYBYTES";
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        ResponseHeaderReader reader;
        size_t consumed = 0;
        std::string body;
        auto state = reader.Feed(stream.data(), cut, &consumed);
        if (state == ResponseHeaderReader::State::kComplete) {
            body = stream.substr(consumed, cut - consumed) + stream.substr(cut);
        } else {
            ASSERT_EQ(consumed, cut);
            state = reader.Feed(stream.data() + cut, stream.size() - cut, &consumed);
            body = stream.substr(cut + consumed);
        }
        ASSERT_EQ(state, ResponseHeaderReader::State::kComplete) << cut;
        EXPECT_EQ(reader.text(), kHead) << cut;
        EXPECT_EQ(body, "BODYBYTES") << cut;
    }
    ResponseHead h = ParseResponseHead(kHead);
    EXPECT_EQ(h.status, 206);
    EXPECT_EQ(h.contentLength, 60000);
    EXPECT_EQ(h.rangeStart, 40000);
    EXPECT_EQ(h.rangeTotal, 100000);
}

TEST(DownloadHeader, LimitIs4097Bytes) {
    auto headerOf = [](size_t size) {
        std::string h = "HTTP/1.1 200 OK\r\nX: ";
        h += std::string(size - h.size() - 4, 'a');
        return h + "\r\n\r\n";
    };
    for (size_t size : {4096u, 4097u, 4098u}) {
        std::string h = headerOf(size);
        ASSERT_EQ(h.size(), size);
        ResponseHeaderReader byOne, whole;
        size_t consumed;
        ResponseHeaderReader::State a = ResponseHeaderReader::State::kNeedMore;
        for (size_t i = 0; i < h.size() && a == ResponseHeaderReader::State::kNeedMore; ++i)
            a = byOne.Feed(&h[i], 1, &consumed);
        auto b = whole.Feed(h.data(), h.size(), &consumed);
        auto want =
            size <= 4097 ? ResponseHeaderReader::State::kComplete : ResponseHeaderReader::State::kTooLong;
        EXPECT_EQ(a, want) << size;
        EXPECT_EQ(b, want) << size;
    }
}

TEST(DownloadHeader, StatusAndSizeLines) {
    EXPECT_EQ(ParseResponseHead("HTTP/1.0 302 Found\r\nLocation: http://x/y\r\n\r\n").status, 302);
    EXPECT_EQ(ParseResponseHead("HTTP/1.0 302 Found\r\nLocation: http://x/y\r\n\r\n").location, "http://x/y");
    EXPECT_EQ(ParseResponseHead("HTTP/2 200 OK\r\n\r\n").status, 0);
    EXPECT_EQ(ParseResponseHead("HTTP/1.1 20\r\n\r\n").status, 0);
    EXPECT_EQ(ParseResponseHead("ICY HTTP/1.1 404 x\r\n\r\n").status, 404);
    EXPECT_EQ(ParseResponseHead("HTTP/1.1 200 OK\r\nContent-length: 12\r\n\r\n").contentLength, 12);
    EXPECT_EQ(ParseResponseHead("HTTP/1.1 200 OK\r\ncontent-length: 12\r\n\r\n").contentLength, -1);
    EXPECT_EQ(ParseResponseHead("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n").contentLength, -1);
    EXPECT_EQ(
        ParseResponseHead("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n").contentLength,
        -1);
    EXPECT_EQ(ParseResponseHead("HTTP/1.1 200 OK\r\nX-Content-Length: 3\r\n\r\n").contentLength, -1);
    EXPECT_FALSE(ParseResponseHead("HTTP/1.1 302 x\r\nLocation: \r\n\r\n").hasLocation);
    EXPECT_EQ(ResolveLocation("http://h:1/a/b", "/c"), "http://h:1/c");
    EXPECT_EQ(ResolveLocation("http://h:1/a/b", "c"), "http://h:1/a/c");
    EXPECT_EQ(ResolveLocation("http://h:1/a/b", "http://o/p"), "http://o/p");
}

TEST(DownloadHeader, FuzzedBytesNeverOverrunOrCrash) {
    std::mt19937 gen(77);
    const char alphabet[] = "HTTP/1.0 2064\r\n:-Content-Length: Range bytes/Location\x81\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string s(gen() % 6000, '\0');
        for (char& c : s) c = alphabet[gen() % (sizeof alphabet - 1)];
        ResponseHeaderReader reader;
        size_t at = 0, consumed = 0;
        ResponseHeaderReader::State state = ResponseHeaderReader::State::kNeedMore;
        while (at < s.size() && state == ResponseHeaderReader::State::kNeedMore) {
            size_t n = std::min<size_t>(1 + gen() % 900, s.size() - at);
            state = reader.Feed(s.data() + at, n, &consumed);
            ASSERT_LE(consumed, n);
            at += consumed;
        }
        ASSERT_LE(reader.text().size(), kHeaderLimit);
        ResponseHead h = ParseResponseHead(reader.text());
        EXPECT_GE(h.contentLength, -1);
        EXPECT_TRUE(h.status == 0 || (h.status >= 100 && h.status <= 999));
    }
}

TEST(DownloadFtp, RepliesSplitAtEveryByte) {
    std::string stream = "220-Welcome\r\n220-second line\r\n220 ready\r\n331 Password please\r\n230 OK\n";
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        FtpReplyReader r;
        r.Feed(stream.data(), cut);
        r.Feed(stream.data() + cut, stream.size() - cut);
        ASSERT_FALSE(r.bad());
        ASSERT_TRUE(r.HasReply());
        auto a = r.Next();
        EXPECT_EQ(a.code, 220);
        EXPECT_EQ(a.text, "220-Welcome\n220-second line\n220 ready");
        ASSERT_TRUE(r.HasReply());
        EXPECT_EQ(r.Next().code, 331);
        ASSERT_TRUE(r.HasReply());
        EXPECT_EQ(r.Next().code, 230);
        EXPECT_FALSE(r.HasReply());
    }
    FtpReplyReader junk;
    junk.Feed("hello\r\n", 7);
    EXPECT_TRUE(junk.bad());
    FtpReplyReader endless;
    std::string longLine(5000, '2');
    endless.Feed(longLine.data(), longLine.size());
    EXPECT_TRUE(endless.bad());
}

TEST(DownloadFtp, PassiveAddressPortCommandAndSizes) {
    uint32_t a = 0;
    uint16_t p = 0;
    ASSERT_TRUE(ParsePassiveReply("227 Entering Passive Mode (127,0,0,1,195,80).", &a, &p));
    EXPECT_EQ(p, 195 * 256 + 80);
    EXPECT_EQ(FormatPortCommand(a, p), "PORT 127,0,0,1,195,80");
    ASSERT_TRUE(ParsePassiveReply("227 Passive 10,1,2,3,0,21", &a, &p));
    EXPECT_EQ(FormatPortCommand(a, p), "PORT 10,1,2,3,0,21");
    for (const char* bad : {"227 (127,0,0,1,300,1)", "227 (127,0,0,1,4)", "227 ()", "227 (1,2,3,4,0,0)",
                            "227 (1,2,3,4,5,6666)"})
        EXPECT_FALSE(ParsePassiveReply(bad, &a, &p)) << bad;
    EXPECT_EQ(FtpStatedSize(213, "213 1048576"), 1048576);
    EXPECT_EQ(FtpStatedSize(213, "213 12x"), -1);
    EXPECT_EQ(FtpStatedSize(150, "150 Opening BINARY mode data connection for x.zip (4096 bytes)."), 4096);
    EXPECT_EQ(FtpStatedSize(150, "150 Opening data connection."), -1);
    EXPECT_EQ(FtpStatedSize(550, "550 No such file"), -1);
}

TEST(DownloadSegments, DivisionAndSplitting) {
    auto one = InitialSegments(20479, 5, true);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].length, 20479);
    auto five = InitialSegments(100003, 5, true);
    ASSERT_EQ(five.size(), 5u);
    EXPECT_EQ(five[3].start, 60000);
    EXPECT_EQ(five[4].length, 20003);
    EXPECT_EQ(InitialSegments(1 << 20, 5, false).size(), 1u);
    EXPECT_EQ(InitialSegments(0, 5, true).size(), 1u);

    // All assigned: the segment with the most left is split, the old one keeps the larger half.
    for (auto& s : five) s.assigned = true;
    five[2].done = 19999;  // 1 left
    five[1].done = 100;    // 19900 left: below twice the block size, not split
    EXPECT_EQ(ChooseSegment(five, true), -1);
    std::vector<DownloadSegment> big = InitialSegments(1000001, 2, true);
    for (auto& s : big) s.assigned = true;
    big[0].done = 400000;
    big[1].done = 10;  // 500001 - 10 = 499991 left
    int i = ChooseSegment(big, true);
    ASSERT_EQ(i, 2);
    big[2].assigned = true;
    EXPECT_EQ(big[1].length, 10 + 249996);
    EXPECT_EQ(big[2].start, big[1].start + big[1].length);
    EXPECT_EQ(big[2].length, 249995);
    EXPECT_EQ(big[2].start + big[2].length, 1000001);
    EXPECT_EQ(ChooseSegment(big, false), -1);
    // A free segment is taken before anything is split.
    big[0].assigned = false;
    EXPECT_EQ(ChooseSegment(big, true), 0);
}
