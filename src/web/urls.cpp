#include "web/urls.h"

#include "sys/text.h"

namespace web {
namespace {

constexpr std::string_view kHttps = "https://";
constexpr std::string_view kHttp = "http://";

bool HasSecureScheme(std::string_view lowerUrl) { return lowerUrl.substr(0, kHttps.size()) == kHttps; }

// 1-based position where the host starts, found the same way UrlHost finds its scheme.
int HostSearchStart(std::string_view url) {
    std::string lower = sys::ToLowerAscii(url);
    if (HasSecureScheme(lower)) return static_cast<int>(kHttps.size()) + 1;
    int at = sys::Find(lower, kHttp);
    return at > 0 ? at + static_cast<int>(kHttp.size()) : 1;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                        bool ignoreCase) {
    static const std::string kQuoteWord = "#引号";
    std::string l = sys::ReplaceAll(left, kQuoteWord, "\"");
    std::string r = sys::ReplaceAll(right, kQuoteWord, "\"");
    int a = sys::Find(text, l, start, ignoreCase);
    if (a < 0) return {};
    int b = a + static_cast<int>(l.size());
    int c = sys::Find(text, r, b, ignoreCase);
    if (c < 0) return {};
    return std::string(text.substr(static_cast<size_t>(b - 1), static_cast<size_t>(c - b)));
}

std::string UrlHost(std::string_view url, bool keepPort) {
    std::string s = sys::ToLowerAscii(url);
    if (!sys::EndsWith(s, "/")) s += '/';
    if (HasSecureScheme(s)) {
        s = TextBetween(s, kHttps, "/");
    } else {
        if (!sys::Contains(s, kHttp)) s.insert(0, kHttp);
        s = TextBetween(s, kHttp, "/");
    }
    if (!keepPort) {
        int colon = sys::Find(s, ":");
        if (colon > 0) s.resize(static_cast<size_t>(colon - 1));
    }
    return s;
}

int UrlPort(std::string_view url) {
    std::string h = UrlHost(url, true);
    int colon = sys::FindLast(h, ":");
    if (colon < 0) return sys::ToLowerAscii(url.substr(0, 5)) == "https" ? 443 : 80;
    return sys::ToInt(std::string_view(h).substr(static_cast<size_t>(colon)), true);
}

std::string UrlPath(std::string_view url) {
    std::string h = UrlHost(url);
    // The host is looked for after the scheme: a host such as "t" or "ps" would otherwise be
    // found inside "https://" and the path would start at the scheme's slashes.
    int p = h.empty() ? -1 : sys::Find(url, h, HostSearchStart(url), true);
    int q = sys::Find(url, "/", p, true);
    if (q > 0) return std::string(url.substr(static_cast<size_t>(q - 1)));
    return "/";
}

}  // namespace web
