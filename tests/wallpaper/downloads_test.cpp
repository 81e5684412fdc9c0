// The two download slots against a real HTTP server on 127.0.0.1, with the program's windows
// on the headless engine and a desktop that records what it is asked.
#include "wallpaper/downloads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#endif

#include "core/control_names.h"
#include "core/settings.h"
#include "download_test_server.h"
#include "download_test_support.h"
#include "memory_settings_store.h"
#include "wallpaper_doubles.h"

namespace {

using core::WindowKind;
namespace dw = core::controls::download_window;

class Downloads : public ::testing::Test {
  protected:
    void SetUp() override {
        storage = dir.File("s");
#ifdef _WIN32
        // Natively the backslashes are part of one file name; Windows needs the folders.
        _mkdir(storage.c_str());
        _mkdir((storage + "\\壁纸").c_str());
#endif
        core::SetStorageFolder(storage);
        for (WindowKind kind : {WindowKind::Download, WindowKind::Detail}) {
            windows.Open(kind);
            windows.engine.ShowWindow(core::WindowOf(kind), true);
        }
    }
    void TearDown() override {
        wallpaper::VisibleSlot().Stop();
        wallpaper::SilentSlot().Stop();
        wallpaper::VisibleSlot().WaitIdle(30000);
        wallpaper::SilentSlot().WaitIdle(30000);
    }
    std::string Label(const char* name) { return windows.Caption(WindowKind::Download, name); }
    int Timer() { return windows.Int(WindowKind::Download, dw::kProgressTimer, ui::attr::kInterval); }
    int Bar() { return windows.Int(WindowKind::Download, dw::kProgressBar, ui::attr::kValue); }

