// The event table: which handler every window and control event reaches.
#pragma once

#include "app/window_designs.h"
#include "ui/engine.h"

namespace app {

// The event handler of a window of the kind.
ui::EventHandler BindingsFor(WindowKind kind);

// Takes the window as the kind's one identity (done by its creation event).
void RememberWindow(WindowKind kind, ui::WindowId window);

}  // namespace app
