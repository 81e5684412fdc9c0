// The pack client against a real peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hp_calls.h"
#include "pack_server.h"

namespace {

using testpeer::PackServer;

// Records what the library reports for one client; found again from the sender through the
// client's extra pointer.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> received;
    int prepares = 0;
    int connects = 0;
    int closes = 0;
    int sends = 0;
    bool callbackOnStartThread = false;
    std::thread::id startThread;
    std::function<void(HP_Client)> onClose;                        // runs inside OnClose
    std::function<void(HP_Client, const std::string&)> onReceive;  // inside OnReceive

    bool WaitFor(const std::function<bool()>& done) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(testpeer::kWaitMs), done);
    }
    int Closes() {
        std::lock_guard<std::mutex> lock(mutex);
        return closes;
    }
    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }
};

Recorder& Of(HP_Client sender) { return *static_cast<Recorder*>(HP(HP_Client_GetExtra)(sender)); }

En_HP_HandleResult HP_API OnPrepareConnect(HP_Client sender, HP_CONNID, HP_SOCKET) {
    Recorder& r = Of(sender);
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.prepares;
    if (std::this_thread::get_id() == r.startThread) r.callbackOnStartThread = true;
    return HR_OK;
}

En_HP_HandleResult HP_API OnConnect(HP_Client sender, HP_CONNID) {
    Recorder& r = Of(sender);
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.connects;
    if (std::this_thread::get_id() == r.startThread) r.callbackOnStartThread = true;
    r.changed.notify_all();
    return HR_OK;
}

En_HP_HandleResult HP_API OnSend(HP_Client sender, HP_CONNID, const uint8_t*, int) {
    Recorder& r = Of(sender);
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.sends;
    return HR_OK;
}

En_HP_HandleResult HP_API OnReceive(HP_Client sender, HP_CONNID, const uint8_t* data, int length) {
    Recorder& r = Of(sender);
    std::string body(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    if (r.onReceive) r.onReceive(sender, body);
    std::lock_guard<std::mutex> lock(r.mutex);
    if (std::this_thread::get_id() == r.startThread) r.callbackOnStartThread = true;
    r.received.push_back(std::move(body));
    r.changed.notify_all();
    return HR_OK;
}

En_HP_HandleResult HP_API OnClose(HP_Client sender, HP_CONNID, En_HP_SocketOperation, int) {
    Recorder& r = Of(sender);
    if (r.onClose) r.onClose(sender);
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.closes;
    r.changed.notify_all();
    return HR_OK;
}

// One listener and client configured as the program configures them.
class PackClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        listener_ = HP(Create_HP_TcpPackClientListener)();
        ASSERT_NE(listener_, nullptr);
        client_ = HP(Create_HP_TcpPackClient)(listener_);
        ASSERT_NE(client_, nullptr);
        HP(HP_Set_FN_Client_OnPrepareConnect)(listener_, OnPrepareConnect);
        HP(HP_Set_FN_Client_OnConnect)(listener_, OnConnect);
        HP(HP_Set_FN_Client_OnSend)(listener_, OnSend);
        HP(HP_Set_FN_Client_OnReceive)(listener_, OnReceive);
        HP(HP_Set_FN_Client_OnClose)(listener_, OnClose);
        HP(HP_Client_SetExtra)(client_, &recorder_);
        HP(HP_TcpPackClient_SetMaxPackSize)(client_, 0x3FFFFF);
        HP(HP_TcpPackClient_SetPackHeaderFlag)(client_, 0x3FF);
        recorder_.startThread = std::this_thread::get_id();
    }

    void TearDown() override {
        // Every connection made must have had its OnClose before the recorder goes away.
        HP(HP_Client_Stop)(client_);
        EXPECT_TRUE(WaitClosed(starts_.load()));
        HP(Destroy_HP_TcpPackClient)(client_);
        HP(Destroy_HP_TcpPackClientListener)(listener_);
    }

    bool Start(uint16_t port) {
        return Counted(
            HP(HP_Client_StartWithBindAddressAndLocalPort)(client_, "127.0.0.1", port, FALSE, "0.0.0.0", 0));
    }
    // Each successful start is owed exactly one OnClose.
    bool Counted(HP_BOOL started) {
        if (started == 1) starts_++;
        return started == 1;
    }
    bool Send(const std::string& body) {
        return HP(HP_Client_Send)(client_, reinterpret_cast<const uint8_t*>(body.data()),
                                  static_cast<int>(body.size()));
    }
    bool WaitClosed(int count) {
        return recorder_.WaitFor([&] { return recorder_.closes >= count; });
    }
    bool WaitReceived(size_t count) {
        return recorder_.WaitFor([&] { return recorder_.received.size() >= count; });
    }

    HP_TcpClientListener listener_ = nullptr;
    HP_TcpPackClient client_ = nullptr;
    Recorder& recorder_ = testpeer::KeptForever<Recorder>();
    std::atomic<int> starts_{0};
    std::atomic<int> restarts_{0};
};

