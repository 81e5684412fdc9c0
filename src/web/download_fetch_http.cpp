// One HTTP attempt of a connection: connect, request, header, body.
#include "sys/text.h"
#include "web/download_http.h"
#include "web/download_transfer.h"
#include "web/url_text.h"

namespace web {

// Redirect chains longer than this are treated as a loop.
static constexpr int kRedirectLimit = 16;

bool DownloadTransfer::ConnectHost(DownloadConnection& c, sockcompat::Socket& into, const std::string& host,
                                   int port, bool proxy) {
    Log(c.id, 0, FormatText(proxy ? "正在代理服务器解析域名 [%s]" : "正在解析域名 [%s]", host.c_str()));
    // IPv4 only: an FTP control connection's own address goes into PORT commands. The lookup is
    // bounded by the connect time too, so a stop is never held up by a silent name server.
    std::vector<sockcompat::Address> addresses;
    if (!sockcompat::Resolve(host, static_cast<uint16_t>(port), sockcompat::Family::kIPv4,
                             settings_.connectTimeoutMs, &addresses)) {
        Log(c.id, 3, FormatText(proxy ? "解析代理服务器域名 [%s]出错" : "解析域名 [%s]出错", host.c_str()));
        return false;
    }
    Log(c.id, 0, FormatText(proxy ? "正在连接代理服务器 [%s:%d]" : "正在连接 [%s:%d]", host.c_str(), port));
    sockcompat::Failure failure = sockcompat::Failure::kNone;
    sockcompat::Socket s = sockcompat::ConnectAny(addresses, settings_.connectTimeoutMs, {}, &failure);
    if (!s.valid()) {
        bool timedOut = failure == sockcompat::Failure::kTimedOut;
        Log(c.id, 3, FormatText(timedOut ? "连接 [%s:%d]超时" : "连接 [%s:%d]失败", host.c_str(), port));
        return false;
    }
    Log(c.id, 0, FormatText("连接 [%s:%d]成功", host.c_str(), port));
    s.SetReceiveTimeout(settings_.receiveTimeoutMs);
    s.SetSendTimeout(settings_.sendTimeoutMs);
    c.Set(into, std::move(s));
    return Running();
}

namespace {

struct Proxy {
    bool set = false;
    std::string host;
    int port = 80;
};

Proxy ProxyOf(const std::string& text) {
    Proxy p;
    std::string t = sys::Trim(text);
    if (t.empty()) return p;
    size_t colon = t.rfind(':');
    if (colon != std::string::npos) {
        p.port = sys::ToInt(t.substr(colon + 1));
        t.resize(colon);
    }
    if (t.empty() || p.port < 1 || p.port > 65535) return p;
    p.host = t;
    p.set = true;
    return p;
}

enum class HeadResult { kOk, kReadFailed, kTooLong };

HeadResult ReadHead(sockcompat::Socket& s, ResponseHeaderReader& reader, std::string* body) {
    char buffer[4096];
    reader.Reset();
    for (;;) {
        long n = s.Receive(buffer, sizeof buffer);
        if (n <= 0) return HeadResult::kReadFailed;
        size_t consumed = 0;
        ResponseHeaderReader::State state = reader.Feed(buffer, static_cast<size_t>(n), &consumed);
        if (state == ResponseHeaderReader::State::kComplete) {
            body->assign(buffer + consumed, static_cast<size_t>(n) - consumed);
            return HeadResult::kOk;
        }
        if (state == ResponseHeaderReader::State::kTooLong) return HeadResult::kTooLong;
    }
}

}  // namespace

// Sends the request for `url` (ranged when rangeStart >= 0) on c.control and reads the header.
// kComplete means `head` and `body` are filled.
static Attempt Exchange(DownloadTransfer& t, DownloadConnection& c, const std::string& url,
                        const DownloadUrl& parsed, int64_t rangeStart, ResponseHead* head, std::string* body,
                        Attempt onTooLong) {
    Proxy proxy = ProxyOf(t.settings_.proxy);
    bool ok = proxy.set ? t.ConnectHost(c, c.control, proxy.host, proxy.port, true)
                        : t.ConnectHost(c, c.control, parsed.host, parsed.port, false);
    if (!ok) return Attempt::kRetry;
    DownloadRequest request;
    request.url = url;
    request.parsed = parsed;
    request.referer = t.settings_.referer;
    request.viaProxy = proxy.set;
    request.rangeStart = rangeStart;
    std::string text = BuildDownloadRequest(request);
    t.Log(c.id, 1, text);
    if (!c.control.SendAll(text)) {
        t.Log(c.id, 3, "发送请求失败");
        return Attempt::kRetry;
    }
    ResponseHeaderReader reader;
    switch (ReadHead(c.control, reader, body)) {
        case HeadResult::kReadFailed:
            t.Log(c.id, 3, "接收数据超时或出错");
            return Attempt::kRetry;
        case HeadResult::kTooLong:
            t.Log(c.id, 3, "HTTP返回头部信息过长");
            return onTooLong;
        case HeadResult::kOk:
            break;
    }
    t.Log(c.id, 2, reader.text());
    *head = ParseResponseHead(reader.text());
    return Attempt::kComplete;
}

// Follows one 301/302: false (and a log) when there is no usable Location.
static bool FollowRedirect(DownloadTransfer& t, DownloadConnection& c, const ResponseHead& head,
                           int* redirects, std::string* url, DownloadUrl* parsed) {
    if (!head.hasLocation) {
        t.Log(c.id, 3, "获得重定向信息错误");
        return false;
    }
    std::string next = ResolveLocation(*url, head.location);
    t.Log(c.id, 0, FormatText("重定向到 [%s]", next.c_str()));
    DownloadUrl nextParsed;
    if (++*redirects > kRedirectLimit || !IsSendableUrlText(next) || !ParseDownloadUrl(next, &nextParsed) ||
        nextParsed.scheme != DownloadScheme::kHttp) {
        t.Log(c.id, 3, "获得重定向信息错误");
        return false;
    }
    *url = next;
    *parsed = nextParsed;
    c.CloseAll();
    return true;
}

Attempt DownloadTransfer::FirstAttemptHttp(DownloadConnection& c) {
    int redirects = 0;
    for (;;) {
        ResponseHead head;
        std::string body;
        Attempt a = Exchange(*this, c, currentUrl_, currentParsed_, -1, &head, &body, Attempt::kEndTransfer);
        if (a != Attempt::kComplete) return a;
        switch (head.status) {
            case 200:
            case 206: {
                int64_t total = head.contentLength;
                if (head.status == 206) total = head.rangeStart == 0 ? head.rangeTotal : -1;
                if (total < 0) {
                    Log(c.id, 3, "无法获得文件大小");
                    return Attempt::kEndTransfer;
                }
                if (!PrepareOutput(c, total, true)) return Attempt::kEndTransfer;
                return ReceiveBody(c, c.control, body.data(), body.size(), 0);
            }
            case 301:
            case 302:
                // Later connections ask the address the redirects ended at.
                if (!FollowRedirect(*this, c, head, &redirects, &currentUrl_, &currentParsed_))
                    return Attempt::kEndTransfer;
                continue;
            case 400:
            case 403:
            case 404:
                Log(c.id, 3, "出现错误");
                return Attempt::kEndTransfer;
            default:
                Log(c.id, 3, FormatText("暂时不支持的返回, 返回号[%d]", head.status));
                return Attempt::kEndTransfer;
        }
    }
}

Attempt DownloadTransfer::SegmentAttemptHttp(DownloadConnection& c) {
    std::string url = currentUrl_;
    DownloadUrl parsed = currentParsed_;
    int redirects = 0;
    int64_t total = total_.load();
    for (;;) {
        int64_t offset, missing;
        if (!SegmentPosition(c, &offset, &missing)) return Attempt::kGiveUp;
        if (missing <= 0) return Attempt::kComplete;
        ResponseHead head;
        std::string body;
        // A range the server refuses for good can never be filled: the transfer ends short
        // rather than leaving the range to nobody. A busy server is only asked again later.
        Attempt a = Exchange(*this, c, url, parsed, offset, &head, &body, Attempt::kEndTransfer);
        if (a != Attempt::kComplete) return a;
        int64_t skip = -1;
        if (head.status == 206) {
            // The data must start at or before the asked offset and belong to the same file.
            if (head.rangeStart >= 0 && head.rangeStart <= offset &&
                (head.rangeTotal < 0 || head.rangeTotal == total))
                skip = offset - head.rangeStart;
        } else if (head.status == 200) {
            // A server that ignores ranges sends the whole file again: skip to our offset.
            if (head.contentLength == total) skip = offset;
        } else if (head.status == 301 || head.status == 302) {
            if (!FollowRedirect(*this, c, head, &redirects, &url, &parsed)) return Attempt::kEndTransfer;
            continue;
        }
        if (skip < 0) {
            Log(c.id, 3, FormatText("暂时不支持的返回, 返回号[%d]", head.status));
            bool busy = head.status >= 500 || head.status == 408 || head.status == 429;
            return busy ? Attempt::kRetry : Attempt::kEndTransfer;
        }
        return ReceiveBody(c, c.control, body.data(), body.size(), skip);
    }
}

}  // namespace web
