// The Win32 engine and the mouse: hover, press, click, the wheel and the drag band.
#include <algorithm>

#include "ui/win32_internal.h"

namespace ui {

using win32::Ctl;
using win32::Win;

namespace {

// Design coordinates of a client-area point.
POINT DesignPoint(const Win& w, int x, int y) {
    return POINT{static_cast<LONG>(x / w.scale), static_cast<LONG>(y / w.scale)};
}

POINT ScreenToDesign(const Win& w, LPARAM lp) {
    POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    ScreenToClient(w.hwnd, &p);
    return DesignPoint(w, p.x, p.y);
}

layout::Hit HitAt(Win& w, POINT p) { return layout::HitTest(w.design, w.models, p.x, p.y); }

Ctl* CtlOf(const layout::Hit& hit) { return static_cast<Ctl*>(hit.control); }

}  // namespace

void Win32Engine::State::Scroll(Ctl& list, int by) {
    int to = std::clamp(list.scroll + by, 0, layout::MaxScroll(list));
    if (to == list.scroll) return;
    list.scroll = to;
    Invalidate(&list);
}

namespace {

void SetHover(Win32Engine::State& s, Win& w, const layout::Hit& hit) {
    if (hit.close != w.closeHover) {
        w.closeHover = hit.close;
        RECT r = s.PhysicalRect(w, layout::CloseBoxRect(w.design));
        InvalidateRect(w.hwnd, &r, FALSE);
    }
    Ctl* now = CtlOf(hit);
    bool elem = hit.elemKind >= 0;
    Ctl* old = w.hover;
    if (old && (old != now || old->hoverPart != hit.part || old->hoverElem != elem)) {
        old->hoverPart = -1;
        old->hoverElem = false;
        s.Invalidate(old);
    }
    w.hover = now;
    if (now && (now->hoverPart != hit.part || now->hoverElem != elem || old != now)) {
        now->hoverPart = hit.part;
        now->hoverElem = elem;
        s.Invalidate(now);
    }
}

void Click(Win32Engine::State& s, Win& w, const layout::Hit& hit) {
    WindowId window = w.id;
    if (hit.close) {
        PostMessageW(w.hwnd, WM_CLOSE, 0, 0);
        return;
    }
    Ctl* c = CtlOf(hit);
    if (!c) return;
    ControlId id = c->id;
    switch (c->kind()) {
        case Kind::Button:
            s.Raise(window, EventKind::Click, id);
            break;
        case Kind::Radiobutton:
            for (ControlModel* changed : SelectRadio(w.models, *c)) s.Invalidate(static_cast<Ctl*>(changed));
            s.Raise(window, EventKind::Click, id);
            break;
        case Kind::Checkbox:
            c->value = c->value ? 0 : 1;
            s.Invalidate(c);
            s.Raise(window, EventKind::Click, id);
            break;
        case Kind::Selectthefolder:
            if (hit.part >= 0 && hit.part != c->value && c->SetInt(attr::kValue, hit.part)) {
                s.InvalidateAll(&w);
                s.Raise(window, EventKind::PageChanged, id, hit.part);
            }
            break;
        case Kind::IcoListbox:
            if (hit.part < 0) break;
            if (hit.elemKind >= 0) {
                ElemCallback callback = c->elems[hit.elemKind].callback;
                if (callback) {
                    try {
                        callback(kElemClickCode, hit.part);
                    } catch (...) {
                        // No exception may leave a window procedure.
                    }
                }
            } else {
                s.Raise(window, EventKind::ItemChosen, id, hit.part);
            }
            break;
        default:
            break;
    }
}

}  // namespace

LRESULT Win32Engine::State::OnMouse(Win& w, UINT msg, LPARAM lp) {
    POINT p = DesignPoint(w, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    switch (msg) {
        case WM_MOUSEMOVE: {
            if (!w.tracking) {
                TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, w.hwnd, 0};
                w.tracking = TrackMouseEvent(&t);
            }
            if (w.dragList) {
                Ctl& list = *w.dragList;
                Scroll(list, layout::ScrollAfterThumbDrag(list, w.dragStartScroll, p.y - w.dragStartY) -
                                 list.scroll);
                return 0;
            }
            SetHover(*this, w, HitAt(w, p));
            return 0;
        }
        case WM_MOUSELEAVE:
            w.tracking = false;
            SetHover(*this, w, layout::Hit{});
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            layout::Hit hit = HitAt(w, p);
            SetCapture(w.hwnd);
            w.pressed = CtlOf(hit);
            w.pressedPart = hit.part;
            w.pressedElem = hit.elemKind;
            w.closePressed = hit.close;
            if (hit.thumb && hit.control) {
                w.dragList = CtlOf(hit);
                w.dragStartY = p.y;
                w.dragStartScroll = hit.control->scroll;
            }
            if (hit.control) Invalidate(CtlOf(hit));
            if (hit.close) InvalidateAll(&w);
            return 0;
        }
        case WM_LBUTTONUP: {
            ReleaseCapture();
            layout::Hit hit = HitAt(w, p);
            bool same = !w.dragList && ((hit.close && w.closePressed) ||
                                        (hit.control && hit.control == w.pressed &&
                                         hit.part == w.pressedPart && hit.elemKind == w.pressedElem));
            Ctl* pressed = w.pressed;
            w.pressed = nullptr;
            w.dragList = nullptr;
            w.closePressed = false;
            if (pressed) Invalidate(pressed);
            if (same) Click(*this, w, hit);  // `w` may be gone after this
            return 0;
        }
        default:
            return 0;
    }
}

void Win32Engine::State::OnWheel(Win& w, WPARAM wp, LPARAM lp) {
    POINT p = ScreenToDesign(w, lp);
    for (auto it = w.controls.rbegin(); it != w.controls.rend(); ++it) {
        Ctl& c = **it;
        if (c.kind() != Kind::IcoListbox || !layout::Shown(c) ||
            !layout::Contains(layout::AbsoluteRect(c), p.x, p.y))
            continue;
        Scroll(c, layout::WheelStep(GET_WHEEL_DELTA_WPARAM(wp)));
        SetHover(*this, w, HitAt(w, p));
        return;
    }
}

LRESULT Win32Engine::State::OnHitTest(Win& w, LPARAM lp) {
    POINT p = ScreenToDesign(w, lp);
    layout::Hit hit = HitAt(w, p);
    // The top band drags the window wherever no control answers the mouse.
    if (p.y < layout::DragBandHeight(w.design) && !hit.control && !hit.close) return HTCAPTION;
    return HTCLIENT;
}

bool Win32Engine::State::OnSetCursor(Win& w, LPARAM lp) {
    if (LOWORD(lp) != HTCLIENT || !w.hover) return false;
    if (w.hover->kind() == Kind::IcoListbox && w.hover->hoverPart < 0) return false;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
    return true;
}

}  // namespace ui