std::string Pattern(size_t length, unsigned seed) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return s;
}

TEST_F(PackClientTest, ConnectsSendsAndReceivesWholePacketsInOrder) {
    PackServer server;
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(Start(server.port()));
    EXPECT_TRUE(HP(HP_Client_HasStarted)(client_));
    EXPECT_EQ(HP(HP_Client_GetState)(client_), SS_STARTED);
    // Already started: refused at once, the connection untouched.
    EXPECT_FALSE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));

    EXPECT_TRUE(Send("&1(＆)"));
    EXPECT_TRUE(Send(""));  // a zero-length body is a packet too
    ASSERT_TRUE(server.WaitForPackets(2));
    EXPECT_EQ(server.Packets(), (std::vector<std::string>{"&1(＆)", ""}));
    EXPECT_FALSE(server.framingError());

    std::vector<std::string> replies = {"&1(＆)N1", "", Pattern(70000, 1), std::string("a\0b", 3)};
    for (const auto& r : replies) ASSERT_TRUE(server.Send(r));
    ASSERT_TRUE(WaitReceived(replies.size()));
    EXPECT_EQ(recorder_.Received(), replies);

    std::lock_guard<std::mutex> lock(recorder_.mutex);
    EXPECT_EQ(recorder_.prepares, 1);
    EXPECT_EQ(recorder_.connects, 1);
    EXPECT_EQ(recorder_.sends, 2);
    EXPECT_EQ(recorder_.closes, 0);
    EXPECT_FALSE(recorder_.callbackOnStartThread);
}

TEST_F(PackClientTest, ReassemblesPacketsAcrossAndWithinReads) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));
    // Many packets in one write.
    std::string burst;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        expected.push_back(Pattern(static_cast<size_t>(i % 17), static_cast<unsigned>(i)));
        burst += pack::Encode(expected.back());
    }
    ASSERT_TRUE(server.SendRaw(burst));
    // One packet a byte at a time, header included.
    expected.push_back("split");
    std::string one = pack::Encode("split");
    for (char c : one) {
        ASSERT_TRUE(server.SendRaw(std::string(1, c)));
        std::this_thread::yield();
    }
    ASSERT_TRUE(WaitReceived(expected.size()));
    EXPECT_EQ(recorder_.Received(), expected);
}

TEST_F(PackClientTest, ConcurrentSendsArriveIntactAndUnmixed) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    constexpr int kThreads = 4;
    constexpr int kPerThread = 250;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                // Lengths up to 20 KB force partial writes now and then.
                std::string body = std::to_string(t) + ":" + std::to_string(i) + ":" +
                                   Pattern(static_cast<size_t>((i * 997 + t * 131) % 20000),
                                           static_cast<unsigned>(t * 1000 + i));
                if (!Send(body)) failures++;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(server.WaitForPackets(kThreads * kPerThread));
    EXPECT_FALSE(server.framingError());
    std::vector<int> next(kThreads, 0);
    for (const std::string& p : server.Packets()) {
        int t = 0, i = 0;
        ASSERT_EQ(std::sscanf(p.c_str(), "%d:%d:", &t, &i), 2);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]) << "packets of one thread out of order";
        next[t] = i + 1;
        std::string expected =
            std::to_string(t) + ":" + std::to_string(i) + ":" +
            Pattern(static_cast<size_t>((i * 997 + t * 131) % 20000), static_cast<unsigned>(t * 1000 + i));
        EXPECT_EQ(p, expected);
    }
}

TEST_F(PackClientTest, LargestBodyPassesBothWaysAndALongerOneIsRefused) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    std::string largest = Pattern(4194303, 3);
    EXPECT_TRUE(Send(largest));
    EXPECT_FALSE(Send(Pattern(4194304, 4)));
    // The refusal wrote nothing: the stream is still in step.
    EXPECT_TRUE(Send("after"));
    ASSERT_TRUE(server.WaitForPackets(2));
    auto packets = server.Packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_TRUE(packets[0] == largest);
    EXPECT_EQ(packets[1], "after");

    ASSERT_TRUE(server.Send(largest));
    ASSERT_TRUE(WaitReceived(1));
    EXPECT_TRUE(recorder_.Received()[0] == largest);
    EXPECT_EQ(recorder_.Closes(), 0);
}

