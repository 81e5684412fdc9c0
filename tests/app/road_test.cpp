// The road from the hello to a filled list and a download request, on the headless engine
// against a real pack server and a real HTTP server.
#include <condition_variable>
#include <mutex>

#include "app/shell.h"
#include "net/browsing.h"
#include "net/node_id.h"
#include "net/notices.h"
#include "road_support.h"
#include "wallpaper/category_list.h"
#include "wallpaper/downloads.h"
#include "wallpaper/machine_id.h"

namespace road {
namespace {

using ui::EventKind;

class WholeRoad : public Road {
  protected:
    // The node's hello, naming the HTTP server as the node id: detail pictures are fetched
    // from node id + path.
    void Hello(const std::string& notice = {}) {
        nodeId_ = "http://127.0.0.1:" + std::to_string(web_.port());
        ASSERT_TRUE(node_.Send(
            Reply({"&1", "香港节点[a]砚舟[a]x[a]" + nodeId_, notice.empty() ? "" : "真", notice})));
    }
    std::string ListReply(const std::string& category, int total, int page, const std::string& paths,
                          const std::string& tab) {
        return Reply(
            {"&获取", category, std::to_string(total), std::to_string(page), paths, tab, web_.Url("/p")});
    }
    std::string nodeId_;
};

TEST_F(WholeRoad, HelloRegistersAndTheFirstPageFillsFromTheWebThenFromTheCache) {
    for (const char* name : {"/p/a/1.png", "/p/a/2.png", "/p/b/3.png"}) web_.AddFile(name, picture_);
    Hello();
    const std::string tabRequest = net::TabChangeRequest("4K最新", 0, nodeId_);
    ASSERT_TRUE(node_.WaitForPackets(3));
    EXPECT_EQ(Sent()[1], net::RegisterNodeRequest(nodeId_));
    EXPECT_EQ(Sent()[2], tabRequest);
    EXPECT_EQ(engine_.GetInt(Main(core::controls::main_window::kConnectTimer), ui::attr::kInterval), 0);
    EXPECT_EQ(store_.Value(core::kSectionNode, core::kKeyNodeName), "香港节点");
    EXPECT_EQ(store_.Value(core::kSectionNode, core::kKeyNodeSponsor), "砚舟");
    EXPECT_EQ(net::NodeId(), nodeId_);
    // The 4K strip is in the window, its selector chosen.
    EXPECT_EQ(engine_.GetInt(Main("静态4K"), ui::attr::kLeft), 2);
    EXPECT_EQ(engine_.GetInt(Main("静态壁纸"), ui::attr::kVisible), 0);
    EXPECT_EQ(engine_.GetInt(Main("单选框EX1"), ui::attr::kValue), 1);

    Handle(ListReply("4K最新", 5, 1, "/a/1.png[a]/a/2.png[a]/b/3.png", "0"));
    ASSERT_EQ(Items("最新4K"), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(engine_.IcoItemHasImage(Main("最新4K"), i)) << i;
        EXPECT_TRUE(engine_.ElemHasImage(Main("最新4K"), 1, i)) << i;
    }
    EXPECT_EQ(engine_.ElemCount(Main("最新4K"), 1), 1);
    EXPECT_EQ(PageBox(), "1");
    EXPECT_EQ(TotalLabel(), "共5页");
    EXPECT_EQ(program_->browsing().PageMemo(0), "1[a]5");
    EXPECT_EQ(web_.Requests().size(), 3u);
    EXPECT_TRUE(fs::exists(CacheFile("1.png")) && fs::exists(CacheFile("3.png")));
    EXPECT_EQ(engine_.GetInt(Main("加载图片"), ui::attr::kLeft), -300);

    // The same page again comes from the cache: no web request, one button element, three items.
    Handle(ListReply("4K最新", 5, 1, "/a/1.png[a]/a/2.png[a]/b/3.png", "0"));
    EXPECT_EQ(web_.Requests().size(), 3u);
    EXPECT_EQ(Items("最新4K"), 3);
    EXPECT_EQ(engine_.ElemCount(Main("最新4K"), 1), 1);
    EXPECT_TRUE(engine_.IcoItemHasImage(Main("最新4K"), 2));
    // The tab is loaded: choosing it again sends nothing.
    size_t sent = Sent().size();
    engine_.Raise(EventKind::PageChanged, main_, Main("静态4K"), 0);
    Probe();
    EXPECT_EQ(Sent().size(), sent);

    // The item button sends the download request for its own path; other codes and items
    // outside the list send nothing.
    engine_.ClickElem(Main("最新4K"), 1, 1, 1);
    engine_.ClickElem(Main("最新4K"), 1, 7);
    engine_.ClickElem(Main("最新4K"), 1, 1);
    ASSERT_TRUE(node_.WaitForPackets(sent + 1));
    Probe();
    ASSERT_EQ(Sent().size(), sent + 1);
    EXPECT_EQ(Sent().back(),
              net::DownloadRequest("4K最新", "/a/2.png", wallpaper::MachineIdentifier(), nodeId_));
}

TEST_F(WholeRoad, TabsRestoreTheirMemoAndThePageButtonsWrapAround) {
    Hello();
    ASSERT_TRUE(node_.WaitForPackets(3));
    Handle(ListReply("4K最新", 5, 1, "", "0"));
    // A reply for another tab fills its memo and list, not the shared page box and label.
    Handle(ListReply("4K风景", 9, 2, "", "1"));
    EXPECT_EQ(PageBox(), "1");
    EXPECT_EQ(TotalLabel(), "共5页");
    size_t sent = Sent().size();
    engine_.Raise(EventKind::PageChanged, main_, Main("静态4K"), 1);
    EXPECT_EQ(PageBox(), "2");
    EXPECT_EQ(TotalLabel(), "共9页");
    EXPECT_EQ(program_->browsing().CurrentCategory(), "4K风景");

    engine_.Raise(EventKind::Click, main_, Main("按钮EX3"));  // next: 3
    engine_.SetText(Main("编辑框EX1"), ui::attr::kText, "9");
    engine_.Raise(EventKind::Click, main_, Main("按钮EX3"));  // past the last: 1
    engine_.SetText(Main("编辑框EX1"), ui::attr::kText, "1");
    engine_.Raise(EventKind::Click, main_, Main("按钮EX2"));  // before the first: 9
    engine_.Raise(EventKind::Click, main_, Main("按钮EX1"));
    ASSERT_TRUE(node_.WaitForPackets(sent + 4));
    std::vector<std::string> p = Sent();
    EXPECT_EQ(std::vector<std::string>(p.begin() + sent, p.end()),
              (std::vector<std::string>{
                  net::PagingRequest("4K风景", 3, nodeId_), net::PagingRequest("4K风景", 1, nodeId_),
                  net::PagingRequest("4K风景", 9, nodeId_), net::FirstPageRequest("4K风景", nodeId_)}));

    // A never-loaded HD tab asks for its page and keeps the labels until the reply.
    engine_.Raise(EventKind::Click, main_, Main("单选框EX2"));
    ASSERT_TRUE(node_.WaitForPackets(sent + 5));
    EXPECT_EQ(Sent().back(), net::TabChangeRequest("K最新", 0, nodeId_));
    EXPECT_EQ(TotalLabel(), "共9页");
    EXPECT_EQ(engine_.GetInt(Main("单选框EX2"), ui::attr::kValue), 1);
    // A memo without its total reads the total as empty.
    Handle(Reply({"&获取", "K汽车", "", "4", "", "3", web_.Url("/p")}));
    engine_.Raise(EventKind::PageChanged, main_, Main("静态壁纸"), 3);
    EXPECT_EQ(PageBox(), "4");
    EXPECT_EQ(TotalLabel(), "共页");
}

TEST_F(WholeRoad, DetailReplyFillsTheDetailWindowOnceFetched) {
    web_.AddFile("/p/s/9.png", picture_);
    web_.AddFile("/d/90.png", picture_ + "detail");
    Hello();
    ASSERT_TRUE(node_.WaitForPackets(3));
    Handle(ListReply("K汽车", 1, 1, "/s/9.png", "3"));
    size_t sent = Sent().size();
    // The HD car list asks for details like the others.
    engine_.Raise(EventKind::ItemChosen, main_, Main("汽车壁纸"), 0);
    engine_.Raise(EventKind::ItemChosen, main_, Main("汽车壁纸"), 5);
    ASSERT_TRUE(node_.WaitForPackets(sent + 1));
    EXPECT_EQ(Sent().back(), net::DetailRequest("K汽车", "/s/9.png"));

    const std::string detail = Reply({"&详细", "/d/90.png", "2580", "12", "34", "一行", "一段", "K汽车"});
    Handle(detail);
    ui::WindowId window = core::WindowOf(core::WindowKind::Detail);
    EXPECT_TRUE(engine_.IsWindowVisible(window));
    EXPECT_TRUE(engine_.Control(Detail("图片框EX1"))->picture == picture_ + "detail");
    EXPECT_EQ(Caption(Detail("标签EX2")), "2.52 MB");
    EXPECT_EQ(Caption(Detail("标签EX3")), "12 次");
    EXPECT_EQ(Caption(Detail("标签EX4")), "34 次");
    EXPECT_EQ(Caption(Detail("标签EX1")), "一行");
    EXPECT_EQ(Caption(Detail("标签EX5")), "一段");
    EXPECT_EQ(Caption(Detail("标签EX6")), "/d/90.png");
    EXPECT_EQ(Caption(Detail("标签EX7")), "K汽车");
    size_t fetched = web_.Requests().size();
    Handle(detail);
    EXPECT_EQ(web_.Requests().size(), fetched);

    // Its download button sends the labels' category and path.
    engine_.Raise(EventKind::Click, window, Detail("按钮EX2"));
    ASSERT_TRUE(node_.WaitForPackets(sent + 2));
    EXPECT_EQ(Sent().back(),
              net::DownloadRequest("K汽车", "/d/90.png", wallpaper::MachineIdentifier(), nodeId_));
}

TEST_F(WholeRoad, DownloadRepliesStartTheirSlotAndTheNodeButtonsListTheNodesOffered) {
    web_.AddFile("/a.jpg", picture_);
    web_.AddFile("/b.jpg", picture_);
    // The visible slot's window goes again when its transfer has ended.
    Handle(Reply({"&下载", web_.Url("/a.jpg"), "0"}));
    ASSERT_TRUE(wallpaper::VisibleSlot().WaitIdle(10000));
    EXPECT_FALSE(engine_.IsWindowVisible(core::WindowOf(core::WindowKind::Download)));
    Handle(Reply({"&下载", web_.Url("/b.jpg"), "1"}));
    ASSERT_TRUE(wallpaper::SilentSlot().WaitIdle(10000));
    // Another flag, or none, starts nothing.
    Handle(Reply({"&下载", web_.Url("/c.jpg"), "2"}));
    Handle(Reply({"&下载", web_.Url("/d.jpg")}));
    auto asked = [&](const std::string& path) {
        int n = 0;
        for (const std::string& request : web_.Requests())
            n += request.find(" " + path + " ") != std::string::npos;
        return n;
    };
    EXPECT_GT(asked("/a.jpg"), 0);
    EXPECT_GT(asked("/b.jpg"), 0);
    EXPECT_EQ(asked("/c.jpg") + asked("/d.jpg"), 0);

    // "更换节点" of the download window and "修改节点" of the settings window both open the
    // node window and ask the node for its list; the rows come from the answer.
    const ui::WindowId download = core::WindowOf(core::WindowKind::Download);
    size_t sent = Sent().size();
    engine_.Raise(EventKind::Click, download, core::ControlOf(core::WindowKind::Download, "按钮EX1"));
    ASSERT_TRUE(node_.WaitForPackets(sent + 1));
    EXPECT_EQ(Sent().back(), net::NodeListRequest());
    ui::ControlId rows = core::ControlOf(core::WindowKind::Node, "超级列表框EX1");
    ASSERT_NE(rows, 0);
    Handle(Reply({"&2", "香港[a]砚舟[a]快[a]N1[q]东京[a]某[q]"}));
    ASSERT_EQ(engine_.RowCount(rows), 2);
    EXPECT_EQ(engine_.GetCell(rows, 0, 3), "N1");
    EXPECT_EQ(engine_.GetCell(rows, 1, 0), "东京");
    EXPECT_EQ(engine_.GetCell(rows, 1, 3), "");

    ui::WindowId settings = program_->OpenWindow(core::WindowKind::Settings);
    engine_.Raise(EventKind::Click, settings, core::ControlOf(core::WindowKind::Settings, "按钮EX4"));
    ASSERT_TRUE(node_.WaitForPackets(sent + 2));
    EXPECT_EQ(Sent().back(), net::NodeListRequest());
    Handle(Reply({"&2", "大阪[a]a[a]b[a]N3"}));
    ASSERT_EQ(engine_.RowCount(rows), 1);
    EXPECT_EQ(engine_.GetCell(rows, 0, 0), "大阪");
}

// An engine whose message boxes stay open until the check closes them, as a real one does.
class HeldBoxEngine : public ui::HeadlessEngine {
  public:
    void MsgBox(const std::string& title, const std::string& text, const std::string& button,
                ui::WindowId owner) override {
        ui::HeadlessEngine::MsgBox(title, text, button, owner);
        std::unique_lock lock(mutex_);
        ++open_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        --open_;
    }
    bool WaitOpen() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return open_ > 0; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int open_ = 0;
    bool released_ = false;
};

TEST(Notices, AnOpenBoxDoesNotHoldUpTheRepliesAfterIt) {
    testing_support::MemorySettingsStore store;
    static HeldBoxEngine& engine = KeptForever<HeldBoxEngine>();
    testpeer::PackServer node;
    app::Program program(engine, {"127.0.0.1", node.port(), wallpaper::MachineIdentifier});
    ui::WindowId main = program.Start();
    engine.Raise(EventKind::Tick, main, core::ControlOf(core::WindowKind::Main, "时钟1"));
    ASSERT_TRUE(node.WaitForPackets(1));

    ASSERT_TRUE(node.Send(Reply({"&1", "n[a]s[a]x[a]N9", "真", "维护通知"})));
    ASSERT_TRUE(engine.WaitOpen());
    // The hello went on to register and ask for the first page while its box is open.
    ASSERT_TRUE(node.WaitForPackets(3));
    ASSERT_TRUE(node.Send(Reply({"&通用", "第二条"})));
    ASSERT_TRUE(node.Send(Reply({"&获取", "4K最新", "7", "3", "", "0", ""})));
    EXPECT_TRUE(Eventually([&] {
        return engine.GetText(core::ControlOf(core::WindowKind::Main, "标签EX1"), ui::attr::kCaption) ==
               "共7页";
    }));
    engine.Release();
    program.notices().WaitUntilShown();
    std::vector<std::string> texts;
    for (const ui::HeadlessMessage& m : engine.Messages()) texts.push_back(m.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"维护通知", "第二条"}));
    EXPECT_EQ(engine.Messages()[0].title, "渺岚壁纸");
    EXPECT_EQ(engine.Messages()[0].owner, main);
    program.Stop();
    node.WaitForEnded(1);
}

}  // namespace
}  // namespace road
