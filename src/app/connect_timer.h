// The main window's connect timer 时钟1, as the packet connection sees it.
#pragma once

namespace app {

class ConnectTimer {
  public:
    virtual ~ConnectTimer() = default;
    // Milliseconds between ticks; 0 stops it. Safe from any thread.
    virtual void SetInterval(int ms) = 0;
};

// The timer of the main window (each tick runs Handlers::ConnectToNode).
ConnectTimer& MainConnectTimer();

}  // namespace app
