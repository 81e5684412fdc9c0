// The road from a download reply to the desktop call, timed inside one process under Wine:
// the visible slot downloads the picture (five connections), reads it, re-encodes it as the
// desktop bitmap with GDI+ and calls the desktop. Each run prints its milliseconds to the
// desktop call and to the end of the download (when the picture file is read).
//   desktop_bench.exe URL RUNS
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/settings.h"
#include "core/window_registry.h"
#include "ui/headless_engine.h"
#include "wallpaper/desktop.h"
#include "wallpaper/downloads.h"

namespace {

using Clock = std::chrono::steady_clock;

// The real desktop, with the moments the bench wants noted on the way through.
class TimedDesktop : public wallpaper::DesktopSystem {
  public:
    explicit TimedDesktop(wallpaper::DesktopSystem& real) : real_(real) {}
    bool WriteDesktopStyle(const std::string& s, const std::string& t) override {
        return real_.WriteDesktopStyle(s, t);
    }
    std::string WindowsFolder() override { return real_.WindowsFolder(); }
    std::string PerUserFolder() override { return real_.PerUserFolder(); }
    std::string Encode(const std::string& p, const std::string& c) override {
        Clock::time_point start = Clock::now();
        std::string out = real_.Encode(p, c);
        encodeMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        return out;
    }
    bool SetDesktopWallpaper(const std::string& path) override {
        Clock::time_point start = Clock::now();
        bool ok = real_.SetDesktopWallpaper(path);
        desktopMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        Note(&desktopAt_);
        return ok;
    }
    bool ReadWholeFile(const std::string& path, std::string* bytes) override {
        Note(&readAt_);
        return real_.ReadWholeFile(path, bytes);
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        return real_.WriteWholeFile(path, bytes);
    }
    bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }

    double encodeMs = 0, desktopMs = 0;  // read after the desktop call

    void Reset() {
        std::lock_guard lock(mutex_);
        readAt_ = desktopAt_ = Clock::time_point{};
    }
    // Waits for the desktop call; false after a minute.
    bool Wait(Clock::time_point* read, Clock::time_point* desktop) {
        std::unique_lock lock(mutex_);
        bool ok = changed_.wait_for(lock, std::chrono::seconds(60),
                                    [&] { return desktopAt_ != Clock::time_point{}; });
        *read = readAt_;
        *desktop = desktopAt_;
        return ok;
    }

  private:
    void Note(Clock::time_point* at) {
        std::lock_guard lock(mutex_);
        *at = Clock::now();
        changed_.notify_all();
    }
    wallpaper::DesktopSystem& real_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Clock::time_point readAt_, desktopAt_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop_bench URL RUNS\n");
        return 2;
    }
    std::string url = argv[1];
    int runs = std::atoi(argv[2]);
    ui::HeadlessEngine engine;
    core::UseEngine(&engine);
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string storage = std::string(temp) + "miaolan-desktop-bench";
    CreateDirectoryA(storage.c_str(), nullptr);
    CreateDirectoryA((storage + "\\壁纸").c_str(), nullptr);
    core::SetStorageFolder(storage);
    TimedDesktop desktop(wallpaper::Desktop());
    wallpaper::UseDesktopSystem(&desktop);

    for (int i = 0; i < runs; ++i) {
        desktop.Reset();
        Clock::time_point start = Clock::now();
        if (!wallpaper::StartWallpaperDownload(url)) {
            std::fprintf(stderr, "start refused\n");
            return 1;
        }
        Clock::time_point read, done;
        if (!desktop.Wait(&read, &done)) {
            std::fprintf(stderr, "no desktop call\n");
            return 1;
        }
        wallpaper::VisibleSlot().WaitIdle(60000);
        std::printf(
            "run %d: %.1f ms to the desktop call, %.1f ms downloading (encoding %.1f ms, desktop call %.1f "
            "ms)\n",
            i + 1, Ms(done - start), Ms(read - start), desktop.encodeMs, desktop.desktopMs);
        std::fflush(stdout);
    }
    wallpaper::UseDesktopSystem(nullptr);
    return 0;
}
