#include "client.h"

#include <thread>
#include <vector>

#include "pack_frame.h"
#include "thread_name.h"

namespace hp {

namespace {

std::atomic<HP_CONNID> g_nextConnectionId{0};

// A connection's reads go through this buffer; big enough that a 64 KiB body is one read.
constexpr size_t kReadBuffer = 128 * 1024;

}  // namespace

void Connection::Close() {
    closing.store(true, std::memory_order_release);
    if (socket.valid()) sockcompat::Shutdown(socket.get());
    {
        std::lock_guard<std::mutex> lock(pauseMutex);
        paused = false;
    }
    pauseChanged.notify_all();
}

Client::Client(Listener* listener) : listener_(listener) { listener_->AddRef(); }

Client::~Client() { listener_->Release(); }

void Client::SetError(En_HP_SocketError error) { lastError_.store(error, std::memory_order_relaxed); }

En_HP_ServiceState Client::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::shared_ptr<Connection> Client::Current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == SS_STARTED ? conn_ : nullptr;
}

HP_BOOL Client::Start(const char* host, uint16_t port, bool async, const char* bindAddress,
                      uint16_t localPort) {
    if (!host || !*host) {
        SetError(SE_INVALID_PARAM);
        return FALSE;
    }
    auto conn = std::make_shared<Connection>();
    auto outcome = std::make_shared<StartOutcome>();
    StartRequest request{host, port, bindAddress ? bindAddress : "", localPort};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ != SS_STOPPED) {
            SetError(SE_ILLEGAL_STATE);
            return FALSE;
        }
        state_ = SS_STARTING;
        stopRequested_ = false;
    }
    conn->id = g_nextConnectionId.fetch_add(1, std::memory_order_relaxed) + 1;
    conn->flag = packHeaderFlag.load() & 0x3FF;
    conn->maxPack = maxPackSize.load();
    conn->remoteHost = request.host;
    conn->remotePort = port;
    lastId_.store(conn->id, std::memory_order_relaxed);

    AddRef();  // the worker's reference
    try {
        // The worker connects (OnPrepareConnect is its first callback) and is never joined:
        // Start must not wait for an earlier worker, which may still be inside OnClose.
        std::thread(Run, this, conn, std::move(request), async ? nullptr : outcome).detach();
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state_ = SS_STOPPED;
        }
        Release();
        SetError(SE_WORKER_THREAD_CREATE);
        return FALSE;
    }
    if (async) return TRUE;
    // A synchronous start waits for this connection's own attempt, which the connect time-out
    // bounds.
    std::unique_lock<std::mutex> lock(outcome->mutex);
    outcome->changed.wait(lock, [&] { return outcome->known; });
    return outcome->connected ? TRUE : FALSE;
}

bool Client::Establish(Connection& conn, const StartRequest& request) {
    Listener* listener = listener_;
    HP_CONNID id = conn.id;
    sockcompat::ConnectOptions options;
    options.bindAddress = request.bindAddress;
    options.localPort = request.localPort;
    options.prepare = [&](sockcompat::Handle s) {
        if (auto fn = listener->onPrepareConnect.load()) {
            if (fn(this, id, static_cast<HP_SOCKET>(s)) == HR_ERROR) return false;
        }
        return true;
    };
    // The name's lookup counts inside the bound: a slow name server must not hold Start longer.
    sockcompat::Failure failure = sockcompat::Failure::kNone;
    sockcompat::Socket s =
        sockcompat::Connect(request.host, request.port, kConnectTimeoutMs, options, &failure);
    if (!s.valid()) {
        SetError(failure == sockcompat::Failure::kPrepare ? SE_SOCKET_PREPARE : SE_CONNECT_SERVER);
        return false;
    }
    // Every send is one whole packet; waiting to coalesce would only delay replies.
    sockcompat::SetNoDelay(s.get());
    if (uint32_t size = socketBufferSize.load()) sockcompat::SetBufferSize(s.get(), size);
    if (uint32_t time = keepAliveTime.load())
        sockcompat::SetKeepAlive(s.get(), time, keepAliveInterval.load());
    conn.socket = std::move(s);
    SetError(SE_OK);
    return true;
}

