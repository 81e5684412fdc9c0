#include "wallpaper/compose.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace wallpaper {
namespace {

// Scaled sizes are kept well inside int: a 1×100000 picture filled into a wide monitor is
// legal input, and only its visible part is ever computed.
constexpr int64_t kMaxScaled = INT_MAX / 4;

int ClampScaled(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 1, kMaxScaled)); }

// Rounded a*b/c for positive values.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return (a * b * 2 + c) / (2 * c); }

int FloorHalf(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

int Mod(int64_t v, int m) {
    int64_t r = v % m;
    return static_cast<int>(r < 0 ? r + m : r);
}

struct Tap {
    int index;
    float weight;
};

// For destination indices [from, from + count) of a src → dst scaling, the source indices and
// weights that make each one: the covered source span averaged when shrinking, the two nearest
// source samples when growing.
std::vector<std::vector<Tap>> Taps(int src, int dst, int from, int count) {
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(count));
    double scale = static_cast<double>(src) / dst;
    for (int k = 0; k < count; ++k) {
        int i = from + k;
        auto& out = taps[static_cast<size_t>(k)];
        if (src == dst) {
            out.push_back({i, 1.0f});
        } else if (dst < src) {
            double start = i * scale, end = (i + 1) * scale;
            int first = static_cast<int>(std::floor(start));
            int last = std::min(src - 1, static_cast<int>(std::ceil(end)) - 1);
            for (int s = first; s <= last; ++s) {
                double overlap = std::min(end, s + 1.0) - std::max(start, static_cast<double>(s));
                if (overlap > 0) out.push_back({s, static_cast<float>(overlap / scale)});
            }
        } else {
            double x = std::max(0.0, (i + 0.5) * scale - 0.5);
            int x0 = std::min(src - 1, static_cast<int>(x));
            int x1 = std::min(src - 1, x0 + 1);
            auto f = x1 == x0 ? 0.0f : static_cast<float>(x - x0);
            out.push_back({x0, 1.0f - f});
            if (f > 0) out.push_back({x1, f});
        }
    }
    return taps;
}

// The window (fromX, fromY, w, h) of the picture scaled to scaledW × scaledH.
Image ResampleWindow(const Image& picture, int scaledW, int scaledH, int fromX, int fromY, int w, int h) {
    Image out(w, h);
    if (picture.Empty() || w <= 0 || h <= 0) return out;
    auto columns = Taps(picture.width, scaledW, fromX, w);
    auto rows = Taps(picture.height, scaledH, fromY, h);
    // Each output row: the source rows it covers summed over the columns that show (a filled
    // picture loses its sides), then the columns.
    size_t first = static_cast<size_t>(columns.front().front().index) * 3;
    size_t end = (static_cast<size_t>(columns.back().back().index) + 1) * 3;
    std::vector<float> line(static_cast<size_t>(picture.width) * 3);
    for (int y = 0; y < h; ++y) {
        std::fill(line.begin() + first, line.begin() + end, 0.0f);
        for (const Tap& row : rows[static_cast<size_t>(y)]) {
            const uint8_t* src = picture.At(0, row.index);
            for (size_t i = first; i < end; ++i) line[i] += row.weight * src[i];
        }
        for (int x = 0; x < w; ++x) {
            float sum[3] = {0, 0, 0};
            for (const Tap& column : columns[static_cast<size_t>(x)])
                for (int c = 0; c < 3; ++c)
                    sum[c] += column.weight * line[static_cast<size_t>(column.index) * 3 + c];
            uint8_t* dst = out.At(x, y);
            for (int c = 0; c < 3; ++c)
                dst[c] = static_cast<uint8_t>(std::clamp(sum[c] + 0.5f, 0.0f, 255.0f));
        }
    }
    return out;
}

void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}
uint32_t Get32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}
uint16_t Get16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

constexpr size_t kBmpHeader = 14 + 40;

// Moves pixel x,y to ((x + dx) mod w, (y + dy) mod h), in place: a canvas of two 4K monitors is
// 50 MB.
void Roll(Image& image, int dx, int dy) {
    size_t row = static_cast<size_t>(image.width) * 3;
    auto& p = image.pixels;
    std::rotate(p.begin(), p.end() - static_cast<std::ptrdiff_t>(row * dy), p.end());
    for (auto it = p.begin(); it != p.end(); it += static_cast<std::ptrdiff_t>(row))
        std::rotate(it, it + static_cast<std::ptrdiff_t>(row - static_cast<size_t>(dx) * 3),
                    it + static_cast<std::ptrdiff_t>(row));
}

}  // namespace

Image::Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, 0) {}

Placement PlaceInArea(int w, int h, int aw, int ah, Fit fit) {
    Placement p;
    if (w <= 0 || h <= 0 || aw <= 0 || ah <= 0) return p;
    switch (fit) {
        case Fit::Fill:
        case Fit::Span:
        case Fit::Fit: {
            // Scaled to the area's width when the picture is relatively wider than the area
            // (fit) or narrower (fill); to its height otherwise.
            bool wider = int64_t{w} * ah >= int64_t{aw} * h;
            if (wider == (fit == Fit::Fit)) {
                p.width = aw;
                p.height = ClampScaled(MulDivRound(h, aw, w));
            } else {
                p.height = ah;
                p.width = ClampScaled(MulDivRound(w, ah, h));
            }
            break;
        }
        case Fit::Stretch:
            p.width = aw;
            p.height = ah;
            break;
        case Fit::Centre:
            p.width = w;
            p.height = h;
            break;
        case Fit::Tile:
            p.width = w;
            p.height = h;
            p.tiled = true;
            return p;
    }
    p.x = FloorHalf(aw - p.width);
    p.y = FloorHalf(ah - p.height);
    return p;
}

