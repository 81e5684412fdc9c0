// Inside the socket layer: the system headers and the few calls that differ by platform.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "socket_compat.h"

namespace sockcompat::detail {

#ifdef _WIN32
static_assert(sizeof(Handle) == sizeof(SOCKET) && kInvalid == INVALID_SOCKET);
#endif
static_assert(sizeof(Address::bytes) >= sizeof(sockaddr_storage));

// A new TCP socket (not inherited by child processes), and one accepted connection.
Handle NewSocket(int family);
Handle AcceptOne(Handle listener);
bool SetBlocking(Handle s, bool blocking);
// The last connect() error means "in progress".
bool ConnectStarted();
// Waits until a non-blocking connect finishes: 1 connected, 0 timed out, -1 failed.
int WaitConnected(Handle s, int timeoutMs);
// Before bind on a listener: exclusive use on Windows (SO_REUSEADDR there would let another
// socket steal the port), quick reuse after a close elsewhere.
void PrepareListener(Handle s);

}  // namespace sockcompat::detail
