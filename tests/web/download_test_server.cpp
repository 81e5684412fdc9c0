#include "download_test_server.h"

#include <chrono>

#include "web/download_http.h"

namespace dltest {

using sockcompat::Socket;

TestHttpServer::TestHttpServer() {
    uint16_t port = 0;
    listener_ = sockcompat::ListenLoopback(&port);
    if (listener_.valid()) port_ = port;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    stopping_ = true;
    acceptThread_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        for (auto& s : open_) s->ShutdownBoth();
        workers.swap(workers_);
    }
    for (auto& w : workers) w.join();
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::AddFile(const std::string& path, std::string bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = std::move(bytes);
}

void TestHttpServer::AddRedirect(const std::string& from, const std::string& location) {
    std::lock_guard lock(mutex_);
    redirects_[from] = location;
}

void TestHttpServer::SetBehaviour(const Behaviour& b) {
    std::lock_guard lock(mutex_);
    behaviour_ = b;
    drops_ = 0;
}

std::vector<std::string> TestHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t TestHttpServer::Connections() const {
    std::lock_guard lock(mutex_);
    return open_.size();
}

void TestHttpServer::AcceptLoop() {
    while (!stopping_) {
        Socket s = sockcompat::Accept(listener_.get(), 50);
        if (!s.valid()) continue;
        auto shared = std::make_shared<Socket>(std::move(s));
        std::lock_guard lock(mutex_);
        open_.push_back(shared);
        workers_.emplace_back([this, shared] { Serve(shared); });
    }
}

static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {
// Every answer ends the connection, as "Connection: close" promises.
struct ShutdownAtExit {
    Socket& s;
    ~ShutdownAtExit() { s.ShutdownBoth(); }
};
}  // namespace

void TestHttpServer::Serve(std::shared_ptr<Socket> s) {
    ShutdownAtExit closer{*s};
    s->SetReceiveTimeout(5000);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        long n = s->Receive(buffer, sizeof buffer);
        if (n <= 0 || request.size() > 65536) return;
        request.append(buffer, static_cast<size_t>(n));
    }
    request.resize(request.find("\r\n\r\n") + 4);

    Behaviour b;
    std::string body;
    bool found = false;
    std::string location;
    bool drop = false;
    // The target is the second word; a proxy-form target carries scheme and host before it.
    size_t sp1 = request.find(' ');
    size_t sp2 = request.find(' ', sp1 + 1);
    std::string target = request.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t scheme = target.find("://");
    if (scheme != std::string::npos) {
        size_t slash = target.find('/', scheme + 3);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        b = behaviour_;
        auto r = redirects_.find(target);
        if (r != redirects_.end()) location = r->second;
        auto f = files_.find(target);
        if (f != files_.end()) found = true, body = f->second;
        if (b.dropTimes > drops_ && b.dropAfterBytes >= 0) drop = true, ++drops_;
    }
    if (b.endlessHeader) {
        std::string junk = "HTTP/1.1 200 OK\r\nX-Padding: " + std::string(8000, 'x') + "\r\n\r\n";
        (void)s->SendAll(junk);
        return;
    }
    if (b.status != 0) {
        (void)s->SendAll("HTTP/1.1 " + std::to_string(b.status) + " Nope\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    if (!location.empty()) {
        (void)s->SendAll("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    if (!found) {
        (void)s->SendAll("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    int64_t from = -1;
    size_t range = request.find("\r\nRange: bytes=");
    if (range != std::string::npos && !b.ignoreRange) from = std::atoll(request.c_str() + range + 15);
    std::string head;
    std::string payload;
    if (from >= 0) {
        if (from >= static_cast<int64_t>(body.size())) {
            (void)s->SendAll("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        payload = body.substr(static_cast<size_t>(from));
        head = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(payload.size()) +
               "\r\nContent-Range: bytes " + std::to_string(from) + "-" + std::to_string(body.size() - 1) +
               "/" + std::to_string(body.size()) + "\r\n";
    } else {
        payload = body;
        int64_t claimed = b.claimedLength >= 0 ? b.claimedLength : static_cast<int64_t>(body.size());
        head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(claimed) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    if (!s->SendAll(head)) return;
    if (b.stallMs > 0) Pause(b.stallMs);
    size_t limit = drop ? std::min(payload.size(), static_cast<size_t>(b.dropAfterBytes)) : payload.size();
    size_t chunk = b.trickleChunk > 0 ? static_cast<size_t>(b.trickleChunk) : limit;
    for (size_t at = 0; at < limit && !stopping_;) {
        size_t n = std::min(chunk, limit - at);
        if (!s->SendAll(payload.data() + at, n)) return;
        at += n;
        if (b.trickleDelayMs > 0) Pause(b.trickleDelayMs);
    }
}

}  // namespace dltest
