#include "ui/image_sniff.h"

namespace ui {

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

}  // namespace ui
