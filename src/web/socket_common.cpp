// The parts of the socket shim that read the same on both platforms.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <utility>

#include "web/socket_compat.h"

namespace web::net {

bool ResolveIPv4(const std::string& host, uint32_t* address) {
    EnsureSocketsReady();
    in_addr direct{};
    if (inet_pton(AF_INET, host.c_str(), &direct) == 1) {
        *address = direct.s_addr;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

std::string FormatIPv4(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

}  // namespace web::net
