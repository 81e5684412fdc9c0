// The shell on the headless engine with the program's real wiring against a real pack
// server: start-up, the window designs, every binding of the event table reaching what it
// does (a request on the wire, a window, a value in Config.ini), the tray, the notices and
// the secondary windows.
#include "app/shell.h"

#include <gtest/gtest.h>

#include <set>

#include "app/program.h"
#include "core/categories.h"
#include "core/main_window.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "memory_settings_store.h"
#include "net/node_id.h"
#include "net/requests.h"
#include "pack_server.h"
#include "ui/headless_engine.h"
#include "wallpaper/user_settings.h"
#include "wallpaper_doubles.h"

namespace {

using core::WindowKind;
using ui::EventKind;

int g_exitCode = -1;
void RecordExit(int code) { g_exitCode = code; }

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        g_exitCode = -1;
        ASSERT_TRUE(node.listening());
        main = program.Start();
    }

    void TearDown() override {
        program.Stop();
        engine.SetModalHook({});
        for (ui::WindowId w : engine.LiveWindows()) engine.DestroyWindow(w);
    }

    int Timer() {
        return engine.GetInt(core::ControlOf(core::WindowKind::Main, "时钟1"), ui::attr::kInterval);
    }
    ui::ControlId Main(const char* name) { return core::ControlOf(core::WindowKind::Main, name); }
    void ClickIn(core::WindowKind kind, const char* name) {
        engine.Raise(EventKind::Click, core::WindowOf(kind), core::ControlOf(kind, name));
    }
    // The connect timer's tick connects and greets.
    void Connect() {
        engine.Raise(EventKind::Tick, main, Main("时钟1"));
        ASSERT_TRUE(node.WaitForPackets(1));
        ASSERT_EQ(node.Packets()[0], net::HelloRequest());
    }
    // What went on the wire after the hello, up to the count expected.
    std::vector<std::string> SentAfterHello(size_t count) {
        EXPECT_TRUE(node.WaitForPackets(count + 1));
        std::vector<std::string> p = node.Packets();
        return std::vector<std::string>(p.begin() + 1, p.end());
    }

    testing_support::MemorySettingsStore store;
    wptest::MemorySettingsSystem system;
    ui::HeadlessEngine engine;
    testpeer::PackServer node;
    app::Program program{engine, {"127.0.0.1", node.port(), [] { return std::string("MID"); }, &RecordExit}};
    ui::WindowId main = 0;
};

TEST_F(Shell, StartupMakesTheTrayIconFoldersAuxiliaryWindowsAndTimerAndShowsTheHdView) {
    auto w = engine.Window(main);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->visible);
    EXPECT_TRUE(w->tray);
    EXPECT_EQ(w->trayTip, "渺岚壁纸");
    EXPECT_GT(store.FoldersCreated(), 0);
    // Both auxiliary windows exist, hidden; the connect timer runs at 1000 ms; the loading
    // picture is out of view.
    EXPECT_TRUE(core::IsOpen(core::WindowKind::Detail));
    EXPECT_FALSE(engine.IsWindowVisible(core::WindowOf(core::WindowKind::Detail)));
    EXPECT_FALSE(engine.IsWindowVisible(core::WindowOf(core::WindowKind::Download)));
    EXPECT_EQ(Timer(), 1000);
    EXPECT_EQ(engine.GetInt(Main("加载图片"), ui::attr::kLeft), -300);
    EXPECT_EQ(engine.GetInt(Main("加载图片"), ui::attr::kTop), 448);
    EXPECT_EQ(engine.GetInt(Main("加载图片"), ui::attr::kVisible), 1);
    EXPECT_EQ(engine.Control(Main("静态4K"))->rect, (ui::Rect{1290, 77, 1276, 740}));
    EXPECT_EQ(engine.Control(Main("静态壁纸"))->rect, (ui::Rect{2, 61, 1276, 740}));
}

