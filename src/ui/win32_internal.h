// Inside the Win32 engine: its windows and controls, the state they share, and the parts that
// each file of the engine adds to it. Everything here is touched on the UI thread only.
#pragma once

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "sys/scoped_win.h"
#include "ui/control_model.h"
#include "ui/layout.h"
#include "ui/win32_engine.h"

namespace ui::win32 {

// A decoded picture; an animated GIF keeps every frame, already composed.
struct Picture {
    std::vector<std::shared_ptr<Gdiplus::Bitmap>> frames;
    std::vector<UINT> delays;  // milliseconds per frame
    UINT frame = 0;
    Gdiplus::Bitmap* Current() const { return frames.empty() ? nullptr : frames[frame].get(); }
};

// What an image id of this engine holds.
struct BitmapImage : ImageData {
    explicit BitmapImage(std::shared_ptr<Gdiplus::Bitmap> b) : bitmap(std::move(b)) {}
    std::shared_ptr<Gdiplus::Bitmap> bitmap;
};
inline Gdiplus::Bitmap* BitmapOf(const ImageRef& image) {
    return image ? static_cast<const BitmapImage&>(*image).bitmap.get() : nullptr;
}

// Decodes image bytes (PNG, JPEG, GIF, BMP); null when they are no picture.
std::shared_ptr<Picture> DecodePicture(const std::string& bytes);
// The picture scaled to exactly width x height; null for a null source.
std::shared_ptr<Gdiplus::Bitmap> ScaledCopy(Gdiplus::Bitmap* source, int width, int height);
// A picture built into the exe as an RCDATA resource named like `name` in upper case; null
// when there is none. Cached for the life of the process.
std::shared_ptr<Picture> ResourcePicture(const std::string& name);
// The program icon (resource 1), at the given size; the caller owns it.
HICON ProgramIcon(int size);

std::wstring Wide(const std::string& gbk);
std::string Narrow(const std::wstring& wide);

// Ids a window hands out per control. They are small because each names a control's place
// in its own window, not the control's engine-wide id: WM_COMMAND carries 16 bits, and a
// settings window opened thousands of times must never run out of them.
constexpr int kMaxSlots = 0x0FFF;
constexpr UINT kNativeIdBase = 0x1000;       // + slot: native child controls
constexpr UINT_PTR kTimerBase = 0x1000;      // + slot: timer controls
constexpr UINT_PTR kAnimationBase = 0x2000;  // + slot: animated pictures
constexpr UINT_PTR kTrayMenuTimer = 0x3001;  // the deferred notification-area menu

constexpr UINT kRunCall = WM_APP + 1;
constexpr UINT kTrayMessage = WM_APP + 2;
constexpr UINT kTrayMenuLater = WM_APP + 3;
constexpr UINT kRunPosted = WM_APP + 4;  // lParam: a heap std::function<void()> the message owns

struct Ctl : ControlModel {
    int slot = 0;  // 1-based place in its window; 0 when the window has no room left
    std::shared_ptr<Picture> picture;
    std::shared_ptr<Picture> image;    // the design image
    std::shared_ptr<Picture> imageOn;  // the design image when selected
    HWND native = nullptr;
    int hoverPart = -1;  // item or tab page under the mouse
    bool hoverElem = false;
};

struct Win {
    Win32Engine::State* engine = nullptr;
    WindowId id = 0;
    HWND hwnd = nullptr;
    WindowDesign design;
    EventHandler handler;
    std::vector<std::unique_ptr<Ctl>> controls;  // slot n is controls[n - 1]
    std::vector<ControlModel*> models;           // the same, for layout
    bool tray = false;
    std::string trayTip;
    sys::ScopedIcon trayIcon;
    double scale = 1.0;
    sys::ScopedFont font;
    Ctl* hover = nullptr;
    Ctl* pressed = nullptr;
    int pressedPart = -1;
    int pressedElem = -1;
    bool closeHover = false;
    bool closePressed = false;
    bool tracking = false;
    Ctl* dragList = nullptr;  // scroll bar thumb being dragged
    int dragStartY = 0;
    int dragStartScroll = 0;

