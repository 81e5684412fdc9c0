// The desktop under Wine with the real registry, GDI+ and desktop call, and one whole visible
// download from a loopback server to the bitmap.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/settings.h"
#include "desktop_registry_win.h"
#include "download_test_server.h"
#include "download_test_support.h"
#include "memory_settings_store.h"
#include "wallpaper/desktop.h"
#include "wallpaper/downloads.h"
#include "wallpaper_doubles.h"

namespace {

using wallpaper::ApplyDesktopWallpaper;
using wallpaper::ConvertImage;

// A 5×3 picture in two palette colours, one bit per pixel: GDI+ keeps it indexed.
const unsigned char kPalettePng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x03, 0x01, 0x03, 0x00, 0x00, 0x00, 0x61,
    0xf8, 0x57, 0xbb, 0x00, 0x00, 0x00, 0x06, 0x50, 0x4c, 0x54, 0x45, 0xff, 0x00, 0x00, 0x00,
    0x00, 0xff, 0x6c, 0xa1, 0xfd, 0x8e, 0x00, 0x00, 0x00, 0x0e, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x08, 0x60, 0x58, 0xc1, 0x10, 0x00, 0x00, 0x03, 0xde, 0x01, 0x49, 0x77, 0xc0,
    0x88, 0xe1, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A bottom-up 24-bit BMP with a colour gradient.
std::string MakeBmp(int width, int height) {
    int stride = (width * 3 + 3) & ~3;
    std::string b(54 + static_cast<size_t>(stride) * height, '\0');
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            char* p = &b[54 + static_cast<size_t>(y) * stride + x * 3];
            p[0] = static_cast<char>(x * 4);
            p[1] = static_cast<char>(y * 5);
            p[2] = static_cast<char>(128);
        }
    return b;
}

// A BMP a desktop can show: its header, its size and its pixel data agree.
void ExpectBitmap(const std::string& b, int width, int height) {
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(static_cast<int32_t>(U32(b, 18)), width);
    EXPECT_EQ(std::abs(static_cast<int32_t>(U32(b, 22))), height);
    EXPECT_EQ(static_cast<unsigned char>(b[28]), 24);
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    EXPECT_EQ(b.size(), U32(b, 10) + stride * height);
}

std::string DesktopWallpaper() {
    char path[MAX_PATH + 1] = {};
    SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0);
    return path;
}

std::string WindowsBitmap() { return wallpaper::Desktop().WindowsFolder() + wallpaper::kBitmapName; }

TEST(DesktopOnWindows, AJpegBecomesA24BitBitmapInTheWindowsFolderWithStyleTwo) {
    dltest::TempDir dir;
    std::string jpeg;
    ASSERT_EQ(ConvertImage(MakeBmp(64, 48), 2, "", &jpeg), 1);
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    std::string file = dir.File("p.jpg");
    ASSERT_TRUE(wallpaper::Desktop().WriteWholeFile(file, jpeg));
    RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "WallpaperStyle", REG_SZ, "10", 3);

    EXPECT_EQ(ApplyDesktopWallpaper(file, wallpaper::kStretchedStyle), 1);
    EXPECT_EQ(RegistryText("WallpaperStyle"), "2");
    EXPECT_EQ(RegistryText("TileWallpaper"), "0");
    std::string bitmap = dltest::ReadAll(WindowsBitmap());
    ExpectBitmap(bitmap, 64, 48);
    EXPECT_EQ(DesktopWallpaper(), WindowsBitmap());
}

