// The desktop application's decisions on a pretend codec and real files: what is written
// where, when the desktop is called and when it is not.
#include "wallpaper/desktop.h"

#include <gtest/gtest.h>

#include "download_test_support.h"
#include "memory_settings_store.h"
#include "wallpaper/display_settings.h"
#include "wallpaper_doubles.h"

namespace {

using wallpaper::ApplyDesktopWallpaper;
using wallpaper::ConvertImage;

TEST(ConvertImage, WritesWithTheFormatsExtensionOnceAndRefusesWhatItCannotDecode) {
    dltest::TempDir dir;
    wptest::FileDesktop desktop(dir.path());
    std::string out;

    // A path already ending in the extension, in any case, gets no second one.
    ASSERT_EQ(ConvertImage("PIC-a", 1, dir.File("A.BMP"), &out), 1);
    EXPECT_EQ(out, "BMP-a");
    EXPECT_EQ(desktop.Read(dir.File("A.BMP")), "BMP-a");
    EXPECT_EQ(desktop.Read(dir.File("A.BMP.bmp")), "<missing>");
    ASSERT_EQ(ConvertImage("PIC-b", 5, dir.File("b.jpg"), &out), 1);
    EXPECT_EQ(desktop.Read(dir.File("b.jpg.png")), "BMP-b");

    // A blank path converts without writing.
    bool written = true;
    ASSERT_EQ(ConvertImage("PIC-c", 1, "  ", &out, &written), 1);
    EXPECT_FALSE(written);
    EXPECT_EQ(out, "BMP-c");

    // Too short, an unknown format or bytes that are no picture: nothing is written, so the
    // file already there stays.
    out = "kept";
    EXPECT_EQ(ConvertImage("PI", 1, dir.File("A.BMP"), &out), 0);
    EXPECT_EQ(ConvertImage("PIC-d", 6, dir.File("A.BMP"), &out), 0);
    EXPECT_EQ(ConvertImage("<html>not found</html>", 1, dir.File("A.BMP"), &out, &written), 0);
    EXPECT_FALSE(written);
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(desktop.Read(dir.File("A.BMP")), "BMP-a");
}

TEST(ApplyDesktopWallpaper, WritesStyleTwoTheBitmapInTheWindowsFolderAndCallsTheDesktop) {
    dltest::TempDir dir;
    wptest::FileDesktop desktop(dir.path());
    desktop.WriteWholeFile(dir.File("p.jpg"), "PIC-one");

    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("p.jpg"), wallpaper::kStretchedStyle), 1);
    EXPECT_EQ(desktop.Styles(), std::vector<std::string>{"2/0"});
    EXPECT_EQ(desktop.Read(desktop.WindowsBitmap()), "BMP-one");
    EXPECT_EQ(desktop.DesktopCalls(), std::vector<std::string>{desktop.WindowsBitmap()});
    // The picture file is the caller's to delete.
    EXPECT_EQ(desktop.Read(dir.File("p.jpg")), "PIC-one");

    // Other style codes, as far as the registry sees them.
    ApplyDesktopWallpaper(dir.File("p.jpg"), 5);
    ApplyDesktopWallpaper(dir.File("p.jpg"), 0);
    EXPECT_EQ(desktop.Styles(), (std::vector<std::string>{"2/0", "22/0", "0/1"}));
}

TEST(ApplyDesktopWallpaper, KeepsThePreviousBitmapAndSkipsTheDesktopForAPictureItCannotUse) {
    dltest::TempDir dir;
    wptest::FileDesktop desktop(dir.path());
    desktop.WriteWholeFile(dir.File("good.jpg"), "PIC-good");
    ASSERT_EQ(ApplyDesktopWallpaper(dir.File("good.jpg"), 2), 1);

    desktop.WriteWholeFile(dir.File("bad.jpg"), "<html>502 Bad Gateway</html>");
    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("bad.jpg"), 2), 0);
    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("absent.jpg"), 2), 0);
    desktop.WriteWholeFile(dir.File("empty.jpg"), "");
    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("empty.jpg"), 2), 0);

    EXPECT_EQ(desktop.Read(desktop.WindowsBitmap()), "BMP-good");
    EXPECT_EQ(desktop.DesktopCalls().size(), 1u);
}

TEST(ApplyDesktopWallpaper, FallsBackToThePerUserFolderWhenTheWindowsFolderRefusesTheBitmap) {
    dltest::TempDir dir;
    wptest::FileDesktop desktop(dir.path());
    desktop.refuseWindowsFolder = true;
    desktop.WriteWholeFile(dir.File("p.jpg"), "PIC-user");

    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("p.jpg"), 2), 1);
    EXPECT_EQ(desktop.Read(desktop.WindowsBitmap()), "<missing>");
    EXPECT_EQ(desktop.Read(desktop.PerUserBitmap()), "BMP-user");
    EXPECT_EQ(desktop.DesktopCalls(), std::vector<std::string>{desktop.PerUserBitmap()});
}

TEST(ApplyDesktopWallpaper, AFitChosenWhereTheMonitorsAreUnknownIsAskedOfTheDesktopItself) {
    testing_support::MemorySettingsStore store;
    dltest::TempDir dir;
    wptest::FileDesktop desktop(dir.path());
    desktop.WriteWholeFile(dir.File("p.jpg"), "PIC-fit");
    wallpaper::DisplaySettings settings;
    settings.fit = wallpaper::Fit::Fill;
    settings.perMonitor = true;
    wallpaper::WriteDisplaySettings(settings);

    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("p.jpg"), wallpaper::kStretchedStyle), 1);
    EXPECT_EQ(desktop.Styles(), std::vector<std::string>{"10/0"});
    EXPECT_EQ(desktop.Read(desktop.WindowsBitmap()), "BMP-fit");
    EXPECT_EQ(wallpaper::MonitorCount(), 1);
}

}  // namespace
