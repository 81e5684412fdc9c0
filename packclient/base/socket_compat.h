// The one socket layer of this project, over Winsock or POSIX sockets: the packet library, the
// download engine and their test peers all use it. No system header leaks out of here.
//
// Sockets are blocking except during a bounded connect. Every socket has one owner (Socket
// below); nothing else closes it. Each module (HPSocket4C.dll, the exe) links its own copy and
// so starts Winsock once for itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sockcompat {

#ifdef _WIN32
using Handle = uintptr_t;  // SOCKET
constexpr Handle kInvalid = ~Handle(0);
#else
using Handle = int;
constexpr Handle kInvalid = -1;
#endif

// Winsock is started once per module and never cleaned up: sockets may outlive any owner.
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

    // For a socket that one thread uses alone (see the free functions below).
    long Receive(void* buffer, size_t capacity) const;
    [[nodiscard]] bool SendAll(const void* data, size_t length) const;
    [[nodiscard]] bool SendAll(const std::string& text) const { return SendAll(text.data(), text.size()); }
    // Wakes a read blocked on another thread; the socket stays owned and open.
    void ShutdownBoth() const;
    void SetReceiveTimeout(int ms) const;
    void SetSendTimeout(int ms) const;

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

// One read: bytes read, 0 at an orderly close, -1 on an error or a receive time-out.
long Receive(Handle s, void* buffer, size_t capacity);

// Like Receive, but returns -1 soon after `stop` becomes true even while nothing arrives.
// Shutdown wakes a blocked read on POSIX systems; Winsock only aborts it on closesocket, which
// would free the handle for reuse under a concurrent sender, so there the read waits in slices.
long ReceiveUnlessStopped(Handle s, void* buffer, size_t capacity, const std::atomic<bool>& stop);

// True when s has something to read (or a peer to accept, or an error) within ms; a negative
// ms waits for ever.
bool WaitReadable(Handle s, int ms);

// ---- names and connecting ----

// One socket address, as the system gave it.
struct Address {
    int family = 0;
    int length = 0;
    unsigned char bytes[128] = {};
};

enum class Family { kAny, kIPv4, kIPv6 };

enum class Failure {
    kNone,
    kSocketLayer,  // Winsock did not start
    kHostName,     // the name did not resolve (or not within the time)
    kSocket,
    kBind,
    kPrepare,  // the prepare callback refused the socket
    kTimedOut,
    kRefused,
};

// Resolves host (a name or a numeric address) for TCP within timeoutMs. A name is looked up on
// a helper thread, so a name server that never answers costs no more than the time given; the
// lookup is then left to finish on its own. Numeric addresses never start a thread.
[[nodiscard]] bool Resolve(const std::string& host, uint16_t port, Family family, int timeoutMs,
                           std::vector<Address>* out);

// An IPv4 address (network byte order) and port as an Address.
Address IPv4Address(uint32_t address, uint16_t port);

struct ConnectOptions {
    std::string bindAddress;  // empty: any
    uint16_t localPort = 0;   // 0: any
    // Runs on each new socket before its connect; returning false abandons the attempt.
    std::function<bool(Handle)> prepare;
};

// Tries each address in turn within one time budget, so several addresses never multiply the
// wait. On failure returns an invalid socket and sets *failure (when given).
Socket ConnectAny(const std::vector<Address>& addresses, int timeoutMs, const ConnectOptions& options,
                  Failure* failure);

// Resolve and ConnectAny within one budget of timeoutMs: the bounded connect of the packet library.
// The bind address, when given, decides the family.
Socket Connect(const std::string& host, uint16_t port, int timeoutMs, const ConnectOptions& options,
               Failure* failure);

// ---- ends and options ----

// host text and port of a socket's local end.
bool LocalEndpoint(Handle s, std::string* address, uint16_t* port);
// The local IPv4 address (network byte order) and port; false for other families.
bool LocalIPv4(Handle s, uint32_t* address, uint16_t* port);
std::string FormatIPv4(uint32_t address);

void SetNoDelay(Handle s);
// Keep-alive probes after timeMs of silence, every intervalMs (where the system allows it).
void SetKeepAlive(Handle s, uint32_t timeMs, uint32_t intervalMs);
// Both the send and the receive buffer.
void SetBufferSize(Handle s, uint32_t bytes);

// ---- listening ----

// Listens on an IPv4 address (network byte order) and port; port 0 picks a free one.
// Exclusive use of the port where the system offers it.
Socket ListenIPv4(uint32_t address, uint16_t port, int backlog);
// Listening socket on 127.0.0.1; *port 0 picks a free one and is set to it.
Socket ListenLoopback(uint16_t* port);
// Waits for a peer: up to ms (negative: for ever); an invalid socket on failure.
Socket Accept(Handle listener, int ms = -1);

// Plain blocking connect to 127.0.0.1:port (for test peers and benches).
Socket ConnectLoopback(uint16_t port);

}  // namespace sockcompat
