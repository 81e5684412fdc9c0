// The node's web side as the client's downloaders use it: previews and detail pictures of the
// right size, full images with exact Content-Length, and Range answers.
#include <gtest/gtest.h>

#include <random>

#include "http_server.h"
#include "node_harness.h"
#include "protocol.h"
#include "sys/text.h"

using namespace nodetest;

namespace {

class NodeHttp : public ::testing::Test {
  protected:
    TempDir cache{"http"};
    std::unique_ptr<RunningNode> node;
    void SetUp() override { node = std::make_unique<RunningNode>(TestConfig(cache.path()), "secret"); }
    std::vector<std::string> ListPaths(const std::string& cat) {
        PackClient c(node->packPort());
        auto f =
            c.Ask(std::string("&获取") + kSep + cat + kSep + "下载最多" + kSep + "1" + kSep + "0" + kSep);
        return sys::Split(FieldOf(f, 5), "[a]");
    }
    std::string ImagePath(const std::string& cat, const std::string& listPath) {
        PackClient c(node->packPort());
        auto f = c.Ask(std::string("&下载") + kSep + cat + kSep + listPath + kSep + "m" + kSep + kSep);
        std::string url = FieldOf(f, 2);
        std::string base = "http://127.0.0.1:" + std::to_string(node->httpPort());
        EXPECT_TRUE(sys::StartsWith(url, base + "/")) << url;
        return url.substr(base.size());
    }
};

TEST_F(NodeHttp, PreviewsAndDetailPicturesHaveTheirSizes) {
    for (const char* cat : {"K风景", "4K风景", "K动物"}) {
        for (const auto& p : ListPaths(cat)) {
            auto r = HttpGet(node->httpPort(), p);
            ASSERT_EQ(r.status, 200) << p;
            EXPECT_EQ(r.Header("Content-Type"), "image/jpeg");
            EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
            int w = 0, h = 0;
            ASSERT_TRUE(PictureSize(r.body, w, h));
            EXPECT_EQ(w, 296);
            EXPECT_EQ(h, 156);
            auto d = HttpGet(node->httpPort(), "/detail/" + node::KeyFromPath(p) + "_d.jpg");
            ASSERT_EQ(d.status, 200);
            ASSERT_TRUE(PictureSize(d.body, w, h));
            EXPECT_EQ(w, 864);
            EXPECT_EQ(h, 456);
        }
    }
    // Made once: the cached file is what a second request gets.
    std::string p = ListPaths("K风景")[0];
    EXPECT_EQ(HttpGet(node->httpPort(), p).body, ReadFile(cache.path() + p));
}

TEST_F(NodeHttp, FullImagesAndRangeAnswers) {
    std::string list = ListPaths("K风景")[0];
    std::string path = ImagePath("K风景", list);
    auto full = HttpGet(node->httpPort(), path);
    ASSERT_EQ(full.status, 200);
    size_t size = full.body.size();
    ASSERT_GT(size, 100u);
    // The download engine reads these two headers with exactly this spelling.
    EXPECT_EQ(full.Header("Content-Length"), std::to_string(size));
    EXPECT_EQ(full.head.compare(0, 9, "HTTP/1.1 "), 0);

    auto open = HttpGet(node->httpPort(), path, "Range: bytes=50-\r\n");
    EXPECT_EQ(open.status, 206);
    EXPECT_EQ(open.Header("Content-Range"),
              "bytes 50-" + std::to_string(size - 1) + "/" + std::to_string(size));
    EXPECT_EQ(open.Header("Content-Length"), std::to_string(size - 50));
    EXPECT_EQ(open.body, full.body.substr(50));

    auto mid = HttpGet(node->httpPort(), path, "Range: bytes=10-19\r\n");
    EXPECT_EQ(mid.status, 206);
    EXPECT_EQ(mid.body, full.body.substr(10, 10));

    // An end past the size is cut to the size; a start at the end cannot be satisfied.
    auto past = HttpGet(node->httpPort(), path, "Range: bytes=" + std::to_string(size - 5) + "-99999999\r\n");
    EXPECT_EQ(past.status, 206);
    EXPECT_EQ(past.Header("Content-Length"), "5");
    EXPECT_EQ(past.body, full.body.substr(size - 5));
    for (size_t start : {size, size + 1000}) {
        auto none = HttpGet(node->httpPort(), path, "Range: bytes=" + std::to_string(start) + "-\r\n");
        EXPECT_EQ(none.status, 416);
        EXPECT_EQ(none.Header("Content-Range"), "bytes */" + std::to_string(size));
        EXPECT_TRUE(none.body.empty());
    }
    auto suffix = HttpGet(node->httpPort(), path, "Range: bytes=-7\r\n");
    EXPECT_EQ(suffix.status, 206);
    EXPECT_EQ(suffix.body, full.body.substr(size - 7));

    auto head = HttpGet(node->httpPort(), path, "", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("Content-Length"), std::to_string(size));
    EXPECT_TRUE(head.body.empty());
}

TEST_F(NodeHttp, SourcesTheClientCannotDecodeAreServedAsJpeg) {
    for (const auto& p : ListPaths("K动物")) {
        std::string path = ImagePath("K动物", p);
        auto r = HttpGet(node->httpPort(), path);
        ASSERT_EQ(r.status, 200) << path;
        int w = 0, h = 0;
        ASSERT_TRUE(PictureSize(r.body, w, h));
        if (sys::EndsWith(path, ".jpg")) {
            EXPECT_EQ(r.body.compare(0, 2, "\xFF\xD8"), 0);  // the WebP, converted
            EXPECT_EQ(w, 90);
        } else {
            EXPECT_EQ(r.body.compare(1, 3, "PNG"), 0);  // PNG goes as it is
            EXPECT_EQ(w, 80);
        }
    }
}

TEST_F(NodeHttp, UnknownNamesAndTheAdminEndpoint) {
    EXPECT_EQ(HttpGet(node->httpPort(), "/preview/0123456789abcdef.jpg").status, 404);
    EXPECT_EQ(HttpGet(node->httpPort(), "/preview/../../etc/passwd").status, 404);
    EXPECT_EQ(HttpGet(node->httpPort(), "/image/zz.jpg").status, 404);
    // The admin endpoint has a listener of its own; the public one does not know it.
    EXPECT_EQ(HttpGet(node->httpPort(), "/admin/rescan", "X-Admin-Token: secret\r\n", "POST").status, 404);
    testing::internal::CaptureStderr();
    EXPECT_EQ(HttpGet(node->adminPort(), "/admin/rescan", "", "POST").status, 403);
    EXPECT_EQ(HttpGet(node->adminPort(), "/admin/notice", "X-Admin-Token: secreT\r\n", "POST", "x").status,
              403);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("admin: refused 127.0.0.1 POST /admin/rescan: no token"), std::string::npos) << log;
    EXPECT_NE(log.find("admin: refused 127.0.0.1 POST /admin/notice: wrong token"), std::string::npos) << log;

