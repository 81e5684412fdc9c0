// Load and preview benchmark of the node.
//
//   node_bench [--clients 500] [--seconds 30] [--catalogue DIR] [--node PATH]
//   node_bench --crowd [--idle 10000] [--clients 500] [--think-ms 200] [--seconds 20] [--rounds 3]
//              [--catalogue DIR | --cluster-env DIR/cluster.env]
//   node_bench --web-crowd [--fetchers 50] [--slow 64] [--idle 1000] [--seconds 20] [--rounds 3]
//              [--catalogue DIR]
//
// --crowd: the active clients browse (a request, its reply, a pause of up to --think-ms) alone,
// then beside a crowd of idle clients that each send
// their keep-alive "&4" every 1-60 s as the program does; prints both p99s, their ratio, the
// node's RSS and its memory per idle client. --web-crowd: clients fetch previews over HTTP
// alone, then beside slow clients trickling headers a byte every 0.5 s and idle connections
// (both reconnecting whenever the node ends them); prints both p99s and their ratio. Each round
// measures alone and beside, so both see the same machine; medians and ranges close. Clients
// come from many 127.x.y.z addresses, as the node's per-address shares expect.
// --cluster-env: --crowd against a running cluster (server/deploy/cluster.sh) instead of a node
// of its own: the clients go through HAProxy's front port, the memory is both nodes' (and
// HAProxy's), and HAProxy's stats say how the crowd spread over the nodes.
//
// 1. Starts miaolan-node on free ports over the catalogue (default build/demo-catalogue) and
//    lets the clients ask for list pages and details as fast as replies come back; prints
//    replies per second, p50/p99 latency and the node's resident memory.
// 2. Makes the 296x156 preview of every picture at least 3840 px wide, once in-process as the
//    node does and once with `vipsthumbnail` on the same files, and prints the ratio.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <queue>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "image_tools.h"
#include "node_config.h"
#include "pack_frame.h"
#include "sys/text.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kSep = "(＆)";

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// A loopback source address for client i of a group: `perAddress` clients share one.
uint32_t Source(int group, int i, int perAddress) {
    int a = i / perAddress;
    return (127u << 24) | (static_cast<uint32_t>(group) << 16) | (static_cast<uint32_t>(a / 250) << 8) |
           static_cast<uint32_t>(a % 250 + 1);
}

int ConnectFrom(uint32_t source, int port, bool nonBlocking = false) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(source);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (nonBlocking) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    return fd;
}

// One blocking request and its reply (set-up only).
std::string AskBlocking(int fd, const std::string& body) {
    std::string out = pack::Encode(body);
    send(fd, out.data(), out.size(), MSG_NOSIGNAL);
    pack::Decoder d;
    std::string reply;
    bool got = false;
    while (!got) {
        uint8_t buf[65536];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return {};
        d.Feed(buf, static_cast<size_t>(n), [&](const uint8_t* b, size_t len) {
            reply.assign(reinterpret_cast<const char*>(b), len);
            got = true;
        });
    }
    return reply;
}

long RssKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// CPU seconds the process has used (user + system).
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14) ticks += std::atof(field.c_str());
    return ticks / sysconf(_SC_CLK_TCK);
}

struct Client {
    int fd = -1;
    pack::Decoder decoder;
    Clock::time_point sent;
    size_t step = 0;
};

struct Work {
    std::vector<std::string> requests;  // prepared bodies, cycled through
};

void RunClients(int port, int count, Clock::time_point end, const Work& work, unsigned seed,
                std::vector<double>& latenciesUs, std::atomic<long>& errors, int group = 0, int thinkMs = 0) {
    // With a think time each client pauses 0..thinkMs after a reply, as a person browsing does.
    using Due = std::pair<Clock::time_point, size_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> later;
    int ep = epoll_create1(0);
    std::vector<Client> clients(count);
    std::mt19937 rng(seed);
    auto sendNext = [&](Client& c) {
        const std::string& body = work.requests[(c.step++ + rng()) % work.requests.size()];
        std::string out = pack::Encode(body);
        c.sent = Clock::now();
        if (send(c.fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) ++errors;
    };
    for (int i = 0; i < count; ++i) {
        clients[i].fd = group ? ConnectFrom(Source(group, i, 10), port) : Connect(port);
        if (clients[i].fd < 0) {
            ++errors;
            continue;
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, clients[i].fd, &ev);
    }
    for (auto& c : clients)
        if (c.fd >= 0) sendNext(c);
    std::vector<epoll_event> events(256);
    int open = count;
    while (open > 0) {
        int wait = 100;
        if (!later.empty())
            wait = static_cast<int>(std::clamp<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(later.top().first - Clock::now())
                        .count() +
                    1,
                0, 100));
        int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), wait);
        auto now = Clock::now();
        while (!later.empty() && later.top().first <= now) {
            sendNext(clients[later.top().second]);
            later.pop();
        }
        for (int i = 0; i < n; ++i) {
            Client& c = clients[events[i].data.u32];
            uint8_t buf[65536];
            ssize_t got = recv(c.fd, buf, sizeof buf, 0);
            if (got <= 0) {
                ++errors;
                epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                close(c.fd);
                c.fd = -1;
                --open;
                continue;
            }
            int replies = 0;
            c.decoder.Feed(buf, static_cast<size_t>(got), [&](const uint8_t*, size_t) { ++replies; });
            for (int r = 0; r < replies; ++r)
                latenciesUs.push_back(std::chrono::duration<double, std::micro>(now - c.sent).count());
            if (replies == 0) continue;
            if (now < end && thinkMs > 0) {
                size_t index = events[i].data.u32;
                later.push({now + std::chrono::milliseconds(rng() % (thinkMs + 1)), index});
            } else if (now < end) {
                sendNext(c);
            } else {
                epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                close(c.fd);
                c.fd = -1;
                --open;
            }
        }
        if (Clock::now() > end + std::chrono::seconds(10)) break;  // a lost reply must not hang the bench
    }
    for (auto& c : clients)
        if (c.fd >= 0) close(c.fd);
    close(ep);
}

double Percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    size_t k = static_cast<size_t>(p * (v.size() - 1));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

// Clients that stay connected and only send what the program sends while idle: "&4" every
// 1-60 s, each at its own period. Whatever the node sends them is read and dropped.
class IdleCrowd {
  public:
    // Connects `count` clients from group `group` (40 per address); false when some failed.
    bool Connect(int port, int count, int group) {
        for (int i = 0; i < count; ++i) {
            int fd = ConnectFrom(Source(group, i, 40), port, true);
            if (fd < 0) return false;
            fds_.push_back(fd);
        }
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : fds_) close(fd);
        fds_.clear();
    }
    long dropped() const { return dropped_; }
    long sent() const { return sent_; }

  private:
    void Run() {
        int ep = epoll_create1(0);
        std::mt19937 rng(4);
        using Due = std::pair<Clock::time_point, size_t>;
        std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due;
        std::vector<std::chrono::milliseconds> period(fds_.size());
        auto now = Clock::now();
        for (size_t i = 0; i < fds_.size(); ++i) {
            period[i] = std::chrono::milliseconds(1000 + rng() % 59001);
            due.push({now + std::chrono::milliseconds(rng() % period[i].count()), i});
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = i;
            epoll_ctl(ep, EPOLL_CTL_ADD, fds_[i], &ev);
        }
        const std::string keepAlive = pack::Encode("&4");
        std::vector<epoll_event> events(256);
        while (!stop_) {
            // Rounded up: rounded down, the last millisecond before each keep-alive was a busy
            // loop, and 10,000 clients' keep-alives come about every millisecond, so the crowd
            // took most of a core from the clients it is measured beside.
            int wait = 100;
            if (!due.empty())
                wait = static_cast<int>(std::clamp<long>(
                    std::chrono::ceil<std::chrono::milliseconds>(due.top().first - Clock::now()).count(), 0,
                    100));
            int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), wait);
            for (int k = 0; k < n; ++k) {
                size_t i = events[k].data.u64;
                char buf[4096];
                ssize_t got = recv(fds_[i], buf, sizeof buf, 0);
                if (got == 0 || (got < 0 && errno != EAGAIN)) {
                    ++dropped_;
                    epoll_ctl(ep, EPOLL_CTL_DEL, fds_[i], nullptr);
                }
            }
            now = Clock::now();
            while (!due.empty() && due.top().first <= now) {
                size_t i = due.top().second;
                due.pop();
                if (send(fds_[i], keepAlive.data(), keepAlive.size(), MSG_NOSIGNAL) > 0) ++sent_;
                due.push({now + period[i], i});
            }
        }
        close(ep);
    }
    std::vector<int> fds_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<long> dropped_{0}, sent_{0};
};

