// The display choices beyond the desktop style every application writes: how a picture fits
// its monitor, a picture per monitor, and when rotation holds back. All are off (or the
// default fit) until the user changes them, so a user who never opens "显示设置" gets the
// desktop as it always was.
#pragma once

namespace wallpaper {

// The order of the fit list in "显示设置" and the stored number.
enum class Fit { Fill = 0, Fit = 1, Stretch = 2, Centre = 3, Tile = 4, Span = 5 };
inline constexpr int kFitCount = 6;
// The style every application has always written: the picture handed to the desktop as it is.
inline constexpr Fit kDefaultFit = Fit::Stretch;

struct DisplaySettings {
    Fit fit = kDefaultFit;
    bool perMonitor = false;
    bool pauseWhileFullScreen = false;
    bool pauseOnBattery = false;
};

// Config.ini's display section; a missing or unreadable value reads as its default.
DisplaySettings ReadDisplaySettings();
void WriteDisplaySettings(const DisplaySettings& settings);

}  // namespace wallpaper
