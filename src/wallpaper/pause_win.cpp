// Full screen and the battery on Windows.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <initializer_list>

#include "sys/trace_win.h"
#include "wallpaper/pause.h"

namespace wallpaper {
namespace {

// The desktop and the taskbar cover the monitor too, and are no program at work.
bool IsShell(HWND window) {
    if (window == GetDesktopWindow() || window == GetShellWindow()) return true;
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    for (const wchar_t* shell : {L"Progman", L"WorkerW", L"Shell_TrayWnd", L"#32769"})
        if (lstrcmpW(name, shell) == 0) return true;
    return false;
}

bool ForegroundCoversPrimaryMonitor() {
    HWND window = GetForegroundWindow();
    if (!window || !IsWindowVisible(window) || IsIconic(window) || IsShell(window)) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) return false;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONULL), &monitor) ||
        !(monitor.dwFlags & MONITORINFOF_PRIMARY))
        return false;
    RECT area{};
    if (!GetWindowRect(window, &area)) return false;
    const RECT& screen = monitor.rcMonitor;
    return area.left <= screen.left && area.top <= screen.top && area.right >= screen.right &&
           area.bottom >= screen.bottom;
}

class Win32Activity : public SystemActivity {
  public:
    bool FullScreenProgramRuns() override {
        QUERY_USER_NOTIFICATION_STATE state{};
        // Wine always answers "accepts notifications"; the foreground rule still holds there.
        if (SUCCEEDED(SHQueryUserNotificationState(&state)) &&
            (state == QUNS_BUSY || state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE))
            return true;
        return ForegroundCoversPrimaryMonitor();
    }
    bool OnBattery() override {
        SYSTEM_POWER_STATUS power{};
        if (!GetSystemPowerStatus(&power)) {
            sys::TraceLastError("GetSystemPowerStatus");
            return false;
        }
        return power.ACLineStatus == 0;
    }
};

}  // namespace

SystemActivity& PlatformActivity() {
    static Win32Activity activity;
    return activity;
}

}  // namespace wallpaper
