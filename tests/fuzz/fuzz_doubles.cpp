// Link-time stand-ins for the two system-facing pieces the reply path reaches, so that fuzzed
// input never leaves the machine and never waits. Defining them here keeps the libraries'
// own definitions (internet_api_posix.o, delay_posix.o) out of the link; were either pulled
// in, the link would fail on a duplicate symbol rather than silently use the real one.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/builtin_images.h"
#include "sys/delay.h"
#include "web/internet_api.h"

namespace sys {

// The list filling pauses 2 ms after each downloaded preview so it can paint; there is
// nothing to paint here.
bool DelayWithMessages(int32_t, int64_t) { return true; }
void PumpPendingMessages() {}

}  // namespace sys

namespace web {
namespace {

// Answers every request from memory by the end of its path: ".png" gets a real picture,
// ".jpg" gets the path itself (bytes that are no picture), anything else a 404.
class MemoryInternetApi final : public InternetApi {
  public:
    InternetHandle Open(const char*, uint32_t, const char*, const char*, uint32_t) override {
        return Add({});
    }
    InternetHandle Connect(InternetHandle session, const char* host, uint16_t, const char*, const char*,
                           uint32_t, uint32_t, uintptr_t) override {
        return Known(session) && host && *host ? Add({}) : nullptr;
    }
    InternetHandle OpenRequest(InternetHandle connection, const char*, const char* object, const char*,
                               const char*, const char**, uint32_t, uintptr_t) override {
        if (!Known(connection)) return nullptr;
        std::string path = object ? object : "/";
        Answer a;
        if (path.ends_with(".png")) {
            a.head = "HTTP/1.1 200 OK\r\n\r\n";
            a.body = core::UseButtonPng();
        } else if (path.ends_with(".jpg")) {
            a.head = "HTTP/1.1 200 OK\r\n\r\n";
            a.body = path;
        } else {
            a.head = "HTTP/1.1 404 Not Found\r\n\r\n";
            a.body = "missing";
        }
        return Add(std::move(a));
    }
    bool SetOption(InternetHandle, uint32_t, void*, uint32_t) override { return true; }
    bool SendRequest(InternetHandle request, const char*, uint32_t, void*, uint32_t) override {
        return Known(request);
    }
    bool ReadFile(InternetHandle request, void* buffer, uint32_t toRead, uint32_t* read) override {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(request);
        if (read) *read = 0;
        if (it == handles_.end()) return false;
        Answer& a = it->second;
        size_t n = std::min<size_t>(toRead, a.body.size() - a.offset);
        if (n) std::memcpy(buffer, a.body.data() + a.offset, n);
        a.offset += n;
        if (read) *read = static_cast<uint32_t>(n);
        return true;
    }
    bool QueryInfo(InternetHandle request, uint32_t, void* buffer, uint32_t* length, uint32_t*) override {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(request);
        if (it == handles_.end() || it->second.head.empty() || !length) return false;
        return CopyHeaderBlock(it->second.head, buffer, length);
    }
    bool CloseHandle(InternetHandle handle) override {
        std::lock_guard lock(mutex_);
        return handles_.erase(handle) != 0;
    }

  private:
    struct Answer {
        std::string head, body;
        size_t offset = 0;
    };
    InternetHandle Add(Answer a) {
        std::lock_guard lock(mutex_);
        InternetHandle key = reinterpret_cast<InternetHandle>(++next_);
        handles_[key] = std::move(a);
        return key;
    }
    bool Known(InternetHandle h) {
        std::lock_guard lock(mutex_);
        return handles_.count(h) != 0;
    }

    std::mutex mutex_;
    std::map<InternetHandle, Answer> handles_;
    uintptr_t next_ = 0;
};

}  // namespace

InternetApi& DefaultInternetApi() {
    static MemoryInternetApi api;
    return api;
}

}  // namespace web
