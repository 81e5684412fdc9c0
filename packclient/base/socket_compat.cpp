// The parts of the socket layer that read the same on both platforms: names, the bounded
// connect, listening.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "socket_os.h"
#include "thread_name.h"

namespace sockcompat {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void Collect(const addrinfo* found, std::vector<Address>* out) {
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (!a->ai_addr || a->ai_addrlen > sizeof(Address::bytes)) continue;
        Address address;
        address.family = a->ai_family;
        address.length = static_cast<int>(a->ai_addrlen);
        std::memcpy(address.bytes, a->ai_addr, a->ai_addrlen);
        out->push_back(address);
    }
}

addrinfo Hints(Family family) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_family = family == Family::kIPv4 ? AF_INET : family == Family::kIPv6 ? AF_INET6 : AF_UNSPEC;
    return hints;
}

// One name lookup, shared by the waiting caller and the helper thread that may outlive it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<Address> addresses;
};

bool BindLocal(Handle s, int family, const ConnectOptions& options) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    addrinfo* local = nullptr;
    std::string port = std::to_string(options.localPort);
    const char* host = options.bindAddress.empty() ? nullptr : options.bindAddress.c_str();
    if (getaddrinfo(host, port.c_str(), &hints, &local) != 0 || !local) return false;
    int rc = ::bind(s, local->ai_addr, static_cast<int>(local->ai_addrlen));
    freeaddrinfo(local);
    return rc == 0;
}

}  // namespace

long Socket::Receive(void* buffer, size_t capacity) const {
    return sockcompat::Receive(s_, buffer, capacity);
}

bool Socket::SendAll(const void* data, size_t length) const {
    Piece piece{data, length};
    return sockcompat::SendAll(s_, &piece, 1);
}

void Socket::ShutdownBoth() const {
    if (valid()) Shutdown(s_);
}

bool Resolve(const std::string& host, uint16_t port, Family family, int timeoutMs,
             std::vector<Address>* out) {
    out->clear();
    if (host.empty() || !EnsureStarted()) return false;
    std::string service = std::to_string(port);
    addrinfo hints = Hints(family);
    addrinfo numeric = hints;
    numeric.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), service.c_str(), &numeric, &found) == 0) {
        Collect(found, out);
        freeaddrinfo(found);
        return !out->empty();
    }
    // A name: the system resolver cannot be cancelled, so it runs on a thread of its own and
    // the caller stops waiting when the time is up.
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, service, hints] {
            osthread::RunGuarded("hp-resolve", [&] {
                std::vector<Address> addresses;
                addrinfo* result = nullptr;
                if (getaddrinfo(host.c_str(), service.c_str(), &hints, &result) == 0) {
                    Collect(result, &addresses);
                    freeaddrinfo(result);
                }
                std::lock_guard<std::mutex> lock(lookup->mutex);
                lookup->addresses = std::move(addresses);
            });
            {
                std::lock_guard<std::mutex> lock(lookup->mutex);
                lookup->finished = true;
            }
            lookup->done.notify_all();
        }).detach();
    } catch (...) {
        return false;  // no thread, no lookup
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                               [&] { return lookup->finished; }))
        return false;
    *out = std::move(lookup->addresses);
    return !out->empty();
}

Address IPv4Address(uint32_t address, uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = address;
    in.sin_port = htons(port);
    Address a;
    a.family = AF_INET;
    a.length = sizeof in;
    std::memcpy(a.bytes, &in, sizeof in);
    return a;
}

Socket ConnectAny(const std::vector<Address>& addresses, int timeoutMs, const ConnectOptions& options,
                  Failure* failure) {
    Failure ignored;
    Failure& why = failure ? *failure : ignored;
    why = Failure::kHostName;
    if (!EnsureStarted()) {
        why = Failure::kSocketLayer;
        return Socket();
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const Address& a : addresses) {
        int left = MillisecondsLeft(deadline);
        if (left <= 0) {
            why = Failure::kTimedOut;
            break;
        }
        Socket s(detail::NewSocket(a.family));
        if (!s.valid()) {
            why = Failure::kSocket;
            continue;
        }
        if ((!options.bindAddress.empty() || options.localPort != 0) &&
            !BindLocal(s.get(), a.family, options)) {
            why = Failure::kBind;
            continue;
        }
        if (options.prepare && !options.prepare(s.get())) {
            why = Failure::kPrepare;
            break;
        }
        if (!detail::SetBlocking(s.get(), false)) {
            why = Failure::kSocket;
            continue;
        }
        int rc = ::connect(s.get(), reinterpret_cast<const sockaddr*>(a.bytes), a.length);
        int state = rc == 0 ? 1 : (detail::ConnectStarted() ? detail::WaitConnected(s.get(), left) : -1);
        if (state != 1) {
            why = state == 0 ? Failure::kTimedOut : Failure::kRefused;
            continue;
        }
        if (!detail::SetBlocking(s.get(), true)) {
            why = Failure::kSocket;
            continue;
        }
        why = Failure::kNone;
        return s;
    }
    return Socket();
}

Socket Connect(const std::string& host, uint16_t port, int timeoutMs, const ConnectOptions& options,
               Failure* failure) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Family family = Family::kAny;
    if (!options.bindAddress.empty())
        family = options.bindAddress.find(':') != std::string::npos ? Family::kIPv6 : Family::kIPv4;
    if (!EnsureStarted()) {
        if (failure) *failure = Failure::kSocketLayer;
        return Socket();
    }
    std::vector<Address> addresses;
    if (!Resolve(host, port, family, timeoutMs, &addresses)) {
        if (failure) *failure = Failure::kHostName;
        return Socket();
    }
    int left = MillisecondsLeft(deadline);
    if (left <= 0) {
        if (failure) *failure = Failure::kTimedOut;
        return Socket();
    }
    return ConnectAny(addresses, left, options, failure);
}

bool LocalEndpoint(Handle s, std::string* address, uint16_t* port) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return false;
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        auto* in = reinterpret_cast<sockaddr_in*>(&ss);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (ss.ss_family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&ss);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        *port = ntohs(in6->sin6_port);
    } else {
        return false;
    }
    *address = text;
    return true;
}

bool LocalIPv4(Handle s, uint32_t* address, uint16_t* port) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len) != 0 || ss.ss_family != AF_INET)
        return false;
    auto* in = reinterpret_cast<sockaddr_in*>(&ss);
    if (address) *address = in->sin_addr.s_addr;
    if (port) *port = ntohs(in->sin_port);
    return true;
}

std::string FormatIPv4(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

Socket ListenIPv4(uint32_t address, uint16_t port, int backlog) {
    if (!EnsureStarted()) return Socket();
    Socket s(detail::NewSocket(AF_INET));
    if (!s.valid()) return s;
    detail::PrepareListener(s.get());
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(port);
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s.get(), backlog) != 0)
        return Socket();
    return s;
}

Socket ListenLoopback(uint16_t* port) {
    Socket s = ListenIPv4(htonl(INADDR_LOOPBACK), *port, 16);
    if (s.valid()) LocalIPv4(s.get(), nullptr, port);
    return s;
}

Socket Accept(Handle listener, int ms) {
    if (listener == kInvalid) return Socket();
    if (ms >= 0 && !WaitReadable(listener, ms)) return Socket();
    return Socket(detail::AcceptOne(listener));
}

Socket ConnectLoopback(uint16_t port) {
    if (!EnsureStarted()) return Socket();
    Socket s(detail::NewSocket(AF_INET));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (!s.valid() || ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Socket();
    return s;
}

}  // namespace sockcompat
