#include "app/startup.h"

#include "app/connect_timer.h"
#include "app/handlers.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/windows.h"

namespace app {
namespace {

class TimerOnEngine : public ConnectTimer {
  public:
    void SetInterval(int ms) override {
        if (ui::ControlId timer = ControlOf(WindowKind::Main, "时钟1"))
            Ui().SetInt(timer, ui::attr::kInterval, ms);
    }
};

}  // namespace

Handlers& InstalledHandlers() {
    static Handlers handlers;
    return handlers;
}

ConnectTimer& MainConnectTimer() {
    static TimerOnEngine timer;
    return timer;
}

void RunStartupSteps() {
    Handlers& h = InstalledHandlers();
    Ui().AddTrayIcon(WindowOf(WindowKind::Main), "渺岚壁纸");
    InitSettingsAndFolders();
    OpenWindow(WindowKind::Detail);
    OpenWindow(WindowKind::Download);
    if (h.StartPacketClient) h.StartPacketClient();
    MainConnectTimer().SetInterval(1000);
    ShowLoadingIndicator(false);
    if (h.StartRotationThread) h.StartRotationThread();
}

ui::WindowId StartProgram(ui::Engine& engine) {
    UseEngine(&engine);
    return OpenWindow(WindowKind::Main);
}

}  // namespace app
