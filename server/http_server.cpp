#include "http_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "log.h"
#include "sys/text.h"

namespace node {

using Clock = std::chrono::steady_clock;

// One open connection, known from libmicrohttpd's connection notice until its close notice.
struct HttpServer::Conn {
    int fd = -1;
    std::string peer;
    Clock::time_point since;  // connected, or the previous answer ended
    bool answering = false;   // a whole request arrived and is being answered
    bool cut = false;
    size_t index = 0;  // in conns_
};

// One request and its answer.
struct HttpServer::Exchange {
    HttpRequest request;
    bool tooLong = false;
    bool waiting = false;  // suspended while a worker makes the answer
    std::unique_ptr<HttpAnswer> ready;
};

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

bool ParseUint(const std::string& s, uint64_t& out) {
    if (s.empty() || s.size() > 19) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

bool IsKey(std::string_view s) {
    if (s.size() != 16) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// "/preview/<key>.jpg", "/detail/<key>_d.jpg", "/image/<key>.<ext>": the key and kind.
bool MatchPicture(const std::string& path, std::string& key, Derived& kind) {
    auto take = [&](std::string_view prefix, std::string_view suffix, Derived k) {
        if (!sys::StartsWith(path, std::string(prefix))) return false;
        std::string_view rest = std::string_view(path).substr(prefix.size());
        if (rest.size() < 16 || !IsKey(rest.substr(0, 16))) return false;
        std::string_view tail = rest.substr(16);
        if (k == Derived::kFull) {
            if (tail.size() < 4 || tail.size() > 5 || tail[0] != '.') return false;
            for (char c : tail.substr(1))
                if (!std::isalpha(static_cast<unsigned char>(c))) return false;
        } else if (tail != suffix) {
            return false;
        }
        key = std::string(rest.substr(0, 16));
        kind = k;
        return true;
    };
    return take("/preview/", ".jpg", Derived::kPreview) || take("/detail/", "_d.jpg", Derived::kDetail) ||
           take("/image/", "", Derived::kFull);
}

MHD_Response* EmptyResponse() { return MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT); }

}  // namespace

// libmicrohttpd's C callbacks, all on the server thread.
struct HttpCallbacks {
    static MHD_Result Accept(void* cls, const sockaddr* addr, socklen_t) {
        auto& s = *static_cast<HttpServer*>(cls);
        std::string peer = AddressText(addr);
        if (s.open_ >= static_cast<size_t>(s.limits_.maxConnections)) {
            s.share_.Refused(peer, std::to_string(s.open_) + " connections open, the most this node takes");
            return MHD_NO;
        }
        if (!s.share_.Allows(peer)) {
            s.share_.Refused(peer, std::to_string(s.limits_.perAddress) + " connections from it already");
            return MHD_NO;
        }
        return MHD_YES;
    }

