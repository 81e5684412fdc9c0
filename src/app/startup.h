// From process start to a running main window.
#pragma once

#include "net/link.h"
#include "ui/engine.h"

namespace app {

// Creates the main window on the engine; its creation handler runs the start-up steps:
// tray icon, settings and folders, the two hidden auxiliary windows, the packet client, the
// connect timer at 1000 ms, the loading indicator hidden, the rotation thread.
// Returns the main window.
ui::WindowId StartProgram(ui::Engine& engine);

// The steps of the main window's creation handler, in order.
void RunStartupSteps();

// The main window's connect timer 时钟1 (each tick runs Handlers::ConnectToNode).
net::ConnectTimer& MainConnectTimer();

}  // namespace app
