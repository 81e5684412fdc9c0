// The engine operations as the program relies on them, on the in-memory engine.
#include "ui/headless_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "design_kit.h"
#include "ui/image_sniff.h"

namespace {

using design_kit::D;
using design_kit::kPng;
using ui::EventKind;
using ui::Kind;

ui::WindowDesign ListWindow() {
    ui::WindowDesign w{"W", "t", 400, 300, true, false, {}};
    ui::ControlDesign tabs = D("tabs", Kind::Selectthefolder, {0, 0, 400, 300});
    tabs.pages.push_back(D("a", Kind::IcoListbox, {4, 57, 392, 200}));
    tabs.pages.push_back(D("b", Kind::IcoListbox, {4, 57, 392, 200}));
    w.controls.push_back(tabs);
    w.controls.push_back(D("rows", Kind::SuperListbox, {0, 0, 10, 10}));
    return w;
}

TEST(HeadlessEngine, IconListKeepsInsertionOrderAndElementsCallBackWithThePosition) {
    ui::HeadlessEngine e;
    ui::WindowId w = e.CreateWindowFrom(ListWindow(), [](const ui::Event&) { return true; });
    ui::ControlId list = e.FindControl(w, "b");
    ASSERT_NE(list, 0);
    ui::ImageId good = e.LoadImageEx(kPng, 296, 156);
    ui::ImageId bad = e.LoadImageEx("not a picture", 296, 156);
    e.InsertIcoItem(list, -1, good, "one");
    e.InsertIcoItem(list, -1, bad, "two");
    e.InsertIcoItem(list, 0, good, "zero");
    ASSERT_EQ(e.IcoItemCount(list), 3);
    EXPECT_EQ(e.IcoItemTitle(list, 0), "zero");
    EXPECT_EQ(e.IcoItemTitle(list, 2), "two");
    EXPECT_TRUE(e.IcoItemHasImage(list, 1));
    EXPECT_FALSE(e.IcoItemHasImage(list, 2));
    EXPECT_EQ(e.IcoItemTitle(list, 3), "");

    // An element's attribute needs the element; then clicks arrive with code and position.
    std::vector<std::pair<int, int>> clicks;
    e.SetElemImageAttribute(list, 1, [&](int code, int item) { clicks.emplace_back(code, item); },
                            {235, 125, 60, 30});
    e.ClickElem(list, 1, 0);
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(e.ElemCount(list, 1), 0);
    e.InsertElem(list, 1);
    e.SetElemImageAttribute(list, 1, [&](int code, int item) { clicks.emplace_back(code, item); },
                            {235, 125, 60, 30});
    e.SetElemImageData(list, 1, 2, good);
    e.ClickElem(list, 1, 2);
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{65538, 2}}));
    EXPECT_TRUE(e.ElemHasImage(list, 1, 2));
    EXPECT_FALSE(e.ElemHasImage(list, 1, 0));

    e.DeleteIcoItem(list, 1);
    EXPECT_EQ(e.IcoItemTitle(list, 1), "two");
    e.DeleteIcoItem(list, -1);
    EXPECT_EQ(e.IcoItemCount(list), 0);
    EXPECT_EQ(e.IcoItemCount(e.FindControl(w, "a")), 0);

    // Locks nest; the redraw comes with the last unlock.
    e.LockUpdate(list);
    e.LockUpdate(list);
    e.UnlockUpdate(list);
    EXPECT_EQ(e.Control(list)->redraws, 0);
    e.UnlockUpdate(list);
    EXPECT_EQ(e.Control(list)->redraws, 1);
}

