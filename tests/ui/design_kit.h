// What the engine tests build their windows from: a control design in one line and a real
// PNG (the program's "使用" button picture).
#pragma once

#include <string>

#include "ui/engine.h"

namespace design_kit {

inline const unsigned char kButtonPngBytes[] = {
#include "use_button_png.inc"
};
inline const std::string kPng(reinterpret_cast<const char*>(kButtonPngBytes), sizeof kButtonPngBytes);

inline ui::ControlDesign D(const char* name, ui::Kind kind, ui::Rect rect, const char* caption = "") {
    ui::ControlDesign d;
    d.name = name;
    d.kind = kind;
    d.rect = rect;
    d.caption = caption;
    return d;
}

}  // namespace design_kit
