#include <gtest/gtest.h>

#include "core/settings.h"
#include "memory_settings_store.h"

TEST(SettingsPaths, DefaultStorageFolderKeepsItsDoubledBackslash) {
    EXPECT_EQ(core::StorageFolderUnder("C:\\Users\\x\\Documents"), "C:\\Users\\x\\Documents\\\\Zerav");
    EXPECT_EQ(core::StorageFolderUnder("C:\\Users\\x\\Documents\\"), "C:\\Users\\x\\Documents\\\\Zerav");
    // A trail byte 0x5C at the end is not a separator: a "\" is still appended.
    EXPECT_EQ(core::StorageFolderUnder("D:\\\x95\x5C"), "D:\\\x95\x5C\\\\Zerav");
}

TEST(SettingsPaths, LeadingControlBytesAreSkipped) {
    EXPECT_EQ(core::SkipLeadingControlBytes(" \t\r\n\x01路径 "), "路径 ");
    EXPECT_EQ(core::SkipLeadingControlBytes("   "), "");
    EXPECT_EQ(core::SkipLeadingControlBytes("\xA1\xA1x"), "\xA1\xA1x");
}

TEST(SettingsPaths, StorageFolderIsSharedSafely) {
    core::SetStorageFolder("D:\\壁纸库");
    EXPECT_EQ(core::StorageFolder(), "D:\\壁纸库");
    EXPECT_EQ(core::NodeHost().empty(), false);
}

TEST(SettingsLogic, ReadsAndWritesGoToConfigIniOfTheProgramFolder) {
    testing_support::MemorySettingsStore store;
    EXPECT_EQ(core::SettingsPath(), "C:\\程序\\data\\Config.ini");
    EXPECT_EQ(core::ReadSetting(core::kSectionNode, core::kKeyNodeId, "默认"), "默认");
    EXPECT_TRUE(core::WriteSetting(core::kSectionNode, core::kKeyNodeId, "7"));
    EXPECT_EQ(core::ReadSetting(core::kSectionNode, core::kKeyNodeId, "默认"), "7");
    // Leading control bytes are the profile functions' own clean-up; an empty name reads empty
    // and writes nothing (a null key would have removed the whole section).
    EXPECT_EQ(core::ReadSetting(" \t节点", "\r节点设置", ""), "7");
    EXPECT_EQ(core::ReadSetting(core::kSectionNode, "  ", "默认"), "");
    EXPECT_FALSE(core::WriteSetting(core::kSectionNode, "", "x"));
    EXPECT_FALSE(core::WriteSetting("", core::kKeyNodeId, "x"));
    EXPECT_EQ(store.Value(core::kSectionNode, core::kKeyNodeId), "7");
}

TEST(SettingsLogic, InitCreatesTheMissingFoldersUnderTheStoredOrDefaultPath) {
    testing_support::MemorySettingsStore store;
    core::InitSettingsAndFolders();
    EXPECT_EQ(core::StorageFolder(), "C:\\Users\\u\\Documents\\\\Zerav");
    for (const char* folder : {"C:\\Users\\u\\Documents\\\\Zerav", "C:\\Users\\u\\Documents\\\\Zerav\\图片",
                               "C:\\Users\\u\\Documents\\\\Zerav\\壁纸", "C:\\程序\\data"})
        EXPECT_TRUE(store.DirectoryExists(folder)) << folder;
    EXPECT_EQ(store.FoldersCreated(), 4);
    EXPECT_FALSE(store.Has(core::kSectionGeneral, core::kKeyPath));  // nothing written

    // A stored path wins; folders that exist are not made again.
    core::WriteSetting(core::kSectionGeneral, core::kKeyPath, "D:\\库");
    core::InitSettingsAndFolders();
    EXPECT_EQ(core::StorageFolder(), "D:\\库");
    EXPECT_EQ(store.FoldersCreated(), 7);
    core::InitSettingsAndFolders();
    EXPECT_EQ(store.FoldersCreated(), 7);
}
