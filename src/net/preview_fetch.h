// One picture from the node's web server, for the preview and detail caches.
#pragma once

#include <string>

namespace net {

// The body of a GET whose answer has a 2xx status; empty otherwise (no answer, an error page,
// an empty body), so a failure is never taken for a picture.
std::string FetchPicture(const std::string& url);

}  // namespace net
