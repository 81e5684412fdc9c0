// The rotation loop against a real pack server, one pass per wait without the second's pause:
// every wait puts a marker on the wire behind what its pass sent, so the server's packets
// tell exactly which pass sent what. Settings come from the memory store.
#include "wallpaper/rotation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "memory_settings_store.h"
#include "net/link.h"
#include "pack_server.h"

namespace {

using testpeer::PackServer;

constexpr const char* kMarker = "~pass";
constexpr const char* kEnd = "~end";
const std::string kKeepAlive = "&4";

// "&更换(＆)" type "(＆)" id "(＆)", spelled out.
std::string ChangeBytes(const std::string& type) { return "&更换(＆)" + type + "(＆)机器码(＆)"; }

class RotationOnTheWire : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.listening());
        link_ = std::make_unique<net::Link>("127.0.0.1", server_.port(), timer_, replies_);
        link_->SetUp();
        ASSERT_TRUE(link_->Connect());
        ASSERT_TRUE(server_.WaitForPackets(1));  // the hello
    }
    void TearDown() override {
        link_->Stop();
        EXPECT_TRUE(server_.WaitForEnded(1));
    }

    struct : net::ConnectTimer {
        void SetInterval(int) override {}
    } timer_;
    struct : net::ReplyReceiver {
        void OnReply(const uint8_t*, size_t) override {}
    } replies_;
    std::unique_ptr<net::Link> link_;

    // Runs `count` passes; `afterPass(n)` runs in the wait after pass n (1-based). Returns
    // what each pass sent, [0] being pass 1.
    std::vector<std::vector<std::string>> Run(int count, uint32_t seed,
                                              const std::function<void(int)>& afterPass = {},
                                              const wallpaper::RotationHooks& hooks = {}) {
        int pass = 0;
        wallpaper::RunRotation(
            *link_,
            [this] {
                ++machineIdCalls_;
                return std::string("机器码");
            },
            [&] {
                ++pass;
                link_->Send(kMarker);
                if (afterPass) afterPass(pass);
                return pass < count;
            },
            seed, hooks);
        link_->Send(kEnd);
        std::vector<std::string> packets;
        for (size_t n = consumed_ + 1; server_.WaitForPackets(n); ++n) {
            packets = server_.Packets();
            if (packets.back() == kEnd) break;
        }
        EXPECT_EQ(packets.back(), kEnd);
        std::vector<std::vector<std::string>> passes(1);
        for (size_t i = consumed_; i + 1 < packets.size(); ++i) {
            if (packets[i] == kMarker)
                passes.emplace_back();
            else
                passes.back().push_back(packets[i]);
        }
        passes.pop_back();  // nothing follows the last marker
        consumed_ = packets.size();
        EXPECT_EQ(passes.size(), static_cast<size_t>(count));
        return passes;
    }

    // 1-based numbers of the passes that sent `what`.
    static std::vector<int> PassesSending(const std::vector<std::vector<std::string>>& passes,
                                          const std::string& what) {
        std::vector<int> numbers;
        for (size_t i = 0; i < passes.size(); ++i)
            for (const std::string& p : passes[i])
                if (p == what) numbers.push_back(static_cast<int>(i + 1));
        return numbers;
    }

    testing_support::MemorySettingsStore store_;
    PackServer server_;
    std::atomic<int> machineIdCalls_{0};
    size_t consumed_ = 1;  // the hello
};

TEST_F(RotationOnTheWire, DefaultFiveMinutesChangeEvery305thPassWithKeepAlivesBetweenButNeverWith) {
    // Nothing stored: type "0", period 5. Several seeds, so the intervals vary.
    for (uint32_t seed : {1u, 77u, 4242u}) {
        SCOPED_TRACE(seed);
        machineIdCalls_ = 0;
        auto passes = Run(916, seed);
        EXPECT_EQ(PassesSending(passes, ChangeBytes("0")), (std::vector<int>{305, 610, 915}));
        EXPECT_EQ(machineIdCalls_.load(), 3);
        std::vector<int> keepAlives = PassesSending(passes, kKeepAlive);
        EXPECT_GE(keepAlives.size(), 915u / 61);
        int previous = 0;
        for (int k : keepAlives) {
            // Drawn from 1 to 60; one that fell due on a change pass goes out on the next.
            int gap = k - previous;
            bool changeBetween =
                (previous < 305 && k > 305) || (previous < 610 && k > 610) || (previous < 915 && k > 915);
            EXPECT_GE(gap, 1);
            EXPECT_LE(gap, changeBetween ? 61 : 60) << "keep-alive at pass " << k;
            previous = k;
        }
        for (const auto& sent : passes) {
            EXPECT_LE(sent.size(), 1u);
            for (const std::string& p : sent) EXPECT_TRUE(p == kKeepAlive || p == ChangeBytes("0")) << p;
        }
    }
}