TEST(DesktopOnWindows, APalettePictureIsEncodedAs24BitAndTheExtensionRuleHolds) {
    dltest::TempDir dir;
    std::string png(reinterpret_cast<const char*>(kPalettePng), sizeof kPalettePng);
    std::string out;
    ASSERT_EQ(ConvertImage(png, 1, dir.File("X.BMP"), &out), 1);
    ExpectBitmap(dltest::ReadAll(dir.File("X.BMP")), 5, 3);
    EXPECT_EQ(GetFileAttributesA(dir.File("X.BMP.bmp").c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(ConvertImage(png, 1, dir.File("Y"), &out), 1);
    EXPECT_EQ(dltest::ReadAll(dir.File("Y.bmp")), out);
    // The first pixel of the top row is the palette's red (BGR order; rows bottom-up unless
    // the height is negative).
    size_t top = U32(out, 10) + (static_cast<int32_t>(U32(out, 22)) > 0 ? 2 * 16 : 0);
    EXPECT_EQ(out.substr(top, 3), std::string("\x00\x00\xFF", 3));
}

TEST(DesktopOnWindows, APictureGdiplusCannotDecodeLeavesTheBitmapAndTheDesktopAlone) {
    dltest::TempDir dir;
    std::string jpeg;
    ASSERT_EQ(ConvertImage(MakeBmp(32, 16), 2, "", &jpeg), 1);
    wallpaper::Desktop().WriteWholeFile(dir.File("good.jpg"), jpeg);
    ASSERT_EQ(ApplyDesktopWallpaper(dir.File("good.jpg"), 2), 1);
    std::string before = dltest::ReadAll(WindowsBitmap());
    // The desktop points elsewhere now; a skipped call leaves it there.
    std::string elsewhere = dir.File("elsewhere.bmp");
    wallpaper::Desktop().WriteWholeFile(elsewhere, before);
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(elsewhere.c_str()), SPIF_UPDATEINIFILE);

    wallpaper::Desktop().WriteWholeFile(dir.File("bad.jpg"), "<html><body>404 Not Found</body></html>");
    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("bad.jpg"), 2), 0);
    EXPECT_EQ(dltest::ReadAll(WindowsBitmap()), before);
    EXPECT_EQ(DesktopWallpaper(), elsewhere);
}

// The real system, except that the Windows folder refuses every write, as it does for a
// standard user (Wine grants every right, so the refusal is made here).
class StandardUserDesktop : public wallpaper::DesktopSystem {
  public:
    StandardUserDesktop() : real_(wallpaper::Desktop()) { wallpaper::UseDesktopSystem(this); }
    ~StandardUserDesktop() override { wallpaper::UseDesktopSystem(nullptr); }
    bool WriteDesktopStyle(const std::string& s, const std::string& t) override {
        return real_.WriteDesktopStyle(s, t);
    }
    std::string WindowsFolder() override { return real_.WindowsFolder(); }
    std::string PerUserFolder() override { return real_.PerUserFolder(); }
    std::string Encode(const std::string& p, const std::string& c) override { return real_.Encode(p, c); }
    bool SetDesktopWallpaper(const std::string& path) override { return real_.SetDesktopWallpaper(path); }
    bool ReadWholeFile(const std::string& path, std::string* bytes) override {
        return real_.ReadWholeFile(path, bytes);
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        if (path.rfind(real_.WindowsFolder(), 0) == 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        return real_.WriteWholeFile(path, bytes);
    }
    bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }

  private:
    wallpaper::DesktopSystem& real_;
};

TEST(DesktopOnWindows, AStandardUsersBitmapGoesToLocalAppDataAndTheDesktopPointsThere) {
    dltest::TempDir dir;
    std::string jpeg;
    ASSERT_EQ(ConvertImage(MakeBmp(40, 30), 2, "", &jpeg), 1);
    wallpaper::Desktop().WriteWholeFile(dir.File("p.jpg"), jpeg);
    char local[MAX_PATH + 1] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE));
    std::string expected = std::string(local) + "\\渺岚壁纸\\" + wallpaper::kBitmapName;
    DeleteFileA(expected.c_str());

    StandardUserDesktop standardUser;
    EXPECT_EQ(ApplyDesktopWallpaper(dir.File("p.jpg"), 2), 1);
    ExpectBitmap(dltest::ReadAll(expected), 40, 30);
    EXPECT_EQ(DesktopWallpaper(), expected);
}

TEST(DesktopOnWindows, AVisibleDownloadEndsAsTheDesktopBitmapAndItsFileIsDeleted) {
    testing_support::MemorySettingsStore store;
    wptest::Windows windows;
    windows.Open(core::WindowKind::Download);
    dltest::TempDir dir;
    std::string storage = dir.path().string() + "\\存储";
    ASSERT_TRUE(CreateDirectoryA(storage.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((storage + "\\壁纸").c_str(), nullptr));
    core::SetStorageFolder(storage);
    std::string jpeg;
    ASSERT_EQ(ConvertImage(MakeBmp(320, 200), 2, "", &jpeg), 1);
    dltest::TestHttpServer server;
    server.AddFile("/big.jpg", jpeg);
    DeleteFileA(WindowsBitmap().c_str());

    ASSERT_TRUE(wallpaper::StartWallpaperDownload(server.Url("/big.jpg")));
    ASSERT_TRUE(dltest::FinishWithin(wallpaper::VisibleSlot(), 60000));
    ExpectBitmap(dltest::ReadAll(WindowsBitmap()), 320, 200);
    EXPECT_EQ(GetFileAttributesA((storage + "\\壁纸\\壁纸.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(windows.Visible(core::WindowKind::Download));
}

}  // namespace
