// Composing the desktop bitmap ourselves: a picture fitted into each monitor's rectangle of a
// canvas the size of the virtual screen. Desktops that honour only centre and tile (Wine's is
// one) then show every fit, and one bitmap can hold a picture per monitor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wallpaper/desktop.h"
#include "wallpaper/display_settings.h"

namespace wallpaper {

// 24-bit pixels, top row first, three bytes a pixel in blue, green, red order, rows unpadded.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;

    Image() = default;
    // Black.
    Image(int w, int h);
    bool Empty() const { return width <= 0 || height <= 0; }
    uint8_t* At(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* At(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};

// The largest canvas composed, in pixels (16384 × 8192): beyond it a monitor list is taken as
// nonsense rather than allocated.
inline constexpr int64_t kMaxCanvasPixels = int64_t{1} << 27;

// Where a picture of w×h lands in an area of aw×ah under a fit: the picture scaled to
// width×height with its top left at x,y of the area (negative or past the area where it is
// cropped). Tile repeats the 1:1 picture from 0,0; span is fill (its area is the bounding box).
struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool tiled = false;
};
Placement PlaceInArea(int w, int h, int aw, int ah, Fit fit);

// The picture scaled to w×h: area averaging where it shrinks, bilinear where it grows.
Image Resample(const Image& picture, int w, int h);

// Draws the picture into the rectangle (left, top, w, h) of the canvas with the fit; nothing
// outside that rectangle changes, and the rest of the rectangle becomes black.
void DrawFitted(Image& canvas, int left, int top, int w, int h, const Image& picture, Fit fit);

// A bottom-up 24-bit BMP, rows padded to four bytes.
std::string EncodeBmp(const Image& image);
// Reads back a 24-bit uncompressed BMP such as EncodeBmp writes (bottom-up or top-down); false
// for anything else, a truncated file or a size past kMaxCanvasPixels.
bool DecodeBmp(const std::string& bytes, Image* image);

// The rectangle that holds every monitor.
MonitorArea BoundingBox(const std::vector<MonitorArea>& monitors);

// The desktop tiles its bitmap from the primary monitor's top left, so a point x,y of the virtual
// screen shows canvas pixel (x mod W, y mod H) of a W×H canvas, mod taken upward for negative x,y.
// These move between a picture of the virtual screen (its bounding box's top left at 0,0) and
// that canvas.
Image VirtualToCanvas(Image screen, const MonitorArea& box);
Image CanvasToVirtual(Image canvas, const MonitorArea& box);

// The canvas for the monitors: under span, one picture fills the bounding box; otherwise
// monitor i holds pictures[i] with the fit, and a monitor whose picture is null keeps what the
// previous canvas (`keep`, of the same size, or black) holds there. Empty when the monitors are
// none or their box is too large.
Image ComposeCanvas(const std::vector<MonitorArea>& monitors, const std::vector<const Image*>& pictures,
                    Fit fit, const Image* keep = nullptr);

}  // namespace wallpaper
