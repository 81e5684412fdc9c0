#include "web/download_url.h"

#include "sys/text.h"

namespace web {

static int SumOf(std::string_view text, size_t from, size_t count) {
    if (text.size() < from + count) return -1;
    int sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += static_cast<unsigned char>(text[i]);
    return sum;
}

DownloadScheme DownloadSchemeOf(std::string_view url, size_t* prefixLength) {
    std::string lower = sys::ToLowerAscii(url);
    DownloadScheme scheme = DownloadScheme::kNone;
    size_t length = 0;
    if (!lower.empty()) {
        switch (lower[0]) {
            case 'h':
                if (SumOf(lower, 1, 6) == 496) scheme = DownloadScheme::kHttp, length = 7;
                break;
            case 'f':
                if (SumOf(lower, 1, 5) == 380) scheme = DownloadScheme::kFtp, length = 6;
                break;
            case 'm':
                if (SumOf(lower, 1, 5) == 376) {
                    scheme = DownloadScheme::kMms, length = 6;
                } else if (SumOf(lower, 1, 6) == 492) {
                    scheme = DownloadScheme::kMms, length = 7;
                }
                break;
            case 'r':
                if (SumOf(lower, 1, 6) == 495) scheme = DownloadScheme::kRtsp, length = 7;
                break;
        }
    }
    if (prefixLength) *prefixLength = length;
    return scheme;
}

int DefaultPort(DownloadScheme scheme) {
    switch (scheme) {
        case DownloadScheme::kHttp:
            return 80;
        case DownloadScheme::kFtp:
            return 21;
        case DownloadScheme::kMms:
            return 1755;
        case DownloadScheme::kRtsp:
            return 554;
        default:
            return 0;
    }
}

static bool AllDigits(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ParseDownloadUrl(std::string_view url, DownloadUrl* out) {
    size_t prefix = 0;
    DownloadUrl parsed;
    parsed.scheme = DownloadSchemeOf(url, &prefix);
    if (parsed.scheme == DownloadScheme::kNone) return false;
    size_t slash = url.find('/', prefix);
    if (slash == std::string_view::npos) return false;
    std::string_view hostPart = url.substr(prefix, slash - prefix);
    parsed.path = std::string(url.substr(slash));

    // User information ends at the last "@", so a password may itself hold one.
    size_t at = hostPart.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = hostPart.substr(0, at);
        size_t colon = info.find(':');
        parsed.user = std::string(info.substr(0, colon));
        if (colon != std::string_view::npos) parsed.password = std::string(info.substr(colon + 1));
        hostPart = hostPart.substr(at + 1);
    }
    size_t colon = hostPart.find(':');
    parsed.port = DefaultPort(parsed.scheme);
    if (colon != std::string_view::npos) {
        std::string_view digits = hostPart.substr(colon + 1);
        if (!AllDigits(digits)) return false;
        parsed.port = sys::ToInt(digits);
        hostPart = hostPart.substr(0, colon);
    }
    if (hostPart.empty() || parsed.port < 1 || parsed.port > 65535) return false;
    parsed.host = std::string(hostPart);
    *out = std::move(parsed);
    return true;
}

}  // namespace web
