#include "app/shell.h"

#include <atomic>
#include <cstdlib>

#include "app/event_bindings.h"
#include "core/main_window.h"
#include "core/window_registry.h"

namespace app {
namespace {

void EndImmediately(int code) { std::_Exit(code); }
std::atomic<ProcessEnder> g_ender{&EndImmediately};

void CloseKind(core::WindowKind kind) {
    ui::WindowId window = core::WindowOf(kind);
    if (window) core::Ui().DestroyWindow(window);
}

}  // namespace

void ShowMainWindow() {
    ui::WindowId main = core::WindowOf(core::WindowKind::Main);
    if (!main) return;
    core::Ui().ShowWindow(main, true);
    core::Ui().SetWindowState(main, ui::WindowState::Normal);
}

void HideMainWindow() {
    if (ui::WindowId main = core::WindowOf(core::WindowKind::Main)) core::Ui().ShowWindow(main, false);
}

void MinimizeMainWindow() {
    if (ui::WindowId main = core::WindowOf(core::WindowKind::Main)) core::Ui().MinimizeWindow(main);
}

void OnTrayEvent(int kind) {
    if (kind == 2) {
        ShowMainWindow();
    } else if (kind == 3) {
        if (ui::ControlId menu = core::ControlOf(core::WindowKind::Main, "菜单"))
            core::Ui().PopupTrayMenu(menu, 5, 5);
    }
}

void RemoveTrayIcon() {
    if (ui::WindowId main = core::WindowOf(core::WindowKind::Main)) core::Ui().RemoveTrayIcon(main);
}

void OnTrayMenu(int item) {
    switch (item) {
        case 0:
            ShowMainWindow();
            break;
        case 2:
            OpenSettingsWindow();
            break;
        case 4:
            OpenExitWindow();
            break;
        default:
            break;
    }
}

void OpenSettingsWindow() { OpenWindow(core::WindowKind::Settings); }

void OpenExitWindow() { OpenWindow(core::WindowKind::Exit); }

void OpenRotationWindow() {
    // A second request while it is open only brings it forward; the first call is still in
    // its modal loop.
    if (core::IsOpen(core::WindowKind::Rotation)) {
        OpenWindow(core::WindowKind::Rotation);
        return;
    }
    ui::WindowId window = OpenWindow(core::WindowKind::Rotation);
    core::Ui().RunModal(window);
}

void OpenNodeWindow() { OpenWindow(core::WindowKind::Node); }

void CloseSettingsWindow() { CloseKind(core::WindowKind::Settings); }
void CloseRotationWindow() { CloseKind(core::WindowKind::Rotation); }
void CloseExitWindow() { CloseKind(core::WindowKind::Exit); }

bool HideDetailWindow() {
    if (ui::WindowId w = core::WindowOf(core::WindowKind::Detail)) core::Ui().ShowWindow(w, false);
    return false;
}

bool HideDownloadWindow() {
    if (ui::WindowId w = core::WindowOf(core::WindowKind::Download)) core::Ui().ShowWindow(w, false);
    return false;
}

void ShowDynamicWallpaperNotice() {
    core::Ui().MsgBox("渺岚壁纸", "动态壁纸正在开发中\r\n关注QQ群,第一时间会发布到群内", "确定",
                      core::WindowOf(core::WindowKind::Main));
    // The click selected the dynamic selector, but there is no such view to show.
    core::SyncViewSelectors();
}

void ShowFavouriteNotice() { core::Ui().MsgBox("渺岚壁纸", "此功能作者正在开发中", "", 0); }

void ExitProgram() {
    // Nothing is stopped or saved; only the tray icon goes, so no dead icon stays behind.
    RemoveTrayIcon();
    g_ender.load()(0);
}

void SetProcessEnder(ProcessEnder ender) { g_ender.store(ender ? ender : &EndImmediately); }

}  // namespace app
