#include "http_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "log.h"
#include "sys/text.h"

namespace node {
namespace {

std::string ContentType(const std::string& path) {
    size_t dot = path.rfind('.');
    std::string e = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (auto& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (e == "jpg" || e == "jpeg") return "image/jpeg";
    if (e == "png") return "image/png";
    if (e == "bmp") return "image/bmp";
    if (e == "webp") return "image/webp";
    if (e == "tif" || e == "tiff") return "image/tiff";
    return "application/octet-stream";
}

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

bool ParseUint(const std::string& s, uint64_t& out) {
    if (s.empty() || s.size() > 19) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// Sends a file with our own Range handling. cpp-httplib 0.11 trusts the parsed range as it
// stands: a start past the end or an end past the size gives a wrong Content-Length and reads
// past the body. So the range is settled here and written back into the request, which the
// library then applies unchanged.
void SendFile(const httplib::Request& req, httplib::Response& res, const std::string& path,
              const std::string& cacheControl) {
    auto fd = std::make_shared<Fd>(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd->fd < 0 || fstat(fd->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        res.status = 404;
        return;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    auto& mutableReq = const_cast<httplib::Request&>(req);
    uint64_t first = 0, last = 0;
    int kind = req.has_header("Range") ? ResolveRange(req.get_header_value("Range"), size, first, last) : 0;
    if (kind == 416) {
        mutableReq.ranges.clear();
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    mutableReq.ranges.clear();
    if (kind == 206) mutableReq.ranges.emplace_back(static_cast<ssize_t>(first), static_cast<ssize_t>(last));
    res.set_header("Accept-Ranges", "bytes");
    if (!cacheControl.empty()) res.set_header("Cache-Control", cacheControl);
    res.set_content_provider(static_cast<size_t>(size), ContentType(path),
                             [fd, size](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buf[65536];
                                 size_t want = std::min(length, sizeof buf);
                                 if (offset >= size) return false;
                                 ssize_t n = pread(fd->fd, buf, want, static_cast<off_t>(offset));
                                 if (n <= 0) return false;  // file shrank under us: end the response
                                 return sink.write(buf, static_cast<size_t>(n));
                             });
}

bool IsKey(const std::string& s) {
    if (s.size() != 16) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

int ResolveRange(const std::string& header, uint64_t size, uint64_t& first, uint64_t& last) {
    std::string h = header;
    while (!h.empty() && h.back() == ' ') h.pop_back();
    if (h.compare(0, 6, "bytes=") != 0) return 0;
    std::string ranges = h.substr(6);
    if (ranges.find(',') != std::string::npos) return 0;  // several ranges: the whole body will do
    size_t dash = ranges.find('-');
    if (dash == std::string::npos) return 0;
    std::string a = ranges.substr(0, dash), b = ranges.substr(dash + 1);
    uint64_t x = 0, y = 0;
    if (a.empty()) {  // the last y bytes
        if (!ParseUint(b, y)) return 0;
        if (y == 0 || size == 0) return 416;
        first = y >= size ? 0 : size - y;
        last = size - 1;
        return 206;
    }
    if (!ParseUint(a, x)) return 0;
    if (!b.empty() && (!ParseUint(b, y) || y < x)) return 0;
    if (x >= size) return 416;
    first = x;
    last = b.empty() || y >= size ? size - 1 : y;
    return 206;
}

HttpServer::HttpServer(ImageCache& cache, HttpHooks hooks, int threads)
    : cache_(cache), hooks_(std::move(hooks)), server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server_->set_read_timeout(10, 0);
    server_->set_write_timeout(30, 0);
    server_->set_keep_alive_timeout(2);
    server_->set_payload_max_length(64 * 1024);
    Routes();
}

HttpServer::~HttpServer() { Stop(); }

void HttpServer::Routes() {
    auto serveDerived = [this](Derived kind) {
        return [this, kind](const httplib::Request& req, httplib::Response& res) {
            std::string key = req.matches[1];
            auto cat = hooks_.catalogue();
            const Picture* p = IsKey(key) ? cat->ByKey(key) : nullptr;
            if (!p) {
                res.status = 404;
                return;
            }
            std::string path = cache_.Ensure(*p, kind);
            if (path.empty()) {
                res.status = 500;
                return;
            }
            SendFile(req, res, path, kind == Derived::kFull ? "" : "max-age=86400");
        };
    };
    server_->Get(R"(/preview/([0-9a-f]{16})\.jpg)", serveDerived(Derived::kPreview));
    server_->Get(R"(/detail/([0-9a-f]{16})_d\.jpg)", serveDerived(Derived::kDetail));
    server_->Get(R"(/image/([0-9a-f]{16})\.[A-Za-z]{3,4})", serveDerived(Derived::kFull));

    if (!hooks_.adminToken.empty()) {
        auto allowed = [this](const httplib::Request& req) {
            return req.get_header_value("X-Admin-Token") == hooks_.adminToken;
        };
        server_->Post("/admin/notice", [this, allowed](const httplib::Request& req, httplib::Response& res) {
            if (!allowed(req)) {
                res.status = 403;
                return;
            }
            hooks_.notice(sys::Utf8ToGbk(req.body));
            res.set_content("ok\n", "text/plain");
        });
        server_->Post("/admin/rescan", [this, allowed](const httplib::Request& req, httplib::Response& res) {
            if (!allowed(req)) {
                res.status = 403;
                return;
            }
            res.set_content(hooks_.rescan() + "\n", "text/plain");
        });
    }
    server_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (Verbose() || res.status >= 500)
            Log("http: " + req.remote_addr + " " + req.method + " " + req.path + " " +
                std::to_string(res.status));
    });
}

bool HttpServer::Start(const std::string& host, int port, std::string& error) {
    if (port == 0) {
        port_ = server_->bind_to_any_port(host);
        if (port_ <= 0) {
            error = "cannot listen for HTTP on " + host;
            return false;
        }
    } else if (!server_->bind_to_port(host, port)) {
        error = "cannot listen for HTTP on " + host + ":" + std::to_string(port);
        return false;
    } else {
        port_ = port;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() before the loop runs would be lost and leave the thread listening for ever.
    for (int i = 0; i < 400 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

void HttpServer::Stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

}  // namespace node