TEST_F(Shell, WindowDesignsHaveTheirSizesTitlesAndUniqueNames) {
    struct Expect {
        core::WindowKind kind;
        int width, height;
        size_t controls;
    };
    const Expect expected[] = {
        {core::WindowKind::Main, 1280, 847, 18 + 14}, {core::WindowKind::Detail, 879, 657, 14},
        {core::WindowKind::Download, 367, 161, 11},   {core::WindowKind::Node, 491, 254, 2},
        {core::WindowKind::Settings, 429, 296, 17},   {core::WindowKind::Rotation, 429, 193, 11},
        {core::WindowKind::Exit, 288, 151, 3},        {core::WindowKind::Display, 429, 296, 9}};
    for (const Expect& e : expected) {
        program.OpenWindow(e.kind);
        auto w = engine.Window(core::WindowOf(e.kind));
        ASSERT_TRUE(w);
        EXPECT_EQ(engine.WindowRect(core::WindowOf(e.kind)), (ui::Rect{0, 0, e.width, e.height}));
        EXPECT_EQ(w->controls.size(), e.controls) << w->design.name;
        EXPECT_EQ(w->design.title.rfind("渺岚壁纸", 0), 0u) << w->design.name;
        std::set<std::string> names;
        for (ui::ControlId c : w->controls) EXPECT_TRUE(names.insert(engine.ControlName(c)).second);
    }
    EXPECT_EQ(engine.WindowTitle(core::WindowOf(core::WindowKind::Node)), "渺岚壁纸_节点更换");
    EXPECT_EQ(engine.WindowTitle(main), "渺岚壁纸");
    // Every page of both views sits at the same place in its container; tab data starts at 0.
    for (const core::Category& category : core::Categories()) {
        auto page = engine.Control(Main(category.list));
        ASSERT_TRUE(page);
        EXPECT_EQ(page->rect, (ui::Rect{4, 57, 1264, 682}));
        EXPECT_EQ(page->parent, Main(category.strip));
        EXPECT_EQ(engine.GetTabData(page->parent, category.position), 0u);
    }
    EXPECT_EQ(
        engine.Control(Main("菜单"))->design.items,
        (std::vector<std::string>{"打开", "-", "设置", "显示设置", "下一张壁纸", "上一张壁纸", "-", "退出"}));
    EXPECT_EQ(engine.GetText(core::ControlOf(core::WindowKind::Exit, "标签EX1"), ui::attr::kCaption),
              "退出无法自动更换壁纸哟！是否退出？");
}

TEST_F(Shell, MainWindowBindingsSendTheirRequests) {
    Connect();
    net::SetNodeId("N1");
    engine.Raise(EventKind::Click, main, Main("单选框EX1"));  // 4K view: its current tab
    engine.Raise(EventKind::Click, main, Main("单选框EX2"));  // HD view: its current tab
    engine.Raise(EventKind::PageChanged, main, Main("静态4K"), 3);
    engine.Raise(EventKind::PageChanged, main, Main("静态壁纸"), 6);
    engine.Raise(EventKind::Click, main, Main("按钮EX1"));
    engine.SetText(Main("编辑框EX1"), ui::attr::kText, "2");
    engine.Raise(EventKind::Click, main, Main("按钮EX2"));
    engine.Raise(EventKind::Click, main, Main("按钮EX3"));
    // No list has items yet: an item choice sends nothing.
    engine.Raise(EventKind::ItemChosen, main, Main("汽车壁纸"), 2);
    EXPECT_EQ(SentAfterHello(7), (std::vector<std::string>{
                                     net::TabChangeRequest("4K最新", 0, "N1"),
                                     net::TabChangeRequest("K最新", 0, "N1"),
                                     net::TabChangeRequest("4K汽车", 3, "N1"),
                                     net::TabChangeRequest("K动物", 6, "N1"),
                                     net::FirstPageRequest("K动物", "N1"),
                                     net::PagingRequest("K动物", 1, "N1"),
                                     net::PagingRequest("K动物", 1, "N1"),
                                 }));
    // The radio buttons of the main window are one group.
    EXPECT_EQ(engine.GetInt(Main("单选框EX1"), ui::attr::kValue), 0);
    EXPECT_EQ(engine.GetInt(Main("单选框EX2"), ui::attr::kValue), 1);
    net::SetNodeId("");
}

