// The Win32 engine: windows, controls, events and the hop onto the UI thread.
#include "ui/win32_engine.h"

// clang-format off
#include "ui/win32_internal.h"  // <windows.h> before the shell and common-control headers
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <functional>

#include "sys/native_calls.h"

namespace ui {

using win32::Ctl;
using win32::Wide;
using win32::Win;

namespace {

constexpr UINT kRunCall = WM_APP + 1;
constexpr UINT kTrayMessage = WM_APP + 2;
constexpr UINT kTrayMenuLater = WM_APP + 3;
constexpr UINT_PTR kTimerBase = 0x10000;      // + control id: timer controls
constexpr UINT_PTR kAnimationBase = 0x20000;  // + control id: animated pictures
constexpr UINT_PTR kTrayMenuTimer = 0x30000000;
constexpr UINT kNativeIdBase = 0x1000;  // + control id: native child controls
const wchar_t kWindowClass[] = L"MiaolanSkinWindow";
const wchar_t kCallClass[] = L"MiaolanUiCalls";

using DpiForWindowFn = UINT(WINAPI*)(HWND);

DpiForWindowFn DpiForWindow() {
    static DpiForWindowFn fn = reinterpret_cast<DpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return fn;
}

double SystemScale() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

int Px(double design, double scale) { return static_cast<int>(design * scale + (design >= 0 ? 0.5 : -0.5)); }

bool Interactive(const Ctl& c) {
    switch (c.design.kind) {
        case Kind::Button:
        case Kind::Radiobutton:
        case Kind::Selectthefolder:
        case Kind::IcoListbox:
            return true;
        default:
            return false;
    }
}

bool Contains(const Rect& r, int x, int y) {
    return x >= r.left && y >= r.top && x < r.left + r.width && y < r.top + r.height;
}

}  // namespace

struct Win32Engine::State {
    DWORD uiThread = 0;
    HWND callWindow = nullptr;
    ULONG_PTR gdiplusToken = 0;
    UINT taskbarCreated = 0;
    bool inTrayMenu = false;
    DWORD lastTrayButtonUp = 0;
    std::map<WindowId, std::unique_ptr<Win>> windows;
    std::map<ControlId, Ctl*> controls;
    std::map<ImageId, std::shared_ptr<Gdiplus::Bitmap>> images;
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
            SendMessageW(callWindow, kRunCall, 0, reinterpret_cast<LPARAM>(&task));
        } else {
            R result{};
            std::function<void()> task = [&] { result = fn(); };
            SendMessageW(callWindow, kRunCall, 0, reinterpret_cast<LPARAM>(&task));
            return result;
        }
    }

    Win* FindWin(WindowId id) {
        auto it = windows.find(id);
        return it == windows.end() ? nullptr : it->second.get();
    }
    Win* WinOf(HWND hwnd) {
        for (auto& [id, w] : windows)
            if (w->hwnd == hwnd) return w.get();
        return nullptr;
    }
    Ctl* FindCtl(ControlId id) {
        auto it = controls.find(id);
        return it == controls.end() ? nullptr : it->second;
    }
    Ctl* FindKind(ControlId id, Kind kind) {
        Ctl* c = FindCtl(id);
        return c && c->design.kind == kind ? c : nullptr;
    }

    // Delivers an event; the window may be gone when this returns.
    bool Raise(WindowId window, EventKind kind, ControlId control = 0, int value = 0) {
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

    RECT PhysicalRect(const Win& w, const Rect& r) {
        return RECT{Px(r.left, w.scale) - 2, Px(r.top, w.scale) - 2, Px(r.left + r.width, w.scale) + 3,
                    Px(r.top + r.height, w.scale) + 3};
    }

    void Invalidate(Ctl* c) {
        if (!c) return;
        for (Ctl* p = c; p; p = p->parent)
            if (p->lockDepth > 0) return;
        Win* w = FindWin(c->window);
        if (!w) return;
        RECT r = PhysicalRect(*w, win32::AbsoluteRect(*c));
        InvalidateRect(w->hwnd, &r, FALSE);
    }

    void InvalidateAll(Win* w) {
        if (w) InvalidateRect(w->hwnd, nullptr, FALSE);
    }

    void PlaceNative(Win& w, Ctl& c) {
        if (!c.native) return;
        Rect r = win32::AbsoluteRect(c);
        int x = Px(r.left, w.scale), y = Px(r.top, w.scale), cx = Px(r.width, w.scale),
            cy = Px(r.height, w.scale);
        if (c.design.kind == Kind::Editbox) {
            // The frame is drawn by the skin; the edit sits inside it, centred vertically.
            int textHeight = Px(18, w.scale);
            int inset = Px(3, w.scale);
            x += inset;
            cx -= 2 * inset;
            y += std::max(0, (cy - textHeight) / 2);
            cy = std::min(cy, textHeight);
        } else if (c.design.kind == Kind::Combobox) {
            cy = Px(r.height + 160, w.scale);
        }
        SetWindowPos(c.native, nullptr, x, y, std::max(1, cx), std::max(1, cy),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(c.native, win32::Shown(c) ? SW_SHOWNA : SW_HIDE);
        if (c.design.kind == Kind::Combobox)
            SendMessageW(c.native, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Px(r.height - 6, w.scale));
    }

    void MakeFont(Win& w) {
        if (w.font) DeleteObject(w.font);
        w.font = CreateFontW(-Px(13, w.scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"Microsoft YaHei");
        for (auto& c : w.controls)
            if (c->native) SendMessageW(c->native, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), TRUE);
    }

    void CreateNative(Win& w, Ctl& c) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        HMENU id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kNativeIdBase + c.id));
        switch (c.design.kind) {
            case Kind::Editbox:
                c.native =
                    CreateWindowExW(0, L"EDIT", Wide(c.text).c_str(), WS_CHILD | ES_AUTOHSCROLL | ES_CENTER,
                                    0, 0, 1, 1, w.hwnd, id, instance, nullptr);
                break;
            case Kind::Combobox: {
                bool free = !c.design.caption.empty() &&
                            std::find(c.design.items.begin(), c.design.items.end(), c.design.caption) ==
                                c.design.items.end();
                c.native = CreateWindowExW(0, L"COMBOBOX", L"",
                                           WS_CHILD | WS_VSCROLL | (free ? CBS_DROPDOWN : CBS_DROPDOWNLIST),
                                           0, 0, 1, 1, w.hwnd, id, instance, nullptr);
                for (const std::string& item : c.design.items)
                    SendMessageW(c.native, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
                if (free) SetWindowTextW(c.native, Wide(c.design.caption).c_str());
                break;
            }
            case Kind::SuperListbox:
                c.native =
                    CreateWindowExW(0, WC_LISTVIEWW, L"",
                                    WS_CHILD | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0,
                                    0, 1, 1, w.hwnd, id, instance, nullptr);
                if (c.native)
                    SendMessageW(c.native, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
                break;
            default:
                return;
        }
        if (c.native) SetWindowLongPtrW(c.native, GWLP_USERDATA, c.id);
    }

    void AddControl(Win& w, Ctl* parent, const ControlDesign& d) {
        auto c = std::make_unique<Ctl>();
        c->id = nextControl++;
        c->window = w.id;
        c->design = d;
        c->parent = parent;
        c->rect = d.rect;
        c->visible = d.visible;
        c->caption = d.caption;
        c->value = d.value;
        if (d.kind == Kind::Editbox || d.kind == Kind::Combobox) c->text = d.caption;
        c->image = win32::ResourcePicture(d.image);
        if (!d.image.empty()) c->imageOn = win32::ResourcePicture(d.image + "_on");
        Ctl* raw = c.get();
        controls[raw->id] = raw;
        w.controls.push_back(std::move(c));
        if (parent) parent->pages.push_back(raw);
        for (const ControlDesign& page : d.pages) AddControl(w, raw, page);
    }

    void StartAnimations(Win& w) {
        for (auto& c : w.controls) {
            auto* picture = c->picture ? c->picture.get() : c->image.get();
            if ((c->design.kind == Kind::PictureBox) && picture && picture->frames.size() > 1)
                SetTimer(w.hwnd, kAnimationBase + c->id, picture->delays[picture->frame], nullptr);
        }
    }

    // --- mouse ---

    struct Hit {
        Ctl* control = nullptr;
        int part = -1;  // item / page
        bool elem = false;
        bool thumb = false;
        bool close = false;
    };

    Hit HitTest(Win& w, int x, int y) {
        Hit hit;
        if (Contains(win32::CloseBoxRect(w), x, y)) {
            hit.close = true;
            return hit;
        }
        for (auto it = w.controls.rbegin(); it != w.controls.rend(); ++it) {
            Ctl& c = **it;
            if (!Interactive(c) || !win32::Shown(c)) continue;
            Rect r = win32::AbsoluteRect(c);
            if (!Contains(r, x, y)) continue;
            int lx = x - r.left, ly = y - r.top;
            if (c.design.kind == Kind::Selectthefolder) {
                if (ly >= win32::kTabStripHeight) continue;  // the page area belongs to the pages
                for (int i = 0; i < static_cast<int>(c.pages.size()); ++i)
                    if (Contains(win32::TabHeader(c, i), lx, ly)) hit.part = i;
                if (hit.part < 0) continue;
            } else if (c.design.kind == Kind::IcoListbox) {
                Rect thumb = win32::ThumbRect(c);
                if (thumb.height > 0 && lx >= thumb.left - 4) {
                    hit.thumb = true;
                } else {
                    for (int i = 0; i < static_cast<int>(c.items.size()); ++i) {
                        Rect ir = win32::ItemRect(c, i);
                        if (!Contains(ir, lx, ly)) continue;
                        hit.part = i;
                        auto e = c.items[i].elem.find(1);
                        hit.elem = c.hasElemAttribute && e != c.items[i].elem.end() && e->second &&
                                   Contains(c.elemRect, lx - ir.left, ly - ir.top);
                        break;
                    }
                }
            }
            hit.control = &c;
            return hit;
        }
        return hit;
    }

    void SetHover(Win& w, const Hit& hit) {
        bool closeHover = hit.close;
        if (closeHover != w.closeHover) {
            w.closeHover = closeHover;
            RECT r = PhysicalRect(w, win32::CloseBoxRect(w));
            InvalidateRect(w.hwnd, &r, FALSE);
        }
        Ctl* old = w.hover;
        if (old && (old != hit.control || old->hoverPart != hit.part || old->hoverElem != hit.elem)) {
            old->hoverPart = -1;
            old->hoverElem = false;
            Invalidate(old);
        }
        w.hover = hit.control;
        if (hit.control && (hit.control->hoverPart != hit.part || hit.control->hoverElem != hit.elem ||
                            old != hit.control)) {
            hit.control->hoverPart = hit.part;
            hit.control->hoverElem = hit.elem;
            Invalidate(hit.control);
        }
    }

    void Scroll(Ctl& list, int by) {
        int to = std::clamp(list.scroll + by, 0, win32::MaxScroll(list));
        if (to == list.scroll) return;
        list.scroll = to;
        Invalidate(&list);
    }

    void Click(Win& w, const Hit& hit) {
        WindowId window = w.id;
        if (hit.close) {
            PostMessageW(w.hwnd, WM_CLOSE, 0, 0);
            return;
        }
        Ctl* c = hit.control;
        if (!c) return;
        ControlId id = c->id;
        switch (c->design.kind) {
            case Kind::Button:
                Raise(window, EventKind::Click, id);
                break;
            case Kind::Radiobutton:
                // The radio buttons of one window form one group.
                for (auto& other : w.controls)
                    if (other->design.kind == Kind::Radiobutton && other.get() != c && other->value) {
                        other->value = 0;
                        Invalidate(other.get());
                    }
                c->value = 1;
                Invalidate(c);
                Raise(window, EventKind::Click, id);
                break;
            case Kind::Selectthefolder:
                if (hit.part >= 0 && hit.part != c->value) {
                    c->value = hit.part;
                    InvalidateAll(&w);
                    Raise(window, EventKind::PageChanged, id, hit.part);
                }
                break;
            case Kind::IcoListbox:
                if (hit.part < 0) break;
                if (hit.elem) {
                    ElemCallback callback = c->elemCallback;
                    if (callback) {
                        try {
                            callback(kElemClickCode, hit.part);
                        } catch (...) {
                        }
                    }
                } else {
                    Raise(window, EventKind::ItemChosen, id, hit.part);
                }
                break;
            default:
                break;
        }
    }

    LRESULT OnMouse(Win& w, UINT msg, WPARAM wp, LPARAM lp) {
        int x = static_cast<int>(static_cast<short>(LOWORD(lp)) / w.scale);
        int y = static_cast<int>(static_cast<short>(HIWORD(lp)) / w.scale);
        switch (msg) {
            case WM_MOUSEMOVE: {
                if (!w.tracking) {
                    TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, w.hwnd, 0};
                    w.tracking = TrackMouseEvent(&t);
                }
                if (w.dragList) {
                    Ctl& list = *w.dragList;
                    int view = list.rect.height, content = win32::ContentHeight(list);
                    int track = view - 8, length = std::max(40, track * view / std::max(1, content));
                    int movable = std::max(1, track - length);
                    int to = w.dragStartScroll + (y - w.dragStartY) * win32::MaxScroll(list) / movable;
                    Scroll(list, to - list.scroll);
                    return 0;
                }
                SetHover(w, HitTest(w, x, y));
                return 0;
            }
            case WM_MOUSELEAVE:
                w.tracking = false;
                SetHover(w, Hit{});
                return 0;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK: {
                Hit hit = HitTest(w, x, y);
                SetCapture(w.hwnd);
                w.pressed = hit.control;
                w.pressedPart = hit.part;
                w.pressedElem = hit.elem;
                w.closePressed = hit.close;
                if (hit.thumb && hit.control) {
                    w.dragList = hit.control;
                    w.dragStartY = y;
                    w.dragStartScroll = hit.control->scroll;
                }
                if (hit.control) Invalidate(hit.control);
                if (hit.close) InvalidateAll(&w);
                return 0;
            }
            case WM_LBUTTONUP: {
                ReleaseCapture();
                Hit hit = HitTest(w, x, y);
                bool same = !w.dragList && ((hit.close && w.closePressed) ||
                                            (hit.control && hit.control == w.pressed &&
                                             hit.part == w.pressedPart && hit.elem == w.pressedElem));
                Ctl* pressed = w.pressed;
                w.pressed = nullptr;
                w.dragList = nullptr;
                w.closePressed = false;
                if (pressed) Invalidate(pressed);
                if (same) Click(w, hit);  // `w` may be gone after this
                return 0;
            }
            default:
                return 0;
        }
    }

    void OnWheel(Win& w, WPARAM wp, LPARAM lp) {
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ScreenToClient(w.hwnd, &p);
        int x = static_cast<int>(p.x / w.scale), y = static_cast<int>(p.y / w.scale);
        for (auto it = w.controls.rbegin(); it != w.controls.rend(); ++it) {
            Ctl& c = **it;
            if (c.design.kind != Kind::IcoListbox || !win32::Shown(c) ||
                !Contains(win32::AbsoluteRect(c), x, y))
                continue;
            int delta = GET_WHEEL_DELTA_WPARAM(wp);
            Scroll(c, -delta * (win32::kItemHeight + win32::kItemGap) / 2 / WHEEL_DELTA);
            SetHover(w, HitTest(w, x, y));
            return;
        }
    }

    void OnCommand(Win& w, WPARAM wp, LPARAM lp) {
        UINT id = LOWORD(wp);
        UINT code = HIWORD(wp);
        if (id < kNativeIdBase) return;
        Ctl* c = FindCtl(static_cast<ControlId>(id - kNativeIdBase));
        if (!c || !c->native) return;
        if (c->design.kind == Kind::Editbox && code == EN_CHANGE) {
            int n = GetWindowTextLengthW(c->native);
            std::wstring text(static_cast<size_t>(n) + 1, L'\0');
            GetWindowTextW(c->native, text.data(), n + 1);
            text.resize(static_cast<size_t>(n));
            std::string narrow = win32::Narrow(text);
            if (narrow == c->text) return;  // set by the program itself
            c->text = narrow;
            Raise(w.id, EventKind::TextChanged, c->id);
        } else if (c->design.kind == Kind::Combobox && code == CBN_SELCHANGE) {
            int index = static_cast<int>(SendMessageW(c->native, CB_GETCURSEL, 0, 0));
            c->selection = index;
            Raise(w.id, EventKind::SelectionChanged, c->id, index);
        }
    }

    void OnNotify(Win& w, LPARAM lp) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (header->code != LVN_ITEMCHANGED || header->idFrom < kNativeIdBase) return;
        auto* change = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED))
            Raise(w.id, EventKind::RowChosen, static_cast<ControlId>(header->idFrom - kNativeIdBase),
                  change->iItem);
    }

    void AddTray(Win& w) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = w.hwnd;
        data.uID = 1;
        data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP | NIF_SHOWTIP;
        data.uCallbackMessage = kTrayMessage;
        data.hIcon = win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON));
        std::wstring tip = Wide(w.trayTip);
        wcsncpy(data.szTip, tip.c_str(), ARRAYSIZE(data.szTip) - 1);
        Shell_NotifyIconW(NIM_ADD, &data);
        data.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &data);
    }

    void RemoveTray(Win& w) {
        if (!w.tray) return;
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = w.hwnd;
        data.uID = 1;
        Shell_NotifyIconW(NIM_DELETE, &data);
        w.tray = false;
    }

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        Win* w = WinOf(hwnd);
        if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
        if (taskbarCreated && msg == taskbarCreated) {
            // Explorer restarted: the icon has to be put back.
            if (w->tray) AddTray(*w);
            return 0;
        }
        switch (msg) {
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                RECT client;
                GetClientRect(hwnd, &client);
                int width = std::max<LONG>(1, client.right), height = std::max<LONG>(1, client.bottom);
                HDC memory = CreateCompatibleDC(dc);
                HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
                HGDIOBJ old = SelectObject(memory, bitmap);
                win32::PaintWindow(*w, memory, ps.rcPaint);
                BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                       ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
                SelectObject(memory, old);
                DeleteObject(bitmap);
                DeleteDC(memory);
                EndPaint(hwnd, &ps);
                return 0;
            }
            case WM_ERASEBKGND:
                return 1;
            case WM_NCHITTEST: {
                POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
                ScreenToClient(hwnd, &p);
                int x = static_cast<int>(p.x / w->scale), y = static_cast<int>(p.y / w->scale);
                Hit hit = HitTest(*w, x, y);
                if (y < win32::DragBandHeight(*w) && !hit.control && !hit.close) return HTCAPTION;
                return HTCLIENT;
            }
            case WM_SETCURSOR:
                if (LOWORD(lp) == HTCLIENT && w->hover &&
                    (w->hover->design.kind != Kind::IcoListbox || w->hover->hoverPart >= 0)) {
                    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
                    return TRUE;
                }
                break;
            case WM_MOUSEMOVE:
            case WM_MOUSELEAVE:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
            case WM_LBUTTONUP:
                return OnMouse(*w, msg, wp, lp);
            case WM_MOUSEWHEEL:
                OnWheel(*w, wp, lp);
                return 0;
            case WM_COMMAND:
                OnCommand(*w, wp, lp);
                return 0;
            case WM_NOTIFY:
                OnNotify(*w, lp);
                return 0;
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORSTATIC: {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetBkColor(dc, RGB(255, 255, 255));
                SetTextColor(dc, RGB(31, 41, 55));
                return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
            }
            case WM_TIMER: {
                UINT_PTR id = wp;
                if (id == kTrayMenuTimer) {
                    KillTimer(hwnd, id);
                    PostMessageW(hwnd, kTrayMenuLater, 0, 0);
                } else if (id >= kAnimationBase) {
                    Ctl* c = FindCtl(static_cast<ControlId>(id - kAnimationBase));
                    auto* picture = c ? (c->picture ? c->picture.get() : c->image.get()) : nullptr;
                    if (!picture || picture->frames.size() < 2) {
                        KillTimer(hwnd, id);
                        return 0;
                    }
                    picture->frame = (picture->frame + 1) % picture->frames.size();
                    SetTimer(hwnd, id, picture->delays[picture->frame], nullptr);
                    Rect r = win32::AbsoluteRect(*c);
                    if (r.left + r.width > 0 && r.left < w->design.width) Invalidate(c);
                } else if (id >= kTimerBase) {
                    Raise(w->id, EventKind::Tick, static_cast<ControlId>(id - kTimerBase));
                }
                return 0;
            }
            case kTrayMessage: {
                int kind = 0;
                UINT event = LOWORD(lp);
                switch (event) {
                    case WM_LBUTTONUP:
                        kind = 1;
                        break;
                    case WM_LBUTTONDBLCLK:
                        kind = 2;
                        break;
                    // Windows follows a right-button release with WM_CONTEXTMENU; Wine sends only
                    // the release, and the menu key sends only WM_CONTEXTMENU. One menu per press.
                    case WM_RBUTTONUP:
                        kind = 3;
                        break;
                    case WM_CONTEXTMENU:
                        if (!inTrayMenu && GetTickCount() - lastTrayButtonUp > 1000) kind = 3;
                        break;
                    default:
                        break;
                }
                if (kind == 3 && inTrayMenu) kind = 0;
                if (kind == 3 && event == WM_RBUTTONUP) {
                    // The button release is still on its way through the input queues; a menu
                    // opened now is closed by it again under Wine. Open it once that has passed.
                    lastTrayButtonUp = GetTickCount();
                    SetTimer(hwnd, kTrayMenuTimer, 150, nullptr);
                    return 0;
                }
                if (kind) {
                    WindowId id = w->id;
                    bool nested = inTrayMenu;
                    inTrayMenu = kind == 3 || inTrayMenu;
                    Raise(id, EventKind::Tray, 0, kind);
                    inTrayMenu = nested;
                    if (event == WM_RBUTTONUP) lastTrayButtonUp = GetTickCount();
                }
                return 0;
            }
            case kTrayMenuLater: {
                if (inTrayMenu) return 0;
                WindowId id = w->id;
                inTrayMenu = true;
                Raise(id, EventKind::Tray, 0, 3);
                inTrayMenu = false;
                lastTrayButtonUp = GetTickCount();
                return 0;
            }
            case WM_CLOSE: {
                WindowId id = w->id;
                if (Raise(id, EventKind::CloseRequested))
                    if (Win* still = FindWin(id)) ::DestroyWindow(still->hwnd);
                return 0;
            }
            case WM_DESTROY: {
                WindowId id = w->id;
                Raise(id, EventKind::Destroying);
                if (Win* still = FindWin(id)) RemoveTray(*still);
                return 0;
            }
            case WM_NCDESTROY: {
                WindowId id = w->id;
                for (auto& c : w->controls) controls.erase(c->id);
                if (w->font) DeleteObject(w->font);
                windows.erase(id);
                return DefWindowProcW(hwnd, msg, wp, lp);
            }
            case WM_DPICHANGED: {
                w->scale = HIWORD(wp) / 96.0;
                auto* suggested = reinterpret_cast<RECT*>(lp);
                SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, Px(w->design.width, w->scale),
                             Px(w->design.height, w->scale), SWP_NOZORDER | SWP_NOACTIVATE);
                MakeFont(*w);
                for (auto& c : w->controls) PlaceNative(*w, *c);
                InvalidateAll(w);
                return 0;
            }
            case WM_GETMINMAXINFO:
                break;
            default:
                break;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
};

