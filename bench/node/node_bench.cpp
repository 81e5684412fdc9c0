// Load and preview benchmark of the node.
//
//   node_bench [--clients 500] [--seconds 30] [--catalogue DIR] [--node PATH]
//
// 1. Starts miaolan-node on free ports over the catalogue (default build/demo-catalogue) and
//    lets the clients ask for list pages and details as fast as replies come back; prints
//    replies per second, p50/p99 latency and the node's resident memory.
// 2. Makes the 296x156 preview of every picture at least 3840 px wide, once in-process as the
//    node does and once with `vipsthumbnail` on the same files, and prints the ratio.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
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
                std::vector<double>& latenciesUs, std::atomic<long>& errors) {
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
        clients[i].fd = Connect(port);
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
        int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 100);
        auto now = Clock::now();
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
            if (now < end) {
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

int Usage() {
    std::fprintf(stderr, "usage: node_bench [--clients N] [--seconds S] [--catalogue DIR] [--node PATH]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 500;
    double seconds = 30;
    std::string catalogue = std::string(MIAOLAN_BINARY_DIR) + "/../demo-catalogue";
    std::string nodePath = std::string(MIAOLAN_BINARY_DIR) + "/server/miaolan-node";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        if (a == "--clients")
            clients = std::atoi(argv[++i]);
        else if (a == "--seconds")
            seconds = std::atof(argv[++i]);
        else if (a == "--catalogue")
            catalogue = argv[++i];
        else if (a == "--node")
            nodePath = argv[++i];
        else
            return Usage();
    }
    if (!fs::is_directory(catalogue)) {
        std::fprintf(stderr,
                     "node_bench: no catalogue at %s (run scripts/node-demo.sh once, or give --catalogue)\n",
                     catalogue.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);

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
