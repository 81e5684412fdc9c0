// The one rule for URL text that came from outside (the node, a server's Location): it may go
// on the wire only when it holds no control byte, no DEL and no space. A CR or LF would end
// the request line early and let the rest become headers of the sender's choosing; a space
// would cut the request line's path.
#pragma once

#include <algorithm>
#include <string_view>

namespace web {

inline bool IsSendableUrlText(std::string_view url) {
    return std::none_of(url.begin(), url.end(), [](char c) {
        unsigned char b = static_cast<unsigned char>(c);
        return b <= 0x20 || b == 0x7F;
    });
}

}  // namespace web
