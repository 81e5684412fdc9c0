#include "e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

}  // namespace e2e