// Web clients that hold connections without finishing a request: `slow` ones trickle header
// bytes every 0.5 s, `idle` ones say nothing. Whenever the node ends one, it comes back.
class WebNuisance {
  public:
    void Start(int port, int slow, int idle) {
        port_ = port;
        slots_.resize(static_cast<size_t>(slow + idle));
        for (size_t i = 0; i < slots_.size(); ++i) {
            slots_[i].slow = static_cast<int>(i) < slow;
            slots_[i].source = slots_[i].slow ? Source(30, static_cast<int>(i), 1)
                                              : Source(31, static_cast<int>(i) - slow, 20);
        }
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    long reconnects() const { return reconnects_; }
    long open() const { return open_; }

  private:
    struct Slot {
        int fd = -1;
        bool slow = false;
        uint32_t source = 0;
        size_t sentBytes = 0;
    };
    void Run() {
        int ep = epoll_create1(0);
        auto open = [&](size_t i) {
            Slot& s = slots_[i];
            s.fd = ConnectFrom(s.source, port_, true);
            s.sentBytes = 0;
            if (s.fd < 0) return;
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLRDHUP;
            ev.data.u64 = i;
            epoll_ctl(ep, EPOLL_CTL_ADD, s.fd, &ev);
        };
        for (size_t i = 0; i < slots_.size(); ++i) open(i);
        const std::string header =
            "GET /preview/0123456789abcdef.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: ";
        auto nextTrickle = Clock::now();
        std::vector<epoll_event> events(256);
        while (!stop_) {
            int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 50);
            for (int k = 0; k < n; ++k) {
                Slot& s = slots_[events[k].data.u64];
                char buf[4096];
                ssize_t got = s.fd < 0 ? 0 : recv(s.fd, buf, sizeof buf, 0);
                if (got > 0 || (got < 0 && errno == EAGAIN)) continue;
                if (s.fd >= 0) {
                    epoll_ctl(ep, EPOLL_CTL_DEL, s.fd, nullptr);
                    close(s.fd);
                }
                ++reconnects_;
                open(events[k].data.u64);
            }
            long openNow = 0;
            for (auto& s : slots_) openNow += s.fd >= 0;
            open_ = openNow;
            if (Clock::now() >= nextTrickle) {
                nextTrickle += std::chrono::milliseconds(500);
                for (size_t i = 0; i < slots_.size(); ++i) {
                    Slot& s = slots_[i];
                    if (!s.slow) continue;
                    if (s.fd < 0) {
                        open(i);
                        continue;
                    }
                    char b = s.sentBytes < header.size() ? header[s.sentBytes] : 'x';
                    if (send(s.fd, &b, 1, MSG_NOSIGNAL) == 1) ++s.sentBytes;
                }
            }
        }
        for (auto& s : slots_)
            if (s.fd >= 0) close(s.fd);
        close(ep);
    }
    int port_ = 0;
    std::vector<Slot> slots_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<long> reconnects_{0}, open_{0};
};

// `count` keep-alive connections fetching previews in turn until `end`; latencies of whole
// answers in microseconds.
void FetchPreviews(int port, int count, Clock::time_point end, const std::vector<std::string>& paths,
                   std::vector<double>& latenciesUs, std::atomic<long>& errors) {
    struct Fetcher {
        int fd = -1;
        size_t next = 0;
        std::string in;
        Clock::time_point sent;
    };
    int ep = epoll_create1(0);
    std::vector<Fetcher> fs(static_cast<size_t>(count));
    auto ask = [&](size_t i) {
        Fetcher& f = fs[i];
        if (f.fd < 0) {
            f.fd = ConnectFrom(Source(32, static_cast<int>(i), 1), port);
            if (f.fd < 0) {
                ++errors;
                return;
            }
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = i;
            epoll_ctl(ep, EPOLL_CTL_ADD, f.fd, &ev);
        }
        std::string req =
            "GET " + paths[(f.next++ + i) % paths.size()] + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        f.in.clear();
        f.sent = Clock::now();
        if (send(f.fd, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size())) ++errors;
    };
    for (size_t i = 0; i < fs.size(); ++i) ask(i);
    std::vector<epoll_event> events(64);
    size_t active = fs.size();
    while (active > 0 && Clock::now() < end + std::chrono::seconds(10)) {
        int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 100);
        for (int k = 0; k < n; ++k) {
            size_t i = events[k].data.u64;
            Fetcher& f = fs[i];
            char buf[65536];
            ssize_t got = recv(f.fd, buf, sizeof buf, 0);
            if (got <= 0) {  // the node ended a connection it should have kept: count it, reconnect
                ++errors;
                epoll_ctl(ep, EPOLL_CTL_DEL, f.fd, nullptr);
                close(f.fd);
                f.fd = -1;
                if (Clock::now() < end) {
                    ask(i);
                } else {
                    --active;
                }
                continue;
            }
            f.in.append(buf, static_cast<size_t>(got));
            size_t head = f.in.find("\r\n\r\n");
            if (head == std::string::npos) continue;
            size_t cl = f.in.find("Content-Length: ");
            size_t length = cl < head ? std::strtoul(f.in.c_str() + cl + 16, nullptr, 10) : 0;
            if (f.in.size() < head + 4 + length) continue;
            if (f.in.compare(0, 12, "HTTP/1.1 200") != 0) ++errors;
            latenciesUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - f.sent).count());
            if (Clock::now() < end) {
                ask(i);
            } else {
                epoll_ctl(ep, EPOLL_CTL_DEL, f.fd, nullptr);
                close(f.fd);
                f.fd = -1;
                --active;
            }
        }
    }
    for (auto& f : fs)
        if (f.fd >= 0) close(f.fd);
    close(ep);
}

struct NodeRun {
    pid_t pid = -1;
    int packPort = 0, httpPort = 0;
    std::string log;
};

