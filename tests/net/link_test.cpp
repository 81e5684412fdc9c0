// The node link end to end: a link against a pack server on 127.0.0.1, with a recording
// connect timer.
#include "net/link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/node_id.h"
#include "net/requests.h"
#include "pack_server.h"
#include "ui/engine.h"

namespace {

using testpeer::PackServer;

class RecordingTimer : public net::ConnectTimer {
  public:
    void SetInterval(int ms) override {
        std::lock_guard<std::mutex> lock(mutex_);
        intervals_.push_back(ms);
        changed_.notify_all();
    }
    std::vector<int> Intervals() {
        std::lock_guard<std::mutex> lock(mutex_);
        return intervals_;
    }
    bool WaitForCount(size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(testpeer::kWaitMs),
                                 [&] { return intervals_.size() >= n; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> intervals_;
};

class ReplyRecorder : public net::ReplyReceiver {
  public:
    void OnReply(const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_.emplace_back(reinterpret_cast<const char*>(data), length);
        changed_.notify_all();
    }
    bool WaitForCount(size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(testpeer::kWaitMs),
                                 [&] { return replies_.size() >= n; });
    }
    std::vector<std::string> Replies() {
        std::lock_guard<std::mutex> lock(mutex_);
        return replies_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> replies_;
};

class LinkTest : public ::testing::Test {
  protected:
    void TearDown() override {
        // After Stop no callback reaches the timer or the recorder any more.
        if (link_) link_->Stop();
    }

    // The link to a node at `port`, set up as start-up does.
    net::Link& Link(uint16_t port) {
        link_ = std::make_unique<net::Link>("127.0.0.1", port, timer_, replies_);
        link_->SetUp();
        return *link_;
    }

    // Ends with a marker so that "nothing else was sent" needs no waiting.
    std::vector<std::string> PacketsUpToMarker(PackServer& server, size_t already) {
        link_->Send("marker");
        std::vector<std::string> got;
        for (size_t n = already + 1; server.WaitForPackets(n); ++n) {
            got = server.Packets();
            if (got.back() == "marker") break;
        }
        got.erase(got.begin(), got.begin() + static_cast<long>(std::min(already, got.size())));
        if (!got.empty() && got.back() == "marker") got.pop_back();
        return got;
    }

    RecordingTimer timer_;
    ReplyRecorder replies_;
    std::unique_ptr<net::Link> link_;
};

TEST_F(LinkTest, SetUpAppliesTheSettingsAndArmsTheTimer) {
    net::Link& link = Link(1);
    net::PackClient& c = link.Client();
    net::PackClient::Handle h = link.Handle();
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h, net::PackClient::kNoClient);
    EXPECT_NE(c.listener(), nullptr);
    EXPECT_EQ(c.GetFreeBufferPoolSize(h), 10u);
    EXPECT_EQ(c.GetFreeBufferPoolHold(h), 30u);
    EXPECT_EQ(c.GetMaxPackSize(h), 4194303u);
    EXPECT_EQ(c.GetPackHeaderFlag(h), 1023);
    EXPECT_EQ(timer_.Intervals(), std::vector<int>{1000});
}

TEST_F(LinkTest, HelloOnlyAfterASuccessfulStartAndNeverTwice) {
    uint16_t port = 0;
    { sockcompat::Socket probe = sockcompat::ListenLoopback(&port); }
    net::Link& link = Link(port);
    EXPECT_FALSE(link.Connect());  // nobody listens: nothing happens, the timer keeps its 1000 ms
    EXPECT_FALSE(link.Client().HasStarted(link.Handle()));
    EXPECT_EQ(timer_.Intervals(), std::vector<int>{1000});

    PackServer server(port);
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(server.WaitForPackets(1));
    EXPECT_EQ(server.Packets()[0], std::string("\x26\x31\x28\xA3\xA6\x29"));
    EXPECT_FALSE(link.Connect());  // still started: no second hello
    EXPECT_TRUE(PacketsUpToMarker(server, 1).empty());
    EXPECT_EQ(timer_.Intervals(), std::vector<int>{1000});

    // OnConnect read the local address through the wrapper; it is there to read.
    std::string address;
    int length = 0;
    uint16_t localPort = 0;
    EXPECT_TRUE(link.Client().GetLocalAddress(link.Handle(), address, length, localPort));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_NE(localPort, 0);
}

TEST_F(LinkTest, RepliesReachTheSinkWholeAndDisconnectsReArmTheTimer) {
    PackServer server;
    net::Link& link = Link(server.port());
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(server.WaitForPackets(1));
    std::string big(100000, 'q');
    ASSERT_TRUE(server.Send("&1(＆)N1"));
    ASSERT_TRUE(server.Send(big));
    ASSERT_TRUE(server.Send(""));
    ASSERT_TRUE(replies_.WaitForCount(3));
    EXPECT_EQ(replies_.Replies(), (std::vector<std::string>{"&1(＆)N1", big, ""}));

    server.DropConnection();
    ASSERT_TRUE(timer_.WaitForCount(2));
    int delay = timer_.Intervals()[1];
    EXPECT_TRUE(delay == 1000 || delay == 2000 || delay == 3000 || delay == 4000 || delay == 5000) << delay;

    // The next tick reconnects, hello included.
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(server.WaitForPackets(2));
    EXPECT_EQ(server.Packets()[1], "&1(＆)");
}

TEST_F(LinkTest, RequestsGoOutByteExactAndBadPositionsSendNothing) {
    PackServer server;
    net::Link& link = Link(server.port());
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(server.WaitForPackets(1));
    net::SetNodeId("N1");
    int machineIdCalls = 0;
    net::MachineIdSource machineId = [&] {
        ++machineIdCalls;
        return std::string("MID");
    };
    std::vector<std::string> paths = {"a/1.jpg", "a/2.jpg"};

    link.Send("");
    net::SendRegisterNode(link);
    net::SendNodeListRequest(link);
    net::SendPagingRequest(link, "K风景", 12);
    net::SendTabChangeRequest(link, "4K汽车", 3);
    net::SendFirstPageRequest(link, "K最新");
    EXPECT_TRUE(net::SendDetailRequest(link, "K风景", paths, 1));
    EXPECT_FALSE(net::SendDetailRequest(link, "K风景", paths, 2));
    EXPECT_FALSE(net::SendDetailRequest(link, "K风景", paths, -1));
    EXPECT_FALSE(net::SendListDownloadRequest(link, "K风景", 65537, 0, paths, machineId));
    EXPECT_FALSE(net::SendListDownloadRequest(link, "K风景", ui::kElemClickCode, 5, paths, machineId));
    EXPECT_EQ(machineIdCalls, 0);
    EXPECT_TRUE(net::SendListDownloadRequest(link, "K风景", ui::kElemClickCode, 0, paths, machineId));
    net::SendDetailDownloadRequest(link, "4K动漫", "d/9.jpg", machineId);
    net::SendChangeWallpaperRequest(link, "1", machineId);
    net::SendKeepAlive(link);
    EXPECT_EQ(machineIdCalls, 3);

    EXPECT_EQ(PacketsUpToMarker(server, 1), (std::vector<std::string>{
                                                "",
                                                "&3(＆)N1(＆)",
                                                "&2",
                                                "&获取(＆)K风景(＆)下载最多(＆)12(＆)(＆)N1(＆)",
                                                "&获取(＆)4K汽车(＆)下载最多(＆)1(＆)3(＆)N1",
                                                "&获取(＆)K最新(＆)下载最多(＆)1(＆)(＆)N1(＆)",
                                                "&详细(＆)K风景(＆)a/2.jpg",
                                                "&下载(＆)K风景(＆)a/1.jpg(＆)MID(＆)(＆)N1",
                                                "&下载(＆)4K动漫(＆)d/9.jpg(＆)MID(＆)(＆)N1",
                                                "&更换(＆)1(＆)MID(＆)",
                                                "&4",
                                            }));
    net::SetNodeId("");
}

TEST_F(LinkTest, SendingWhileDisconnectedIsSilentlyLost) {
    net::Link& link = Link(1);
    link.Send("lost");
    net::SendKeepAlive(link);
    EXPECT_FALSE(link.Client().IsConnected(link.Handle()));
    // Methods on a handle that was never made report failure instead of crashing.
    EXPECT_FALSE(link.Client().Send(net::PackClient::kNoClient, std::string("x")));
    EXPECT_EQ(link.Client().Start(nullptr, "127.0.0.1", 1, false), 0);
}

}  // namespace
