#include "wallpaper/desktop.h"

#include <atomic>
#include <iterator>
#include <mutex>

#include "core/window_registry.h"
#include "sys/text.h"

namespace wallpaper {

// The platform's system; defined beside the system calls (desktop_win.cpp, desktop_none.cpp).
DesktopSystem& PlatformDesktopSystem();

namespace {

std::atomic<DesktopSystem*> g_system{nullptr};
std::mutex g_applyMutex;

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

int MonitorCount() {
    size_t count = Desktop().Monitors().size();
    return count > 1 ? static_cast<int>(count) : 1;
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

int ApplyDesktopWallpaper(const std::string& pictureFile, int styleCode) {
    std::lock_guard lock(g_applyMutex);
    DesktopSystem& system = Desktop();
    DesktopStyle style = StyleOf(styleCode);
    system.WriteDesktopStyle(style.wallpaperStyle, style.tileWallpaper);

    std::string bitmap = system.WindowsFolder() + kBitmapName;
    std::string picture;
    if (!system.ReadWholeFile(pictureFile, &picture)) return 0;
    std::string encoded;
    bool written = false;
    if (ConvertImage(picture, kBmpFormat, bitmap, &encoded, &written) == 0) return 0;
    if (!written) {
        // A standard user cannot write the Windows folder: the bitmap goes where the user can.
        std::string own = system.PerUserFolder();
        if (own.empty()) return 0;
        bitmap = own + kBitmapName;
        if (!system.WriteWholeFile(bitmap, encoded)) return 0;
    }
    if (!system.SetDesktopWallpaper(bitmap)) return 0;
    // Drawing belongs to the UI thread; this runs on a transfer thread.
    if (ui::Engine* engine = core::EngineOrNull()) engine->Post([&system] { system.RepaintWindowsSoon(); });
    return 1;
}

}  // namespace wallpaper