    static void Connection(void* cls, MHD_Connection* mc, void** context,
                           MHD_ConnectionNotificationCode what) {
        auto& s = *static_cast<HttpServer*>(cls);
        if (what == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* c = new HttpServer::Conn;
            if (auto* i = MHD_get_connection_info(mc, MHD_CONNECTION_INFO_CONNECTION_FD))
                c->fd = i->connect_fd;
            if (auto* i = MHD_get_connection_info(mc, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
                c->peer = AddressText(i->client_addr);
            c->since = Clock::now();
            c->index = s.conns_.size();
            s.conns_.push_back(c);
            s.share_.Add(c->peer);
            ++s.open_;
            *context = c;
            return;
        }
        auto* c = static_cast<HttpServer::Conn*>(*context);
        if (!c) return;
        // Called before libmicrohttpd closes the socket, so the sweep never sees a reused fd.
        s.conns_[c->index] = s.conns_.back();
        s.conns_[c->index]->index = c->index;
        s.conns_.pop_back();
        s.share_.Remove(c->peer);
        --s.open_;
        delete c;
        *context = nullptr;
    }

    static HttpServer::Conn* ConnOf(MHD_Connection* mc) {
        auto* i = MHD_get_connection_info(mc, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return i ? static_cast<HttpServer::Conn*>(i->socket_context) : nullptr;
    }

    static MHD_Result Header(void* cls, MHD_ValueKind, const char* key, const char* value) {
        static_cast<HttpRequest*>(cls)->headers.emplace_back(key, value ? value : "");
        return MHD_YES;
    }

    static MHD_Result Request(void* cls, MHD_Connection* mc, const char* url, const char* method, const char*,
                              const char* upload, size_t* uploadSize, void** exchange) {
        auto& s = *static_cast<HttpServer*>(cls);
        auto* x = static_cast<HttpServer::Exchange*>(*exchange);
        HttpServer::Conn* c = ConnOf(mc);
        if (!x) {  // the headers are in; a body may follow
            x = new HttpServer::Exchange;
            x->request.method = method;
            x->request.path = url;
            if (c) x->request.peer = c->peer;
            MHD_get_connection_values(mc, MHD_HEADER_KIND, Header, &x->request);
            *exchange = x;
            return MHD_YES;
        }
        if (*uploadSize) {
            if (x->request.body.size() + *uploadSize > s.limits_.maxBodyBytes) x->tooLong = true;
            if (!x->tooLong) x->request.body.append(upload, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        if (x->ready) {  // a worker made the answer
            std::unique_ptr<HttpAnswer> a = std::move(x->ready);
            return s.Answer(mc, *x, *a) ? MHD_YES : MHD_NO;
        }
        if (x->waiting) return MHD_YES;
        if (c) c->answering = true;
        HttpAnswer a;
        if (x->tooLong) {
            a.status = 413;
        } else {
            try {
                a = s.routes_(x->request);
            } catch (const std::exception& e) {
                Log(s.name_ + ": " + x->request.path + " failed: " + e.what());
                a = HttpAnswer{};
                a.status = 500;
            }
        }
        if (!a.later) return s.Answer(mc, *x, a) ? MHD_YES : MHD_NO;
        x->waiting = true;
        MHD_suspend_connection(mc);
        {
            std::lock_guard<std::mutex> lock(s.jobsMutex_);
            s.jobs_.push_back([mc, x, later = std::move(a.later), name = s.name_, wake = s.wakeFd_] {
                auto made = std::make_unique<HttpAnswer>();
                try {
                    *made = later();
                } catch (const std::exception& e) {
                    Log(name + ": " + x->request.path + " failed: " + e.what());
                    made->status = 500;
                }
                made->later = nullptr;
                x->ready = std::move(made);
                MHD_resume_connection(mc);
                // The library's own signal does not reach an outside epoll loop: wake ours.
                uint64_t one = 1;
                (void)!write(wake, &one, sizeof one);
            });
        }
        s.jobsReady_.notify_one();
        return MHD_YES;
    }

    static void Completed(void*, MHD_Connection* mc, void** exchange, MHD_RequestTerminationCode) {
        delete static_cast<HttpServer::Exchange*>(*exchange);
        *exchange = nullptr;
        if (HttpServer::Conn* c = ConnOf(mc)) {
            c->answering = false;
            c->since = Clock::now();
        }
    }

    static void Logger(void*, const char* format, va_list ap) {
        if (!Verbose()) return;  // its lines are per connection: too many for a busy node
        char line[512];
        vsnprintf(line, sizeof line, format, ap);
        std::string text = line;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        Log("http library: " + text);
    }
};

std::string HttpRequest::Header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (strcasecmp(k.c_str(), name.c_str()) == 0) return v;
    return {};
}

HttpServer::HttpServer(std::string name, HttpLimits limits, HttpRoutes routes)
    : name_(std::move(name)), limits_(limits), routes_(std::move(routes)), share_(name_, limits.perAddress) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    std::string where = host + ":" + std::to_string(port);
    int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &res);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    int listenFd = -1;
    bool v6 = false;
    for (addrinfo* ai = res; ai && listenFd < 0; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, 1024) == 0) {
            listenFd = fd;
            v6 = ai->ai_family == AF_INET6;
        } else {
            error = "cannot listen for " + name_ + " on " + where + ": " + strerror(errno);
            close(fd);
        }
    }
    freeaddrinfo(res);
    if (listenFd < 0) return false;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&ss), &len);
    port_ = ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                                     : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);

    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG | (v6 ? MHD_USE_IPv6 : 0);
    daemon_ = MHD_start_daemon(
        flags, 0, HttpCallbacks::Accept, this, HttpCallbacks::Request, this, MHD_OPTION_LISTEN_SOCKET,
        listenFd, MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits_.maxConnections) + 1,
        // Each connection's buffer pool is touched whole: 16 KB (half the default) holds our
        // requests and answer headers with room to spare.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(16 * 1024), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(limits_.sendIdleSeconds), MHD_OPTION_NOTIFY_CONNECTION,
        HttpCallbacks::Connection, this, MHD_OPTION_NOTIFY_COMPLETED, HttpCallbacks::Completed, this,
        MHD_OPTION_EXTERNAL_LOGGER, HttpCallbacks::Logger, this, MHD_OPTION_END);
    if (!daemon_) {
        close(listenFd);
        error = "cannot start the " + name_ + " server on " + where;
        return false;
    }
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    stop_ = false;
    for (int i = 0; i < std::max(1, limits_.workers); ++i) workers_.emplace_back([this] { Work(); });
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void HttpServer::Stop() {
    if (!daemon_) return;
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        stop_ = true;
    }
    jobsReady_.notify_all();
    for (auto& w : workers_) w.join();  // they finish what is queued, which resumes those connections
    workers_.clear();
    uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    thread_.join();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    close(wakeFd_);
    wakeFd_ = -1;
}

