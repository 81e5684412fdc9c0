#include "wallpaper/display_settings.h"

#include <string>

#include "core/settings.h"

namespace wallpaper {
namespace {

bool ReadFlag(const char* key) { return core::ReadSetting(core::kSectionDisplay, key, "0") == "1"; }

void WriteFlag(const char* key, bool on) { core::WriteSetting(core::kSectionDisplay, key, on ? "1" : "0"); }

}  // namespace

DisplaySettings ReadDisplaySettings() {
    DisplaySettings settings;
    std::string fit = core::ReadSetting(core::kSectionDisplay, core::kKeyDisplayFit, "");
    // Only a number the list knows counts; anything else is the default fit.
    if (fit.size() == 1 && fit[0] >= '0' && fit[0] < '0' + kFitCount)
        settings.fit = static_cast<Fit>(fit[0] - '0');
    settings.perMonitor = ReadFlag(core::kKeyDisplayPerMonitor);
    settings.pauseWhileFullScreen = ReadFlag(core::kKeyDisplayPauseFullScreen);
    settings.pauseOnBattery = ReadFlag(core::kKeyDisplayPauseOnBattery);
    return settings;
}

void WriteDisplaySettings(const DisplaySettings& settings) {
    core::WriteSetting(core::kSectionDisplay, core::kKeyDisplayFit,
                       std::to_string(static_cast<int>(settings.fit)));
    WriteFlag(core::kKeyDisplayPerMonitor, settings.perMonitor);
    WriteFlag(core::kKeyDisplayPauseFullScreen, settings.pauseWhileFullScreen);
    WriteFlag(core::kKeyDisplayPauseOnBattery, settings.pauseOnBattery);
}

}  // namespace wallpaper
