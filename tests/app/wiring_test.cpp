// The whole program object on the headless engine against a real node (the node's own code,
// on free loopback ports, serving a small collection): it connects and greets, pages through
// a category with the node's previews, applies a picture chosen with "使用", and stops with
// every thread it started joined.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/program.h"
#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "memory_settings_store.h"
#include "node_harness.h"
#include "sys/text.h"
#include "ui/headless_engine.h"
#include "wallpaper/downloads.h"
#include "wallpaper/machine_id.h"
#include "wallpaper_doubles.h"

namespace {

using namespace std::chrono_literals;
using ui::EventKind;

// The names of the process's threads (the node's share the process with the program's).
std::vector<std::string> ThreadNames() {
    std::vector<std::string> names;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

// The program's own threads: every one it or its packet library starts has one of these names.
int ProgramThreads() {
    static const std::set<std::string> ours = {"rotation",      "notices",   "preview-fetch", "dl-transfer",
                                               "dl-connection", "hp-client", "hp-resolve"};
    int n = 0;
    for (const std::string& name : ThreadNames()) n += ours.count(name) != 0;
    return n;
}

bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(5ms);
    return condition();
}

TEST(WholeProgram, AgainstARealNodeBrowsesAppliesTheChosenPictureAndStopsWithEveryThreadJoined) {
    nodetest::TempDir cache("wiring-cache"), storage("wiring-storage");
    nodetest::RunningNode node(nodetest::TestConfig(cache.path()));
    std::filesystem::create_directories(std::filesystem::path(storage.path()) / sys::GbkToUtf8("图片"));
    testing_support::MemorySettingsStore store;
    store.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath, sys::Utf8ToGbk(storage.path()));
    wptest::FileDesktop desktop(std::filesystem::path(storage.path()) / "desktop");
    ui::HeadlessEngine engine;
    {
        app::Program program(
            engine, {"127.0.0.1", static_cast<uint16_t>(node.packPort()), wallpaper::MachineIdentifier});
        ui::WindowId main = program.Start();
        auto control = [&](const char* name) { return core::ControlOf(core::WindowKind::Main, name); };
        engine.Raise(EventKind::Tick, main, control(core::controls::main_window::kConnectTimer));
        // The hello's answer stops the timer and shows the 4K view; its landscape tab fills.
        ASSERT_TRUE(Eventually([&] { return engine.GetInt(control("时钟1"), ui::attr::kInterval) == 0; }));
        engine.Raise(EventKind::PageChanged, main, control(core::kStrip4K), 1);
        ui::ControlId list = control("风景4K");
        ASSERT_TRUE(Eventually([&] { return engine.IcoItemCount(list) == 2; }));
        EXPECT_TRUE(engine.IcoItemHasImage(list, 0));
        EXPECT_TRUE(Eventually([&] {
            return engine.GetText(control(core::controls::main_window::kTotalLabel), ui::attr::kCaption) ==
                   "共1页";
        }));

        // "使用" on the second picture: the node orders the download and the complete picture
        // goes to the desktop's application (whose first step writes the style).
        engine.ClickElem(list, 1, 1);
        ASSERT_TRUE(Eventually([&] { return !desktop.Styles().empty(); }));
        ASSERT_TRUE(wallpaper::VisibleSlot().WaitIdle(20000));
        EXPECT_FALSE(engine.IsWindowVisible(core::WindowOf(core::WindowKind::Download)));
        ASSERT_GE(ProgramThreads(), 2);  // rotation and the link's worker at least
        program.Stop();
    }
    // The packet library's worker ends after its last callback; everything else is joined.
    EXPECT_TRUE(Eventually([&] { return ProgramThreads() == 0; })) << ProgramThreads() << " left";
}

}  // namespace