TEST_F(PackClientTest, OversizedOrBadlyFlaggedHeaderClosesOnce) {
    HP(HP_TcpPackClient_SetMaxPackSize)(client_, 1000);
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));
    ASSERT_TRUE(server.Send(std::string(1000, 'x')));
    ASSERT_TRUE(server.SendRaw(pack::Encode(std::string(1001, 'y'))));
    ASSERT_TRUE(WaitClosed(1));
    EXPECT_EQ(recorder_.Received(), std::vector<std::string>{std::string(1000, 'x')});
    EXPECT_FALSE(HP(HP_Client_HasStarted)(client_));

    // Start after OnClose works; a header with another flag ends this connection too.
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(2));
    ASSERT_TRUE(server.Send("ok"));
    ASSERT_TRUE(server.Send("bad", 1));
    server.Send("never");  // the client may have closed already; either way it is never delivered
    ASSERT_TRUE(WaitClosed(2));
    EXPECT_EQ(recorder_.Received(), (std::vector<std::string>{std::string(1000, 'x'), "ok"}));
    EXPECT_FALSE(Send("after close"));
}

TEST_F(PackClientTest, PeerDroppingMidPacketOrResettingGivesOneCloseEach) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));
    std::string packet = pack::Encode("half of this");
    ASSERT_TRUE(server.SendRaw(packet.substr(0, 7)));
    server.DropConnection();
    ASSERT_TRUE(WaitClosed(1));
    EXPECT_TRUE(recorder_.Received().empty());

    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(2));
    ASSERT_TRUE(server.SendRaw(packet.substr(0, 2)));
    server.DropConnection(true);
    ASSERT_TRUE(WaitClosed(2));
    EXPECT_TRUE(recorder_.Received().empty());
    EXPECT_EQ(recorder_.Closes(), 2);
}

TEST_F(PackClientTest, ReconnectsAfterTheServerRestarts) {
    auto server = std::make_unique<PackServer>();
    uint16_t port = server->port();
    ASSERT_TRUE(Start(port));
    ASSERT_TRUE(server->WaitForConnections(1));
    server.reset();
    ASSERT_TRUE(WaitClosed(1));
    // Nobody listens: refused, and a failed start makes no OnClose.
    EXPECT_FALSE(Start(port));
    EXPECT_FALSE(HP(HP_Client_HasStarted)(client_));

    server = std::make_unique<PackServer>(port);
    ASSERT_TRUE(server->listening());
    ASSERT_TRUE(Start(port));
    EXPECT_TRUE(Send("again"));
    ASSERT_TRUE(server->WaitForPackets(1));
    EXPECT_EQ(server->Packets()[0], "again");
    EXPECT_EQ(recorder_.Closes(), 1);
}

TEST_F(PackClientTest, UnreachablePortFailsWithoutCallbacks) {
    uint16_t port = 0;
    {
        // A port that was free a moment ago, closed again.
        sockcompat::Socket probe = sockcompat::ListenLoopback(&port);
        ASSERT_TRUE(probe.valid());
    }
    EXPECT_FALSE(Start(port));
    EXPECT_EQ(HP(HP_Client_GetLastError)(client_), SE_CONNECT_SERVER);
    EXPECT_FALSE(HP(HP_Client_Send)(client_, reinterpret_cast<const uint8_t*>("x"), 1));
    EXPECT_FALSE(HP(HP_Client_HasStarted)(client_));
    std::lock_guard<std::mutex> lock(recorder_.mutex);
    EXPECT_EQ(recorder_.connects, 0);
    EXPECT_EQ(recorder_.closes, 0);
}

TEST_F(PackClientTest, PeerThatNeverAnswersTheConnectIsGivenUp) {
    // A listener that never accepts: once its queue is full, further connects get no answer.
    uint16_t port = 0;
    sockcompat::Socket listener = sockcompat::ListenLoopback(&port);
    ASSERT_TRUE(listener.valid());
    std::vector<sockcompat::Socket> queued;
    bool full = false;
    for (int i = 0; i < 200 && !full; ++i) {
        sockcompat::Socket s = sockcompat::Connect("127.0.0.1", port, 300, {}, nullptr);
        if (s.valid())
            queued.push_back(std::move(s));
        else
            full = true;
    }
    if (!full) GTEST_SKIP() << "this system queues connects without limit";
    EXPECT_FALSE(Start(port));
    EXPECT_EQ(HP(HP_Client_GetLastError)(client_), SE_CONNECT_SERVER);
    EXPECT_FALSE(HP(HP_Client_HasStarted)(client_));
}