namespace {

Win32Engine::State* g_state = nullptr;

LRESULT CALLBACK SkinWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!g_state) return DefWindowProcW(hwnd, msg, wp, lp);
    return g_state->WindowProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK CallWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kRunCall) {
        try {
            (*reinterpret_cast<std::function<void()>*>(lp))();
        } catch (...) {
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Renames the OK button of the message box about to appear on this thread.
thread_local std::wstring t_buttonCaption;
thread_local HHOOK t_hook = nullptr;

LRESULT CALLBACK MessageBoxHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        SetDlgItemTextW(reinterpret_cast<HWND>(wp), IDOK, t_buttonCaption.c_str());
        UnhookWindowsHookEx(t_hook);
        t_hook = nullptr;
        return 0;
    }
    return CallNextHookEx(t_hook, code, wp, lp);
}

}  // namespace

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

Win32Engine::Win32Engine() : state_(std::make_unique<State>()) {
    State& s = *state_;
    g_state = &s;
    s.uiThread = GetCurrentThreadId();
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&s.gdiplusToken, &input, nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_DROPSHADOW;
    wc.lpfnWndProc = SkinWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hIcon = win32::ProgramIcon(GetSystemMetrics(SM_CXICON));
    wc.hIconSm = win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON));
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW cc{};
    cc.cbSize = sizeof cc;
    cc.lpfnWndProc = CallWindowProc;
    cc.hInstance = instance;
    cc.lpszClassName = kCallClass;
    RegisterClassExW(&cc);
    s.callWindow =
        CreateWindowExW(0, kCallClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    s.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

Win32Engine::~Win32Engine() {
    State& s = *state_;
    std::vector<HWND> open;
    for (auto& [id, w] : s.windows) open.push_back(w->hwnd);
    for (HWND h : open) ::DestroyWindow(h);
    if (s.callWindow) ::DestroyWindow(s.callWindow);
    s.images.clear();
    g_state = nullptr;
    // Pictures cached for the process stay alive, so GDI+ stays up with them.
}

WindowId Win32Engine::CreateWindowFrom(const WindowDesign& design, EventHandler handler) {
    return state_->OnUi([&]() -> WindowId {
        State& s = *state_;
        auto owned = std::make_unique<Win>();
        Win& w = *owned;
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
        w.hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, Wide(design.title).c_str(),
                                 WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, x, y, cx, cy,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!w.hwnd) {
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
        s.StartAnimations(w);
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
        if (!c) return;
        Win* w = s.FindWin(c->window);
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
                if (attribute == attr::kLeft) c->rect.left = value;
                if (attribute == attr::kTop) c->rect.top = value;
                if (attribute == attr::kWidth) c->rect.width = value;
                if (attribute == attr::kHeight) c->rect.height = value;
                if (attribute == attr::kVisible) c->visible = value != 0;
                if (container) {
                    s.InvalidateAll(w);
                } else {
                    s.Invalidate(c);
                }
                s.PlaceNative(*w, *c);
                break;
            }
            case attr::kValue:
                if (c->design.kind == Kind::Selectthefolder) {
                    if (value < 0 || value >= static_cast<int>(c->pages.size())) return;
                    c->value = value;
                    s.InvalidateAll(w);
                    return;
                }
                if (c->design.kind == Kind::Radiobutton && value)
                    for (auto& other : w->controls)
                        if (other->design.kind == Kind::Radiobutton && other.get() != c && other->value) {
                            other->value = 0;
                            s.Invalidate(other.get());
                        }
                c->value = value;
                s.Invalidate(c);
                break;
            case attr::kCurrentSelection:
                c->selection = value;
                if (c->native) SendMessageW(c->native, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
                break;
            case attr::kInterval:
                c->interval = std::max(0, value);
                if (c->interval > 0)
                    SetTimer(w->hwnd, kTimerBase + c->id, static_cast<UINT>(c->interval), nullptr);
                else
                    KillTimer(w->hwnd, kTimerBase + c->id);
                break;
            default:
                break;
        }
    });
}