    PackClient c(node->packPort());
    ASSERT_EQ(FieldOf(c.Ask("&2"), 1), "&2");
    auto ok = HttpGet(node->adminPort(), "/admin/notice", "X-Admin-Token: secret\r\n", "POST",
                      sys::GbkToUtf8("你好"));
    EXPECT_EQ(ok.status, 200);
    auto r = c.Receive();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, std::string("&通用") + kSep + "你好");
    auto scan = HttpGet(node->adminPort(), "/admin/rescan", "X-Admin-Token: secret\r\n", "POST");
    EXPECT_EQ(scan.status, 200);
    EXPECT_NE(scan.body.find("pictures"), std::string::npos);
}

TEST(NodeHttpRange, ResolveRangeEdges) {
    uint64_t a = 0, b = 0;
    EXPECT_EQ(node::ResolveRange("bytes=0-", 100, a, b), 206);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 99u);
    EXPECT_EQ(node::ResolveRange("bytes=99-", 100, a, b), 206);
    EXPECT_EQ(a, 99u);
    EXPECT_EQ(node::ResolveRange("bytes=100-", 100, a, b), 416);
    EXPECT_EQ(node::ResolveRange("bytes=-200", 100, a, b), 206);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(node::ResolveRange("bytes=-0", 100, a, b), 416);
    EXPECT_EQ(node::ResolveRange("bytes=0-", 0, a, b), 416);
    EXPECT_EQ(node::ResolveRange("bytes=5-2", 100, a, b), 0);
    EXPECT_EQ(node::ResolveRange("bytes=0-1,5-6", 100, a, b), 0);
    EXPECT_EQ(node::ResolveRange("items=0-1", 100, a, b), 0);
    EXPECT_EQ(node::ResolveRange("bytes=x-", 100, a, b), 0);
    EXPECT_EQ(node::ResolveRange("bytes=99999999999999999999-", 100, a, b), 0);

    // Whatever the header, a 206 names bytes inside the body.
    std::mt19937 rng(1630);
    const char alphabet[] = "bytes=-0123456789, ";
    for (int i = 0; i < 20000; ++i) {
        std::string h = rng() % 2 ? "bytes=" : "";
        for (int n = static_cast<int>(rng() % 12); n > 0; --n) h += alphabet[rng() % (sizeof alphabet - 1)];
        uint64_t size = rng() % 50;
        int kind = node::ResolveRange(h, size, a, b);
        ASSERT_TRUE(kind == 0 || kind == 206 || kind == 416) << h;
        if (kind == 206) {
            ASSERT_LE(a, b) << h;
            ASSERT_LT(b, size) << h;
        }
    }
}

}  // namespace