NodeRun StartNode(const std::string& nodePath, const std::string& catalogue, const fs::path& work,
                  const std::string& conf) {
    NodeRun r;
    fs::create_directories(work);
    r.packPort = FreePort();
    r.httpPort = FreePort();
    std::ofstream(work / "node.conf") << conf;
    std::string listen = "127.0.0.1:" + std::to_string(r.packPort),
                http = "127.0.0.1:" + std::to_string(r.httpPort);
    std::string confPath = (work / "node.conf").string(), cachePath = (work / "cache").string();
    r.log = (work / "node.log").string();
    r.pid = fork();
    if (r.pid == 0) {
        freopen(r.log.c_str(), "w", stderr);
        execl(nodePath.c_str(), nodePath.c_str(), "--config", confPath.c_str(), "--listen", listen.c_str(),
              "--http", http.c_str(), "--cache", cachePath.c_str(), catalogue.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return r;
}

int WaitForNode(const NodeRun& r) {
    for (int i = 0; i < 200; ++i) {
        int fd = Connect(r.packPort);
        if (fd >= 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "node_bench: node did not start (log %s)\n", r.log.c_str());
    kill(r.pid, SIGTERM);
    return -1;
}

void StopNode(const NodeRun& r) {
    kill(r.pid, SIGTERM);
    int status = 0;
    waitpid(r.pid, &status, 0);
}

// List and detail requests of every category, and the preview paths the lists name.
Work BuildWork(int probe, std::vector<std::string>* previews = nullptr) {
    Work w;
    for (const auto& cat : node::CategoryNames()) {
        std::string list =
            AskBlocking(probe, "&获取" + kSep + cat + kSep + "下载最多" + kSep + "1" + kSep + "0" + kSep);
        auto f = sys::Split(list, kSep);
        w.requests.push_back("&获取" + kSep + cat + kSep + "下载最多" + kSep + "1" + kSep + kSep + kSep);
        if (f.size() >= 5)
            for (const auto& p : sys::Split(f[4], "[a]")) {
                w.requests.push_back("&详细" + kSep + cat + kSep + p);
                if (previews && !p.empty()) previews->push_back(p);
            }
    }
    return w;
}

struct Phase {
    size_t replies = 0;
    double p50 = 0, p99 = 0;
    long errors = 0;
};

Phase Browse(int port, int clients, double seconds, const Work& w, int thinkMs) {
    int threads = 2;
    std::vector<std::vector<double>> lat(threads);
    std::atomic<long> errors{0};
    auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            RunClients(port, clients / threads + (t < clients % threads), end, w, 1629 + t, lat[t], errors,
                       1 + t, thinkMs);
        });
    for (auto& th : pool) th.join();
    std::vector<double> all;
    for (auto& v : lat) all.insert(all.end(), v.begin(), v.end());
    Phase p;
    p.replies = all.size();
    p.p50 = Percentile(all, 0.50) / 1000;
    p.p99 = Percentile(all, 0.99) / 1000;
    p.errors = errors;
    return p;
}

void RaiseOwnFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

std::string Spread(std::vector<double> v, const char* format) {
    std::sort(v.begin(), v.end());
    char buf[128];
    std::string f = std::string("median ") + format + " (" + format + " .. " + format + ")";
    std::snprintf(buf, sizeof buf, f.c_str(), v[v.size() / 2], v.front(), v.back());
    return buf;
}

// KEY=VALUE lines of a cluster.env (values may be in double quotes).
std::map<std::string, std::string> ReadEnvFile(const std::string& path) {
    std::map<std::string, std::string> env;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        env[line.substr(0, eq)] = value;
    }
    return env;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Current sessions per server of the backend "nodes", from each of HAProxy's stats sockets.
std::vector<std::map<std::string, long>> SessionsPerNode(const std::vector<std::string>& sockets) {
    std::vector<std::map<std::string, long>> all;
    for (const auto& path : sockets) {
        auto& out = all.emplace_back();
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (fd < 0 || path.size() >= sizeof a.sun_path) {
            if (fd >= 0) close(fd);
            continue;
        }
        path.copy(a.sun_path, path.size());
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            continue;
        }
        std::string csv = "show stat\n";
        (void)!write(fd, csv.data(), csv.size());
        csv.clear();
        char buf[4096];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) csv.append(buf, static_cast<size_t>(n));
        close(fd);
        std::istringstream lines(csv);
        std::string line;
        while (std::getline(lines, line)) {
            auto f = sys::Split(line, ",");  // pxname,svname,qcur,qmax,scur,...
            if (f.size() > 4 && f[0] == "nodes" && f[1] != "BACKEND") out[f[1]] += std::atol(f[4].c_str());
        }
    }
    return all;
}

// "node1 5000, node2 5000 (HAProxy processes 4990 + 5010)"
std::string SessionSpread(const std::vector<std::string>& sockets) {
    std::map<std::string, long> perNode;
    std::string perProcess;
    for (const auto& process : SessionsPerNode(sockets)) {
        long total = 0;
        for (const auto& [server, sessions] : process) {
            perNode[server] += sessions;
            total += sessions;
        }
        perProcess += (perProcess.empty() ? "" : " + ") + std::to_string(total);
    }
    std::string out;
    for (const auto& [server, sessions] : perNode)
        out += (out.empty() ? "" : ", ") + server + " " + std::to_string(sessions);
    return out.empty() ? "unknown" : out + " (HAProxy processes " + perProcess + ")";
}

