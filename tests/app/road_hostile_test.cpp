// A node that sends what it should not: names that try to leave the cache folder, huge and
// broken fields, unknown and truncated replies, a burst, a packet with another header flag.
// Nothing is written outside the cache, nothing crashes, and the program answers afterwards.
#include <fstream>

#include "net/browsing.h"
#include "net/category_paths.h"
#include "road_support.h"

namespace road {
namespace {

class HostileNode : public Road {
  protected:
    std::string List(const std::string& category, const std::string& paths, const std::string& page = "1") {
        return Reply({"&获取", category, "3", page, paths, "0", web_.Url("/p")});
    }
};

TEST_F(HostileNode, NamesThatAreNotPlainFileNamesGetNoPictureAndWriteNothing) {
    web_.AddFile("/p/ok/good.png", picture_);
    const std::vector<std::string> bad = {"/x/..\\..\\..\\evil.png",
                                          "/x/CON",
                                          "/x/nul.png",
                                          "/x/com1.jpg",
                                          "/x/a:b.png",
                                          "/x/" + std::string(240, 'n') + ".png",
                                          "/x/",
                                          "noslash.png",
                                          "/x/a\x01.png",
                                          "/x/\xff\xfe.png",
                                          "/x/..",
                                          "/x/a*.png"};
    for (const std::string& p : bad) web_.AddFile("/p" + p, picture_);
    std::string paths = "/ok/good.png";
    for (const std::string& p : bad) paths += "[a]" + p;
    Handle(List("4K动物", paths));
    ASSERT_EQ(Items("动物4K"), static_cast<int>(bad.size()) + 1);
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("动物4K"), 0));
    for (size_t i = 1; i <= bad.size(); ++i)
        EXPECT_FALSE(engine_.IcoItemHasImage(Main("动物4K"), static_cast<int>(i))) << i;
    // Only the plain name was fetched, and only it was written.
    ASSERT_EQ(web_.Requests().size(), 1u);
    EXPECT_EQ(FilesWritten(), std::vector<std::string>{"store/" + sys::GbkToUtf8("图片") + "/good.png"});
    // The path list still holds every entry: the item buttons address them by position.
    EXPECT_EQ(net::CategoryPaths("4K动物").size(), bad.size() + 1);

    // The detail cache follows the same rule.
    ASSERT_TRUE(node_.Send(Reply({"&详细", "/x/..\\..\\boot.ini", "1", "1", "1", "", "", "4K动物"})));
    Probe();
    EXPECT_EQ(web_.Requests().size(), 1u);
    EXPECT_EQ(engine_.Control(Detail("图片框EX1"))->picture, "");
    EXPECT_EQ(FilesWritten().size(), 1u);
}

TEST_F(HostileNode, FailedAndEmptyPreviewsAreNotCachedAndAreFetchedAgain) {
    web_.AddFile("/p/e/empty.png", "");
    web_.AddFile("/p/e/fine.png", picture_);
    // missing.png answers 404 with a body of its own.
    Handle(List("K风景", "/e/missing.png[a]/e/empty.png[a]/e/fine.png"));
    ASSERT_EQ(Items("风景壁纸"), 3);
    EXPECT_FALSE(engine_.IcoItemHasImage(Main("风景壁纸"), 0));
    EXPECT_FALSE(engine_.IcoItemHasImage(Main("风景壁纸"), 1));
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("风景壁纸"), 2));
    EXPECT_FALSE(fs::exists(CacheFile("missing.png")));
    EXPECT_FALSE(fs::exists(CacheFile("empty.png")));
    EXPECT_EQ(web_.Requests().size(), 3u);

    // Once the server has them, the next fill shows them.
    web_.AddFile("/p/e/missing.png", picture_);
    web_.AddFile("/p/e/empty.png", picture_);
    Handle(List("K风景", "/e/missing.png[a]/e/empty.png[a]/e/fine.png"));
    EXPECT_EQ(web_.Requests().size(), 5u);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(engine_.IcoItemHasImage(Main("风景壁纸"), i)) << i;
}

