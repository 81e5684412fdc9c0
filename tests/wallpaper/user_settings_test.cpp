// The settings, node and sponsor handlers on the headless engine, with Config.ini in memory
// and the Run keys of a double that can refuse.
#include "wallpaper/user_settings.h"

#include <gtest/gtest.h>

#include "core/control_names.h"
#include "core/settings.h"
#include "memory_settings_store.h"
#include "net/node_id.h"
#include "wallpaper_doubles.h"

namespace {

using core::WindowKind;
using wallpaper::RunKey;
namespace sw = core::controls::settings_window;
namespace nw = core::controls::node_window;

class UserSettings : public ::testing::Test {
  protected:
    std::string Setting(const char* section, const char* key) { return store.Value(section, key); }
    int Radio() { return windows.Int(WindowKind::Settings, sw::kAutoStart, ui::attr::kValue); }

    testing_support::MemorySettingsStore store;
    wptest::MemorySettingsSystem system;
    wptest::Windows windows;
};

TEST_F(UserSettings, SettingsWindowShowsDefaultsWithNoConfigAndReadsBothRunKeys) {
    windows.Open(WindowKind::Settings);
    wallpaper::SettingsWindowCreated();
    EXPECT_EQ(windows.Caption(WindowKind::Settings, sw::kNodeLabel), "当前节点:香港服务器");
    EXPECT_EQ(windows.Caption(WindowKind::Settings, sw::kFolderLabel),
              "当前目录：C:\\Users\\u\\Documents\\\\Zerav");
    EXPECT_EQ(core::StorageFolder(), "C:\\Users\\u\\Documents\\\\Zerav");
    EXPECT_EQ(Radio(), 0);

    // The value in the user's key alone (a standard user's) shows as on.
    system.run[1] = "C:\\程序\\MiaolanWallpaper.exe";
    store.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath, "D:\\壁纸库");
    store.Write(core::SettingsPath(), core::kSectionNode, core::kKeyNodeName, "东京节点");
    wallpaper::SettingsWindowCreated();
    EXPECT_EQ(Radio(), 1);
    EXPECT_EQ(windows.Caption(WindowKind::Settings, sw::kFolderLabel), "当前目录：D:\\壁纸库");
    EXPECT_EQ(windows.Caption(WindowKind::Settings, sw::kNodeLabel), "当前节点:东京节点");
    EXPECT_EQ(core::StorageFolder(), "D:\\壁纸库");
}

TEST_F(UserSettings, StartWithWindowsTogglesAndFallsBackToTheUsersKey) {
    windows.Open(WindowKind::Settings);
    wallpaper::ToggleAutoStart();
    EXPECT_EQ(system.run[0], "C:\\程序\\MiaolanWallpaper.exe");
    EXPECT_EQ(system.writes[1], 0);
    EXPECT_EQ(Radio(), 1);

    // The checked button removes the value.
    wallpaper::ToggleAutoStart();
    EXPECT_EQ(system.run[0], "");
    EXPECT_EQ(Radio(), 0);

    // A standard user: the machine's key refuses, the user's key takes the value.
    system.refuse[0] = true;
    wallpaper::ToggleAutoStart();
    EXPECT_EQ(system.run[0], "");
    EXPECT_EQ(system.run[1], "C:\\程序\\MiaolanWallpaper.exe");
    EXPECT_EQ(Radio(), 1);
    wallpaper::ToggleAutoStart();
    EXPECT_EQ(system.run[1], "");
    EXPECT_EQ(Radio(), 0);

    // Neither key takes it: the button shows off, as the keys are.
    system.refuse[1] = true;
    windows.engine.SetInt(windows.Control(WindowKind::Settings, sw::kAutoStart), ui::attr::kValue, 1);
    wallpaper::ToggleAutoStart();
    EXPECT_EQ(Radio(), 0);
}

