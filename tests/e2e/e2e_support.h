// What the whole-program tests run by tests/e2e/with_node.sh share: their folders, a copy of
// the program with its own Config.ini, the node's log and restart, and screenshots of the
// virtual desktop. Windows only; every wait is bounded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// The screen's pixels at one moment.
struct Screen {
    int width = 0, height = 0;
    std::vector<unsigned char> bgr;  // top-down rows, 3 bytes a pixel, no padding
    COLORREF At(int x, int y) const;
};
Screen Capture();
// Colours match within a few steps per channel (JPEG and scaling move them a little).
bool Near(COLORREF a, COLORREF b);
// The bounding box of the pixels near `colour` inside `area`; false when fewer than
// `minimum` pixels match.
bool FindColour(const Screen& screen, COLORREF colour, const RECT& area, RECT* box, int minimum = 2000);

// The catalogue with_node.sh built: each picture's category (UTF-16) and its one colour.
struct CataloguePicture {
    std::wstring category;
    std::wstring file;
    COLORREF colour;
};
std::vector<CataloguePicture> Catalogue();

// A left click at screen pixel (x, y) on the window that is there, posted as the mouse would.
void ClickScreen(HWND window, int x, int y);
// The window's rectangle on the screen.
RECT ScreenRect(HWND window);
// The colour of a 24- or 32-bit BMP file at its centre; CLR_INVALID when it cannot be read.
COLORREF BitmapCentre(const std::wstring& path);

}  // namespace e2e
