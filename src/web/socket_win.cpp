#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <utility>

#include "web/socket_compat.h"

namespace web::net {

void EnsureSocketsReady() {
    // Never cleaned up: the program ends without unwinding, and sockets may still be in use then.
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

static SOCKET S(intptr_t h) { return static_cast<SOCKET>(h); }

void Socket::Close() {
    if (handle_ != kInvalid) closesocket(S(std::exchange(handle_, kInvalid)));
}

static sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

bool Socket::Connect(uint32_t address, uint16_t port, int timeoutMs, bool* timedOut) {
    if (timedOut) *timedOut = false;
    EnsureSocketsReady();
    Close();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in sa = MakeAddress(address, port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            Close();
            return false;
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int rc = select(0, nullptr, &writable, &failed, &tv);
        if (rc == 0 && timedOut) *timedOut = true;
        int error = 0;
        int len = sizeof error;
        if (rc <= 0 || FD_ISSET(s, &failed) ||
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 || error != 0) {
            Close();
            return false;
        }
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return true;
}

bool Socket::Listen(uint32_t address, uint16_t port, int backlog) {
    EnsureSocketsReady();
    Close();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    sockaddr_in sa = MakeAddress(address, port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, backlog) != 0) {
        Close();
        return false;
    }
    return true;
}

Socket Socket::Accept(int timeoutMs) {
    if (handle_ == kInvalid) return Socket();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(S(handle_), &readable);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv) <= 0) return Socket();
    SOCKET s = ::accept(S(handle_), nullptr, nullptr);
    return s == INVALID_SOCKET ? Socket() : Socket(static_cast<intptr_t>(s));
}

void Socket::SetReceiveTimeout(int ms) {
    DWORD value = static_cast<DWORD>(ms);
    setsockopt(S(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

void Socket::SetSendTimeout(int ms) {
    DWORD value = static_cast<DWORD>(ms);
    setsockopt(S(handle_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

void Socket::SetNoDelay() {
    BOOL one = TRUE;
    setsockopt(S(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

long Socket::Receive(void* buffer, size_t length) {
    int n = ::recv(S(handle_), static_cast<char*>(buffer),
                   static_cast<int>(length > 0x40000000 ? 0x40000000 : length), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool Socket::SendAll(const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        int chunk = static_cast<int>(length > 0x100000 ? 0x100000 : length);
        int n = ::send(S(handle_), p, chunk, 0);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void Socket::ShutdownBoth() {
    if (handle_ != kInvalid) ::shutdown(S(handle_), SD_BOTH);
}

uint16_t Socket::LocalPort() const {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(S(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

uint32_t Socket::LocalAddress() const {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(S(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return sa.sin_addr.s_addr;
}

}  // namespace web::net
