// The Win32 engine's windows: classes, the window procedure, painting, timers and the hop onto
// the UI thread.
// clang-format off
#include "ui/win32_internal.h"  // <windows.h> before the common-control header
#include <commctrl.h>
// clang-format on

#include <algorithm>

#include "ui/program_window.h"

namespace ui {

using win32::Ctl;
using win32::Win;

namespace {

const wchar_t kCallClass[] = L"MiaolanUiCalls";

// The one trampoline: the Win of a window is stored with it at WM_NCCREATE.
LRESULT CALLBACK SkinWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        if (auto* w = static_cast<Win*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams)) {
            w->hwnd = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
        }
    }
    auto* w = reinterpret_cast<Win*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!w || !w->engine) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return w->engine->WindowProc(*w, msg, wp, lp);
}

LRESULT CALLBACK CallWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == win32::kRunCall) {
        try {
            (*reinterpret_cast<std::function<void()>*>(lp))();
        } catch (...) {
            // No exception may leave a window procedure.
        }
        return 0;
    }
    if (msg == win32::kRunPosted) {
        std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lp));
        try {
            (*task)();
        } catch (...) {
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

namespace win32 {
int Px(double design, double scale) { return static_cast<int>(design * scale + (design >= 0 ? 0.5 : -0.5)); }
}  // namespace win32

Win* Win32Engine::State::FindWin(WindowId id) {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second.get();
}

Ctl* Win32Engine::State::FindCtl(ControlId id) {
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
}

Ctl* Win32Engine::State::FindKind(ControlId id, Kind kind) {
    Ctl* c = FindCtl(id);
    return c && c->kind() == kind ? c : nullptr;
}

ImageRef Win32Engine::State::FindImage(ImageId id) {
    auto it = images.find(id);
    return it == images.end() ? nullptr : it->second;
}

bool Win32Engine::State::Raise(WindowId window, EventKind kind, ControlId control, int value) {
    Win* w = FindWin(window);
    if (!w || !w->handler) return kind == EventKind::CloseRequested;
    EventHandler handler = w->handler;
    try {
        return handler(Event{kind, window, control, value});
    } catch (...) {
        // No exception may leave a window procedure.
        return false;
    }
}

RECT Win32Engine::State::PhysicalRect(const Win& w, const Rect& r) {
    using win32::Px;
    return RECT{Px(r.left, w.scale) - 2, Px(r.top, w.scale) - 2, Px(r.left + r.width, w.scale) + 3,
                Px(r.top + r.height, w.scale) + 3};
}

void Win32Engine::State::Invalidate(Ctl* c) {
    if (!c || c->Locked()) return;
    Win* w = FindWin(c->window);
    if (!w) return;
    RECT r = PhysicalRect(*w, layout::AbsoluteRect(*c));
    InvalidateRect(w->hwnd, &r, FALSE);
}

void Win32Engine::State::InvalidateAll(Win* w) {
    if (w) InvalidateRect(w->hwnd, nullptr, FALSE);
}

void Win32Engine::State::AddControl(Win& w, Ctl* parent, const ControlDesign& d) {
    auto c = std::make_unique<Ctl>();
    c->id = nextControl++;
    c->window = w.id;
    c->container = parent;
    c->FromDesign(d);
    c->slot =
        static_cast<int>(w.controls.size()) < win32::kMaxSlots ? static_cast<int>(w.controls.size()) + 1 : 0;
    c->image = win32::ResourcePicture(d.image);
    if (!d.image.empty()) c->imageOn = win32::ResourcePicture(d.image + "_on");
    Ctl* raw = c.get();
    controls[raw->id] = raw;
    w.controls.push_back(std::move(c));
    w.models.push_back(raw);
    if (parent) parent->pages.push_back(raw);
    for (const ControlDesign& page : d.pages) AddControl(w, raw, page);
}

// An animation runs only while someone can see it: a hidden window or a picture parked off
// the window (the loading picture between fills) would otherwise wake the program all day.
static bool AnimationSeen(const Win& w, const Ctl& c) {
    Rect r = layout::AbsoluteRect(c);
    return ::IsWindowVisible(w.hwnd) && layout::Shown(c) && r.left + r.width > 0 && r.left < w.design.width &&
           r.top + r.height > 0 && r.top < w.design.height;
}

void Win32Engine::State::StartAnimation(Win& w, Ctl& c) {
    auto* picture = c.picture ? c.picture.get() : c.image.get();
    if (!c.slot || c.kind() != Kind::PictureBox || !picture || picture->frames.size() < 2) return;
    // Replaces the timer of the picture before, if any; the first tick stops it when unseen.
    SetTimer(w.hwnd, win32::kAnimationBase + c.slot, picture->delays[picture->frame], nullptr);
}

void Win32Engine::State::OnTimer(Win& w, UINT_PTR id) {
    if (id == win32::kTrayMenuTimer) {
        KillTimer(w.hwnd, id);
        PostMessageW(w.hwnd, win32::kTrayMenuLater, 0, 0);
    } else if (id > win32::kAnimationBase && id <= win32::kAnimationBase + win32::kMaxSlots) {
        Ctl* c = w.AtSlot(static_cast<int>(id - win32::kAnimationBase));
        auto* picture = c ? (c->picture ? c->picture.get() : c->image.get()) : nullptr;
        if (!picture || picture->frames.size() < 2 || !AnimationSeen(w, *c)) {
            KillTimer(w.hwnd, id);
            return;
        }
        picture->frame = (picture->frame + 1) % picture->frames.size();
        SetTimer(w.hwnd, id, picture->delays[picture->frame], nullptr);
        Invalidate(c);
    } else if (id > win32::kTimerBase && id <= win32::kTimerBase + win32::kMaxSlots) {
        if (Ctl* c = w.AtSlot(static_cast<int>(id - win32::kTimerBase))) Raise(w.id, EventKind::Tick, c->id);
    }
}

LRESULT Win32Engine::State::WindowProc(Win& w, UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = w.hwnd;
    if (taskbarCreated && msg == taskbarCreated) {
        // Explorer restarted: the icon has to be put back.
        if (w.tray) AddTray(w);
        return 0;
    }
    if ((endNow && msg == endNow) || (show && msg == show)) {
        // A broadcast end meant for another copy.
        if (msg == endNow && wp != 0 && wp != GetCurrentProcessId()) return 0;
        // Whichever of its windows another process found, the main window's handler decides;
        // a plain WM_CLOSE still only hides it.
        std::vector<WindowId> mains;
        for (auto& [id, each] : windows)
            if (each->design.role == WindowRole::Main) mains.push_back(id);
        for (WindowId id : mains)
            Raise(id, msg == endNow ? EventKind::EndRequested : EventKind::ShowRequested);
        return 0;
    }
    switch (msg) {
        case WM_PAINT: {
            sys::PaintDc paint(hwnd);
            RECT client;
            GetClientRect(hwnd, &client);
            int width = std::max<LONG>(1, client.right), height = std::max<LONG>(1, client.bottom);
            // Drawn off screen first, so the window never shows half a frame.
            sys::ScopedCreatedDc memory(CreateCompatibleDC(paint.get()));
            sys::ScopedBitmap bitmap(CreateCompatibleBitmap(paint.get(), width, height));
            if (!memory || !bitmap) return 0;
            sys::SelectedObject selected(memory.get(), bitmap.get());
            const RECT& dirty = paint.dirty();
            win32::PaintWindow(w, memory.get(), dirty);
            BitBlt(paint.get(), dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top,
                   memory.get(), dirty.left, dirty.top, SRCCOPY);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST:
            return OnHitTest(w, lp);
        case WM_SETCURSOR:
            if (OnSetCursor(w, lp)) return TRUE;
            break;
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
            return OnMouse(w, msg, lp);
        case WM_MOUSEWHEEL:
            OnWheel(w, wp, lp);
            return 0;
        case WM_COMMAND:
            OnCommand(w, wp);
            return 0;
        case WM_NOTIFY:
            OnNotify(w, lp);
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetBkColor(dc, RGB(255, 255, 255));
            SetTextColor(dc, RGB(31, 41, 55));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_TIMER:
            OnTimer(w, wp);
            return 0;
        case WM_SHOWWINDOW:
            // However it is shown (engine, tray, restore), its animations run again.
            if (wp)
                for (auto& c : w.controls) StartAnimation(w, *c);
            break;
        case win32::kTrayMessage:
            OnTrayMessage(w, lp);
            return 0;
        case win32::kTrayMenuLater:
            OnTrayMenuLater(w);
            return 0;
        case WM_CLOSE: {
            WindowId id = w.id;
            if (Raise(id, EventKind::CloseRequested))
                if (Win* still = FindWin(id)) ::DestroyWindow(still->hwnd);
            return 0;
        }
        case WM_DESTROY: {
            WindowId id = w.id;
            Raise(id, EventKind::Destroying);
            if (Win* still = FindWin(id)) RemoveTray(*still);
            return 0;
        }
        case WM_NCDESTROY: {
            // The last message of the window: its Win goes with it.
            for (auto& c : w.controls) controls.erase(c->id);
            windows.erase(w.id);
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        case WM_DPICHANGED: {
            w.scale = HIWORD(wp) / 96.0;
            auto* suggested = reinterpret_cast<RECT*>(lp);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, win32::Px(w.design.width, w.scale),
                         win32::Px(w.design.height, w.scale), SWP_NOZORDER | SWP_NOACTIVATE);
            MakeFont(w);
            for (auto& c : w.controls) PlaceNative(w, *c);
            InvalidateAll(&w);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Engine::State::Start() {
    uiThread = GetCurrentThreadId();
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok)
        gdiplus = sys::GdiplusSession(token, &Gdiplus::GdiplusShutdown);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_DROPSHADOW;
    wc.lpfnWndProc = SkinWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    // A class keeps its icons for the life of the process.
    wc.hIcon = win32::ProgramIcon(GetSystemMetrics(SM_CXICON));
    wc.hIconSm = win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON));
    wc.lpszClassName = kSkinWindowClass;
    if (!RegisterClassExW(&wc)) {
        // Registered by an engine before this one; the icons are not needed.
        if (wc.hIcon) DestroyIcon(wc.hIcon);
        if (wc.hIconSm) DestroyIcon(wc.hIconSm);
    }
    WNDCLASSEXW cc{};
    cc.cbSize = sizeof cc;
    cc.lpfnWndProc = CallWindowProc;
    cc.hInstance = instance;
    cc.lpszClassName = kCallClass;
    RegisterClassExW(&cc);
    callWindow = CreateWindowExW(0, kCallClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    endNow = RegisterWindowMessageW(kEndNowMessage);
    show = RegisterWindowMessageW(kShowMessage);
}

void Win32Engine::State::Stop() {
    std::vector<HWND> open;
    for (auto& [id, w] : windows) open.push_back(w->hwnd);
    for (HWND h : open) ::DestroyWindow(h);
    if (callWindow) ::DestroyWindow(callWindow);
    images.clear();
    // Pictures cached for the process stay alive, so GDI+ stays up with them.
    (void)gdiplus.release();
}

HWND win32::CreateSkinWindow(Win& w, int x, int y, int cx, int cy) {
    return CreateWindowExW(WS_EX_APPWINDOW, kSkinWindowClass, win32::Wide(w.design.title).c_str(),
                           WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, x, y, cx, cy, nullptr,
                           nullptr, GetModuleHandleW(nullptr), &w);
}

void EnableDpiAwareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (set && set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
    SetProcessDPIAware();
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