TEST_F(PackClientTest, StartFromInsideOnCloseAndStopFromInsideOnReceive) {
    PackServer server;
    // The callbacks outlive this body (the last OnClose comes in TearDown): they capture only
    // values and the fixture.
    uint16_t port = server.port();
    recorder_.onClose = [this, port](HP_Client sender) {
        // Must not wait for the worker that is running this very callback.
        if (restarts_.fetch_add(1) == 0) {
            Counted(HP(HP_Client_StartWithBindAddressAndLocalPort)(sender, "127.0.0.1", port, FALSE,
                                                                   "0.0.0.0", 0));
        }
    };
    recorder_.onReceive = [](HP_Client sender, const std::string& body) {
        if (body == "stop") HP(HP_Client_Stop)(sender);
    };
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));
    ASSERT_TRUE(server.Send("stop"));
    ASSERT_TRUE(WaitClosed(1));
    ASSERT_TRUE(server.WaitForConnections(2));
    EXPECT_EQ(starts_.load(), 2);
    EXPECT_TRUE(Send("second"));
    ASSERT_TRUE(server.WaitForPackets(1));
    EXPECT_EQ(server.Packets()[0], "second");
}

TEST_F(PackClientTest, SettingsApplyToLaterConnections) {
    PackServer server1023;
    PackServer server5(0, 5);
    ASSERT_TRUE(Start(server1023.port()));
    HP(HP_TcpPackClient_SetPackHeaderFlag)(client_, 5);
    EXPECT_EQ(HP(HP_TcpPackClient_GetPackHeaderFlag)(client_), 5);
    EXPECT_TRUE(Send("still 1023"));
    ASSERT_TRUE(server1023.WaitForPackets(1));
    EXPECT_FALSE(server1023.framingError());
    ASSERT_TRUE(HP(HP_Client_Stop)(client_));
    ASSERT_TRUE(WaitClosed(1));

    ASSERT_TRUE(Start(server5.port()));
    EXPECT_TRUE(Send("now 5"));
    ASSERT_TRUE(server5.WaitForPackets(1));
    EXPECT_EQ(server5.Packets()[0], "now 5");

    // Values beyond the header's fields are held at their largest.
    HP(HP_TcpPackClient_SetMaxPackSize)(client_, 0x1000000);
    EXPECT_EQ(HP(HP_TcpPackClient_GetMaxPackSize)(client_), 0x3FFFFFu);
    HP(HP_Client_SetFreeBufferPoolSize)(client_, 10);
    HP(HP_Client_SetFreeBufferPoolHold)(client_, 30);
    EXPECT_EQ(HP(HP_Client_GetFreeBufferPoolSize)(client_), 10u);
    EXPECT_EQ(HP(HP_Client_GetFreeBufferPoolHold)(client_), 30u);
}

TEST_F(PackClientTest, AddressesFollowTheInOutLengthRule) {
    PackServer server;
    char small[4];
    int length = sizeof small;
    HP_USHORT port = 0;
    EXPECT_FALSE(HP(HP_Client_GetLocalAddress)(client_, small, &length, &port));  // not connected
    ASSERT_TRUE(Start(server.port()));
    length = sizeof small;
    EXPECT_FALSE(HP(HP_Client_GetLocalAddress)(client_, small, &length, &port));
    EXPECT_EQ(length, 10);  // "127.0.0.1" and its zero
    char text[64];
    length = sizeof text;
    ASSERT_TRUE(HP(HP_Client_GetLocalAddress)(client_, text, &length, &port));
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(length, 10);
    EXPECT_NE(port, 0);
    length = sizeof text;
    ASSERT_TRUE(HP(HP_Client_GetRemoteHost)(client_, text, &length, &port));
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(port, server.port());
}

TEST_F(PackClientTest, BindAddressAndLocalPortAreHonoured) {
    PackServer server;
    uint16_t local = 0;
    { sockcompat::Socket probe = sockcompat::ListenLoopback(&local); }
    ASSERT_TRUE(Counted(HP(HP_Client_StartWithBindAddressAndLocalPort)(client_, "127.0.0.1", server.port(),
                                                                       FALSE, "127.0.0.1", local)));
    char text[64];
    int length = sizeof text;
    HP_USHORT port = 0;
    ASSERT_TRUE(HP(HP_Client_GetLocalAddress)(client_, text, &length, &port));
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(port, local);
    ASSERT_TRUE(HP(HP_Client_Stop)(client_));
    ASSERT_TRUE(WaitClosed(1));
    // A bind address that is no address fails the start.
    EXPECT_FALSE(HP(HP_Client_StartWithBindAddressAndLocalPort)(client_, "127.0.0.1", server.port(), FALSE,
                                                                "not-an-address", 0));
    EXPECT_FALSE(HP(HP_Client_HasStarted)(client_));
}