int Win32Engine::GetInt(ControlId control, int attribute) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        if (!c) return 0;
        switch (attribute) {
            case attr::kLeft:
                return c->rect.left;
            case attr::kTop:
                return c->rect.top;
            case attr::kWidth:
                return c->rect.width;
            case attr::kHeight:
                return c->rect.height;
            case attr::kVisible:
                return c->visible ? 1 : 0;
            case attr::kValue:
                return c->value;
            case attr::kCurrentSelection:
                return c->native ? static_cast<int>(SendMessageW(c->native, CB_GETCURSEL, 0, 0))
                                 : c->selection;
            case attr::kInterval:
                return c->interval;
            default:
                return 0;
        }
    });
}

void Win32Engine::SetText(ControlId control, int attribute, const std::string& text) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(control);
        if (!c) return;
        if (attribute == attr::kText &&
            (c->design.kind == Kind::Editbox || c->design.kind == Kind::Combobox)) {
            // The program's own writes are not the user's typing: no change event for them.
            c->text = text;
            if (c->native) SetWindowTextW(c->native, Wide(text).c_str());
            return;
        }
        c->caption = text;
        s.Invalidate(c);
    });
}

std::string Win32Engine::GetText(ControlId control, int attribute) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        if (!c) return std::string();
        return attribute == attr::kText ? c->text : c->caption;
    });
}

