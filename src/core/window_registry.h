// The engine the program runs on and the one identity of each window kind.
//
// Every part addresses a window's controls through these calls; they are safe from any
// thread (the engine marshals, the identities are guarded). Windows are created by the
// application's wiring; this registry only knows which one is which.
#pragma once

#include <string>

#include "ui/engine.h"

namespace core {

enum class WindowKind { Main, Detail, Download, Node, Settings, Rotation, Exit, Display };
constexpr int kWindowKindCount = 8;

// Set once before the main window is created.
void UseEngine(ui::Engine* engine);
ui::Engine& Ui();
// The engine, or null before one is set (parts that also run without windows).
ui::Engine* EngineOrNull();

// The open window of the kind, or 0.
ui::WindowId WindowOf(WindowKind kind);
bool IsOpen(WindowKind kind);

// A control of the window of the kind (0 when the window is not open).
ui::ControlId ControlOf(WindowKind kind, const std::string& name);

// Takes the window as the kind's one identity (done by its creation event).
void RememberWindow(WindowKind kind, ui::WindowId window);

// The kind of an open window; false when it is none of ours.
bool KindOfWindow(ui::WindowId window, WindowKind* kind);

// Forgets the window (it is being destroyed).
void ForgetWindow(ui::WindowId window);

}  // namespace core