// Where --crowd sends its clients: a node it starts itself, or a cluster that cluster.sh
// started (its front port, its nodes' pids for their memory, HAProxy's pids and sockets).
struct CrowdTarget {
    int port = 0;
    std::vector<pid_t> nodes, proxies;
    std::vector<std::string> statsSockets;
    bool cluster = false;
};

long SumRssKb(const std::vector<pid_t>& pids) {
    long sum = 0;
    for (pid_t p : pids) sum += std::max(0L, RssKb(p, "VmRSS:"));
    return sum;
}

double SumCpuSeconds(const std::vector<pid_t>& pids) {
    double sum = 0;
    for (pid_t p : pids) sum += CpuSeconds(p);
    return sum;
}

std::string EachRssKb(const std::vector<pid_t>& pids) {
    std::string out;
    for (pid_t p : pids) out += (out.empty() ? "" : " + ") + std::to_string(RssKb(p, "VmRSS:"));
    return out;
}

// Each round browses alone, then beside the crowd, so both see the same machine.
int CrowdMain(const std::string& nodePath, const std::string& catalogue, const std::string& clusterEnv,
              int active, int idle, double seconds, int thinkMs, int rounds) {
    RaiseOwnFileLimit();
    fs::path work = fs::temp_directory_path() / ("miaolan-node-crowd-" + std::to_string(getpid()));
    NodeRun node;
    CrowdTarget target;
    int probe = -1;
    if (clusterEnv.empty()) {
        node = StartNode(nodePath, catalogue, work, "pregenerate = false\n");
        probe = WaitForNode(node);
        if (probe < 0) return 1;
        target.port = node.packPort;
        target.nodes = {node.pid};
    } else {
        auto env = ReadEnvFile(clusterEnv);
        target.cluster = true;
        target.port = std::atoi(env["FRONT_PORT"].c_str());
        for (const char* key : {"NODE1_PID", "NODE2_PID"})
            if (std::atoi(env[key].c_str()) > 0) target.nodes.push_back(std::atoi(env[key].c_str()));
        for (const auto& p : Words(env["HAPROXY_PIDS"])) target.proxies.push_back(std::atoi(p.c_str()));
        target.statsSockets =
            Words(env.count("HAPROXY_SOCKETS") ? env["HAPROXY_SOCKETS"] : env["HAPROXY_SOCKET"]);
        if (target.port <= 0 || target.nodes.size() != 2) {
            std::fprintf(stderr, "node_bench: %s names no FRONT_PORT and two node pids\n",
                         clusterEnv.c_str());
            return 1;
        }
        probe = Connect(target.port);
        if (probe < 0) {
            std::fprintf(stderr, "node_bench: nothing answers on 127.0.0.1:%d\n", target.port);
            return 1;
        }
    }
    Work w = BuildWork(probe);
    close(probe);
    if (w.requests.size() <= node::CategoryNames().size()) {  // no list page named a picture
        std::fprintf(stderr, "node_bench: the node answered no list page\n");
        if (!target.cluster) StopNode(node);
        return 1;
    }
    const char* who = target.cluster ? "nodes" : "node";
    std::printf(
        "crowd: %d rounds of %d active clients (a pause of 0-%d ms after each reply) for %.0f s alone, then "
        "beside %d idle ones%s\n",
        rounds, active, thinkMs, seconds, idle,
        target.cluster ? (", through HAProxy (" + std::to_string(target.proxies.size()) +
                          " process(es)) on 127.0.0.1:" + std::to_string(target.port) + " to 2 nodes")
                             .c_str()
                       : "");
    std::fflush(stdout);
    std::vector<double> ratios, aloneP99, besideP99, perIdle, rssPeak, proxyPerIdle;
    // Memory per idle client counts from before the first crowd: what a crowd took and let go
    // stays with the process (the allocator keeps it), so later rounds start higher.
    long rssBase = 0, proxyBase = 0;
    for (int r = 0; r < rounds; ++r) {
        double cpu0 = SumCpuSeconds(target.nodes), proxyCpu0 = SumCpuSeconds(target.proxies);
        Phase alone = Browse(target.port, active, seconds, w, thinkMs);
        double cpuAlone = SumCpuSeconds(target.nodes) - cpu0;
        double proxyCpuAlone = SumCpuSeconds(target.proxies) - proxyCpu0;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        long rssBefore = SumRssKb(target.nodes), proxyBefore = SumRssKb(target.proxies);
        if (r == 0) rssBase = rssBefore, proxyBase = proxyBefore;
        IdleCrowd crowd;
        auto t0 = Clock::now();
        if (!crowd.Connect(target.port, idle, 10)) {
            std::fprintf(stderr, "node_bench: could not connect every idle client (open-file limit?)\n");
            crowd.Stop();
            if (!target.cluster) StopNode(node);
            return 1;
        }
        double connectS = std::chrono::duration<double>(Clock::now() - t0).count();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        long rssIdle = SumRssKb(target.nodes), proxyIdle = SumRssKb(target.proxies);
        std::string each = EachRssKb(target.nodes);
        std::string spread = SessionSpread(target.statsSockets);
        cpu0 = SumCpuSeconds(target.nodes);
        proxyCpu0 = SumCpuSeconds(target.proxies);
        Phase beside = Browse(target.port, active, seconds, w, thinkMs);
        double cpuBeside = SumCpuSeconds(target.nodes) - cpu0;
        double proxyCpuBeside = SumCpuSeconds(target.proxies) - proxyCpu0;
        long rssAfter = SumRssKb(target.nodes);
        long dropped = crowd.dropped(), keepAlives = crowd.sent();
        crowd.Stop();
        std::printf(
            "crowd: round %d: alone %zu replies p50 %.2f ms p99 %.2f ms; beside %zu replies p50 %.2f ms p99 "
            "%.2f ms; ratio %.2f; errors %ld/%ld; %d idle connected in %.1f s, %ld keep-alives, %ld dropped; "
            "%s RSS %ld KB before, %ld KB with the crowd, %ld KB after; %s CPU %.1f s alone, %.1f s "
            "beside\n",
            r + 1, alone.replies, alone.p50, alone.p99, beside.replies, beside.p50, beside.p99,
            alone.p99 > 0 ? beside.p99 / alone.p99 : 0.0, alone.errors, beside.errors, idle, connectS,
            keepAlives, dropped, who, rssBefore, rssIdle, rssAfter, who, cpuAlone, cpuBeside);
        if (target.cluster)
            std::printf(
                "crowd: round %d: with the crowd: nodes' RSS %s KB; HAProxy RSS %ld KB before, %ld KB with "
                "the crowd; HAProxy CPU %.1f s alone, %.1f s beside; sessions per node (HAProxy) %s\n",
                r + 1, each.c_str(), proxyBefore, proxyIdle, proxyCpuAlone, proxyCpuBeside, spread.c_str());
        std::fflush(stdout);
        ratios.push_back(alone.p99 > 0 ? beside.p99 / alone.p99 : 0.0);
        aloneP99.push_back(alone.p99);
        besideP99.push_back(beside.p99);
        perIdle.push_back(static_cast<double>(rssIdle - rssBase) / idle);
        proxyPerIdle.push_back(static_cast<double>(proxyIdle - proxyBase) / idle);
        rssPeak.push_back(std::max(rssIdle, rssAfter) / 1024.0);
        std::this_thread::sleep_for(std::chrono::seconds(2));  // the node lets the crowd go
    }
    if (!target.cluster) StopNode(node);
    std::printf("crowd: p99 alone %s ms; beside the crowd %s ms (goal < 20 ms)\n",
                Spread(aloneP99, "%.2f").c_str(), Spread(besideP99, "%.2f").c_str());
    std::printf("crowd: p99 ratio beside/alone %s (goal <= 1.5)\n", Spread(ratios, "%.2f").c_str());
    if (target.cluster) {
        std::printf(
            "crowd: both nodes' RSS together with the crowd %s MB (goal < 200 MB a node); memory per idle "
            "client in the nodes %s KB\n",
            Spread(rssPeak, "%.1f").c_str(), Spread(perIdle, "%.2f").c_str());
        std::printf("crowd: memory per idle client in HAProxy %s KB\n", Spread(proxyPerIdle, "%.2f").c_str());
    } else {
        std::printf("crowd: node RSS with the crowd %s MB (goal < 200 MB); memory per idle client %s KB\n",
                    Spread(rssPeak, "%.1f").c_str(), Spread(perIdle, "%.2f").c_str());
    }
    fs::remove_all(work);
    return 0;
}

