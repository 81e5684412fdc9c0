// The objects behind the C handles of the pack library.
//
// A handle is a pointer to a reference-counted object. The handle owns one reference; each
// running worker owns one more, so a worker that is still inside OnClose (or any callback)
// keeps its client and listener alive after Destroy. A connection's socket is closed only when
// the last thread using it lets go: Stop and errors merely shut it down, so no concurrent Send
// can ever write to a reused socket number.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "HPSocket4C.h"
#include "socket_compat.h"

namespace hp {

class RefCounted {
  public:
    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

  protected:
    virtual ~RefCounted() = default;

  private:
    std::atomic<int> refs_{1};
};

// The six callbacks; set and read from any thread.
class Listener : public RefCounted {
  public:
    std::atomic<HP_FN_Client_OnPrepareConnect> onPrepareConnect{nullptr};
    std::atomic<HP_FN_Client_OnConnect> onConnect{nullptr};
    std::atomic<HP_FN_Client_OnHandShake> onHandShake{nullptr};
    std::atomic<HP_FN_Client_OnSend> onSend{nullptr};
    std::atomic<HP_FN_Client_OnReceive> onReceive{nullptr};
    std::atomic<HP_FN_Client_OnClose> onClose{nullptr};
};

// One established (or being established) TCP connection. Its framing settings are the ones
// the client had when Start was called.
struct Connection {
    HP_CONNID id = 0;
    uint32_t flag = 0;
    uint32_t maxPack = 0;
    std::string remoteHost;
    uint16_t remotePort = 0;
    sockcompat::Socket socket;

    std::mutex sendMutex;  // one whole packet on the wire at a time
    std::atomic<bool> closing{false};
    std::atomic<bool> stoppedByUser{false};

    std::mutex pauseMutex;
    std::condition_variable pauseChanged;
    bool paused = false;

    // Marks the connection as ending and wakes its worker and any blocked sender.
    void Close();
};

// How a synchronous Start learns the result of its worker's connect.
struct StartOutcome {
    std::mutex mutex;
    std::condition_variable changed;
    bool known = false;
    bool connected = false;
};

struct StartRequest {
    std::string host;
    uint16_t port = 0;
    std::string bindAddress;
    uint16_t localPort = 0;
};

class Client : public RefCounted {
  public:
    explicit Client(Listener* listener);

    // See the C functions of the same names.
    HP_BOOL Start(const char* host, uint16_t port, bool async, const char* bindAddress, uint16_t localPort);
    HP_BOOL Stop();
    // One packet whose body is the pieces in order (the header is added here).
    HP_BOOL SendPacket(sockcompat::Piece* pieces, size_t count);
    std::shared_ptr<Connection> Current();  // the started connection, or null
    En_HP_ServiceState State();
    void SetError(En_HP_SocketError error);
    En_HP_SocketError LastError() const { return lastError_.load(std::memory_order_relaxed); }
    HP_CONNID LastConnectionId() const { return lastId_.load(std::memory_order_relaxed); }

    std::atomic<void*> extra{nullptr};
    std::atomic<uint32_t> poolSize{60};
    std::atomic<uint32_t> poolHold{60};
    std::atomic<uint32_t> socketBufferSize{0};  // 0: the system's default
    std::atomic<uint32_t> keepAliveTime{60000};
    std::atomic<uint32_t> keepAliveInterval{20000};
    std::atomic<uint32_t> maxPackSize{0x3FFFFF};
    std::atomic<uint32_t> packHeaderFlag{0};

    static constexpr int kConnectTimeoutMs = 2000;

  private:
    ~Client() override;
    bool Establish(Connection& conn, const StartRequest& request);
    // The worker: connects, then receives until the connection ends. outcome is null for an
    // asynchronous start.
    static void Run(Client* self, std::shared_ptr<Connection> conn, StartRequest request,
                    std::shared_ptr<StartOutcome> outcome);
    static void Work(Client* self, std::shared_ptr<Connection> conn, StartRequest request,
                     std::shared_ptr<StartOutcome> outcome);
    void Receive(Connection& conn, En_HP_SocketOperation* operation, int* errorCode);
    void Finish(const std::shared_ptr<Connection>& conn, En_HP_SocketOperation operation, int errorCode);

    Listener* listener_;
    std::mutex mutex_;  // state_, conn_, stopRequested_
    En_HP_ServiceState state_ = SS_STOPPED;
    std::shared_ptr<Connection> conn_;
    bool stopRequested_ = false;
    std::atomic<HP_CONNID> lastId_{0};
    std::atomic<En_HP_SocketError> lastError_{SE_OK};
};

const char* ErrorText(En_HP_SocketError error);

}  // namespace hp