TEST(HeadlessEngine, SuperListCellsAndTabDataReadBackAsWritten) {
    ui::HeadlessEngine e;
    ui::WindowId w = e.CreateWindowFrom(ListWindow(), [](const ui::Event&) { return true; });
    ui::ControlId rows = e.FindControl(w, "rows");
    e.InsertColumn(rows, -1, "节点", 120);
    e.InsertColumn(rows, -1, "", 0);
    EXPECT_EQ(e.ColumnCount(rows), 2);
    EXPECT_EQ(e.InsertRow(rows, -1), 0);
    EXPECT_EQ(e.InsertRow(rows, -1), 1);
    e.SetCell(rows, 1, 3, "香港服务器");
    e.SetCell(rows, 5, 0, "nowhere");
    EXPECT_EQ(e.GetCell(rows, 1, 3), "香港服务器");
    EXPECT_EQ(e.GetCell(rows, 1, 0), "");
    EXPECT_EQ(e.GetCell(rows, 5, 0), "");
    EXPECT_EQ(e.InsertRow(rows, 0), 0);
    EXPECT_EQ(e.GetCell(rows, 2, 3), "香港服务器");
    e.DeleteRow(rows, -1);
    EXPECT_EQ(e.RowCount(rows), 0);

    ui::ControlId tabs = e.FindControl(w, "tabs");
    EXPECT_EQ(e.GetTabData(tabs, 0), 0u);
    e.SetTabData(tabs, 1, 0xFFFFFFFFu);
    e.SetTabData(tabs, 7, 5);  // no such page
    EXPECT_EQ(e.GetTabData(tabs, 1), 0xFFFFFFFFu);
    EXPECT_EQ(e.GetTabData(tabs, 0), 0u);
    EXPECT_EQ(e.GetTabData(tabs, 7), 0u);
    e.Raise(EventKind::PageChanged, w, tabs, 1);
    EXPECT_EQ(e.GetInt(tabs, ui::attr::kValue), 1);
}

TEST(HeadlessEngine, GrantedCloseDestroysAndHandlersMayCallBackIn) {
    ui::HeadlessEngine e;
    std::vector<EventKind> seen;
    bool allow = false;
    ui::WindowId w = e.CreateWindowFrom(ListWindow(), [&](const ui::Event& ev) {
        seen.push_back(ev.kind);
        // A handler calling the engine again must not dead-lock it.
        e.SetText(e.FindControl(ev.window, "rows"), ui::attr::kCaption, "x");
        return allow;
    });
    EXPECT_FALSE(e.Raise(EventKind::CloseRequested, w));
    EXPECT_TRUE(e.WindowExists(w));
    allow = true;
    EXPECT_TRUE(e.Raise(EventKind::CloseRequested, w));
    EXPECT_FALSE(e.WindowExists(w));
    EXPECT_EQ(seen, (std::vector<EventKind>{EventKind::Created, EventKind::CloseRequested,
                                            EventKind::CloseRequested, EventKind::Destroying}));
    EXPECT_FALSE(e.Raise(EventKind::Click, w));
    EXPECT_EQ(e.FindControl(w, "rows"), 0);
}

TEST(HeadlessEngine, CallsFromManyThreadsKeepEveryItem) {
    ui::HeadlessEngine e;
    ui::WindowId w = e.CreateWindowFrom(ListWindow(), [](const ui::Event&) { return true; });
    ui::ControlId list = e.FindControl(w, "a");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                ui::ImageId img = e.LoadImageEx(kPng, 10, 10);
                e.InsertIcoItem(list, -1, img, "");
                e.DestroyImage(img);
                e.IcoItemCount(list);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(e.IcoItemCount(list), 800);
}

TEST(ImageSniff, KnowsTheFormatsByTheirSignatures) {
    EXPECT_EQ(ui::SniffImageFormat(kPng), ui::ImageFormat::Png);
    EXPECT_EQ(ui::SniffImageFormat(std::string("\xFF\xD8\xFF\xE0", 4)), ui::ImageFormat::Jpeg);
    EXPECT_EQ(ui::SniffImageFormat("GIF89a...."), ui::ImageFormat::Gif);
    EXPECT_EQ(ui::SniffImageFormat(std::string("\x89PNG", 4)), ui::ImageFormat::Unknown);
    EXPECT_EQ(ui::SniffImageFormat(""), ui::ImageFormat::Unknown);
    EXPECT_EQ(ui::SniffImageFormat("BM"), ui::ImageFormat::Unknown);
}

}  // namespace
