#include "core/builtin_images.h"

namespace core {
namespace {

const unsigned char kUseButton[] = {
#include "use_button_png.inc"
};

}  // namespace

const std::string& UseButtonPng() {
    static const std::string bytes(reinterpret_cast<const char*>(kUseButton), sizeof kUseButton);
    return bytes;
}

}  // namespace core
