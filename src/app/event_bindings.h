// The event table: which handler every window and control event reaches.
#pragma once

#include "core/window_registry.h"
#include "ui/engine.h"

namespace app {

// The event handler of a window of the kind.
ui::EventHandler BindingsFor(core::WindowKind kind);

// Creates the window of the kind with its event bindings, unless one is open: then the open
// one is shown and brought to the front. Returns its id.
ui::WindowId OpenWindow(core::WindowKind kind);

}  // namespace app