TEST_F(PackClientTest, GatheredSendsArriveAsOnePacket) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    char a[] = "one,", b[] = "two,";
    std::string many;
    std::vector<HP_Buffer> buffers;
    std::vector<std::string> parts;
    for (int i = 0; i < 12; ++i) parts.push_back("p" + std::to_string(i));
    for (auto& p : parts) {
        buffers.push_back({static_cast<uint32_t>(p.size()), p.data()});
        many += p;
    }
    HP_Buffer two[] = {{4, a}, {4, b}};
    EXPECT_TRUE(HP(HP_Client_SendPackets)(client_, two, 2));
    EXPECT_TRUE(HP(HP_Client_SendPackets)(client_, buffers.data(), static_cast<int>(buffers.size())));
    EXPECT_TRUE(HP(HP_Client_SendPart)(client_, reinterpret_cast<const uint8_t*>("0123456789"), 3, 4));
    EXPECT_FALSE(HP(HP_Client_Send)(client_, nullptr, 5));
    EXPECT_FALSE(HP(HP_Client_Send)(client_, reinterpret_cast<const uint8_t*>("x"), -1));
    ASSERT_TRUE(server.WaitForPackets(3));
    EXPECT_EQ(server.Packets(), (std::vector<std::string>{"one,two,", many, "456"}));
    EXPECT_EQ(HP(Create_HP_SSLPackClient)(listener_), nullptr);
    EXPECT_FALSE(HP(HP_Client_IsSecure)(client_));
}

TEST_F(PackClientTest, AsynchronousStartReportsItsOutcomeThroughCallbacks) {
    uint16_t closedPort = 0;
    { sockcompat::Socket probe = sockcompat::ListenLoopback(&closedPort); }
    ASSERT_TRUE(Counted(
        HP(HP_Client_StartWithBindAddressAndLocalPort)(client_, "127.0.0.1", closedPort, TRUE, nullptr, 0)));
    ASSERT_TRUE(WaitClosed(1));  // the failed connect
    {
        std::lock_guard<std::mutex> lock(recorder_.mutex);
        EXPECT_EQ(recorder_.connects, 0);
    }
    PackServer server;
    ASSERT_TRUE(Counted(HP(HP_Client_StartWithBindAddressAndLocalPort)(client_, "127.0.0.1", server.port(),
                                                                       TRUE, nullptr, 0)));
    ASSERT_TRUE(recorder_.WaitFor([&] { return recorder_.connects == 1; }));
    EXPECT_TRUE(Send("async"));
    ASSERT_TRUE(server.WaitForPackets(1));
    EXPECT_EQ(server.Packets()[0], "async");
}

TEST_F(PackClientTest, PausedReceiveResumesAndStillStops) {
    PackServer server;
    ASSERT_TRUE(Start(server.port()));
    ASSERT_TRUE(server.WaitForConnections(1));
    ASSERT_TRUE(HP(HP_Client_PauseReceive)(client_, TRUE));
    HP_BOOL paused = FALSE;
    ASSERT_TRUE(HP(HP_Client_IsPauseReceive)(client_, &paused));
    EXPECT_TRUE(paused);
    ASSERT_TRUE(server.Send("held"));
    ASSERT_TRUE(HP(HP_Client_PauseReceive)(client_, FALSE));
    ASSERT_TRUE(WaitReceived(1));
    EXPECT_EQ(recorder_.Received()[0], "held");
    // A worker waiting in a pause must still see the stop and report it.
    ASSERT_TRUE(HP(HP_Client_PauseReceive)(client_, TRUE));
    ASSERT_TRUE(HP(HP_Client_Stop)(client_));
    ASSERT_TRUE(WaitClosed(1));
}

TEST_F(PackClientTest, DestroyWhileConnectedClosesOnceAndCleanly) {
    PackServer server;
    HP_TcpPackClient second = HP(Create_HP_TcpPackClient)(listener_);
    ASSERT_NE(second, nullptr);
    HP(HP_Client_SetExtra)(second, &recorder_);
    ASSERT_TRUE(Counted(HP(HP_Client_StartWithBindAddressAndLocalPort)(second, "127.0.0.1", server.port(),
                                                                       FALSE, nullptr, 0)));
    ASSERT_TRUE(server.WaitForConnections(1));
    HP(Destroy_HP_TcpPackClient)(second);
    ASSERT_TRUE(WaitClosed(1));
    EXPECT_TRUE(server.WaitForEnded(1));
}

}  // namespace