void HttpServer::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(jobsMutex_);
            jobsReady_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void HttpServer::Loop() {
    const union MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    int epollFd = info ? info->epoll_fd : -1;
    auto lastSweep = Clock::now();
    for (;;) {
        MHD_UNSIGNED_LONG_LONG wait = 0;
        int ms = 250;
        if (MHD_get_timeout(daemon_, &wait) == MHD_YES)
            ms = static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(wait, 250));
        pollfd p[2] = {{epollFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(p, 2, ms) < 0 && errno != EINTR) {
            Log(name_ + ": poll failed: " + strerror(errno));
            return;
        }
        if (p[1].revents) {
            uint64_t count;
            (void)!read(wakeFd_, &count, sizeof count);
            std::lock_guard<std::mutex> lock(jobsMutex_);
            if (stop_) return;
        }
        MHD_run(daemon_);
        auto now = Clock::now();
        if (now - lastSweep >= std::chrono::milliseconds(250)) {
            lastSweep = now;
            Sweep();
        }
    }
}

// A request that has not arrived whole in time ends its connection: a client trickling its
// headers or sitting idle on keep-alive holds a socket, never the server.
void HttpServer::Sweep() {
    auto limit = std::chrono::seconds(limits_.requestSeconds);
    auto now = Clock::now();
    for (Conn* c : conns_) {
        if (c->answering || c->cut || now - c->since < limit || c->fd < 0) continue;
        c->cut = true;
        shutdown(c->fd, SHUT_RDWR);
        if (Verbose())
            Log(name_ + ": " + c->peer + " closed: no whole request in " +
                std::to_string(limits_.requestSeconds) + " s");
    }
}

