// Two monitors under Wine (two_monitors.sh makes the X server and says the layout): the real
// desktop application composes the bitmap the desktop tiles, a picture per monitor in turn, and
// each fit as it means, read back from the file the desktop points at.
// clang-format off
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop_registry_win.h"
#include "download_test_support.h"
#include "memory_settings_store.h"
#include "pixels.h"
#include "wallpaper/compose.h"
#include "wallpaper/desktop.h"
#include "wallpaper/display_settings.h"

namespace {

using wallpaper::Fit;
using wallpaper::Image;
using wallpaper::MonitorArea;

using namespace pixels;

const Rgb kRed{200, 30, 40}, kGreen{20, 180, 60}, kBlue{30, 60, 220};

// The layout two_monitors.sh made: the primary is 800×600; the other, 640×480, is left of it or
// above it.
std::vector<MonitorArea> ExpectedMonitors() {
    const char* layout = std::getenv("MIAOLAN_MONITOR_LAYOUT");
    std::string which = layout ? layout : "";
    if (which == "above") return {{0, 0, 800, 600, true}, {0, -480, 640, 0, false}};
    return {{0, 0, 800, 600, true}, {-640, 0, 0, 480, false}};
}

class TwoMonitors : public testing::Test {
  protected:
    void SetUp() override {
        monitors_ = wallpaper::Desktop().Monitors();
        ASSERT_EQ(monitors_.size(), 2u);
        box_ = wallpaper::BoundingBox(monitors_);
        DeleteFileA((wallpaper::Desktop().WindowsFolder() + wallpaper::kBitmapName).c_str());
    }

    // A PNG of w×h in the colour, with a white pixel at 10,10 (to see where pixels land 1:1);
    // with `halves`, the right half is blue.
    std::string Picture(const char* name, int w, int h, Rgb colour, bool halves = false) {
        Image image(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Paint(image, x, y, halves && x >= w / 2 ? kBlue : colour);
        Paint(image, 10, 10, kWhite);
        std::string png;
        EXPECT_EQ(wallpaper::ConvertImage(wallpaper::EncodeBmp(image), 5, "", &png), 1);
        std::string file = dir_.File(name);
        EXPECT_TRUE(wallpaper::Desktop().WriteWholeFile(file, png));
        return file;
    }

    // Applies the picture with the choices and reads back the bitmap the desktop now shows,
    // which must be tiled from the primary.
    void Apply(const std::string& file, Fit fit, bool perMonitor) {
        wallpaper::DisplaySettings settings;
        settings.fit = fit;
        settings.perMonitor = perMonitor;
        wallpaper::WriteDisplaySettings(settings);
        ASSERT_EQ(wallpaper::ApplyDesktopWallpaper(file, wallpaper::kStretchedStyle), 1);
        EXPECT_EQ(RegistryText("WallpaperStyle"), "0");
        EXPECT_EQ(RegistryText("TileWallpaper"), "1");
        char path[MAX_PATH + 1] = {};
        ASSERT_TRUE(SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0));
        ASSERT_TRUE(wallpaper::DecodeBmp(dltest::ReadAll(path), &canvas_)) << path;
        ASSERT_EQ(canvas_.width, box_.right - box_.left);
        ASSERT_EQ(canvas_.height, box_.bottom - box_.top);
    }

    // What the desktop shows at a point of the virtual screen: the canvas tiled from 0,0.
    Rgb At(int x, int y) const {
        int w = canvas_.width, h = canvas_.height;
        const uint8_t* p = canvas_.At(((x % w) + w) % w, ((y % h) + h) % h);
        return {p[2], p[1], p[0]};
    }
    // At a point of monitor i, from its top left.
    Rgb On(size_t i, int x, int y) const { return At(monitors_[i].left + x, monitors_[i].top + y); }
    // The monitor's four corners and centre, when they are all one colour; else black.
    Rgb Whole(size_t i) const {
        int w = monitors_[i].right - monitors_[i].left, h = monitors_[i].bottom - monitors_[i].top;
        Rgb c = On(i, w / 2, h / 2);
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
            if (!(On(i, x, y) == c)) return {1, 2, 3};
        return c;
    }

    testing_support::MemorySettingsStore store_;
    dltest::TempDir dir_;
    std::vector<MonitorArea> monitors_;
    MonitorArea box_;
    Image canvas_;
};

TEST_F(TwoMonitors, WineReportsBothAndEachPictureGoesToTheNextMonitorWhileTheOtherKeepsItsOwn) {
    std::vector<MonitorArea> expected = ExpectedMonitors();
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(monitors_[i].left, expected[i].left) << i;
        EXPECT_EQ(monitors_[i].top, expected[i].top) << i;
        EXPECT_EQ(monitors_[i].right, expected[i].right) << i;
        EXPECT_EQ(monitors_[i].bottom, expected[i].bottom) << i;
        EXPECT_EQ(monitors_[i].primary, expected[i].primary) << i;
    }
    EXPECT_EQ(wallpaper::MonitorCount(), 2);
    // Wine has no per-monitor desktop of its own (REGDB_E_CLASSNOTREG): the composed bitmap is
    // what is tested here.
    ASSERT_FALSE(wallpaper::Desktop().HasMonitorWallpaper());

