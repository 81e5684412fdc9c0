// Scoped owners for the Windows handles the program holds: each closes its handle exactly once,
// when it goes out of scope or is reset. Move-only; release() hands the handle on.
//
// Releases that the native call table covers go through the table (CloseHandle, RegCloseKey,
// GlobalFree, GlobalUnlock, DeleteObject and the GDI+ calls), so the program binds each
// function one way. GDI+ owners also accept the release function they should call, for code that
// links GDI+ directly. Windows only.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <utility>

#include "sys/native_calls.h"

namespace sys {

// The owner behind every type below. Traits gives Handle, None(), Valid(h) and Close(h).
template <class Traits>
class Scoped {
  public:
    using Handle = typename Traits::Handle;

    Scoped() noexcept = default;
    explicit Scoped(Handle h) noexcept : h_(h) {}
    ~Scoped() { reset(); }
    Scoped(Scoped&& o) noexcept : h_(o.release()) {}
    Scoped& operator=(Scoped&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Traits::Valid(h_); }
    [[nodiscard]] Handle release() noexcept { return std::exchange(h_, Traits::None()); }
    void reset(Handle h = Traits::None()) noexcept {
        Handle old = std::exchange(h_, h);
        if (Traits::Valid(old)) Traits::Close(old);
    }
    // For out-parameters: closes what is held and lends the slot, e.g. RegOpenKeyExA(..., key.put()).
    Handle* put() noexcept {
        reset();
        return &h_;
    }

  private:
    Handle h_ = Traits::None();
};

namespace scoped_traits {

// Kernel objects. Files fail with INVALID_HANDLE_VALUE, most other creators with null: neither
// is ever closed (GetCurrentProcess() is -1 too, and must not be).
struct Kernel {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { Native<Row::CloseHandle>()(h); }
};

// Registry keys that were opened or created; the predefined roots are never closed.
struct Key {
    using Handle = HKEY;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) {
        auto v = reinterpret_cast<LONG_PTR>(h);
        bool predefined = v >= reinterpret_cast<LONG_PTR>(HKEY_CLASSES_ROOT) &&
                          v <= reinterpret_cast<LONG_PTR>(HKEY_CURRENT_USER_LOCAL_SETTINGS);
        return h != nullptr && !predefined;
    }
    static void Close(Handle h) { Native<Row::RegCloseKey>()(h); }
};

struct Global {
    using Handle = HGLOBAL;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { Native<Row::GlobalFree>()(h); }
};

struct Menu {
    using Handle = HMENU;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};

template <class T>
struct GdiObject {
    using Handle = T;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { Native<Row::DeleteObject>()(h); }
};

// A memory DC from CreateCompatibleDC or CreateDC.
struct CreatedDc {
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};

struct Hook {
    using Handle = HHOOK;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { UnhookWindowsHookEx(h); }
};

// An icon the program made or loaded unshared (LoadImage without LR_SHARED, CreateIcon...).
struct Icon {
    using Handle = HICON;
    static Handle None() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};

}  // namespace scoped_traits

using ScopedHandle = Scoped<scoped_traits::Kernel>;
using ScopedKey = Scoped<scoped_traits::Key>;
using ScopedGlobal = Scoped<scoped_traits::Global>;
using ScopedMenu = Scoped<scoped_traits::Menu>;
using ScopedFont = Scoped<scoped_traits::GdiObject<HFONT>>;
using ScopedBitmap = Scoped<scoped_traits::GdiObject<HBITMAP>>;
using ScopedBrush = Scoped<scoped_traits::GdiObject<HBRUSH>>;
using ScopedPen = Scoped<scoped_traits::GdiObject<HPEN>>;
using ScopedRegion = Scoped<scoped_traits::GdiObject<HRGN>>;
using ScopedGdiObject = Scoped<scoped_traits::GdiObject<HGDIOBJ>>;
using ScopedCreatedDc = Scoped<scoped_traits::CreatedDc>;
using ScopedHook = Scoped<scoped_traits::Hook>;
using ScopedIcon = Scoped<scoped_traits::Icon>;

