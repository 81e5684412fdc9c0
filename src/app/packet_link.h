// Puts the packet connection into the start-up steps and the connect timer's tick.
#pragma once

namespace app {

// Installs StartPacketClient and ConnectToNode in the handler registry. Call before
// StartProgram, on the UI thread.
void InstallPacketLink();

}  // namespace app
