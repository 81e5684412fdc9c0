// The Win32 engine's facade: every engine call, run on the UI thread against the model.
#include "ui/win32_engine.h"

#include <algorithm>

#include "sys/native_calls.h"
#include "sys/trace_win.h"
#include "ui/win32_internal.h"

namespace ui {

using win32::Ctl;
using win32::Px;
using win32::Win;

namespace {

using DpiForWindowFn = UINT(WINAPI*)(HWND);

DpiForWindowFn DpiForWindow() {
    static DpiForWindowFn fn = reinterpret_cast<DpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return fn;
}

double SystemScale() {
    sys::WindowDc screen(nullptr);
    int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

}  // namespace

Win32Engine::Win32Engine() : state_(std::make_unique<State>()) { state_->Start(); }

Win32Engine::~Win32Engine() { state_->Stop(); }

WindowId Win32Engine::CreateWindowFrom(const WindowDesign& design, EventHandler handler) {
    return state_->OnUi([&]() -> WindowId {
        State& s = *state_;
        auto owned = std::make_unique<Win>();
        Win& w = *owned;
        w.engine = &s;
        w.id = s.nextWindow++;
        w.design = design;
        w.handler = std::move(handler);
        w.scale = SystemScale();
        for (const ControlDesign& d : design.controls) s.AddControl(w, nullptr, d);
        s.windows[w.id] = std::move(owned);

        int cx = Px(design.width, w.scale), cy = Px(design.height, w.scale);
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        int x = work.left + std::max(0L, (work.right - work.left - cx) / 2);
        int y = work.top + std::max(0L, (work.bottom - work.top - cy) / 2);
        if (!win32::CreateSkinWindow(w, x, y, cx, cy)) {
            for (auto& c : w.controls) s.controls.erase(c->id);
            s.windows.erase(w.id);
            return 0;
        }
        if (auto dpi = DpiForWindow()) {
            double scale = dpi(w.hwnd) / 96.0;
            if (scale > 0 && scale != w.scale) {
                w.scale = scale;
                SetWindowPos(w.hwnd, nullptr, 0, 0, Px(design.width, scale), Px(design.height, scale),
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        for (auto& c : w.controls) s.CreateNative(w, *c);
        s.MakeFont(w);
        for (auto& c : w.controls) s.PlaceNative(w, *c);
        for (auto& c : w.controls) s.StartAnimation(w, *c);
        WindowId id = w.id;
        s.Raise(id, EventKind::Created);
        if (Win* still = s.FindWin(id); still && design.visible) {
            ::ShowWindow(still->hwnd, SW_SHOW);
            SetForegroundWindow(still->hwnd);
        }
        return s.FindWin(id) ? id : 0;
    });
}

void Win32Engine::RunModal(WindowId window) {
    state_->OnUi([&] {
        State& s = *state_;
        Win* w = s.FindWin(window);
        if (!w) return;
        // The other windows wait while this one is open, from the moment it shows.
        std::vector<WindowId> disabled;
        for (auto& [id, other] : s.windows)
            if (id != window && IsWindowEnabled(other->hwnd)) {
                EnableWindow(other->hwnd, FALSE);
                disabled.push_back(id);
            }
        ::ShowWindow(w->hwnd, SW_SHOW);
        SetForegroundWindow(w->hwnd);
        MSG msg;
        bool quit = false;
        while (s.FindWin(window)) {
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got <= 0) {
                quit = got == 0;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        for (WindowId id : disabled)
            if (Win* other = s.FindWin(id)) EnableWindow(other->hwnd, TRUE);
        if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
    });
}

void Win32Engine::DestroyWindow(WindowId window) {
    state_->OnUi([&] {
        if (Win* w = state_->FindWin(window)) ::DestroyWindow(w->hwnd);
    });
}

bool Win32Engine::WindowExists(WindowId window) {
    return state_->OnUi([&] { return state_->FindWin(window) != nullptr; });
}

void Win32Engine::ShowWindow(WindowId window, bool shown) {
    state_->OnUi([&] {
        if (Win* w = state_->FindWin(window)) ::ShowWindow(w->hwnd, shown ? SW_SHOW : SW_HIDE);
    });
}

bool Win32Engine::IsWindowVisible(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w && ::IsWindowVisible(w->hwnd) != FALSE;
    });
}

void Win32Engine::SetWindowState(WindowId window, WindowState stateWanted) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        if (!w) return;
        if (stateWanted == WindowState::Minimized)
            ::ShowWindow(w->hwnd, SW_MINIMIZE);
        else if (IsIconic(w->hwnd))
            ::ShowWindow(w->hwnd, SW_RESTORE);
    });
}

WindowState Win32Engine::GetWindowState(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w && IsIconic(w->hwnd) ? WindowState::Minimized : WindowState::Normal;
    });
}

void Win32Engine::MinimizeWindow(WindowId window) {
    state_->OnUi([&] {
        if (Win* w = state_->FindWin(window)) sys::Native<sys::Row::CloseWindow>()(w->hwnd);
    });
}

void Win32Engine::BringToFront(WindowId window) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        if (!w) return;
        if (IsIconic(w->hwnd)) ::ShowWindow(w->hwnd, SW_RESTORE);
        BringWindowToTop(w->hwnd);
        SetForegroundWindow(w->hwnd);
    });
}

