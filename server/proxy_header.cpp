#include "proxy_header.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

namespace node {
namespace {

constexpr char kV2Signature[] = "\r\n\r\n\0\r\nQUIT\n";  // 12 bytes
constexpr size_t kV2SignatureSize = 12;
constexpr size_t kV1Max = 107;      // the longest line version 1 allows, CRLF included
constexpr size_t kV2MaxBody = 512;  // addresses plus a few TLVs; more is not a header we take

bool IsPrefixOf(std::string_view data, std::string_view whole) {
    return whole.substr(0, data.size()) == data.substr(0, whole.size());
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        size_t sp = line.find(' ', i);
        if (sp == std::string_view::npos) sp = line.size();
        out.push_back(line.substr(i, sp - i));
        i = sp + 1;
    }
    return out;
}

bool IsPort(std::string_view s) {
    if (s.empty() || s.size() > 5) return false;
    unsigned v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v <= 65535;
}

ProxyParse ParseV1(std::string_view data, size_t& consumed, std::string& source) {
    size_t end = data.find("\r\n");
    if (end == std::string_view::npos)
        return data.size() >= kV1Max ? ProxyParse::kBad : ProxyParse::kNeedMore;
    if (end + 2 > kV1Max) return ProxyParse::kBad;
    auto w = Words(data.substr(0, end));
    if (w.size() >= 2 && w[0] == "PROXY" && w[1] == "UNKNOWN") {
        source.clear();
    } else {
        if (w.size() != 6 || w[0] != "PROXY" || (w[1] != "TCP4" && w[1] != "TCP6")) return ProxyParse::kBad;
        int family = w[1] == "TCP4" ? AF_INET : AF_INET6;
        unsigned char buf[16];
        std::string src(w[2]), dst(w[3]);
        if (inet_pton(family, src.c_str(), buf) != 1 || inet_pton(family, dst.c_str(), buf) != 1 ||
            !IsPort(w[4]) || !IsPort(w[5]))
            return ProxyParse::kBad;
        source = src;
    }
    consumed = end + 2;
    return ProxyParse::kDone;
}

ProxyParse ParseV2(std::string_view data, size_t& consumed, std::string& source) {
    if (data.size() < 16) return ProxyParse::kNeedMore;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
    if ((byte(12) >> 4) != 2) return ProxyParse::kBad;
    unsigned command = byte(12) & 0x0F;
    if (command > 1) return ProxyParse::kBad;
    size_t length = (static_cast<size_t>(byte(14)) << 8) | byte(15);
    if (length > kV2MaxBody) return ProxyParse::kBad;
    if (data.size() < 16 + length) return ProxyParse::kNeedMore;
    unsigned family = byte(13) >> 4;
    char text[INET6_ADDRSTRLEN] = "";
    source.clear();
    if (command == 1 && family == 1) {  // TCP or UDP over IPv4
        if (length < 12) return ProxyParse::kBad;
        inet_ntop(AF_INET, data.data() + 16, text, sizeof text);
        source = text;
    } else if (command == 1 && family == 2) {  // over IPv6
        if (length < 36) return ProxyParse::kBad;
        inet_ntop(AF_INET6, data.data() + 16, text, sizeof text);
        source = text;
    }
    consumed = 16 + length;
    return ProxyParse::kDone;
}

}  // namespace

ProxyParse ParseProxyHeader(std::string_view data, size_t& consumed, std::string& source) {
    std::string_view sig(kV2Signature, kV2SignatureSize);
    if (data.size() < kV2SignatureSize && IsPrefixOf(data, sig)) return ProxyParse::kNeedMore;
    if (data.substr(0, kV2SignatureSize) == sig) return ParseV2(data, consumed, source);
    if (data.size() < 6) return IsPrefixOf(data, "PROXY ") ? ProxyParse::kNeedMore : ProxyParse::kBad;
    if (data.substr(0, 6) != "PROXY ") return ProxyParse::kBad;
    return ParseV1(data, consumed, source);
}

}  // namespace node
