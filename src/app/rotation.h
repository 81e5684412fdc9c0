// Puts automatic rotation into start-up and the rotation window's events.
#pragma once

#include "net/requests.h"

namespace app {

// Installs StartRotationThread and the rotation window's handlers in the handler registry;
// change requests carry what `machineId` computes. Call before StartProgram, on the UI thread.
void InstallRotation(net::MachineIdSource machineId);

}  // namespace app
