// The seven windows as design data: names, kinds, rectangles and captions of every control.
#pragma once

#include "core/window_registry.h"
#include "ui/engine.h"

namespace app {

ui::WindowDesign DesignOf(core::WindowKind kind);

}  // namespace app
