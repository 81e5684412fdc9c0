// Fuzzes what the node can send: bytes as they come off the socket go through the pack framing
// the library's receive loop uses, into the receive callback the link registered, and so into
// the reply dispatcher with the real list filling, detail window and node list on the headless
// engine. Previews are answered from memory (fuzz_doubles.cpp) and downloads are not started:
// nothing leaves the machine. After every input the only files anywhere in the sandbox must be
// cache files; they are removed so each input starts with an empty cache.
//
// Input: byte 0 is the size of each read (0: everything in one read), the rest is the stream.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "app/program.h"
#include "client.h"
#include "core/settings.h"
#include "memory_settings_store.h"
#include "net/link.h"
#include "net/notices.h"
#include "pack_frame.h"
#include "sys/text.h"
#include "ui/headless_engine.h"
#include "wallpaper/category_list.h"

namespace {

namespace fs = std::filesystem;

// Message boxes are counted, not kept: a long run raises millions of them.
class QuietEngine : public ui::HeadlessEngine {
  public:
    void MsgBox(const std::string&, const std::string&, const std::string&, ui::WindowId) override {
        ++boxes;
    }
    std::atomic<long> boxes{0};
};

fs::path Native(const std::string& gbk) { return fs::path(sys::GbkToUtf16(gbk)); }

[[noreturn]] void Fail(const char* what, const fs::path& path) {
    std::fprintf(stderr, "fuzz_replies: %s: %s\n", what, path.c_str());
    std::abort();
}

class Harness {
  public:
    Harness() {
        char pattern[] = "/tmp/miaolan-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) Fail("no sandbox", pattern);
        sandbox_ = pattern;
        // Deep enough that a name climbing a few levels out of the cache still lands in here.
        fs::path root = sandbox_ / "a" / "b" / "c" / "d";
        cache_ = root / "store" / Native("图片");
        fs::create_directories(cache_);
        for (fs::path p = cache_; p != sandbox_; p = p.parent_path()) folders_.insert(p);
        store_.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath,
                     sys::Utf16ToGbk((root / "store").u16string()));

        program_.Start();
        net::Link& link = program_.link();
        auto* listener = static_cast<hp::Listener*>(link.Client().listener());
        onReceive_ = listener ? listener->onReceive.load() : nullptr;
        if (!onReceive_) Fail("the link registered no receive callback", sandbox_);
        flag_ = link.Client().GetPackHeaderFlag(link.Handle());
        maxPack_ = link.Client().GetMaxPackSize(link.Handle());
    }

    // What the library's receive loop does with each read: unpack, hand every whole body to
    // the callback, give up on a framing error or a refusal.
    void Receive(const uint8_t* data, size_t size, size_t readSize) {
        pack::Decoder decoder(flag_, maxPack_);
        bool refused = false;
        auto deliver = [&](const uint8_t* body, size_t n) {
            // A download order would start a real transfer to whatever host the input names;
            // the engine's URL checks have tests of their own.
            static const std::string kDownload = "&下载";
            if (n >= kDownload.size() && std::memcmp(body, kDownload.data(), kDownload.size()) == 0) return;
            if (!refused && onReceive_(program_.link().Handle(), 1, body, static_cast<int>(n)) == HR_ERROR)
                refused = true;
        };
        for (size_t at = 0; at < size && !refused; at += readSize)
            if (!decoder.Feed(data + at, std::min(readSize, size - at), deliver)) break;
        program_.notices().WaitUntilShown();
    }

    // A fresh node each time, so "&1" writes its keys again.
    void ForgetNode() {
        for (const char* key : {core::kKeyNodeName, core::kKeyNodeSponsor, core::kKeyNodeId})
            store_.Write(core::SettingsPath(), core::kSectionNode, key, "");
    }

    void CheckAndEmptySandbox() {
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(sandbox_)) {
            if (e.is_directory()) {
                if (!folders_.count(e.path())) Fail("folder made outside the cache", e.path());
            } else if (e.path().parent_path() != cache_) {
                Fail("file written outside the cache", e.path());
            } else {
                fs::remove(e.path());
            }
        }
    }

    void RemoveSandbox() {
        std::error_code ignored;
        fs::remove_all(sandbox_, ignored);
    }

  private:
    testing_support::MemorySettingsStore store_;
    QuietEngine engine_;
    app::Program program_{engine_, {"127.0.0.1", 1, {}}};
    fs::path sandbox_, cache_;
    std::set<fs::path> folders_;
    HP_FN_Client_OnReceive onReceive_ = nullptr;
    uint32_t flag_ = 0, maxPack_ = 0;
};

// Never destroyed: the library's, the notice and the rotation threads outlive every input.
Harness& TheHarness() {
    static Harness* harness = [] {
        auto* h = new Harness;
        std::atexit([] { TheHarness().RemoveSandbox(); });
        return h;
    }();
    return *harness;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Harness& h = TheHarness();
    if (size == 0) return 0;
    size_t readSize = data[0] ? data[0] : size;
    h.ForgetNode();
    h.Receive(data + 1, size - 1, readSize);
    h.CheckAndEmptySandbox();
    return 0;
}
