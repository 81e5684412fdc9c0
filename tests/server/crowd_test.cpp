// Many clients at once, as on the internet: slow and idle web clients hold only their own
// connection, one address holds at most its share of either port, and behind a load balancer
// the share and the log are the real client's.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "node_harness.h"
#include "protocol.h"
#include "sys/text.h"

using namespace nodetest;

namespace {

std::string Source(int i) {
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Everything the peer sends until it closes (or 10 s pass).
std::string ReadToClose(int fd) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) all.append(buf, static_cast<size_t>(n));
    return all;
}

class NodeCrowd : public ::testing::Test {
  protected:
    TempDir cache{"crowd"};
    std::unique_ptr<RunningNode> node;
    std::vector<int> fds;
    ~NodeCrowd() override {
        for (int fd : fds) close(fd);
    }
    std::string FirstPreview() {
        PackClient c(node->packPort());
        auto f =
            c.Ask(std::string("&获取") + kSep + "K风景" + kSep + "下载最多" + kSep + "1" + kSep + "0" + kSep);
        return sys::Split(FieldOf(f, 5), "[a]").at(0);
    }
    int Open(const std::string& source, int port) {
        int fd = ConnectFrom(source, port);
        if (fd >= 0) fds.push_back(fd);
        return fd;
    }
};

TEST_F(NodeCrowd, SlowAndIdleWebClientsDoNotHoldUpAPreview) {
    node = std::make_unique<RunningNode>(TestConfig(cache.path()));
    std::string preview = FirstPreview();
    // 64 clients half-way through their headers, as a slow link trickles them, and 1,000 that
    // connected and said nothing, each from an address of its own.
    for (int i = 0; i < 1064; ++i) {
        int fd = Open(Source(i), node->httpPort());
        ASSERT_GE(fd, 0) << i;
        std::string part = "GET " + preview + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Ag";
        if (i < 64) {
            ASSERT_EQ(send(fd, part.data(), part.size(), MSG_NOSIGNAL), static_cast<ssize_t>(part.size()));
        }
    }
    auto r = HttpGet(node->httpPort(), preview);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, ReadFile(cache.path() + preview));
    // A picture still to be made comes too.
    auto d = HttpGet(node->httpPort(), "/detail/" + node::KeyFromPath(preview) + "_d.jpg");
    EXPECT_EQ(d.status, 200);
    int w = 0, h = 0;
    EXPECT_TRUE(PictureSize(d.body, w, h));
}

TEST_F(NodeCrowd, OneAddressHoldsItsShareOfEitherPort) {
    node = std::make_unique<RunningNode>(TestConfig(cache.path()));
    std::vector<std::unique_ptr<PackClient>> mine;
    for (int i = 0; i < 64; ++i) {
        mine.push_back(std::make_unique<PackClient>(node->packPort(), "127.0.9.9"));
        ASSERT_EQ(FieldOf(mine.back()->Ask("&2"), 1), "&2") << i;
    }
    const std::string ask = "GET /preview/0123456789abcdef.jpg HTTP/1.1\r\nHost: x\r\n\r\n";
    for (int i = 0; i < 64; ++i) {  // kept open after a 404 each
        int fd = Open("127.0.9.9", node->httpPort());
        ASSERT_GE(fd, 0);
        ASSERT_GT(send(fd, ask.data(), ask.size(), MSG_NOSIGNAL), 0);
        char head[12] = {};
        ASSERT_EQ(recv(fd, head, sizeof head, MSG_WAITALL), 12) << i;
        ASSERT_EQ(std::string(head, 12), "HTTP/1.1 404") << i;
    }

    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) {
        PackClient more(node->packPort(), "127.0.9.9");
        EXPECT_TRUE(more.WaitClosed());
        int fd = Open("127.0.9.9", node->httpPort());
        ASSERT_GE(fd, 0);
        send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
        EXPECT_EQ(ReadToClose(fd), "");
    }
    // Everyone else, and those already in, are served.
    PackClient other(node->packPort(), "127.0.9.10");
    EXPECT_EQ(FieldOf(other.Ask("&2"), 1), "&2");
    EXPECT_EQ(FieldOf(mine[0]->Ask("&2"), 1), "&2");
    EXPECT_EQ(HttpGet(node->httpPort(), FirstPreview()).status, 200);
    std::string log = testing::internal::GetCapturedStderr();
    // Once per address and minute, not once per attempt.
    EXPECT_EQ(Count(log, "pack: refused 127.0.9.9: 64 connections"), 1u) << log;
    EXPECT_EQ(Count(log, "http: refused 127.0.9.9: 64 connections"), 1u) << log;
}

TEST_F(NodeCrowd, BehindALoadBalancerTheShareIsTheClients) {
    node::Config c = TestConfig(cache.path());
    c.proxyFrom = {"127.0.0.1"};
    node = std::make_unique<RunningNode>(c);
    const std::string v1 = "PROXY TCP4 203.0.113.7 127.0.0.1 40000 1629\r\n";
    testing::internal::CaptureStderr();
    std::vector<std::unique_ptr<PackClient>> proxied;
    for (int i = 0; i < 65; ++i) {
        proxied.push_back(std::make_unique<PackClient>(node->packPort()));
        ASSERT_TRUE(proxied.back()->SendRaw(v1));
        if (i < 64) {
            ASSERT_EQ(FieldOf(proxied.back()->Ask("&2"), 1), "&2") << i;
        }
    }
    EXPECT_TRUE(proxied.back()->WaitClosed());

    // Version 2, split across writes, for another client behind the same balancer.
    std::string v2("\r\n\r\n\0\r\nQUIT\n\x21\x11\x00\x0C", 16);
    v2 += std::string("\xC6\x33\x64\x09\x7F\x00\x00\x01\x9C\x40\x06\x5D", 12);
    PackClient second(node->packPort());
    ASSERT_TRUE(second.SendRaw(v2.substr(0, 7)));
    ASSERT_TRUE(second.SendRaw(v2.substr(7) + pack::Encode("&2")));
    auto r = second.Receive();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(FieldOf(Fields(*r), 1), "&2");

    // From the balancer's address, bytes that are no header end the connection.
    PackClient bare(node->packPort());
    ASSERT_TRUE(bare.Send("&2"));
    EXPECT_TRUE(bare.WaitClosed());
    // Anyone else connects directly, as before.
    PackClient direct(node->packPort(), "127.0.0.2");
    EXPECT_EQ(FieldOf(direct.Ask("&2"), 1), "&2");

    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(log, "connected from 203.0.113.7 via 127.0.0.1:"), 64u) << log;
    EXPECT_EQ(Count(log, "connected from 198.51.100.9 via 127.0.0.1:"), 1u) << log;
    EXPECT_EQ(Count(log, "pack: refused 203.0.113.7: 64 connections"), 1u) << log;
    EXPECT_EQ(Count(log, "pack: refused 127.0.0.1: no PROXY protocol header"), 1u) << log;
}

}  // namespace