int WebCrowdMain(const std::string& nodePath, const std::string& catalogue, int fetchers, int slow, int idle,
                 double seconds, int rounds) {
    RaiseOwnFileLimit();
    fs::path work = fs::temp_directory_path() / ("miaolan-node-web-" + std::to_string(getpid()));
    NodeRun node = StartNode(nodePath, catalogue, work, "pregenerate = true\n");
    int probe = WaitForNode(node);
    if (probe < 0) return 1;
    std::vector<std::string> previews;
    BuildWork(probe, &previews);
    close(probe);
    if (previews.empty()) {
        std::fprintf(stderr, "node_bench: the catalogue has no pictures\n");
        StopNode(node);
        return 1;
    }
    auto run = [&](double s) {
        std::vector<double> lat;
        std::atomic<long> errors{0};
        FetchPreviews(node.httpPort, fetchers,
                      Clock::now() + std::chrono::milliseconds(static_cast<long>(s * 1000)), previews, lat,
                      errors);
        Phase p;
        p.replies = lat.size();
        p.p50 = Percentile(lat, 0.5) / 1000;
        p.p99 = Percentile(lat, 0.99) / 1000;
        p.errors = errors;
        return p;
    };
    run(2);  // every preview made and in the page cache
    std::printf(
        "web: %d rounds of %d clients fetching %zu previews for %.0f s alone, then beside %d slow and %d "
        "idle\n",
        rounds, fetchers, previews.size(), seconds, slow, idle);
    std::fflush(stdout);
    std::vector<double> ratios, aloneP99, besideP99;
    for (int r = 0; r < rounds; ++r) {
        Phase alone = run(seconds);
        WebNuisance nuisance;
        nuisance.Start(node.httpPort, slow, idle);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        Phase beside = run(seconds);
        long open = nuisance.open(), reconnects = nuisance.reconnects();
        long rss = RssKb(node.pid, "VmRSS:");
        nuisance.Stop();
        std::printf(
            "web: round %d: alone %zu answers p50 %.2f ms p99 %.2f ms; beside %zu answers p50 %.2f ms p99 "
            "%.2f ms; ratio %.2f; errors %ld/%ld; %ld nuisance connections open, %ld ended by the node "
            "and reopened; node RSS %ld KB\n",
            r + 1, alone.replies, alone.p50, alone.p99, beside.replies, beside.p50, beside.p99,
            alone.p99 > 0 ? beside.p99 / alone.p99 : 0.0, alone.errors, beside.errors, open, reconnects, rss);
        std::fflush(stdout);
        ratios.push_back(alone.p99 > 0 ? beside.p99 / alone.p99 : 0.0);
        aloneP99.push_back(alone.p99);
        besideP99.push_back(beside.p99);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    StopNode(node);
    std::printf("web: p99 alone %s ms; beside %s ms\n", Spread(aloneP99, "%.2f").c_str(),
                Spread(besideP99, "%.2f").c_str());
    std::printf("web: p99 ratio beside/alone %s (goal <= 1.5)\n", Spread(ratios, "%.2f").c_str());
    fs::remove_all(work);
    return 0;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: node_bench [--crowd | --web-crowd] [--clients N] [--idle N] [--fetchers N] [--slow N] "
        "[--seconds S] [--catalogue DIR] [--node PATH]\n"
        "       node_bench --crowd --cluster-env DIR/cluster.env [--idle N] [--clients N] [--seconds S] "
        "[--rounds N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 500;
    double seconds = 30;
    std::string catalogue = std::string(MIAOLAN_BINARY_DIR) + "/../demo-catalogue";
    std::string nodePath = std::string(MIAOLAN_BINARY_DIR) + "/server/miaolan-node";
    std::string mode, clusterEnv;
    int idle = -1, fetchers = 50, slow = 64, thinkMs = 200, rounds = 3;
    bool secondsGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--crowd" || a == "--web-crowd") {
            mode = a;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        if (a == "--idle")
            idle = std::atoi(argv[++i]);
        else if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--think-ms")
            thinkMs = std::atoi(argv[++i]);
        else if (a == "--fetchers")
            fetchers = std::atoi(argv[++i]);
        else if (a == "--slow")
            slow = std::atoi(argv[++i]);
        else if (a == "--seconds" && (secondsGiven = true))
            seconds = std::atof(argv[++i]);
        else if (a == "--clients")
            clients = std::atoi(argv[++i]);
        else if (a == "--seconds")
            seconds = std::atof(argv[++i]);
        else if (a == "--catalogue")
            catalogue = argv[++i];
        else if (a == "--node")
            nodePath = argv[++i];
        else if (a == "--cluster-env")
            clusterEnv = argv[++i];
        else
            return Usage();
    }
    if (!clusterEnv.empty() && mode != "--crowd") return Usage();
    if (clusterEnv.empty() && !fs::is_directory(catalogue)) {
        std::fprintf(stderr,
                     "node_bench: no catalogue at %s (run scripts/node-demo.sh once, or give --catalogue)\n",
                     catalogue.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    if (!secondsGiven && !mode.empty()) seconds = 20;
    if (mode == "--crowd")
        return CrowdMain(nodePath, catalogue, clusterEnv, clients, idle < 0 ? 10000 : idle, seconds, thinkMs,
                         rounds);
    if (mode == "--web-crowd")
        return WebCrowdMain(nodePath, catalogue, fetchers, slow, idle < 0 ? 1000 : idle, seconds, rounds);

    // --- 1. protocol load ---
    fs::path work = fs::temp_directory_path() / ("miaolan-node-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    int packPort = FreePort(), httpPort = FreePort();
    {
        std::ofstream conf(work / "node.conf");
        conf << "pregenerate = false\nmax_clients = " << clients + 100 << "\n";
    }
    std::string listen = "127.0.0.1:" + std::to_string(packPort),
                http = "127.0.0.1:" + std::to_string(httpPort);
    std::string confPath = (work / "node.conf").string(), cachePath = (work / "cache").string();
    std::string logPath = (work / "node.log").string();
    pid_t pid = fork();
    if (pid == 0) {
        freopen(logPath.c_str(), "w", stderr);
        execl(nodePath.c_str(), nodePath.c_str(), "--config", confPath.c_str(), "--listen", listen.c_str(),
              "--http", http.c_str(), "--cache", cachePath.c_str(), catalogue.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int probe = -1;
    for (int i = 0; i < 200 && probe < 0; ++i) {
        probe = Connect(packPort);
        if (probe < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (probe < 0) {
        std::fprintf(stderr, "node_bench: node did not start (log %s)\n", logPath.c_str());
        kill(pid, SIGTERM);
        return 1;
    }
    Work w;
    for (const auto& cat : node::CategoryNames()) {
        std::string list =
            AskBlocking(probe, "&获取" + kSep + cat + kSep + "下载最多" + kSep + "1" + kSep + "0" + kSep);
        auto f = sys::Split(list, kSep);
        w.requests.push_back("&获取" + kSep + cat + kSep + "下载最多" + kSep + "1" + kSep + kSep + kSep);
        if (f.size() >= 5)
            for (const auto& p : sys::Split(f[4], "[a]"))
                w.requests.push_back("&详细" + kSep + cat + kSep + p);
    }
    close(probe);
    long rssIdle = RssKb(pid, "VmRSS:");
    std::printf("load: %d clients for %.0f s against miaolan-node (pid %d), %zu request kinds\n", clients,
                seconds, pid, w.requests.size());
    std::fflush(stdout);

    int threads = 2;
    std::vector<std::vector<double>> lat(threads);
    std::atomic<long> errors{0};
    auto start = Clock::now();
    auto end = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            RunClients(packPort, clients / threads + (t < clients % threads), end, w, 1629 + t, lat[t],
                       errors);
        });
    long rssPeak = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        rssPeak = std::max(rssPeak, RssKb(pid, "VmRSS:"));
    }
    for (auto& th : pool) th.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (auto& v : lat) all.insert(all.end(), v.begin(), v.end());
    size_t replies = all.size();
    double p50 = Percentile(all, 0.50), p99 = Percentile(all, 0.99);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::printf(
        "load: %zu replies in %.1f s = %.0f replies/s; latency p50 %.2f ms, p99 %.2f ms; errors %ld\n",
        replies, elapsed, replies / elapsed, p50 / 1000, p99 / 1000, errors.load());
    std::printf("load: node RSS idle %ld KB, peak under load %ld KB; node exit status %d\n", rssIdle, rssPeak,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);

    // --- 2. previews of 4K pictures ---
    std::vector<std::string> wide;
    for (auto it = fs::recursive_directory_iterator(catalogue); it != fs::recursive_directory_iterator();
         ++it) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name[0] == '.') {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        int width = 0, height = 0;
        if (it->is_regular_file() && node::ReadImageSize(it->path().string(), width, height) && width >= 3840)
            wide.push_back(it->path().string());
    }
    std::sort(wide.begin(), wide.end());
    // The same file linked into several categories is one picture here.
    {
        std::set<std::pair<dev_t, ino_t>> seen;
        std::vector<std::string> unique;
        for (const auto& f : wide) {
            struct stat st {};
            if (::stat(f.c_str(), &st) == 0 && seen.insert({st.st_dev, st.st_ino}).second)
                unique.push_back(f);
        }
        wide.swap(unique);
    }
    // Both sides read from the page cache, not the disk.
    for (const auto& f : wide) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> buf(1 << 20);
        while (in.read(buf.data(), buf.size())) {
        }
    }
    if (wide.empty()) {
        std::printf("previews: no pictures of 3840 px or more in %s\n", catalogue.c_str());
        fs::remove_all(work);
        return 0;
    }
    fs::create_directories(work / "ours");
    fs::create_directories(work / "cli");
    auto t0 = Clock::now();
    int ok = 0;
    for (size_t i = 0; i < wide.size(); ++i)
        ok += node::MakeThumbnail(wide[i], (work / "ours" / (std::to_string(i) + ".jpg")).string(), 296, 156);
    double ours = std::chrono::duration<double>(Clock::now() - t0).count();
    t0 = Clock::now();
    int cliOk = 0;
    for (size_t i = 0; i < wide.size(); ++i) {
        std::string cmd = "vipsthumbnail '" + wide[i] + "' --size 296x156 --smartcrop centre -o '" +
                          (work / "cli" / (std::to_string(i) + ".jpg")).string() +
                          "[Q=85,strip]' 2>/dev/null";
        cliOk += std::system(cmd.c_str()) == 0;
    }
    double cli = std::chrono::duration<double>(Clock::now() - t0).count();
    // One vipsthumbnail process for all files: the tool without its start-up per file.
    t0 = Clock::now();
    std::string batch = "vipsthumbnail --size 296x156 --smartcrop centre -o '" + (work / "cli").string() +
                        "/batch-%s.jpg[Q=85,strip]'";
    for (const auto& f : wide) batch += " '" + f + "'";
    batch += " 2>/dev/null";
    int batchRc = std::system(batch.c_str());
    double cliBatch = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("previews: %zu pictures >= 3840 px (%d made by the node's code, %d by vipsthumbnail)\n",
                wide.size(), ok, cliOk);
    std::printf(
        "previews: node %.1f ms/picture; vipsthumbnail per file %.1f ms/picture (ratio %.2f); "
        "vipsthumbnail one batch %.1f ms/picture (ratio %.2f)%s\n",
        ours * 1000 / wide.size(), cli * 1000 / wide.size(), cli / ours, cliBatch * 1000 / wide.size(),
        cliBatch / ours, batchRc == 0 ? "" : " [batch run failed]");
    fs::remove_all(work);
    return 0;
}
