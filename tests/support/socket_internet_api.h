// The WinINet seam over plain sockets, for native checks that fetch from a real HTTP server on
// 127.0.0.1: one HTTP/1.0 exchange per request handle, the whole answer read at the send.
// Installs itself as the default for its lifetime. POSIX only (under Wine WinINet is real).
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "web/internet_api.h"

namespace testing_support {

class SocketInternetApi : public web::InternetApi {
  public:
    SocketInternetApi() { previous_ = web::SetDefaultInternetApi(this); }
    ~SocketInternetApi() override { web::SetDefaultInternetApi(previous_); }

    web::InternetHandle Open(const char*, uint32_t, const char*, const char*, uint32_t) override {
        return Add(std::make_unique<Handle>());
    }
    web::InternetHandle Connect(web::InternetHandle, const char* host, uint16_t port, const char*,
                                const char*, uint32_t, uint32_t, uintptr_t) override {
        auto h = std::make_unique<Handle>();
        h->host = host ? host : "";
        h->port = port;
        return Add(std::move(h));
    }
    web::InternetHandle OpenRequest(web::InternetHandle connection, const char* verb, const char* object,
                                    const char*, const char*, const char**, uint32_t, uintptr_t) override {
        std::lock_guard lock(mutex_);
        Handle* c = Find(connection);
        if (!c) return nullptr;
        auto h = std::make_unique<Handle>(*c);
        h->verb = verb ? verb : "GET";
        h->object = object ? object : "/";
        return AddLocked(std::move(h));
    }
    bool SetOption(web::InternetHandle, uint32_t, void*, uint32_t) override { return true; }
    bool SendRequest(web::InternetHandle request, const char* headers, uint32_t headersLength, void*,
                     uint32_t) override {
        Handle copy;
        {
            std::lock_guard lock(mutex_);
            Handle* h = Find(request);
            if (!h) return false;
            copy = *h;
        }
        std::string extra = headers ? std::string(headers, headersLength) : std::string();
        std::string answer;
        if (!Exchange(copy, extra, &answer)) return false;
        size_t end = answer.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (!h) return false;
        h->head = answer.substr(0, end + 4);
        h->body = answer.substr(end + 4);
        return true;
    }
    bool ReadFile(web::InternetHandle request, void* buffer, uint32_t toRead, uint32_t* read) override {
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (read) *read = 0;
        if (!h) return false;
        size_t n = std::min<size_t>(toRead, h->body.size() - h->offset);
        std::memcpy(buffer, h->body.data() + h->offset, n);
        h->offset += n;
        if (read) *read = static_cast<uint32_t>(n);
        return true;
    }
    bool QueryInfo(web::InternetHandle request, uint32_t, void* buffer, uint32_t* length,
                   uint32_t*) override {
        std::lock_guard lock(mutex_);
        Handle* h = Find(request);
        if (!h || h->head.empty() || !length || *length < h->head.size()) return false;
        std::memcpy(buffer, h->head.data(), h->head.size());
        *length = static_cast<uint32_t>(h->head.size());
        return true;
    }
    bool CloseHandle(web::InternetHandle handle) override {
        std::lock_guard lock(mutex_);
        return handles_.erase(handle) != 0;
    }

  private:
    struct Handle {
        std::string host, verb, object, head, body;
        uint16_t port = 80;
        size_t offset = 0;
    };

    static bool Exchange(const Handle& h, const std::string& extra, std::string* answer) {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (s < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(h.port);
        timeval timeout{10, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        bool ok =
            ::inet_pton(AF_INET, h.host == "localhost" ? "127.0.0.1" : h.host.c_str(), &a.sin_addr) == 1 &&
            ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        std::string request = h.verb + " " + h.object + " HTTP/1.0\r\nHost: " + h.host + "\r\n";
        if (!extra.empty())
            request += extra + (extra.size() >= 2 && extra.substr(extra.size() - 2) == "\r\n" ? "" : "\r\n");
        request += "\r\n";
        ok = ok &&
             ::send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
        char buffer[65536];
        ssize_t n;
        while (ok && (n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
            answer->append(buffer, static_cast<size_t>(n));
        ::close(s);
        return ok;
    }

    web::InternetHandle Add(std::unique_ptr<Handle> h) {
        std::lock_guard lock(mutex_);
        return AddLocked(std::move(h));
    }
    web::InternetHandle AddLocked(std::unique_ptr<Handle> h) {
        web::InternetHandle key = h.get();
        handles_[key] = std::move(h);
        return key;
    }
    Handle* Find(web::InternetHandle key) {
        auto it = handles_.find(key);
        return it == handles_.end() ? nullptr : it->second.get();
    }

    std::mutex mutex_;
    std::map<web::InternetHandle, std::unique_ptr<Handle>> handles_;
    web::InternetApi* previous_ = nullptr;
};

}  // namespace testing_support
