// When rotation holds back: the user's pause choices against what the machine is doing now.
#pragma once

namespace wallpaper {

// What the pauses ask of the system. Safe from any thread.
class SystemActivity {
  public:
    virtual ~SystemActivity() = default;
    // A program other than this one shows full screen on the primary monitor: the shell says
    // so (busy, full-screen Direct3D, presentation mode), or the foreground window of another
    // process, not the desktop or the shell, covers the whole monitor.
    virtual bool FullScreenProgramRuns() = 0;
    // The machine runs on its battery (an unknown power source is not the battery).
    virtual bool OnBattery() = 0;
};

// The system in use: the platform's on Windows; natively one that answers no until a test
// installs its own. Not owned; null restores the default.
void UseSystemActivity(SystemActivity* activity);
SystemActivity& Activity();

// A pause the user chose in "显示设置" holds now. Both are off until chosen.
bool RotationPaused();

}  // namespace wallpaper
