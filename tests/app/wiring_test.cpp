// The program's wiring on the headless engine against a real pack server: start-up makes the
// client, the connect timer's tick connects and greets, and a reply reaches the receiver.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/browsing.h"
#include "app/handlers.h"
#include "app/packet_link.h"
#include "app/startup.h"
#include "core/builtin_images.h"
#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "download_test_server.h"
#include "memory_settings_store.h"
#include "net/link.h"
#include "net/requests.h"
#include "pack_server.h"
#include "sys/text.h"
#include "ui/headless_engine.h"
#ifndef _WIN32
#endif

namespace {

using namespace std::chrono_literals;
using testpeer::KeptForever;
using testpeer::PackServer;

class Inbox {
  public:
    void Add(const uint8_t* data, size_t n) {
        std::lock_guard lock(mutex_);
        bodies_.emplace_back(reinterpret_cast<const char*>(data), n);
        changed_.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return bodies_.size() >= count; });
    }
    std::vector<std::string> Bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> bodies_;
};

TEST(Wiring, StartupConnectsOnTheTimerTickGreetsAndDeliversReplies) {
    testing_support::MemorySettingsStore store;
    // The library's worker may still re-arm the timer through the engine after the test: both
    // live for the process.
    static ui::HeadlessEngine& engine = KeptForever<ui::HeadlessEngine>();
    static Inbox& inbox = KeptForever<Inbox>();
    PackServer server;
    ASSERT_TRUE(server.listening());

    app::InstalledHandlers() = app::Handlers{};
    app::InstallPacketLink();
    ui::WindowId main = app::StartProgram(engine);
    ASSERT_NE(main, 0u);
    net::SetReplySink([](const uint8_t* d, size_t n) { inbox.Add(d, n); });
    // Start-up aimed the link at the built-in node; this test's node listens elsewhere.
    net::SetConnectionTarget("127.0.0.1", server.port());

    const ui::ControlId timer =
        core::ControlOf(core::WindowKind::Main, core::controls::main_window::kConnectTimer);
    EXPECT_EQ(engine.GetInt(timer, ui::attr::kInterval), 1000);
    engine.Raise(ui::EventKind::Tick, main, timer);
    ASSERT_TRUE(server.WaitForPackets(1));
    EXPECT_EQ(server.Packets()[0], net::HelloRequest());

    ASSERT_TRUE(server.Send("&通用(＆)节点维护中(＆)"));
    ASSERT_TRUE(inbox.WaitFor(1));
    EXPECT_EQ(inbox.Bodies()[0], "&通用(＆)节点维护中(＆)");

    net::Client().Stop(net::ClientHandle());
    EXPECT_TRUE(server.WaitForEnded(1));
    net::SetReplySink(nullptr);
}

TEST(Wiring, AListReplyFromTheNodeReachesTheDispatcherAndFillsTheListFromTheWeb) {
    testing_support::MemorySettingsStore store;
#ifndef _WIN32
#endif
    static ui::HeadlessEngine& engine = KeptForever<ui::HeadlessEngine>();
    PackServer server;
    dltest::TestHttpServer web;
    web.AddFile("/p/w/1.png", core::UseButtonPng());
    web.AddFile("/p/w/2.png", core::UseButtonPng());

    app::InstalledHandlers() = app::Handlers{};
    app::InstallPacketLink();
    app::InstallBrowsing();
    ui::WindowId main = app::StartProgram(engine);
    // The previews land in a fresh folder; Config.ini names it.
    std::string folder =
        (std::filesystem::temp_directory_path() / ("miaolan-wiring-" + std::to_string(web.port()))).string();
    std::filesystem::create_directories(std::filesystem::path(folder) / sys::GbkToUtf8("图片"));
    store.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath, sys::Utf8ToGbk(folder));
    net::SetConnectionTarget("127.0.0.1", server.port());
    engine.Raise(ui::EventKind::Tick, main, core::ControlOf(core::WindowKind::Main, "时钟1"));
    ASSERT_TRUE(server.WaitForPackets(1));

    ASSERT_TRUE(server.Send("&获取(＆)K最新(＆)4(＆)2(＆)/w/1.png[a]/w/2.png(＆)0(＆)" + web.Url("/p")));
    ui::ControlId list = core::ControlOf(core::WindowKind::Main, "最新壁纸");
    for (int i = 0; i < 2000 && engine.IcoItemCount(list) < 2; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(engine.IcoItemCount(list), 2);
    EXPECT_TRUE(engine.IcoItemHasImage(list, 1));
    EXPECT_EQ(web.Requests().size(), 2u);
    EXPECT_EQ(engine.GetText(core::ControlOf(core::WindowKind::Main, "标签EX1"), ui::attr::kCaption),
              "共4页");

    net::Client().Stop(net::ClientHandle());
    EXPECT_TRUE(server.WaitForEnded(1));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