// GlobalLock for one scope. data() is null when the lock failed.
class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL memory) noexcept
        : memory_(memory), data_(memory ? Native<Row::GlobalLock>()(memory) : nullptr) {}
    ~GlobalLockGuard() {
        if (data_) Native<Row::GlobalUnlock>()(memory_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    void* data() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

  private:
    HGLOBAL memory_;
    void* data_;
};

// Selects an object into a DC and puts the previous one back at the end of the scope, so the
// object can be deleted afterwards (a selected object cannot be).
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

    explicit operator bool() const noexcept { return old_ && old_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window's (or the screen's, for a null window) DC from GetDC, released with ReleaseDC.
class WindowDc {
  public:
    WindowDc() noexcept = default;
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { reset(); }
    WindowDc(WindowDc&& o) noexcept : window_(o.window_), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& o) noexcept {
        if (this != &o) {
            reset();
            window_ = o.window_;
            dc_ = std::exchange(o.dc_, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_) ReleaseDC(window_, std::exchange(dc_, nullptr));
    }

  private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// BeginPaint for one WM_PAINT, ended with EndPaint.
class PaintDc {
  public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() {
        if (dc_) EndPaint(window_, &paint_);
    }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    HDC get() const noexcept { return dc_; }
    const RECT& dirty() const noexcept { return paint_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// GDI+ must stay started while any of its objects lives; this token ends it once.
class GdiplusSession {
  public:
    using ShutdownFn = void(WINAPI*)(ULONG_PTR);

    GdiplusSession() noexcept = default;
    // Takes a token from a start-up made elsewhere; `shutdown` defaults to the table's.
    explicit GdiplusSession(ULONG_PTR token, ShutdownFn shutdown = nullptr) noexcept
        : token_(token), shutdown_(shutdown) {}
    ~GdiplusSession() { reset(); }
    GdiplusSession(GdiplusSession&& o) noexcept
        : token_(std::exchange(o.token_, 0)), shutdown_(o.shutdown_) {}
    GdiplusSession& operator=(GdiplusSession&& o) noexcept {
        if (this != &o) {
            reset();
            token_ = std::exchange(o.token_, 0);
            shutdown_ = o.shutdown_;
        }
        return *this;
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // GDI+ 1.0 through the native call table. Empty (false) when start-up fails.
    static GdiplusSession Start() noexcept {
        struct {
            UINT32 version = 1;
            void* debugEventCallback = nullptr;
            BOOL suppressBackgroundThread = FALSE;
            BOOL suppressExternalCodecs = FALSE;
        } input;
        ULONG_PTR token = 0;
        if (Native<Row::GdiplusStartup>()(&token, &input, nullptr) != 0) return GdiplusSession();
        return GdiplusSession(token);
    }

    ULONG_PTR token() const noexcept { return token_; }
    explicit operator bool() const noexcept { return token_ != 0; }
    [[nodiscard]] ULONG_PTR release() noexcept { return std::exchange(token_, 0); }
    void reset() noexcept {
        if (!token_) return;
        ULONG_PTR token = std::exchange(token_, 0);
        (shutdown_ ? shutdown_ : Native<Row::GdiplusShutdown>())(token);
    }

  private:
    ULONG_PTR token_ = 0;
    ShutdownFn shutdown_ = nullptr;
};

// A GDI+ flat-API image (GpImage* / GpBitmap*), disposed with GdipDisposeImage.
class ScopedGpImage {
  public:
    using DisposeFn = GpStatusCode(WINAPI*)(GpHandle*);

    ScopedGpImage() noexcept = default;
    // `dispose` defaults to the table's GdipDisposeImage.
    explicit ScopedGpImage(GpHandle* image, DisposeFn dispose = nullptr) noexcept
        : image_(image), dispose_(dispose) {}
    ~ScopedGpImage() { reset(); }
    ScopedGpImage(ScopedGpImage&& o) noexcept
        : image_(std::exchange(o.image_, nullptr)), dispose_(o.dispose_) {}
    ScopedGpImage& operator=(ScopedGpImage&& o) noexcept {
        if (this != &o) {
            reset();
            image_ = std::exchange(o.image_, nullptr);
            dispose_ = o.dispose_;
        }
        return *this;
    }
    ScopedGpImage(const ScopedGpImage&) = delete;
    ScopedGpImage& operator=(const ScopedGpImage&) = delete;

    GpHandle* get() const noexcept { return image_; }
    explicit operator bool() const noexcept { return image_ != nullptr; }
    [[nodiscard]] GpHandle* release() noexcept { return std::exchange(image_, nullptr); }
    void reset(GpHandle* image = nullptr) noexcept {
        GpHandle* old = std::exchange(image_, image);
        if (old) (dispose_ ? dispose_ : Native<Row::GdipDisposeImage>())(old);
    }
    // For out-parameters: GdipCreateBitmapFromStream(stream, image.put()).
    GpHandle** put() noexcept {
        reset();
        return &image_;
    }

  private:
    GpHandle* image_ = nullptr;
    DisposeFn dispose_ = nullptr;
};

// One reference to a COM object (an IStream above all), released once.
template <class T>
class ScopedCom {
  public:
    ScopedCom() noexcept = default;
    // Adopts a reference the caller already holds (no AddRef).
    explicit ScopedCom(T* p) noexcept : p_(p) {}
    ~ScopedCom() { reset(); }
    ScopedCom(ScopedCom&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ScopedCom& operator=(ScopedCom&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    [[nodiscard]] T* release() noexcept { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) noexcept {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    T** put() noexcept {
        reset();
        return &p_;
    }

  private:
    T* p_ = nullptr;
};

using ScopedStream = ScopedCom<IStream>;

}  // namespace sys
