#include "wallpaper/pause.h"

#include <atomic>

#include "wallpaper/display_settings.h"

namespace wallpaper {

// The platform's activity; defined beside the system calls (pause_win.cpp, pause_none.cpp).
SystemActivity& PlatformActivity();

namespace {
std::atomic<SystemActivity*> g_activity{nullptr};
}  // namespace

void UseSystemActivity(SystemActivity* activity) { g_activity.store(activity); }

SystemActivity& Activity() {
    SystemActivity* activity = g_activity.load();
    return activity ? *activity : PlatformActivity();
}

bool RotationPaused() {
    DisplaySettings settings = ReadDisplaySettings();
    return (settings.pauseWhileFullScreen && Activity().FullScreenProgramRuns()) ||
           (settings.pauseOnBattery && Activity().OnBattery());
}

}  // namespace wallpaper
