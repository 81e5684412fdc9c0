// The event table: which handler every window and control event reaches.
#pragma once

#include "app/program.h"
#include "core/window_registry.h"
#include "ui/engine.h"

namespace app {

// The event handler of a window of the kind; every event it knows calls a handler of the
// program or of a subsystem directly.
ui::EventHandler BindingsFor(core::WindowKind kind, Program& program);

}  // namespace app
