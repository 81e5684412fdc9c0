// The node's own web server: previews, detail pictures and full images, with the Range
// answers (206, 416, Content-Range, Content-Length) that a segmented downloader relies on,
// and an optional administrator endpoint guarded by a token.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "catalogue.h"
#include "image_cache.h"

namespace httplib {
class Server;
}

namespace node {

struct HttpHooks {
    std::function<std::shared_ptr<const Catalogue>()> catalogue;
    std::function<void(const std::string& noticeGbk)> notice;  // POST /admin/notice
    std::function<std::string()> rescan;                       // POST /admin/rescan
    std::string adminToken;                                    // empty: no admin endpoint
};

class HttpServer {
  public:
    HttpServer(ImageCache& cache, HttpHooks hooks, int threads);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds (port 0 picks one) and serves on a thread of its own.
    bool Start(const std::string& host, int port, std::string& error);
    void Stop();
    int port() const { return port_; }

  private:
    void Routes();

    ImageCache& cache_;
    HttpHooks hooks_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

// Interprets a Range header for a body of `size` bytes. Returns 0 when the whole body is to
// be sent (no header, several ranges, or a header we do not understand), 206 with the first
// and last byte, or 416 when the range starts at or beyond the end.
int ResolveRange(const std::string& header, uint64_t size, uint64_t& first, uint64_t& last);

}  // namespace node
