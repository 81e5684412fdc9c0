#include "address_share.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "log.h"

namespace node {

std::string AddressText(const sockaddr* sa) {
    char host[INET6_ADDRSTRLEN] = "?";
    if (!sa) return host;
    if (sa->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, host, sizeof host);
    } else if (sa->sa_family == AF_INET6) {
        auto* a6 = reinterpret_cast<const sockaddr_in6*>(sa);
        // A v4 client on a dual-stack socket is the same client as on a v4 socket.
        if (IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr))
            inet_ntop(AF_INET, &a6->sin6_addr.s6_addr[12], host, sizeof host);
        else
            inet_ntop(AF_INET6, &a6->sin6_addr, host, sizeof host);
    }
    return host;
}

AddressShare::AddressShare(std::string what, int perAddress)
    : what_(std::move(what)), perAddress_(perAddress) {}

bool AddressShare::Allows(const std::string& address) const { return Count(address) < perAddress_; }

int AddressShare::Count(const std::string& address) const {
    auto it = counts_.find(address);
    return it == counts_.end() ? 0 : it->second;
}

void AddressShare::Add(const std::string& address) { ++counts_[address]; }

void AddressShare::Remove(const std::string& address) {
    auto it = counts_.find(address);
    if (it != counts_.end() && --it->second <= 0) counts_.erase(it);
}

void AddressShare::Refused(const std::string& address, const std::string& why) {
    auto now = std::chrono::steady_clock::now();
    // Many addresses refused once each must not grow the table without end.
    if (refusals_.size() > 65536)
        for (auto it = refusals_.begin(); it != refusals_.end();)
            it = now - it->second.logged >= std::chrono::minutes(1) ? refusals_.erase(it) : std::next(it);
    auto [it, fresh] = refusals_.try_emplace(address);
    Quiet& q = it->second;
    if (!fresh && now - q.logged < std::chrono::minutes(1)) {
        ++q.unlogged;
        return;
    }
    std::string more =
        q.unlogged ? " (" + std::to_string(q.unlogged) + " more refused since the last line for it)" : "";
    Log(what_ + ": refused " + address + ": " + why + more);
    q.logged = now;
    q.unlogged = 0;
}

}  // namespace node
