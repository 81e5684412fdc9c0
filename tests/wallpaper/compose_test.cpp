// The composed desktop bitmap: what each fit puts where, the resampler's values, and monitors
// left of and above the primary landing where the desktop's tiling shows them.
#include "wallpaper/compose.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "pixels.h"

namespace {

using wallpaper::Fit;
using wallpaper::Image;
using wallpaper::MonitorArea;

using namespace pixels;

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

Image Solid(int w, int h, Rgb c) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Paint(image, x, y, c);
    return image;
}
// One row of the image, as colours.
std::vector<Rgb> Row(const Image& image, int y) {
    std::vector<Rgb> row;
    for (int x = 0; x < image.width; ++x) row.push_back(Pixel(image, x, y));
    return row;
}

// 8×4 in four vertical stripes two columns wide: red, green, blue, white.
Image Stripes() {
    Image image(8, 4);
    const Rgb colours[] = {kRed, kGreen, kBlue, kWhite};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) Paint(image, x, y, colours[x / 2]);
    return image;
}

Image Fitted(int w, int h, const Image& picture, Fit fit) {
    Image canvas = Solid(w + 2, h + 2, kBlue);
    wallpaper::DrawFitted(canvas, 1, 1, w, h, picture, fit);
    // The frame around the area is untouched.
    for (int x = 0; x < w + 2; ++x) {
        EXPECT_EQ(Pixel(canvas, x, 0), kBlue);
        EXPECT_EQ(Pixel(canvas, x, h + 1), kBlue);
    }
    Image area(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Paint(area, x, y, Pixel(canvas, x + 1, y + 1));
    return area;
}

TEST(ComposeCanvas, FillCropsFitLetterboxesCentreKeepsPixelsOneToOneTileRepeats) {
    Image stripes = Stripes();
    using V = std::vector<Rgb>;

    // Fill: the 2:1 picture covers a square by its height and loses a stripe on either side.
    Image fill = Fitted(4, 4, stripes, Fit::Fill);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(Row(fill, y), (V{kGreen, kGreen, kBlue, kBlue})) << y;

    // Fit: halved, black bars above and below.
    Image fit = Fitted(4, 4, stripes, Fit::Fit);
    EXPECT_EQ(Row(fit, 0), V(4, kBlack));
    EXPECT_EQ(Row(fit, 1), (V{kRed, kGreen, kBlue, kWhite}));
    EXPECT_EQ(Row(fit, 2), (V{kRed, kGreen, kBlue, kWhite}));
    EXPECT_EQ(Row(fit, 3), V(4, kBlack));

    // Stretch: the whole picture squeezed into the square.
    Image stretch = Fitted(4, 4, stripes, Fit::Stretch);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(Row(stretch, y), (V{kRed, kGreen, kBlue, kWhite}));

    // Centre: 1:1, cropped where larger and on black where smaller.
    Image centre = Fitted(6, 6, stripes, Fit::Centre);
    EXPECT_EQ(Row(centre, 0), V(6, kBlack));
    EXPECT_EQ(Row(centre, 1), (V{kRed, kGreen, kGreen, kBlue, kBlue, kWhite}));
    EXPECT_EQ(Row(centre, 4), (V{kRed, kGreen, kGreen, kBlue, kBlue, kWhite}));
    EXPECT_EQ(Row(centre, 5), V(6, kBlack));

    // Tile: 1:1 from the area's top left.
    Image tile = Fitted(11, 5, stripes, Fit::Tile);
    EXPECT_EQ(Pixel(tile, 8, 4), kRed);
    EXPECT_EQ(Pixel(tile, 10, 0), kGreen);
    EXPECT_EQ(Pixel(tile, 7, 3), kWhite);

    // The resampler: a checker shrunk to one pixel is its average; two pixels enlarged are
    // interpolated between them.
    Image checker(2, 2);
    Paint(checker, 0, 0, kWhite);
    Paint(checker, 1, 1, kWhite);
    EXPECT_EQ(Pixel(wallpaper::Resample(checker, 1, 1), 0, 0), (Rgb{128, 128, 128}));
    Image ramp(2, 1);
    Paint(ramp, 1, 0, kWhite);
    EXPECT_EQ(Row(wallpaper::Resample(ramp, 4, 1), 0), (V{kBlack, {64, 64, 64}, {191, 191, 191}, kWhite}));

    // A sliver filled into a wide area is computed only where it shows.
    Image sliver = Solid(1, 100000, kGreen);
    EXPECT_EQ(Row(Fitted(300, 2, sliver, Fit::Fill), 1), V(300, kGreen));
}

TEST(ComposeCanvas, MonitorsLeftOfAndAboveThePrimaryLandWhereTheDesktopTilesThem) {
    using V = std::vector<Rgb>;
    Image red = Solid(4, 2, kRed), green = Solid(3, 3, kGreen), blue = Solid(5, 5, kBlue);

    // A taller monitor left of the primary: the canvas is 7×3; the primary's columns come first
    // (x mod 7 for x in 0..3), the left monitor's (-3..-1) wrap to the right end.
    std::vector<MonitorArea> left = {{0, 0, 4, 2, true}, {-3, 0, 0, 3, false}};
    Image canvas = wallpaper::ComposeCanvas(left, {&red, &green}, Fit::Fill);
    ASSERT_EQ(canvas.width, 7);
    ASSERT_EQ(canvas.height, 3);
    EXPECT_EQ(Row(canvas, 0), (V{kRed, kRed, kRed, kRed, kGreen, kGreen, kGreen}));
    EXPECT_EQ(Row(canvas, 2), (V{kBlack, kBlack, kBlack, kBlack, kGreen, kGreen, kGreen}));

    // The next picture goes to the left monitor only; the primary keeps what the canvas held,
    // also after a round trip through the bitmap file.
    Image back;
    std::string bmp = wallpaper::EncodeBmp(canvas);
    EXPECT_EQ(bmp.size(), 54u + 3 * 24);  // rows of 21 bytes padded to 24
    ASSERT_TRUE(wallpaper::DecodeBmp(bmp, &back));
    EXPECT_EQ(back.pixels, canvas.pixels);
    Image next = wallpaper::ComposeCanvas(left, {nullptr, &blue}, Fit::Fill, &back);
    EXPECT_EQ(Row(next, 1), (V{kRed, kRed, kRed, kRed, kBlue, kBlue, kBlue}));
    EXPECT_FALSE(wallpaper::DecodeBmp(bmp.substr(0, bmp.size() - 1), &back));

    // A monitor above the primary: rows -3..-1 wrap to the bottom of a 4×5 canvas.
    std::vector<MonitorArea> above = {{0, 0, 4, 2, true}, {1, -3, 3, 0, false}};
    canvas = wallpaper::ComposeCanvas(above, {&red, &green}, Fit::Fill);
    ASSERT_EQ(canvas.width, 4);
    ASSERT_EQ(canvas.height, 5);
    EXPECT_EQ(Row(canvas, 1), V(4, kRed));
    for (int y = 2; y < 5; ++y) EXPECT_EQ(Row(canvas, y), (V{kBlack, kGreen, kGreen, kBlack})) << y;

    // Span: one picture over the box, cut by the same wrap.
    canvas = wallpaper::ComposeCanvas(left, {&blue}, Fit::Span);
    EXPECT_EQ(Row(canvas, 2), V(7, kBlue));

    // A monitor list no canvas can hold gives none.
    EXPECT_TRUE(wallpaper::ComposeCanvas({{0, 0, 100000, 100000, true}}, {&red}, Fit::Fill).Empty());
}

}  // namespace