    Ctl* AtSlot(int slot) const {
        return slot >= 1 && slot <= static_cast<int>(controls.size()) ? controls[slot - 1].get() : nullptr;
    }
};

int Px(double design, double scale);

// Creates the frameless window of `w` (its Win is stored with it).
HWND CreateSkinWindow(Win& w, int x, int y, int cx, int cy);

// Paints the window (skin and every shown control) into the DC; `dirty` in physical pixels.
void PaintWindow(Win& w, HDC dc, const RECT& dirty);

}  // namespace ui::win32

namespace ui {

struct Win32Engine::State {
    DWORD uiThread = 0;
    HWND callWindow = nullptr;
    sys::GdiplusSession gdiplus;
    UINT taskbarCreated = 0;
    UINT endNow = 0;  // kEndNowMessage
    UINT show = 0;    // kShowMessage
    bool inTrayMenu = false;
    DWORD lastTrayButtonUp = 0;
    std::map<WindowId, std::unique_ptr<win32::Win>> windows;
    std::map<ControlId, win32::Ctl*> controls;
    std::map<ImageId, ImageRef> images;
    int nextWindow = 1;
    int nextControl = 1;
    int nextImage = 1;

    // Runs fn on the UI thread and returns when it has run.
    template <typename F>
    auto OnUi(F&& fn) -> decltype(fn()) {
        if (GetCurrentThreadId() == uiThread) return fn();
        using R = decltype(fn());
        if constexpr (std::is_void_v<R>) {
            std::function<void()> task = [&] { fn(); };
            SendMessageW(callWindow, win32::kRunCall, 0, reinterpret_cast<LPARAM>(&task));
        } else {
            R result{};
            std::function<void()> task = [&] { result = fn(); };
            SendMessageW(callWindow, win32::kRunCall, 0, reinterpret_cast<LPARAM>(&task));
            return result;
        }
    }

    win32::Win* FindWin(WindowId id);
    win32::Ctl* FindCtl(ControlId id);
    win32::Ctl* FindKind(ControlId id, Kind kind);
    ImageRef FindImage(ImageId id);

    // Delivers an event; the window may be gone when this returns.
    bool Raise(WindowId window, EventKind kind, ControlId control = 0, int value = 0);

    // Redraws (win32_window.cpp).
    RECT PhysicalRect(const win32::Win& w, const Rect& r);
    void Invalidate(win32::Ctl* c);
    void InvalidateAll(win32::Win* w);
    void AddControl(win32::Win& w, win32::Ctl* parent, const ControlDesign& d);
    void StartAnimation(win32::Win& w, win32::Ctl& c);
    LRESULT WindowProc(win32::Win& w, UINT msg, WPARAM wp, LPARAM lp);
    void OnTimer(win32::Win& w, UINT_PTR id);

    // Mouse (win32_input.cpp).
    LRESULT OnMouse(win32::Win& w, UINT msg, LPARAM lp);
    void OnWheel(win32::Win& w, WPARAM wp, LPARAM lp);
    LRESULT OnHitTest(win32::Win& w, LPARAM lp);
    bool OnSetCursor(win32::Win& w, LPARAM lp);
    void Scroll(win32::Ctl& list, int by);

    // Native child controls (win32_native.cpp).
    void CreateNative(win32::Win& w, win32::Ctl& c);
    void PlaceNative(win32::Win& w, win32::Ctl& c);
    void MakeFont(win32::Win& w);
    void OnCommand(win32::Win& w, WPARAM wp);
    void OnNotify(win32::Win& w, LPARAM lp);
    // Rewrites the native list from the model (columns, rows and cells).
    void SyncListView(win32::Ctl& c);

    // Notification area and menus (win32_tray.cpp).
    void AddTray(win32::Win& w);
    void RemoveTray(win32::Win& w);
    void OnTrayMessage(win32::Win& w, LPARAM lp);
    void OnTrayMenuLater(win32::Win& w);
    void PopupMenu(win32::Ctl& menu, int dx, int dy);
    void ShowMessageBox(const std::string& title, const std::string& text, const std::string& button,
                        HWND owner);

    // Window classes and the call window (win32_window.cpp).
    void Start();
    void Stop();
};

}  // namespace ui
