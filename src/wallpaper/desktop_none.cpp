// Natively the program has no desktop: tests install the system they need.
#include "wallpaper/desktop.h"

namespace wallpaper {
namespace {

class NoDesktop : public DesktopSystem {
  public:
    bool WriteDesktopStyle(const std::string&, const std::string&) override { return false; }
    std::string WindowsFolder() override { return {}; }
    std::string PerUserFolder() override { return {}; }
    std::string Encode(const std::string&, const std::string&) override { return {}; }
    bool SetDesktopWallpaper(const std::string&) override { return false; }
    bool ReadWholeFile(const std::string&, std::string*) override { return false; }
    bool WriteWholeFile(const std::string&, const std::string&) override { return false; }
    bool RemoveFile(const std::string&) override { return false; }
};

}  // namespace

DesktopSystem& PlatformDesktopSystem() {
    static NoDesktop system;
    return system;
}

}  // namespace wallpaper