TEST_F(RotationOnTheWire, PeriodZeroOrNotANumberSendsKeepAlivesOnly) {
    for (const char* period : {"0", "关闭"}) {
        SCOPED_TRACE(period);
        store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, period);
        auto passes = Run(400, 9);
        EXPECT_TRUE(PassesSending(passes, ChangeBytes("0")).empty());
        EXPECT_GE(PassesSending(passes, kKeepAlive).size(), 400u / 60);
    }
    EXPECT_EQ(machineIdCalls_.load(), 0);
}

TEST_F(RotationOnTheWire, SettingsAreReadAnewOnEveryPass) {
    store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, "0");
    auto passes = Run(800, 5, [this](int pass) {
        // Period 0 still restarts the change counter every 5 passes, so the period chosen
        // after pass 100 counts from there.
        if (pass == 100) {
            store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, "5");
            store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationType, "1");
        }
        if (pass == 405)
            store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationType, "2");
        if (pass == 500)
            store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, "0");
    });
    EXPECT_EQ(PassesSending(passes, ChangeBytes("1")), std::vector<int>{405});
    EXPECT_TRUE(PassesSending(passes, ChangeBytes("2")).empty());
}

TEST_F(RotationOnTheWire, NegativeStoredPeriodCountsAsFiveMinutesInsteadOfAChangeEverySecond) {
    // Quotes an older window let in are gone when the profile reader gives the value back.
    int changes = 0;
    for (const char* period : {"-1", "\"-1\""}) {
        SCOPED_TRACE(period);
        store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, period);
        auto passes = Run(400, 3);
        EXPECT_EQ(PassesSending(passes, ChangeBytes("0")), std::vector<int>{305});
        EXPECT_EQ(machineIdCalls_.load(), ++changes);
    }
}

// A change that falls due while paused is made at the first pass after, and the next one a
// period after that; keep-alives go on through the pause.
TEST_F(RotationOnTheWire, APausedChangeIsOwedUntilThePauseEndsWhileKeepAlivesGoOn) {
    int done = 0;
    int asked = 0;
    wallpaper::RotationHooks hooks;
    hooks.paused = [&] {
        ++asked;
        return done < 400;
    };
    auto passes = Run(
        720, 11, [&](int pass) { done = pass; }, hooks);
    EXPECT_EQ(PassesSending(passes, ChangeBytes("0")), (std::vector<int>{401, 706}));
    std::vector<int> keepAlives = PassesSending(passes, kKeepAlive);
    EXPECT_GE(std::count_if(keepAlives.begin(), keepAlives.end(), [](int k) { return k > 305 && k <= 400; }),
              1);
    // Asked only while a change is due (passes 305 to 401, then 706), not on every pass.
    EXPECT_EQ(asked, (401 - 305 + 1) + 1);
}

// With a picture per monitor, one change asks for one picture per monitor, each only after the
// silent download of the one before has ended.
TEST_F(RotationOnTheWire, APicturePerMonitorIsAskedForAfterThePreviousDownloadEnded) {
    std::atomic<uint64_t> ended{0};
    wallpaper::RotationHooks hooks;
    hooks.picturesPerChange = [] { return 3; };
    hooks.silentDownloadsEnded = [&] { return ended.load(); };
    auto passes = Run(
        612, 2,
        [&](int pass) {
            if (pass == 310 || pass == 312) ++ended;
        },
        hooks);
    EXPECT_EQ(PassesSending(passes, ChangeBytes("0")), (std::vector<int>{305, 311, 313, 610}));
}

TEST(RotationPass, ADueKeepAliveWaitsForThePassAfterAChange) {
    wallpaper::RotationCounters c;
    c.sinceChange = 304;
    c.sinceKeepAlive = 9;
    c.keepAliveInterval = 10;
    int draws = 0;
    auto draw = [&] { return ++draws + 20; };
    EXPECT_EQ(wallpaper::DecideRotationPass(c, 5, draw), wallpaper::RotationSend::Change);
    EXPECT_EQ(c.sinceChange, 0);
    EXPECT_EQ(c.sinceKeepAlive, 10);
    EXPECT_EQ(wallpaper::DecideRotationPass(c, 5, draw), wallpaper::RotationSend::KeepAlive);
    EXPECT_EQ(c.sinceKeepAlive, 0);
    EXPECT_EQ(c.keepAliveInterval, 21);
    // A period too large for 32 bits of seconds still waits its whole length.
    EXPECT_EQ(wallpaper::RotationLimitSeconds(2147483647), 128849018825);
}

}  // namespace