void Win32Engine::SetPicture(ControlId control, const std::string& bytes) {
    // Decoding is slow for big pictures; it runs on the caller's thread, only the swap on the UI thread.
    std::shared_ptr<win32::Picture> picture = bytes.empty() ? nullptr : win32::DecodePicture(bytes);
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(control);
        if (!c) return;
        Win* w = s.FindWin(c->window);
        c->picture = picture;
        if (w) {
            KillTimer(w->hwnd, kAnimationBase + c->id);
            if (picture && picture->frames.size() > 1)
                SetTimer(w->hwnd, kAnimationBase + c->id, picture->delays[0], nullptr);
        }
        s.Invalidate(c);
    });
}

void Win32Engine::MsgBox(const std::string& title, const std::string& text, const std::string& button,
                         WindowId owner) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(owner);
        HWND ownerWindow = w ? w->hwnd : nullptr;
        if (!button.empty()) {
            t_buttonCaption = Wide(button);
            t_hook = SetWindowsHookExW(WH_CBT, MessageBoxHook, nullptr, GetCurrentThreadId());
        }
        MessageBoxW(ownerWindow, Wide(text).c_str(), Wide(title).c_str(),
                    MB_OK | (ownerWindow ? 0 : MB_TOPMOST));
        if (t_hook) {
            UnhookWindowsHookEx(t_hook);
            t_hook = nullptr;
        }
    });
}

