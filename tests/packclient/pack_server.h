// A small pack-protocol peer for tests: listens on 127.0.0.1 (a free port unless one is
// given), serves one connection at a time on its own thread, decodes what arrives with the
// shared framing and lets the test send packets, raw bytes, or drop the connection.
// Every wait is bounded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pack_frame.h"
#include "socket_compat.h"

namespace testpeer {

constexpr int kWaitMs = 15000;

// A fresh T that is never freed and stays reachable. For the objects that the library's
// threads signal: a worker touches them up to its last instruction (the unlock after its
// final callback), when the test may already be tearing down.
template <class T>
T& KeptForever() {
    struct Node {
        T value;
        Node* next;
    };
    static Node* head = nullptr;
    head = new Node{{}, head};
    return head->value;
}

class PackServer {
  public:
    // flag/maxBody: the framing this peer expects from the client.
    explicit PackServer(uint16_t port = 0, uint32_t flag = pack::kDefaultFlag,
                        uint32_t maxBody = pack::kDefaultMaxBody);
    ~PackServer();
    PackServer(const PackServer&) = delete;
    PackServer& operator=(const PackServer&) = delete;

    bool listening() const { return listener_.valid(); }
    uint16_t port() const { return port_; }

    // Waits until `count` connections have been accepted in all.
    bool WaitForConnections(int count, int timeoutMs = kWaitMs);
    // Waits until `count` packets have arrived in all (over every connection).
    bool WaitForPackets(size_t count, int timeoutMs = kWaitMs);
    // Waits until `count` connections have ended in all (closed by either side, or bad framing).
    bool WaitForEnded(int count, int timeoutMs = kWaitMs);
    std::vector<std::string> Packets();
    bool framingError();

    // To the current connection; false when there is none.
    bool Send(std::string_view body, uint32_t flag = pack::kDefaultFlag);
    bool SendRaw(std::string_view bytes);
    // Closes the current connection; with reset, abortively (the client sees a reset).
    void DropConnection(bool reset = false);
    // Closes the listener and any connection; the port becomes free.
    void Stop();

  private:
    void Serve();
    void ReadFrom(sockcompat::Handle s);

    uint16_t port_;
    uint32_t flag_;
    uint32_t maxBody_;
    sockcompat::Socket listener_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    sockcompat::Handle current_ = sockcompat::kInvalid;  // owned by the serving thread
    std::mutex sendMutex_;
    int accepted_ = 0;
    int ended_ = 0;  // connections that ended, by either side
    bool framingError_ = false;
    std::vector<std::string> packets_;
};

}  // namespace testpeer
