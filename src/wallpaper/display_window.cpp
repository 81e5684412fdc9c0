#include "wallpaper/display_window.h"

#include "core/control_names.h"
#include "core/window_registry.h"
#include "wallpaper/display_settings.h"

namespace wallpaper {
namespace {

namespace names = core::controls::display_window;

ui::ControlId Control(const char* name) { return core::ControlOf(core::WindowKind::Display, name); }

void ShowSwitch(const char* name, bool on) {
    if (ui::ControlId id = Control(name)) core::Ui().SetInt(id, ui::attr::kValue, on ? 1 : 0);
}

bool SwitchOn(const char* name) {
    ui::ControlId id = Control(name);
    return id && core::Ui().GetInt(id, ui::attr::kValue) != 0;
}

}  // namespace

void ShowDisplaySettings() {
    DisplaySettings settings = ReadDisplaySettings();
    if (ui::ControlId fit = Control(names::kFitCombo))
        core::Ui().SetInt(fit, ui::attr::kCurrentSelection, static_cast<int>(settings.fit));
    ShowSwitch(names::kPerMonitor, settings.perMonitor);
    ShowSwitch(names::kPauseFullScreen, settings.pauseWhileFullScreen);
    ShowSwitch(names::kPauseOnBattery, settings.pauseOnBattery);
}

void StoreDisplaySettings() {
    ui::ControlId fitCombo = Control(names::kFitCombo);
    if (!fitCombo) return;
    DisplaySettings settings;
    int fit = core::Ui().GetInt(fitCombo, ui::attr::kCurrentSelection);
    if (fit >= 0 && fit < kFitCount) settings.fit = static_cast<Fit>(fit);
    settings.perMonitor = SwitchOn(names::kPerMonitor);
    settings.pauseWhileFullScreen = SwitchOn(names::kPauseFullScreen);
    settings.pauseOnBattery = SwitchOn(names::kPauseOnBattery);
    WriteDisplaySettings(settings);
}

}  // namespace wallpaper
