// Start with Windows under Wine: the real Run keys, and the machine key's refusal made on
// purpose (Wine grants every right).
// clang-format off
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include "core/control_names.h"
#include "memory_settings_store.h"
#include "wallpaper/user_settings.h"
#include "wallpaper_doubles.h"

namespace {

using wallpaper::RunKey;

constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string RunValue(HKEY hive) {
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(hive, kRun, "渺岚壁纸", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<absent>";
    return value;
}

std::string ThisExe() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

void RemoveBoth() {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRun, "渺岚壁纸");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kRun, "渺岚壁纸");
}

// The real keys, except that the machine's refuses writes as it does for a standard user.
class StandardUser : public wallpaper::SettingsSystem {
  public:
    StandardUser() : real_(wallpaper::Settings()) { wallpaper::UseSettingsSystem(this); }
    ~StandardUser() override { wallpaper::UseSettingsSystem(nullptr); }
    std::string ReadAutoStart(RunKey key) override { return real_.ReadAutoStart(key); }
    bool WriteAutoStart(RunKey key, const std::string& command) override {
        return key == RunKey::kMachine ? false : real_.WriteAutoStart(key, command);
    }
    bool RemoveAutoStart(RunKey key) override { return real_.RemoveAutoStart(key); }
    std::string ProgramFile() override { return real_.ProgramFile(); }
    std::string BrowseForFolder(const std::string& title) override { return {}; }
    void ExploreFolder(const std::string&) override {}

  private:
    wallpaper::SettingsSystem& real_;
};

TEST(AutoStartOnWindows, TheMachinesRunKeyHoldsTheUnquotedProgramPathUntilClickedAgain) {
    RemoveBoth();
    testing_support::MemorySettingsStore store;
    wptest::Windows windows;
    windows.Open(core::WindowKind::Settings);
    ui::ControlId radio =
        windows.Control(core::WindowKind::Settings, core::controls::settings_window::kAutoStart);

    wallpaper::ToggleAutoStart();
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), ThisExe());
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), "<absent>");
    EXPECT_EQ(windows.engine.GetInt(radio, ui::attr::kValue), 1);
    wallpaper::SettingsWindowCreated();
    EXPECT_EQ(windows.engine.GetInt(radio, ui::attr::kValue), 1);

    wallpaper::ToggleAutoStart();
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<absent>");
    EXPECT_EQ(windows.engine.GetInt(radio, ui::attr::kValue), 0);
}

TEST(AutoStartOnWindows, AStandardUserGetsTheValueInTheirOwnRunKeyAndTheWindowSeesIt) {
    RemoveBoth();
    testing_support::MemorySettingsStore store;
    wptest::Windows windows;
    windows.Open(core::WindowKind::Settings);
    ui::ControlId radio =
        windows.Control(core::WindowKind::Settings, core::controls::settings_window::kAutoStart);
    {
        StandardUser user;
        wallpaper::ToggleAutoStart();
    }
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<absent>");
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), ThisExe());
    windows.engine.SetInt(radio, ui::attr::kValue, 0);
    wallpaper::SettingsWindowCreated();
    EXPECT_EQ(windows.engine.GetInt(radio, ui::attr::kValue), 1);

    wallpaper::ToggleAutoStart();
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), "<absent>");
    EXPECT_FALSE(wallpaper::AutoStartEnabled());
}

}  // namespace
