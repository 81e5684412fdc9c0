// The seam over the real WinINet, through the native call table (rows 1-8), so wininet.dll
// is bound by name at the first request like every other system call of the program.
#include <windows.h>
#include <wininet.h>

#include "sys/native_calls.h"
#include "sys/trace_win.h"
#include "web/internet_api.h"

namespace web {
namespace {

using sys::Native;
using sys::Row;

// Failures are traced where they happen; the engine above only sees the empty result.
template <class T>
T Traced(T result, const char* api) {
    if (!result) sys::TraceLastError(api);
    return result;
}

class WinInetApi final : public InternetApi {
  public:
    InternetHandle Open(const char* agent, uint32_t accessType, const char* proxy, const char* proxyBypass,
                        uint32_t flags) override {
        return Traced(Native<Row::InternetOpenA>()(agent, accessType, proxy, proxyBypass, flags),
                      "InternetOpenA");
    }
    InternetHandle Connect(InternetHandle internet, const char* host, uint16_t port, const char* user,
                           const char* password, uint32_t service, uint32_t flags,
                           uintptr_t context) override {
        return Traced(
            Native<Row::InternetConnectA>()(internet, host, port, user, password, service, flags, context),
            "InternetConnectA");
    }
    InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* object,
                               const char* version, const char* referrer, const char** acceptTypes,
                               uint32_t flags, uintptr_t context) override {
        return Traced(Native<Row::HttpOpenRequestA>()(connection, verb, object, version, referrer,
                                                      acceptTypes, flags, context),
                      "HttpOpenRequestA");
    }
    bool SetOption(InternetHandle handle, uint32_t option, void* buffer, uint32_t length) override {
        return Traced(Native<Row::InternetSetOptionA>()(handle, option, buffer, length),
                      "InternetSetOptionA") != FALSE;
    }
    bool SendRequest(InternetHandle request, const char* headers, uint32_t headersLength, void* optional,
                     uint32_t optionalLength) override {
        return Traced(
                   Native<Row::HttpSendRequestA>()(request, headers, headersLength, optional, optionalLength),
                   "HttpSendRequestA") != FALSE;
    }
    bool ReadFile(InternetHandle request, void* buffer, uint32_t toRead, uint32_t* read) override {
        DWORD n = 0;
        BOOL ok = Traced(Native<Row::InternetReadFile>()(request, buffer, toRead, &n), "InternetReadFile");
        *read = n;
        return ok != FALSE;
    }
    bool QueryInfo(InternetHandle request, uint32_t level, void* buffer, uint32_t* length,
                   uint32_t* index) override {
        DWORD size = *length;
        DWORD at = index ? *index : 0;
        BOOL ok = Native<Row::HttpQueryInfoA>()(request, level, buffer, &size, index ? &at : nullptr);
        // A short buffer or a header that is not there are answers, not failures.
        DWORD error = ok ? 0 : GetLastError();
        if (!ok && error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_HTTP_HEADER_NOT_FOUND)
            sys::TraceLastError("HttpQueryInfoA");
        *length = size;
        if (index) *index = at;
        return ok != FALSE;
    }
    bool CloseHandle(InternetHandle handle) override {
        return Native<Row::InternetCloseHandle>()(handle) != FALSE;
    }
};

}  // namespace

InternetApi& DefaultInternetApi() {
    static WinInetApi api;
    return api;
}

}  // namespace web
