// The Win32 engine under Wine: real windows on a UI thread of their own, driven from other
// threads as the packet library's receive thread drives them.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "ui/win32_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "design_kit.h"

namespace {

using design_kit::D;
using design_kit::kPng;
using ui::EventKind;
using ui::Kind;

ui::WindowDesign TestWindow() {
    ui::WindowDesign w{"TestWindow", "渺岚壁纸_测试", 1280, 847, true, true, {}};
    ui::ControlDesign tabs = D("tabs", Kind::Selectthefolder, {2, 61, 1276, 740});
    tabs.pages.push_back(D("p0", Kind::IcoListbox, {4, 57, 1264, 682}, "最新"));
    tabs.pages.push_back(D("p1", Kind::IcoListbox, {4, 57, 1264, 682}, "风景"));
    w.controls.push_back(tabs);
    w.controls.push_back(D("label", Kind::Label, {704, 816, 64, 16}, "共0页"));
    w.controls.push_back(D("edit", Kind::Editbox, {608, 808, 24, 24}));
    ui::ControlDesign combo = D("combo", Kind::Combobox, {88, 20, 88, 26});
    combo.items = {"随机", "4K 壁纸", "超清壁纸"};
    w.controls.push_back(combo);
    w.controls.push_back(D("rows", Kind::SuperListbox, {300, 4, 300, 50}));
    return w;
}

struct Recorded {
    EventKind kind;
    std::string control;
    int value;
    DWORD thread;
};

// Owns the UI thread: the engine lives and dies on it, and it runs the message loop.
class EngineOnUiThread : public ::testing::Test {
  protected:
    void SetUp() override {
        ui = std::thread([this] {
            uiThreadId = GetCurrentThreadId();
            auto owned = std::make_unique<ui::Win32Engine>();
            engine = owned.get();
            window = engine->CreateWindowFrom(TestWindow(), [this](const ui::Event& e) {
                std::lock_guard lock(mutex);
                events.push_back({e.kind, engine->ControlName(e.control), e.value, GetCurrentThreadId()});
                return e.kind != EventKind::CloseRequested || allowClose.load();
            });
            {
                std::lock_guard lock(mutex);
                ready = true;
            }
            changed.notify_all();
            ui::RunMessageLoop();
            owned.reset();
        });
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [this] { return ready; }));
        ASSERT_NE(window, 0);
        hwnd = static_cast<HWND>(engine->NativeWindow(window));
        ASSERT_NE(hwnd, nullptr);
    }

    void TearDown() override {
        PostThreadMessageW(uiThreadId, WM_QUIT, 0, 0);
        ui.join();
    }

    std::vector<Recorded> Events() {
        std::lock_guard lock(mutex);
        return events;
    }
    ui::ControlId C(const char* name) { return engine->FindControl(window, name); }
    // A click at design coordinates, as the mouse would make it.
    void ClickAt(int x, int y) {
        double s = engine->WindowScale(window);
        LPARAM at = MAKELPARAM(static_cast<int>(x * s), static_cast<int>(y * s));
        SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
    }
    bool Answers() {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
    }

    std::thread ui;
    DWORD uiThreadId = 0;
    ui::Win32Engine* engine = nullptr;
    ui::WindowId window = 0;
    HWND hwnd = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    bool ready = false;
    std::atomic<bool> allowClose{false};
    std::vector<Recorded> events;
};

TEST_F(EngineOnUiThread, WindowIsFramelessWithItsSizeAndTitle) {
    RECT client;
    GetClientRect(hwnd, &client);
    double s = engine->WindowScale(window);
    EXPECT_EQ(client.right, static_cast<LONG>(1280 * s + 0.5));
    EXPECT_EQ(client.bottom, static_cast<LONG>(847 * s + 0.5));
    EXPECT_EQ(engine->WindowRect(window), (ui::Rect{0, 0, 1280, 847}));
    EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION, 0);
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(title, L"渺岚壁纸_测试");
    EXPECT_TRUE(engine->IsWindowVisible(window));
    engine->ShowWindow(window, false);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    engine->ShowWindow(window, true);
    engine->MinimizeWindow(window);
    EXPECT_EQ(engine->GetWindowState(window), ui::WindowState::Minimized);
    engine->SetWindowState(window, ui::WindowState::Normal);
    EXPECT_EQ(engine->GetWindowState(window), ui::WindowState::Normal);
}

