// The connect bound holds while the name server sits on the query. Run through slow_dns.sh,
// which points the resolver at 127.0.0.1:53 in a private network; this test is that server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "HPSocket4C.h"
#include "socket_compat.h"

namespace {

// Reads queries and answers none.
class SilentNameServer {
  public:
    SilentNameServer() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(53);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
        bound_ = true;
        thread_ = std::thread([this] {
            char buffer[512];
            while (!stop_.load()) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 50) > 0 && recv(fd_, buffer, sizeof buffer, 0) > 0) queries_.fetch_add(1);
            }
        });
    }
    ~SilentNameServer() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    bool bound() const { return bound_; }
    int queries() const { return queries_.load(); }

  private:
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    std::thread thread_;
};

}  // namespace

TEST(SlowNameServer, ConnectBoundsIncludeTheNameLookup) {
    if (!std::getenv("MIAOLAN_SLOW_DNS")) GTEST_SKIP() << "runs through tests/packclient/slow_dns.sh";
    SilentNameServer server;
    ASSERT_TRUE(server.bound());

    // The socket layer alone: the lookup is given up when its time is over. The resolver would
    // wait 30 s; the test's own time-out is well below that, so a lookup that is not bounded
    // shows as a hang.
    std::vector<sockcompat::Address> addresses;
    EXPECT_FALSE(sockcompat::Resolve("node.miaolan.test", 1629, sockcompat::Family::kIPv4, 300, &addresses));
    EXPECT_TRUE(addresses.empty());
    sockcompat::Failure failure = sockcompat::Failure::kNone;
    EXPECT_FALSE(sockcompat::Connect("node.miaolan.test", 1629, 300, {}, &failure).valid());
    EXPECT_EQ(failure, sockcompat::Failure::kHostName);

    // The packet library's synchronous start, as the window calls it with a node given by name.
    HP_TcpClientListener listener = Create_HP_TcpPackClientListener();
    HP_TcpPackClient client = Create_HP_TcpPackClient(listener);
    ASSERT_NE(client, nullptr);
    EXPECT_FALSE(
        HP_Client_StartWithBindAddressAndLocalPort(client, "node.miaolan.test", 1629, FALSE, nullptr, 0));
    EXPECT_EQ(HP_Client_GetLastError(client), SE_CONNECT_SERVER);
    EXPECT_FALSE(HP_Client_HasStarted(client));
    Destroy_HP_TcpPackClient(client);
    Destroy_HP_TcpPackClientListener(listener);

    // Every lookup really went to the silent server (not to a hosts file or a cache).
    EXPECT_GE(server.queries(), 3);
}
