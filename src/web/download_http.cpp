#include "web/download_http.h"

#include <cstring>

#include "sys/text.h"

namespace web {

std::string BuildDownloadRequest(const DownloadRequest& r) {
    std::string range;
    if (r.rangeStart >= 0) range = "Range: bytes=" + std::to_string(r.rangeStart) + "-\r\n";
    std::string text;
    if (r.viaProxy) {
        text += "GET " + r.url + " HTTP/1.1\r\n";
        text += "Host: " + r.parsed.host + "\r\n";
        text += std::string("User-Agent: ") + kDownloadUserAgent + "\r\n";
        // Without the range line a proxied segment would arrive from the file's start.
        text += range;
        text += "Proxy-Connection: Keep-Alive\r\n";
        text += "\r\n";
        return text;
    }
    text += "GET " + r.parsed.path + " HTTP/1.1\r\n";
    text += "Host: " + r.parsed.host + "\r\n";
    text += "Accept: */*\r\n";
    std::string referer = r.referer;
    if (referer.empty()) {
        int last = sys::FindLast(r.url, "/");
        if (last > 1 && static_cast<size_t>(last - 1) <= 1024) referer = r.url.substr(0, last - 1);
    }
    if (!referer.empty()) text += "Referer: " + referer + "\r\n";
    text += std::string("User-Agent: ") + kDownloadUserAgent + "\r\n";
    text += range;
    text += "Pragma: no-cache\r\n";
    text += "Cache-Control: no-cache\r\n";
    text += "Connection: close\r\n";
    text += "\r\n";
    return text;
}

void ResponseHeaderReader::Reset() {
    text_.clear();
    state_ = State::kNeedMore;
}

ResponseHeaderReader::State ResponseHeaderReader::Feed(const char* data, size_t length, size_t* consumed) {
    *consumed = 0;
    if (state_ != State::kNeedMore) return state_;
    size_t before = text_.size();
    // Only the bytes that can still fit are looked at; the end may straddle two feeds.
    size_t room = kHeaderLimit - before;
    size_t take = length < room ? length : room;
    text_.append(data, take);
    size_t from = before >= 3 ? before - 3 : 0;
    for (size_t i = from; i < text_.size(); ++i) {
        if (text_[i] != '\n') continue;
        bool crlf = i >= 3 && text_.compare(i - 3, 4, "\r\n\r\n") == 0;
        bool lf = i >= 1 && text_[i - 1] == '\n';
        if (crlf || lf) {
            text_.resize(i + 1);
            *consumed = i + 1 - before;
            state_ = State::kComplete;
            return state_;
        }
    }
    *consumed = take;
    if (text_.size() >= kHeaderLimit) state_ = State::kTooLong;
    return state_;
}

// The value of the first line that starts with one of the names, up to the line's end.
static bool HeaderValue(std::string_view header, std::initializer_list<std::string_view> names,
                        std::string* value) {
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find('\n', start);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (std::string_view name : names) {
            if (line.substr(0, name.size()) == name) {
                *value = std::string(line.substr(name.size()));
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

// Non-negative decimal digits with nothing but spaces around them; -1 otherwise.
static int64_t ParseCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

ResponseHead ParseResponseHead(std::string_view header) {
    ResponseHead head;
    std::string_view statusLine = header.substr(0, header.find('\n'));
    for (std::string_view version : {"HTTP/1.1", "HTTP/1.0"}) {
        size_t at = statusLine.find(version);
        if (at == std::string_view::npos) continue;
        std::string_view rest = statusLine.substr(at + version.size());
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        if (rest.size() >= 3 && rest[0] >= '1' && rest[0] <= '9' && rest[1] >= '0' && rest[1] <= '9' &&
            rest[2] >= '0' && rest[2] <= '9') {
            head.status = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
        }
        break;
    }
    std::string value;
    if (HeaderValue(header, {"Content-Length: ", "Content-length: "}, &value))
        head.contentLength = ParseCount(value);
    if (HeaderValue(header, {"Content-Range: ", "Content-range: "}, &value)) {
        // "bytes <first>-<last>/<total>"
        std::string_view v = value;
        if (v.substr(0, 6) == "bytes ") v.remove_prefix(6);
        size_t dash = v.find('-');
        size_t slash = v.find('/');
        if (dash != std::string_view::npos && slash != std::string_view::npos && dash < slash) {
            head.rangeStart = ParseCount(v.substr(0, dash));
            head.rangeTotal = ParseCount(v.substr(slash + 1));
        }
    }
    if (HeaderValue(header, {"Location: "}, &value)) {
        head.location = sys::Trim(value);
        head.hasLocation = !head.location.empty();
    }
    return head;
}

std::string ResolveLocation(std::string_view base, std::string_view location) {
    size_t prefix = 0;
    if (DownloadSchemeOf(location, &prefix) != DownloadScheme::kNone ||
        location.find("://") != std::string_view::npos)
        return std::string(location);
    size_t schemeEnd = base.find("://");
    size_t hostEnd = base.find('/', schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3);
    if (hostEnd == std::string_view::npos) hostEnd = base.size();
    if (!location.empty() && location.front() == '/')
        return std::string(base.substr(0, hostEnd)) + std::string(location);
    size_t lastSlash = base.rfind('/');
    if (lastSlash == std::string_view::npos || lastSlash < hostEnd)
        return std::string(base.substr(0, hostEnd)) + "/" + std::string(location);
    return std::string(base.substr(0, lastSlash + 1)) + std::string(location);
}

}  // namespace web
