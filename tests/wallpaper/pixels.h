// A pixel of the composed images as the tests name it, read and written in the images' BGR order.
#pragma once

#include <cstdint>
#include <ostream>

#include "wallpaper/compose.h"

namespace pixels {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << '(' << int(c.r) << ',' << int(c.g) << ',' << int(c.b) << ')';
}
inline constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};

inline Rgb Pixel(const wallpaper::Image& image, int x, int y) {
    const uint8_t* p = image.At(x, y);
    return {p[2], p[1], p[0]};
}
inline void Paint(wallpaper::Image& image, int x, int y, Rgb c) {
    uint8_t* p = image.At(x, y);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

}  // namespace pixels
