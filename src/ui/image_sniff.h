// Which image format a byte string claims to be, and its size, from the header alone.
#pragma once

#include <string_view>

namespace ui {

enum class ImageFormat { Unknown, Png, Jpeg, Gif, Bmp };

ImageFormat SniffImageFormat(std::string_view bytes);

struct ImageSize {
    int width = 0, height = 0;
    bool operator==(const ImageSize&) const = default;
};

// The picture's size as its header states it; 0 x 0 when the bytes carry no complete header
// of a known format or it states an empty picture. Nothing past the header is checked.
ImageSize SniffImageSize(std::string_view bytes);

}  // namespace ui
