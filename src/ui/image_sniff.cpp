#include "ui/image_sniff.h"

#include <cstdint>

namespace ui {
namespace {

uint32_t Be16(std::string_view b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 8 |
           static_cast<unsigned char>(b[at + 1]);
}
uint32_t Be32(std::string_view b, size_t at) { return Be16(b, at) << 16 | Be16(b, at + 2); }
uint32_t Le16(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1]))
                                                   << 8;
}
uint32_t Le32(std::string_view b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

ImageSize Checked(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

ImageSize JpegSize(std::string_view b) {
    // Markers follow one another until a start-of-frame names the size.
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[at]) != 0xFF) return {};
        unsigned char marker = static_cast<unsigned char>(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        uint32_t length = Be16(b, at + 2);
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > b.size()) return {};
            return Checked(Be16(b, at + 7), Be16(b, at + 5));
        }
        if (length < 2) return {};
        at += 2 + length;
    }
    return {};
}

}  // namespace

ImageFormat SniffImageFormat(std::string_view b) {
    auto starts = [&](std::string_view sig) {
        return b.size() > sig.size() && b.substr(0, sig.size()) == sig;
    };
    if (starts(std::string_view("\x89PNG\r\n\x1a\n", 8))) return ImageFormat::Png;
    if (starts(std::string_view("\xFF\xD8\xFF", 3))) return ImageFormat::Jpeg;
    if (starts("GIF87a") || starts("GIF89a")) return ImageFormat::Gif;
    if (starts("BM") && b.size() > 26) return ImageFormat::Bmp;
    return ImageFormat::Unknown;
}

ImageSize SniffImageSize(std::string_view b) {
    switch (SniffImageFormat(b)) {
        case ImageFormat::Png:
            // The first chunk is IHDR: length 13, then width and height.
            if (b.size() < 24 || b.substr(12, 4) != "IHDR") return {};
            return Checked(Be32(b, 16), Be32(b, 20));
        case ImageFormat::Jpeg:
            return JpegSize(b);
        case ImageFormat::Gif:
            if (b.size() < 10) return {};
            return Checked(Le16(b, 6), Le16(b, 8));
        case ImageFormat::Bmp: {
            // Height is negative for a top-down bitmap.
            int32_t height = static_cast<int32_t>(Le32(b, 22));
            return Checked(static_cast<int32_t>(Le32(b, 18)),
                           height < 0 ? -static_cast<int64_t>(height) : height);
        }
        case ImageFormat::Unknown:
            break;
    }
    return {};
}

}  // namespace ui
