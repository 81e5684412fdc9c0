// A small HTTP file server on 127.0.0.1 that honours "Range: bytes=N-" and can misbehave on
// command: drop a connection mid-body, send a header that never ends, lie about the length,
// redirect, answer with a chosen status, trickle its bytes. It records every request header.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "socket_compat.h"

namespace dltest {

struct Behaviour {
    int dropAfterBytes = -1;  // close the connection after this many body bytes...
    int dropTimes = 0;        // ...on this many responses
    bool endlessHeader = false;
    int64_t claimedLength = -1;  // Content-Length sent instead of the true one (full responses)
    bool ignoreRange = false;    // always answer 200 with the whole file
    int status = 0;              // answer every request with this status and no body
    int trickleChunk = 0;        // send the body this many bytes at a time...
    int trickleDelayMs = 0;      // ...with this pause between chunks
    int stallMs = 0;             // wait this long before the first body byte
};

class TestHttpServer {
  public:
    TestHttpServer();
    ~TestHttpServer();

    uint16_t port() const { return port_; }
    std::string Url(const std::string& path) const;

    void AddFile(const std::string& path, std::string bytes);
    // Requests for `from` get a 302 to `location` (kept as given).
    void AddRedirect(const std::string& from, const std::string& location);
    void SetBehaviour(const Behaviour& b);

    std::vector<std::string> Requests() const;
    // Connections accepted so far, whether or not they sent a request.
    size_t Connections() const;

  private:
    void AcceptLoop();
    void Serve(std::shared_ptr<sockcompat::Socket> s);

    sockcompat::Socket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::map<std::string, std::string> redirects_;
    Behaviour behaviour_;
    int drops_ = 0;
    std::vector<std::string> requests_;
    std::vector<std::thread> workers_;
    std::vector<std::shared_ptr<sockcompat::Socket>> open_;
};

}  // namespace dltest
