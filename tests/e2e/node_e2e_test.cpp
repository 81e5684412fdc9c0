// The real exe against the real node, inside a Wine virtual desktop (tests/e2e/with_node.sh
// starts both): start-up and greeting, the node restarting, rotation asking for a new
// wallpaper, and the exit from the tray menu. What the node received is read from its log.
#include <gtest/gtest.h>

#include <string>

#include "app_driver.h"
#include "e2e_support.h"

namespace {

constexpr int kWait = 30000;

class ProgramWithNode : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(e2e::WorkFolder().empty()) << "run through tests/e2e/with_node.sh";
        ASSERT_TRUE(e2e::WaitForNodeLog(L"node: protocol on", 1, kWait));
    }
    void TearDown() override {
        if (program_) {
            e2e::EndProcess(program_);
            CloseHandle(program_);
        }
    }

    // A fresh copy of the program in a folder of its own, with these rotation settings.
    void StartProgram(const wchar_t* period) {
        folder_ = e2e::InstallProgramCopy(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_FALSE(folder_.empty());
        e2e::WriteConfig(folder_, L"常规设置", L"路径", e2e::WorkFolder() + L"\\storage");
        e2e::WriteConfig(folder_, L"自动更换", L"周期", period);
        program_ = e2e::Start(L"\"" + folder_ + L"\\MiaolanWallpaper.exe\"");
        ASSERT_NE(program_, nullptr);
        main_ = e2e::WaitForWindowOf(program_, L"渺岚壁纸", kWait);
        ASSERT_NE(main_, nullptr);
    }

    // The tray menu's "退出", then the exit window's "退出": the process ends with code 0.
    void ExitFromTray() {
        ASSERT_TRUE(e2e::ChooseTrayMenu(main_, 3, kWait));
        HWND exitWindow = e2e::WaitForWindowOf(program_, L"渺岚壁纸_退出", kWait);
        ASSERT_NE(exitWindow, nullptr);
        e2e::Shoot(L"exit-window");
        e2e::ClickDesign(exitWindow, 288, 188, 124);
        ASSERT_EQ(WaitForSingleObject(program_, kWait), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 1;
        GetExitCodeProcess(program_, &code);
        EXPECT_EQ(code, 0u);
    }

    std::wstring folder_;
    HANDLE program_ = nullptr;
    HWND main_ = nullptr;
};

TEST_F(ProgramWithNode, GreetsTheNodeAgainWithinSixSecondsOfItsRestartAndExitsFromTheTray) {
    StartProgram(L"0");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    e2e::Shoot(L"greeted");

    int hellos = e2e::CountInNodeLog(L"&1 answered");
    ASSERT_TRUE(e2e::RestartNode(60000));
    // The connect timer retries every 1 to 5 seconds; the first tick after the node is back
    // connects and greets.
    DWORD back = GetTickCount();
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&1 answered", hellos + 1, 6000));
    EXPECT_LE(GetTickCount() - back, 6000u);
    ExitFromTray();
}

TEST_F(ProgramWithNode, RotationAsksTheNodeForANewWallpaperOnceItsPeriodHasPassed) {
    // One minute is the shortest period the settings file can hold: 65 seconds.
    StartProgram(L"1");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&更换 answered", 1, 120000));
    // Keep-alives went out between, at most a minute apart.
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&4 no reply", 1, kWait));
    e2e::Shoot(L"rotated");
    ExitFromTray();
}

}  // namespace
