// Every reply of the node, field by field, as the client reads it, over a real connection.
#include "protocol.h"

#include <gtest/gtest.h>

#include <set>

#include "node_harness.h"
#include "sys/text.h"

using namespace nodetest;

namespace {

std::string S(std::initializer_list<std::string> fields) {
    std::string out;
    bool first = true;
    for (const auto& f : fields) {
        if (!first) out += kSep;
        out += f;
        first = false;
    }
    return out;
}

// The client's three list requests.
std::string TabChange(const std::string& cat, const std::string& tab, const std::string& id) {
    return S({"&获取", cat, "下载最多", "1", tab, id});
}
std::string Paging(const std::string& cat, const std::string& page, const std::string& id) {
    return S({"&获取", cat, "下载最多", page, "", id, ""});
}

class NodeProtocol : public ::testing::Test {
  protected:
    TempDir cache{"proto"};
    std::unique_ptr<RunningNode> node;
    void Start(node::Config c) { node = std::make_unique<RunningNode>(std::move(c)); }
    void SetUp() override { Start(TestConfig(cache.path())); }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(node->httpPort()); }
    std::vector<std::string> Paths(const std::vector<std::string>& reply) {
        return sys::Split(FieldOf(reply, 5), "[a]");
    }
};

TEST_F(NodeProtocol, HelloDescribesTheNodeWhoseIdIsItsHttpBase) {
    PackClient c(node->packPort());
    auto f = c.Ask(S({"&1", ""}));
    ASSERT_EQ(FieldOf(f, 1), "&1");
    auto parts = sys::Split(FieldOf(f, 2), "[a]");
    ASSERT_EQ(parts.size(), 4u) << FieldOf(f, 2);
    EXPECT_FALSE(parts[0].empty());
    EXPECT_EQ(parts[3], BaseUrl());
    EXPECT_NE(FieldOf(f, 3), "真");  // no notice configured: no message box
}

TEST_F(NodeProtocol, HelloCarriesTheConfiguredNoticeAndNodeListNamesEveryMirror) {
    node::Config c = TestConfig(cache.path());
    c.notice = "欢迎(＆)使用";
    c.mirrors = {{"http://127.0.0.1:9", "香港", "甲 赞助", "http://a.example", "", ""},
                 {"http://127.0.0.1:8", "上海[a]", "乙", "http://b.example", "", ""}};
    node.reset();
    Start(c);
    PackClient cl(node->packPort());
    auto hello = cl.Ask(S({"&1", ""}));
    EXPECT_EQ(FieldOf(hello, 2), "香港[a]甲 赞助[a]http://a.example[a]http://127.0.0.1:9");
    EXPECT_EQ(FieldOf(hello, 3), "真");
    // A separator inside the notice would cut it short on the client.
    EXPECT_EQ(FieldOf(hello, 4), "欢迎 使用");
    EXPECT_EQ(hello.size(), 4u);

    auto list = cl.Ask("&2");
    ASSERT_EQ(FieldOf(list, 1), "&2");
    auto records = sys::Split(FieldOf(list, 2), "[q]");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], "香港[a]甲 赞助[a]http://a.example[a]http://127.0.0.1:9");
    EXPECT_EQ(sys::Split(records[1], "[a]"),
              (std::vector<std::string>{"上海 ", "乙", "http://b.example", "http://127.0.0.1:8"}));
}

