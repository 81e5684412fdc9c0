// The desktop on Windows: the registry, GDI+ over global-memory streams and the desktop call,
// through the native call table where it has rows.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sys/file_bytes.h"
#include "sys/native_calls.h"
#include "sys/scoped_win.h"
#include "sys/trace_win.h"
#include "wallpaper/compose.h"
#include "wallpaper/desktop.h"

// The few GDI+ calls the table has no row for, to bring an odd picture to 24-bit RGB.
extern "C" {
int WINAPI GdipGetImagePixelFormat(void* image, INT* format);
int WINAPI GdipGetImageWidth(void* image, UINT* width);
int WINAPI GdipGetImageHeight(void* image, UINT* height);
int WINAPI GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, INT format, void* source, void** copy);
struct GpBitmapData {
    UINT width, height;
    INT stride, pixelFormat;
    void* scan0;
    UINT_PTR reserved;
};
int WINAPI GdipBitmapLockBits(void* bitmap, const RECT* rect, UINT flags, INT format, GpBitmapData* data);
int WINAPI GdipBitmapUnlockBits(void* bitmap, GpBitmapData* data);
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

constexpr UINT kImageLockModeRead = 1;

// A picture decoded by GDI+ from bytes in memory, brought to 24-bit RGB. Declared in this order
// so they go in reverse: the bitmap reads its stream, the stream reads the block.
struct GdiplusPicture {
    sys::ScopedGlobal input;
    sys::ScopedStream stream;
    sys::ScopedGpImage image;

    // False when the bytes are no picture GDI+ can decode; GDI+ must be started.
    bool Load(const std::string& picture) {
        input.reset(Native<Row::GlobalAlloc>()(GMEM_MOVEABLE, picture.size()));
        if (!input) return false;
        {
            sys::GlobalLockGuard lock(input.get());
            if (!lock) return false;
            Native<Row::RtlMoveMemory>()(lock.data(), picture.data(), picture.size());
        }
        if (FAILED(Native<Row::CreateStreamOnHGlobal>()(input.get(), FALSE, stream.put()))) return false;
        if (Native<Row::GdipCreateBitmapFromStream>()(stream.get(), image.put()) != 0 || !image) return false;
        To24Bit(image);
        return true;
    }
};

// COM on the calling thread for as long as it lives (a transfer thread has none of its own). A
// thread that already has it in another mode keeps it, and it is not ended here.
class ComScope {
  public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT hr_;
};

// The desktop's own per-monitor wallpaper, activated out of process (Explorer serves it). Many
// systems have no such class (REGDB_E_CLASSNOTREG), Wine among them; then null.
sys::ScopedCom<IDesktopWallpaper> DesktopWallpaperObject() {
    sys::ScopedCom<IDesktopWallpaper> object;
    HRESULT hr = CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_LOCAL_SERVER, IID_IDesktopWallpaper,
                                  reinterpret_cast<void**>(object.put()));
    if (FAILED(hr)) {
        if (hr != REGDB_E_CLASSNOTREG)
            sys::TraceError("CoCreateInstance(DesktopWallpaper)", static_cast<unsigned long>(hr));
        object.reset();
    }
    return object;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info)) {
        sys::TraceLastError("GetMonitorInfoA");
        return TRUE;
    }
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back(
        {r.left, r.top, r.right, r.bottom, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
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

        GdiplusPicture decoded;
        if (!decoded.Load(picture)) return {};

        sys::ScopedStream output;
        if (FAILED(Native<Row::CreateStreamOnHGlobal>()(nullptr, TRUE, output.put()))) return {};
        if (Native<Row::GdipSaveImageToStream>()(decoded.image.get(), output.get(), &clsid, nullptr) != 0)
            return {};
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

    std::vector<MonitorArea> Monitors() override {
        std::vector<MonitorArea> monitors;
        if (!EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors))) {
            sys::TraceLastError("EnumDisplayMonitors");
            return {};
        }
        std::stable_partition(monitors.begin(), monitors.end(),
                              [](const MonitorArea& m) { return m.primary; });
        return monitors;
    }

    bool DecodePicture(const std::string& picture, Image* image) override {
        sys::GdiplusSession gdiplus = sys::GdiplusSession::Start();
        if (!gdiplus) return false;
        GdiplusPicture decoded;
        if (!decoded.Load(picture)) return false;
        UINT width = 0, height = 0;
        GdipGetImageWidth(decoded.image.get(), &width);
        GdipGetImageHeight(decoded.image.get(), &height);
        if (width == 0 || height == 0 || int64_t{width} * height > kMaxCanvasPixels) return false;
        RECT all = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
        GpBitmapData data = {};
        if (GdipBitmapLockBits(decoded.image.get(), &all, kImageLockModeRead, kPixelFormat24bppRGB, &data) !=
            0)
            return false;
        // GDI+'s 24-bit RGB is blue, green, red in memory, as an Image holds it.
        Image out(static_cast<int>(width), static_cast<int>(height));
        for (UINT y = 0; y < height; ++y)
            std::memcpy(out.At(0, static_cast<int>(y)),
                        static_cast<const uint8_t*>(data.scan0) + INT_PTR{data.stride} * y,
                        static_cast<size_t>(width) * 3);
        GdipBitmapUnlockBits(decoded.image.get(), &data);
        *image = std::move(out);
        return true;
    }

    bool HasMonitorWallpaper() override {
        ComScope com;
        return com.usable() && DesktopWallpaperObject();
    }

    bool SetMonitorWallpaper(const MonitorArea& monitor, const std::string& bitmapPath) override {
        ComScope com;
        if (!com.usable()) return false;
        sys::ScopedCom<IDesktopWallpaper> desktop = DesktopWallpaperObject();
        if (!desktop) return false;
        UINT count = 0;
        if (FAILED(desktop->GetMonitorDevicePathCount(&count))) return false;
        for (UINT i = 0; i < count; ++i) {
            LPWSTR id = nullptr;
            if (FAILED(desktop->GetMonitorDevicePathAt(i, &id)) || !id) continue;
            RECT r = {};
            bool match = SUCCEEDED(desktop->GetMonitorRECT(id, &r)) && r.left == monitor.left &&
                         r.top == monitor.top && r.right == monitor.right && r.bottom == monitor.bottom;
            HRESULT hr = S_OK;
            if (match) {
                // The bitmap is made at the monitor's size; fill keeps it 1:1 and covers a
                // monitor whose size changed since.
                desktop->SetPosition(DWPOS_FILL);
                hr = desktop->SetWallpaper(id, Wide936(bitmapPath).c_str());
                if (FAILED(hr))
                    sys::TraceError("IDesktopWallpaper::SetWallpaper", static_cast<unsigned long>(hr));
            }
            CoTaskMemFree(id);
            if (match) return SUCCEEDED(hr);
        }
        return false;
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
