// Outside Windows there is no WinINet: the same calls over the project's socket layer, one
// HTTP/1.0 exchange per request handle, the whole answer read when the request is sent. Enough
// for what WebRequest asks of it (GET/POST, extra headers, the raw header block, the body).
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "socket_compat.h"
#include "web/internet_api.h"

namespace web {
namespace {

constexpr int kConnectMs = 10000;
constexpr int kReceiveMs = 10000;
// WinINet would stream a larger body; here it is held whole, so a runaway peer is cut off.
constexpr size_t kMaxAnswer = 64u << 20;

class SocketInternetApi final : public InternetApi {
  public:
    InternetHandle Open(const char*, uint32_t, const char*, const char*, uint32_t) override {
        return Add(std::make_unique<Handle>());
    }
    InternetHandle Connect(InternetHandle session, const char* host, uint16_t port, const char*, const char*,
                           uint32_t, uint32_t, uintptr_t) override {
        std::lock_guard lock(mutex_);
        if (!Find(session) || !host || !*host) return nullptr;
        auto h = std::make_unique<Handle>();
        h->host = host;
        h->port = port ? port : 80;
        return AddLocked(std::move(h));
    }
    InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* object, const char*,
                               const char*, const char**, uint32_t, uintptr_t) override {
        std::lock_guard lock(mutex_);
        Handle* c = Find(connection);
        if (!c) return nullptr;
        auto h = std::make_unique<Handle>(*c);
        h->verb = verb && *verb ? verb : "GET";
        h->object = object && *object ? object : "/";
        return AddLocked(std::move(h));
    }
    bool SetOption(InternetHandle, uint32_t, void*, uint32_t) override { return true; }
    bool SendRequest(InternetHandle request, const char* headers, uint32_t headersLength, void* body,
                     uint32_t bodyLength) override {
        Handle copy;
        {
            std::lock_guard lock(mutex_);
            Handle* h = Find(request);
            if (!h) return false;
            copy = *h;
        }
        std::string extra = headers ? std::string(headers, headersLength) : std::string();
        std::string content = body ? std::string(static_cast<const char*>(body), bodyLength) : std::string();
        std::string answer;
        if (!Exchange(copy, extra, content, &answer)) return false;
        size_t end = answer.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (!h) return false;
        h->head = answer.substr(0, end + 4);
        h->body = answer.substr(end + 4);
        h->offset = 0;
        return true;
    }
    bool ReadFile(InternetHandle request, void* buffer, uint32_t toRead, uint32_t* read) override {
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (read) *read = 0;
        if (!h) return false;
        size_t n = std::min<size_t>(toRead, h->body.size() - h->offset);
        if (n) std::memcpy(buffer, h->body.data() + h->offset, n);
        h->offset += n;
        if (read) *read = static_cast<uint32_t>(n);
        return true;
    }
    // Only the raw header block is asked for.
    bool QueryInfo(InternetHandle request, uint32_t, void* buffer, uint32_t* length, uint32_t*) override {
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (!h || h->head.empty() || !length) return false;
        return CopyHeaderBlock(h->head, buffer, length);
    }
    bool CloseHandle(InternetHandle handle) override {
        std::lock_guard lock(mutex_);
        return handles_.erase(handle) != 0;
    }

  private:
    struct Handle {
        std::string host, verb, object, head, body;
        uint16_t port = 80;
        size_t offset = 0;
    };

    static bool Exchange(const Handle& h, const std::string& extra, const std::string& content,
                         std::string* answer) {
        sockcompat::Socket s = sockcompat::Connect(h.host, h.port, kConnectMs, {}, nullptr);
        if (!s.valid()) return false;
        s.SetReceiveTimeout(kReceiveMs);
        s.SetSendTimeout(kReceiveMs);
        std::string request = h.verb + " " + h.object + " HTTP/1.0\r\nHost: " + h.host + "\r\n";
        if (!extra.empty()) request += extra + (extra.size() >= 2 && extra.ends_with("\r\n") ? "" : "\r\n");
        if (!content.empty()) request += "Content-Length: " + std::to_string(content.size()) + "\r\n";
        request += "\r\n" + content;
        if (!s.SendAll(request)) return false;
        char buffer[65536];
        for (long n; (n = s.Receive(buffer, sizeof buffer)) > 0;) {
            if (answer->size() + static_cast<size_t>(n) > kMaxAnswer) return false;
            answer->append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    InternetHandle Add(std::unique_ptr<Handle> h) {
        std::lock_guard lock(mutex_);
        return AddLocked(std::move(h));
    }
    InternetHandle AddLocked(std::unique_ptr<Handle> h) {
        InternetHandle key = h.get();
        handles_[key] = std::move(h);
        return key;
    }
    Handle* Find(InternetHandle key) {
        auto it = handles_.find(key);
        return it == handles_.end() ? nullptr : it->second.get();
    }

    std::mutex mutex_;
    std::map<InternetHandle, std::unique_ptr<Handle>> handles_;
};

}  // namespace

InternetApi& DefaultInternetApi() {
    static SocketInternetApi api;
    return api;
}

}  // namespace web