TEST_F(EngineOnUiThread, WindowAnswersWhileTheReceiveSideIsBusy) {
    ui::ControlId list = C("p0");
    std::atomic<bool> release{false};
    std::atomic<bool> busy{false};
    std::thread receive([&] {
        // Fill a list the way a reply does, then stay inside the "reply" for a while.
        ui::ImageId image = engine->LoadImageEx(kPng, 296, 156);
        engine->LockUpdate(list);
        for (int i = 0; i < 40; ++i) engine->InsertIcoItem(list, -1, image, "");
        engine->UnlockUpdate(list);
        engine->DestroyImage(image);
        engine->SetText(C("label"), ui::attr::kCaption, "共3页");
        busy = true;
        for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    for (int i = 0; i < 2000 && !busy; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(busy);
    EXPECT_TRUE(Answers());
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(Answers());
    EXPECT_EQ(engine->IcoItemCount(list), 40);
    EXPECT_TRUE(engine->IcoItemHasImage(list, 39));
    EXPECT_EQ(engine->GetText(C("label"), ui::attr::kCaption), "共3页");
    // A user click still reaches its handler, on the UI thread.
    ui::Rect header = engine->TabHeaderRect(C("tabs"), 1);
    ClickAt(header.left + header.width / 2, header.top + header.height / 2);
    release = true;
    receive.join();
    auto e = Events();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].kind, EventKind::PageChanged);
    EXPECT_EQ(e[1].control, "tabs");
    EXPECT_EQ(e[1].value, 1);
    EXPECT_EQ(e[1].thread, uiThreadId);
    EXPECT_EQ(engine->GetInt(C("tabs"), ui::attr::kValue), 1);
}

TEST_F(EngineOnUiThread, ItemButtonsItemsAndWheelAnswerTheMouse) {
    ui::ControlId list = C("p0");
    ui::ImageId image = engine->LoadImageEx(kPng, 296, 156);
    ui::ImageId button = engine->LoadImageEx(kPng, 60, 30);
    ASSERT_NE(image, 0);
    EXPECT_EQ(engine->LoadImageEx("<html>not found</html>", 296, 156), 0);
    std::vector<std::pair<int, int>> clicks;
    engine->InsertElem(list, 1);
    engine->SetElemImageAttribute(list, 1, [&](int code, int item) { clicks.emplace_back(code, item); },
                                  {235, 125, 60, 30});
    for (int i = 0; i < 20; ++i) {
        engine->InsertIcoItem(list, -1, i == 5 ? 0 : image, "");
        engine->SetElemImageData(list, 1, i, button);
    }
    EXPECT_FALSE(engine->IcoItemHasImage(list, 5));
    ui::Rect item = engine->IcoItemRect(list, 5);
    ASSERT_GT(item.width, 0);
    ClickAt(item.left + 235 + 30, item.top + 125 + 15);
    ClickAt(item.left + 40, item.top + 40);
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{65538, 5}}));
    auto e = Events();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].kind, EventKind::ItemChosen);
    EXPECT_EQ(e[1].value, 5);

    ui::Rect before = engine->IcoItemRect(list, 0);
    POINT p{static_cast<LONG>((item.left + 10) * engine->WindowScale(window)),
            static_cast<LONG>((item.top + 10) * engine->WindowScale(window))};
    ClientToScreen(hwnd, &p);
    SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA * 2)),
                 MAKELPARAM(p.x, p.y));
    EXPECT_LT(engine->IcoItemRect(list, 0).top, before.top);
    engine->DeleteIcoItem(list, -1);
    EXPECT_EQ(engine->IcoItemCount(list), 0);
}

