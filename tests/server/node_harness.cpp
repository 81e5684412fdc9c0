#include "node_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vips/vips.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "image_tools.h"
#include "sys/text.h"

// libvips and GLib keep type registries and thread pools for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvips\nleak:libglib\nleak:libgobject\nleak:libgio\nleak:libfontconfig\nleak:libheif\n";
}

namespace nodetest {

const char kSep[] = "(＆)";

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    fs::path base = fs::path(MIAOLAN_BINARY_DIR) / "test-tmp";
    path_ = (base / (tag + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++))).string();
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WritePicture(const std::string& path, int width, int height, int bands) {
    if (!node::InitImageLibrary()) throw std::runtime_error("libvips");
    VipsImage *noise = nullptr, *u = nullptr, *joined = nullptr;
    if (vips_gaussnoise(&noise, width, height, "mean", 128.0, "sigma", 40.0, nullptr) != 0 ||
        vips_cast_uchar(noise, &u, nullptr) != 0)
        throw std::runtime_error("vips noise");
    VipsImage* in[4] = {u, u, u, u};
    if (vips_bandjoin(in, &joined, bands, nullptr) != 0) throw std::runtime_error("vips bandjoin");
    if (vips_image_write_to_file(joined, path.c_str(), nullptr) != 0)
        throw std::runtime_error(std::string("vips write ") + path + ": " + vips_error_buffer());
    g_object_unref(joined);
    g_object_unref(u);
    g_object_unref(noise);
}

const std::string& CatalogueDir() {
    static const std::string dir = [] {
        fs::path root = fs::path(MIAOLAN_BINARY_DIR) / "test-tmp" / ("catalogue-" + std::to_string(getpid()));
        fs::remove_all(root);
        auto sub = [&](const char* gbk) {
            fs::path p = root / sys::GbkToUtf8(gbk);
            fs::create_directories(p);
            return p;
        };
        fs::path land = sub("K风景");
        for (int i = 0; i < 20; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "p%02d.jpg", i);
            WritePicture((land / name).string(), 64, 40);
        }
        fs::path land4k = sub("4K风景");
        WritePicture((land4k / "wide1.jpg").string(), 3840, 48);
        WritePicture((land4k / "wide2.jpg").string(), 4000, 48);
        fs::path animals = sub("K动物");
        WritePicture((animals / "a.png").string(), 80, 50, 4);
        WritePicture((animals / "b.webp").string(), 90, 60);
        fs::path beauty = sub("K美女");
        WritePicture((beauty / "titled.jpg").string(), 70, 40);
        std::ofstream(beauty / "titled.jpg.txt", std::ios::binary)
            << sys::GbkToUtf8("春天(＆)的[a]花\n第一行\n第二行[q]\n");
        fs::path cars = sub("K汽车");
        std::ofstream(cars / "broken.jpg", std::ios::binary) << "this is not a picture";
        std::ofstream(cars / "notes.txt", std::ios::binary) << "not a picture either";
        return root.string();
    }();
    return dir;
}

node::Config TestConfig(const std::string& cacheDir) {
    node::Config c;
    c.listenPort = 0;
    c.httpPort = 0;
    c.catalogueUtf8 = CatalogueDir();
    c.cacheUtf8 = cacheDir;
    c.pageSize = 7;
    c.pregenerate = false;
    c.httpThreads = 4;
    c.adminPort = 0;
    return c;
}

RunningNode::RunningNode(node::Config config, std::string adminToken)
    : node_(std::make_unique<node::Node>(std::move(config), std::move(adminToken))) {
    std::string error;
    if (!node_->Start(error)) throw std::runtime_error("node did not start: " + error);
}

RunningNode::~RunningNode() { node_->Stop(); }

int ConnectFrom(const std::string& source, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (inet_pton(AF_INET, source.c_str(), &a.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

namespace {
int ConnectLoopback(int port) { return ConnectFrom("127.0.0.1", port); }
}  // namespace

PackClient::PackClient(int port, const std::string& source) : fd_(ConnectFrom(source, port)) {}

PackClient::~PackClient() {
    if (fd_ >= 0) close(fd_);
}

bool PackClient::SendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PackClient::Send(const std::string& body) { return SendRaw(pack::Encode(body)); }

std::optional<std::string> PackClient::Receive() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ready_.empty() && !closed_ && std::chrono::steady_clock::now() < deadline) {
        uint8_t buf[8192];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            closed_ = true;
            break;
        }
        decoder_.Feed(buf, static_cast<size_t>(n), [&](const uint8_t* b, size_t len) {
            ready_.emplace_back(reinterpret_cast<const char*>(b), len);
        });
    }
    if (ready_.empty()) return std::nullopt;
    std::string r = std::move(ready_.front());
    ready_.erase(ready_.begin());
    return r;
}

std::vector<std::string> PackClient::Ask(const std::string& body) {
    if (!Send(body)) return {};
    auto r = Receive();
    return r ? Fields(*r) : std::vector<std::string>{};
}

bool PackClient::WaitClosed() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!closed_ && std::chrono::steady_clock::now() < deadline) {
        uint8_t buf[65536];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) closed_ = true;
    }
    return closed_;
}

std::vector<std::string> Fields(const std::string& reply) {
    std::string text = reply.substr(0, reply.find('\0'));
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        int pos = sys::Find(std::string_view(text).substr(start), kSep);
        if (pos < 0) break;
        out.push_back(text.substr(start, pos - 1));
        start += pos - 1 + std::strlen(kSep);
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

std::string FieldOf(const std::vector<std::string>& f, size_t n) {
    return n <= f.size() ? f[n - 1] : std::string();
}

std::string HttpReply::Header(const std::string& name) const {
    std::string key = "\r\n" + name + ": ";
    size_t p = head.find(key);
    if (p == std::string::npos) return {};
    p += key.size();
    return head.substr(p, head.find("\r\n", p) - p);
}

HttpReply HttpGet(int port, const std::string& path, const std::string& extraHeaders,
                  const std::string& method, const std::string& body) {
    HttpReply r;
    int fd = ConnectLoopback(port);
    if (fd < 0) return r;
    std::string req = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n" + extraHeaders +
                      "Connection: close\r\n";
    if (!body.empty() || method == "POST") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    req += "\r\n" + body;
    send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::string all;
    char buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        all.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) return r;
    r.head = all.substr(0, end + 2);
    r.body = all.substr(end + 4);
    if (r.head.size() > 12) r.status = std::atoi(r.head.c_str() + 9);
    return r;
}

bool PictureSize(const std::string& bytes, int& width, int& height) {
    VipsImage* img = vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr);
    if (!img) {
        vips_error_clear();
        return false;
    }
    width = vips_image_get_width(img);
    height = vips_image_get_height(img);
    g_object_unref(img);
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace nodetest
