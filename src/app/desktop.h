// The desktop wallpaper and the user's settings in the handler registry.
#pragma once

namespace app {

// Fills the handlers of the download window's progress and sponsor message, the node window
// and the settings window.
void InstallDesktopAndSettings();

}  // namespace app
