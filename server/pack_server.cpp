#include "pack_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "log.h"
#include "pack_frame.h"
#include "proxy_header.h"

namespace node {

struct PackServer::Conn {
    int fd = -1;
    uint64_t id = 0;
    std::string peer;
    std::string address;  // counted in share_; empty until the PROXY header named the client
    std::string proxyIn;  // PROXY header bytes received so far
    bool awaitingProxy = false;
    std::chrono::steady_clock::time_point connected;
    pack::Decoder decoder;
    std::string out;
    size_t outSent = 0;
    bool wantWrite = false;
    std::chrono::steady_clock::time_point lastAlive;
    Session session;
    bool closing = false;
    std::string closeWhy;

    explicit Conn(uint32_t maxBody) : decoder(pack::kDefaultFlag, maxBody) {}
};

namespace {

bool SetNonBlocking(int fd) {
    int fl = fcntl(fd, F_GETFL, 0);
    return fl >= 0 && fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0;
}

std::string PeerName(const sockaddr_storage& ss) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (ss.ss_family == AF_INET) {
        auto* a = reinterpret_cast<const sockaddr_in*>(&ss);
        inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
        port = ntohs(a->sin_port);
    } else if (ss.ss_family == AF_INET6) {
        auto* a = reinterpret_cast<const sockaddr_in6*>(&ss);
        inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
        port = ntohs(a->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

PackServer::PackServer(PackLimits limits, Handler handler)
    : limits_(std::move(limits)), handler_(std::move(handler)), share_("pack", limits_.maxPerAddress) {}

PackServer::~PackServer() { Stop(); }

bool PackServer::Start(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    std::string portText = std::to_string(port);
    int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), portText.c_str(), &hints, &res);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, 512) == 0) {
            listenFd_ = fd;
            break;
        }
        error = std::string("cannot listen on ") + host + ":" + portText + ": " + strerror(errno);
        close(fd);
    }
    freeaddrinfo(res);
    if (listenFd_ < 0) return false;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len);
    port_ = ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                                     : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    SetNonBlocking(listenFd_);
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0) {
        error = std::string("epoll: ") + strerror(errno);
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listenFd_;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
    ev.data.fd = wakeFd_;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void PackServer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    for (Conn* c : conns_) {
        if (!c) continue;
        if (!c->address.empty()) share_.Remove(c->address);
        close(c->fd);
        delete c;
    }
    conns_.clear();
    clientCount_ = 0;
    for (int* fd : {&listenFd_, &epollFd_, &wakeFd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void PackServer::Wake() {
    uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

void PackServer::Broadcast(std::string body) {
    {
        std::lock_guard<std::mutex> lock(broadcastMutex_);
        broadcasts_.push_back(std::move(body));
    }
    Wake();
}

void PackServer::Loop() {
    std::vector<epoll_event> events(256);
    auto lastSweep = std::chrono::steady_clock::now();
    while (!stop_) {
        int n = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), 500);
        if (n < 0 && errno != EINTR) {
            Log(std::string("pack: epoll_wait failed: ") + strerror(errno));
            break;
        }
        for (int i = 0; i < n; ++i) {
            int fd = events[i].data.fd;
            if (fd == listenFd_) {
                Accept();
                continue;
            }
            if (fd == wakeFd_) {
                uint64_t v;
                (void)!read(wakeFd_, &v, sizeof v);
                std::vector<std::string> todo;
                {
                    std::lock_guard<std::mutex> lock(broadcastMutex_);
                    todo.swap(broadcasts_);
                }
                for (const auto& body : todo) {
                    size_t sent = 0;
                    for (Conn* c : conns_)
                        if (c && !c->closing) {
                            Queue(*c, body);
                            ++sent;
                        }
                    Log("notice: sent to " + std::to_string(sent) + " clients");
                }
                continue;
            }
            if (fd < 0 || static_cast<size_t>(fd) >= conns_.size() || !conns_[fd]) continue;
            Conn& c = *conns_[fd];
            uint32_t e = events[i].events;
            if (e & EPOLLIN) ReadFrom(c);
            if (!c.closing && (e & EPOLLOUT)) FlushOut(c);
            if (!c.closing && (e & (EPOLLERR | EPOLLHUP)) && !(e & EPOLLIN)) {
                MarkClosing(c, "connection error");
            }
        }
        // Closing after the batch keeps fds stable while events for them may still be listed.
        auto now = std::chrono::steady_clock::now();
        bool sweep = now - lastSweep >= std::chrono::seconds(1);
        if (sweep) lastSweep = now;
        for (size_t i = 0; sweep && i < conns_.size(); ++i) {
            Conn* c = conns_[i];
            if (!c || c->closing) continue;
            if (c->awaitingProxy && now - c->connected > std::chrono::seconds(limits_.proxyHeaderSeconds))
                MarkClosing(
                    *c, "no PROXY protocol header in " + std::to_string(limits_.proxyHeaderSeconds) + " s");
            else if (now - c->lastAlive > std::chrono::seconds(limits_.clientTimeoutSeconds))
                MarkClosing(*c,
                            "silent for more than " + std::to_string(limits_.clientTimeoutSeconds) + " s");
        }
        std::vector<int> closing;
        closing.swap(closing_);
        for (int fd : closing) Close(fd);
    }
}

void PackServer::Accept() {
    for (;;) {
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            if (errno == EMFILE || errno == ENFILE) Log("pack: out of file descriptors; not accepting");
            return;
        }
        std::string peer = PeerName(ss);
        std::string address = AddressText(reinterpret_cast<const sockaddr*>(&ss));
        if (clientCount_ >= static_cast<size_t>(limits_.maxClients)) {
            share_.Refused(address,
                           std::to_string(limits_.maxClients) + " clients already, the most this node takes");
            close(fd);
            continue;
        }
        bool viaProxy =
            std::find(limits_.proxyFrom.begin(), limits_.proxyFrom.end(), address) != limits_.proxyFrom.end();
        if (!viaProxy && !share_.Allows(address)) {
            share_.Refused(address, std::to_string(limits_.maxPerAddress) + " connections from it already");
            close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto* c = new Conn(static_cast<uint32_t>(limits_.maxRequestBytes));
        c->fd = fd;
        c->id = nextId_++;
        c->peer = peer;
        c->lastAlive = c->connected = std::chrono::steady_clock::now();
        c->awaitingProxy = viaProxy;
        if (!viaProxy) {
            c->address = address;
            share_.Add(address);
        }
        if (conns_.size() <= static_cast<size_t>(fd)) conns_.resize(fd + 1, nullptr);
        conns_[fd] = c;
        ++clientCount_;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev);
        if (Verbose() || !viaProxy) Log("pack: #" + std::to_string(c->id) + " connected from " + peer);
    }
}

// Reads the PROXY header at the start of a connection from a load balancer. Returns false
// when the connection is to end; `used` tells how many of the bytes were header.
bool PackServer::ReadProxyHeader(Conn& c, const uint8_t* data, size_t len, size_t& used) {
    size_t before = c.proxyIn.size();
    c.proxyIn.append(reinterpret_cast<const char*>(data), len);
    size_t consumed = 0;
    std::string source;
    switch (ParseProxyHeader(c.proxyIn, consumed, source)) {
        case ProxyParse::kNeedMore:
            used = len;
            return true;
        case ProxyParse::kBad:
            // Most likely the balancer is not set to send the header: say so, once a minute.
            share_.Refused(c.peer.substr(0, c.peer.rfind(':')),
                           "no PROXY protocol header (is proxy_protocol_from right, and send-proxy set?)");
            MarkClosing(c, "no PROXY protocol header from the load balancer");
            return false;
        case ProxyParse::kDone:
            break;
    }
    used = consumed - before;
    c.proxyIn.clear();
    c.proxyIn.shrink_to_fit();
    c.awaitingProxy = false;
    std::string address = source.empty() ? c.peer.substr(0, c.peer.rfind(':')) : source;
    if (!share_.Allows(address)) {
        share_.Refused(address, std::to_string(limits_.maxPerAddress) + " connections from it already");
        MarkClosing(c, "refused: share of " + address + " taken");
        return false;
    }
    c.address = address;
    share_.Add(address);
    if (!source.empty()) c.peer = source + " via " + c.peer;
    Log("pack: #" + std::to_string(c.id) + " connected from " + c.peer);
    return true;
}

void PackServer::ReadFrom(Conn& c) {
    // One small read per wake-up, and the rest waits for the next turn: what a read holds is
    // answered at once, so the bound is on the work one client gets before the others. 4 KiB
    // is about a hundred small requests; 128 KiB at a time let one client's flood of list
    // requests hold every other client for seconds, long enough to drop them as silent.
    uint8_t buf[4096];
    ssize_t n;
    do {
        n = recv(c.fd, buf, sizeof buf, 0);
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        MarkClosing(c, "closed by client");
        return;
    }
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            MarkClosing(c, std::string("receive failed: ") + strerror(errno));
        return;
    }
    const uint8_t* data = buf;
    size_t len = static_cast<size_t>(n);
    if (c.awaitingProxy) {
        size_t used = 0;
        if (!ReadProxyHeader(c, data, len, used)) return;
        data += used;
        len -= used;
    }
    bool ok = c.decoder.Feed(data, len, [&](const uint8_t* body, size_t len) {
        if (c.closing) return;
        c.lastAlive = std::chrono::steady_clock::now();
        std::string what;
        std::optional<std::string> reply;
        try {
            reply = handler_(std::string_view(reinterpret_cast<const char*>(body), len), c.session, &what);
        } catch (const std::exception& e) {
            Log("pack: #" + std::to_string(c.id) + " request failed: " + e.what());
            return;
        }
        if (Verbose() || what.compare(0, 8, "unknown ") == 0)
            Log("pack: #" + std::to_string(c.id) + " " + LogText(what) + (reply ? " answered" : " no reply"));
        if (reply) Queue(c, *reply);
    });
    if (!ok)
        MarkClosing(c, "bad packet header (wrong flag or longer than " +
                           std::to_string(limits_.maxRequestBytes) + " bytes)");
}

