// The configuration file, subject folders split by width, and texts made safe for the wire.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "catalogue.h"
#include "node_config.h"
#include "node_harness.h"
#include "sys/text.h"

using namespace nodetest;
namespace fs = std::filesystem;

namespace {

TEST(NodeConfig, FileSetsMirrorsCategoriesAndLimits) {
    TempDir dir("conf");
    std::string path = dir.path() + "/node.conf";
    std::ofstream(path, std::ios::binary)
        << "\xEF\xBB\xBF# comment\n"
        << "listen = 0.0.0.0:2629\nhttp = :2630\npage_size = 12\n"
        << "database = postgresql:///miaolan?host=/run/pg\n"
        << sys::GbkToUtf8("notice = 欢迎\n") << "[mirror]\nid = http://a.example:1630\n"
        << sys::GbkToUtf8("region = 香港\n")
        << "[mirror]\nid = http://b.example\nbase = http://cdn.example/b/\n"
        << "[categories]\n"
        << sys::GbkToUtf8("4K风景 = wide, /abs/more\n");
    node::Config c;
    std::string error;
    ASSERT_TRUE(node::LoadConfigFile(path, c, error)) << error;
    EXPECT_EQ(c.listenHost, "0.0.0.0");
    EXPECT_EQ(c.listenPort, 2629);
    EXPECT_EQ(c.httpHost, "127.0.0.1");
    EXPECT_EQ(c.httpPort, 2630);
    EXPECT_EQ(c.pageSize, 12);
    EXPECT_EQ(c.database, "postgresql:///miaolan?host=/run/pg");
    EXPECT_EQ(c.notice, "欢迎");
    ASSERT_EQ(c.mirrors.size(), 2u);
    EXPECT_EQ(c.mirrors[0].region, "香港");
    ASSERT_EQ(c.categories.size(), 1u);
    EXPECT_EQ(c.categories[0].category, "4K风景");
    EXPECT_EQ(c.categories[0].foldersUtf8, (std::vector<std::string>{"wide", "/abs/more"}));
    node::CompleteConfig(c);
    EXPECT_EQ(c.mirrors[0].base, "http://a.example:1630");
    EXPECT_EQ(c.mirrors[1].base, "http://cdn.example/b");

    for (const char* bad : {"page_size = 0\n", "listen = host:99999\n", "colour = blue\n", "[what]\n",
                            "[categories]\nK不存在 = x\n", "[mirror]\nregion = r\n", "no equals sign\n",
                            "database = mysql://x\n"}) {
        std::ofstream(path, std::ios::binary) << sys::GbkToUtf8(bad);
        node::Config d;
        EXPECT_FALSE(node::LoadConfigFile(path, d, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    node::Config d;
    EXPECT_FALSE(node::LoadConfigFile(dir.path() + "/missing.conf", d, error));
}

TEST(NodeConfig, TheShippedExampleLoads) {
    node::Config c;
    std::string error;
    ASSERT_TRUE(node::LoadConfigFile(std::string(MIAOLAN_SOURCE_DIR) + "/server/node.example.conf", c, error))
        << error;
    ASSERT_EQ(c.mirrors.size(), 1u);
    EXPECT_EQ(c.mirrors[0].region, "本地节点");
    EXPECT_EQ(c.notice, "欢迎使用渺岚壁纸");
    EXPECT_EQ(c.listenPort, 1629);
}

TEST(NodeConfig, SubjectFoldersSplitByWidthAndFillTheLatest) {
    TempDir dir("subjects");
    fs::create_directories(dir.path() + "/land/deeper");
    fs::create_directories(dir.path() + "/land/.hidden");
    WritePicture(dir.path() + "/land/small.jpg", 100, 50);
    WritePicture(dir.path() + "/land/deeper/wide.jpg", 3840, 20);
    WritePicture(dir.path() + "/land/.hidden/skip.jpg", 100, 50);
    node::Config c;
    c.catalogueUtf8 = dir.path();
    c.subjects.push_back({"风景", {"land"}});
    std::string report;
    auto cat = node::ScanCatalogue(c, &report);
    ASSERT_EQ(cat->InCategory("4K风景").size(), 1u);
    ASSERT_EQ(cat->InCategory("K风景").size(), 1u);
    EXPECT_EQ(cat->pictures()[cat->InCategory("4K风景")[0]].relUtf8, "land/deeper/wide.jpg");
    EXPECT_EQ(cat->pictures()[cat->InCategory("4K风景")[0]].width, 3840);
    // Without a folder of its own, "最新" shows the newest pictures of its view.
    EXPECT_EQ(cat->InCategory("4K最新").size(), 1u);
    EXPECT_EQ(cat->InCategory("K最新").size(), 1u);
    EXPECT_EQ(cat->size(), 4u);
    std::set<std::string> keys;
    for (const auto& p : cat->pictures()) keys.insert(p.key);
    EXPECT_EQ(keys.size(), 4u);
    // Keys are stable from scan to scan: the counts and the client's cache rely on it.
    auto again = node::ScanCatalogue(c);
    for (const auto& p : cat->pictures()) EXPECT_NE(again->ByKey(p.key), nullptr);
}

TEST(NodeConfig, WireTextKeepsRepliesInOnePiece) {
    EXPECT_EQ(node::WireText("a(＆)b[a]c[q]d"), "a b c d");
    EXPECT_EQ(node::WireText(std::string("x\0y\x01z", 5)), "xy z");
    EXPECT_EQ(node::WireText("l1\nl2"), "l1 l2");
    EXPECT_EQ(node::WireText("l1\nl2", true), "l1\nl2");
    EXPECT_EQ(node::WireText("渺岚壁纸"), "渺岚壁纸");
    // A lead byte at the very end stands alone and goes.
    EXPECT_EQ(node::WireText("ab\xB0"), "ab ");
}

}  // namespace
