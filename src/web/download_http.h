// The HTTP side of the download engine: the request it sends and the response header it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "web/download_url.h"

namespace web {

inline constexpr const char* kDownloadUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
inline constexpr size_t kHeaderLimit = 4097;

struct DownloadRequest {
    std::string url;  // the whole URL, for the proxy form and the default Referer
    DownloadUrl parsed;
    std::string referer;  // empty: the URL cut before its last "/"
    bool viaProxy = false;
    int64_t rangeStart = -1;  // >= 0 adds "Range: bytes=<start>-"
};

// The request text, ending with the empty line.
std::string BuildDownloadRequest(const DownloadRequest& request);

// Reads a response header incrementally. Feed received bytes; once the empty line has arrived
// the header is complete and Feed reports how many of the fed bytes belonged to it (the rest is
// body). A header that grows past kHeaderLimit bytes without its end is too long.
class ResponseHeaderReader {
  public:
    enum class State { kNeedMore, kComplete, kTooLong };

    // Returns the state after these bytes; *consumed is the count taken into the header.
    State Feed(const char* data, size_t length, size_t* consumed);

    State state() const { return state_; }
    const std::string& text() const { return text_; }
    void Reset();

  private:
    std::string text_;
    State state_ = State::kNeedMore;
};

struct ResponseHead {
    int status = 0;  // 0 when the status line is not HTTP/1.0 or HTTP/1.1
    int64_t contentLength = -1;
    int64_t rangeStart = -1;  // from Content-Range
    int64_t rangeTotal = -1;
    bool hasLocation = false;
    std::string location;
};

// Interprets a complete header text.
ResponseHead ParseResponseHead(std::string_view header);

// Resolves a Location value against the URL it answered (absolute URLs pass unchanged;
// "/path" keeps scheme and host; other relative forms replace the last path piece).
std::string ResolveLocation(std::string_view base, std::string_view location);

}  // namespace web
