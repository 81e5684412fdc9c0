#include "app/startup.h"

#include "app/event_bindings.h"
#include "app/handlers.h"
#include "app/shell.h"
#include "core/control_names.h"
#include "core/main_window.h"
#include "core/settings.h"
#include "core/window_registry.h"

namespace app {
namespace {

class TimerOnEngine : public net::ConnectTimer {
  public:
    void SetInterval(int ms) override {
        if (ui::ControlId timer =
                core::ControlOf(core::WindowKind::Main, core::controls::main_window::kConnectTimer))
            core::Ui().SetInt(timer, ui::attr::kInterval, ms);
    }
};

}  // namespace

Handlers& InstalledHandlers() {
    static Handlers handlers;
    return handlers;
}

net::ConnectTimer& MainConnectTimer() {
    static TimerOnEngine timer;
    return timer;
}

void RunStartupSteps() {
    Handlers& h = InstalledHandlers();
    core::Ui().AddTrayIcon(core::WindowOf(core::WindowKind::Main), "渺岚壁纸");
    core::InitSettingsAndFolders();
    OpenWindow(core::WindowKind::Detail);
    OpenWindow(core::WindowKind::Download);
    if (h.StartPacketClient) h.StartPacketClient();
    MainConnectTimer().SetInterval(1000);
    core::ShowLoadingIndicator(false);
    if (h.StartRotationThread) h.StartRotationThread();
}

ui::WindowId StartProgram(ui::Engine& engine) {
    core::UseEngine(&engine);
    return OpenWindow(core::WindowKind::Main);
}

}  // namespace app
