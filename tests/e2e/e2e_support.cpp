#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "app_driver.h"

namespace e2e {
namespace {

std::wstring FromEnvironment(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    if (n == 0 || n >= 1024) return L"";
    std::string linux;
    for (wchar_t* p = value; *p; ++p) linux += static_cast<char>(*p);
    return WinePath(linux);
}

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring NodeLog() {
    std::ifstream in(std::filesystem::path(WorkFolder() + L"\\node.log"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::wstring WorkFolder() { return FromEnvironment(L"MIAOLAN_E2E_WORK"); }
std::wstring ShotsFolder() { return FromEnvironment(L"MIAOLAN_E2E_SHOTS"); }

std::wstring InstallProgramCopy(const std::string& name) {
    std::wstring folder = WorkFolder() + L"\\program-" + std::wstring(name.begin(), name.end());
    std::wstring built = WinePath(MIAOLAN_BINARY_DIR);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!CopyFileW((built + L"\\src\\app\\MiaolanWallpaper.exe").c_str(),
                   (folder + L"\\MiaolanWallpaper.exe").c_str(), FALSE) ||
        !CopyFileW((built + L"\\HPSocket4C.dll").c_str(), (folder + L"\\HPSocket4C.dll").c_str(), FALSE))
        return L"";
    CreateDirectoryW((folder + L"\\data").c_str(), nullptr);
    return folder;
}

void WriteConfig(const std::wstring& programFolder, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value) {
    std::string ini = Narrow(programFolder + L"\\data\\Config.ini");
    EXPECT_TRUE(WritePrivateProfileStringA(Narrow(section).c_str(), Narrow(key).c_str(),
                                           Narrow(value).c_str(), ini.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
}

int CountInNodeLog(const std::wstring& text) {
    std::wstring log = NodeLog();
    int count = 0;
    for (size_t at = log.find(text); at != std::wstring::npos; at = log.find(text, at + text.size())) ++count;
    return count;
}

bool WaitForNodeLog(const std::wstring& text, int count, int timeoutMs) {
    for (int waited = 0;; waited += 100) {
        if (CountInNodeLog(text) >= count) return true;
        if (waited >= timeoutMs) return false;
        Sleep(100);
    }
}

bool RestartNode(int timeoutMs) {
    std::wstring done = WorkFolder() + L"\\node-restarted";
    DeleteFileW(done.c_str());
    std::wstring request = WorkFolder() + L"\\node-command";
    {
        std::ofstream out(std::filesystem::path(request + L".new"), std::ios::binary);
        out << "restart";
    }
    // Renamed into place so the script never reads half a command.
    if (!MoveFileExW((request + L".new").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        if (Exists(done)) return true;
        Sleep(50);
    }
    return false;
}

void Shoot(const std::wstring& name) {
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream out(std::filesystem::path(ShotsFolder() + L"\\" + std::wstring(test.begin(), test.end()) +
                                            L"-" + name + L".bmp"),
                      std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

COLORREF Screen::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const unsigned char* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
    return RGB(p[2], p[1], p[0]);
}

Screen Capture() {
    Screen s;
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = s.width;
    info.bmiHeader.biHeight = -s.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    size_t stride = (static_cast<size_t>(s.width) * 3 + 3) & ~size_t{3};
    s.bgr.resize(static_cast<size_t>(s.width) * s.height * 3);
    for (int y = 0; y < s.height; ++y)
        memcpy(&s.bgr[static_cast<size_t>(y) * s.width * 3], static_cast<unsigned char*>(bits) + y * stride,
               static_cast<size_t>(s.width) * 3);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return s;
}

bool Near(COLORREF a, COLORREF b) {
    if (a == CLR_INVALID || b == CLR_INVALID) return false;
    return abs(GetRValue(a) - GetRValue(b)) <= 8 && abs(GetGValue(a) - GetGValue(b)) <= 8 &&
           abs(GetBValue(a) - GetBValue(b)) <= 8;
}

bool FindColour(const Screen& screen, COLORREF colour, const RECT& area, RECT* box, int minimum) {
    RECT found{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    int count = 0;
    for (int y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, screen.height); ++y)
        for (int x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, screen.width); ++x)
            if (Near(screen.At(x, y), colour)) {
                ++count;
                found.left = std::min<LONG>(found.left, x);
                found.top = std::min<LONG>(found.top, y);
                found.right = std::max<LONG>(found.right, x + 1);
                found.bottom = std::max<LONG>(found.bottom, y + 1);
            }
    if (count < minimum) return false;
    if (box) *box = found;
    return true;
}

std::vector<CataloguePicture> Catalogue() {
    std::ifstream in(std::filesystem::path(WorkFolder() + L"\\catalogue.txt"), std::ios::binary);
    std::vector<CataloguePicture> pictures;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string path;
        int r = 0, g = 0, b = 0;
        if (!(fields >> path >> r >> g >> b)) continue;
        int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
        wide.resize(wide.size() - 1);
        size_t slash = wide.find(L'/');
        pictures.push_back({wide.substr(0, slash), wide.substr(slash + 1), RGB(r, g, b)});
    }
    return pictures;
}

void ClickScreen(HWND window, int x, int y) {
    POINT p{x, y};
    ScreenToClient(window, &p);
    LPARAM at = MAKELPARAM(p.x, p.y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

RECT ScreenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

COLORREF BitmapCentre(const std::wstring& path) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!bitmap) return CLR_INVALID;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    COLORREF c = GetPixel(memory, info.bmWidth / 2, info.bmHeight / 2);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return c;
}

}  // namespace e2e