TEST_F(NodeProtocol, ListPageFieldsAndPagingEdges) {
    PackClient c(node->packPort());
    auto f = c.Ask(TabChange("K风景", "1", BaseUrl()));
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(FieldOf(f, 1), "&获取");
    EXPECT_EQ(FieldOf(f, 2), "K风景");
    EXPECT_EQ(FieldOf(f, 3), "3");  // 20 pictures, 7 a page
    EXPECT_EQ(FieldOf(f, 4), "1");
    EXPECT_EQ(FieldOf(f, 6), "1");  // tab position echoed
    EXPECT_EQ(FieldOf(f, 7), BaseUrl());
    auto page1 = Paths(f);
    ASSERT_EQ(page1.size(), 7u);
    for (const auto& p : page1) {
        // The client caches previews by the text after the last "/": it must be there.
        EXPECT_TRUE(sys::StartsWith(p, "/preview/")) << p;
        EXPECT_EQ(p.size(), std::string("/preview/").size() + 16 + 4);
    }

    auto last = c.Ask(Paging("K风景", "3", ""));
    EXPECT_EQ(FieldOf(last, 4), "3");
    EXPECT_EQ(Paths(last).size(), 6u);
    // Out of range pages get the nearest valid page.
    EXPECT_EQ(FieldOf(c.Ask(Paging("K风景", "99", "")), 4), "3");
    EXPECT_EQ(FieldOf(c.Ask(Paging("K风景", "0", "")), 4), "1");
    EXPECT_EQ(FieldOf(c.Ask(Paging("K风景", "abc", "")), 4), "1");
    EXPECT_EQ(FieldOf(c.Ask(Paging("K风景", "-2", "")), 4), "1");

    // Every picture appears on exactly one page.
    std::set<std::string> all(page1.begin(), page1.end());
    for (const auto& p : Paths(c.Ask(Paging("K风景", "2", "")))) all.insert(p);
    for (const auto& p : Paths(last)) all.insert(p);
    EXPECT_EQ(all.size(), 20u);
}

TEST_F(NodeProtocol, PagingRepliesNameTheCategorysOwnTabPosition) {
    // Paging requests carry no tab position; echoing the empty field would make the client
    // mark position 0 as loaded and never ask for that tab.
    PackClient c(node->packPort());
    EXPECT_EQ(FieldOf(c.Ask(Paging("K风景", "2", "")), 6), "1");
    EXPECT_EQ(FieldOf(c.Ask(Paging("4K动物", "1", "")), 6), "6");
    EXPECT_EQ(FieldOf(c.Ask(TabChange("K动物", "9", "")), 6), "6");
}

TEST_F(NodeProtocol, EmptyAndUnknownCategories) {
    PackClient c(node->packPort());
    // No folder, or only files that are not pictures: one empty page.
    for (const char* cat : {"K游戏", "K汽车"}) {
        auto f = c.Ask(TabChange(cat, "3", ""));
        EXPECT_EQ(FieldOf(f, 2), cat);
        EXPECT_EQ(FieldOf(f, 3), "1");
        EXPECT_EQ(FieldOf(f, 4), "1");
        EXPECT_EQ(FieldOf(f, 5), "");
    }
    // Unknown or missing categories get no reply: the next reply is the node list.
    ASSERT_TRUE(c.Send(TabChange("K风景x", "1", "")));
    ASSERT_TRUE(c.Send("&获取"));
    ASSERT_TRUE(c.Send(S({"&详细", "K风景", "/preview/0000000000000000.jpg"})));
    ASSERT_TRUE(c.Send(S({"&下载", "K风景", "nonsense"})));
    ASSERT_TRUE(c.Send(S({"&更换", "7", "m", ""})));
    ASSERT_TRUE(c.Send(S({"&未知", "x"})));
    ASSERT_TRUE(c.Send(""));
    EXPECT_EQ(FieldOf(c.Ask("&2"), 1), "&2");
}

