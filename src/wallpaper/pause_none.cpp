// Natively nothing runs full screen and there is no battery, until a test says otherwise.
#include "wallpaper/pause.h"

namespace wallpaper {
namespace {

class Quiet : public SystemActivity {
  public:
    bool FullScreenProgramRuns() override { return false; }
    bool OnBattery() override { return false; }
};

}  // namespace

SystemActivity& PlatformActivity() {
    static Quiet activity;
    return activity;
}

}  // namespace wallpaper
