#include <gtest/gtest.h>

#include "app/settings.h"

TEST(SettingsPaths, DefaultStorageFolderKeepsItsDoubledBackslash) {
    EXPECT_EQ(app::StorageFolderUnder("C:\\Users\\x\\Documents"), "C:\\Users\\x\\Documents\\\\Zerav");
    EXPECT_EQ(app::StorageFolderUnder("C:\\Users\\x\\Documents\\"), "C:\\Users\\x\\Documents\\\\Zerav");
    // A trail byte 0x5C at the end is not a separator: a "\" is still appended.
    EXPECT_EQ(app::StorageFolderUnder("D:\\\x95\x5C"), "D:\\\x95\x5C\\\\Zerav");
}

TEST(SettingsPaths, LeadingControlBytesAreSkipped) {
    EXPECT_EQ(app::SkipLeadingControlBytes(" \t\r\n\x01路径 "), "路径 ");
    EXPECT_EQ(app::SkipLeadingControlBytes("   "), "");
    EXPECT_EQ(app::SkipLeadingControlBytes("\xA1\xA1x"), "\xA1\xA1x");
}

TEST(SettingsPaths, StorageFolderIsSharedSafely) {
    app::SetStorageFolder("D:\\壁纸库");
    EXPECT_EQ(app::StorageFolder(), "D:\\壁纸库");
    EXPECT_EQ(app::NodeHost().empty(), false);
}