TEST_F(NodeProtocol, DetailCountsViewsAndDownloadCountsDownloads) {
    PackClient c(node->packPort());
    std::string path = Paths(c.Ask(TabChange("K美女", "2", "")))[0];
    auto d = c.Ask(S({"&详细", "K美女", path}));
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(FieldOf(d, 1), "&详细");
    std::string key = node::KeyFromPath(path);
    EXPECT_EQ(FieldOf(d, 2), "/detail/" + key + "_d.jpg");
    // The client shows the detail picture from its preview cache folder by file name, so it
    // must not share the preview's name.
    EXPECT_NE(FieldOf(d, 2).substr(FieldOf(d, 2).rfind('/')), path.substr(path.rfind('/')));
    size_t bytes = ReadFile(CatalogueDir() + "/" + sys::GbkToUtf8("K美女") + "/titled.jpg").size();
    EXPECT_EQ(FieldOf(d, 3), std::to_string((bytes + 1023) / 1024));  // kilobytes
    EXPECT_EQ(FieldOf(d, 4), "0");
    EXPECT_EQ(FieldOf(d, 5), "1");
    // Title and text from the side file, with the separators taken out.
    EXPECT_EQ(FieldOf(d, 6), "春天 的 花");
    EXPECT_EQ(FieldOf(d, 7), "第一行\n第二行 ");
    EXPECT_EQ(FieldOf(d, 8), "K美女");

    // The detail window's download button sends the detail path; a list button the list path.
    auto dl = c.Ask(S({"&下载", "K美女", FieldOf(d, 2), "123", "", BaseUrl()}));
    ASSERT_EQ(dl.size(), 3u);
    EXPECT_EQ(FieldOf(dl, 1), "&下载");
    EXPECT_EQ(FieldOf(dl, 2), BaseUrl() + "/image/" + key + ".jpg");
    EXPECT_EQ(FieldOf(dl, 3), "0");
    EXPECT_EQ(FieldOf(c.Ask(S({"&下载", "K美女", path, "123", "", ""})), 3), "0");

    auto again = c.Ask(S({"&详细", "K美女", path}));
    EXPECT_EQ(FieldOf(again, 4), "2");
    EXPECT_EQ(FieldOf(again, 5), "2");
    // A path of another category is no picture of this one.
    ASSERT_TRUE(c.Send(S({"&详细", "K风景", path})));
    EXPECT_EQ(FieldOf(c.Ask("&2"), 1), "&2");
}

TEST_F(NodeProtocol, ListsAreSortedByDownloadsAndCountsSurviveARestart) {
    std::vector<std::string> page;
    {
        PackClient c(node->packPort());
        page = Paths(c.Ask(Paging("K风景", "3", "")));
        ASSERT_EQ(page.size(), 6u);
        for (int i = 0; i < 3; ++i) c.Ask(S({"&下载", "K风景", page[4], "m", "", ""}));
        c.Ask(S({"&下载", "K风景", page[2], "m", "", ""}));
        c.Ask(S({"&详细", "K风景", page[2]}));
        auto first = Paths(c.Ask(Paging("K风景", "1", "")));
        ASSERT_GE(first.size(), 2u);
        EXPECT_EQ(first[0], page[4]);
        EXPECT_EQ(first[1], page[2]);
    }
    node.reset();
    Start(TestConfig(cache.path()));
    PackClient c(node->packPort());
    auto first = Paths(c.Ask(Paging("K风景", "1", "")));
    ASSERT_GE(first.size(), 2u);
    EXPECT_EQ(first[0], page[4]);
    EXPECT_EQ(first[1], page[2]);
    auto d = c.Ask(S({"&详细", "K风景", page[4]}));
    EXPECT_EQ(FieldOf(d, 4), "3");
    EXPECT_EQ(FieldOf(d, 5), "1");
    auto d2 = c.Ask(S({"&详细", "K风景", page[2]}));
    EXPECT_EQ(FieldOf(d2, 4), "1");
    EXPECT_EQ(FieldOf(d2, 5), "2");
}