void Win32Engine::AddTrayIcon(WindowId window, const std::string& tooltip) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        if (!w) return;
        state_->RemoveTray(*w);
        w->trayTip = tooltip;
        w->tray = true;
        state_->AddTray(*w);
    });
}

void Win32Engine::RemoveTrayIcon(WindowId window) {
    state_->OnUi([&] {
        if (Win* w = state_->FindWin(window)) state_->RemoveTray(*w);
    });
}

bool Win32Engine::HasTrayIcon(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w && w->tray;
    });
}

void Win32Engine::PopupTrayMenu(ControlId menu, int dx, int dy) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindKind(menu, Kind::Menu);
        if (!c) return;
        Win* w = s.FindWin(c->window);
        if (!w) return;
        HMENU popup = CreatePopupMenu();
        for (size_t i = 0; i < c->design.items.size(); ++i) {
            if (c->design.items[i] == "-")
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(popup, MF_STRING, i + 1, Wide(c->design.items[i]).c_str());
        }
        POINT cursor;
        GetCursorPos(&cursor);
        HWND owner = w->hwnd;
        WindowId window = w->id;
        ControlId id = c->id;
        // A notification-area menu closes when the user clicks elsewhere only if its owner is
        // in front, and needs the null message after it to close properly.
        SetForegroundWindow(owner);
        int chosen = TrackPopupMenu(
            popup, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
            cursor.x - dx, cursor.y - dy, 0, owner, nullptr);
        PostMessageW(owner, WM_NULL, 0, 0);
        DestroyMenu(popup);
        if (chosen > 0) s.Raise(window, EventKind::MenuChosen, id, chosen - 1);
    });
}

