// The real exe under Wine + Xvfb: its windows appear with their sizes and titles, the shell's
// buttons and tray menu open and close them, and "退出" ends the process with code 0.
#include <gtest/gtest.h>

#include "app_driver.h"

namespace {

constexpr int kWait = 15000;

class RunningProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        std::wstring exe = e2e::WinePath(std::string(MIAOLAN_BINARY_DIR) + "/src/app/MiaolanWallpaper.exe");
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &si, &process));
        CloseHandle(process.hThread);
    }
    void TearDown() override {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, kWait);
        }
        CloseHandle(process.hProcess);
    }
    void ExpectSize(HWND w, int width, int height) {
        ASSERT_NE(w, nullptr);
        SIZE s = e2e::ClientSize(w);
        // Wine runs at 96 dpi here; at other scales the sizes grow by the same factor.
        EXPECT_EQ(s.cx * height, s.cy * width);
        EXPECT_GE(s.cx, width);
    }

    PROCESS_INFORMATION process{};
};

TEST_F(RunningProgram, WindowsOpenCloseAndExitAsDesigned) {
    HWND main = e2e::WaitForWindow(L"渺岚壁纸", kWait);
    ExpectSize(main, 1280, 847);
    // The two auxiliary windows exist from start-up, hidden.
    HWND detail = e2e::WaitForWindow(L"渺岚壁纸_详细描述", kWait, false);
    HWND download = e2e::WaitForWindow(L"渺岚壁纸_壁纸下载", kWait, false);
    ExpectSize(detail, 879, 657);
    ExpectSize(download, 367, 161);
    EXPECT_FALSE(IsWindowVisible(detail));
    EXPECT_FALSE(IsWindowVisible(download));

    // Hide with the window's own button; a single tray click does nothing, a double-click shows it.
    e2e::ClickDesign(main, 1280, 1260, 28);
    ASSERT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸", kWait));
    e2e::PostTrayEvent(main, 1);
    e2e::PostTrayEvent(main, 2);
    EXPECT_EQ(e2e::WaitForWindow(L"渺岚壁纸", kWait), main);

    e2e::ClickDesign(main, 1280, 1194, 28);
    HWND settings = e2e::WaitForWindow(L"渺岚壁纸_设置", kWait);
    ExpectSize(settings, 429, 296);

    // The rotation window is modal: the others wait while it is open.
    e2e::ClickDesign(settings, 429, 212, 181);
    HWND rotation = e2e::WaitForWindow(L"渺岚壁纸_自动更换", kWait);
    ExpectSize(rotation, 429, 193);
    EXPECT_FALSE(IsWindowEnabled(settings));
    EXPECT_FALSE(IsWindowEnabled(main));
    e2e::ClickDesign(rotation, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_自动更换", kWait));
    // The modal loop gives the others back their input just after its window has gone.
    for (int waited = 0; waited < kWait && !IsWindowEnabled(settings); waited += 50) Sleep(50);
    EXPECT_TRUE(IsWindowEnabled(settings));
    e2e::ClickDesign(settings, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_设置", kWait));

    ASSERT_TRUE(e2e::ChooseTrayMenu(main, e2e::kTrayExit, kWait));
    HWND exitWindow = e2e::WaitForWindow(L"渺岚壁纸_退出", kWait);
    ExpectSize(exitWindow, 288, 151);
    e2e::ClickDesign(exitWindow, 288, 92, 124);  // "取消"
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_退出", kWait));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(e2e::ChooseTrayMenu(main, e2e::kTrayExit, kWait));
    exitWindow = e2e::WaitForWindow(L"渺岚壁纸_退出", kWait);
    ASSERT_NE(exitWindow, nullptr);
    e2e::ClickDesign(exitWindow, 288, 188, 124);  // "退出"
    ASSERT_EQ(WaitForSingleObject(process.hProcess, kWait), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace
