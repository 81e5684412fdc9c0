// The native call table: every platform function the program calls by name, and the whole
// interface of HPSocket4C.dll, bound lazily at first call.
//
// A row is looked up the first time it is called (library from the program folder first, then
// the system search) and stays bound for the life of the process; its library is never
// released. A missing library or export shows the fatal runtime-error box and ends the process
// with exit code -1 — at the first call of that row, never earlier.
//
// Calls are typed: Native<Row::InternetOpenA>() returns a pointer of the function's own type,
// so a wrong argument is a compile error. Windows only.
#pragma once

#include <windows.h>

#include <atomic>

#include "HPSocket4C.h"

struct IStream;

namespace sys {

// GDI+ flat-API objects are opaque to the program; GpStatus is an int.
using GpHandle = void;
using GpStatusCode = int;

// clang-format off
// index, library (exactly as written, letter case included), export, function type
#define MIAOLAN_NATIVE_ROWS(X)                                                                           \
    X(0, "shlwapi.dll", PathIsDirectoryA, BOOL(WINAPI*)(LPCSTR))                                         \
    X(1, "wininet.dll", InternetOpenA, void*(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD))            \
    X(2, "wininet.dll", InternetConnectA,                                                                \
      void*(WINAPI*)(void*, LPCSTR, WORD, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR))                      \
    X(3, "wininet.dll", InternetCloseHandle, BOOL(WINAPI*)(void*))                                       \
    X(4, "wininet.dll", HttpOpenRequestA,                                                                \
      void*(WINAPI*)(void*, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD, DWORD_PTR))                  \
    X(5, "Wininet.dll", InternetSetOptionA, BOOL(WINAPI*)(void*, DWORD, void*, DWORD))                   \
    X(6, "wininet.dll", HttpSendRequestA, BOOL(WINAPI*)(void*, LPCSTR, DWORD, void*, DWORD))             \
    X(7, "wininet.dll", InternetReadFile, BOOL(WINAPI*)(void*, void*, DWORD, DWORD*))                    \
    X(8, "wininet.dll", HttpQueryInfoA, BOOL(WINAPI*)(void*, DWORD, void*, DWORD*, DWORD*))              \
    X(9, "kernel32.dll", CreateWaitableTimerA, HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR))     \
    X(10, "kernel32.dll", SetWaitableTimer,                                                              \
      BOOL(WINAPI*)(HANDLE, const LARGE_INTEGER*, LONG, PTIMERAPCROUTINE, void*, BOOL))                  \
    X(11, "User32.dll", MsgWaitForMultipleObjects, DWORD(WINAPI*)(DWORD, const HANDLE*, BOOL, DWORD, DWORD)) \
    X(12, "kernel32.dll", CloseHandle, BOOL(WINAPI*)(HANDLE))                                            \
    X(13, "advapi32.dll", RegOpenKeyExA, LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, HKEY*))              \
    X(14, "advapi32.dll", RegSetValueExA, LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)) \
    X(15, "advapi32.dll", RegCloseKey, LONG(WINAPI*)(HKEY))                                              \
    X(16, "user32.dll", SystemParametersInfoA, BOOL(WINAPI*)(UINT, UINT, void*, UINT))                   \
    X(17, "shell32.dll", SHGetSpecialFolderPathA, BOOL(WINAPI*)(HWND, LPSTR, int, BOOL))                 \
    X(18, "kernel32.dll", GetWindowsDirectoryA, UINT(WINAPI*)(LPSTR, UINT))                              \
    X(19, "kernel32.dll", GetSystemDirectoryA, UINT(WINAPI*)(LPSTR, UINT))                               \
    X(20, "kernel32.dll", GetTempPathA, DWORD(WINAPI*)(DWORD, LPSTR))                                    \
    X(21, "gdiplus.dll", GdiplusStartup, GpStatusCode(WINAPI*)(ULONG_PTR*, const void*, void*))          \
    X(22, "kernel32.dll", GlobalAlloc, HGLOBAL(WINAPI*)(UINT, SIZE_T))                                   \
    X(23, "Ole32.dll", CreateStreamOnHGlobal, HRESULT(WINAPI*)(HGLOBAL, BOOL, IStream**))                \
    X(24, "kernel32.dll", GlobalLock, void*(WINAPI*)(HGLOBAL))                                           \
    X(25, "kernel32.dll", GlobalUnlock, BOOL(WINAPI*)(HGLOBAL))                                          \
    X(26, "kernel32.dll", lstrcpyn, LPSTR(WINAPI*)(LPSTR, LPCSTR, int))                                  \
    X(27, "gdiplus.dll", GdipCreateBitmapFromStream, GpStatusCode(WINAPI*)(IStream*, GpHandle**))        \
    X(28, "gdiplus.dll", GdipCreateHBITMAPFromBitmap, GpStatusCode(WINAPI*)(GpHandle*, HBITMAP*, DWORD)) \
    X(29, "gdiplus.dll", GdipCreateBitmapFromHBITMAP, GpStatusCode(WINAPI*)(HBITMAP, HPALETTE, GpHandle**)) \
    X(30, "gdi32.dll", DeleteObject, BOOL(WINAPI*)(HGDIOBJ))                                             \
    X(31, "gdiplus.dll", GdipSaveImageToStream,                                                          \
      GpStatusCode(WINAPI*)(GpHandle*, IStream*, const GUID*, const void*))                             \
    X(32, "ole32.dll", GetHGlobalFromStream, HRESULT(WINAPI*)(IStream*, HGLOBAL*))                       \
    X(33, "kernel32.dll", GlobalSize, SIZE_T(WINAPI*)(HGLOBAL))                                          \
    X(34, "kernel32.dll", RtlMoveMemory, void(WINAPI*)(void*, const void*, SIZE_T))                      \
    X(35, "kernel32.dll", GlobalFree, HGLOBAL(WINAPI*)(HGLOBAL))                                         \
    X(36, "gdiplus.dll", GdipDisposeImage, GpStatusCode(WINAPI*)(GpHandle*))                             \
    X(37, "gdiplus.dll", GdiplusShutdown, void(WINAPI*)(ULONG_PTR))                                      \
    X(38, "ole32.dll", CLSIDFromString, HRESULT(WINAPI*)(const wchar_t*, GUID*))                             \
    X(39, "Kernel32.dll", MultiByteToWideChar, int(WINAPI*)(UINT, DWORD, LPCSTR, int, LPWSTR, int))      \
    X(40, "user32.dll", CloseWindow, BOOL(WINAPI*)(HWND))                                                \
    MIAOLAN_HPSOCKET_ROWS(X)

