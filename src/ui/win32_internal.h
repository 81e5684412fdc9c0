// Inside the Win32 engine: the control model of a window, pictures, drawing and layout.
// Everything here is touched on the UI thread only.
#pragma once

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/engine.h"

namespace ui::win32 {

// A decoded picture; an animated GIF keeps every frame, already composed.
struct Picture {
    std::vector<std::shared_ptr<Gdiplus::Bitmap>> frames;
    std::vector<UINT> delays;  // milliseconds per frame
    UINT frame = 0;
    Gdiplus::Bitmap* Current() const { return frames.empty() ? nullptr : frames[frame].get(); }
};

// Decodes image bytes (PNG, JPEG, GIF, BMP); null when they are no picture.
std::shared_ptr<Picture> DecodePicture(const std::string& bytes);
// The picture scaled to exactly width x height; null for a null source.
std::shared_ptr<Gdiplus::Bitmap> ScaledCopy(Gdiplus::Bitmap* source, int width, int height);
// A picture built into the exe as an RCDATA resource named like `name` in upper case; null
// when there is none. Cached for the life of the process.
std::shared_ptr<Picture> ResourcePicture(const std::string& name);
// The program icon (resource 1), at the given size.
HICON ProgramIcon(int size);

std::wstring Wide(const std::string& gbk);
std::string Narrow(const std::wstring& wide);

struct Item {
    std::shared_ptr<Gdiplus::Bitmap> image;
    std::string title;
    std::map<int, std::shared_ptr<Gdiplus::Bitmap>> elem;
};

struct Ctl {
    ControlId id = 0;
    WindowId window = 0;
    ControlDesign design;
    Ctl* parent = nullptr;  // the tab container of a page
    std::vector<Ctl*> pages;
    Rect rect;
    bool visible = true;
    std::string caption;
    std::string text;
    int value = 0;
    int selection = -1;
    int interval = 0;
    std::shared_ptr<Picture> picture;
    std::shared_ptr<Picture> image;    // the design image
    std::shared_ptr<Picture> imageOn;  // the design image when selected
    std::vector<Item> items;
    std::map<int, int> elemCount;
    ElemCallback elemCallback;
    Rect elemRect;
    bool hasElemAttribute = false;
    int scroll = 0;
    int lockDepth = 0;
    std::vector<std::pair<std::string, int>> columns;
    std::vector<std::vector<std::string>> rows;
    std::map<int, uint32_t> tabData;
    HWND native = nullptr;
    int hoverPart = -1;  // item or tab page under the mouse
    bool hoverElem = false;
};

struct Win {
    WindowId id = 0;
    HWND hwnd = nullptr;
    WindowDesign design;
    EventHandler handler;
    std::vector<std::unique_ptr<Ctl>> controls;
    bool tray = false;
    std::string trayTip;
    double scale = 1.0;
    HFONT font = nullptr;
    Ctl* hover = nullptr;
    Ctl* pressed = nullptr;
    int pressedPart = -1;
    bool pressedElem = false;
    bool closeHover = false;
    bool closePressed = false;
    bool tracking = false;
    Ctl* dragList = nullptr;  // scroll bar thumb being dragged
    int dragStartY = 0;
    int dragStartScroll = 0;
    bool enabledBeforeModal = true;
};

// Absolute rectangle of a control in its window (pages offset by their container).
Rect AbsoluteRect(const Ctl& c);
// Whether a control is drawn at all (its page is the current one, its container visible).
bool Shown(const Ctl& c);

// Icon-list geometry, in design pixels relative to the list.
constexpr int kItemWidth = 296;
constexpr int kItemHeight = 156;
constexpr int kItemGap = 16;
Rect ItemRect(const Ctl& list, int index);  // scroll applied
int ContentHeight(const Ctl& list);
int MaxScroll(const Ctl& list);
// The scroll bar thumb, relative to the list; empty when everything fits.
Rect ThumbRect(const Ctl& list);
constexpr int kTabStripHeight = 57;
Rect TabHeader(const Ctl& tabs, int page);  // relative to the container

// The skin's close box, when the window has one.
Rect CloseBoxRect(const Win& w);
// Height of the band that drags the window.
int DragBandHeight(const Win& w);

void PaintWindow(Win& w, HDC dc, const RECT& dirty);

}  // namespace ui::win32
