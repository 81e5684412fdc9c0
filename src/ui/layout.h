// Where the parts of a skinned window sit, in design pixels, and what the mouse is over.
// Portable: the Win32 engine draws and hit-tests with it, the native tests check it.
#pragma once

#include <vector>

#include "ui/control_model.h"

namespace ui::layout {

bool Contains(const Rect& r, int x, int y);

// The control's rectangle in its window (a page is placed inside its container).
Rect AbsoluteRect(const ControlModel& c);
// Whether the control is drawn at all: visible, and on the current page of a visible container.
bool Shown(const ControlModel& c);

// Icon lists: cards in centred columns, scrolled by `scroll`.
constexpr int kItemWidth = 296;
constexpr int kItemHeight = 156;
constexpr int kItemGap = 16;
// The item's card relative to the list, scrolling applied.
Rect ItemRect(const ControlModel& list, int index);
int ContentHeight(const ControlModel& list);
int MaxScroll(const ControlModel& list);
// The scroll bar thumb relative to the list; empty when everything fits.
Rect ThumbRect(const ControlModel& list);
// The scroll position after the thumb, grabbed at `startScroll`, was dragged `dy` pixels.
int ScrollAfterThumbDrag(const ControlModel& list, int startScroll, int dy);
// How far one wheel notch (120) scrolls.
int WheelStep(int delta);

// Tab containers: a strip of page headers above the pages.
constexpr int kTabStripHeight = 57;
Rect TabHeader(int page);  // relative to the container

// The skin's own close box, when the window has one (empty otherwise).
Rect CloseBoxRect(const WindowDesign& w);
// The band at the top that drags the window.
int DragBandHeight(const WindowDesign& w);

struct Hit {
    ControlModel* control = nullptr;
    int part = -1;       // item of an icon list, page of a tab strip
    int elemKind = -1;   // the item-button element under the mouse, -1 for none
    bool thumb = false;  // an icon list's scroll bar
    bool close = false;  // the skin's close box
};

// What a click at (x, y) would reach: the topmost shown control that answers the mouse
// (buttons, radio buttons, tab headers, icon lists), later controls lying above earlier ones.
Hit HitTest(const WindowDesign& w, const std::vector<ControlModel*>& controls, int x, int y);

}  // namespace ui::layout
