// A double of the WinINet seam: records every call with its arguments as plain values and
// answers from a script (which opens fail, the body chunks, the header block).
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "web/internet_api.h"

namespace webtest {

// A text argument as passed: absent for NULL.
using Arg = std::optional<std::string>;
inline Arg A(const char* s) { return s ? Arg(s) : std::nullopt; }

struct Call {
    explicit Call(std::string n, web::InternetHandle h = nullptr) : name(std::move(n)), handle(h) {}
    std::string name;
    web::InternetHandle handle = nullptr;  // the handle the call was made on
    Arg a, b, c, d, e;                     // text arguments in order
    uint32_t n1 = 0, n2 = 0, n3 = 0;       // numeric arguments in order
    std::string data;                      // optional data of a send, the option's bytes
    bool dataIsNull = false;
};

class RecordingInternetApi : public web::InternetApi {
  public:
    // Script.
    bool failOpen = false, failConnect = false, failOpenRequest = false;
    std::vector<std::string> chunks;         // handed out one per read, then 0 bytes
    std::optional<size_t> failReadAt;        // read index that fails
    uint32_t countOnFailedRead = 0;          // what a failing read claims to have read
    std::optional<std::string> headerBlock;  // absent: the query fails

    // Record.
    std::vector<Call> calls;
    std::vector<web::InternetHandle> closed;

    web::InternetHandle internet() const { return Handle(1); }
    web::InternetHandle connection() const { return Handle(2); }
    web::InternetHandle request() const { return Handle(3); }

    const Call* Find(const std::string& name) const {
        for (const Call& c : calls) {
            if (c.name == name) return &c;
        }
        return nullptr;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const Call& c : calls) out.push_back(c.name);
        return out;
    }
    // The header text of the send, as sent (its given length).
    std::string SentHeaders() const { return Find("Send") ? *Find("Send")->a : std::string("<no send>"); }

    web::InternetHandle Open(const char* agent, uint32_t accessType, const char* proxy, const char* bypass,
                             uint32_t flags) override {
        Call c("Open");
        c.a = A(agent), c.b = A(proxy), c.c = A(bypass), c.n1 = accessType, c.n2 = flags;
        calls.push_back(c);
        return failOpen ? nullptr : internet();
    }
    web::InternetHandle Connect(web::InternetHandle internetHandle, const char* host, uint16_t port,
                                const char* user, const char* password, uint32_t service, uint32_t flags,
                                uintptr_t context) override {
        Call c("Connect", internetHandle);
        c.a = A(host), c.b = A(user), c.c = A(password), c.n1 = port, c.n2 = service, c.n3 = flags;
        if (context) c.name += "(context)";
        calls.push_back(c);
        return failConnect ? nullptr : connection();
    }
    web::InternetHandle OpenRequest(web::InternetHandle connectionHandle, const char* verb,
                                    const char* object, const char* version, const char* referrer,
                                    const char** acceptTypes, uint32_t flags, uintptr_t context) override {
        Call c("OpenRequest", connectionHandle);
        c.a = A(verb), c.b = A(object), c.c = A(version), c.d = A(referrer);
        c.e = acceptTypes ? Arg("<list>") : std::nullopt;
        c.n1 = flags;
        if (context) c.name += "(context)";
        calls.push_back(c);
        return failOpenRequest ? nullptr : request();
    }
    bool SetOption(web::InternetHandle handle, uint32_t option, void* buffer, uint32_t length) override {
        Call c("SetOption", handle);
        c.n1 = option, c.n2 = length;
        c.data.assign(static_cast<const char*>(buffer), length);
        calls.push_back(c);
        return true;
    }
    bool SendRequest(web::InternetHandle handle, const char* headers, uint32_t headersLength, void* optional,
                     uint32_t optionalLength) override {
        Call c("Send", handle);
        c.a = headers ? Arg(std::string(headers, headersLength)) : std::nullopt;
        c.n1 = headersLength, c.n2 = optionalLength;
        c.dataIsNull = optional == nullptr;
        if (optional) c.data.assign(static_cast<const char*>(optional), optionalLength);
        calls.push_back(c);
        return true;
    }
    bool ReadFile(web::InternetHandle handle, void* buffer, uint32_t toRead, uint32_t* read) override {
        size_t index = reads_++;
        Call c("Read", handle);
        c.n1 = toRead;
        calls.push_back(c);
        if (failReadAt && *failReadAt == index) {
            *read = countOnFailedRead;
            return false;
        }
        if (index >= chunks.size() || reads_ > 10000) {
            *read = 0;
            return true;
        }
        std::memcpy(buffer, chunks[index].data(), chunks[index].size());
        *read = static_cast<uint32_t>(chunks[index].size());
        return true;
    }
    bool QueryInfo(web::InternetHandle handle, uint32_t level, void* buffer, uint32_t* length,
                   uint32_t* index) override {
        Call c("Query", handle);
        c.n1 = level, c.n2 = *length;
        c.data.assign(static_cast<const char*>(buffer), *length);  // what the buffer held before
        if (index) c.name += "(index)";
        calls.push_back(c);
        if (!headerBlock) return false;
        if (headerBlock->size() + 1 > *length) {  // WinINet needs room for the terminating zero
            *length = static_cast<uint32_t>(headerBlock->size() + 1);
            return false;
        }
        std::memcpy(buffer, headerBlock->c_str(), headerBlock->size() + 1);
        *length = static_cast<uint32_t>(headerBlock->size());
        return true;
    }
    bool CloseHandle(web::InternetHandle handle) override {
        calls.push_back(Call("Close", handle));
        closed.push_back(handle);
        return true;
    }

  private:
    static web::InternetHandle Handle(uintptr_t n) {
        return reinterpret_cast<web::InternetHandle>(n * 0x100);
    }
    size_t reads_ = 0;
};

}  // namespace webtest
