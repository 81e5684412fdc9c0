// Process start: the UI thread makes the engine and the program; the main window runs
// start-up in its creation handler, then the message loop runs until the program ends.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include "app/program.h"
#include "core/settings.h"
#include "sys/paths.h"
#include "sys/trace_win.h"
#include "ui/win32_engine.h"
#include "wallpaper/machine_id.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Relative paths and libraries named without a folder resolve in the program's folder.
    if (!SetCurrentDirectoryA(sys::ProgramFolder().c_str())) sys::TraceLastError("SetCurrentDirectoryA");
    ui::EnableDpiAwareness();
    if (!ui::BecomeTheOnlyCopy()) return 0;
    // The shell's folder dialog needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) sys::TraceError("CoInitializeEx", static_cast<unsigned long>(com));
    // Both live until the process ends: "退出" ends it at once, with nothing torn down.
    static ui::Win32Engine engine;
    static app::Program program(
        engine, {core::NodeHost(), static_cast<uint16_t>(core::kNodePort), wallpaper::MachineIdentifier});
    program.Start();
    return ui::RunMessageLoop();
}
