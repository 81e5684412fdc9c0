// The TCP side of the node: pack-framed packets on many connections, one epoll thread. Each
// complete packet goes to the handler; its reply, if any, goes back on the same connection.
// Bad framing, a client that does not read its replies, or one silent for too long is
// disconnected and logged; everyone else is served on. One address holds at most its share
// of the connections; behind a load balancer the PROXY protocol names the real client.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "address_share.h"
#include "protocol.h"

namespace node {

struct PackLimits {
    size_t maxRequestBytes = 64 * 1024;
    size_t maxPendingReplyBytes = 1024 * 1024;
    int clientTimeoutSeconds = 180;
    int maxClients = 16384;
    int maxPerAddress = 64;  // connections one client address may hold
    // Connections from these addresses begin with a PROXY protocol header naming the client;
    // shares and logs then count that client.
    std::vector<std::string> proxyFrom;
    int proxyHeaderSeconds = 10;
};

class PackServer {
  public:
    // Called on the server thread; `what` names the request for the log.
    using Handler =
        std::function<std::optional<std::string>(std::string_view body, Session& s, std::string* what)>;

    PackServer(PackLimits limits, Handler handler);
    ~PackServer();
    PackServer(const PackServer&) = delete;
    PackServer& operator=(const PackServer&) = delete;

    // Binds and starts the thread. Port 0 picks a free port (see port()).
    bool Start(const std::string& host, int port, std::string& error);
    void Stop();
    int port() const { return port_; }

    // Sends one packet to every connected client. Any thread.
    void Broadcast(std::string body);
    size_t clients() const { return clientCount_; }

  private:
    struct Conn;
    void Loop();
    void Accept();
    bool Admit(Conn& c, const std::string& address);
    void ReadFrom(Conn& c);
    bool ReadProxyHeader(Conn& c, const uint8_t* data, size_t len, size_t& used);
    void Queue(Conn& c, std::string_view body);
    void FlushOut(Conn& c);
    void MarkClosing(Conn& c, const std::string& why);
    void Close(int fd);
    void Wake();

    PackLimits limits_;
    Handler handler_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> clientCount_{0};
    std::mutex broadcastMutex_;
    std::vector<std::string> broadcasts_;
    std::vector<Conn*> conns_;  // indexed by fd
    std::vector<int> closing_;  // closed after the current batch of events
    uint64_t nextId_ = 1;
    AddressShare share_;
};

}  // namespace node