TEST_F(UserSettings, FolderChangeWritesThePathWithoutTrailingBackslashAndMakesTheFolders) {
    system.chosenFolder = "E:\\图库\\";
    wallpaper::ChangeStorageFolder();
    EXPECT_EQ(system.dialogTitles, std::vector<std::string>{"选择目标目录"});
    EXPECT_EQ(Setting(core::kSectionGeneral, core::kKeyPath), "E:\\图库");
    EXPECT_EQ(core::StorageFolder(), "E:\\图库");
    EXPECT_TRUE(store.DirectoryExists("E:\\图库\\壁纸"));
    EXPECT_TRUE(store.DirectoryExists("E:\\图库\\图片"));

    // Cancelled: nothing written, the folders step still runs.
    system.chosenFolder.clear();
    int before = store.FoldersCreated();
    store.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath, "F:\\另一个");
    wallpaper::ChangeStorageFolder();
    EXPECT_EQ(Setting(core::kSectionGeneral, core::kKeyPath), "F:\\另一个");
    EXPECT_EQ(core::StorageFolder(), "F:\\另一个");
    EXPECT_GT(store.FoldersCreated(), before);

    wallpaper::OpenStorageFolder();
    EXPECT_EQ(system.explored, std::vector<std::string>{"F:\\另一个"});
}

TEST_F(UserSettings, NodeWindowSwitchesToTheKeptRowAndRefusesWithNoRow) {
    windows.Open(WindowKind::Node);  // its creation gives the list its columns
    ui::ControlId list = windows.Control(WindowKind::Node, nw::kNodeList);
    auto control = windows.engine.Control(list);
    ASSERT_TRUE(control.has_value());
    EXPECT_EQ(control->columns, (std::vector<std::pair<std::string, int>>{
                                    {"节点地区", 100}, {"节点赞助商", 100}, {"赞助商网站", 250}, {"", 0}}));

    // An empty list: nothing is switched, nothing is said.
    net::SetNodeId("old");
    wallpaper::RememberNodeRow(0);
    wallpaper::ChangeNode();
    EXPECT_EQ(net::NodeId(), "old");
    EXPECT_FALSE(store.Has(core::kSectionNode, core::kKeyNodeId));
    EXPECT_TRUE(windows.engine.Messages().empty());

    const char* rows[][4] = {{"香港", "砚舟", "https://a.example", "hk-1"},
                             {"东京\r\n二区", "晨曦\r\n赞助", "https://b.example", "jp-2"}};
    for (auto& r : rows) {
        int at = windows.engine.InsertRow(list, -1);
        for (int c = 0; c < 4; ++c) windows.engine.SetCell(list, at, c, r[c]);
    }
    wallpaper::RememberNodeRow(5);
    wallpaper::ChangeNode();
    EXPECT_EQ(net::NodeId(), "old");

    wallpaper::RememberNodeRow(1);
    wallpaper::ChangeNode();
    EXPECT_EQ(net::NodeId(), "jp-2");
    EXPECT_EQ(Setting(core::kSectionNode, core::kKeyNodeId), "jp-2");
    EXPECT_EQ(Setting(core::kSectionNode, core::kKeyNodeName), "东京二区");
    EXPECT_EQ(Setting(core::kSectionNode, core::kKeyNodeSponsor), "晨曦\r\n赞助");
    auto messages = windows.engine.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "渺岚壁纸");
    EXPECT_EQ(messages[0].text, "无需重启壁纸软件,节点已切换成功！");
    net::SetNodeId("");
}

TEST_F(UserSettings, SponsorMessageHasItsFourLinesOwnedByTheDownloadWindow) {
    ui::WindowId download = windows.Open(WindowKind::Download);
    wallpaper::ShowSponsorNotice();
    auto messages = windows.engine.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "渺岚壁纸");
    EXPECT_EQ(messages[0].owner, download);
    EXPECT_EQ(messages[0].text,
              "1.节点赞助（共享节点,让大家使用）\r\n2.节点专区（私人节点专区）\r\n3.其他赞助\r\n请联系QQ：" +
                  std::string(wallpaper::kSponsorContact));
}

}  // namespace
