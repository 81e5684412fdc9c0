#include "net/preview_fetch.h"

#include "core/preview_cache.h"
#include "sys/text.h"
#include "web/http_engine.h"

namespace net {

std::string FetchPicture(const std::string& url) {
    std::string headers;
    std::string body = web::WebRequest(url, 0, {}, nullptr, nullptr, {}, &headers, false, nullptr, {}, true,
                                       true, true, core::kMaxPictureBytes);
    // The status line: "HTTP/1.1 200 OK".
    size_t space = headers.find(' ');
    if (space == std::string::npos || !sys::StartsWith(headers, "HTTP/")) return {};
    int status = sys::ToInt(std::string_view(headers).substr(space + 1));
    if (status < 200 || status > 299) return {};
    return body;
}

}  // namespace net
