// The Win32 engine: frameless skinned windows whose controls are drawn with GDI+ (native EDIT,
// COMBOBOX and LISTVIEW where they serve), per-monitor DPI aware.
//
// The thread that creates the engine is the UI thread: it owns every window and must run the
// message loop. Calls from other threads are run on the UI thread through a hidden message
// window, synchronously, so their results come back; the UI thread itself never waits for
// another thread of the program. Windows only.
#pragma once

#include <memory>

#include "ui/engine.h"

namespace ui {

class Win32Engine : public Engine {
  public:
    Win32Engine();
    ~Win32Engine() override;

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
    void Post(std::function<void()> task) override;

    // The window's HWND (as void*, so this header stays free of <windows.h>).
    void* NativeWindow(WindowId window);
    // The native child (EDIT, COMBOBOX, list view) that shows the control; null for a drawn one.
    void* NativeControl(ControlId control);
    // Where an icon-list item sits in its window's client area, in design pixels (scrolling
    // included); empty when there is no such item.
    Rect IcoItemRect(ControlId list, int position);
    // Where the header of a tab page sits, in design pixels.
    Rect TabHeaderRect(ControlId tabs, int page);
    // Design pixels per physical pixel ratio of the window (1 at 96 dpi, 1.5 at 144 dpi).
    double WindowScale(WindowId window);

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// Runs the calling thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Makes the process per-monitor DPI aware (before any window exists).
void EnableDpiAwareness();

// One copy per session. True when this process is the first: it then holds the mark until it
// ends. Otherwise the running copy has been asked to bring its main window forward, and this
// process should end.
bool BecomeTheOnlyCopy();

}  // namespace ui