Image Resample(const Image& picture, int w, int h) { return ResampleWindow(picture, w, h, 0, 0, w, h); }

void DrawFitted(Image& canvas, int left, int top, int w, int h, const Image& picture, Fit fit) {
    // The area as far as it lies on the canvas.
    int x0 = std::max(left, 0), y0 = std::max(top, 0);
    int x1 = std::min(left + w, canvas.width), y1 = std::min(top + h, canvas.height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int y = y0; y < y1; ++y) std::memset(canvas.At(x0, y), 0, static_cast<size_t>(x1 - x0) * 3);
    if (picture.Empty()) return;

    Placement p = PlaceInArea(picture.width, picture.height, w, h, fit);
    if (p.tiled) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                std::memcpy(canvas.At(x, y),
                            picture.At((x - left) % picture.width, (y - top) % picture.height), 3);
        return;
    }
    // The part of the scaled picture that shows, in canvas coordinates.
    int px0 = std::max(x0, left + p.x), py0 = std::max(y0, top + p.y);
    int px1 = static_cast<int>(std::min<int64_t>(x1, int64_t{left} + p.x + p.width));
    int py1 = static_cast<int>(std::min<int64_t>(y1, int64_t{top} + p.y + p.height));
    if (px0 >= px1 || py0 >= py1) return;
    Image part =
        ResampleWindow(picture, p.width, p.height, px0 - left - p.x, py0 - top - p.y, px1 - px0, py1 - py0);
    for (int y = 0; y < part.height; ++y)
        std::memcpy(canvas.At(px0, py0 + y), part.At(0, y), static_cast<size_t>(part.width) * 3);
}

std::string EncodeBmp(const Image& image) {
    size_t stride = (static_cast<size_t>(image.width) * 3 + 3) & ~size_t{3};
    size_t data = stride * static_cast<size_t>(image.height);
    std::string b(kBmpHeader + data, '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, kBmpHeader);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(image.width));
    Put32(b, 22, static_cast<uint32_t>(image.height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, static_cast<uint32_t>(data));
    Put32(b, 38, 2835);  // 72 dpi
    Put32(b, 42, 2835);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&b[kBmpHeader + stride * static_cast<size_t>(image.height - 1 - y)], image.At(0, y),
                    static_cast<size_t>(image.width) * 3);
    return b;
}

bool DecodeBmp(const std::string& b, Image* image) {
    if (b.size() < kBmpHeader || b[0] != 'B' || b[1] != 'M') return false;
    uint32_t offset = Get32(b, 10), header = Get32(b, 14);
    auto width = static_cast<int32_t>(Get32(b, 18)), height = static_cast<int32_t>(Get32(b, 22));
    if (header < 40 || Get16(b, 26) != 1 || Get16(b, 28) != 24 || Get32(b, 30) != 0) return false;
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    int rows = height < 0 ? -height : height;
    if (int64_t{width} * rows > kMaxCanvasPixels) return false;
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (offset < kBmpHeader || offset > b.size() || (b.size() - offset) / stride < static_cast<size_t>(rows))
        return false;
    Image out(width, rows);
    for (int y = 0; y < rows; ++y) {
        int stored = height > 0 ? rows - 1 - y : y;
        std::memcpy(out.At(0, y), &b[offset + stride * static_cast<size_t>(stored)],
                    static_cast<size_t>(width) * 3);
    }
    *image = std::move(out);
    return true;
}

MonitorArea BoundingBox(const std::vector<MonitorArea>& monitors) {
    if (monitors.empty()) return {};
    MonitorArea box = monitors.front();
    for (const MonitorArea& m : monitors) {
        box.left = std::min(box.left, m.left);
        box.top = std::min(box.top, m.top);
        box.right = std::max(box.right, m.right);
        box.bottom = std::max(box.bottom, m.bottom);
    }
    return box;
}

Image VirtualToCanvas(Image screen, const MonitorArea& box) {
    if (!screen.Empty()) Roll(screen, Mod(box.left, screen.width), Mod(box.top, screen.height));
    return screen;
}

Image CanvasToVirtual(Image canvas, const MonitorArea& box) {
    if (!canvas.Empty())
        Roll(canvas, Mod(-int64_t{box.left}, canvas.width), Mod(-int64_t{box.top}, canvas.height));
    return canvas;
}

Image ComposeCanvas(const std::vector<MonitorArea>& monitors, const std::vector<const Image*>& pictures,
                    Fit fit, const Image* keep) {
    MonitorArea box = BoundingBox(monitors);
    int64_t w = int64_t{box.right} - box.left, h = int64_t{box.bottom} - box.top;
    if (w <= 0 || h <= 0 || w * h > kMaxCanvasPixels) return {};
    auto width = static_cast<int>(w), height = static_cast<int>(h);
    Image screen = keep && keep->width == width && keep->height == height ? CanvasToVirtual(*keep, box)
                                                                          : Image(width, height);
    if (fit == Fit::Span) {
        if (!pictures.empty() && pictures.front())
            DrawFitted(screen, 0, 0, width, height, *pictures.front(), fit);
    } else {
        for (size_t i = 0; i < monitors.size() && i < pictures.size(); ++i) {
            if (!pictures[i]) continue;
            const MonitorArea& m = monitors[i];
            DrawFitted(screen, m.left - box.left, m.top - box.top, m.right - m.left, m.bottom - m.top,
                       *pictures[i], fit);
        }
    }
    return VirtualToCanvas(std::move(screen), box);
}

}  // namespace wallpaper
