// The download engine against a real HTTP server on 127.0.0.1 that misbehaves on command.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <set>

#include "download_test_server.h"
#include "download_test_support.h"
#include "web/output_file.h"

using namespace dltest;

namespace {

std::vector<std::string> RangeLines(const std::vector<std::string>& requests) {
    std::vector<std::string> out;
    for (const std::string& r : requests) {
        size_t at = r.find("Range: bytes=");
        out.push_back(at == std::string::npos ? "" : r.substr(at, r.find("\r\n", at) - at));
    }
    return out;
}

// Event 5 of a connection comes first, 4 exactly once and last, 3 at most once.
void ExpectWellFormed(const Recorder& r) {
    auto events = r.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().code, 5);
    EXPECT_EQ(events.back().code, 4);
    EXPECT_EQ(r.Of(4).size(), 1u);
    EXPECT_LE(r.Of(3).size(), 1u);
}

}  // namespace

TEST(DownloadEngine, SmallFileUsesOneConnectionAndExactRequest) {
    TestHttpServer server;
    std::string body = RandomBytes(20479, 1);
    server.AddFile("/img/pic.jpg", body);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/img/pic.jpg"), dir.File("a.jpg"), r)));
    ASSERT_TRUE(FinishWithin(slot, 20000));

    EXPECT_EQ(FileHash(dir.File("a.jpg")), Fnv1a(body));
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    std::string port = std::to_string(server.port());
    EXPECT_EQ(requests[0],
              "GET /img/pic.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n"
              "Referer: http://127.0.0.1:" +
                  port +
                  "/img\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
                  "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
    ExpectWellFormed(r);
    ASSERT_EQ(r.Of(3).size(), 1u);
    EXPECT_EQ(r.Of(3)[0].value, 20479);
    EXPECT_EQ(r.Of(5).size(), 1u);
    EXPECT_EQ(r.Of(4)[0].value, 20479);
    ASSERT_EQ(r.Of(9).size(), 1u);
    EXPECT_EQ(r.Of(9)[0].value, 20479);
    auto progress = r.Of(6);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().value, 20479);
    EXPECT_EQ(progress.back().value2, 20479);
    EXPECT_TRUE(r.complete());
}

TEST(DownloadEngine, HundredThousandBytesComeAsFiveSegments) {
    TestHttpServer server;
    std::string body = RandomBytes(100000, 2);
    server.AddFile("/f.bin", body);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/f.bin"), dir.File("f.bin"), r)));
    ASSERT_TRUE(FinishWithin(slot, 20000));

    EXPECT_EQ(FileHash(dir.File("f.bin")), Fnv1a(body));
    auto ranges = RangeLines(server.Requests());
    std::multiset<std::string> got(ranges.begin(), ranges.end());
    std::multiset<std::string> want{"", "Range: bytes=20000-", "Range: bytes=40000-", "Range: bytes=60000-",
                                    "Range: bytes=80000-"};
    EXPECT_EQ(got, want);
    ExpectWellFormed(r);
    EXPECT_EQ(r.Of(5).size(), 5u);
    EXPECT_EQ(r.Of(9).size(), 5u);
    EXPECT_EQ(r.Of(4)[0].value, 100000);
    EXPECT_TRUE(r.complete());
    // Every progress event stays inside one of the five segments.
    for (const Event& e : r.Events()) {
        if (e.code != 6 && e.code != 7) continue;
        EXPECT_EQ(e.value2 % 20000, 0) << e.value2;
        EXPECT_GT(e.value, e.value2 - 20000);
        EXPECT_LE(e.value, e.value2);
    }
    EXPECT_EQ(slot.BytesSoFar(), 0);  // idle again
}

