// The rotation window ("更换壁纸设置"): the rotation type and the period, written to
// Config.ini as the user changes them. Runs on the UI thread, as the window's events do.
#pragma once

namespace wallpaper {

// Shows the stored period (default "5") and type (default "0") in the open window.
void ShowRotationSettings();

// The type combo's new position, stored as decimal text.
void StoreRotationType(int position);

// The period box's text changed: "0" and 5 or more are stored as typed; 1 to 4 and negative
// periods are refused with a message and the box goes back to "5".
void StoreRotationPeriod();

}  // namespace wallpaper
