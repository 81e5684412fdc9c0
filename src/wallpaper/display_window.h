// The display window ("显示设置"): the fit, a picture per monitor and the two pauses, written
// to Config.ini as the user changes them. Runs on the UI thread, as the window's events do.
#pragma once

namespace wallpaper {

// Shows the stored choices in the open window.
void ShowDisplaySettings();

// A choice changed: every control of the window is stored as it now shows.
void StoreDisplaySettings();

}  // namespace wallpaper
