#include "wallpaper/desktop.h"

#include <atomic>
#include <iterator>
#include <mutex>

#include "core/window_registry.h"
#include "sys/text.h"
#include "wallpaper/compose.h"
#include "wallpaper/display_settings.h"

namespace wallpaper {

// The platform's system; defined beside the system calls (desktop_win.cpp, desktop_none.cpp).
DesktopSystem& PlatformDesktopSystem();

namespace {

std::atomic<DesktopSystem*> g_system{nullptr};
std::mutex g_applyMutex;
// Guarded by g_applyMutex: the monitor the next picture goes to, and where the last composed
// bitmap was written (empty until this process wrote one).
size_t g_nextMonitor = 0;
std::string g_composedBitmap;

const ImageEncoder kEncoders[] = {
    {"{557CF400-1A04-11D3-9A73-0000F81EF32E}", ".bmp"}, {"{557CF401-1A04-11D3-9A73-0000F81EF32E}", ".jpg"},
    {"{557CF402-1A04-11D3-9A73-0000F81EF32E}", ".gif"}, {"{557CF405-1A04-11D3-9A73-0000F81EF32E}", ".tiff"},
    {"{557CF406-1A04-11D3-9A73-0000F81EF32E}", ".png"},
};

}  // namespace

void UseDesktopSystem(DesktopSystem* system) { g_system.store(system); }

DesktopSystem& Desktop() {
    DesktopSystem* system = g_system.load();
    return system ? *system : PlatformDesktopSystem();
}

DesktopStyle StyleOf(int styleCode) {
    switch (styleCode) {
        case 1:
            return {"0", "0"};
        case 2:
            return {"2", "0"};
        case 3:
            return {"6", "0"};
        case 4:
            return {"10", "0"};
        case 5:
            return {"22", "0"};
        default:
            return {"0", "1"};
    }
}

const ImageEncoder* EncoderOf(int formatCode) {
    if (formatCode < 1 || formatCode > static_cast<int>(std::size(kEncoders))) return nullptr;
    return &kEncoders[formatCode - 1];
}

std::string WithExtension(const std::string& path, const std::string& extension) {
    if (sys::EndsWith(sys::ToLowerAscii(path), sys::ToLowerAscii(extension))) return path;
    return path + extension;
}

int ConvertImage(const std::string& picture, int formatCode, const std::string& outputPath, std::string* out,
                 bool* written) {
    if (written) *written = false;
    if (picture.size() < 3) return 0;
    const ImageEncoder* encoder = EncoderOf(formatCode);
    if (!encoder) return 0;
    // Nothing is written for a picture that cannot be decoded: an empty file would replace a
    // good bitmap.
    std::string encoded = Desktop().Encode(picture, encoder->clsid);
    if (encoded.empty()) return 0;
    if (!sys::Trim(outputPath).empty()) {
        bool ok = Desktop().WriteWholeFile(WithExtension(outputPath, encoder->extension), encoded);
        if (written) *written = ok;
    }
    if (out) *out = std::move(encoded);
    return 1;
}

namespace {

// The style code whose registry values ask the desktop itself for the fit; for a desktop whose
// monitors are unknown.
int StyleCodeOf(Fit fit) {
    switch (fit) {
        case Fit::Fill:
            return 4;
        case Fit::Fit:
            return 3;
        case Fit::Stretch:
            return kStretchedStyle;
        case Fit::Centre:
            return 1;
        case Fit::Tile:
            return 0;
        case Fit::Span:
            return 5;
    }
    return kStretchedStyle;
}

// Writes the bitmap to the Windows folder, or to the per-user one when that refuses it; the
// path written, empty when neither could be.
std::string WriteBitmap(DesktopSystem& system, const std::string& name, const std::string& bytes) {
    std::string path = system.WindowsFolder() + name;
    if (system.WriteWholeFile(path, bytes)) return path;
    // A standard user cannot write the Windows folder: the bitmap goes where the user can.
    std::string own = system.PerUserFolder();
    if (own.empty()) return {};
    path = own + name;
    return system.WriteWholeFile(path, bytes) ? path : std::string();
}

void RepaintSoon(DesktopSystem& system) {
    // Drawing belongs to the UI thread; this runs on a transfer thread.
    if (ui::Engine* engine = core::EngineOrNull()) engine->Post([&system] { system.RepaintWindowsSoon(); });
}

// The picture handed to the desktop as the system encodes it; the caller has written the style.
int ApplyAsItIs(DesktopSystem& system, const std::string& picture) {
    std::string encoded;
    if (ConvertImage(picture, kBmpFormat, "", &encoded) == 0) return 0;
    std::string bitmap = WriteBitmap(system, kBitmapName, encoded);
    if (bitmap.empty() || !system.SetDesktopWallpaper(bitmap)) return 0;
    RepaintSoon(system);
    return 1;
}

void WriteStyle(DesktopSystem& system, int styleCode) {
    DesktopStyle style = StyleOf(styleCode);
    system.WriteDesktopStyle(style.wallpaperStyle, style.tileWallpaper);
}

// The composed bitmap the desktop shows now, for the monitors that keep their pictures; empty
// when there is none of ours.
Image CurrentCanvas(DesktopSystem& system) {
    std::vector<std::string> places;
    if (!g_composedBitmap.empty()) {
        places.push_back(g_composedBitmap);
    } else {
        places.push_back(system.WindowsFolder() + kBitmapName);
        std::string own = system.PerUserFolder();
        if (!own.empty()) places.push_back(own + kBitmapName);
    }
    Image canvas;
    std::string bytes;
    for (const std::string& path : places)
        if (system.ReadWholeFile(path, &bytes) && DecodeBmp(bytes, &canvas)) return canvas;
    return {};
}

// Per monitor on a desktop that takes a bitmap per monitor: the picture fitted at the
// monitor's own size, in a file of that monitor's own.
bool ApplyToOneMonitor(DesktopSystem& system, const MonitorArea& monitor, size_t index, const Image& picture,
                       Fit fit) {
    Image own(monitor.right - monitor.left, monitor.bottom - monitor.top);
    if (own.Empty() || int64_t{own.width} * own.height > kMaxCanvasPixels) return false;
    DrawFitted(own, 0, 0, own.width, own.height, picture, fit);
    std::string name = "桌面背景图片-" + std::to_string(index + 1) + ".bmp";
    std::string bitmap = WriteBitmap(system, name, EncodeBmp(own));
    return !bitmap.empty() && system.SetMonitorWallpaper(monitor, bitmap);
}

}  // namespace

int MonitorCount() {
    size_t n = Desktop().Monitors().size();
    return n > 1 ? static_cast<int>(n) : 1;
}

int ApplyDesktopWallpaper(const std::string& pictureFile, int styleCode) {
    std::lock_guard lock(g_applyMutex);
    DesktopSystem& system = Desktop();
    DisplaySettings display = ReadDisplaySettings();
    std::string bytes;
    if (!display.perMonitor && display.fit == kDefaultFit) {
        // What the program has always done; its style is written even for a picture it cannot use.
        WriteStyle(system, styleCode);
        if (!system.ReadWholeFile(pictureFile, &bytes)) return 0;
        return ApplyAsItIs(system, bytes);
    }

    if (!system.ReadWholeFile(pictureFile, &bytes)) return 0;
    std::vector<MonitorArea> monitors = system.Monitors();
    Fit fit = display.fit;
    bool perMonitor = display.perMonitor && monitors.size() >= 2 && fit != Fit::Span;
    if ((!perMonitor && fit == kDefaultFit) || monitors.empty()) {
        // One monitor stretched, as always; or monitors unknown, and the desktop is asked for the
        // fit itself.
        WriteStyle(system, monitors.empty() ? StyleCodeOf(fit) : styleCode);
        return ApplyAsItIs(system, bytes);
    }

    Image picture;
    if (bytes.size() < 3 || !system.DecodePicture(bytes, &picture) || picture.Empty()) return 0;
    Image canvas;
    size_t next = g_nextMonitor;
    if (perMonitor) {
        size_t target = g_nextMonitor % monitors.size();
        if (system.HasMonitorWallpaper() &&
            ApplyToOneMonitor(system, monitors[target], target, picture, fit)) {
            g_nextMonitor = target + 1;
            RepaintSoon(system);
            return 1;
        }
        // Everywhere else, one bitmap over all monitors: the others keep what it holds there.
        Image current = CurrentCanvas(system);
        std::vector<const Image*> pictures(monitors.size(), nullptr);
        pictures[target] = &picture;
        canvas = ComposeCanvas(monitors, pictures, fit, &current);
        next = target + 1;
    } else {
        canvas = ComposeCanvas(monitors, std::vector<const Image*>(monitors.size(), &picture), fit);
    }
    if (canvas.Empty()) return 0;
    std::string bitmap = WriteBitmap(system, kBitmapName, EncodeBmp(canvas));
    if (bitmap.empty()) return 0;
    g_composedBitmap = bitmap;
    // Tiled, from the primary monitor's top left, which every desktop honours (Wine's too): the
    // canvas was made for exactly that, so each monitor shows its own rectangle of it.
    system.WriteDesktopStyle("0", "1");
    if (!system.SetDesktopWallpaper(bitmap)) return 0;
    g_nextMonitor = next;
    RepaintSoon(system);
    return 1;
}

}  // namespace wallpaper
