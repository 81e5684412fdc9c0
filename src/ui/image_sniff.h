// Which image format a byte string claims to be, from its signature.
#pragma once

#include <string_view>

namespace ui {

enum class ImageFormat { Unknown, Png, Jpeg, Gif, Bmp };

ImageFormat SniffImageFormat(std::string_view bytes);

}  // namespace ui
