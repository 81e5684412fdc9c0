// The one connection to the node: the packet client, its callbacks, connecting and
// reconnecting, and sending one message.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "net/pack_client.h"

namespace net {

// Where requests go. Sends are fire-and-forget: failures are ignored. Safe from any thread.
class Sender {
  public:
    virtual ~Sender() = default;
    // The bytes as one packet; an empty message is a zero-length body.
    virtual void Send(std::string_view bytes) = 0;
};

// The connect timer of the main window; its tick must call Link::Connect. SetInterval(0)
// stops it. Called from the UI thread and from the library's worker threads.
class ConnectTimer {
  public:
    virtual ~ConnectTimer() = default;
    virtual void SetInterval(int ms) = 0;
};

// Takes every packet body, on the library's worker thread, and returns when the reply has been
// handled completely. The body is valid only during the call.
class ReplyReceiver {
  public:
    virtual ~ReplyReceiver() = default;
    virtual void OnReply(const uint8_t* data, size_t length) = 0;
};

class Link : public Sender {
  public:
    Link(std::string host, uint16_t port, ConnectTimer& timer, ReplyReceiver& receiver);
    // Stops the connection and waits until no callback of it runs.
    ~Link() override;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Creates the client, registers the six callbacks, applies the settings (buffer pool 10
    // and 30, maximum body 4,194,303 bytes, header flag 1023) and sets the timer to 1000 ms.
    void SetUp();

    // The connect timer's tick: a synchronous start (bounded by the library to about 2 s); the
    // hello goes out only when start returned exactly 1. The timer is left running. True when
    // this tick connected.
    bool Connect();

    void Send(std::string_view bytes) override;
    // The connection is up (the hello may still be on its way).
    bool IsConnected();

    // Closes the connection and lets no callback reach this link again; waits for those
    // already running. Never called on the thread of a callback.
    void Stop();

    PackClient& Client() { return client_; }
    PackClient::Handle Handle() const { return handle_; }

  private:
    friend struct LinkCallbacks;
    void ArmTimer(int ms);

    const std::string host_;
    const uint16_t port_;
    ConnectTimer& timer_;
    ReplyReceiver& receiver_;
    PackClient client_;
    PackClient::Handle handle_ = nullptr;

    std::mutex mutex_;  // guards the two below
    std::condition_variable idle_;
    int callbacksRunning_ = 0;
};

// Interval the connect timer gets after a disconnection: 1000 to 5000 ms, whole seconds.
int ReconnectDelayMs();

}  // namespace net
