// The whole program on the headless engine against real peers: a pack server standing in for
// the node and an HTTP server for the previews, with Config.ini in memory and the storage
// folder in a fresh folder on disk.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/program.h"
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
#include "wallpaper/machine_id.h"

namespace road {

namespace fs = std::filesystem;
using testpeer::KeptForever;

// Waits (bounded) until the condition holds; false when it never did.
inline bool Eventually(const std::function<bool()>& condition) {
    // Bounded generously: a sanitized build on a loaded machine handles a 16 MiB page slowly.
    for (int i = 0; i < 12000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// A GBK name as a path, and a path's UTF-8 text, the same on both systems.
inline fs::path Native(const std::string& gbk) { return fs::path(sys::GbkToUtf16(gbk)); }
inline std::string Utf8(const std::u8string& text) { return std::string(text.begin(), text.end()); }

inline std::string Sep() { return "(＆)"; }

// Joins fields with the separator, as the node writes a reply.
inline std::string Reply(std::initializer_list<std::string> fields) {
    std::string out;
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) out += Sep();
        out += f;
        first = false;
    }
    return out;
}

// The headless engine, told to fail on demand: an engine call that throws stands for anything
// that goes wrong in the middle of a fill.
class FaultyEngine : public ui::HeadlessEngine {
  public:
    // The n-th item insertion from now throws (1: the next one); 0: none does.
    std::atomic<int> failInsertAt{0};

    void InsertIcoItem(ui::ControlId list, int position, ui::ImageId image,
                       const std::string& title) override {
        if (failInsertAt.load() > 0 && --failInsertAt == 0) throw std::runtime_error("engine failed");
        HeadlessEngine::InsertIcoItem(list, position, image, title);
    }
};

class Road : public ::testing::Test {
  protected:
    void SetUp() override {
        // Unique across processes too: ctest runs each test in its own process, side by side,
        // and the same fixture can sit at the same address in each of them.
        root_ = fs::temp_directory_path() / ("miaolan-road-" + std::to_string(std::random_device{}()) + "-" +
                                             std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(root_);
        fs::create_directories(root_ / "store" / Native("图片"));
        storage_ = sys::Utf16ToGbk((root_ / "store").make_preferred().u16string());
        store_.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath, storage_);
        picture_ = core::UseButtonPng();

        program_ = std::make_unique<app::Program>(
            engine_, app::ProgramOptions{"127.0.0.1", node_.port(), wallpaper::MachineIdentifier});
        main_ = program_->Start();
        Connect(1);
    }

    void TearDown() override {
        // Every thread of the program ends here: rotation, notices, transfers, the link.
        program_->Stop();
        node_.WaitForEnded(node_.Packets().empty() ? 0 : 1);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Ticks the connect timer and waits for the hello of connection `n`.
    void Connect(int n) {
        size_t before = node_.Packets().size();
        engine_.Raise(ui::EventKind::Tick, main_, Main(core::controls::main_window::kConnectTimer));
        ASSERT_TRUE(node_.WaitForConnections(n));
        // Rotation's keep-alive may come first: its first wait is drawn from 1 s up.
        ASSERT_TRUE(Eventually([&] {
            std::vector<std::string> sent = node_.Packets();
            return std::find(sent.begin() + static_cast<ptrdiff_t>(before), sent.end(),
                             net::HelloRequest()) != sent.end();
        }));
    }

    ui::ControlId Main(const std::string& name) { return core::ControlOf(core::WindowKind::Main, name); }
    ui::ControlId Detail(const std::string& name) { return core::ControlOf(core::WindowKind::Detail, name); }
    std::string Caption(ui::ControlId c) { return engine_.GetText(c, ui::attr::kCaption); }
    std::string PageBox() {
        return engine_.GetText(Main(core::controls::main_window::kPageBox), ui::attr::kText);
    }
    std::string TotalLabel() { return Caption(Main(core::controls::main_window::kTotalLabel)); }
    int Items(const std::string& list) { return engine_.IcoItemCount(Main(list)); }

    // The packets the client has sent since the hello and register.
    std::vector<std::string> Sent() { return node_.Packets(); }

    // Sends the reply and waits until the program has handled it: a "&通用" probe sent after it
    // shows up as a message, since replies are handled one after another.
    void Handle(const std::string& reply) {
        ASSERT_TRUE(node_.Send(reply));
        Probe();
    }
    void Probe() {
        static int probes = 0;
        std::string text = "probe " + std::to_string(++probes);
        ASSERT_TRUE(node_.Send(Reply({"&通用", text})));
        ASSERT_TRUE(Eventually([&] {
            for (const ui::HeadlessMessage& m : engine_.Messages())
                if (m.text == text) return true;
            return false;
        }));
    }

    fs::path CacheFile(const std::string& name) { return root_ / "store" / Native("图片") / Native(name); }
    // Every file under the test's folder, relative to it.
    std::vector<std::string> FilesWritten() {
        std::vector<std::string> out;
        for (auto& e : fs::recursive_directory_iterator(root_))
            if (e.is_regular_file()) out.push_back(Utf8(fs::relative(e.path(), root_).generic_u8string()));
        std::sort(out.begin(), out.end());
        return out;
    }

    testing_support::MemorySettingsStore store_;
    // The windows outlive the test's program: one engine for the process.
    FaultyEngine& engine_ = KeptForever<FaultyEngine>();
    testpeer::PackServer node_;
    dltest::TestHttpServer web_;
    std::unique_ptr<app::Program> program_;
    fs::path root_;
    std::string storage_;
    std::string picture_;
    ui::WindowId main_ = 0;
};

}  // namespace road
