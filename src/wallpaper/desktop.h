// Making a downloaded picture the desktop wallpaper: the desktop style in the registry, the
// picture re-encoded as a bitmap, the bitmap handed to the desktop.
//
// The logic is portable; what it asks of the system goes through a DesktopSystem (Win32 on
// Windows, a test's own elsewhere), so a refused write can be made to happen on purpose.
#pragma once

#include <string>
#include <vector>

namespace wallpaper {

struct Image;

// A monitor's rectangle on the virtual screen: the primary's top left is 0,0, and a monitor
// left of or above it lies at negative coordinates. Right and bottom are exclusive.
struct MonitorArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool primary = false;
};

// What the desktop application needs of the system. Every call is safe from any thread.
class DesktopSystem {
  public:
    virtual ~DesktopSystem() = default;
    // WallpaperStyle and TileWallpaper under HKCU\Control Panel\Desktop; false when the key
    // cannot be opened (nothing is written then).
    virtual bool WriteDesktopStyle(const std::string& wallpaperStyle, const std::string& tile) = 0;
    // The Windows folder, ending in a backslash.
    virtual std::string WindowsFolder() = 0;
    // A folder of the user's own for the bitmap when the Windows folder cannot be written,
    // ending in a backslash and created if missing; empty when there is none.
    virtual std::string PerUserFolder() = 0;
    // Decodes the picture and encodes it with the encoder of the CLSID text; empty when the
    // bytes are no picture the system can decode or the encoding fails.
    virtual std::string Encode(const std::string& picture, const std::string& encoderClsid) = 0;
    // Every monitor, the primary first; empty when the system cannot tell.
    virtual std::vector<MonitorArea> Monitors() { return {}; }
    // Decodes the picture to 24-bit pixels; false when the bytes are no picture it can decode.
    virtual bool DecodePicture(const std::string& picture, Image* image) { return false; }
    // Whether the desktop takes a bitmap per monitor itself (Windows 8 and later).
    virtual bool HasMonitorWallpaper() { return false; }
    // Shows the bitmap, made at the monitor's size, on the monitor with that rectangle; false
    // when the desktop cannot or there is no such monitor.
    virtual bool SetMonitorWallpaper(const MonitorArea& monitor, const std::string& bitmapPath) {
        return false;
    }
    // Points the desktop at the bitmap; the system's answer.
    virtual bool SetDesktopWallpaper(const std::string& bitmapPath) = 0;
    // On the UI thread, after the desktop changed: repaints every window of the program once
    // the desktop has painted the new picture.
    virtual void RepaintWindowsSoon() {}

    // Whole files, GBK paths. ReadWholeFile gives false when the file cannot be read.
    virtual bool ReadWholeFile(const std::string& path, std::string* bytes) = 0;
    // Creates or truncates the file; false when it cannot be written completely.
    virtual bool WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
    // False when there was nothing to remove or it could not be removed.
    virtual bool RemoveFile(const std::string& path) = 0;
};

// The system in use: the platform's on Windows; natively one that refuses everything until a
// test installs its own. Not owned; null restores the default.
void UseDesktopSystem(DesktopSystem* system);
DesktopSystem& Desktop();

// The two registry values of a style code (1..5; any other tiles).
struct DesktopStyle {
    const char* wallpaperStyle;
    const char* tileWallpaper;
};
DesktopStyle StyleOf(int styleCode);
// Every application in this program uses this one.
inline constexpr int kStretchedStyle = 2;

// The GDI+ encoder of a format code (1 bmp, 2 jpg, 3 gif, 4 tiff, 5 png); null for others.
struct ImageEncoder {
    const char* clsid;
    const char* extension;
};
const ImageEncoder* EncoderOf(int formatCode);
inline constexpr int kBmpFormat = 1;

// The path ending in the extension: appended unless the path already ends with it, compared
// without regard to ASCII case (".BMP" gets no second ".bmp").
std::string WithExtension(const std::string& path, const std::string& extension);

// The bitmap's file name, in the Windows folder or the per-user one.
inline constexpr const char* kBitmapName = "桌面背景图片.bmp";

// Re-encodes the picture in the format and, when the path (trimmed of blanks) is not empty,
// writes it there with the format's extension. 1 on success with the encoded bytes in `out`;
// 0 when the input is shorter than 3 bytes, the format is unknown or the picture cannot be
// decoded, and then nothing is written. `written` (optional) tells whether the file was.
int ConvertImage(const std::string& picture, int formatCode, const std::string& outputPath, std::string* out,
                 bool* written = nullptr);

// How many monitors the desktop has, at least 1: rotation asks one picture per monitor.
int MonitorCount();

// Writes the style, re-encodes the picture file as the desktop bitmap and points the desktop
// at it; the system's answer. A picture that cannot be read or decoded keeps the previous
// bitmap and skips the desktop call (0). When the Windows folder cannot be written, the bitmap
// goes to the per-user folder and the desktop is pointed there; the program's windows are then
// repainted on the UI thread. Applications are serialized:
// both download slots end here with the same bitmap path.
//
// The display choices change this: another fit than the default, or a picture per monitor with
// two monitors or more, compose the bitmap here at the monitors' sizes (the style code is then
// not used). Per monitor, each application goes to the next monitor in turn and the others keep
// their pictures.
int ApplyDesktopWallpaper(const std::string& pictureFile, int styleCode);

}  // namespace wallpaper
