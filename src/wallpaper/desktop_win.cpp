// The desktop on Windows: the registry, GDI+ over global-memory streams and the desktop call,
// through the native call table where it has rows.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
// clang-format on

#include "sys/file_bytes.h"
#include "sys/native_calls.h"
#include "sys/scoped_win.h"
#include "sys/trace_win.h"
#include "wallpaper/desktop.h"

// The few GDI+ calls the table has no row for, to bring an odd picture to 24-bit RGB.
extern "C" {
int WINAPI GdipGetImagePixelFormat(void* image, INT* format);
int WINAPI GdipGetImageWidth(void* image, UINT* width);
int WINAPI GdipGetImageHeight(void* image, UINT* height);
int WINAPI GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, INT format, void* source, void** copy);
}

namespace wallpaper {
namespace {

using sys::Native;
using sys::Row;

constexpr INT kPixelFormat24bppRGB = 0x00021808;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

std::wstring Wide936(const std::string& text) {
    auto convert = Native<Row::MultiByteToWideChar>();
    int n = convert(936, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) convert(936, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

bool SetString(HKEY key, const char* name, const std::string& value) {
    LONG rc =
        Native<Row::RegSetValueExA>()(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) sys::TraceError("RegSetValueExA", static_cast<unsigned long>(rc));
    return rc == ERROR_SUCCESS;
}

// GDI+ keeps a paletted PNG as an indexed image, and Wine then writes a BMP whose header is
// short; a 24-bit copy encodes the same everywhere. Pictures already in that format (JPEG)
// are left as they are.
void To24Bit(sys::ScopedGpImage& image) {
    INT format = 0;
    if (GdipGetImagePixelFormat(image.get(), &format) != 0 || format == kPixelFormat24bppRGB) return;
    UINT width = 0, height = 0;
    GdipGetImageWidth(image.get(), &width);
    GdipGetImageHeight(image.get(), &height);
    void* copy = nullptr;
    if (GdipCloneBitmapAreaI(0, 0, static_cast<INT>(width), static_cast<INT>(height), kPixelFormat24bppRGB,
                             image.get(), &copy) == 0 &&
        copy)
        image.reset(copy);
}

class Win32Desktop : public DesktopSystem {
  public:
    bool WriteDesktopStyle(const std::string& wallpaperStyle, const std::string& tile) override {
        sys::ScopedKey key;
        LONG rc = Native<Row::RegOpenKeyExA>()(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, kReadWrite,
                                               key.put());
        if (rc != ERROR_SUCCESS) {
            sys::TraceError("RegOpenKeyExA", static_cast<unsigned long>(rc));
            return false;
        }
        bool style = SetString(key.get(), "WallpaperStyle", wallpaperStyle);
        bool tiled = SetString(key.get(), "TileWallpaper", tile);
        return style && tiled;
    }

    std::string WindowsFolder() override {
        char folder[MAX_PATH + 1] = {};
        UINT n = Native<Row::GetWindowsDirectoryA>()(folder, MAX_PATH);
        if (n == 0 || n > MAX_PATH) sys::TraceLastError("GetWindowsDirectoryA");
        std::string path = folder;
        if (path.empty() || path.back() != '\\') path += '\\';
        return path;
    }

    std::string PerUserFolder() override {
        char local[MAX_PATH + 1] = {};
        if (!Native<Row::SHGetSpecialFolderPathA>()(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE) || !local[0])
            return {};
        std::string folder = std::string(local) + "\\渺岚壁纸";
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            sys::TraceLastError("CreateDirectoryA");
            return {};
        }
        return folder + "\\";
    }

    std::string Encode(const std::string& picture, const std::string& encoderClsid) override {
        sys::GdiplusSession gdiplus = sys::GdiplusSession::Start();
        if (!gdiplus) return {};
        GUID clsid;
        if (FAILED(Native<Row::CLSIDFromString>()(Wide936(encoderClsid).c_str(), &clsid))) return {};

        // Declared in this order so they go in reverse: the bitmap reads its stream, the stream
        // reads the block.
        sys::ScopedGlobal input(Native<Row::GlobalAlloc>()(GMEM_MOVEABLE, picture.size()));
        if (!input) return {};
        {
            sys::GlobalLockGuard lock(input.get());
            if (!lock) return {};
            Native<Row::RtlMoveMemory>()(lock.data(), picture.data(), picture.size());
        }
        sys::ScopedStream inputStream;
        if (FAILED(Native<Row::CreateStreamOnHGlobal>()(input.get(), FALSE, inputStream.put()))) return {};
        sys::ScopedGpImage image;
        if (Native<Row::GdipCreateBitmapFromStream>()(inputStream.get(), image.put()) != 0 || !image)
            return {};
        To24Bit(image);

        sys::ScopedStream output;
        if (FAILED(Native<Row::CreateStreamOnHGlobal>()(nullptr, TRUE, output.put()))) return {};
        if (Native<Row::GdipSaveImageToStream>()(image.get(), output.get(), &clsid, nullptr) != 0) return {};
        HGLOBAL memory = nullptr;
        if (FAILED(Native<Row::GetHGlobalFromStream>()(output.get(), &memory)) || !memory) return {};
        // The block may be larger than what was written: the stream's own size counts.
        STATSTG stat = {};
        SIZE_T size = Native<Row::GlobalSize>()(memory);
        if (SUCCEEDED(output->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart < size)
            size = static_cast<SIZE_T>(stat.cbSize.QuadPart);
        sys::GlobalLockGuard lock(memory);
        if (!lock || size == 0) return {};
        std::string encoded(size, '\0');
        Native<Row::RtlMoveMemory>()(encoded.data(), lock.data(), size);
        return encoded;
    }

    bool SetDesktopWallpaper(const std::string& bitmapPath) override {
        BOOL ok = Native<Row::SystemParametersInfoA>()(
            SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bitmapPath.c_str()), SPIF_UPDATEINIFILE);
        if (!ok) sys::TraceLastError("SystemParametersInfoA");
        return ok != FALSE;
    }

    bool ReadWholeFile(const std::string& path, std::string* bytes) override {
        return sys::ReadFileBytes(path, bytes);
    }

    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        return sys::WriteFileBytes(path, bytes);
    }

    void RepaintWindowsSoon() override {
        // For Wine: its virtual desktop paints the new wallpaper over every window in it, after
        // the desktop call has returned, and nothing repaints them. A repaint of every window,
        // once the desktop has painted, brings them back; harmless on Windows. The desktop
        // paints in another process with no word when it is done, so the repaint comes a few
        // times over two seconds, by thread timers of the UI thread (this one).
        for (UINT ms : {150u, 600u, 2000u})
            if (!SetTimer(nullptr, 0, ms, RepaintAllWindows)) sys::TraceLastError("SetTimer");
    }

  private:
    static void CALLBACK RepaintAllWindows(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        RedrawWindow(nullptr, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }

  public:
    bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
};

}  // namespace

DesktopSystem& PlatformDesktopSystem() {
    static Win32Desktop system;
    return system;
}

}  // namespace wallpaper
