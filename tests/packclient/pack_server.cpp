#include "pack_server.h"

// SO_LINGER for a reset: the socket layer has no use for it, so the peer sets it itself.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <chrono>

namespace testpeer {

PackServer::PackServer(uint16_t port, uint32_t flag, uint32_t maxBody)
    : port_(port), flag_(flag), maxBody_(maxBody) {
    listener_ = sockcompat::ListenLoopback(&port_);
    if (listener_.valid()) thread_ = std::thread([this] { Serve(); });
}

PackServer::~PackServer() { Stop(); }

void PackServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
    listener_.Reset();
}

void PackServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        if (!sockcompat::WaitReadable(listener_.get(), 20)) continue;
        sockcompat::Socket s = sockcompat::Accept(listener_.get());
        if (!s.valid()) continue;
        sockcompat::SetNoDelay(s.get());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++accepted_;
            std::lock_guard<std::mutex> send(sendMutex_);
            current_ = s.get();
        }
        changed_.notify_all();
        ReadFrom(s.get());
        {
            std::lock_guard<std::mutex> send(sendMutex_);
            current_ = sockcompat::kInvalid;
        }
        // s closes here, after no sender can use it any more.
    }
}

void PackServer::ReadFrom(sockcompat::Handle s) {
    pack::Decoder decoder(flag_, maxBody_);
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        {
            std::lock_guard<std::mutex> send(sendMutex_);
            if (current_ == sockcompat::kInvalid) return;  // dropped by the test
        }
        if (!sockcompat::WaitReadable(s, 20)) continue;
        long got = sockcompat::Receive(s, buffer.data(), buffer.size());
        if (got <= 0) break;
        std::vector<std::string> arrived;
        bool ok =
            decoder.Feed(buffer.data(), static_cast<size_t>(got), [&](const uint8_t* body, size_t length) {
                arrived.emplace_back(reinterpret_cast<const char*>(body), length);
            });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& p : arrived) packets_.push_back(std::move(p));
            if (!ok) framingError_ = true;
        }
        changed_.notify_all();
        if (!ok) break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++ended_;
    }
    changed_.notify_all();
}

bool PackServer::WaitForConnections(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return accepted_ >= count; });
}

bool PackServer::WaitForPackets(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return packets_.size() >= count; });
}

bool PackServer::WaitForEnded(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= count; });
}

std::vector<std::string> PackServer::Packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

bool PackServer::framingError() {
    std::lock_guard<std::mutex> lock(mutex_);
    return framingError_;
}

bool PackServer::Send(std::string_view body, uint32_t flag) { return SendRaw(pack::Encode(body, flag)); }

bool PackServer::SendRaw(std::string_view bytes) {
    std::lock_guard<std::mutex> send(sendMutex_);
    if (current_ == sockcompat::kInvalid) return false;
    sockcompat::Piece piece{bytes.data(), bytes.size()};
    return sockcompat::SendAll(current_, &piece, 1);
}

void PackServer::DropConnection(bool reset) {
    std::lock_guard<std::mutex> send(sendMutex_);
    if (current_ == sockcompat::kInvalid) return;
    if (reset) {
        linger l{};
        l.l_onoff = 1;
        l.l_linger = 0;
        ::setsockopt(current_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    } else {
        sockcompat::Shutdown(current_);
    }
    // The serving thread sees the invalid handle, leaves its loop and closes the socket.
    current_ = sockcompat::kInvalid;
}

}  // namespace testpeer
