// The engines the contract suite runs on, each with a driver that acts as the user would:
// the headless engine raises the event, the Win32 engine gets the mouse and control messages
// a real click or keystroke makes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ui/headless_engine.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "ui/win32_engine.h"
#endif

namespace contract {

class HeadlessDriver {
  public:
    static constexpr const char* kName = "headless";

    HeadlessDriver() = default;
    ui::Engine& Engine() { return engine_; }

    void Click(ui::WindowId w, ui::ControlId c) { engine_.Raise(ui::EventKind::Click, w, c); }
    void ChoosePage(ui::WindowId w, ui::ControlId tabs, int page) {
        engine_.Raise(ui::EventKind::PageChanged, w, tabs, page);
    }
    void ChooseItem(ui::WindowId w, ui::ControlId list, int item) {
        engine_.Raise(ui::EventKind::ItemChosen, w, list, item);
    }
    void ClickElem(ui::WindowId, ui::ControlId list, int kind, int item, ui::Rect) {
        engine_.ClickElem(list, kind, item);
    }
    void Type(ui::WindowId w, ui::ControlId edit, const std::string& text) {
        engine_.SetText(edit, ui::attr::kText, text);
        engine_.Raise(ui::EventKind::TextChanged, w, edit);
    }
    void Select(ui::WindowId w, ui::ControlId combo, int index) {
        engine_.Raise(ui::EventKind::SelectionChanged, w, combo, index);
    }
    void ChooseRow(ui::WindowId w, ui::ControlId list, int row) {
        engine_.Raise(ui::EventKind::RowChosen, w, list, row);
    }
    void RequestClose(ui::WindowId w) { engine_.Raise(ui::EventKind::CloseRequested, w); }
    // A timer whose interval is set ticks.
    void LetTimersRun(ui::WindowId w, ui::ControlId timer) {
        if (engine_.GetInt(timer, ui::attr::kInterval) > 0) engine_.Raise(ui::EventKind::Tick, w, timer);
    }

  private:
    ui::HeadlessEngine engine_;
};

#ifdef _WIN32
// The engine lives on a UI thread of its own that runs the message loop; the test thread
// calls it as the program's other threads do.
class Win32Driver {
  public:
    static constexpr const char* kName = "win32";

    Win32Driver() {
        ui_ = std::thread([this] {
            uiThread_ = GetCurrentThreadId();
            auto owned = std::make_unique<ui::Win32Engine>();
            {
                std::lock_guard lock(mutex_);
                engine_ = owned.get();
            }
            ready_.notify_all();
            ui::RunMessageLoop();
            owned.reset();
        });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return engine_ != nullptr; });
    }
    ~Win32Driver() {
        PostThreadMessageW(uiThread_, WM_QUIT, 0, 0);
        ui_.join();
    }

    ui::Engine& Engine() { return *engine_; }

    void Click(ui::WindowId w, ui::ControlId c) {
        ui::Engine& e = *engine_;
        ClickAt(w, e.GetInt(c, ui::attr::kLeft) + e.GetInt(c, ui::attr::kWidth) / 2,
                e.GetInt(c, ui::attr::kTop) + e.GetInt(c, ui::attr::kHeight) / 2);
    }
    void ChoosePage(ui::WindowId w, ui::ControlId tabs, int page) {
        ui::Rect r = engine_->TabHeaderRect(tabs, page);
        ClickAt(w, r.left + r.width / 2, r.top + r.height / 2);
    }
    void ChooseItem(ui::WindowId w, ui::ControlId list, int item) {
        ui::Rect r = engine_->IcoItemRect(list, item);
        ClickAt(w, r.left + 20, r.top + 20);
    }
    void ClickElem(ui::WindowId w, ui::ControlId list, int, int item, ui::Rect elem) {
        ui::Rect r = engine_->IcoItemRect(list, item);
        ClickAt(w, r.left + elem.left + elem.width / 2, r.top + elem.top + elem.height / 2);
    }
    void Type(ui::WindowId, ui::ControlId c, const std::string& text) {
        HWND edit = Native(c);
        std::wstring wide(text.begin(), text.end());  // ASCII in the tests
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    void Select(ui::WindowId w, ui::ControlId c, int index) {
        HWND box = Native(c);
        SendMessageW(box, CB_SETCURSEL, index, 0);
        SendMessageW(Hwnd(w), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(box));
    }
    void ChooseRow(ui::WindowId, ui::ControlId c, int row) {
        HWND view = Native(c);
        LVITEMW select{};
        select.stateMask = LVIS_SELECTED;
        select.state = LVIS_SELECTED;
        SendMessageW(view, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&select));
    }
    void RequestClose(ui::WindowId w) { SendMessageW(Hwnd(w), WM_CLOSE, 0, 0); }
    // The UI thread runs on its own; its timers fire while the caller waits for their events.
    void LetTimersRun(ui::WindowId, ui::ControlId) {}

    HWND Hwnd(ui::WindowId w) { return static_cast<HWND>(engine_->NativeWindow(w)); }
    HWND Native(ui::ControlId c) { return static_cast<HWND>(engine_->NativeControl(c)); }
    ui::Win32Engine& Win32() { return *engine_; }

  private:
    // A click at design coordinates, as the mouse makes it.
    void ClickAt(ui::WindowId w, int x, int y) {
        double s = engine_->WindowScale(w);
        LPARAM at = MAKELPARAM(static_cast<int>(x * s), static_cast<int>(y * s));
        HWND hwnd = Hwnd(w);
        SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
    }

    std::thread ui_;
    DWORD uiThread_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;
    ui::Win32Engine* engine_ = nullptr;
};
#endif

}  // namespace contract
