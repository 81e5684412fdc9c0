// Doubles of the wallpaper part's system seams, and the windows of the program on the
// headless engine.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "core/window_registry.h"
#include "ui/headless_engine.h"
#include "wallpaper/desktop.h"
#include "wallpaper/user_settings.h"

namespace wptest {

// Real files under a folder of the test, a pretend codec and a recorded desktop. A "picture"
// is any bytes starting with "PIC"; its "bitmap" is "BMP" + the rest. Installs itself.
class FileDesktop : public wallpaper::DesktopSystem {
  public:
    explicit FileDesktop(const std::filesystem::path& root)
        : windows_((root / "windows").string() + "/"), perUser_((root / "local").string() + "/") {
        std::filesystem::create_directories(root / "windows");
        std::filesystem::create_directories(root / "local");
        wallpaper::UseDesktopSystem(this);
    }
    ~FileDesktop() override { wallpaper::UseDesktopSystem(nullptr); }

    bool WriteDesktopStyle(const std::string& style, const std::string& tile) override {
        std::lock_guard lock(mutex_);
        styles_.push_back(style + "/" + tile);
        return true;
    }
    std::string WindowsFolder() override { return windows_; }
    std::string PerUserFolder() override { return perUser_; }
    std::string Encode(const std::string& picture, const std::string& clsid) override {
        if (picture.compare(0, 3, "PIC") != 0) return {};
        return "BMP" + picture.substr(3);
    }
    bool SetDesktopWallpaper(const std::string& path) override {
        {
            std::lock_guard lock(mutex_);
            desktop_.push_back(path);
        }
        if (onDesktopCall) onDesktopCall();
        return true;
    }
    bool ReadWholeFile(const std::string& path, std::string* bytes) override {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::ostringstream out;
        out << in.rdbuf();
        *bytes = out.str();
        return true;
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        if (refuseWindowsFolder && path.compare(0, windows_.size(), windows_) == 0) return false;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }
    // C stdio, not std::filesystem: its narrow paths are the ANSI code page (GBK) on Windows.
    bool RemoveFile(const std::string& path) override { return std::remove(path.c_str()) == 0; }
    bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

    std::vector<std::string> Styles() {
        std::lock_guard lock(mutex_);
        return styles_;
    }
    std::vector<std::string> DesktopCalls() {
        std::lock_guard lock(mutex_);
        return desktop_;
    }
    std::string Read(const std::string& path) {
        std::string bytes;
        return ReadWholeFile(path, &bytes) ? bytes : std::string("<missing>");
    }
    std::string WindowsBitmap() { return windows_ + wallpaper::kBitmapName; }
    std::string PerUserBitmap() { return perUser_ + wallpaper::kBitmapName; }

    bool refuseWindowsFolder = false;
    // Runs after each desktop call, on the caller's thread (the transfer's, inside its end).
    std::function<void()> onDesktopCall;

  private:
    std::string windows_, perUser_;
    std::mutex mutex_;
    std::vector<std::string> styles_, desktop_;
};

// The Run keys in memory, with refusals on demand, a scripted folder dialog and a recorded
// file manager. Installs itself.
class MemorySettingsSystem : public wallpaper::SettingsSystem {
  public:
    MemorySettingsSystem() { wallpaper::UseSettingsSystem(this); }
    ~MemorySettingsSystem() override { wallpaper::UseSettingsSystem(nullptr); }

    std::string ReadAutoStart(wallpaper::RunKey key) override { return run[Index(key)]; }
    bool WriteAutoStart(wallpaper::RunKey key, const std::string& command) override {
        ++writes[Index(key)];
        if (refuse[Index(key)]) return false;
        run[Index(key)] = command;
        return true;
    }
    bool RemoveAutoStart(wallpaper::RunKey key) override {
        if (refuse[Index(key)]) return false;
        run[Index(key)].clear();
        return true;
    }
    std::string ProgramFile() override { return "C:\\程序\\MiaolanWallpaper.exe"; }
    std::string BrowseForFolder(const std::string& title) override {
        dialogTitles.push_back(title);
        return chosenFolder;
    }
    void ExploreFolder(const std::string& folder) override { explored.push_back(folder); }

    static int Index(wallpaper::RunKey key) { return key == wallpaper::RunKey::kMachine ? 0 : 1; }

    std::string run[2];
    bool refuse[2] = {false, false};
    int writes[2] = {0, 0};
    std::string chosenFolder;
    std::vector<std::string> dialogTitles, explored;
};

// The headless engine in use for the test's lifetime, with the program's own window designs.
class Windows {
  public:
    ~Windows() {
        program.Stop();
        for (ui::WindowId w : engine.LiveWindows()) engine.DestroyWindow(w);
    }
    ui::WindowId Open(core::WindowKind kind) { return program.OpenWindow(kind); }
    ui::ControlId Control(core::WindowKind kind, const char* name) { return core::ControlOf(kind, name); }
    std::string Caption(core::WindowKind kind, const char* name) {
        return engine.GetText(Control(kind, name), ui::attr::kCaption);
    }
    int Int(core::WindowKind kind, const char* name, int attribute) {
        return engine.GetInt(Control(kind, name), attribute);
    }
    bool Visible(core::WindowKind kind) { return engine.IsWindowVisible(core::WindowOf(kind)); }

    ui::HeadlessEngine engine;
    // The program's own wiring; it never connects (nothing listens on port 1).
    app::Program program{engine, {"127.0.0.1", 1, {}}};
};

}  // namespace wptest
