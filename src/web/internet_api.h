// The eight WinINet calls the HTTP engine makes, as a seam. Arguments and results mean what
// they mean to the WinINet "A" functions of the same names; a null pointer stands for NULL,
// and a null handle for failure.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace web {

using InternetHandle = void*;

class InternetApi {
  public:
    virtual ~InternetApi() = default;

    virtual InternetHandle Open(const char* agent, uint32_t accessType, const char* proxy,
                                const char* proxyBypass, uint32_t flags) = 0;
    virtual InternetHandle Connect(InternetHandle internet, const char* host, uint16_t port, const char* user,
                                   const char* password, uint32_t service, uint32_t flags,
                                   uintptr_t context) = 0;
    virtual InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* object,
                                       const char* version, const char* referrer, const char** acceptTypes,
                                       uint32_t flags, uintptr_t context) = 0;
    virtual bool SetOption(InternetHandle handle, uint32_t option, void* buffer, uint32_t length) = 0;
    virtual bool SendRequest(InternetHandle request, const char* headers, uint32_t headersLength,
                             void* optional, uint32_t optionalLength) = 0;
    virtual bool ReadFile(InternetHandle request, void* buffer, uint32_t toRead, uint32_t* read) = 0;
    virtual bool QueryInfo(InternetHandle request, uint32_t level, void* buffer, uint32_t* length,
                           uint32_t* index) = 0;
    virtual bool CloseHandle(InternetHandle handle) = 0;
};

// QueryInfo's answer for a whole header block: copied when the buffer holds it, and its size in
// `length` either way, so a caller with too small a buffer learns what to ask for.
inline bool CopyHeaderBlock(const std::string& head, void* buffer, uint32_t* length) {
    bool fits = buffer && *length >= head.size();
    if (fits) std::memcpy(buffer, head.data(), head.size());
    *length = static_cast<uint32_t>(head.size());
    return fits;
}

// The seam WebRequest uses when it is given none: WinINet on Windows, and natively a plain
// HTTP/1.0 client over the socket layer. Safe from any thread.
InternetApi& DefaultInternetApi();

}  // namespace web
