// The PROXY protocol header as a load balancer sends it, whole or in pieces, and what is not one.
#include "proxy_header.h"

#include <gtest/gtest.h>

namespace {

using node::ParseProxyHeader;
using node::ProxyParse;

TEST(ProxyHeader, BothVersionsAtEverySplitAndTheBytesAfter) {
    std::string v2("\r\n\r\n\0\r\nQUIT\n\x21\x21\x00\x24", 16);
    v2 += std::string("\x20\x01\x0d\xb8", 4) + std::string(11, '\0') + "\x07" + std::string(16, '\0') +
          "\x9c\x40\x06\x5d";
    const std::pair<std::string, std::string> cases[] = {
        {"PROXY TCP4 203.0.113.7 10.0.0.1 40000 1629\r\n", "203.0.113.7"},
        {"PROXY TCP6 2001:db8::7 2001:db8::1 40000 1629\r\n", "2001:db8::7"},
        {"PROXY UNKNOWN\r\n", ""},
        {v2, "2001:db8::7"},
        {std::string("\r\n\r\n\0\r\nQUIT\n\x20\x00\x00\x00", 16), ""},  // LOCAL: a health check
    };
    for (const auto& [header, source] : cases) {
        std::string data = header + "&2";
        for (size_t cut = 0; cut < header.size(); ++cut) {
            size_t used = 99;
            std::string from;
            ASSERT_EQ(ParseProxyHeader(data.substr(0, cut), used, from), ProxyParse::kNeedMore)
                << header << cut;
        }
        size_t used = 0;
        std::string from = "x";
        ASSERT_EQ(ParseProxyHeader(data, used, from), ProxyParse::kDone) << header;
        EXPECT_EQ(used, header.size());
        EXPECT_EQ(from, source);
    }
    for (std::string bad :
         {std::string("GET / HTTP/1.1\r\n"), std::string("\x01\x00\x00\xFF", 4),
          std::string("PROXY TCP4 999.0.0.1 10.0.0.1 1 2\r\n"),
          std::string("PROXY TCP4 1.2.3.4 10.0.0.1 1 70000\r\n"),
          std::string("PROXY TCP4 1.2.3.4 10.0.0.1 1\r\n"), "PROXY " + std::string(200, 'a'),
          std::string("\r\n\r\n\0\r\nQUIT\n\x11\x11\x00\x0C", 16),
          std::string("\r\n\r\n\0\r\nQUIT\n\x21\x11\x00\x04", 16) + "abcd",
          std::string("\r\n\r\n\0\r\nQUIT\n\x21\x11\xFF\xFF", 16)}) {
        size_t used = 0;
        std::string from;
        EXPECT_EQ(ParseProxyHeader(bad, used, from), ProxyParse::kBad) << bad;
    }
}

}  // namespace
