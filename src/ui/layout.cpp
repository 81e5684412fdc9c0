#include "ui/layout.h"

#include <algorithm>

namespace ui::layout {
namespace {

int Columns(const ControlModel& list) {
    return std::max(1, (list.rect.width - kItemGap) / (kItemWidth + kItemGap));
}

// Scroll bar track: 4 pixels of margin at each end; the thumb is never shorter than 40.
int TrackLength(const ControlModel& list) { return list.rect.height - 8; }
int ThumbLength(const ControlModel& list) {
    return std::max(40, TrackLength(list) * list.rect.height / std::max(1, ContentHeight(list)));
}

bool AnswersMouse(const ControlModel& c) {
    switch (c.kind()) {
        case Kind::Button:
        case Kind::Radiobutton:
        case Kind::Checkbox:
        case Kind::Selectthefolder:
        case Kind::IcoListbox:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool Contains(const Rect& r, int x, int y) {
    return x >= r.left && y >= r.top && x < r.left + r.width && y < r.top + r.height;
}

Rect AbsoluteRect(const ControlModel& c) {
    Rect r = c.rect;
    if (c.container) {
        r.left += c.container->rect.left;
        r.top += c.container->rect.top;
    }
    return r;
}

bool Shown(const ControlModel& c) {
    if (!c.visible) return false;
    if (!c.container) return true;
    if (!c.container->visible) return false;
    const auto& pages = c.container->pages;
    int index = static_cast<int>(std::find(pages.begin(), pages.end(), &c) - pages.begin());
    return index == c.container->value;
}

Rect ItemRect(const ControlModel& list, int index) {
    int cols = Columns(list);
    int used = cols * kItemWidth + (cols - 1) * kItemGap;
    int margin = std::max(0, (list.rect.width - used) / 2);
    int col = index % cols, row = index / cols;
    return Rect{margin + col * (kItemWidth + kItemGap), 8 + row * (kItemHeight + kItemGap) - list.scroll,
                kItemWidth, kItemHeight};
}

int ContentHeight(const ControlModel& list) {
    int rows = (list.ItemCount() + Columns(list) - 1) / Columns(list);
    return rows == 0 ? 0 : 8 + rows * (kItemHeight + kItemGap);
}

int MaxScroll(const ControlModel& list) { return std::max(0, ContentHeight(list) - list.rect.height); }

Rect ThumbRect(const ControlModel& list) {
    int content = ContentHeight(list), view = list.rect.height;
    if (content <= view || view <= 0) return {};
    int length = ThumbLength(list);
    int top = 4 + (TrackLength(list) - length) * list.scroll / std::max(1, MaxScroll(list));
    return Rect{list.rect.width - 8, top, 6, length};
}

int ScrollAfterThumbDrag(const ControlModel& list, int startScroll, int dy) {
    int movable = std::max(1, TrackLength(list) - ThumbLength(list));
    return std::clamp(startScroll + dy * MaxScroll(list) / movable, 0, MaxScroll(list));
}

int WheelStep(int delta) { return -delta * (kItemHeight + kItemGap) / 2 / 120; }

Rect TabHeader(int page) {
    constexpr int kHeaderWidth = 88;
    return Rect{16 + page * kHeaderWidth, 6, kHeaderWidth, kTabStripHeight - 10};
}

Rect CloseBoxRect(const WindowDesign& w) {
    if (!w.skinCloseBox) return {};
    return Rect{w.width - 38, 6, 32, 28};
}

int DragBandHeight(const WindowDesign& w) { return w.role == WindowRole::Main ? 60 : 44; }

Hit HitTest(const WindowDesign& w, const std::vector<ControlModel*>& controls, int x, int y) {
    Hit hit;
    if (Contains(CloseBoxRect(w), x, y)) {
        hit.close = true;
        return hit;
    }
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        ControlModel& c = **it;
        if (!AnswersMouse(c) || !Shown(c)) continue;
        Rect r = AbsoluteRect(c);
        if (!Contains(r, x, y)) continue;
        int lx = x - r.left, ly = y - r.top;
        if (c.kind() == Kind::Selectthefolder) {
            if (ly >= kTabStripHeight) continue;  // the page area belongs to the pages
            for (int i = 0; i < static_cast<int>(c.pages.size()); ++i)
                if (Contains(TabHeader(i), lx, ly)) hit.part = i;
            if (hit.part < 0) continue;
        } else if (c.kind() == Kind::IcoListbox) {
            Rect thumb = ThumbRect(c);
            if (thumb.height > 0 && lx >= thumb.left - 4) {
                hit.thumb = true;
            } else {
                for (int i = 0; i < c.ItemCount(); ++i) {
                    Rect ir = ItemRect(c, i);
                    if (!Contains(ir, lx, ly)) continue;
                    hit.part = i;
                    // Elements of a higher kind lie above those of a lower one.
                    for (auto e = c.elems.rbegin(); e != c.elems.rend(); ++e)
                        if (e->second.hasAttribute && c.ElemHasImage(e->first, i) &&
                            Contains(e->second.rect, lx - ir.left, ly - ir.top)) {
                            hit.elemKind = e->first;
                            break;
                        }
                    break;
                }
            }
        }
        hit.control = &c;
        return hit;
    }
    return hit;
}

}  // namespace ui::layout
