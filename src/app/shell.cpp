#include "app/shell.h"

#include "core/main_window.h"
#include "core/window_registry.h"

namespace app {
namespace {

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

void RemoveTrayIcon() {
    if (ui::WindowId main = core::WindowOf(core::WindowKind::Main)) core::Ui().RemoveTrayIcon(main);
}

void CloseSettingsWindow() { CloseKind(core::WindowKind::Settings); }
void CloseRotationWindow() { CloseKind(core::WindowKind::Rotation); }
void CloseExitWindow() { CloseKind(core::WindowKind::Exit); }
void CloseDisplayWindow() { CloseKind(core::WindowKind::Display); }

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

}  // namespace app
