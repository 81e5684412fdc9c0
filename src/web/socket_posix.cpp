#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "web/socket_compat.h"

namespace web::net {

void EnsureSocketsReady() {}

void Socket::Close() {
    if (handle_ != kInvalid) ::close(static_cast<int>(std::exchange(handle_, kInvalid)));
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
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in sa = MakeAddress(address, port);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        do {
            rc = ::poll(&p, 1, timeoutMs);
        } while (rc < 0 && errno == EINTR);
        if (rc == 0 && timedOut) *timedOut = true;
        int error = 0;
        socklen_t len = sizeof error;
        if (rc <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            Close();
            return false;
        }
    }
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

bool Socket::Listen(uint32_t address, uint16_t port, int backlog) {
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = MakeAddress(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
        Close();
        return false;
    }
    return true;
}

Socket Socket::Accept(int timeoutMs) {
    if (handle_ == kInvalid) return Socket();
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0) return Socket();
    int fd = ::accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? Socket() : Socket(fd);
}

static void SetTimeout(intptr_t handle, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    setsockopt(static_cast<int>(handle), SOL_SOCKET, option, &tv, sizeof tv);
}

void Socket::SetReceiveTimeout(int ms) { SetTimeout(handle_, SO_RCVTIMEO, ms); }
void Socket::SetSendTimeout(int ms) { SetTimeout(handle_, SO_SNDTIMEO, ms); }

void Socket::SetNoDelay() {
    int one = 1;
    setsockopt(static_cast<int>(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

long Socket::Receive(void* buffer, size_t length) {
    ssize_t n;
    do {
        n = ::recv(static_cast<int>(handle_), buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool Socket::SendAll(const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = ::send(static_cast<int>(handle_), p, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void Socket::ShutdownBoth() {
    if (handle_ != kInvalid) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

uint16_t Socket::LocalPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

uint32_t Socket::LocalAddress() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return sa.sin_addr.s_addr;
}

}  // namespace web::net
