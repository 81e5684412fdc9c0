// The POSIX half of the socket layer.
#include "socket_os.h"

namespace sockcompat {

bool EnsureStarted() { return true; }
int LastError() { return errno; }
void CloseHandle(Handle s) { ::close(s); }
void Shutdown(Handle s) { ::shutdown(s, SHUT_RDWR); }

bool SendAll(Handle s, Piece* pieces, size_t count) {
    iovec iov[8];
    if (count > 8) return false;
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        if (pieces[i].length == 0) continue;
        iov[n].iov_base = const_cast<void*>(pieces[i].data);
        iov[n].iov_len = pieces[i].length;
        ++n;
    }
    iovec* at = iov;
    while (n > 0) {
        msghdr msg{};
        msg.msg_iov = at;
        msg.msg_iovlen = n;
        // MSG_NOSIGNAL: a peer that went away is an error result, not a SIGPIPE.
        ssize_t sent = ::sendmsg(s, &msg, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        size_t left = static_cast<size_t>(sent);
        while (n > 0 && left >= at->iov_len) {
            left -= at->iov_len;
            ++at;
            --n;
        }
        if (n > 0) {
            at->iov_base = static_cast<char*>(at->iov_base) + left;
            at->iov_len -= left;
        }
    }
    return true;
}

long Receive(Handle s, void* buffer, size_t capacity) {
    for (;;) {
        ssize_t got = ::recv(s, buffer, capacity, 0);
        if (got < 0 && errno == EINTR) continue;
        return static_cast<long>(got);
    }
}

long ReceiveUnlessStopped(Handle s, void* buffer, size_t capacity, const std::atomic<bool>& stop) {
    if (stop.load(std::memory_order_acquire)) return -1;
    return Receive(s, buffer, capacity);
}

bool WaitReadable(Handle s, int ms) {
    pollfd p{s, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, ms < 0 ? -1 : ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

static void SetTimeout(Handle s, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(s, SOL_SOCKET, option, &tv, sizeof tv);
}

void Socket::SetReceiveTimeout(int ms) const { SetTimeout(s_, SO_RCVTIMEO, ms); }
void Socket::SetSendTimeout(int ms) const { SetTimeout(s_, SO_SNDTIMEO, ms); }

void SetKeepAlive(Handle s, uint32_t timeMs, uint32_t intervalMs) {
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int idle = static_cast<int>(timeMs / 1000 ? timeMs / 1000 : 1);
    int interval = static_cast<int>(intervalMs / 1000 ? intervalMs / 1000 : 1);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
}

void SetBufferSize(Handle s, uint32_t bytes) {
    int size = static_cast<int>(bytes);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void SetNoDelay(Handle s) {
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

namespace detail {

// Close-on-exec: test peers start servers, which must not inherit our connections.
Handle NewSocket(int family) { return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP); }

Handle AcceptOne(Handle listener) {
    for (;;) {
        int s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (s < 0 && errno == EINTR) continue;
        return s;
    }
}

bool SetBlocking(Handle s, bool blocking) {
    int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(s, F_SETFL, flags) == 0;
}

bool ConnectStarted() { return errno == EINPROGRESS || errno == EINTR; }

int WaitConnected(Handle s, int timeoutMs) {
    pollfd p{s, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) return 0;
    if (rc < 0) return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return -1;
    return 1;
}

void PrepareListener(Handle s) {
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

}  // namespace detail
}  // namespace sockcompat
