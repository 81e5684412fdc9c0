// The one registry of handlers that the server link and the wallpaper parts install.
//
// Every event of the windows is bound to a named handler. The shell's own handlers live in
// shell.h; the others are filled in here by the subsystem that owns them (at start-up, before
// the main window is created). An entry nobody has installed yet is empty and its event does
// nothing. Installers assign entries from the UI thread before start-up; the entries are not
// changed afterwards.
#pragma once

#include <functional>
#include <string>

namespace app {

struct Handlers {
    // Start-up steps owned by other subsystems.
    std::function<void()> StartPacketClient;    // create the pack client, callbacks, settings
    std::function<void()> StartRotationThread;  // the background rotation loop

    // Main window.
    std::function<void()> ConnectToNode;  // 时钟1 tick
    std::function<void()> Show4KView;
    std::function<void()> ShowHdView;
    // Page change of 静态4K or 静态壁纸: (container name, new page position).
    std::function<void(const std::string& container, int page)> SelectCategoryTab;
    // Item choice in a category list: (request category, 0-based item position).
    std::function<void(const std::string& category, int position)> SendDetailRequest;
    std::function<void()> FirstPage;
    std::function<void()> PreviousPage;
    std::function<void()> NextPage;

    // Detail window.
    std::function<void()> SendDetailDownloadRequest;

    // Download window ("更换节点" creates the node window first, then calls this).
    std::function<void()> SendNodeListRequest;
    std::function<void()> ShowSponsorNotice;
    std::function<void()> ShowDownloadProgress;  // its 时钟1 tick

    // Node window.
    std::function<void()> NodeWindowCreated;  // columns of the node list
    std::function<void()> ChangeNode;         // "确定更换节点"

    // Settings window.
    std::function<void()> SettingsWindowCreated;
    std::function<void()> ToggleAutoStart;  // 单选框EX1
    std::function<void()> ChangeStorageFolder;
    std::function<void()> OpenStorageFolder;

    // Rotation window.
    std::function<void()> RotationWindowCreated;
    std::function<void()> RotationPeriodChanged;             // 编辑框EX1 text changed
    std::function<void(int index)> RotationCategoryChanged;  // 组合框EX1 selection
};

// The process-wide registry.
Handlers& InstalledHandlers();

}  // namespace app