TEST_F(Shell, SecondaryWindowBindingsReachTheirHandlers) {
    Connect();
    ui::WindowId detail = core::WindowOf(core::WindowKind::Detail);
    ui::WindowId download = core::WindowOf(core::WindowKind::Download);
    engine.SetText(core::ControlOf(core::WindowKind::Detail, "标签EX7"), ui::attr::kCaption, "K风景");
    engine.SetText(core::ControlOf(core::WindowKind::Detail, "标签EX6"), ui::attr::kCaption, "/d/1.jpg");
    engine.Raise(EventKind::Click, detail, core::ControlOf(core::WindowKind::Detail, "按钮EX2"));
    engine.Raise(EventKind::Click, download, core::ControlOf(core::WindowKind::Download, "按钮EX2"));
    engine.Raise(EventKind::Tick, download, core::ControlOf(core::WindowKind::Download, "时钟1"));
    EXPECT_EQ(engine.GetText(core::ControlOf(core::WindowKind::Download, "标签EX3"), ui::attr::kCaption),
              "0%");
    // "更换节点": the node window with its columns, and the node list request.
    engine.Raise(EventKind::Click, download, core::ControlOf(core::WindowKind::Download, "按钮EX1"));
    ui::WindowId node = core::WindowOf(core::WindowKind::Node);
    ASSERT_NE(node, 0);
    EXPECT_EQ(engine.ColumnCount(core::ControlOf(core::WindowKind::Node, "超级列表框EX1")), 4);
    engine.Raise(EventKind::RowChosen, node, core::ControlOf(core::WindowKind::Node, "超级列表框EX1"), 3);
    EXPECT_EQ(wallpaper::RememberedNodeRow(), 3);
    ClickIn(core::WindowKind::Node, "按钮EX1");  // no such row: nothing switches
    EXPECT_EQ(store.Value(core::kSectionNode, core::kKeyNodeId), "");

    program.OpenWindow(core::WindowKind::Settings);
    ClickIn(core::WindowKind::Settings, "单选框EX1");
    EXPECT_EQ(system.run[0], "C:\\程序\\MiaolanWallpaper.exe");
    ClickIn(core::WindowKind::Settings, "按钮EX4");
    system.chosenFolder = "D:\\图库\\";
    ClickIn(core::WindowKind::Settings, "按钮EX1");
    EXPECT_EQ(store.Value(core::kSectionGeneral, core::kKeyPath), "D:\\图库");
    ClickIn(core::WindowKind::Settings, "按钮EX2");
    EXPECT_EQ(system.explored, std::vector<std::string>{"D:\\图库"});
    engine.SetModalHook([&](ui::WindowId w) {
        engine.SetText(core::ControlOf(core::WindowKind::Rotation, "编辑框EX1"), ui::attr::kText, "30");
        engine.Raise(EventKind::TextChanged, w, core::ControlOf(core::WindowKind::Rotation, "编辑框EX1"));
        engine.Raise(EventKind::SelectionChanged, w, core::ControlOf(core::WindowKind::Rotation, "组合框EX1"),
                     2);
        ClickIn(core::WindowKind::Rotation, "destroy");
    });
    ClickIn(core::WindowKind::Settings, "按钮EX3");
    EXPECT_EQ(store.Value(core::kSectionRotation, core::kKeyRotationPeriod), "30");
    EXPECT_EQ(store.Value(core::kSectionRotation, core::kKeyRotationType), "2");
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Rotation));
    ClickIn(core::WindowKind::Settings, "destroy");
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Settings));

    EXPECT_EQ(SentAfterHello(3),
              (std::vector<std::string>{net::DownloadRequest("K风景", "/d/1.jpg", "MID", ""),
                                        net::NodeListRequest(), net::NodeListRequest()}));
    std::vector<std::string> texts;
    for (const ui::HeadlessMessage& m : engine.Messages()) texts.push_back(m.text.substr(0, 6));
    EXPECT_EQ(texts, std::vector<std::string>{"1.节点"});
}

