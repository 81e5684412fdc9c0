// The few socket calls the pack library and its test peers need, over Winsock or POSIX.
//
// Sockets are blocking except during a bounded connect. Every socket has one owner
// (Socket below); nothing else closes it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace sockcompat {

#ifdef _WIN32
using Handle = SOCKET;
constexpr Handle kInvalid = INVALID_SOCKET;
constexpr int kShutBoth = SD_BOTH;
#else
using Handle = int;
constexpr Handle kInvalid = -1;
constexpr int kShutBoth = SHUT_RDWR;
#endif

// Winsock is started once per process and never cleaned up: sockets may outlive any owner.
bool EnsureStarted();

int LastError();
void CloseHandle(Handle s);

// Owns one socket; closes it when destroyed.
class Socket {
  public:
    Socket() = default;
    explicit Socket(Handle s) : s_(s) {}
    ~Socket() { Reset(); }
    Socket(Socket&& o) noexcept : s_(o.Release()) {}
    Socket& operator=(Socket&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    Handle get() const { return s_; }
    bool valid() const { return s_ != kInvalid; }
    Handle Release() {
        Handle s = s_;
        s_ = kInvalid;
        return s;
    }
    void Reset(Handle s = kInvalid) {
        if (s_ != kInvalid) CloseHandle(s_);
        s_ = s;
    }

  private:
    Handle s_ = kInvalid;
};

// Wakes every thread blocked on the socket; the handle itself stays valid until closed.
void Shutdown(Handle s);

// One piece of a gathered write.
struct Piece {
    const void* data;
    size_t length;
};

// Writes every byte of the pieces (at most 8) in order, resuming after partial writes. False
// when the connection fails.
bool SendAll(Handle s, Piece* pieces, size_t count);

// One read: bytes read, 0 at an orderly close, -1 on an error.
long Receive(Handle s, void* buffer, size_t capacity);

// Like Receive, but returns -1 soon after `stop` becomes true even while nothing arrives.
// Shutdown wakes a blocked read on POSIX systems; Winsock only aborts it on closesocket, which
// would free the handle for reuse under a concurrent sender, so there the read waits in slices.
long ReceiveUnlessStopped(Handle s, void* buffer, size_t capacity, const std::atomic<bool>& stop);

// Connects to host:port within timeoutMs, trying each address the name resolves to. When
// bindAddress is not empty (or localPort is not 0) the socket is bound first. `prepare` runs
// on each new socket before its connect; returning false abandons the attempt.
// On failure returns an invalid socket and sets *error to a short reason.
template <class Prepare>
Socket Connect(const char* host, uint16_t port, const char* bindAddress, uint16_t localPort, int timeoutMs,
               Prepare&& prepare, const char** error);

// host text and port of a socket's local or remote end.
bool LocalEndpoint(Handle s, std::string* address, uint16_t* port);

void SetNoDelay(Handle s);
// Keep-alive probes after timeMs of silence, every intervalMs (where the system allows it).
void SetKeepAlive(Handle s, uint32_t timeMs, uint32_t intervalMs);
// Both the send and the receive buffer.
void SetBufferSize(Handle s, uint32_t bytes);

// Listening socket on 127.0.0.1 with a port the system picks (for test peers and benches).
Socket ListenLoopback(uint16_t* port);
Socket Accept(Handle listener);

// Plain blocking connect to 127.0.0.1:port.
Socket ConnectLoopback(uint16_t port);

// ---- implementation of the template ----
namespace detail {
bool SetBlocking(Handle s, bool blocking);
// Waits until a non-blocking connect finishes: 1 connected, 0 timed out, -1 failed.
int WaitConnected(Handle s, int timeoutMs);
bool ConnectStarted();  // the last connect() error means "in progress"
}  // namespace detail

template <class Prepare>
Socket Connect(const char* host, uint16_t port, const char* bindAddress, uint16_t localPort, int timeoutMs,
               Prepare&& prepare, const char** error) {
    *error = "address";
    if (!EnsureStarted()) {
        *error = "socket layer";
        return Socket();
    }
    std::string bind = bindAddress ? bindAddress : "";
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // The bind address decides the family; without one any family will do.
    if (!bind.empty())
        hints.ai_family = bind.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    else
        hints.ai_family = AF_UNSPEC;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (!host || !*host || getaddrinfo(host, service.c_str(), &hints, &found) != 0 || !found) {
        *error = "host name";
        return Socket();
    }
    // One time budget for all addresses, so a name with several never multiplies the wait.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Socket result;
    for (addrinfo* a = found; a && !result.valid(); a = a->ai_next) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            *error = "connect timed out";
            break;
        }
        Socket s(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (!s.valid()) {
            *error = "socket";
            continue;
        }
        if (!bind.empty() || localPort != 0) {
            addrinfo bhints{};
            bhints.ai_family = a->ai_family;
            bhints.ai_socktype = SOCK_STREAM;
            bhints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
            addrinfo* local = nullptr;
            std::string lport = std::to_string(localPort);
            if (getaddrinfo(bind.empty() ? nullptr : bind.c_str(), lport.c_str(), &bhints, &local) != 0 ||
                !local) {
                *error = "bind address";
                continue;
            }
            int rc = ::bind(s.get(), local->ai_addr, static_cast<int>(local->ai_addrlen));
            freeaddrinfo(local);
            if (rc != 0) {
                *error = "bind";
                continue;
            }
        }
        if (!prepare(s.get())) {
            *error = "prepare";
            break;
        }
        if (!detail::SetBlocking(s.get(), false)) {
            *error = "socket mode";
            continue;
        }
        int rc = ::connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen));
        int state = rc == 0 ? 1
                            : (detail::ConnectStarted()
                                   ? detail::WaitConnected(s.get(), static_cast<int>(left.count()))
                                   : -1);
        if (state != 1) {
            *error = state == 0 ? "connect timed out" : "connect refused";
            continue;
        }
        if (!detail::SetBlocking(s.get(), true)) {
            *error = "socket mode";
            continue;
        }
        result = std::move(s);
    }
    freeaddrinfo(found);
    return result;
}

}  // namespace sockcompat