#define MIAOLAN_HP_ROW(X, index, name) X(index, "HPSocket4C.dll", name, decltype(&::name))

#define MIAOLAN_HPSOCKET_ROWS(X)                                        \
    MIAOLAN_HP_ROW(X, 41, HP_Client_StartWithBindAddressAndLocalPort)   \
    MIAOLAN_HP_ROW(X, 42, HP_Client_Stop)                               \
    MIAOLAN_HP_ROW(X, 43, HP_Client_Send)                               \
    MIAOLAN_HP_ROW(X, 44, HP_Client_IsSecure)                           \
    MIAOLAN_HP_ROW(X, 45, HP_Client_SendPart)                           \
    MIAOLAN_HP_ROW(X, 46, HP_Client_SendPackets)                        \
    MIAOLAN_HP_ROW(X, 47, HP_Client_SetExtra)                           \
    MIAOLAN_HP_ROW(X, 48, HP_Client_GetExtra)                           \
    MIAOLAN_HP_ROW(X, 49, HP_Client_HasStarted)                         \
    MIAOLAN_HP_ROW(X, 50, HP_Client_GetState)                           \
    MIAOLAN_HP_ROW(X, 51, HP_Client_GetLastError)                       \
    MIAOLAN_HP_ROW(X, 52, HP_Client_GetLastErrorDesc)                   \
    MIAOLAN_HP_ROW(X, 53, HP_Client_GetConnectionID)                    \
    MIAOLAN_HP_ROW(X, 54, HP_Client_GetLocalAddress)                    \
    MIAOLAN_HP_ROW(X, 55, HP_Client_GetRemoteHost)                      \
    MIAOLAN_HP_ROW(X, 56, HP_Client_GetPendingDataLength)               \
    MIAOLAN_HP_ROW(X, 57, HP_Client_SetFreeBufferPoolSize)              \
    MIAOLAN_HP_ROW(X, 58, HP_Client_SetFreeBufferPoolHold)              \
    MIAOLAN_HP_ROW(X, 59, HP_Client_GetFreeBufferPoolSize)              \
    MIAOLAN_HP_ROW(X, 60, HP_Client_GetFreeBufferPoolHold)              \
    MIAOLAN_HP_ROW(X, 61, HP_SSLClient_SetupSSLContext)                 \
    MIAOLAN_HP_ROW(X, 62, HP_SSLClient_CleanupSSLContext)               \
    MIAOLAN_HP_ROW(X, 63, HP_SSLClient_StartSSLHandShake)               \
    MIAOLAN_HP_ROW(X, 64, HP_SSLClient_SetSSLAutoHandShake)             \
    MIAOLAN_HP_ROW(X, 65, HP_SSLClient_IsSSLAutoHandShake)              \
    MIAOLAN_HP_ROW(X, 66, HP_Client_IsPauseReceive)                     \
    MIAOLAN_HP_ROW(X, 67, HP_Client_IsConnected)                        \
    MIAOLAN_HP_ROW(X, 68, HP_Client_PauseReceive)                       \
    MIAOLAN_HP_ROW(X, 69, HP_Set_FN_Client_OnPrepareConnect)            \
    MIAOLAN_HP_ROW(X, 70, HP_Set_FN_Client_OnConnect)                   \
    MIAOLAN_HP_ROW(X, 71, HP_Set_FN_Client_OnHandShake)                 \
    MIAOLAN_HP_ROW(X, 72, HP_Set_FN_Client_OnSend)                      \
    MIAOLAN_HP_ROW(X, 73, HP_Set_FN_Client_OnReceive)                   \
    MIAOLAN_HP_ROW(X, 74, HP_Set_FN_Client_OnClose)                     \
    MIAOLAN_HP_ROW(X, 75, Create_HP_TcpPackClientListener)              \
    MIAOLAN_HP_ROW(X, 76, Destroy_HP_TcpPackClientListener)             \
    MIAOLAN_HP_ROW(X, 77, Create_HP_SSLPackClient)                      \
    MIAOLAN_HP_ROW(X, 78, Create_HP_TcpPackClient)                      \
    MIAOLAN_HP_ROW(X, 79, Destroy_HP_SSLPackClient)                     \
    MIAOLAN_HP_ROW(X, 80, Destroy_HP_TcpPackClient)                     \
    MIAOLAN_HP_ROW(X, 81, HP_TcpClient_SendSmallFile)                   \
    MIAOLAN_HP_ROW(X, 82, HP_TcpClient_SetSocketBufferSize)             \
    MIAOLAN_HP_ROW(X, 83, HP_TcpClient_SetKeepAliveTime)                \
    MIAOLAN_HP_ROW(X, 84, HP_TcpClient_SetKeepAliveInterval)            \
    MIAOLAN_HP_ROW(X, 85, HP_TcpClient_GetSocketBufferSize)             \
    MIAOLAN_HP_ROW(X, 86, HP_TcpClient_GetKeepAliveTime)                \
    MIAOLAN_HP_ROW(X, 87, HP_TcpClient_GetKeepAliveInterval)            \
    MIAOLAN_HP_ROW(X, 88, HP_TcpPackClient_SetMaxPackSize)              \
    MIAOLAN_HP_ROW(X, 89, HP_TcpPackClient_SetPackHeaderFlag)           \
    MIAOLAN_HP_ROW(X, 90, HP_TcpPackClient_GetMaxPackSize)              \
    MIAOLAN_HP_ROW(X, 91, HP_TcpPackClient_GetPackHeaderFlag)
