// The one connection to the node: the process-wide packet client, its callbacks, connecting
// and reconnecting, and sending one message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/pack_client.h"

namespace net {

// The connect timer of the main window; its tick must call ConnectToNode. SetInterval(0)
// stops it. Called from the UI thread and from the library's worker threads.
class ConnectTimer {
  public:
    virtual ~ConnectTimer() = default;
    virtual void SetInterval(int ms) = 0;
};

// The timer the link re-arms; set before SetUpPackClient. Not owned.
void SetConnectTimer(ConnectTimer* timer);
ConnectTimer* GetConnectTimer();

// Where ConnectToNode connects; start-up sets it once.
void SetConnectionTarget(const std::string& host, uint16_t port);

// Receives every packet body, on the library's worker thread; returns when the reply has been
// handled completely. The body is valid only during the call.
using ReplySink = std::function<void(const uint8_t* data, size_t length)>;
void SetReplySink(ReplySink sink);

// The process-wide wrapper and client handle (null until SetUpPackClient).
PackClient& Client();
PackClient::Handle ClientHandle();

// Creates the client, registers the six callbacks, applies the settings (buffer pool 10 and
// 30, maximum body 4,194,303 bytes, header flag 1023) and sets the connect timer to 1000 ms.
void SetUpPackClient();

// The connect timer's tick: a synchronous start (bounded by the library to about 2 s); the
// hello goes out only when start returned exactly 1. The timer is left running. True when
// this tick connected.
bool ConnectToNode();

// Sends the bytes as one packet; an empty message is a zero-length body. Failures are
// ignored: requests are fire-and-forget.
void SendToNode(std::string_view bytes);

// Interval the connect timer gets after a disconnection: 1000 to 5000 ms, whole seconds.
int ReconnectDelayMs();

}  // namespace net