bool HttpServer::Answer(MHD_Connection* mc, Exchange& x, const HttpAnswer& a) {
    int status = a.status;
    MHD_Response* r = nullptr;
    if (!a.file.empty() && status == 200) {
        int fd = open(a.file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) close(fd);
            status = 404;
            r = EmptyResponse();
        } else {
            uint64_t size = static_cast<uint64_t>(st.st_size);
            uint64_t first = 0, last = size ? size - 1 : 0;
            std::string range = x.request.Header("Range");
            int kind = range.empty() ? 0 : ResolveRange(range, size, first, last);
            if (kind == 416) {
                close(fd);
                status = 416;
                r = EmptyResponse();
                MHD_add_response_header(r, "Content-Range", ("bytes */" + std::to_string(size)).c_str());
            } else {
                if (kind == 206) status = 206;
                uint64_t length = kind == 206 ? last - first + 1 : size;
                // The library owns fd from here and sends it with sendfile.
                r = size ? MHD_create_response_from_fd_at_offset64(length, fd, static_cast<int64_t>(first))
                         : (close(fd), EmptyResponse());
                if (r && kind == 206)
                    MHD_add_response_header(r, "Content-Range",
                                            ("bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                             "/" + std::to_string(size))
                                                .c_str());
                if (r) {
                    MHD_add_response_header(r, "Accept-Ranges", "bytes");
                    MHD_add_response_header(r, "Content-Type", ContentType(a.file).c_str());
                    if (!a.cacheControl.empty())
                        MHD_add_response_header(r, "Cache-Control", a.cacheControl.c_str());
                }
            }
        }
    } else {
        r = MHD_create_response_from_buffer(a.body.size(), const_cast<char*>(a.body.data()),
                                            MHD_RESPMEM_MUST_COPY);
        if (r && !a.contentType.empty()) MHD_add_response_header(r, "Content-Type", a.contentType.c_str());
    }
    if (!r) return false;
    if (Verbose() || status >= 500)
        Log(name_ + ": " + x.request.peer + " " + x.request.method + " " + x.request.path + " " +
            std::to_string(status));
    MHD_Result ok = MHD_queue_response(mc, static_cast<unsigned>(status), r);
    MHD_destroy_response(r);
    return ok == MHD_YES;
}

HttpRoutes PictureRoutes(ImageCache& cache, std::function<std::shared_ptr<const Catalogue>()> catalogue) {
    return [&cache, catalogue = std::move(catalogue)](const HttpRequest& req) {
        HttpAnswer a;
        std::string key;
        Derived kind;
        if ((req.method != "GET" && req.method != "HEAD") || !MatchPicture(req.path, key, kind)) return a;
        auto cat = catalogue();
        const Picture* p = cat->ByKey(key);
        if (!p) return a;
        auto answer = [kind](const std::string& path) {
            HttpAnswer done;
            done.status = path.empty() ? 500 : 200;
            done.file = path;
            if (kind != Derived::kFull) done.cacheControl = "max-age=86400";
            return done;
        };
        std::string ready = cache.Ready(*p, kind);
        if (!ready.empty()) return answer(ready);
        // Making a picture takes a while: a worker does it, the server thread serves on.
        a.later = [&cache, cat, p, kind, answer] { return answer(cache.Ensure(*p, kind)); };
        return a;
    };
}

HttpRoutes AdminRoutes(AdminHooks hooks) {
    return [hooks = std::move(hooks)](const HttpRequest& req) {
        HttpAnswer a;
        bool known = req.method == "POST" && (req.path == "/admin/notice" || req.path == "/admin/rescan");
        std::string given = req.Header("X-Admin-Token");
        if (!known || !SameSecret(given, hooks.token)) {
            a.status = known ? 403 : 404;
            Log("admin: refused " + req.peer + " " + LogText(req.method, 16) + " " + LogText(req.path, 100) +
                ": " +
                (!known          ? "no such endpoint"
                 : given.empty() ? "no token"
                                 : "wrong token"));
            return a;
        }
        a.status = 200;
        a.contentType = "text/plain";
        Log("admin: " + req.peer + " " + req.path);
        if (req.path == "/admin/notice") {
            hooks.notice(sys::Utf8ToGbk(req.body));
            a.body = "ok\n";
            return a;
        }
        auto rescan = hooks.rescan;
        a.later = [rescan] {
            HttpAnswer done;
            done.status = 200;
            done.contentType = "text/plain";
            done.body = rescan() + "\n";
            return done;
        };
        return a;
    };
}

bool SameSecret(const std::string& given, const std::string& expected) {
    // Every byte of the expected text is looked at whatever the given one holds.
    unsigned diff = given.size() != expected.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        diff |= g ^ static_cast<unsigned char>(expected[i]);
    }
    return diff == 0 && !expected.empty();
}

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

}  // namespace node
