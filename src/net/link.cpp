#include "net/link.h"

#include <chrono>
#include <map>
#include <random>

#include "net/requests.h"

namespace net {

namespace {

constexpr uint32_t kFreeBufferPoolSize = 10;
constexpr uint32_t kFreeBufferPoolHold = 30;
constexpr uint32_t kMaxPackSize = 0x3FFFFF;
constexpr uint16_t kPackHeaderFlag = 0x3FF;
constexpr int kFirstConnectIntervalMs = 1000;

// The library's callbacks are plain C functions: this is their way back to the link of the
// client that calls. A link leaves it before it goes, so no callback finds a dead one.
std::mutex g_linksMutex;
std::map<HP_Client, Link*>& Links() {
    static std::map<HP_Client, Link*> links;
    return links;
}

}  // namespace

struct LinkCallbacks {
    // Runs fn with the client's link, counted as running so Stop can wait for it; nothing when
    // the link is gone. No exception may unwind into the library's thread.
    template <typename F>
    static En_HP_HandleResult With(HP_Client client, F&& fn) {
        Link* link = nullptr;
        {
            std::lock_guard lock(g_linksMutex);
            auto it = Links().find(client);
            if (it == Links().end()) return HR_OK;
            link = it->second;
            std::lock_guard linkLock(link->mutex_);
            ++link->callbacksRunning_;
        }
        try {
            fn(*link);
        } catch (...) {
        }
        // Told under the lock: once Stop sees none running, this thread no longer touches the link.
        std::lock_guard linkLock(link->mutex_);
        --link->callbacksRunning_;
        link->idle_.notify_all();
        return HR_OK;
    }

    static En_HP_HandleResult HP_API OnPrepareConnect(HP_Client, HP_CONNID, HP_SOCKET) { return HR_OK; }
    static En_HP_HandleResult HP_API OnConnect(HP_Client client, HP_CONNID) {
        return With(client, [](Link& link) {
            // The local end is read and dropped, as the link has always done; it costs nothing.
            std::string address;
            int length = 0;
            uint16_t port = 0;
            link.client_.GetLocalAddress(link.handle_, address, length, port);
        });
    }
    static En_HP_HandleResult HP_API OnHandShake(HP_Client, HP_CONNID) { return HR_OK; }
    static En_HP_HandleResult HP_API OnSend(HP_Client, HP_CONNID, const uint8_t*, int) { return HR_OK; }
    static En_HP_HandleResult HP_API OnReceive(HP_Client client, HP_CONNID, const uint8_t* data, int length) {
        return With(client, [&](Link& link) {
            if (length >= 0) link.receiver_.OnReply(data, static_cast<size_t>(length));
        });
    }
    static En_HP_HandleResult HP_API OnClose(HP_Client client, HP_CONNID, En_HP_SocketOperation, int) {
        return With(client, [](Link& link) { link.ArmTimer(ReconnectDelayMs()); });
    }
};

Link::Link(std::string host, uint16_t port, ConnectTimer& timer, ReplyReceiver& receiver)
    : host_(std::move(host)), port_(port), timer_(timer), receiver_(receiver) {}

Link::~Link() { Stop(); }

void Link::ArmTimer(int ms) { timer_.SetInterval(ms); }

void Link::SetUp() {
    handle_ = client_.CreateClient(false);
    {
        std::lock_guard lock(g_linksMutex);
        Links()[handle_] = this;
    }
    client_.SetOnConnect(LinkCallbacks::OnConnect);
    client_.SetOnSend(LinkCallbacks::OnSend);
    client_.SetOnReceive(LinkCallbacks::OnReceive);
    client_.SetOnClose(LinkCallbacks::OnClose);
    client_.SetOnPrepareConnect(LinkCallbacks::OnPrepareConnect);
    client_.SetOnHandShake(LinkCallbacks::OnHandShake);
    client_.SetFreeBufferPoolSize(handle_, kFreeBufferPoolSize);
    client_.SetFreeBufferPoolHold(handle_, kFreeBufferPoolHold);
    client_.SetMaxPackSize(handle_, kMaxPackSize);
    client_.SetPackHeaderFlag(handle_, kPackHeaderFlag);
    ArmTimer(kFirstConnectIntervalMs);
}

bool Link::Connect() {
    if (client_.Start(handle_, host_, port_, false, "0.0.0.0", 0) != 1) return false;
    Send(HelloRequest());
    return true;
}

void Link::Send(std::string_view bytes) {
    const uint8_t* data = bytes.empty() ? nullptr : reinterpret_cast<const uint8_t*>(bytes.data());
    client_.Send(handle_, data, static_cast<int>(bytes.size()));
}

bool Link::IsConnected() { return handle_ && client_.IsConnected(handle_); }

void Link::Stop() {
    {
        std::lock_guard lock(g_linksMutex);
        auto it = Links().find(handle_);
        if (it == Links().end() || it->second != this) return;
        Links().erase(it);
    }
    client_.Stop(handle_);
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return callbacksRunning_ == 0; });
    lock.unlock();
    // The library's worker finishes on its own and keeps what it needs alive.
    client_.DestroyClient(handle_, false);
    client_.DestroyListener();
    handle_ = nullptr;
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