TEST_F(EngineOnUiThread, NativeFieldsReportTheUsersChangesOnly) {
    ui::ControlId edit = C("edit");
    engine->SetText(edit, ui::attr::kText, "3");
    EXPECT_EQ(engine->GetText(edit, ui::attr::kText), "3");
    HWND child = FindWindowExW(hwnd, nullptr, L"EDIT", nullptr);
    ASSERT_NE(child, nullptr);
    wchar_t text[8] = {};
    GetWindowTextW(child, text, 8);
    EXPECT_STREQ(text, L"3");
    SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"15"));  // as typed
    EXPECT_EQ(engine->GetText(edit, ui::attr::kText), "15");

    ui::ControlId combo = C("combo");
    engine->SetInt(combo, ui::attr::kCurrentSelection, 2);
    EXPECT_EQ(engine->GetInt(combo, ui::attr::kCurrentSelection), 2);
    HWND box = FindWindowExW(hwnd, nullptr, L"COMBOBOX", nullptr);
    ASSERT_NE(box, nullptr);
    SendMessageW(box, CB_SETCURSEL, 1, 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));

    ui::ControlId rows = C("rows");
    engine->InsertColumn(rows, -1, "节点名称", 120);
    engine->InsertColumn(rows, -1, "", 0);
    engine->InsertRow(rows, -1);
    engine->SetCell(rows, 0, 1, "香港服务器");
    EXPECT_EQ(engine->GetCell(rows, 0, 1), "香港服务器");
    HWND view = FindWindowExW(hwnd, nullptr, L"SysListView32", nullptr);
    ASSERT_NE(view, nullptr);
    // A column put in front: the view shows every cell under its column, as the model has it.
    engine->InsertColumn(rows, 0, "序号", 40);
    auto shown = [&](int column) {
        wchar_t buffer[32] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 32;
        SendMessageW(view, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        return std::wstring(buffer);
    };
    EXPECT_EQ(shown(0), L"");
    EXPECT_EQ(shown(1), L"");
    EXPECT_EQ(shown(2), L"香港服务器");
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    SendMessageW(view, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));

    auto e = Events();
    ASSERT_EQ(e.size(), 4u);  // created, typing, selection, row
    EXPECT_EQ(e[1].kind, EventKind::TextChanged);
    EXPECT_EQ(e[1].control, "edit");
    EXPECT_EQ(e[2].kind, EventKind::SelectionChanged);
    EXPECT_EQ(e[2].value, 1);
    EXPECT_EQ(e[3].kind, EventKind::RowChosen);
    EXPECT_EQ(e[3].value, 0);
}

TEST_F(EngineOnUiThread, MessageBoxFromAnotherThreadHasItsCaptionsAndOwner) {
    std::atomic<bool> returned{false};
    std::thread receive([&] {
        engine->MsgBox("渺岚壁纸", "第一行\r\n第二行", "知道了", window);
        returned = true;
    });
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !box; ++i) {
        box = FindWindowW(L"#32770", L"渺岚壁纸");
        if (!box) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(box, nullptr);
    wchar_t caption[32] = {};
    GetDlgItemTextW(box, IDOK, caption, 32);
    EXPECT_STREQ(caption, L"知道了");
    EXPECT_EQ(GetWindow(box, GW_OWNER), hwnd);
    // The UI thread keeps answering while the box is up; the caller waits for the box.
    EXPECT_TRUE(Answers());
    EXPECT_FALSE(returned);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    receive.join();
    EXPECT_TRUE(returned);
}

TEST_F(EngineOnUiThread, CloseRequestsAreAnsweredByTheHandler) {
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(engine->WindowExists(window));
    EXPECT_TRUE(IsWindow(hwnd));
    allowClose = true;
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(engine->WindowExists(window));
    EXPECT_FALSE(IsWindow(hwnd));
    auto e = Events();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[1].kind, EventKind::CloseRequested);
    EXPECT_EQ(e[2].kind, EventKind::CloseRequested);
    EXPECT_EQ(e[3].kind, EventKind::Destroying);
    // Calls on a window that is gone are harmless.
    EXPECT_EQ(engine->FindControl(window, "label"), 0);
    engine->ShowWindow(window, true);
    EXPECT_EQ(engine->GetText(0, ui::attr::kCaption), "");
}

}  // namespace
