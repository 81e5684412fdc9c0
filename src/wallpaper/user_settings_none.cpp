// Natively the program has no registry, dialog or file manager: tests install the system
// they need.
#include "wallpaper/user_settings.h"

namespace wallpaper {
namespace {

class NoSettingsSystem : public SettingsSystem {
  public:
    std::string ReadAutoStart(RunKey) override { return {}; }
    bool WriteAutoStart(RunKey, const std::string&) override { return false; }
    bool RemoveAutoStart(RunKey) override { return false; }
    std::string ProgramFile() override { return {}; }
    std::string BrowseForFolder(const std::string&) override { return {}; }
    void ExploreFolder(const std::string&) override {}
};

}  // namespace

SettingsSystem& PlatformSettingsSystem() {
    static NoSettingsSystem system;
    return system;
}

}  // namespace wallpaper