HP_BOOL Client::Stop() {
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == SS_STARTING) {
            stopRequested_ = true;
            return TRUE;
        }
        if (state_ != SS_STARTED) {
            SetError(SE_ILLEGAL_STATE);
            return FALSE;
        }
        state_ = SS_STOPPING;
        conn = conn_;
    }
    // No waiting for the worker: Stop may be called from a callback, or by a thread that the
    // worker's OnClose is itself waiting for. OnClose follows on the worker thread.
    if (conn) {
        conn->stoppedByUser.store(true);
        conn->Close();
    }
    return TRUE;
}

HP_BOOL Client::SendPacket(sockcompat::Piece* pieces, size_t count) {
    std::shared_ptr<Connection> conn = Current();
    if (!conn || conn->closing.load(std::memory_order_acquire)) {
        SetError(SE_ILLEGAL_STATE);
        return FALSE;
    }
    size_t total = 0;
    for (size_t i = 1; i < count; ++i) total += pieces[i].length;
    if (total > conn->maxPack) {
        SetError(SE_INVALID_PARAM);
        return FALSE;
    }
    uint8_t header[pack::kHeaderSize];
    pack::PutHeader(header, conn->flag, static_cast<uint32_t>(total));
    pieces[0] = {header, sizeof header};
    bool ok;
    {
        std::lock_guard<std::mutex> lock(conn->sendMutex);
        ok = !conn->closing.load(std::memory_order_acquire) &&
             sockcompat::SendAll(conn->socket.get(), pieces, count);
    }
    if (!ok) {
        SetError(SE_DATA_SEND);
        // A half-written packet leaves the stream unusable; the worker reports the close.
        conn->Close();
        return FALSE;
    }
    if (auto fn = listener_->onSend.load()) {
        // The program's callbacks see one contiguous body; only gathered sends need a copy.
        if (count <= 2) {
            fn(this, conn->id, count == 2 ? static_cast<const uint8_t*>(pieces[1].data) : nullptr,
               static_cast<int>(total));
        } else {
            std::vector<uint8_t> body;
            body.reserve(total);
            for (size_t i = 1; i < count; ++i) {
                auto* p = static_cast<const uint8_t*>(pieces[i].data);
                body.insert(body.end(), p, p + pieces[i].length);
            }
            fn(this, conn->id, body.data(), static_cast<int>(total));
        }
    }
    return TRUE;
}

void Client::Run(Client* self, std::shared_ptr<Connection> conn, StartRequest request,
                 std::shared_ptr<StartOutcome> outcome) {
    // The callbacks are the program's; whatever they throw stops here, not in the process.
    osthread::RunGuarded("hp-client",
                         [&] { Work(self, std::move(conn), std::move(request), std::move(outcome)); });
}

