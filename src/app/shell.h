// The shell's own handlers that need nothing of the program: the main window, the tray icon,
// closing the secondary windows and the notices of features in development.
#pragma once

namespace app {

void ShowMainWindow();
void HideMainWindow();
void MinimizeMainWindow();
void RemoveTrayIcon();

void CloseSettingsWindow();
void CloseRotationWindow();
void CloseExitWindow();
void CloseDisplayWindow();

// Close requests of the two auxiliary windows: hide, and keep the window (answer false).
bool HideDetailWindow();
bool HideDownloadWindow();

// The notice of the dynamic view; the view stays, and so does its selector.
void ShowDynamicWallpaperNotice();
void ShowFavouriteNotice();

}  // namespace app