TEST(DownloadEngine, RedirectIsFollowedAndLaterSegmentsAskTheNewAddress) {
    TestHttpServer server;
    std::string body = RandomBytes(150000, 3);
    server.AddFile("/new/file.bin", body);
    server.AddRedirect("/old", server.Url("/new/file.bin"));
    server.AddRedirect("/rel", "/old");
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/rel"), dir.File("x"), r)));
    ASSERT_TRUE(FinishWithin(slot, 20000));
    EXPECT_EQ(FileHash(dir.File("x")), Fnv1a(body));
    EXPECT_TRUE(r.complete());
    auto requests = server.Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0].substr(0, 14), "GET /rel HTTP/");
    EXPECT_EQ(requests[1].substr(0, 14), "GET /old HTTP/");
    for (size_t i = 2; i < requests.size(); ++i) EXPECT_EQ(requests[i].substr(0, 18), "GET /new/file.bin ");
}

TEST(DownloadEngine, RedirectLoopAndMissingLocationEndTheTransfer) {
    TestHttpServer server;
    server.AddRedirect("/a", "/b");
    server.AddRedirect("/b", "/a");
    server.AddRedirect("/empty", "");
    TempDir dir;
    for (const char* path : {"/a", "/empty"}) {
        Recorder r;
        web::DownloadSlot slot;
        ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url(path), dir.File("loop"), r)));
        ASSERT_TRUE(FinishWithin(slot, 20000));
        ExpectWellFormed(r);
        EXPECT_TRUE(r.Of(3).empty());
        EXPECT_FALSE(web::PathExists(dir.File("loop")));
    }
}

TEST(DownloadEngine, DroppedConnectionResumesFromItsExactOffset) {
    TestHttpServer server;
    std::string body = RandomBytes(30000, 4);  // one segment: only the first connection runs
    server.AddFile("/d.bin", body);
    Behaviour b;
    b.dropAfterBytes = 12345;
    b.dropTimes = 1;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    std::vector<std::string> logs;
    std::mutex logMutex;
    web::DownloadSlot slot;
    auto s = SlotSettings(server.Url("/d.bin"), dir.File("d.bin"), r);
    s.connections = 1;
    s.log = [&](int, const std::string& text, int, web::DownloadTransfer*) {
        std::lock_guard lock(logMutex);
        logs.push_back(text);
    };
    ASSERT_TRUE(web::StartDownload(slot, s));
    ASSERT_TRUE(FinishWithin(slot, 30000));
    EXPECT_EQ(FileHash(dir.File("d.bin")), Fnv1a(body));
    auto ranges = RangeLines(server.Requests());
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], "");
    EXPECT_EQ(ranges[1], "Range: bytes=12345-");
    EXPECT_NE(std::find(logs.begin(), logs.end(), "等待5秒后重试"), logs.end());
    EXPECT_EQ(r.Of(4)[0].value, 30000);
    EXPECT_TRUE(r.complete());
}

TEST(DownloadEngine, ErrorStatusesAndEndlessHeaderCreateNothing) {
    TestHttpServer server;
    server.AddFile("/f", RandomBytes(5000, 5));
    TempDir dir;
    for (int status : {400, 403, 404, 500, 0}) {
        Behaviour b;
        if (status == 0) b.endlessHeader = true;
        b.status = status;
        server.SetBehaviour(b);
        Recorder r;
        web::DownloadSlot slot;
        ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/f"), dir.File("f"), r)));
        ASSERT_TRUE(FinishWithin(slot, 20000)) << status;
        ExpectWellFormed(r);
        EXPECT_TRUE(r.Of(3).empty()) << status;
        EXPECT_EQ(r.Of(4)[0].value, 0);
        EXPECT_FALSE(r.complete());
        EXPECT_FALSE(web::PathExists(dir.File("f"))) << status;
    }
    EXPECT_EQ(server.Requests().size(), 5u);  // none of these is retried
}

TEST(DownloadEngine, ShortClaimedLengthGivesThatManyBytes) {
    TestHttpServer server;
    std::string body = RandomBytes(9000, 6);
    server.AddFile("/f", body);
    Behaviour b;
    b.claimedLength = 4000;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/f"), dir.File("f"), r)));
    ASSERT_TRUE(FinishWithin(slot, 20000));
    EXPECT_EQ(FileHash(dir.File("f")), Fnv1a(body.substr(0, 4000)));
    EXPECT_EQ(r.Of(3)[0].value, 4000);
    EXPECT_TRUE(r.complete());
}

