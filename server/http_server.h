// The node's web servers on libmicrohttpd, driven by one epoll thread each: the public one
// serves previews, detail pictures and full images (files sent with sendfile, with the Range
// answers a segmented downloader relies on); the admin one, on a listener of its own, takes
// notices and rescans. A slow or idle client holds only its own connection: each request must
// arrive within its own deadline, and one address holds at most its share of connections.
// Pictures still to be made are made on worker threads while the connection waits suspended.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "address_share.h"
#include "catalogue.h"
#include "image_cache.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace node {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string peer;  // client address
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string Header(const std::string& name) const;  // any letter case; empty when absent
};

struct HttpAnswer {
    int status = 404;
    std::string contentType;
    std::string body;
    std::string file;  // when set, the body is this file, with Range answered
    std::string cacheControl;
    // When set, the answer is still to be made: this runs on a worker thread and its result
    // is sent, while the server thread serves everyone else.
    std::function<HttpAnswer()> later;
};

using HttpRoutes = std::function<HttpAnswer(const HttpRequest&)>;

struct HttpLimits {
    int maxConnections = 4096;
    int perAddress = 64;
    // A request (line, headers and body) must arrive whole within this many seconds from the
    // connection or the end of the previous answer; this also ends idle keep-alive connections.
    int requestSeconds = 10;
    // An answer being sent may make no progress for this long.
    int sendIdleSeconds = 30;
    int workers = 4;
    size_t maxBodyBytes = 64 * 1024;
};

class HttpServer {
  public:
    // `name` starts the log lines ("http", "admin").
    HttpServer(std::string name, HttpLimits limits, HttpRoutes routes);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds (port 0 picks one) and serves on a thread of its own.
    bool Start(const std::string& host, int port, std::string& error);
    void Stop();
    int port() const { return port_; }

  private:
    struct Conn;
    struct Exchange;
    friend struct HttpCallbacks;  // libmicrohttpd's C callbacks
    bool Answer(MHD_Connection* c, Exchange& x, const HttpAnswer& a);
    void Loop();
    void Sweep();
    void Work();

    std::string name_;
    HttpLimits limits_;
    HttpRoutes routes_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
    int wakeFd_ = -1;
    bool stop_ = false;  // guarded by jobsMutex_
    std::thread thread_;
    AddressShare share_;
    size_t open_ = 0;
    std::vector<Conn*> conns_;  // for the request deadline

    std::mutex jobsMutex_;
    std::condition_variable jobsReady_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
};

// Previews, detail pictures and full images of the catalogue.
HttpRoutes PictureRoutes(ImageCache& cache, std::function<std::shared_ptr<const Catalogue>()> catalogue);

struct AdminHooks {
    std::string token;
    std::function<void(const std::string& noticeGbk)> notice;  // POST /admin/notice
    std::function<std::string()> rescan;                       // POST /admin/rescan
};
// The administrator's endpoint: every request must carry X-Admin-Token; a refused one is logged
// with its address.
HttpRoutes AdminRoutes(AdminHooks hooks);

// True when the two texts are equal, in a time that does not depend on where they differ.
bool SameSecret(const std::string& given, const std::string& expected);

// Interprets a Range header for a body of `size` bytes. Returns 0 when the whole body is to
// be sent (no header, several ranges, or a header we do not understand), 206 with the first
// and last byte, or 416 when the range starts at or beyond the end.
int ResolveRange(const std::string& header, uint64_t size, uint64_t& first, uint64_t& last);

}  // namespace node
