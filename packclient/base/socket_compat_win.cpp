// The Winsock half of the socket layer.
#include <cstdio>

#include "socket_os.h"

namespace sockcompat {

bool EnsureStarted() {
    static bool started = [] {
        WSADATA data;
        int rc = WSAStartup(MAKEWORD(2, 2), &data);
        if (rc != 0) {
            // Seen in a debugger (WINEDEBUG=+debugstr under Wine); there is no log file.
            char line[96];
            std::snprintf(line, sizeof line, "MiaolanWallpaper: WSAStartup failed: error %d\n", rc);
            OutputDebugStringA(line);
        }
        return rc == 0;
    }();
    return started;
}

int LastError() { return WSAGetLastError(); }
void CloseHandle(Handle s) { ::closesocket(s); }
void Shutdown(Handle s) { ::shutdown(s, SD_BOTH); }

bool SendAll(Handle s, Piece* pieces, size_t count) {
    WSABUF bufs[8];
    if (count > 8) return false;
    DWORD n = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t left = pieces[i].length;
        const char* at = static_cast<const char*>(pieces[i].data);
        // WSABUF lengths are 32-bit; bodies are far below that, but stay exact anyway.
        while (left > 0) {
            if (n == 8) return false;
            ULONG take = left > 0x40000000 ? 0x40000000 : static_cast<ULONG>(left);
            bufs[n].buf = const_cast<char*>(at);
            bufs[n].len = take;
            at += take;
            left -= take;
            ++n;
        }
    }
    WSABUF* at = bufs;
    while (n > 0) {
        DWORD sent = 0;
        if (::WSASend(s, at, n, &sent, 0, nullptr, nullptr) != 0) return false;
        DWORD left = sent;
        while (n > 0 && left >= at->len) {
            left -= at->len;
            ++at;
            --n;
        }
        if (n > 0) {
            at->buf += left;
            at->len -= left;
        }
    }
    return true;
}

long Receive(Handle s, void* buffer, size_t capacity) {
    int want = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
    int got = ::recv(s, static_cast<char*>(buffer), want, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

bool WaitReadable(Handle s, int ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, ms < 0 ? nullptr : &tv) > 0;
}

long ReceiveUnlessStopped(Handle s, void* buffer, size_t capacity, const std::atomic<bool>& stop) {
    constexpr int kSliceMs = 200;
    for (;;) {
        if (stop.load(std::memory_order_acquire)) return -1;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv{0, kSliceMs * 1000};
        int rc = ::select(0, &readable, nullptr, nullptr, &tv);
        if (rc < 0) return -1;
        if (rc > 0) return Receive(s, buffer, capacity);
    }
}

void Socket::SetReceiveTimeout(int ms) const {
    DWORD value = static_cast<DWORD>(ms);
    ::setsockopt(s_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

void Socket::SetSendTimeout(int ms) const {
    DWORD value = static_cast<DWORD>(ms);
    ::setsockopt(s_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

void SetKeepAlive(Handle s, uint32_t timeMs, uint32_t intervalMs) {
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    struct {
        ULONG onoff, time, interval;
    } values{1, timeMs, intervalMs ? intervalMs : 1000};
    DWORD returned = 0;
    // SIO_KEEPALIVE_VALS; Wine may not implement it, and then the system timing stays.
    ::WSAIoctl(s, _WSAIOW(IOC_VENDOR, 4), &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

void SetBufferSize(Handle s, uint32_t bytes) {
    int size = static_cast<int>(bytes);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

void SetNoDelay(Handle s) {
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

namespace detail {

Handle NewSocket(int family) { return ::socket(family, SOCK_STREAM, IPPROTO_TCP); }
Handle AcceptOne(Handle listener) { return ::accept(listener, nullptr, nullptr); }

bool SetBlocking(Handle s, bool blocking) {
    u_long mode = blocking ? 0 : 1;
    return ::ioctlsocket(s, FIONBIO, &mode) == 0;
}

bool ConnectStarted() { return WSAGetLastError() == WSAEWOULDBLOCK; }

int WaitConnected(Handle s, int timeoutMs) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int rc = ::select(0, nullptr, &writable, &failed, &tv);
    if (rc == 0) return 0;
    if (rc < 0 || FD_ISSET(s, &failed)) return -1;
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0)
        return -1;
    return 1;
}

void PrepareListener(Handle s) {
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
}

}  // namespace detail
}  // namespace sockcompat