void Client::Work(Client* self, std::shared_ptr<Connection> conn, StartRequest request,
                  std::shared_ptr<StartOutcome> outcome) {
    En_HP_SocketOperation operation = SO_CONNECT;
    int errorCode = 0;
    bool connected = false;
    const bool synchronous = outcome != nullptr;
    try {
        connected = self->Establish(*conn, request);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (connected && self->stopRequested_) {
            connected = false;
            self->SetError(SE_ILLEGAL_STATE);
        }
        if (connected) {
            self->state_ = SS_STARTED;
            self->conn_ = conn;
        } else {
            self->state_ = SS_STOPPED;
            errorCode = SE_CONNECT_SERVER;
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->state_ = SS_STOPPED;
        errorCode = SE_CONNECT_SERVER;
    }
    if (outcome) {
        {
            std::lock_guard<std::mutex> lock(outcome->mutex);
            outcome->known = true;
            outcome->connected = connected;
        }
        outcome->changed.notify_all();
        outcome.reset();
    }
    // A failed synchronous start is reported by its result alone; a failed asynchronous one by
    // OnClose, as that is the only news its caller gets.
    bool report = connected || !synchronous;
    if (connected) {
        try {
            self->Receive(*conn, &operation, &errorCode);
        } catch (...) {
            operation = SO_UNKNOWN;
            errorCode = SE_DATA_PROC;
        }
    }
    if (report) self->Finish(conn, operation, errorCode);
    conn.reset();
    self->Release();
}

void Client::Receive(Connection& conn, En_HP_SocketOperation* operation, int* errorCode) {
    Listener* listener = listener_;
    if (auto fn = listener->onConnect.load()) {
        if (fn(this, conn.id) == HR_ERROR) {
            *operation = SO_CONNECT;
            return;
        }
    }
    if (auto fn = listener->onHandShake.load()) {
        if (fn(this, conn.id) == HR_ERROR) {
            *operation = SO_CONNECT;
            return;
        }
    }
    pack::Decoder decoder(conn.flag, conn.maxPack);
    std::vector<uint8_t> buffer(kReadBuffer);
    bool refused = false;
    auto deliver = [&](const uint8_t* body, size_t length) {
        if (refused) return;
        if (auto fn = listener->onReceive.load()) {
            if (fn(this, conn.id, body, static_cast<int>(length)) == HR_ERROR) refused = true;
        }
    };
    *operation = SO_RECEIVE;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(conn.pauseMutex);
            conn.pauseChanged.wait(lock, [&] { return !conn.paused || conn.closing.load(); });
        }
        if (conn.closing.load(std::memory_order_acquire)) break;
        long got =
            sockcompat::ReceiveUnlessStopped(conn.socket.get(), buffer.data(), buffer.size(), conn.closing);
        if (got <= 0) {
            if (got < 0 && !conn.closing.load()) *errorCode = sockcompat::LastError();
            break;
        }
        if (!decoder.Feed(buffer.data(), static_cast<size_t>(got), deliver)) {
            *errorCode = SE_DATA_PROC;
            break;
        }
        if (refused) {
            *errorCode = SE_DATA_PROC;
            break;
        }
    }
    if (conn.stoppedByUser.load()) {
        *operation = SO_CLOSE;
        *errorCode = 0;
    }
}

void Client::Finish(const std::shared_ptr<Connection>& conn, En_HP_SocketOperation operation, int errorCode) {
    conn->Close();
    bool wasAttached = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (conn_ == conn) {
            conn_.reset();
            wasAttached = true;
        }
        if (wasAttached) state_ = SS_STOPPED;
    }
    if (errorCode != 0 && operation != SO_CLOSE) SetError(SE_NETWORK);
    // The client is startable again before OnClose runs, so a Start made from OnClose (or
    // racing with it) succeeds.
    if (auto fn = listener_->onClose.load()) fn(this, conn->id, operation, errorCode);
}

const char* ErrorText(En_HP_SocketError error) {
    switch (error) {
        case SE_OK:
            return "SUCCESS";
        case SE_ILLEGAL_STATE:
            return "Illegal State";
        case SE_INVALID_PARAM:
            return "Invalid Parameter";
        case SE_SOCKET_CREATE:
            return "Create SOCKET Fail";
        case SE_SOCKET_BIND:
            return "Bind SOCKET Fail";
        case SE_SOCKET_PREPARE:
            return "Prepare SOCKET Fail";
        case SE_SOCKET_LISTEN:
            return "Listen SOCKET Fail";
        case SE_CP_CREATE:
            return "Create IOCP Fail";
        case SE_WORKER_THREAD_CREATE:
            return "Create Worker Thread Fail";
        case SE_DETECT_THREAD_CREATE:
            return "Create Detector Thread Fail";
        case SE_SOCKE_ATTACH_TO_CP:
            return "Attach SOCKET to IOCP Fail";
        case SE_CONNECT_SERVER:
            return "Connect to Server Fail";
        case SE_NETWORK:
            return "Network Error";
        case SE_DATA_PROC:
            return "Process Data Error";
        case SE_DATA_SEND:
            return "Send Data Fail";
        case SE_SSL_ENV_NOT_READY:
            return "SSL environment not ready";
    }
    return "Unknown Error";
}

}  // namespace hp
