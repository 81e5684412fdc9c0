// The shell's own handlers: the main window, the tray icon and its menu, the notices of
// features in development, the secondary windows and the end of the program.
#pragma once

#include <string>

namespace app {

void ShowMainWindow();
void HideMainWindow();
void MinimizeMainWindow();
// kind 1 left button released, 2 double-click, 3 right button released or menu key.
void OnTrayEvent(int kind);
void RemoveTrayIcon();
// The tray menu's choice: 0 "打开", 2 "设置", 4 "退出" (separators count).
void OnTrayMenu(int item);

void OpenSettingsWindow();
void OpenExitWindow();
// Modal: returns when the rotation window has closed.
void OpenRotationWindow();
// Creates (or brings forward) the node window; the node-list buttons send their request after.
void OpenNodeWindow();

void CloseSettingsWindow();
void CloseRotationWindow();
void CloseExitWindow();

// Close requests of the two auxiliary windows: hide, and keep the window (answer false).
bool HideDetailWindow();
bool HideDownloadWindow();

// The notice of the dynamic view; the view stays, and so does its selector.
void ShowDynamicWallpaperNotice();
void ShowFavouriteNotice();

// Ends the process at once with exit code 0 (after taking the tray icon away).
void ExitProgram();

// How the process ends; the platform's immediate exit unless replaced.
using ProcessEnder = void (*)(int code);
void SetProcessEnder(ProcessEnder ender);

}  // namespace app
