// The engine contract: what every engine call does, as the program relies on it. The same
// cases run on the headless engine (natively and under Wine) and on the Win32 engine (under
// Wine, with real windows); an engine that differs from the other fails here.
#include <gtest/gtest.h>

#include "contract_engines.h"
#include "design_kit.h"

namespace {

using design_kit::D;
using design_kit::kPng;
using ui::EventKind;
using ui::Kind;

// One control of every kind the program uses.
ui::WindowDesign ContractWindow() {
    ui::WindowDesign w{"ContractWindow", "渺岚壁纸_契约", 1000, 700, true, false, {}};
    auto& c = w.controls;
    ui::ControlDesign tabs = D("tabs", Kind::Selectthefolder, {0, 40, 1000, 500});
    tabs.pages.push_back(D("list0", Kind::IcoListbox, {4, 57, 992, 440}, "最新"));
    tabs.pages.push_back(D("list1", Kind::IcoListbox, {4, 57, 992, 440}, "风景"));
    c.push_back(tabs);
    c.push_back(D("title", Kind::Label, {8, 8, 200, 24}, "标题"));
    c.push_back(D("button", Kind::Button, {600, 560, 80, 24}, "确定"));
    c.push_back(D("radio1", Kind::Radiobutton, {20, 560, 80, 24}, "一"));
    c.push_back(D("radio2", Kind::Radiobutton, {120, 560, 80, 24}, "二"));
    c.push_back(D("edit", Kind::Editbox, {220, 560, 60, 24}, "5"));
    ui::ControlDesign combo = D("combo", Kind::Combobox, {300, 560, 100, 26});
    combo.items = {"随机", "4K 壁纸", "超清壁纸"};
    c.push_back(combo);
    c.push_back(D("rows", Kind::SuperListbox, {420, 560, 160, 100}));
    c.push_back(D("progress", Kind::Progressbar, {700, 560, 200, 20}));
    c.push_back(D("picture", Kind::PictureBox, {700, 600, 100, 60}));
    c.push_back(D("timer", Kind::Timer, {}));
    ui::ControlDesign menu = D("menu", Kind::Menu, {});
    menu.items = {"打开", "-", "退出"};
    c.push_back(menu);
    return w;
}

struct Seen {
    EventKind kind;
    std::string control;
    int value;
    int valueInControl;  // attribute 16 or 37 of the control, read inside the handler
};

template <class Driver>
class EngineContract : public ::testing::Test {
  protected:
    void SetUp() override {
        window = e().CreateWindowFrom(ContractWindow(), [this](const ui::Event& ev) {
            std::string name = e().ControlName(ev.control);
            int inControl = ev.kind == EventKind::SelectionChanged
                                ? e().GetInt(ev.control, ui::attr::kCurrentSelection)
                                : e().GetInt(ev.control, ui::attr::kValue);
            std::lock_guard lock(mutex);
            seen.push_back({ev.kind, name, ev.value, inControl});
            return ev.kind != EventKind::CloseRequested || allowClose.load();
        });
        ASSERT_NE(window, 0);
    }