    // Pictures of each monitor's shape: fill keeps them whole.
    std::string red = Picture("red.png", 400, 300, kRed), green = Picture("green.png", 320, 240, kGreen),
                blue = Picture("blue.png", 800, 600, kBlue);
    Apply(red, Fit::Fill, true);
    size_t first = Whole(0) == kRed ? 0 : 1;
    size_t second = 1 - first;
    EXPECT_EQ(Whole(first), kRed);
    EXPECT_EQ(Whole(second), kBlack);

    Apply(green, Fit::Fill, true);
    EXPECT_EQ(Whole(first), kRed);
    EXPECT_EQ(Whole(second), kGreen);

    // A download that is no picture changes nothing and does not use up the first monitor's turn.
    std::string bad = dir_.File("bad.png");
    ASSERT_TRUE(wallpaper::Desktop().WriteWholeFile(bad, "<html>502 Bad Gateway</html>"));
    std::string before = dltest::ReadAll(wallpaper::Desktop().WindowsFolder() + wallpaper::kBitmapName);
    EXPECT_EQ(wallpaper::ApplyDesktopWallpaper(bad, wallpaper::kStretchedStyle), 0);
    EXPECT_EQ(dltest::ReadAll(wallpaper::Desktop().WindowsFolder() + wallpaper::kBitmapName), before);

    Apply(blue, Fit::Fill, true);
    EXPECT_EQ(Whole(first), kBlue);
    EXPECT_EQ(Whole(second), kGreen);
}

TEST_F(TwoMonitors, EachFitGivesTheBitmapItMeansOnBothMonitors) {
    // 2:1, red on the left half and blue on the right, a white pixel at 10,10.
    std::string wide = Picture("wide.png", 400, 200, kRed, true);

    // Fill: scaled to each monitor's height, cut on both sides; nothing black.
    Apply(wide, Fit::Fill, false);
    for (size_t i = 0; i < 2; ++i) {
        int w = monitors_[i].right - monitors_[i].left, h = monitors_[i].bottom - monitors_[i].top;
        EXPECT_EQ(On(i, 0, 0), kRed) << i;
        EXPECT_EQ(On(i, w - 1, h - 1), kBlue) << i;
        EXPECT_EQ(On(i, w / 2 - 4, h / 2), kRed) << i;
        EXPECT_EQ(On(i, w / 2 + 4, h / 2), kBlue) << i;
    }

    // Fit: the whole width, black bars above and below (600 high: 100 each; 480: 80 each).
    Apply(wide, Fit::Fit, false);
    for (size_t i = 0; i < 2; ++i) {
        int w = monitors_[i].right - monitors_[i].left, h = monitors_[i].bottom - monitors_[i].top;
        int bar = (h - w / 2) / 2;
        EXPECT_EQ(On(i, w / 2, bar - 1), kBlack) << i;
        EXPECT_EQ(On(i, 0, bar + 20), kRed) << i;
        EXPECT_EQ(On(i, w - 1, h - bar - 1), kBlue) << i;
        EXPECT_EQ(On(i, w / 2, h - bar), kBlack) << i;
    }

    // Centre: 1:1 in the middle on black; the white pixel exactly where it was drawn.
    Apply(wide, Fit::Centre, false);
    for (size_t i = 0; i < 2; ++i) {
        int w = monitors_[i].right - monitors_[i].left, h = monitors_[i].bottom - monitors_[i].top;
        int x = (w - 400) / 2, y = (h - 200) / 2;
        EXPECT_EQ(On(i, x - 1, y), kBlack) << i;
        EXPECT_EQ(On(i, x, y), kRed) << i;
        EXPECT_EQ(On(i, x + 10, y + 10), kWhite) << i;
        EXPECT_EQ(On(i, x + 11, y + 10), kRed) << i;
        EXPECT_EQ(On(i, x + 399, y + 199), kBlue) << i;
    }

    // Tile: 1:1 repeated from each monitor's own top left.
    Apply(wide, Fit::Tile, false);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(On(i, 10, 10), kWhite) << i;
        EXPECT_EQ(On(i, 410, 210), kWhite) << i;
        EXPECT_EQ(On(i, 399, 0), kBlue) << i;
        EXPECT_EQ(On(i, 400, 0), kRed) << i;
    }

    // Span: one picture over both; its left edge red, its right edge blue.
    Apply(wide, Fit::Span, false);
    EXPECT_EQ(At(box_.left, (box_.top + box_.bottom) / 2), kRed);
    EXPECT_EQ(At(box_.right - 1, (box_.top + box_.bottom) / 2), kBlue);
}

}  // namespace
