// Connections per client address, so one address cannot take a whole server, and refusals
// logged once per address and minute, so a flood cannot fill the log. Used on one thread.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <string>
#include <unordered_map>

namespace node {

// The address part of a socket address ("192.0.2.7", "2001:db8::1"), without the port.
std::string AddressText(const sockaddr* sa);

class AddressShare {
  public:
    // `what` starts each log line ("pack", "http"); `perAddress` is the most one address holds.
    AddressShare(std::string what, int perAddress);

    bool Allows(const std::string& address) const;
    void Add(const std::string& address);
    void Remove(const std::string& address);
    int Count(const std::string& address) const;

    // Logs "WHAT: refused ADDRESS: WHY" unless this address was logged within the last
    // minute; the next line it gets says how many were left out meanwhile.
    void Refused(const std::string& address, const std::string& why);

  private:
    struct Quiet {
        std::chrono::steady_clock::time_point logged;
        long unlogged = 0;
    };
    std::string what_;
    int perAddress_;
    std::unordered_map<std::string, int> counts_;
    std::unordered_map<std::string, Quiet> refusals_;
};

}  // namespace node
