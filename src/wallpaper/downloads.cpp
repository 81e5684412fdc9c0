#include "wallpaper/downloads.h"

#include <atomic>
#include <mutex>

#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "sys/text.h"
#include "wallpaper/desktop.h"
#include "wallpaper/history.h"
#include "wallpaper/user_settings.h"
#include "web/download_observer.h"

namespace wallpaper {
namespace {

namespace dw = core::controls::download_window;

void SetDownloadText(const char* control, const std::string& text) {
    if (ui::ControlId id = core::ControlOf(core::WindowKind::Download, control))
        core::Ui().SetText(id, ui::attr::kCaption, text);
}

void SetDownloadInt(const char* control, int attribute, int value) {
    if (ui::ControlId id = core::ControlOf(core::WindowKind::Download, control))
        core::Ui().SetInt(id, attribute, value);
}

std::string Kilobytes(double bytes) { return sys::FormatRounded2(bytes / 1024.0); }

void FinishVisible() {
    SetDownloadInt(dw::kProgressTimer, ui::attr::kInterval, 0);
    SetDownloadInt(dw::kProgressBar, ui::attr::kValue, 0);
    for (core::WindowKind kind : {core::WindowKind::Download, core::WindowKind::Detail})
        if (ui::WindowId window = core::WindowOf(kind)) core::Ui().ShowWindow(window, false);
}

struct Slot : web::DownloadObserver {
    Slot(const char* f, bool v) : file(f), visible(v) {}
    const char* file;
    bool visible;
    std::mutex starting;  // one start at a time: the busy test and the file removal belong together
    std::atomic<bool> applyWhenDone{false};
    // Written on a connection thread, read by the tick on the UI thread.
    std::atomic<double> total{0};
    std::atomic<uint64_t> ended{0};
    // Last, so it is destroyed first: its destructor waits for the transfer, whose end still
    // reaches the members above.
    web::DownloadSlot engine;

    void TotalKnown(int64_t bytes) override {
        total.store(static_cast<double>(bytes));
        if (visible) SetDownloadText(dw::kProgressText1, Kilobytes(static_cast<double>(bytes)) + "KB");
    }
    void Finished(const web::DownloadResult& result) override {
        if (applyWhenDone.load()) {
            // A transfer that ended short holds a partial picture: the desktop keeps its own.
            if (result.complete && ApplyDesktopWallpaper(result.file, kStretchedStyle))
                RecordAppliedPicture(result.file);
            Desktop().RemoveFile(result.file);
        }
        ++ended;
        if (visible) FinishVisible();
    }
};

Slot& Visible() {
    static Slot slot{"\\壁纸\\壁纸.jpg", true};
    return slot;
}

Slot& Silent() {
    static Slot slot{"\\壁纸\\壁纸1.jpg", false};
    return slot;
}

bool Start(Slot& slot, const std::string& url) {
    std::lock_guard lock(slot.starting);
    // A busy slot keeps its transfer, and its file: deleting it would pull the picture out
    // from under the running download.
    if (slot.engine.Busy()) return false;
    if (slot.visible) RefreshDownloadNodeLabels();
    std::string target = core::StorageFolder() + slot.file;
    // An old file left by an interrupted run must never be applied in place of the new one.
    Desktop().RemoveFile(target);
    slot.applyWhenDone.store(true);
    slot.total.store(0);

    web::DownloadSettings settings = web::ProgramDownloadSettings(url, target);
    settings.event = web::EventsFor(slot);
    // The window is shown here and nowhere else, before the engine can deliver the end that
    // hides it: a reply the slot refuses while busy (even in the moment between the end of the
    // previous transfer and the slot's release) never touches it.
    if (slot.visible) {
        SetDownloadInt(dw::kProgressBar, ui::attr::kValue, 0);
        SetDownloadInt(dw::kProgressTimer, ui::attr::kInterval, 1000);
        if (ui::WindowId window = core::WindowOf(core::WindowKind::Download))
            core::Ui().ShowWindow(window, true);
    }
    if (web::StartDownload(slot.engine, settings)) return true;
    // A URL the engine refuses: no transfer will ever end it, so the window goes now.
    if (slot.visible) FinishVisible();
    return false;
}

}  // namespace

bool StartWallpaperDownload(const std::string& url) { return Start(Visible(), url); }
bool StartSilentDownload(const std::string& url) { return Start(Silent(), url); }

std::string VisibleTarget() { return core::StorageFolder() + Visible().file; }
std::string SilentTarget() { return core::StorageFolder() + Silent().file; }
web::DownloadSlot& VisibleSlot() { return Visible().engine; }
web::DownloadSlot& SilentSlot() { return Silent().engine; }
uint64_t SilentDownloadsEnded() { return Silent().ended.load(); }

void ShowDownloadProgress() {
    Slot& slot = Visible();
    double speed = static_cast<double>(slot.engine.TakeBytesSinceLastQuery());
    SetDownloadText(dw::kProgressText2, Kilobytes(speed) + "kb/秒");
    double done = static_cast<double>(slot.engine.BytesSoFar());
    double total = slot.total.load();
    int percent = 0;
    if (total > 0) {
        double share = done / total * 100.0;
        percent = share >= 100.0 ? 100 : share <= 0.0 ? 0 : static_cast<int>(share);
    }
    SetDownloadInt(dw::kProgressBar, ui::attr::kValue, percent);
    SetDownloadText(dw::kProgressText3, Kilobytes(done) + "KB");
    SetDownloadText(dw::kProgressText4, sys::FromInt(percent) + "%");
}

}  // namespace wallpaper
