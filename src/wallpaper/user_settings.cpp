#include "wallpaper/user_settings.h"

#include <atomic>

#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "net/node_id.h"
#include "sys/text.h"

namespace wallpaper {

// The platform's system; defined beside the system calls (user_settings_win.cpp,
// user_settings_none.cpp).
SettingsSystem& PlatformSettingsSystem();

namespace {

namespace sw = core::controls::settings_window;
namespace nw = core::controls::node_window;
namespace dw = core::controls::download_window;

std::atomic<SettingsSystem*> g_system{nullptr};
std::atomic<int> g_nodeRow{0};

void SetCaption(core::WindowKind kind, const char* control, const std::string& text) {
    if (ui::ControlId id = core::ControlOf(kind, control)) core::Ui().SetText(id, ui::attr::kCaption, text);
}

void ShowAutoStart(bool on) {
    if (ui::ControlId radio = core::ControlOf(core::WindowKind::Settings, sw::kAutoStart))
        core::Ui().SetInt(radio, ui::attr::kValue, on ? 1 : 0);
}

std::string NodeName() { return core::ReadSetting(core::kSectionNode, core::kKeyNodeName, kDefaultNodeName); }

}  // namespace

void UseSettingsSystem(SettingsSystem* system) { g_system.store(system); }

SettingsSystem& Settings() {
    SettingsSystem* system = g_system.load();
    return system ? *system : PlatformSettingsSystem();
}

bool AutoStartEnabled() {
    return !Settings().ReadAutoStart(RunKey::kMachine).empty() ||
           !Settings().ReadAutoStart(RunKey::kUser).empty();
}

void SettingsWindowCreated() {
    ShowAutoStart(AutoStartEnabled());
    std::string folder =
        core::ReadSetting(core::kSectionGeneral, core::kKeyPath, core::DefaultStorageFolder());
    core::SetStorageFolder(folder);
    SetCaption(core::WindowKind::Settings, sw::kFolderLabel, "当前目录：" + folder);
    SetCaption(core::WindowKind::Settings, sw::kNodeLabel, "当前节点:" + NodeName());
}

void ToggleAutoStart() {
    SettingsSystem& system = Settings();
    if (AutoStartEnabled()) {
        system.RemoveAutoStart(RunKey::kMachine);
        system.RemoveAutoStart(RunKey::kUser);
    } else {
        // A standard user may not write the machine's key; the user's own starts the program
        // just the same.
        std::string command = system.ProgramFile();
        if (!system.WriteAutoStart(RunKey::kMachine, command)) system.WriteAutoStart(RunKey::kUser, command);
    }
    // The click may have flipped the button already; it shows what the keys now hold.
    ShowAutoStart(AutoStartEnabled());
}

void ChangeStorageFolder() {
    std::string folder = Settings().BrowseForFolder("选择目标目录");
    while (sys::EndsWith(folder, "\\")) folder.pop_back();
    if (!folder.empty()) core::WriteSetting(core::kSectionGeneral, core::kKeyPath, folder);
    core::InitSettingsAndFolders();
}

void OpenStorageFolder() { Settings().ExploreFolder(core::StorageFolder()); }

void NodeWindowCreated() {
    ui::ControlId list = core::ControlOf(core::WindowKind::Node, nw::kNodeList);
    if (!list) return;
    core::Ui().InsertColumn(list, -1, "节点地区", 100);
    core::Ui().InsertColumn(list, -1, "节点赞助商", 100);
    core::Ui().InsertColumn(list, -1, "赞助商网站", 250);
    // The node identifier: kept in the row, never shown.
    core::Ui().InsertColumn(list, -1, "", 0);
}

void RememberNodeRow(int row) { g_nodeRow.store(row); }
int RememberedNodeRow() { return g_nodeRow.load(); }

void ChangeNode() {
    ui::ControlId list = core::ControlOf(core::WindowKind::Node, nw::kNodeList);
    if (!list) return;
    int row = RememberedNodeRow();
    // With no such row the engine would hand back nothing, and the program would switch to
    // an empty node.
    if (row < 0 || row >= core::Ui().RowCount(list)) return;
    std::string id = core::Ui().GetCell(list, row, 3);
    if (id.empty()) return;
    net::SetNodeId(id);
    core::WriteSetting(core::kSectionNode, core::kKeyNodeId, id);
    core::WriteSetting(core::kSectionNode, core::kKeyNodeName,
                       sys::ReplaceAll(core::Ui().GetCell(list, row, 0), "\r\n", ""));
    core::WriteSetting(core::kSectionNode, core::kKeyNodeSponsor, core::Ui().GetCell(list, row, 1));
    core::Ui().MsgBox("渺岚壁纸", "无需重启壁纸软件,节点已切换成功！", "",
                      core::WindowOf(core::WindowKind::Node));
}

void ShowNodeRows(const net::NodeList& nodes) {
    ui::ControlId list = core::ControlOf(core::WindowKind::Node, nw::kNodeList);
    if (!list) return;
    ui::Engine& ui = core::Ui();
    ui.DeleteRow(list, -1);
    for (const std::vector<std::string>& cells : nodes.rows) {
        int row = ui.InsertRow(list, -1);
        for (size_t column = 0; column < cells.size(); ++column)
            ui.SetCell(list, row, static_cast<int>(column), cells[column]);
    }
}

void TakeNodeFromHello(const net::Hello& hello) {
    auto keepOrWrite = [](const char* key, const std::string& value) {
        if (core::ReadSetting(core::kSectionNode, key, "").empty())
            core::WriteSetting(core::kSectionNode, key, value);
    };
    keepOrWrite(core::kKeyNodeName, hello.nodeName);
    keepOrWrite(core::kKeyNodeSponsor, hello.sponsor);
    keepOrWrite(core::kKeyNodeId, hello.nodeId);
    net::SetNodeId(core::ReadSetting(core::kSectionNode, core::kKeyNodeId, hello.nodeId));
}

void ShowSponsorNotice() {
    std::string text = std::string("1.节点赞助（共享节点,让大家使用）") + "\r\n" +
                       "2.节点专区（私人节点专区）" + "\r\n" + "3.其他赞助" + "\r\n" + "请联系QQ：" +
                       kSponsorContact;
    core::Ui().MsgBox("渺岚壁纸", text, "", core::WindowOf(core::WindowKind::Download));
}

void RefreshDownloadNodeLabels() {
    SetCaption(core::WindowKind::Download, dw::kNodeLabel, "当前节点：" + NodeName());
    SetCaption(
        core::WindowKind::Download, dw::kSponsorLabel,
        "节点赞助：" + core::ReadSetting(core::kSectionNode, core::kKeyNodeSponsor, kDefaultNodeSponsor));
}

}  // namespace wallpaper