TEST_F(Shell, TrayKindsAndMenuDriveTheMainWindow) {
    engine.Raise(EventKind::Click, main, Main("destroy"));
    EXPECT_FALSE(engine.IsWindowVisible(main));
    engine.Raise(EventKind::Tray, main, 0, 1);  // a single click does nothing
    EXPECT_FALSE(engine.IsWindowVisible(main));
    engine.Raise(EventKind::Tray, main, 0, 2);
    EXPECT_TRUE(engine.IsWindowVisible(main));
    EXPECT_EQ(engine.GetWindowState(main), ui::WindowState::Normal);

    engine.Raise(EventKind::Click, main, Main("destroy1"));
    EXPECT_EQ(engine.Window(main)->minimizeCalls, 1);
    EXPECT_EQ(engine.GetWindowState(main), ui::WindowState::Minimized);
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 0);  // "打开"
    EXPECT_EQ(engine.GetWindowState(main), ui::WindowState::Normal);

    engine.Raise(EventKind::Tray, main, 0, 3);
    ASSERT_EQ(engine.Popups().size(), 1u);
    EXPECT_EQ(engine.Popups()[0], std::make_tuple(Main("菜单"), 5, 5));

    // One identity per window kind: a second "设置" brings the open one forward.
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 2);
    ui::WindowId settings = core::WindowOf(core::WindowKind::Settings);
    ASSERT_NE(settings, 0);
    engine.Raise(EventKind::Click, main, Main("destroy2"));
    EXPECT_EQ(core::WindowOf(core::WindowKind::Settings), settings);
    EXPECT_EQ(engine.Window(settings)->frontCalls, 1);
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 7);
    EXPECT_TRUE(core::IsOpen(core::WindowKind::Exit));
    EXPECT_EQ(g_exitCode, -1);
}

// "下一张" and "上一张" say why they cannot act; "下一张" sends rotation's own request; the
// display window shows and stores its choices under a section of its own.
TEST_F(Shell, TrayNextPreviousAndTheDisplayWindow) {
    auto lastMessage = [this] { return engine.Messages().empty() ? "" : engine.Messages().back().text; };
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 4);
    EXPECT_EQ(lastMessage(), "还没有连接到壁纸节点，请稍后再试");
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 5);
    EXPECT_EQ(lastMessage(), "没有更早的壁纸了");
    Connect();
    core::WriteSetting("自动更换", "类型", "2");
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 4);
    EXPECT_EQ(SentAfterHello(1), (std::vector<std::string>{net::ChangeWallpaperRequest("2", "MID")}));

    core::WriteSetting("显示设置", "电池供电时暂停", "1");
    core::WriteSetting("显示设置", "适应方式", "9");  // not a fit: the default one shows
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 3);
    ASSERT_TRUE(core::IsOpen(core::WindowKind::Display));
    auto display = [](const char* name) { return core::ControlOf(core::WindowKind::Display, name); };
    EXPECT_EQ(engine.GetInt(display("组合框EX1"), ui::attr::kCurrentSelection), 2);  // 拉伸
    EXPECT_EQ(engine.GetInt(display("选择框EX1"), ui::attr::kValue), 0);
    EXPECT_EQ(engine.GetInt(display("选择框EX3"), ui::attr::kValue), 1);
    engine.Raise(EventKind::SelectionChanged, core::WindowOf(core::WindowKind::Display), display("组合框EX1"),
                 0);
    ClickIn(core::WindowKind::Display, "选择框EX1");
    ClickIn(core::WindowKind::Display, "选择框EX3");
    EXPECT_EQ(store.Value("显示设置", "适应方式"), "0");
    EXPECT_EQ(store.Value("显示设置", "每个显示器不同壁纸"), "1");
    EXPECT_EQ(store.Value("显示设置", "全屏时暂停"), "0");
    EXPECT_EQ(store.Value("显示设置", "电池供电时暂停"), "0");
    ClickIn(core::WindowKind::Display, "destroy");
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Display));
    // The settings window opens it too.
    engine.Raise(EventKind::MenuChosen, main, Main("菜单"), 2);
    ClickIn(core::WindowKind::Settings, "按钮EX5");
    EXPECT_TRUE(core::IsOpen(core::WindowKind::Display));
}

TEST_F(Shell, ExitWindowCancelsOrEndsAtOnce) {
    program.OpenWindow(core::WindowKind::Exit);
    ClickIn(core::WindowKind::Exit, "按钮EX2");
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Exit));
    EXPECT_EQ(g_exitCode, -1);
    program.OpenWindow(core::WindowKind::Exit);
    ClickIn(core::WindowKind::Exit, "按钮EX1");
    EXPECT_EQ(g_exitCode, 0);
    EXPECT_FALSE(engine.HasTrayIcon(main));
}

