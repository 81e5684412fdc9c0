// The engine the program runs on and the one identity of each window kind.
//
// Every part addresses a window's controls through these calls; they are safe from any
// thread (the engine marshals, the identities are guarded).
#pragma once

#include <string>

#include "app/window_designs.h"
#include "ui/engine.h"

namespace app {

// Set once before the main window is created.
void UseEngine(ui::Engine* engine);
ui::Engine& Ui();

// The open window of the kind, or 0.
ui::WindowId WindowOf(WindowKind kind);
bool IsOpen(WindowKind kind);

// Creates the window of the kind with its event bindings, unless one is open: then the open
// one is shown and brought to the front. Returns its id.
ui::WindowId OpenWindow(WindowKind kind);

// A control of the window of the kind (0 when the window is not open).
ui::ControlId ControlOf(WindowKind kind, const std::string& name);

// The kind of an open window; false when it is none of ours.
bool KindOfWindow(ui::WindowId window, WindowKind* kind);

// Forgets the window (it is being destroyed).
void ForgetWindow(ui::WindowId window);

}  // namespace app