TEST_F(NodeProtocol, MirrorsPickTheAddressesHandedOut) {
    node::Config c = TestConfig(cache.path());
    c.mirrors = {{"http://127.0.0.1:7001", "甲", "", "", "", ""},
                 {"http://127.0.0.1:7002", "乙", "", "", "http://cdn.example/m2", "http://img.example/full"}};
    node.reset();
    Start(c);
    PackClient cl(node->packPort());
    auto a = cl.Ask(TabChange("K动物", "6", "http://127.0.0.1:7002"));
    EXPECT_EQ(FieldOf(a, 7), "http://cdn.example/m2");
    auto b = cl.Ask(TabChange("K动物", "6", "unknown id"));
    EXPECT_EQ(FieldOf(b, 7), "http://127.0.0.1:7001");
    std::string webp;
    for (const auto& p : Paths(a)) {
        auto d = cl.Ask(S({"&下载", "K动物", p, "m", "", "http://127.0.0.1:7001"}));
        EXPECT_TRUE(
            sys::StartsWith(FieldOf(d, 2), "http://127.0.0.1:7001/image/" + node::KeyFromPath(p) + "."));
        // Originals the client cannot decode are handed out as JPEG.
        EXPECT_TRUE(sys::EndsWith(FieldOf(d, 2), ".jpg") || sys::EndsWith(FieldOf(d, 2), ".png"));
        // An external image server gets the catalogue's own relative path, percent-encoded.
        auto e = cl.Ask(S({"&下载", "K动物", p, "m", "", "http://127.0.0.1:7002"}));
        EXPECT_TRUE(FieldOf(e, 2) == "http://img.example/full/K%E5%8A%A8%E7%89%A9/a.png" ||
                    FieldOf(e, 2) == "http://img.example/full/K%E5%8A%A8%E7%89%A9/b.webp")
            << FieldOf(e, 2);
    }
    // "&更换" carries no node id: the one registered with "&3" decides.
    ASSERT_TRUE(cl.Send(S({"&3", "http://127.0.0.1:7002", ""})));
    auto r = cl.Ask(S({"&更换", "2", "m", ""}));
    EXPECT_TRUE(sys::StartsWith(FieldOf(r, 2), "http://img.example/full/")) << FieldOf(r, 2);
    EXPECT_EQ(FieldOf(r, 3), "1");
}

TEST_F(NodeProtocol, ChangePicksFromTheRequestedView) {
    PackClient c(node->packPort());
    std::set<std::string> wide;
    for (const auto& p : Paths(c.Ask(TabChange("4K风景", "1", "")))) wide.insert(node::KeyFromPath(p));
    ASSERT_EQ(wide.size(), 2u);
    std::set<std::string> seen4k, seenHd;
    for (int i = 0; i < 40; ++i) {
        auto f = c.Ask(S({"&更换", "1", "m", ""}));
        ASSERT_EQ(FieldOf(f, 1), "&下载");
        EXPECT_EQ(FieldOf(f, 3), "1");
        seen4k.insert(node::KeyFromPath(FieldOf(f, 2)));
        auto h = c.Ask(S({"&更换", "2", "m", ""}));
        seenHd.insert(node::KeyFromPath(FieldOf(h, 2)));
        EXPECT_EQ(FieldOf(c.Ask(S({"&更换", "0", "m", ""})), 3), "1");
    }
    EXPECT_EQ(seen4k, wide);
    for (const auto& k : seenHd) EXPECT_EQ(wide.count(k), 0u);
    EXPECT_GT(seenHd.size(), 3u);
}

TEST(NodeProtocolPaths, KeysComeOnlyFromWellFormedNames) {
    EXPECT_EQ(node::KeyFromPath("/preview/0123456789abcdef.jpg"), "0123456789abcdef");
    EXPECT_EQ(node::KeyFromPath("/detail/0123456789abcdef_d.jpg"), "0123456789abcdef");
    EXPECT_EQ(node::KeyFromPath("http://h:1/image/0123456789abcdef.png"), "0123456789abcdef");
    EXPECT_EQ(node::KeyFromPath("/preview/0123456789ABCDEF.jpg"), "");
    EXPECT_EQ(node::KeyFromPath("/preview/../0123456789abcde.jpg"), "");
    EXPECT_EQ(node::KeyFromPath(""), "");
    EXPECT_EQ(node::UrlPath(sys::GbkToUtf8("K风/a b.jpg")), "K%E9%A3%8E/a%20b.jpg");
}

}  // namespace
