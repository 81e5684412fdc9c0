// The scoped owners against the real handle tables under Wine: each handle is closed exactly
// once, a move hands it on, and what must never be closed is not.
#include "sys/scoped_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "sys/trace_win.h"

namespace {

bool HandleOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

}  // namespace

TEST(ScopedWin, KernelHandlesCloseOnceAndMoveHandsOn) {
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    sys::ScopedHandle outer;
    {
        sys::ScopedHandle inner(raw);
        EXPECT_TRUE(inner);
        outer = std::move(inner);
        EXPECT_FALSE(inner);
    }
    EXPECT_TRUE(HandleOpen(raw));  // the moved-from owner closed nothing
    EXPECT_EQ(outer.get(), raw);

    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    outer.reset(second);  // closes the first, keeps the second
    EXPECT_FALSE(HandleOpen(raw));
    EXPECT_TRUE(HandleOpen(second));
    HANDLE kept = outer.release();
    outer.reset();
    EXPECT_TRUE(HandleOpen(kept));
    CloseHandle(kept);

    // A file that failed to open and the process pseudo-handle are never closed.
    sys::ScopedHandle missing(
        CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    { sys::ScopedHandle self(GetCurrentProcess()); }
    EXPECT_NE(GetProcessId(GetCurrentProcess()), 0u);
}

TEST(ScopedWin, RegistryKeysCloseButThePredefinedRootsStay) {
    sys::ScopedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MiaolanScopedTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(key);
    HKEY raw = key.get();
    key.reset();
    DWORD values = 0;
    EXPECT_NE(RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    { sys::ScopedKey root(HKEY_CURRENT_USER); }
    sys::ScopedKey again;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MiaolanScopedTest", 0, KEY_READ, again.put()),
              ERROR_SUCCESS);
    again.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\MiaolanScopedTest");
}

TEST(ScopedWin, GlobalMemoryLockGuardAndStreams) {
    sys::ScopedGlobal memory(GlobalAlloc(GMEM_MOVEABLE, 16));
    ASSERT_TRUE(memory);
    {
        sys::GlobalLockGuard lock(memory.get());
        ASSERT_TRUE(lock);
        static_cast<char*>(lock.data())[0] = 'M';
        EXPECT_EQ(GlobalFlags(memory.get()) & GMEM_LOCKCOUNT, 1u);
    }
    EXPECT_EQ(GlobalFlags(memory.get()) & GMEM_LOCKCOUNT, 0u);

    // A stream that takes the memory over: the owner lets go, the stream's last release frees it.
    sys::ScopedStream stream;
    ASSERT_EQ(CreateStreamOnHGlobal(memory.get(), TRUE, stream.put()), S_OK);
    HGLOBAL handedOn = memory.release();
    HGLOBAL behind = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(stream.get(), &behind), S_OK);
    EXPECT_EQ(behind, handedOn);
    stream->AddRef();
    EXPECT_EQ(stream->Release(), 1u);  // exactly the owner's reference is left
    sys::ScopedStream moved(std::move(stream));
    EXPECT_FALSE(stream);
    EXPECT_TRUE(moved);
}

TEST(ScopedWin, GdiObjectsDcsAndSelectionRestore) {
    sys::WindowDc screen(nullptr);
    ASSERT_TRUE(screen);
    sys::ScopedCreatedDc memory(CreateCompatibleDC(screen.get()));
    ASSERT_TRUE(memory);
    sys::ScopedBitmap bitmap(CreateCompatibleBitmap(screen.get(), 8, 8));
    ASSERT_TRUE(bitmap);
    HGDIOBJ original = GetCurrentObject(memory.get(), OBJ_BITMAP);
    {
        sys::SelectedObject selected(memory.get(), bitmap.get());
        EXPECT_TRUE(selected);
        EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BITMAP), original);

    HBITMAP raw = bitmap.get();
    bitmap.reset();
    EXPECT_EQ(GetObjectType(raw), 0u);  // deleted once it was no longer selected

    sys::ScopedFont font(
        CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma"));
    HFONT rawFont = font.get();
    EXPECT_EQ(GetObjectType(rawFont), static_cast<DWORD>(OBJ_FONT));
    sys::ScopedFont taken(std::move(font));
    taken.reset();
    EXPECT_EQ(GetObjectType(rawFont), 0u);

    HDC rawDc = memory.get();
    memory.reset();
    EXPECT_EQ(GetObjectType(rawDc), 0u);
}

TEST(ScopedWin, MenusAndHooks) {
    HMENU raw = CreatePopupMenu();
    { sys::ScopedMenu menu(raw); }
    EXPECT_FALSE(IsMenu(raw));

    sys::ScopedHook hook(SetWindowsHookExA(
        WH_CBT, [](int code, WPARAM w, LPARAM l) { return CallNextHookEx(nullptr, code, w, l); }, nullptr,
        GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    HHOOK rawHook = hook.release();
    EXPECT_TRUE(UnhookWindowsHookEx(rawHook));  // still installed: release() closed nothing
}

namespace {

int g_disposed = 0;
int g_shutdowns = 0;

sys::GpStatusCode WINAPI CountingDispose(sys::GpHandle* image) {
    ++g_disposed;
    return sys::Native<sys::Row::GdipDisposeImage>()(image);
}

void WINAPI CountingShutdown(ULONG_PTR token) {
    ++g_shutdowns;
    sys::Native<sys::Row::GdiplusShutdown>()(token);
}

}  // namespace

TEST(ScopedWin, GdiplusSessionAndImagesReleaseThroughTheirFunctions) {
    sys::GdiplusSession session = sys::GdiplusSession::Start();
    ASSERT_TRUE(session);

    sys::WindowDc screen(nullptr);
    sys::ScopedBitmap bitmap(CreateCompatibleBitmap(screen.get(), 4, 4));
    {
        sys::ScopedGpImage image(nullptr, CountingDispose);
        ASSERT_EQ(sys::Native<sys::Row::GdipCreateBitmapFromHBITMAP>()(bitmap.get(), nullptr, image.put()),
                  0);
        EXPECT_TRUE(image);
        sys::ScopedGpImage moved(std::move(image));  // the function moves with the image
        EXPECT_EQ(g_disposed, 0);
    }
    EXPECT_EQ(g_disposed, 1);

    // A token from a start-up made elsewhere ends through the function it was given, once,
    // and that function moves with it.
    sys::GdiplusSession second = sys::GdiplusSession::Start();
    ASSERT_TRUE(second);
    sys::GdiplusSession adopted(second.release(), CountingShutdown);
    sys::GdiplusSession moved(std::move(adopted));
    EXPECT_FALSE(adopted);
    moved.reset();
    moved.reset();
    EXPECT_EQ(g_shutdowns, 1);
}

TEST(ScopedWin, TracingKeepsTheLastError) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    sys::TraceLastError("CreateFileA");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(ERROR_ACCESS_DENIED);
    sys::TraceError("RegOpenKeyExA", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