ImageId Win32Engine::LoadImageEx(const std::string& bytes, int width, int height) {
    // Decoding and scaling run on the caller's thread; GDI+ objects are not tied to a thread.
    auto picture = win32::DecodePicture(bytes);
    if (!picture) return 0;
    Gdiplus::Bitmap* source = picture->Current();
    auto bitmap = (width > 0 && height > 0) ? win32::ScaledCopy(source, width, height) : picture->frames[0];
    if (!bitmap) return 0;
    return state_->OnUi([&] {
        ImageId id = state_->nextImage++;
        state_->images[id] = bitmap;
        return id;
    });
}

void Win32Engine::DestroyImage(ImageId image) {
    state_->OnUi([&] { state_->images.erase(image); });
}

void Win32Engine::InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindKind(list, Kind::IcoListbox);
        if (!c) return;
        win32::Item item;
        auto it = s.images.find(image);
        if (it != s.images.end()) item.image = it->second;  // shared: images never change once made
        item.title = title;
        if (position < 0 || position >= static_cast<int>(c->items.size()))
            c->items.push_back(std::move(item));
        else
            c->items.insert(c->items.begin() + position, std::move(item));
        s.Invalidate(c);
    });
}

void Win32Engine::DeleteIcoItem(ControlId list, int position) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindKind(list, Kind::IcoListbox);
        if (!c) return;
        if (position < 0)
            c->items.clear();
        else if (position < static_cast<int>(c->items.size()))
            c->items.erase(c->items.begin() + position);
        c->scroll = std::min(c->scroll, win32::MaxScroll(*c));
        c->hoverPart = -1;
        s.Invalidate(c);
    });
}