    ui::Engine& e() { return driver.Engine(); }
    ui::ControlId C(const char* name) { return e().FindControl(window, name); }
    std::vector<Seen> Events() {
        std::lock_guard lock(mutex);
        return seen;
    }
    // Waits (bounded) until `count` events were seen; the Win32 engine's timers need the wait.
    std::vector<Seen> EventsWhenThere(size_t count) {
        for (int i = 0; i < 1000 && Events().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Events();
    }

    std::mutex mutex;
    std::vector<Seen> seen;
    std::atomic<bool> allowClose{false};
    ui::WindowId window = 0;
    // Last, so the engine goes first: its windows' last events still find the record.
    Driver driver;
};

#ifdef _WIN32
using Engines = ::testing::Types<contract::HeadlessDriver, contract::Win32Driver>;
#else
using Engines = ::testing::Types<contract::HeadlessDriver>;
#endif
struct EngineNames {
    template <class T>
    static std::string GetName(int) {
        return T::kName;
    }
};
TYPED_TEST_SUITE(EngineContract, Engines, EngineNames);

TYPED_TEST(EngineContract, ImagesLoadOnlyFromPicturesAndItemsKeepTheirs) {
    ui::Engine& e = this->e();
    ui::ImageId good = e.LoadImageEx(kPng, 296, 156);
    EXPECT_NE(good, 0);
    // Bytes that do not decode load as nothing, so a list never shows a picture a user won't see.
    EXPECT_EQ(e.LoadImageEx("", 296, 156), 0);
    EXPECT_EQ(e.LoadImageEx("<html>404 Not Found</html>", 296, 156), 0);
    EXPECT_EQ(e.LoadImageEx(kPng.substr(0, 8) + std::string(40, '\0'), 296, 156), 0);
    EXPECT_EQ(e.LoadImageEx(kPng.substr(0, 16), 296, 156), 0);
    // A size of 0 or less keeps the picture's own size.
    EXPECT_NE(e.LoadImageEx(kPng, 0, 0), 0);
    EXPECT_NE(e.LoadImageEx(kPng, -1, 30), 0);

    ui::ControlId list = this->C("list0");
    e.InsertIcoItem(list, -1, good, "有图");
    e.InsertIcoItem(list, -1, 0, "无图");
    e.DestroyImage(good);
    e.InsertIcoItem(list, -1, good, "图已销毁");
    EXPECT_TRUE(e.IcoItemHasImage(list, 0));
    EXPECT_FALSE(e.IcoItemHasImage(list, 1));
    EXPECT_FALSE(e.IcoItemHasImage(list, 2));
    EXPECT_FALSE(e.IcoItemHasImage(list, 3));
}

TYPED_TEST(EngineContract, ControlsAreFoundByNameWithTheirDesign) {
    ui::Engine& e = this->e();
    ui::WindowId w = this->window;
    EXPECT_TRUE(e.WindowExists(w));
    EXPECT_EQ(e.WindowTitle(w), "渺岚壁纸_契约");
    EXPECT_EQ(e.WindowRect(w), (ui::Rect{0, 0, 1000, 700}));
    ui::ControlId page = this->C("list1");  // pages are found like any control
    ASSERT_NE(page, 0);
    EXPECT_EQ(e.ControlName(page), "list1");
    EXPECT_EQ(e.WindowOf(page), w);
    EXPECT_EQ(this->C("nothing"), 0);
    EXPECT_EQ(e.ControlName(0), "");

    ui::ControlId button = this->C("button");
    EXPECT_EQ(e.GetInt(button, ui::attr::kLeft), 600);
    EXPECT_EQ(e.GetInt(button, ui::attr::kHeight), 24);
    EXPECT_EQ(e.GetInt(button, ui::attr::kVisible), 1);
    e.SetInt(button, ui::attr::kLeft, -300);
    e.SetInt(button, ui::attr::kWidth, 0);
    e.SetInt(button, ui::attr::kVisible, 0);
    EXPECT_EQ(e.GetInt(button, ui::attr::kLeft), -300);
    EXPECT_EQ(e.GetInt(button, ui::attr::kWidth), 0);
    EXPECT_EQ(e.GetInt(button, ui::attr::kVisible), 0);
    e.SetInt(this->C("progress"), ui::attr::kValue, 42);
    EXPECT_EQ(e.GetInt(this->C("progress"), ui::attr::kValue), 42);
    // A control that is gone, or never was, reads as nothing.
    EXPECT_EQ(e.GetInt(0, ui::attr::kLeft), 0);
    EXPECT_EQ(e.GetText(0, ui::attr::kCaption), "");
}

TYPED_TEST(EngineContract, EachControlHasOneTextWhicheverAttributeNamesIt) {
    ui::Engine& e = this->e();
    ui::ControlId title = this->C("title"), edit = this->C("edit"), combo = this->C("combo");
    EXPECT_EQ(e.GetText(title, ui::attr::kCaption), "标题");
    EXPECT_EQ(e.GetText(title, ui::attr::kText), "标题");
    e.SetText(title, ui::attr::kText, "共3页");
    EXPECT_EQ(e.GetText(title, ui::attr::kCaption), "共3页");
    e.SetText(title, ui::attr::kCaption, "共4页");
    EXPECT_EQ(e.GetText(title, ui::attr::kText), "共4页");

    // An edit box starts with its design caption and is read and written as its field.
    EXPECT_EQ(e.GetText(edit, ui::attr::kText), "5");
    e.SetText(edit, ui::attr::kText, "15");
    EXPECT_EQ(e.GetText(edit, ui::attr::kText), "15");
    EXPECT_EQ(e.GetText(edit, ui::attr::kCaption), "15");
    e.SetText(edit, ui::attr::kCaption, "30");
    EXPECT_EQ(e.GetText(edit, ui::attr::kText), "30");
    EXPECT_EQ(e.GetText(combo, ui::attr::kText), "");

    // Numbers that are no text attribute carry no text.
    e.SetText(title, ui::attr::kValue, "x");
    EXPECT_EQ(e.GetText(title, ui::attr::kCaption), "共4页");
    EXPECT_EQ(e.GetText(title, ui::attr::kValue), "");
}

TYPED_TEST(EngineContract, TabsKeepAPageThatExistsAndAWordPerPage) {
    ui::Engine& e = this->e();
    ui::ControlId tabs = this->C("tabs");
    EXPECT_EQ(e.GetInt(tabs, ui::attr::kValue), 0);
    e.SetInt(tabs, ui::attr::kValue, 1);
    EXPECT_EQ(e.GetInt(tabs, ui::attr::kValue), 1);
    e.SetInt(tabs, ui::attr::kValue, 2);
    e.SetInt(tabs, ui::attr::kValue, -1);
    EXPECT_EQ(e.GetInt(tabs, ui::attr::kValue), 1);

    EXPECT_EQ(e.GetTabData(tabs, 0), 0u);
    e.SetTabData(tabs, 1, 0xFFFFFFFFu);
    e.SetTabData(tabs, 2, 5);   // no such page
    e.SetTabData(tabs, -1, 5);  // no such page
    EXPECT_EQ(e.GetTabData(tabs, 1), 0xFFFFFFFFu);
    EXPECT_EQ(e.GetTabData(tabs, 0), 0u);
    EXPECT_EQ(e.GetTabData(tabs, 2), 0u);
    // Tab data belongs to tab containers only.
    e.SetTabData(this->C("list0"), 0, 7);
    EXPECT_EQ(e.GetTabData(this->C("list0"), 0), 0u);
}

TYPED_TEST(EngineContract, IconListsKeepItemsInInsertionOrder) {
    ui::Engine& e = this->e();
    ui::ControlId list = this->C("list0");
    ui::ImageId image = e.LoadImageEx(kPng, 296, 156);
    e.InsertIcoItem(list, -1, image, "b");
    e.InsertIcoItem(list, -1, image, "c");
    e.InsertIcoItem(list, 0, image, "a");
    e.InsertIcoItem(list, 99, image, "d");  // past the end appends
    ASSERT_EQ(e.IcoItemCount(list), 4);
    EXPECT_EQ(e.IcoItemTitle(list, 0), "a");
    EXPECT_EQ(e.IcoItemTitle(list, 3), "d");
    EXPECT_EQ(e.IcoItemTitle(list, 4), "");
    EXPECT_EQ(e.IcoItemTitle(list, -1), "");
    e.DeleteIcoItem(list, 1);
    e.DeleteIcoItem(list, 9);  // no such item
    EXPECT_EQ(e.IcoItemCount(list), 3);
    EXPECT_EQ(e.IcoItemTitle(list, 1), "c");
    EXPECT_EQ(e.IcoItemCount(this->C("list1")), 0);
    e.DeleteIcoItem(list, -1);
    EXPECT_EQ(e.IcoItemCount(list), 0);

    // Items belong to icon lists only.
    e.InsertIcoItem(this->C("title"), -1, image, "x");
    EXPECT_EQ(e.IcoItemCount(this->C("title")), 0);

    // Locks nest, and what changes while locked is all there after the last unlock.
    e.LockUpdate(list);
    e.LockUpdate(list);
    for (int i = 0; i < 30; ++i) e.InsertIcoItem(list, -1, image, std::to_string(i));
    e.UnlockUpdate(list);
    e.UnlockUpdate(list);
    e.UnlockUpdate(list);  // one too many is harmless
    EXPECT_EQ(e.IcoItemCount(list), 30);
    EXPECT_EQ(e.IcoItemTitle(list, 29), "29");
}

TYPED_TEST(EngineContract, ElementsOfEveryKindNeedTheElementAndCallBackWithThePosition) {
    ui::Engine& e = this->e();
    ui::ControlId list = this->C("list0");
    ui::ImageId image = e.LoadImageEx(kPng, 296, 156), button = e.LoadImageEx(kPng, 60, 30);
    for (int i = 0; i < 4; ++i) e.InsertIcoItem(list, -1, image, "");
    const ui::Rect use{225, 115, 60, 30}, other{10, 10, 40, 30};
    std::mutex clicksMutex;
    std::vector<std::tuple<int, int, int>> clicks;  // kind, code, item
    auto callback = [&](int kind) {
        return [&, kind](int code, int item) {
            std::lock_guard lock(clicksMutex);
            clicks.emplace_back(kind, code, item);
        };
    };
    // Without the element its attribute goes nowhere.
    EXPECT_EQ(e.ElemCount(list, 1), 0);
    e.SetElemImageAttribute(list, 1, callback(1), use);
    e.SetElemImageData(list, 1, 2, button);
    this->driver.ClickElem(this->window, list, 1, 2, use);
    EXPECT_TRUE(clicks.empty());

    e.InsertElem(list, 1);
    e.InsertElem(list, 2);
    EXPECT_EQ(e.ElemCount(list, 1), 1);
    EXPECT_EQ(e.ElemCount(list, 2), 1);
    e.SetElemImageAttribute(list, 1, callback(1), use);
    e.SetElemImageAttribute(list, 2, callback(2), other);
    e.SetElemImageData(list, 2, 3, button);
    e.SetElemImageData(list, 1, 9, button);  // no such item
    EXPECT_TRUE(e.ElemHasImage(list, 1, 2));
    EXPECT_FALSE(e.ElemHasImage(list, 1, 3));
    EXPECT_TRUE(e.ElemHasImage(list, 2, 3));
    EXPECT_FALSE(e.ElemHasImage(list, 2, 2));
    EXPECT_FALSE(e.ElemHasImage(list, 1, 9));
    this->driver.ClickElem(this->window, list, 1, 2, use);
    this->driver.ClickElem(this->window, list, 2, 3, other);
    EXPECT_EQ(clicks, (std::vector<std::tuple<int, int, int>>{{1, ui::kElemClickCode, 2},
                                                              {2, ui::kElemClickCode, 3}}));
    // Elements belong to icon lists only.
    e.InsertElem(this->C("button"), 1);
    EXPECT_EQ(e.ElemCount(this->C("button"), 1), 0);
}

TYPED_TEST(EngineContract, SuperListCellsStayUnderTheirColumns) {
    ui::Engine& e = this->e();
    ui::ControlId rows = this->C("rows");
    e.InsertColumn(rows, -1, "节点", 120);
    e.InsertColumn(rows, -1, "", 0);
    EXPECT_EQ(e.ColumnCount(rows), 2);
    EXPECT_EQ(e.InsertRow(rows, -1), 0);
    EXPECT_EQ(e.InsertRow(rows, -1), 1);
    EXPECT_EQ(e.InsertRow(rows, 0), 0);
    EXPECT_EQ(e.InsertRow(rows, 99), 3);
    EXPECT_EQ(e.RowCount(rows), 4);
    e.SetCell(rows, 1, 0, "香港服务器");
    e.SetCell(rows, 1, 1, "hk");
    e.SetCell(rows, 9, 0, "nowhere");
    EXPECT_EQ(e.GetCell(rows, 1, 0), "香港服务器");
    EXPECT_EQ(e.GetCell(rows, 9, 0), "");
    EXPECT_EQ(e.GetCell(rows, 0, 0), "");

    // A column put in front moves the others, cells and all, one place right.
    e.InsertColumn(rows, 0, "序号", 40);
    EXPECT_EQ(e.ColumnCount(rows), 3);
    EXPECT_EQ(e.GetCell(rows, 1, 0), "");
    EXPECT_EQ(e.GetCell(rows, 1, 1), "香港服务器");
    EXPECT_EQ(e.GetCell(rows, 1, 2), "hk");

    e.DeleteRow(rows, 0);
    EXPECT_EQ(e.GetCell(rows, 0, 1), "香港服务器");
    e.DeleteRow(rows, 7);  // no such row
    EXPECT_EQ(e.RowCount(rows), 3);
    e.DeleteRow(rows, -1);
    EXPECT_EQ(e.RowCount(rows), 0);
    // Columns and rows belong to super lists only.
    e.InsertColumn(this->C("list0"), -1, "x", 10);
    EXPECT_EQ(e.ColumnCount(this->C("list0")), 0);
    EXPECT_EQ(e.InsertRow(this->C("list0"), -1), -1);
}

TYPED_TEST(EngineContract, SelectionsAndRadioButtonsKeepOneChoice) {
    ui::Engine& e = this->e();
    ui::ControlId combo = this->C("combo"), radio1 = this->C("radio1"), radio2 = this->C("radio2");
    EXPECT_EQ(e.GetInt(combo, ui::attr::kCurrentSelection), -1);
    e.SetInt(combo, ui::attr::kCurrentSelection, 2);
    EXPECT_EQ(e.GetInt(combo, ui::attr::kCurrentSelection), 2);
    e.SetInt(combo, ui::attr::kCurrentSelection, 3);  // past the items: nothing selected
    EXPECT_EQ(e.GetInt(combo, ui::attr::kCurrentSelection), -1);

    e.SetInt(radio1, ui::attr::kValue, 1);
    e.SetInt(radio2, ui::attr::kValue, 1);
    EXPECT_EQ(e.GetInt(radio1, ui::attr::kValue), 0);
    EXPECT_EQ(e.GetInt(radio2, ui::attr::kValue), 1);
    this->driver.Click(this->window, radio1);
    EXPECT_EQ(e.GetInt(radio1, ui::attr::kValue), 1);
    EXPECT_EQ(e.GetInt(radio2, ui::attr::kValue), 0);
}

TYPED_TEST(EngineContract, UserActionsArriveAsEventsWithTheControlAlreadyChanged) {
    ui::Engine& e = this->e();
    auto& d = this->driver;
    ui::WindowId w = this->window;
    ui::ControlId list = this->C("list1"), rows = this->C("rows");
    ui::ImageId image = e.LoadImageEx(kPng, 296, 156);
    for (int i = 0; i < 3; ++i) e.InsertIcoItem(list, -1, image, "");
    e.InsertColumn(rows, -1, "节点", 120);
    e.InsertRow(rows, -1);
    e.InsertRow(rows, -1);
    // The program's own writes are no user action.
    e.SetText(this->C("edit"), ui::attr::kText, "7");

    d.Click(w, this->C("button"));
    d.ChoosePage(w, this->C("tabs"), 1);
    d.ChooseItem(w, list, 2);
    d.Type(w, this->C("edit"), "60");
    d.Select(w, this->C("combo"), 1);
    d.ChooseRow(w, rows, 1);
    e.SetInt(this->C("timer"), ui::attr::kInterval, 20);
    d.LetTimersRun(w, this->C("timer"));
    auto seen = this->EventsWhenThere(8);
    e.SetInt(this->C("timer"), ui::attr::kInterval, 0);
    ASSERT_GE(seen.size(), 8u);
    EXPECT_EQ(seen[0].kind, EventKind::Created);
    EXPECT_EQ(seen[1].kind, EventKind::Click);
    EXPECT_EQ(seen[1].control, "button");
    EXPECT_EQ(seen[2].kind, EventKind::PageChanged);
    EXPECT_EQ(seen[2].value, 1);
    EXPECT_EQ(seen[2].valueInControl, 1);
    EXPECT_EQ(seen[3].kind, EventKind::ItemChosen);
    EXPECT_EQ(seen[3].control, "list1");
    EXPECT_EQ(seen[3].value, 2);
    EXPECT_EQ(seen[4].kind, EventKind::TextChanged);
    EXPECT_EQ(e.GetText(this->C("edit"), ui::attr::kText), "60");
    EXPECT_EQ(seen[5].kind, EventKind::SelectionChanged);
    EXPECT_EQ(seen[5].value, 1);
    EXPECT_EQ(seen[5].valueInControl, 1);
    EXPECT_EQ(seen[6].kind, EventKind::RowChosen);
    EXPECT_EQ(seen[6].control, "rows");
    EXPECT_EQ(seen[6].value, 1);
    EXPECT_EQ(seen[7].kind, EventKind::Tick);
    EXPECT_EQ(seen[7].control, "timer");
}

TYPED_TEST(EngineContract, TheHandlerDecidesWhetherAWindowMayClose) {
    ui::Engine& e = this->e();
    ui::WindowId w = this->window;
    ui::ControlId button = this->C("button");
    this->driver.RequestClose(w);
    EXPECT_TRUE(e.WindowExists(w));
    this->allowClose = true;
    this->driver.RequestClose(w);
    EXPECT_FALSE(e.WindowExists(w));
    auto seen = this->Events();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[1].kind, EventKind::CloseRequested);
    EXPECT_EQ(seen[2].kind, EventKind::CloseRequested);
    EXPECT_EQ(seen[3].kind, EventKind::Destroying);
    // Calls on a window or control that is gone are harmless and read as nothing.
    EXPECT_EQ(e.FindControl(w, "button"), 0);
    EXPECT_EQ(e.WindowOf(button), 0);
    e.SetText(button, ui::attr::kCaption, "x");
    e.ShowWindow(w, true);
    e.DestroyWindow(w);
    EXPECT_EQ(e.GetText(button, ui::attr::kCaption), "");
    EXPECT_EQ(e.WindowTitle(w), "");
    EXPECT_EQ(this->Events().size(), 4u);
}

}  // namespace