TEST_F(HostileNode, PreviewsComeSideBySideAndGoInInListOrder) {
    // The first preview is slow and the second fails fast: the order of the items is still
    // the order of the paths.
    dltest::Behaviour slow;
    slow.stallMs = 300;
    web_.AddFile("/p/o/1.png", picture_);
    web_.SetBehaviour(slow);
    Handle(List("K游戏", "/o/1.png[a]/o/2.png[a]/o/1.png"));
    ASSERT_EQ(Items("游戏壁纸"), 3);
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("游戏壁纸"), 0));
    EXPECT_FALSE(engine_.IcoItemHasImage(Main("游戏壁纸"), 1));
    // A name twice on one page is fetched once and shown twice.
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("游戏壁纸"), 2));
    EXPECT_EQ(web_.Requests().size(), 2u);
}

TEST_F(HostileNode, PreviewsAboveSixteenMebibytesAreDroppedAndNotCachedWhetherFetchedOrOnDisk) {
    const size_t limit = size_t{16} << 20;
    auto padded = [&](size_t size) { return picture_ + std::string(size - picture_.size(), '\0'); };
    web_.AddFile("/p/m/big.png", padded(limit + 1));
    web_.AddFile("/p/m/ok.png", picture_);
    // Files a program that knew no bound may have left: just above it, and just at it.
    std::ofstream(CacheFile("huge.png"), std::ios::binary) << padded(limit + 1);
    std::ofstream(CacheFile("edge.png"), std::ios::binary) << padded(limit);
    Handle(List("K汽车", "/m/big.png[a]/m/huge.png[a]/m/edge.png[a]/m/ok.png"));
    ASSERT_EQ(Items("汽车壁纸"), 4);
    EXPECT_FALSE(engine_.IcoItemHasImage(Main("汽车壁纸"), 0));
    EXPECT_FALSE(engine_.IcoItemHasImage(Main("汽车壁纸"), 1));
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("汽车壁纸"), 2));
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("汽车壁纸"), 3));
    EXPECT_FALSE(fs::exists(CacheFile("big.png")));
    // The oversized cached one is asked for again (the node does not have it) and left alone.
    EXPECT_EQ(web_.Requests().size(), 3u);
    EXPECT_EQ(fs::file_size(CacheFile("huge.png")), limit + 1);
}