    testing_support::MemorySettingsStore store;
    dltest::TempDir dir;
    wptest::FileDesktop desktop{dir.path() / "system"};
    wptest::Windows windows;
    dltest::TestHttpServer server;
    std::string storage;
};

TEST_F(Downloads, VisibleSlotAppliesThePictureDeletesItsFileAndHidesBothWindows) {
    // 2,621,440 bytes: five connections, and a total of exactly 2560 KB.
    std::string picture = "PIC" + dltest::RandomBytes(2621440 - 3, 7);
    server.AddFile("/w.jpg", picture);

    ASSERT_TRUE(wallpaper::StartWallpaperDownload(server.Url("/w.jpg")));
    ASSERT_TRUE(dltest::FinishWithin(wallpaper::VisibleSlot(), 60000));

    EXPECT_EQ(desktop.Styles(), std::vector<std::string>{"2/0"});
    EXPECT_EQ(desktop.DesktopCalls(), std::vector<std::string>{desktop.WindowsBitmap()});
    EXPECT_TRUE(desktop.Read(desktop.WindowsBitmap()) == "BMP" + picture.substr(3));
    EXPECT_FALSE(desktop.Exists(storage + "\\壁纸\\壁纸.jpg"));
    EXPECT_EQ(wallpaper::VisibleTarget(), storage + "\\壁纸\\壁纸.jpg");

    EXPECT_EQ(Label(dw::kProgressText1), "2560KB");
    EXPECT_EQ(Label(dw::kNodeLabel), "当前节点：香港服务器");
    EXPECT_EQ(Label(dw::kSponsorLabel), "节点赞助：砚舟 提供服务器支持");
    EXPECT_EQ(Timer(), 0);
    EXPECT_EQ(Bar(), 0);
    EXPECT_FALSE(windows.Visible(WindowKind::Download));
    EXPECT_FALSE(windows.Visible(WindowKind::Detail));
}

TEST_F(Downloads, ProgressTickShowsSpeedBytesAndShareAndAShortTransferIsNeverApplied) {
    // Nothing running, nothing known: no division by an unknown total.
    wallpaper::ShowDownloadProgress();
    EXPECT_EQ(Label(dw::kProgressText4), "0%");
    EXPECT_EQ(Label(dw::kProgressText2), "0kb/秒");

    // The node drops the connection after 1536 of 3072 bytes; the engine waits 5 s before it
    // asks again, and the test looks in between.
    store.Write(core::SettingsPath(), core::kSectionNode, core::kKeyNodeName, "东京节点");
    server.AddFile("/half.jpg", "PIC" + std::string(3069, 'x'));
    dltest::Behaviour drop;
    drop.dropAfterBytes = 1536;
    drop.dropTimes = 1;
    server.SetBehaviour(drop);
    ASSERT_TRUE(wallpaper::StartWallpaperDownload(server.Url("/half.jpg")));
    EXPECT_EQ(Label(dw::kNodeLabel), "当前节点：东京节点");
    EXPECT_EQ(Timer(), 1000);
    for (int i = 0; i < 1000 && wallpaper::VisibleSlot().BytesSoFar() < 1536; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(wallpaper::VisibleSlot().BytesSoFar(), 1536);

    wallpaper::ShowDownloadProgress();
    EXPECT_EQ(Label(dw::kProgressText1), "3KB");
    EXPECT_EQ(Label(dw::kProgressText2), "1.5kb/秒");
    EXPECT_EQ(Label(dw::kProgressText3), "1.5KB");
    EXPECT_EQ(Label(dw::kProgressText4), "50%");
    EXPECT_EQ(Bar(), 50);
    // The speed counts from the previous tick.
    wallpaper::ShowDownloadProgress();
    EXPECT_EQ(Label(dw::kProgressText2), "0kb/秒");

    // A second reply while the slot is busy starts nothing and leaves the running file alone.
    EXPECT_FALSE(wallpaper::StartWallpaperDownload(server.Url("/half.jpg")));
    EXPECT_TRUE(desktop.Exists(wallpaper::VisibleTarget()));

    // Stopped short: the half picture never reaches the desktop, and its file goes.
    wallpaper::VisibleSlot().Stop();
    ASSERT_TRUE(wallpaper::VisibleSlot().WaitIdle(30000));
    EXPECT_TRUE(desktop.DesktopCalls().empty());
    EXPECT_FALSE(desktop.Exists(wallpaper::VisibleTarget()));
    EXPECT_FALSE(windows.Visible(WindowKind::Download));
}

TEST_F(Downloads, SilentSlotClearsAStaleFileAppliesTheNewPictureAndTouchesNoWindow) {
    desktop.WriteWholeFile(wallpaper::SilentTarget(), "PIC-stale picture of an interrupted run");
    server.AddFile("/r.jpg", "PIC-rotation");

    ASSERT_TRUE(wallpaper::StartSilentDownload(server.Url("/r.jpg")));
    ASSERT_TRUE(dltest::FinishWithin(wallpaper::SilentSlot(), 30000));

    EXPECT_EQ(desktop.Read(desktop.WindowsBitmap()), "BMP-rotation");
    EXPECT_EQ(desktop.DesktopCalls().size(), 1u);
    EXPECT_FALSE(desktop.Exists(wallpaper::SilentTarget()));
    EXPECT_TRUE(windows.Visible(WindowKind::Download));
    EXPECT_TRUE(windows.Visible(WindowKind::Detail));
    EXPECT_EQ(Timer(), 0);
}

TEST_F(Downloads, AUrlTheEngineRefusesStartsNothingAndTakesTheWindowAway) {
    // Node text is not trusted: a line break would put a header of the node's choosing on the
    // wire to the URL's host. Nothing may reach that host, not even a connection.
    server.AddFile("/w.jpg", "PIC-new");
    for (std::string url : {server.Url("/w.jpg\r\nX-Name: 1"), server.Url("/w.jpg X"),
                            server.Url("/w.jpg\x7F"), std::string("https://127.0.0.1/w.jpg"),
                            "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/w.jpg"}) {
        EXPECT_FALSE(wallpaper::StartWallpaperDownload(url)) << url;
        EXPECT_FALSE(wallpaper::VisibleSlot().Busy());
        EXPECT_FALSE(windows.Visible(WindowKind::Download));
        EXPECT_EQ(Timer(), 0);
    }
    EXPECT_FALSE(wallpaper::StartSilentDownload("ftp:/nothing"));
    EXPECT_FALSE(wallpaper::StartSilentDownload(server.Url("/w.jpg\r\nX-Name: 1")));
    EXPECT_EQ(server.Connections(), 0u);
    EXPECT_TRUE(desktop.DesktopCalls().empty());
}

// The window belongs to the start the slot accepts. A reply that lands after the end of the
// previous transfer but before its slot is free again is refused, and must neither show the
// window nor keep it open with its timer stopped.
TEST_F(Downloads, TheWindowShowsOnlyForAnAcceptedStart) {
    windows.engine.ShowWindow(core::WindowOf(WindowKind::Download), false);
    server.AddFile("/a.jpg", "PIC-a");
    std::atomic<bool> shownAtTheEnd{false};
    std::atomic<int> startedInsideTheEnd{-1};
    desktop.onDesktopCall = [&] {
        shownAtTheEnd = windows.Visible(WindowKind::Download);
        startedInsideTheEnd = wallpaper::StartWallpaperDownload(server.Url("/a.jpg")) ? 1 : 0;
    };
    ASSERT_TRUE(wallpaper::StartWallpaperDownload(server.Url("/a.jpg")));
    ASSERT_TRUE(dltest::FinishWithin(wallpaper::VisibleSlot(), 30000));
    desktop.onDesktopCall = nullptr;
    EXPECT_TRUE(shownAtTheEnd);
    EXPECT_EQ(startedInsideTheEnd, 0);
    EXPECT_FALSE(windows.Visible(WindowKind::Download));
    EXPECT_EQ(Timer(), 0);
    EXPECT_EQ(desktop.DesktopCalls().size(), 1u);
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