TEST(DownloadEngine, LongClaimedLengthEndsIncompleteWithoutOverrunning) {
    TestHttpServer server;
    std::string body = RandomBytes(10000, 7);
    server.AddFile("/f", body);
    Behaviour b;
    b.claimedLength = 15000;  // then the range request is refused with 416
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    auto s = SlotSettings(server.Url("/f"), dir.File("f"), r);
    ASSERT_TRUE(web::StartDownload(slot, s));
    ASSERT_TRUE(FinishWithin(slot, 30000));
    ExpectWellFormed(r);
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(r.Of(4)[0].value, 10000);  // what came, never the size it was promised
    std::string got = ReadAll(dir.File("f"));
    ASSERT_EQ(got.size(), 15000u);
    EXPECT_EQ(Fnv1a(got.substr(0, 10000)), Fnv1a(body));
    auto ranges = RangeLines(server.Requests());
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "Range: bytes=10000-");
}

TEST(DownloadEngine, TrickledBytesAndServerWithoutRangesStillGiveTheFile) {
    TestHttpServer server;
    std::string body = RandomBytes(60000, 8);
    server.AddFile("/t", body);
    Behaviour b;
    b.trickleChunk = 700;
    b.trickleDelayMs = 1;
    b.ignoreRange = true;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/t"), dir.File("t"), r)));
    ASSERT_TRUE(FinishWithin(slot, 30000));
    EXPECT_EQ(FileHash(dir.File("t")), Fnv1a(body));
    EXPECT_TRUE(r.complete());
    EXPECT_EQ(r.Of(4)[0].value, 60000);
}

TEST(DownloadEngine, UnparsableUrlsAreRefusedAndCreateNothing) {
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    for (const char* url : {"https://127.0.0.1/x.jpg", "HTTPS://127.0.0.1/x.jpg", "http://127.0.0.1",
                            "gopher://h/x", "http:///x", "http://h:99999/x", "http://h/x\r\nX-Name: 1",
                            "http://h/a b", "http://h/\x7F", "ftp://h/x\n", "mms://h/x", "rtsp://h/x"}) {
        EXPECT_FALSE(web::StartDownload(slot, SlotSettings(url, dir.File("x.jpg"), r))) << url;
        EXPECT_FALSE(slot.Busy());
    }
    EXPECT_FALSE(web::PathExists(dir.File("x.jpg")));
    EXPECT_TRUE(r.Events().empty());
}

TEST(DownloadEngine, BusySlotRefusesUntilEventFourHasBeenDelivered) {
    TestHttpServer server;
    server.AddFile("/slow", RandomBytes(8000, 9));
    Behaviour b;
    b.stallMs = 400;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    std::atomic<int> startInsideEnd{-1};
    std::atomic<bool> busyInsideEnd{false};
    r.onEnd = [&](const Event&) {
        busyInsideEnd = slot.Busy();
        startInsideEnd =
            web::StartDownload(slot, SlotSettings(server.Url("/slow"), dir.File("again"), r)) ? 1 : 0;
    };
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/slow"), dir.File("s1"), r)));
    EXPECT_TRUE(slot.Busy());
    Recorder other;
    EXPECT_FALSE(web::StartDownload(slot, SlotSettings(server.Url("/slow"), dir.File("s2"), other)));
    ASSERT_TRUE(FinishWithin(slot, 20000));
    EXPECT_TRUE(busyInsideEnd);
    EXPECT_EQ(startInsideEnd, 0);
    EXPECT_TRUE(other.Events().empty());
    EXPECT_FALSE(web::PathExists(dir.File("s2")));
    r.onEnd = nullptr;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/slow"), dir.File("s3"), r)));
    ASSERT_TRUE(FinishWithin(slot, 20000));
    EXPECT_TRUE(web::PathExists(dir.File("s3")));
}