TEST_F(HostileNode, NamesThatDifferOnlyInLetterCaseAreOneFileAndFetchedOnce) {
    // One file on Windows: two fetchers would write it at once, and the one that failed would
    // remove what the other wrote.
    for (const char* name : {"/p/t/Twin.png", "/p/t/twin.png", "/p/t/TWIN.PNG"}) web_.AddFile(name, picture_);
    Handle(List("4K汽车", "/t/Twin.png[a]/t/twin.png[a]/u/TWIN.PNG[a]/t/twin.png"));
    ASSERT_EQ(Items("汽车4K"), 4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(engine_.IcoItemHasImage(Main("汽车4K"), i)) << i;
    ASSERT_EQ(web_.Requests().size(), 1u);
    EXPECT_EQ(FilesWritten(), std::vector<std::string>{"store/" + sys::GbkToUtf8("图片") + "/Twin.png"});
    // The path list keeps every spelling: each item's button asks for its own path.
    EXPECT_EQ(net::CategoryPaths("4K汽车"),
              (std::vector<std::string>{"/t/Twin.png", "/t/twin.png", "/u/TWIN.PNG", "/t/twin.png"}));
}

TEST_F(HostileNode, AFillThatFailsHalfwayLeavesTheListUnlockedAndTheBusyPictureHidden) {
    const ui::ControlId list = Main("最新壁纸");
    const ui::ControlId busy = Main(core::controls::main_window::kLoading);
    // Cached previews go in while the list is locked; a fetched one unlocks it. Fail in both.
    web_.AddFile("/p/f/net.png", picture_);
    for (const char* name : {"c1.png", "c2.png", "c3.png"})
        std::ofstream(CacheFile(name), std::ios::binary) << picture_;
    for (int failAt : {2, 4}) {
        SCOPED_TRACE(failAt);
        engine_.failInsertAt = failAt;
        Handle(List("K最新", "/f/c1.png[a]/f/c2.png[a]/f/net.png[a]/f/c3.png"));
        EXPECT_EQ(engine_.failInsertAt.load(), 0);
        EXPECT_EQ(Items("最新壁纸"), failAt - 1);
        EXPECT_EQ(engine_.Control(list)->lockDepth, 0);
        EXPECT_EQ(engine_.GetInt(busy, ui::attr::kLeft), -300);
    }
    // And the next page fills as usual.
    Handle(List("K最新", "/f/c1.png[a]/f/net.png"));
    ASSERT_EQ(Items("最新壁纸"), 2);
    EXPECT_TRUE(engine_.IcoItemHasImage(list, 0));
    EXPECT_TRUE(engine_.IcoItemHasImage(list, 1));
    EXPECT_EQ(engine_.Control(list)->lockDepth, 0);
}

TEST_F(HostileNode, BrokenHugeTruncatedAndUnknownRepliesLeaveTheProgramAnswering) {
    const std::string huge(0x3FFFFF - 64, 'A');
    const std::vector<std::string> replies = {"",
                                              "&",
                                              "&获取",
                                              "&获取(＆)",
                                              "&获取(＆)不是分类(＆)1(＆)1(＆)/a/b.png(＆)0(＆)",
                                              "&详细",
                                              "&下载(＆)",
                                              "&1",
                                              "&2",
                                              "&2(＆)[q][q][a][a][a][a][a]",
                                              "&通用",
                                              "&未知(＆)x",
                                              "&获取(＆)4K游戏(＆)x(＆)y(＆)(＆)-5(＆)",
                                              "&获取(＆)4K游戏(＆)1(＆)1(＆)(＆)99999999999(＆)",
                                              "\xff\xfe\x81",
                                              "&获取(＆)4K游戏(＆)1(＆)1(＆)\x81",
                                              "&获取(＆)4K游戏(＆)1(＆)1(＆)" + huge,
                                              Reply({"&详细", "/d/" + huge}),
                                              Reply({"&通用", huge}),
                                              std::string("&通用\0(＆)x", 11)};
    for (const std::string& r : replies) ASSERT_TRUE(node_.Send(r));
    Probe();
    // A huge name is no file name: nothing fetched, nothing written.
    EXPECT_TRUE(web_.Requests().empty());
    EXPECT_TRUE(FilesWritten().empty());
    EXPECT_EQ(program_->browsing().PageMemo(5), "1[a]1");

    // Ten thousand replies in a burst, then a page: the program is still answering.
    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE(node_.Send(i % 3 == 0 ? Reply({"&通用", "n"}) : List("4K游戏", "", std::to_string(i))));
    ASSERT_TRUE(node_.Send(List("4K游戏", "/q/last.png", "last")));
    web_.AddFile("/p/q/last.png", picture_);
    EXPECT_TRUE(
        Eventually([&] { return program_->browsing().PageMemo(5) == "last[a]3" && Items("游戏4K") == 1; }));
    EXPECT_EQ(net::CategoryPaths("4K游戏"), std::vector<std::string>{"/q/last.png"});
}

TEST_F(HostileNode, APacketWithAnotherHeaderFlagEndsTheConnectionAndTheProgramReconnects) {
    // As after a hello: the timer is stopped until the link re-arms it.
    engine_.SetInt(Main(core::controls::main_window::kConnectTimer), ui::attr::kInterval, 0);
    ASSERT_TRUE(node_.Send(Reply({"&通用", "x"}), 1));
    ASSERT_TRUE(node_.WaitForEnded(1));
    // The link re-armed the connect timer; its next tick connects and greets again.
    ASSERT_TRUE(Eventually([&] {
        return engine_.GetInt(Main(core::controls::main_window::kConnectTimer), ui::attr::kInterval) >= 1000;
    }));
    Connect(2);
    Handle(List("K动物", ""));
    EXPECT_EQ(program_->browsing().PageMemo(26), "1[a]3");
}

}  // namespace
}  // namespace road
