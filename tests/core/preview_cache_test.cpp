// Names from the node become cache file names only when they are plain file names; the size
// text of the detail window.
#include "core/preview_cache.h"

#include <gtest/gtest.h>

#include "core/settings.h"

namespace {

TEST(PreviewNames, TextAfterLastTakesTheLastSegmentOnCharacterBoundaries) {
    EXPECT_EQ(core::TextAfterLast("/img/a/b.jpg", "/"), "b.jpg");
    EXPECT_EQ(core::TextAfterLast("b.jpg", "/"), "");
    EXPECT_EQ(core::TextAfterLast("a/", "/"), "");
    EXPECT_EQ(core::TextAfterLast("x(＆)y(＆)z", "(＆)"), "z");
    // 昞 is 95 5C in GBK: its trail byte is no backslash.
    EXPECT_EQ(core::TextAfterLast("a\\昞.jpg", "\\"), "昞.jpg");
    EXPECT_EQ(core::TextAfterLast("昞.jpg", "\\"), "");
}

TEST(PreviewNames, OnlyPlainFileNamesAreAccepted) {
    for (const char* ok : {"b.jpg", "风景 01.png", "昞.jpg", "a.b.c", "CONSOLE.jpg", "COM0.jpg", "nul1.png"})
        EXPECT_TRUE(core::IsPlainFileName(ok)) << ok;
    // 亅 is 81 7C: a trail byte equal to "|" is part of the character.
    EXPECT_TRUE(core::IsPlainFileName("\x81\x7c.jpg"));
    const std::string refused[] = {
        "",         "..",        "...",        "a..b.jpg",    "..\\win.ini",
        "a\\b.jpg", "a/b.jpg",   "c:x.jpg",    "a*.jpg",      "a?.jpg",
        "a\".jpg",  "a<b.jpg",   "a>b.jpg",    "a|b.jpg",     std::string("a\0b.jpg", 7),
        "a\tb.jpg", "a\x7f.jpg", "a.",         "a ",          "CON",
        "con.jpg",  "Nul",       "nul.tar.gz", "AUX.png",     "prn",
        "COM1",     "com9.jpg",  "LPT3.bmp",   "CON .jpg",    std::string(201, 'a'),
        "\x81",     "\x80.jpg",  "\xff.jpg",   "\xb0\x20.jpg"};
    for (const std::string& name : refused) EXPECT_FALSE(core::IsPlainFileName(name)) << name;
    EXPECT_TRUE(core::IsPlainFileName(std::string(196, 'a') + ".jpg"));
}

TEST(PreviewNames, CacheFileIsInThePictureFolderOrNothing) {
    core::SetStorageFolder("C:\\存储");
    EXPECT_EQ(core::PreviewCacheFile("/up/2024/b.jpg"), "C:\\存储\\图片\\b.jpg");
    EXPECT_EQ(core::PreviewCacheFile("b.jpg"), "");
    EXPECT_EQ(core::PreviewCacheFile("/up/..\\..\\Windows\\win.ini"), "");
    EXPECT_EQ(core::PreviewCacheFile("/up/CON"), "");
    EXPECT_EQ(core::PreviewCacheFile("/up/"), "");
}

TEST(PreviewNames, FormatSizeLabelsEachRange) {
    EXPECT_EQ(core::FormatSize(2580), "2.52 MB");
    EXPECT_EQ(core::FormatSize(512), "512 KB");
    EXPECT_EQ(core::FormatSize(0), "0 KB");
    EXPECT_EQ(core::FormatSize(1023.999), "1024 KB");
    EXPECT_EQ(core::FormatSize(1024), "1024 ");
    EXPECT_EQ(core::FormatSize(1048576), "1048576 ");
    EXPECT_EQ(core::FormatSize(1048577 * 2.0), "2 MB");
    EXPECT_EQ(core::FormatSize(1073741824.0 * 3), "3 GB");
    EXPECT_EQ(core::FormatSize(1536), "1.5 MB");
}

}  // namespace