TEST(DownloadEngine, StopEndsWithBytesReceived) {
    TestHttpServer server;
    server.AddFile("/big", RandomBytes(400000, 10));
    Behaviour b;
    b.trickleChunk = 1000;
    b.trickleDelayMs = 20;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/big"), dir.File("big"), r)));
    while (slot.BytesSoFar() < 3000 && slot.Busy()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    slot.Stop();
    ASSERT_TRUE(slot.WaitIdle(20000));
    ExpectWellFormed(r);
    EXPECT_FALSE(r.complete());
    int64_t value = r.Of(4)[0].value;
    EXPECT_GT(value, 0);
    EXPECT_LT(value, 400000);
}

TEST(DownloadEngine, SameNameRule) {
    TestHttpServer server;
    std::string body = RandomBytes(3000, 11);
    server.AddFile("/p.jpg", body);
    TempDir dir;
    std::string existing = dir.File("壁纸.jpg");
    { std::ofstream(existing, std::ios::binary) << "old!"; }

    {  // answer 1: give up, the old file stays
        Recorder r;
        r.answer = [](const Event& e, web::DownloadTransfer*) { return e.code == 18 ? 1 : 0; };
        web::DownloadSlot slot;
        ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/p.jpg"), existing, r)));
        ASSERT_TRUE(FinishWithin(slot, 20000));
        ASSERT_EQ(r.Of(18).size(), 1u);
        EXPECT_EQ(r.Of(18)[0].value, 4);
        EXPECT_EQ(r.Of(18)[0].value2, 3000);
        EXPECT_EQ(ReadAll(existing), "old!");
        EXPECT_FALSE(r.complete());
    }
    {  // answer 2: the callback names the file
        Recorder r;
        std::string chosen = dir.File("chosen.jpg");
        r.answer = [&](const Event& e, web::DownloadTransfer* t) {
            if (e.code != 18) return 0;
            web::SetTargetFile(t, chosen);
            return 2;
        };
        web::DownloadSlot slot;
        ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/p.jpg"), existing, r)));
        ASSERT_TRUE(FinishWithin(slot, 20000));
        EXPECT_EQ(FileHash(chosen), Fnv1a(body));
        EXPECT_TRUE(r.complete());
        EXPECT_EQ(r.target(), chosen);
    }
    {  // no answer: automatic names, one after another
        for (int n = 1; n <= 2; ++n) {
            Recorder r;
            web::DownloadSlot slot;
            ASSERT_TRUE(web::StartDownload(slot, SlotSettings(server.Url("/p.jpg"), existing, r)));
            ASSERT_TRUE(FinishWithin(slot, 20000));
            std::string expected = dir.File("壁纸(" + std::to_string(n) + ").jpg");
            EXPECT_EQ(r.target(), expected);
            EXPECT_EQ(FileHash(expected), Fnv1a(body));
            EXPECT_TRUE(r.complete());
        }
        EXPECT_EQ(ReadAll(existing), "old!");
    }
}

TEST(DownloadEngine, ProxyFormSendsTheFullUrl) {
    TestHttpServer proxy;  // plays the proxy: serves the path of the full URL it is asked for
    std::string body = RandomBytes(50000, 12);
    proxy.AddFile("/via/proxy.bin", body);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    auto s = SlotSettings("http://images.example:8080/via/proxy.bin", dir.File("p"), r);
    s.proxy = "127.0.0.1:" + std::to_string(proxy.port());
    ASSERT_TRUE(web::StartDownload(slot, s));
    ASSERT_TRUE(FinishWithin(slot, 20000));
    EXPECT_EQ(FileHash(dir.File("p")), Fnv1a(body));
    EXPECT_TRUE(r.complete());
    auto requests = proxy.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0],
              "GET http://images.example:8080/via/proxy.bin HTTP/1.1\r\nHost: images.example\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
              "Proxy-Connection: Keep-Alive\r\n\r\n");
    // Later segments keep their range line through the proxy; their order on the wire varies.
    int ranged = 0;
    for (const std::string& q : requests)
        ranged += q.find("\r\nRange: bytes=40000-\r\nProxy-Connection: Keep-Alive\r\n") != std::string::npos;
    EXPECT_EQ(ranged, 1);
}

