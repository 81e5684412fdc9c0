// URLs as the download engine reads them: the scheme by its character sums, then host, port
// and path.
#pragma once

#include <string>
#include <string_view>

namespace web {

enum class DownloadScheme { kNone = 0, kHttp = 1, kFtp = 2, kMms = 3, kRtsp = 4 };

struct DownloadUrl {
    DownloadScheme scheme = DownloadScheme::kNone;
    std::string host;  // without user information or port
    int port = 0;
    std::string path;  // from the first "/" after the host, to the end
    std::string user;  // user information before "@", when the URL has one
    std::string password;
};

// The scheme type by the first letter of the lower-cased URL and the sum of the character codes
// that follow it; kNone when nothing matches (https:// among them). *prefixLength receives the
// length of the scheme part including "//".
DownloadScheme DownloadSchemeOf(std::string_view url, size_t* prefixLength = nullptr);

int DefaultPort(DownloadScheme scheme);

// False for an unrecognised scheme, a host part without a following "/", an empty host or a
// port outside 1..65535.
[[nodiscard]] bool ParseDownloadUrl(std::string_view url, DownloadUrl* out);

}  // namespace web
