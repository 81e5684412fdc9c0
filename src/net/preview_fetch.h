// One picture from the node's web server, for the preview and detail caches.
#pragma once

#include <string>

namespace net {

// The body of a GET whose answer has a 2xx status; empty otherwise (no answer, an error page,
// an empty body, or one over the picture limit, which is never held whole), so a failure is never
// taken for a picture. The URL is built from node text
// (the preview base and a name, the node id and a detail path): one the HTTP engine refuses
// (a control byte, a space, a scheme other than http or https) sends nothing and gives empty.
std::string FetchPicture(const std::string& url);

}  // namespace net