int Win32Engine::IcoItemCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        return c ? static_cast<int>(c->items.size()) : 0;
    });
}

std::string Win32Engine::IcoItemTitle(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        if (!c || position < 0 || position >= static_cast<int>(c->items.size())) return std::string();
        return c->items[position].title;
    });
}

bool Win32Engine::IcoItemHasImage(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        return c && position >= 0 && position < static_cast<int>(c->items.size()) &&
               c->items[position].image != nullptr;
    });
}

int Win32Engine::ElemCount(ControlId list, int elemKind) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? c->elemCount[elemKind] : 0;
    });
}

void Win32Engine::InsertElem(ControlId list, int elemKind) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindCtl(list)) ++c->elemCount[elemKind];
    });
}

void Win32Engine::SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (!c || c->elemCount[elemKind] == 0 || elemKind != 1) return;
        c->elemCallback = std::move(callback);
        c->elemRect = rect;
        c->hasElemAttribute = true;
        state_->Invalidate(c);
    });
}

void Win32Engine::SetElemImageData(ControlId list, int elemKind, int item, ImageId image) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindKind(list, Kind::IcoListbox);
        if (!c || item < 0 || item >= static_cast<int>(c->items.size())) return;
        auto it = s.images.find(image);
        c->items[item].elem[elemKind] = it == s.images.end() ? nullptr : it->second;
        s.Invalidate(c);
    });
}

