#include "app/rotation.h"

#include "app/handlers.h"
#include "wallpaper/rotation.h"
#include "wallpaper/rotation_window.h"

namespace app {

void InstallRotation(net::MachineIdSource machineId) {
    Handlers& h = InstalledHandlers();
    h.StartRotationThread = [id = std::move(machineId)] { wallpaper::StartRotationThread(id); };
    h.RotationWindowCreated = [] { wallpaper::ShowRotationSettings(); };
    h.RotationPeriodChanged = [] { wallpaper::StoreRotationPeriod(); };
    h.RotationCategoryChanged = [](int index) { wallpaper::StoreRotationType(index); };
}

}  // namespace app