// clang-format on

enum class Row : int {
#define MIAOLAN_ROW_ENUM(index, library, name, type) name = index,
    MIAOLAN_NATIVE_ROWS(MIAOLAN_ROW_ENUM)
#undef MIAOLAN_ROW_ENUM
};

constexpr int kNativeRowCount = 92;

struct NativeCallEntry {
    const char* library;
    const char* function;
    std::atomic<void*> address{nullptr};
    std::atomic<HMODULE> module{nullptr};
    std::atomic<int> lookups{0};  // how often the row was looked up: once, in a healthy process
};

// The 92 rows, indexed by Row.
extern NativeCallEntry g_nativeCallTable[kNativeRowCount];

template <Row R>
struct RowType;
#define MIAOLAN_ROW_TYPE(index, library, name, type) \
    template <>                                      \
    struct RowType<Row::name> {                      \
        using Fn = type;                             \
    };
MIAOLAN_NATIVE_ROWS(MIAOLAN_ROW_TYPE)
#undef MIAOLAN_ROW_TYPE

// Binds the row (or ends the process) and returns its address.
void* BindNativeRow(int index);

// The bound function of row R, typed. Costs one atomic load once bound.
template <Row R>
inline typename RowType<R>::Fn Native() {
    void* address = g_nativeCallTable[static_cast<int>(R)].address.load(std::memory_order_acquire);
    if (!address) address = BindNativeRow(static_cast<int>(R));
    return reinterpret_cast<typename RowType<R>::Fn>(address);
}

// The fatal runtime-error box, then ExitProcess(-1). `message` is GBK.
[[noreturn]] void FatalRuntimeError(const char* message);

}  // namespace sys