void PackServer::Queue(Conn& c, std::string_view body) {
    if (c.closing) return;
    if (body.size() > pack::kDefaultMaxBody) {
        Log("pack: #" + std::to_string(c.id) + " reply too long for one packet; dropped");
        return;
    }
    if (c.out.size() - c.outSent + body.size() + pack::kHeaderSize > limits_.maxPendingReplyBytes) {
        MarkClosing(c, "not reading its replies");
        return;
    }
    if (c.outSent > 0 && c.outSent == c.out.size()) {
        c.out.clear();
        c.outSent = 0;
    }
    c.out += pack::Encode(body);
    FlushOut(c);
}

void PackServer::FlushOut(Conn& c) {
    while (c.outSent < c.out.size()) {
        ssize_t n = send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            MarkClosing(c, std::string("send failed: ") + strerror(errno));
            return;
        }
        c.outSent += static_cast<size_t>(n);
    }
    if (c.outSent == c.out.size()) {
        c.out.clear();
        c.outSent = 0;
    } else if (c.outSent > 65536) {
        c.out.erase(0, c.outSent);
        c.outSent = 0;
    }
    bool want = !c.out.empty();
    if (want != c.wantWrite) {
        epoll_event ev{};
        ev.events = want ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
        ev.data.fd = c.fd;
        epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &ev);
        c.wantWrite = want;
    }
}

void PackServer::MarkClosing(Conn& c, const std::string& why) {
    if (c.closing) return;
    c.closing = true;
    c.closeWhy = why;
    closing_.push_back(c.fd);
}

void PackServer::Close(int fd) {
    Conn* c = conns_[fd];
    const std::string& why = c->closeWhy;
    conns_[fd] = nullptr;
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    --clientCount_;
    if (!c->address.empty()) share_.Remove(c->address);
    if (Verbose() || !c->address.empty())
        Log("pack: #" + std::to_string(c->id) + " " + c->peer + " disconnected: " + why);
    delete c;
}

}  // namespace node
