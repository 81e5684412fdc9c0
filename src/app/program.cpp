#include "app/program.h"

#include <cstdlib>

#include "app/event_bindings.h"
#include "app/shell.h"
#include "app/window_designs.h"
#include "core/control_names.h"
#include "core/main_window.h"
#include "core/settings.h"
#include "wallpaper/category_list.h"
#include "wallpaper/desktop.h"
#include "wallpaper/detail_window.h"
#include "wallpaper/display_settings.h"
#include "wallpaper/downloads.h"
#include "wallpaper/history.h"
#include "wallpaper/pause.h"
#include "wallpaper/user_settings.h"

namespace app {

namespace mw = core::controls::main_window;
namespace dw = core::controls::detail_window;

void EndImmediately(int code) { std::_Exit(code); }

namespace {

wallpaper::RotationHooks ProgramRotationHooks() {
    wallpaper::RotationHooks hooks;
    hooks.paused = wallpaper::RotationPaused;
    hooks.picturesPerChange = [] {
        return wallpaper::ReadDisplaySettings().perMonitor ? wallpaper::MonitorCount() : 1;
    };
    hooks.silentDownloadsEnded = wallpaper::SilentDownloadsEnded;
    return hooks;
}

void Tell(const char* text) {
    core::Ui().MsgBox("渺岚壁纸", text, "", core::WindowOf(core::WindowKind::Main));
}

}  // namespace

Program::Program(ui::Engine& engine, ProgramOptions options)
    : engine_(engine),
      options_(std::move(options)),
      link_(options_.nodeHost, options_.nodePort, *this, *this),
      browsing_(link_),
      rotation_(link_, options_.machineId, ProgramRotationHooks()) {
    core::UseEngine(&engine_);
}

Program::~Program() {
    Stop();
    // Nothing may post to an engine that goes with this program (a later one, in tests).
    if (core::EngineOrNull() == &engine_) core::UseEngine(nullptr);
}

ui::WindowId Program::Start() { return OpenWindow(core::WindowKind::Main); }

void Program::Stop() {
    rotation_.Stop();
    stepBack_.Join();
    link_.Stop();
    notices_.Stop();
    for (web::DownloadSlot* slot : {&wallpaper::VisibleSlot(), &wallpaper::SilentSlot()}) {
        slot->Stop();
        slot->WaitIdle(30000);
    }
}

ui::WindowId Program::OpenWindow(core::WindowKind kind) {
    ui::WindowId open = core::WindowOf(kind);
    if (open != 0 && engine_.WindowExists(open)) {
        engine_.ShowWindow(open, true);
        engine_.BringToFront(open);
        return open;
    }
    // The identity is taken in the creation event, so the creation handler already finds it.
    return engine_.CreateWindowFrom(DesignOf(kind), BindingsFor(kind, *this));
}

void Program::RunStartupSteps() {
    engine_.AddTrayIcon(core::WindowOf(core::WindowKind::Main), "渺岚壁纸");
    core::InitSettingsAndFolders();
    OpenWindow(core::WindowKind::Detail);
    OpenWindow(core::WindowKind::Download);
    link_.SetUp();
    SetInterval(1000);
    core::ShowLoadingIndicator(false);
    rotation_.Start();
}

void Program::OnTrayEvent(int kind) {
    if (kind == 2) {
        ShowMainWindow();
    } else if (kind == 3) {
        if (ui::ControlId menu = core::ControlOf(core::WindowKind::Main, mw::kTrayMenu))
            engine_.PopupTrayMenu(menu, 5, 5);
    }
}

void Program::OnTrayMenu(int item) {
    switch (item) {
        case 0:
            ShowMainWindow();
            break;
        case 2:
            OpenWindow(core::WindowKind::Settings);
            break;
        case 3:
            OpenWindow(core::WindowKind::Display);
            break;
        case 4:
            RequestNextWallpaper();
            break;
        case 5:
            ShowPreviousWallpaper();
            break;
        case 7:
            OpenWindow(core::WindowKind::Exit);
            break;
        default:
            break;
    }
}

void Program::RequestNextWallpaper() {
    if (!link_.IsConnected()) {
        Tell("还没有连接到壁纸节点，请稍后再试");
        return;
    }
    net::SendChangeWallpaperRequest(
        link_, core::ReadSetting(core::kSectionRotation, core::kKeyRotationType, "0"), options_.machineId);
}

void Program::ShowPreviousWallpaper() {
    std::string picture;
    if (!wallpaper::StepBackInHistory(&picture)) {
        Tell("没有更早的壁纸了");
        return;
    }
    // One step at a time: a second click waits for the first step's picture.
    stepBack_.Join();
    stepBack_.Start("history-step", [picture](const sys::StopSignal&) {
        wallpaper::ApplyDesktopWallpaper(picture, wallpaper::kStretchedStyle);
    });
}

void Program::BringMainWindowForward() {
    ShowMainWindow();
    if (ui::WindowId main = core::WindowOf(core::WindowKind::Main)) engine_.BringToFront(main);
}

void Program::OpenRotationWindow() {
    // A second request while it is open only brings it forward; the first call is still in
    // its modal loop.
    if (core::IsOpen(core::WindowKind::Rotation)) {
        OpenWindow(core::WindowKind::Rotation);
        return;
    }
    engine_.RunModal(OpenWindow(core::WindowKind::Rotation));
}

void Program::OpenNodeWindowAndAskForNodes() {
    OpenWindow(core::WindowKind::Node);
    net::SendNodeListRequest(link_);
}

void Program::SendDetailDownloadRequest() {
    auto label = [this](const char* name) {
        return engine_.GetText(core::ControlOf(core::WindowKind::Detail, name), ui::attr::kCaption);
    };
    net::SendDetailDownloadRequest(link_, label(dw::kCategoryLabel), label(dw::kPathLabel),
                                   options_.machineId);
}

void Program::Exit() {
    // Nothing is stopped or saved; only the tray icon goes, so no dead icon stays behind.
    RemoveTrayIcon();
    options_.ender(0);
}

void Program::OnReply(const uint8_t* data, size_t length) { net::DispatchReply(*this, data, length); }

void Program::OnListPage(const net::ListPage& page) {
    core::InitSettingsAndFolders();
    browsing_.ApplyListPage(page);
    wallpaper::FillCategoryList(*page.category, page.paths, page.baseUrl, link_);
}

void Program::OnDetail(const net::Detail& detail) { wallpaper::ShowDetail(detail); }

void Program::OnDownloadOrder(const net::DownloadOrder& order) {
    if (order.mode == net::DownloadOrder::Mode::Visible) {
        if (ui::WindowId window = core::WindowOf(core::WindowKind::Download))
            engine_.ShowWindow(window, true);
        wallpaper::StartWallpaperDownload(order.url);
    } else {
        wallpaper::StartSilentDownload(order.url);
    }
}

void Program::OnHello(const net::Hello& hello) {
    SetInterval(0);
    if (hello.showNotice) notices_.Show(hello.notice);
    wallpaper::TakeNodeFromHello(hello);
    net::SendRegisterNode(link_);
    browsing_.Show4KView();
}

void Program::OnNodeList(const net::NodeList& list) { wallpaper::ShowNodeRows(list); }

void Program::OnNotice(const net::Notice& notice) { notices_.Show(notice.text); }

void Program::SetInterval(int ms) {
    if (ui::ControlId timer = core::ControlOf(core::WindowKind::Main, mw::kConnectTimer))
        engine_.SetInt(timer, ui::attr::kInterval, ms);
}

}  // namespace app
