// A recording stand-in for Config.ini access: the shell's checks only need to see that
// start-up asked for the settings and folders, and when.
#include "settings_double.h"

#include "app/settings.h"

namespace app {

void InitSettingsAndFolders() { testing_double::RecordStep("InitSettingsAndFolders"); }

}  // namespace app
