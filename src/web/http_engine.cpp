#include "web/http_engine.h"

#include <algorithm>
#include <array>

#include "sys/text.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/url_text.h"
#include "web/urls.h"

namespace web {
namespace {

constexpr std::array<const char*, kMethodCount> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                          "OPTIONS", "DELETE", "TRACE", "CONNECT"};

constexpr uint32_t kOpenTypeDirect = 1;  // INTERNET_OPEN_TYPE_DIRECT
constexpr uint32_t kOpenTypeProxy = 3;   // INTERNET_OPEN_TYPE_PROXY
constexpr uint32_t kServiceHttp = 3;     // INTERNET_SERVICE_HTTP
constexpr uint32_t kFlagReload = 0x80000000;
constexpr uint32_t kFlagNeedFile = 0x10;
constexpr uint32_t kFlagNoCookies = 0x80000;
constexpr uint32_t kFlagNoAutoRedirect = 0x200000;
constexpr uint32_t kFlagSecure = 0x800000;
constexpr uint32_t kFlagIgnoreRedirectToHttps = 0x4000;
constexpr uint32_t kOptionSecurityFlags = 31;
// Every certificate and redirect-ignore bit: certificate errors never stop a request.
constexpr uint32_t kIgnoreCertificateErrors = 0x1F380;
constexpr uint32_t kQueryRawHeadersCrlf = 22;
constexpr uint32_t kReadChunk = 1024;
constexpr uint32_t kHeaderBufferSize = 5000;

// Closes its handle once, at Close() or at the end of its scope; the scopes nest as the
// handles do, so an early return closes exactly the ones already open, innermost first.
class HandleOwner {
  public:
    HandleOwner(InternetApi& api, InternetHandle handle) : api_(api), handle_(handle) {}
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    ~HandleOwner() { Close(); }

    InternetHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Close() {
        if (handle_) api_.CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    InternetApi& api_;
    InternetHandle handle_;
};

bool ContainsI(std::string_view text, std::string_view what) { return sys::Find(text, what, 1, true) > 0; }

// A URL that names a scheme names http or https: this engine speaks nothing else, and a
// "file://" or "ftp://" handed to the HTTP calls would reach a host nobody meant. A URL
// without "://" before its first "/" is read as http.
bool HasForeignScheme(std::string_view url) {
    size_t mark = url.find("://");
    if (mark == std::string_view::npos || url.substr(0, mark).find('/') != std::string_view::npos)
        return false;
    std::string scheme = sys::ToLowerAscii(url.substr(0, mark));
    return scheme != "http" && scheme != "https";
}

std::string PickAgent(const std::string& headers) {
    if (!ContainsI(headers, "User-Agent:")) return kDefaultAgent;
    std::string agent = sys::Trim(TextBetween(headers + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty()) {
        int colon = sys::Find(headers, ":");
        agent = sys::Trim(std::string_view(headers).substr(static_cast<size_t>(colon)));
    }
    return agent;
}

void CompleteHeaders(std::string& h, const std::string& url, int method) {
    if (h.empty()) h = "Accept: */*";
    if (!ContainsI(h, "Accept:")) h += "\r\nAccept: */*";
    if (!ContainsI(h, "Referer:")) h += "\r\nReferer: " + url;
    if (!ContainsI(h, "Accept-Language:")) h += "\r\nAccept-Language: zh-cn";
    if (method == 1 && !ContainsI(h, "Content-Type:"))
        h += "\r\nContent-Type: application/x-www-form-urlencoded";
}

std::string ReadBody(InternetApi& api, InternetHandle request, size_t maxBody) {
    std::string body;
    std::array<char, kReadChunk> buffer;
    for (;;) {
        // A failed read ends the body too: WinINet gives no count to trust then, and a count
        // left over from before would never reach 0.
        uint32_t n = 0;
        bool ok = api.ReadFile(request, buffer.data(), kReadChunk, &n);
        if (!ok || n == 0) break;
        size_t got = std::min(n, kReadChunk);
        // Nothing past the caller's limit is held: a hostile server cannot fill the memory.
        if (got > maxBody - body.size()) return {};
        body.append(buffer.data(), got);
    }
    return body;
}

std::string QueryRawHeaders(InternetApi& api, InternetHandle request) {
    std::string headers(kHeaderBufferSize, ' ');
    uint32_t size = kHeaderBufferSize;
    if (api.QueryInfo(request, kQueryRawHeadersCrlf, headers.data(), &size, nullptr)) {
        headers.resize(std::min(size, kHeaderBufferSize));
    }
    return headers;
}

}  // namespace

std::string WebRequest(InternetApi& api, const std::string& url, int method, const std::string& postText,
                       std::string* cookies, std::string* returnedCookies, const std::string& extraHeaders,
                       std::string* returnedHeaders, bool noRedirect, std::string* postBytes,
                       const std::string& proxy, bool mergeCookies, bool completeHeaders,
                       bool normalizeHeaderNames, size_t maxBody) {
    // URLs come from the node.
    if (!IsSendableUrlText(url) || HasForeignScheme(url)) return {};
    int port = UrlPort(url);
    // The connect call takes 16 bits; a larger number would silently reach another port.
    if (port < 0 || port > 0xFFFF) return {};

    std::string h = normalizeHeaderNames ? NormalizeHeaderNames(extraHeaders) : extraHeaders;
    if (method < 0 || method >= kMethodCount) method = 0;
    const char* verb = kVerbs[static_cast<size_t>(method)];
    bool secure = sys::ToLowerAscii(std::string_view(url).substr(0, 8)) == "https://";
    std::string agent = PickAgent(h);

    std::string proxyList = secure ? proxy : "http=" + proxy;
    HandleOwner internet(api, proxy.empty()
                                  ? api.Open(agent.c_str(), kOpenTypeDirect, nullptr, nullptr, 0)
                                  : api.Open(agent.c_str(), kOpenTypeProxy, proxyList.c_str(), "", 0));
    if (!internet) return {};

    std::string host = UrlHost(url);
    HandleOwner connection(api, api.Connect(internet.get(), host.c_str(), static_cast<uint16_t>(port),
                                            nullptr, nullptr, kServiceHttp, 0, 0));
    if (!connection) return {};

    uint32_t flags = kFlagReload | kFlagNeedFile;
    if (cookies) flags |= kFlagNoCookies;  // WinINet then neither sends nor stores its own
    if (noRedirect) flags |= kFlagNoAutoRedirect;
    flags |= secure ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    std::string path = UrlPath(url);
    HandleOwner request(
        api, api.OpenRequest(connection.get(), verb, path.c_str(), "HTTP/1.1", nullptr, nullptr, flags, 0));
    if (!request) return {};

    uint32_t security = kIgnoreCertificateErrors;
    api.SetOption(request.get(), kOptionSecurityFlags, &security, sizeof security);

    if (completeHeaders) CompleteHeaders(h, url, method);
    if (cookies && !cookies->empty()) {
        h += sys::Find(*cookies, "Cookie:") > 0 ? "\r\n" + *cookies : "\r\nCookie: " + *cookies;
    }

    const uint32_t headerLength = static_cast<uint32_t>(h.size());
    if (method == 0) {
        api.SendRequest(request.get(), h.c_str(), headerLength, nullptr, 0);
    } else {
        std::string textBytes;
        std::string* data = postBytes ? postBytes : &textBytes;
        if (data->empty()) *data = postText;
        api.SendRequest(request.get(), h.c_str(), headerLength, data->empty() ? nullptr : data->data(),
                        static_cast<uint32_t>(data->size()));
    }

    std::string body = ReadBody(api, request.get(), maxBody);
    std::string headers = QueryRawHeaders(api, request.get());
    request.Close();
    connection.Close();
    internet.Close();

    std::string received = ExtractSetCookies(headers);
    if (mergeCookies && cookies) received = MergeCookies(*cookies, received);
    if (returnedHeaders) *returnedHeaders = std::move(headers);
    if (returnedCookies) *returnedCookies = std::move(received);
    return body;
}

std::string WebRequest(const std::string& url, int method, const std::string& postText, std::string* cookies,
                       std::string* returnedCookies, const std::string& extraHeaders,
                       std::string* returnedHeaders, bool noRedirect, std::string* postBytes,
                       const std::string& proxy, bool mergeCookies, bool completeHeaders,
                       bool normalizeHeaderNames, size_t maxBody) {
    return WebRequest(DefaultInternetApi(), url, method, postText, cookies, returnedCookies, extraHeaders,
                      returnedHeaders, noRedirect, postBytes, proxy, mergeCookies, completeHeaders,
                      normalizeHeaderNames, maxBody);
}

}  // namespace web
