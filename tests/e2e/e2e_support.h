// What the whole-program tests run by tests/e2e/with_node.sh share: their folders, a copy of
// the program with its own Config.ini, the node's log and restart, and screenshots of the
// virtual desktop. Windows only; every wait is bounded.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// The run's work folder and screenshot folder (Windows paths), empty outside with_node.sh.
std::wstring WorkFolder();
std::wstring ShotsFolder();

// Copies the built exe and HPSocket4C.dll into a new folder of the work folder; its path.
std::wstring InstallProgramCopy(const std::string& name);
// One value of the copy's data\Config.ini, written in the code page's bytes as the program
// reads them.
void WriteConfig(const std::wstring& programFolder, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value);

// Lines of the node's log holding `text`.
int CountInNodeLog(const std::wstring& text);
bool WaitForNodeLog(const std::wstring& text, int count, int timeoutMs);
// Asks with_node.sh to stop and start the node; true once it is listening again.
bool RestartNode(int timeoutMs);

// The screen (the virtual desktop) as a 24-bit BMP in the screenshot folder.
void Shoot(const std::wstring& name);
// The screen's colour at (x, y).
COLORREF ScreenPixel(int x, int y);

}  // namespace e2e