bool Win32Engine::ElemHasImage(ControlId list, int elemKind, int item) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        if (!c || item < 0 || item >= static_cast<int>(c->items.size())) return false;
        auto it = c->items[item].elem.find(elemKind);
        return it != c->items[item].elem.end() && it->second != nullptr;
    });
}

void Win32Engine::LockUpdate(ControlId control) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindCtl(control)) ++c->lockDepth;
    });
}

void Win32Engine::UnlockUpdate(ControlId control) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        if (c && c->lockDepth > 0 && --c->lockDepth == 0) state_->Invalidate(c);
    });
}

void Win32Engine::InsertColumn(ControlId list, int position, const std::string& title, int width) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindKind(list, Kind::SuperListbox);
        if (!c) return;
        int at = (position < 0 || position > static_cast<int>(c->columns.size()))
                     ? static_cast<int>(c->columns.size())
                     : position;
        c->columns.insert(c->columns.begin() + at, {title, width});
        for (auto& row : c->rows)
            if (static_cast<int>(row.size()) > at) row.insert(row.begin() + at, std::string());
        if (c->native) {
            Win* w = s.FindWin(c->window);
            std::wstring text = Wide(title);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = text.data();
            column.cx = Px(width, w ? w->scale : 1.0);
            SendMessageW(c->native, LVM_INSERTCOLUMNW, at, reinterpret_cast<LPARAM>(&column));
        }
    });
}

int Win32Engine::ColumnCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        return c ? static_cast<int>(c->columns.size()) : 0;
    });
}

int Win32Engine::InsertRow(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        if (!c) return -1;
        int at = (position < 0 || position > static_cast<int>(c->rows.size()))
                     ? static_cast<int>(c->rows.size())
                     : position;
        c->rows.insert(c->rows.begin() + at, std::vector<std::string>{});
        if (c->native) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = at;
            item.pszText = const_cast<wchar_t*>(L"");
            SendMessageW(c->native, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        return at;
    });
}

void Win32Engine::DeleteRow(ControlId list, int position) {
    state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        if (!c) return;
        if (position < 0) {
            c->rows.clear();
            if (c->native) SendMessageW(c->native, LVM_DELETEALLITEMS, 0, 0);
        } else if (position < static_cast<int>(c->rows.size())) {
            c->rows.erase(c->rows.begin() + position);
            if (c->native) SendMessageW(c->native, LVM_DELETEITEM, position, 0);
        }
    });
}

int Win32Engine::RowCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        return c ? static_cast<int>(c->rows.size()) : 0;
    });
}

void Win32Engine::SetCell(ControlId list, int row, int column, const std::string& text) {
    state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return;
        auto& cells = c->rows[row];
        if (static_cast<int>(cells.size()) <= column) cells.resize(column + 1);
        cells[column] = text;
        if (c->native) {
            std::wstring wide = Wide(text);
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = wide.data();
            SendMessageW(c->native, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
    });
}

std::string Win32Engine::GetCell(ControlId list, int row, int column) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::SuperListbox);
        if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return std::string();
        const auto& cells = c->rows[row];
        return column < static_cast<int>(cells.size()) ? cells[column] : std::string();
    });
}

void Win32Engine::SetTabData(ControlId tabs, int page, uint32_t value) {
    state_->OnUi([&] {
        Ctl* c = state_->FindKind(tabs, Kind::Selectthefolder);
        if (c && page >= 0 && page < static_cast<int>(c->pages.size())) c->tabData[page] = value;
    });
}

uint32_t Win32Engine::GetTabData(ControlId tabs, int page) {
    return state_->OnUi([&]() -> uint32_t {
        Ctl* c = state_->FindKind(tabs, Kind::Selectthefolder);
        if (!c) return 0;
        auto it = c->tabData.find(page);
        return it == c->tabData.end() ? 0 : it->second;
    });
}

void* Win32Engine::NativeWindow(WindowId window) {
    return state_->OnUi([&]() -> void* {
        Win* w = state_->FindWin(window);
        return w ? w->hwnd : nullptr;
    });
}

Rect Win32Engine::IcoItemRect(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        if (!c || position < 0 || position >= static_cast<int>(c->items.size())) return Rect{};
        Rect base = win32::AbsoluteRect(*c);
        Rect r = win32::ItemRect(*c, position);
        r.left += base.left;
        r.top += base.top;
        return r;
    });
}

Rect Win32Engine::TabHeaderRect(ControlId tabs, int page) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(tabs, Kind::Selectthefolder);
        if (!c || page < 0 || page >= static_cast<int>(c->pages.size())) return Rect{};
        Rect r = win32::TabHeader(*c, page);
        r.left += c->rect.left;
        r.top += c->rect.top;
        return r;
    });
}

double Win32Engine::WindowScale(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w ? w->scale : 1.0;
    });
}

}  // namespace ui
