// A small blocking TCP socket over POSIX sockets or Winsock, for the download engine and its
// test peers. No system header leaks out of here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace web::net {

// Starts Winsock once per process (a no-op elsewhere). Safe from any thread.
void EnsureSocketsReady();

// Resolves a host name or dotted address to an IPv4 address in network byte order.
[[nodiscard]] bool ResolveIPv4(const std::string& host, uint32_t* address);

std::string FormatIPv4(uint32_t address);

// Owns one socket; closed by the destructor. Move-only.
class Socket {
  public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsOpen() const { return handle_ != kInvalid; }
    void Close();

    // Connects to address:port, waiting at most timeoutMs (non-blocking connect under the hood).
    // *timedOut tells a time-out from a refusal.
    [[nodiscard]] bool Connect(uint32_t address, uint16_t port, int timeoutMs, bool* timedOut = nullptr);

    // Listens on address:port; port 0 picks a free one (see LocalPort).
    [[nodiscard]] bool Listen(uint32_t address, uint16_t port, int backlog = 64);
    // Waits up to timeoutMs for a peer (a negative value waits forever); an unopened socket on failure.
    Socket Accept(int timeoutMs);

    void SetReceiveTimeout(int ms);
    void SetSendTimeout(int ms);
    void SetNoDelay();

    // Whatever one receive gives: > 0 bytes, 0 when the peer closed, < 0 on an error or time-out.
    long Receive(void* buffer, size_t length);
    // Sends everything or fails.
    [[nodiscard]] bool SendAll(const void* data, size_t length);
    bool SendAll(const std::string& text) { return SendAll(text.data(), text.size()); }

    // Wakes a receive blocked on another thread; the socket stays owned and open.
    void ShutdownBoth();

    uint16_t LocalPort() const;
    uint32_t LocalAddress() const;

  private:
    static constexpr intptr_t kInvalid = -1;
    explicit Socket(intptr_t handle) : handle_(handle) {}
    intptr_t handle_ = kInvalid;
};

}  // namespace web::net
