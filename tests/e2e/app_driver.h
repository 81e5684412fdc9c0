// Drives a running MiaolanWallpaper.exe from another process, as a user would: finds its
// windows by title and clicks at design coordinates. Windows only; every wait is bounded.
#pragma once

#include <windows.h>

#include <string>

#include "ui/program_window.h"

namespace e2e {

// The visible window of the program with exactly this title, or null after `timeoutMs`.
HWND WaitForWindow(const wchar_t* title, int timeoutMs, bool visible = true);
// Waits until the window is gone or hidden; false on time-out.
bool WaitUntilGone(const wchar_t* title, int timeoutMs);
SIZE ClientSize(HWND window);
// A left click at (x, y) in design pixels of a window `designWidth` wide. Posted, so a click
// that opens a modal window does not hold the driver.
void ClickDesign(HWND window, int designWidth, int x, int y);
// The tray icon's event as the shell sends it: 1 left up, 2 double-click, 3 context menu.
void PostTrayEvent(HWND main, int kind);
// The tray menu's commands, separators not counted.
enum TrayCommand { kTrayOpen = 1, kTraySettings, kTrayDisplay, kTrayNext, kTrayPrevious, kTrayExit };
// Opens the tray menu and chooses the command.
bool ChooseTrayMenu(HWND main, int command, int timeoutMs);
// Z:\ path of a Linux path, for CreateProcess under Wine.
std::wstring WinePath(const std::string& linuxPath);

// Starts the command line; null handle when it could not be started. The caller closes it.
HANDLE Start(const std::wstring& commandLine);
// Runs the command line to its end; its exit code, or -1 when it did not start or end in time.
long RunToEnd(const std::wstring& commandLine, int timeoutMs);
// The visible skinned window with this title that belongs to the process, or null.
HWND WaitForWindowOf(HANDLE process, const wchar_t* title, int timeoutMs);
// Ends the process and waits for it.
void EndProcess(HANDLE process);

}  // namespace e2e
