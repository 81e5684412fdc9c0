// One complete, blocking HTTP(S) exchange over WinINet.
//
// Every call opens its own internet, connection and request handles, reads the whole response,
// closes them and returns the body; nothing survives a call and nothing comes from a cache.
// Bytes are std::string. Out-arguments are pointers; a null one is simply not written (for
// `cookies` a null pointer means "absent", which differs from an empty text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "web/internet_api.h"

namespace web {

// Index of `method`; anything outside 0..7 is GET.
// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT.
constexpr int kMethodCount = 8;
inline constexpr const char* kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Returns the response body whatever its status; empty when a handle failed to open, in which
// case no out-argument is touched. A URL holding a control byte, DEL or a space, naming a
// scheme other than http or https, or a port outside 0..65535, is refused the same way before
// anything is opened. A body longer than `maxBody` bytes is not read on: the result is empty.
std::string WebRequest(InternetApi& api, const std::string& url, int method = 0,
                       const std::string& postText = {}, std::string* cookies = nullptr,
                       std::string* returnedCookies = nullptr, const std::string& extraHeaders = {},
                       std::string* returnedHeaders = nullptr, bool noRedirect = false,
                       std::string* postBytes = nullptr, const std::string& proxy = {},
                       bool mergeCookies = true, bool completeHeaders = true,
                       bool normalizeHeaderNames = true, size_t maxBody = SIZE_MAX);

// The same over DefaultInternetApi().
std::string WebRequest(const std::string& url, int method = 0, const std::string& postText = {},
                       std::string* cookies = nullptr, std::string* returnedCookies = nullptr,
                       const std::string& extraHeaders = {}, std::string* returnedHeaders = nullptr,
                       bool noRedirect = false, std::string* postBytes = nullptr,
                       const std::string& proxy = {}, bool mergeCookies = true, bool completeHeaders = true,
                       bool normalizeHeaderNames = true, size_t maxBody = SIZE_MAX);

}  // namespace web
