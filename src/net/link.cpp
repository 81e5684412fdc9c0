#include "net/link.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>

#include "net/requests.h"

namespace net {

namespace {

constexpr uint32_t kFreeBufferPoolSize = 10;
constexpr uint32_t kFreeBufferPoolHold = 30;
constexpr uint32_t kMaxPackSize = 0x3FFFFF;
constexpr uint16_t kPackHeaderFlag = 0x3FF;
constexpr int kFirstConnectIntervalMs = 1000;

std::atomic<ConnectTimer*> g_timer{nullptr};
std::atomic<PackClient::Handle> g_client{nullptr};

std::mutex g_mutex;  // guards g_host, g_port and g_sink
std::string g_host;
uint16_t g_port = 0;
std::shared_ptr<const ReplySink> g_sink;

void ArmTimer(int ms) {
    if (ConnectTimer* timer = g_timer.load()) timer->SetInterval(ms);
}

En_HP_HandleResult HP_API OnPrepareConnect(HP_Client, HP_CONNID, HP_SOCKET) { return HR_OK; }

En_HP_HandleResult HP_API OnConnect(HP_Client, HP_CONNID) {
    // No exception may unwind into the library's thread.
    try {
        // The local end is read and dropped, as the link has always done; it costs nothing.
        std::string address;
        int length = 0;
        uint16_t port = 0;
        Client().GetLocalAddress(ClientHandle(), address, length, port);
    } catch (...) {
    }
    return HR_OK;
}

En_HP_HandleResult HP_API OnHandShake(HP_Client, HP_CONNID) { return HR_OK; }

En_HP_HandleResult HP_API OnSend(HP_Client, HP_CONNID, const uint8_t*, int) { return HR_OK; }

En_HP_HandleResult HP_API OnReceive(HP_Client, HP_CONNID, const uint8_t* data, int length) {
    std::shared_ptr<const ReplySink> sink;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        sink = g_sink;
    }
    // No exception may unwind into the library's thread.
    try {
        if (sink && *sink && length >= 0) (*sink)(data, static_cast<size_t>(length));
    } catch (...) {
    }
    return HR_OK;
}

En_HP_HandleResult HP_API OnClose(HP_Client, HP_CONNID, En_HP_SocketOperation, int) {
    try {
        ArmTimer(ReconnectDelayMs());
    } catch (...) {
    }
    return HR_OK;
}

}  // namespace

void SetConnectTimer(ConnectTimer* timer) { g_timer.store(timer); }
ConnectTimer* GetConnectTimer() { return g_timer.load(); }

void SetConnectionTarget(const std::string& host, uint16_t port) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_host = host;
    g_port = port;
}

void SetReplySink(ReplySink sink) {
    auto shared = std::make_shared<const ReplySink>(std::move(sink));
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(shared);
}

PackClient& Client() {
    static PackClient client;
    return client;
}

PackClient::Handle ClientHandle() { return g_client.load(); }

void SetUpPackClient() {
    PackClient& client = Client();
    PackClient::Handle handle = client.CreateClient(false);
    g_client.store(handle);
    client.SetOnConnect(OnConnect);
    client.SetOnSend(OnSend);
    client.SetOnReceive(OnReceive);
    client.SetOnClose(OnClose);
    client.SetOnPrepareConnect(OnPrepareConnect);
    client.SetOnHandShake(OnHandShake);
    client.SetFreeBufferPoolSize(handle, kFreeBufferPoolSize);
    client.SetFreeBufferPoolHold(handle, kFreeBufferPoolHold);
    client.SetMaxPackSize(handle, kMaxPackSize);
    client.SetPackHeaderFlag(handle, kPackHeaderFlag);
    ArmTimer(kFirstConnectIntervalMs);
}

bool ConnectToNode() {
    std::string host;
    uint16_t port;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        host = g_host;
        port = g_port;
    }
    if (Client().Start(ClientHandle(), host, port, false, "0.0.0.0", 0) != 1) return false;
    SendToNode(HelloRequest());
    return true;
}

void SendToNode(std::string_view bytes) {
    const uint8_t* data = bytes.empty() ? nullptr : reinterpret_cast<const uint8_t*>(bytes.data());
    Client().Send(ClientHandle(), data, static_cast<int>(bytes.size()));
}

int ReconnectDelayMs() {
    // Seeded from the tick count at each call; a generator of its own per call keeps the
    // worker threads from sharing one.
    auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count();
    std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(ticks) | 1u);
    std::uniform_int_distribution<int> seconds(1, 5);
    return seconds(generator) * 1000;
}

}  // namespace net
