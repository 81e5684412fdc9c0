#include "wallpaper/rotation_window.h"

#include <string>

#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "sys/text.h"

namespace wallpaper {

namespace {

namespace names = core::controls::rotation_window;

constexpr const char* kTooShort = "     当前服务器压力较大\r\n自动更换壁纸周期不能小于5分钟";

ui::ControlId Control(const char* name) { return core::ControlOf(core::WindowKind::Rotation, name); }

}  // namespace

void ShowRotationSettings() {
    ui::Engine& ui = core::Ui();
    if (ui::ControlId box = Control(names::kPeriodBox))
        ui.SetText(box, ui::attr::kText,
                   core::ReadSetting(core::kSectionRotation, core::kKeyRotationPeriod, "5"));
    if (ui::ControlId combo = Control(names::kCategoryCombo))
        ui.SetInt(combo, ui::attr::kCurrentSelection,
                  sys::ToInt(core::ReadSetting(core::kSectionRotation, core::kKeyRotationType, "0")));
}

void StoreRotationType(int position) {
    core::WriteSetting(core::kSectionRotation, core::kKeyRotationType, sys::FromInt(position));
}

void StoreRotationPeriod() {
    ui::Engine& ui = core::Ui();
    ui::ControlId box = Control(names::kPeriodBox);
    if (!box) return;
    std::string text = ui.GetText(box, ui::attr::kText);
    // Checked as it will be read back: `"1"` is stored as typed, but the profile reader drops
    // the quotes and rotation would then read 1.
    int minutes = sys::ToInt(core::ProfileValueAsReadBack(text));
    if (minutes < 5 && minutes != 0) {
        ui.SetText(box, ui::attr::kText, "5");
        ui.MsgBox("渺岚壁纸", kTooShort, "", core::WindowOf(core::WindowKind::Rotation));
        return;
    }
    core::WriteSetting(core::kSectionRotation, core::kKeyRotationPeriod, text);
}

}  // namespace wallpaper