std::string Win32Engine::WindowTitle(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w ? w->design.title : std::string();
    });
}

Rect Win32Engine::WindowRect(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        if (!w) return Rect{};
        RECT r;
        GetClientRect(w->hwnd, &r);
        return Rect{0, 0, Px(r.right / w->scale, 1), Px(r.bottom / w->scale, 1)};
    });
}

ControlId Win32Engine::FindControl(WindowId window, const std::string& name) {
    return state_->OnUi([&]() -> ControlId {
        Win* w = state_->FindWin(window);
        if (!w) return 0;
        for (auto& c : w->controls)
            if (c->design.name == name) return c->id;
        return 0;
    });
}

WindowId Win32Engine::WindowOf(ControlId control) {
    return state_->OnUi([&]() -> WindowId {
        Ctl* c = state_->FindCtl(control);
        return c ? c->window : 0;
    });
}

std::string Win32Engine::ControlName(ControlId control) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        return c ? c->design.name : std::string();
    });
}

void Win32Engine::Redraw(ControlId control) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        if (!c) return;
        if (c->design.kind == Kind::WindowEx) {
            state_->InvalidateAll(state_->FindWin(c->window));
        } else {
            state_->Invalidate(c);
        }
    });
}

void Win32Engine::SetInt(ControlId control, int attribute, int value) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(control);
        Win* w = c ? s.FindWin(c->window) : nullptr;
        if (!w) return;
        switch (attribute) {
            case attr::kLeft:
            case attr::kTop:
            case attr::kWidth:
            case attr::kHeight:
            case attr::kVisible: {
                // Moving a container moves its pages: the whole window is redrawn.
                bool container = !c->pages.empty();
                if (!container) s.Invalidate(c);
                c->SetInt(attribute, value);
                if (container) {
                    s.InvalidateAll(w);
                    for (ControlModel* page : c->pages) s.PlaceNative(*w, *static_cast<Ctl*>(page));
                } else {
                    s.Invalidate(c);
                }
                s.PlaceNative(*w, *c);
                s.StartAnimation(*w, *c);  // brought back into sight, it moves again
                break;
            }
            case attr::kValue:
                if (c->kind() == Kind::Radiobutton && value) {
                    for (ControlModel* changed : SelectRadio(w->models, *c))
                        s.Invalidate(static_cast<Ctl*>(changed));
                } else if (c->SetInt(attribute, value)) {
                    if (c->kind() == Kind::Selectthefolder) {
                        for (ControlModel* page : c->pages) s.PlaceNative(*w, *static_cast<Ctl*>(page));
                        s.InvalidateAll(w);
                    } else {
                        s.Invalidate(c);
                    }
                }
                break;
            case attr::kCurrentSelection:
                if (c->SetInt(attribute, value) && c->native)
                    SendMessageW(c->native, CB_SETCURSEL, static_cast<WPARAM>(c->selection), 0);
                break;
            case attr::kInterval:
                if (!c->SetInt(attribute, value) || !c->slot) break;
                if (c->interval > 0)
                    SetTimer(w->hwnd, win32::kTimerBase + c->slot, static_cast<UINT>(c->interval), nullptr);
                else
                    KillTimer(w->hwnd, win32::kTimerBase + c->slot);
                break;
            default:
                break;
        }
    });
}

int Win32Engine::GetInt(ControlId control, int attribute) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        return c ? c->GetInt(attribute) : 0;
    });
}

void Win32Engine::SetText(ControlId control, int attribute, const std::string& text) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(control);
        if (!c || !c->SetText(attribute, text)) return;
        // The program's own writes are not the user's typing: no change event for them.
        if (c->native && c->HasField()) SetWindowTextW(c->native, win32::Wide(text).c_str());
        s.Invalidate(c);
    });
}

std::string Win32Engine::GetText(ControlId control, int attribute) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        return c ? c->GetText(attribute) : std::string();
    });
}

void Win32Engine::SetPicture(ControlId control, const std::string& bytes) {
    // Decoding is slow for big pictures; it runs on the caller's thread, only the swap on the UI thread.
    std::shared_ptr<win32::Picture> picture = bytes.empty() ? nullptr : win32::DecodePicture(bytes);
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(control);
        if (!c) return;
        c->picture = picture;
        if (Win* w = s.FindWin(c->window); w && c->slot) {
            KillTimer(w->hwnd, win32::kAnimationBase + c->slot);
            s.StartAnimation(*w, *c);
        }
        s.Invalidate(c);
    });
}

void* Win32Engine::NativeWindow(WindowId window) {
    return state_->OnUi([&]() -> void* {
        Win* w = state_->FindWin(window);
        return w ? w->hwnd : nullptr;
    });
}

void* Win32Engine::NativeControl(ControlId control) {
    return state_->OnUi([&]() -> void* {
        Ctl* c = state_->FindCtl(control);
        return c ? c->native : nullptr;
    });
}

double Win32Engine::WindowScale(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w ? w->scale : 1.0;
    });
}

void Win32Engine::Post(std::function<void()> task) {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    // The message owns the task once posted; a post that fails leaves it here to be freed.
    if (PostMessageW(state_->callWindow, win32::kRunPosted, 0, reinterpret_cast<LPARAM>(owned.get())))
        owned.release();
    else
        sys::TraceLastError("PostMessageW");
}

}  // namespace ui