TEST(DownloadEngine, ReadBudgetStillGivesTheWholeFile) {
    TestHttpServer server;
    std::string body = RandomBytes(300000, 13);
    server.AddFile("/b", body);
    Behaviour b;
    b.trickleChunk = 4096;
    b.trickleDelayMs = 1;
    server.SetBehaviour(b);
    TempDir dir;
    Recorder r;
    web::DownloadSlot slot;
    auto s = SlotSettings(server.Url("/b"), dir.File("b"), r);
    s.readBudget = 3000;
    s.connections = 3;
    ASSERT_TRUE(web::StartDownload(slot, s));
    ASSERT_TRUE(FinishWithin(slot, 30000));
    EXPECT_EQ(FileHash(dir.File("b")), Fnv1a(body));
    EXPECT_EQ(r.Of(4)[0].value, 300000);
    EXPECT_TRUE(r.complete());
}

TEST(DownloadEngine, RefusedConnectionWaitsToRetryAndStopEndsTheWait) {
    uint16_t port;
    {
        TestHttpServer gone;
        port = gone.port();
    }
    TempDir dir;
    Recorder r;
    std::mutex m;
    std::condition_variable waiting;
    std::vector<std::string> logs;
    auto s = SlotSettings("http://127.0.0.1:" + std::to_string(port) + "/x", dir.File("x"), r);
    s.log = [&](int, const std::string& text, int, web::DownloadTransfer*) {
        std::lock_guard lock(m);
        logs.push_back(text);
        waiting.notify_all();
    };
    web::DownloadSlot slot;
    ASSERT_TRUE(web::StartDownload(slot, s));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(waiting.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(logs.begin(), logs.end(), "等待5秒后重试") != logs.end();
        }));
    }
    slot.Stop();
    ASSERT_TRUE(slot.WaitIdle(20000));
    std::string refused = "连接 [127.0.0.1:" + std::to_string(port) + "]失败";
    std::lock_guard lock(m);
    EXPECT_NE(std::find(logs.begin(), logs.end(), refused), logs.end());
    ExpectWellFormed(r);
    EXPECT_EQ(r.Of(4)[0].value, 0);
    EXPECT_FALSE(web::PathExists(dir.File("x")));
}

// The HTTP path shares the segment table, the body reader and the end report with FTP. Many
// transfers side by side, with uneven connections so that segments are split and taken over
// while others still run, must each end with every byte and say so.
TEST(DownloadEngine, ManyTransfersSideBySideNeverEndWithAHole) {
    TestHttpServer server;
    Behaviour b;
    b.trickleChunk = 3000;  // small writes: connections of one transfer finish at different times
    server.SetBehaviour(b);
    constexpr int kSideBySide = 8;
    std::vector<std::string> bodies;
    for (int i = 0; i < kSideBySide; ++i) {
        bodies.push_back(RandomBytes(60000 + 30000 * static_cast<size_t>(i), 100 + i));
        server.AddFile("/s" + std::to_string(i), bodies.back());
    }
    TempDir dir;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<Recorder>> recorders;
        std::vector<std::unique_ptr<web::DownloadSlot>> slots;
        for (int i = 0; i < kSideBySide; ++i) {
            recorders.push_back(std::make_unique<Recorder>());
            slots.push_back(std::make_unique<web::DownloadSlot>());
            auto s =
                SlotSettings(server.Url("/s" + std::to_string(i)),
                             dir.File(std::to_string(round) + "-" + std::to_string(i)), *recorders.back());
            s.connections = 2 + (i + round) % 7;
            ASSERT_TRUE(web::StartDownload(*slots.back(), s));
        }
        for (int i = 0; i < kSideBySide; ++i) {
            SCOPED_TRACE("round " + std::to_string(round) + " transfer " + std::to_string(i));
            ASSERT_TRUE(FinishWithin(*slots[i], 30000));
            EXPECT_EQ(FileHash(dir.File(std::to_string(round) + "-" + std::to_string(i))), Fnv1a(bodies[i]));
            EXPECT_TRUE(recorders[i]->complete());
            ASSERT_EQ(recorders[i]->Of(4).size(), 1u);
            EXPECT_EQ(recorders[i]->Of(4)[0].value, static_cast<int64_t>(bodies[i].size()));
        }
    }
}
