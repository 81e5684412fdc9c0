// The PROXY protocol header (version 1 text or version 2 binary) that a load balancer such as
// HAProxy (`send-proxy`, `send-proxy-v2`) puts before a client's bytes, naming the client.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace node {

enum class ProxyParse { kNeedMore, kBad, kDone };

// Reads the header at the start of `data`, which may still be incomplete. On kDone the first
// `consumed` bytes were the header and `source` holds the client's address, or is empty when
// the proxy speaks for itself (LOCAL, UNKNOWN: a health check).
ProxyParse ParseProxyHeader(std::string_view data, size_t& consumed, std::string& source);

}  // namespace node
