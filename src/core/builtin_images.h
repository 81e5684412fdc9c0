// Pictures built into the program that the code hands to the engine as bytes.
#pragma once

#include <string>

namespace core {

// The 60x30 "使用" button placed on every preview (PNG bytes).
const std::string& UseButtonPng();

}  // namespace core
