// The download window with a real download in it, for a look at it as a user sees it: the
// program's own download and detail windows on the Win32 engine, the visible slot started on
// the URL as a download reply would, the progress ticking every second. The bitmap lands in a
// folder of its own, not on the desktop. Ends when the download window hides (the download
// ended) or after two minutes. Beside it, the node window as the download window's
// "更换节点" opens it, with two rows as a node-list reply would fill them.
//   download_window.exe URL STORAGE_FOLDER
#include <windows.h>

#include <string>

#include "app/program.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "ui/win32_engine.h"
#include "wallpaper/desktop.h"
#include "wallpaper/downloads.h"

namespace {

// The real desktop, except that the bitmap goes to the storage folder and the desktop is left
// as it is.
class PrivateDesktop : public wallpaper::DesktopSystem {
  public:
    PrivateDesktop(wallpaper::DesktopSystem& real, std::string folder)
        : real_(real), folder_(folder + "\\") {}
    bool WriteDesktopStyle(const std::string&, const std::string&) override { return true; }
    std::string WindowsFolder() override { return folder_; }
    std::string PerUserFolder() override { return folder_; }
    std::string Encode(const std::string& p, const std::string& c) override { return real_.Encode(p, c); }
    bool SetDesktopWallpaper(const std::string&) override { return true; }
    bool ReadWholeFile(const std::string& path, std::string* bytes) override {
        return real_.ReadWholeFile(path, bytes);
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        return real_.WriteWholeFile(path, bytes);
    }
    bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }

  private:
    wallpaper::DesktopSystem& real_;
    std::string folder_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    ui::EnableDpiAwareness();
    static ui::Win32Engine engine;
    // The program's wiring, never connected: the windows' buttons reach their handlers.
    static app::Program program(engine, {"127.0.0.1", 1, {}});
    std::string storage = argv[2];
    CreateDirectoryA(storage.c_str(), nullptr);
    CreateDirectoryA((storage + "\\壁纸").c_str(), nullptr);
    core::SetStorageFolder(storage);
    PrivateDesktop desktop(wallpaper::Desktop(), storage);
    wallpaper::UseDesktopSystem(&desktop);

    program.OpenWindow(core::WindowKind::Detail);
    ui::WindowId download = program.OpenWindow(core::WindowKind::Download);
    engine.ShowWindow(download, true);
    ui::WindowId node = program.OpenWindow(core::WindowKind::Node);
    ui::ControlId list = engine.FindControl(node, "超级列表框EX1");
    const char* rows[][4] = {{"香港服务器", "砚舟 提供服务器支持", "https://mirror-hk.example.org", "hk-01"},
                             {"东京服务器", "晨曦网络 赞助", "https://mirror-jp.example.org", "jp-02"}};
    for (auto& row : rows) {
        int at = engine.InsertRow(list, -1);
        for (int c = 0; c < 4; ++c) engine.SetCell(list, at, c, row[c]);
    }
    if (!wallpaper::StartWallpaperDownload(argv[1])) return 1;
    // The end of a download still calls into the windows after hiding them: messages are
    // pumped until the slot is free, never waited on without pumping.
    for (DWORD start = GetTickCount();
         GetTickCount() - start < 120000 &&
         (engine.IsWindowVisible(download) || wallpaper::VisibleSlot().Busy());) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    wallpaper::UseDesktopSystem(nullptr);
    return 0;
}