TEST_F(Shell, NoticesHaveTheirTextsAndOwners) {
    engine.Raise(EventKind::Click, main, Main("单选框EX3"));
    engine.Raise(EventKind::Click, core::WindowOf(core::WindowKind::Detail),
                 core::ControlOf(core::WindowKind::Detail, "按钮EX1"));
    auto m = engine.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].title, "渺岚壁纸");
    EXPECT_EQ(m[0].text, "动态壁纸正在开发中\r\n关注QQ群,第一时间会发布到群内");
    EXPECT_EQ(m[0].button, "确定");
    EXPECT_EQ(m[0].owner, main);
    EXPECT_EQ(m[1].title, "渺岚壁纸");
    EXPECT_EQ(m[1].text, "此功能作者正在开发中");
    EXPECT_EQ(m[1].button, "");
    EXPECT_EQ(m[1].owner, 0);
    // Neither view was asked for, and the selectors still show the HD view.
    EXPECT_EQ(engine.GetInt(Main("单选框EX3"), ui::attr::kValue), 0);
    EXPECT_EQ(engine.GetInt(Main("单选框EX2"), ui::attr::kValue), 1);
    // Once the 4K strip is in the window, the 4K selector is the one that stays.
    engine.SetInt(Main("静态4K"), ui::attr::kLeft, 2);
    engine.Raise(EventKind::Click, main, Main("单选框EX3"));
    EXPECT_EQ(engine.GetInt(Main("单选框EX1"), ui::attr::kValue), 1);
    EXPECT_EQ(engine.GetInt(Main("单选框EX3"), ui::attr::kValue), 0);
}

TEST_F(Shell, CloseRequestsHideAuxiliaryAndMainWindowsAndKeepTheirState) {
    ui::WindowId detail = core::WindowOf(core::WindowKind::Detail);
    ui::ControlId text = core::ControlOf(core::WindowKind::Detail, "标签EX1");
    engine.SetText(text, ui::attr::kCaption, "上一张");
    engine.ShowWindow(detail, true);
    EXPECT_FALSE(engine.Raise(EventKind::CloseRequested, detail));
    EXPECT_TRUE(engine.WindowExists(detail));
    EXPECT_FALSE(engine.IsWindowVisible(detail));
    EXPECT_EQ(engine.GetText(text, ui::attr::kCaption), "上一张");

    ui::WindowId download = core::WindowOf(core::WindowKind::Download);
    engine.ShowWindow(download, true);
    EXPECT_FALSE(engine.Raise(EventKind::CloseRequested, download));
    EXPECT_EQ(core::WindowOf(core::WindowKind::Download), download);
    EXPECT_FALSE(engine.IsWindowVisible(download));

    // Hide/show cycles of the main window keep its controls as they were.
    ui::ControlId tabs = Main("静态壁纸");
    engine.SetTabData(tabs, 2, 0xDEADBEEF);
    engine.SetText(Main("标签EX1"), ui::attr::kCaption, "共9页");
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(engine.Raise(EventKind::CloseRequested, main));
        EXPECT_FALSE(engine.IsWindowVisible(main));
        engine.Raise(EventKind::Tray, main, 0, 2);
    }
    EXPECT_TRUE(engine.WindowExists(main));
    EXPECT_EQ(engine.GetTabData(tabs, 2), 0xDEADBEEFu);
    EXPECT_EQ(engine.GetText(Main("标签EX1"), ui::attr::kCaption), "共9页");
    EXPECT_TRUE(engine.HasTrayIcon(main));

    // The tray icon goes with the main window.
    engine.DestroyWindow(main);
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Main));
}

TEST_F(Shell, RotationWindowIsModalAndHasOneIdentity) {
    int inside = 0;
    engine.SetModalHook([&](ui::WindowId w) {
        ++inside;
        EXPECT_TRUE(engine.Window(w)->modal);
        EXPECT_TRUE(engine.IsWindowVisible(w));
        // Asking again while it is open only brings it forward.
        program.OpenRotationWindow();
        EXPECT_EQ(engine.Window(w)->frontCalls, 1);
        ClickIn(core::WindowKind::Rotation, "destroy");
    });
    program.OpenRotationWindow();
    EXPECT_EQ(inside, 1);
    EXPECT_FALSE(core::IsOpen(core::WindowKind::Rotation));
}

TEST_F(Shell, LoadingIndicatorMovesInAndOut) {
    core::ShowLoadingIndicator(true);
    EXPECT_EQ(engine.Control(Main("加载图片"))->rect, (ui::Rect{520, 448, 288, 80}));
    core::ShowLoadingIndicator(false);
    EXPECT_EQ(engine.Control(Main("加载图片"))->rect, (ui::Rect{-300, 448, 288, 80}));
    EXPECT_TRUE(engine.Control(Main("加载图片"))->visible);
}

}  // namespace
