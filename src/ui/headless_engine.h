// The headless engine: the control tree of every window kept in memory, no drawing.
//
// App-level checks run on it natively and under Wine: they read every caption, position,
// visibility, list item and tab-data word, and raise any event as the user would. Safe from
// any thread; handlers run on the thread that raises the event, with no engine lock held.
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "ui/control_model.h"
#include "ui/engine.h"

namespace ui {

// A control as the headless engine keeps it: the shared model plus what a check reads.
struct HeadlessControl : ControlModel {
    ControlId parent = 0;  // the tab container of a page
    std::string picture;   // picture box bytes
    int redraws = 0;
};

struct HeadlessMessage {
    std::string title, text, button;
    WindowId owner = 0;
};

struct HeadlessWindow {
    WindowDesign design;
    EventHandler handler;
    bool visible = false;
    bool modal = false;
    WindowState state = WindowState::Normal;
    int minimizeCalls = 0;
    int frontCalls = 0;
    bool tray = false;
    std::string trayTip;
    std::vector<ControlId> controls;
};

class HeadlessEngine : public Engine {
  public:
    WindowId CreateWindowFrom(const WindowDesign& design, EventHandler handler) override;
    void RunModal(WindowId window) override;
    void DestroyWindow(WindowId window) override;
    bool WindowExists(WindowId window) override;
    void ShowWindow(WindowId window, bool shown) override;
    bool IsWindowVisible(WindowId window) override;
    void SetWindowState(WindowId window, WindowState state) override;
    WindowState GetWindowState(WindowId window) override;
    void MinimizeWindow(WindowId window) override;
    void BringToFront(WindowId window) override;
    std::string WindowTitle(WindowId window) override;
    Rect WindowRect(WindowId window) override;
    ControlId FindControl(WindowId window, const std::string& name) override;
    WindowId WindowOf(ControlId control) override;
    std::string ControlName(ControlId control) override;
    void Redraw(ControlId control) override;
    void SetInt(ControlId control, int attribute, int value) override;
    int GetInt(ControlId control, int attribute) override;
    void SetText(ControlId control, int attribute, const std::string& text) override;
    std::string GetText(ControlId control, int attribute) override;
    void SetPicture(ControlId control, const std::string& bytes) override;
    void MsgBox(const std::string& title, const std::string& text, const std::string& button,
                WindowId owner) override;
    void AddTrayIcon(WindowId window, const std::string& tooltip) override;
    void RemoveTrayIcon(WindowId window) override;
    bool HasTrayIcon(WindowId window) override;
    void PopupTrayMenu(ControlId menu, int dx, int dy) override;
    ImageId LoadImageEx(const std::string& bytes, int width, int height) override;
    void DestroyImage(ImageId image) override;
    void InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) override;
    void DeleteIcoItem(ControlId list, int position) override;
    int IcoItemCount(ControlId list) override;
    std::string IcoItemTitle(ControlId list, int position) override;
    bool IcoItemHasImage(ControlId list, int position) override;
    int ElemCount(ControlId list, int elemKind) override;
    void InsertElem(ControlId list, int elemKind) override;
    void SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) override;
    void SetElemImageData(ControlId list, int elemKind, int item, ImageId image) override;
    bool ElemHasImage(ControlId list, int elemKind, int item) override;
    void LockUpdate(ControlId control) override;
    void UnlockUpdate(ControlId control) override;
    void InsertColumn(ControlId list, int position, const std::string& title, int width) override;
    int ColumnCount(ControlId list) override;
    int InsertRow(ControlId list, int position) override;
    void DeleteRow(ControlId list, int position) override;
    int RowCount(ControlId list) override;
    void SetCell(ControlId list, int row, int column, const std::string& text) override;
    std::string GetCell(ControlId list, int row, int column) override;
    void SetTabData(ControlId tabs, int page, uint32_t value) override;
    uint32_t GetTabData(ControlId tabs, int page) override;
    // No UI thread here: the task runs at once on the caller's thread, one task at a time.
    void Post(std::function<void()> task) override;

    // --- what a check reads and does ---

    // Delivers an event to its window's handler as the user would cause it; returns the
    // handler's answer (false when the window is gone). A granted CloseRequested destroys
    // the window.
    bool Raise(EventKind kind, WindowId window, ControlId control = 0, int value = 0);
    // Clicks an item button element of an icon list (code 65538 unless given).
    void ClickElem(ControlId list, int elemKind, int item, int code = kElemClickCode);

    // A copy of the control; its container and pages point into the engine.
    std::optional<HeadlessControl> Control(ControlId control);
    std::optional<HeadlessWindow> Window(WindowId window);
    // Every window ever created that still exists, in creation order.
    std::vector<WindowId> LiveWindows();
    WindowId FindWindowByName(const std::string& designName);
    std::vector<HeadlessMessage> Messages();
    // Menus popped up: (menu, dx, dy).
    std::vector<std::tuple<ControlId, int, int>> Popups();
    // Runs while a modal window is open (inside RunModal); a check closes it from here.
    // Without a hook RunModal returns at once, leaving the window open.
    void SetModalHook(std::function<void(WindowId)> hook);

  private:
    HeadlessControl* ControlLocked(ControlId control);
    HeadlessWindow* WindowLocked(WindowId window);
    void AddControlLocked(WindowId window, HeadlessControl* parent, const ControlDesign& design);
    std::vector<ControlModel*> WindowControlsLocked(WindowId window);
    ImageRef ImageLocked(ImageId image);
    EventHandler HandlerOf(WindowId window);

    std::mutex mutex_;
    std::recursive_mutex postMutex_;
    std::map<WindowId, HeadlessWindow> windows_;
    std::map<ControlId, HeadlessControl> controls_;
    std::map<ImageId, ImageRef> images_;
    std::vector<HeadlessMessage> messages_;
    std::vector<std::tuple<ControlId, int, int>> popups_;
    std::function<void(WindowId)> modalHook_;
    int nextWindow_ = 1;
    int nextControl_ = 1;
    int nextImage_ = 1;
};

}  // namespace ui
