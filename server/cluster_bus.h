// What the nodes of a cluster tell each other through PostgreSQL's LISTEN/NOTIFY: notices
// for every client, rescans, and word that the shared counts changed. One thread and one
// connection of its own, made again when PostgreSQL goes away; messages posted meanwhile wait.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "postgres_link.h"

namespace node {

class ClusterBus {
  public:
    // Called on the bus thread for what another node posted.
    struct Handlers {
        std::function<void(const std::string& textGbk)> notice;
        std::function<void()> rescan;
        std::function<void()> countsChanged;
    };

    ClusterBus(std::string uri, Handlers handlers);
    ~ClusterBus();
    ClusterBus(const ClusterBus&) = delete;
    ClusterBus& operator=(const ClusterBus&) = delete;

    // Connects (so a wrong address is said at start) and starts listening.
    bool Start(std::string& error);
    void Stop();

    // For the other nodes; this one has acted already. Any thread. False when the text is
    // too long for a notification (PostgreSQL takes under 8,000 bytes).
    bool PostNotice(const std::string& textGbk);
    void PostRescan();

  private:
    bool Listen();
    void Loop();
    void Post(const char* channel, std::string payload);
    void Drain(PGconn* c);
    void Deliver(const std::string& channel, const std::string& payload);

    PgConnection conn_;
    Handlers handlers_;
    std::mutex mutex_;
    std::deque<std::pair<std::string, std::string>> outbox_;
    const int wakeFd_;  // lives as long as the object: Post may come from any thread at any time
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace node
