// Process start: the UI thread makes the engine, the main window runs start-up in its
// creation handler, then the message loop runs until the program ends.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include "app/browsing.h"
#include "app/desktop.h"
#include "app/packet_link.h"
#include "app/rotation.h"
#include "app/startup.h"
#include "sys/paths.h"
#include "sys/trace_win.h"
#include "ui/win32_engine.h"
#include "wallpaper/machine_id.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Relative paths and libraries named without a folder resolve in the program's folder.
    if (!SetCurrentDirectoryA(sys::ProgramFolder().c_str())) sys::TraceLastError("SetCurrentDirectoryA");
    ui::EnableDpiAwareness();
    // The shell's folder dialog needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) sys::TraceError("CoInitializeEx", static_cast<unsigned long>(com));
    static ui::Win32Engine engine;
    // Each subsystem puts its handlers in the registry before the main window exists.
    app::InstallPacketLink();
    app::InstallRotation(wallpaper::MachineIdentifier);
    app::InstallDesktopAndSettings();
    app::InstallBrowsing();
    app::StartProgram(engine);
    return ui::RunMessageLoop();
}
