// Fuzzes what a client can send the node: request bodies, one connection's session across
// them, into the node's protocol with a small real collection (libvips pictures in a sandbox in
// /tmp), its counts database and its picture cache. Every reply must keep the framing the
// client relies on: no zero byte, a known reply name, and exactly its number of fields, so no
// request text can add a field or a list entry to what the client reads.
//
// Input: request bodies separated by zero bytes (the node reads a body only up to its first
// zero, so a zero can end a body but never be inside one).
#include <vips/vips.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "counts_store.h"
#include "image_cache.h"
#include "image_tools.h"
#include "node_config.h"
#include "protocol.h"
#include "sys/text.h"

namespace {

namespace fs = std::filesystem;

const std::string kSep = "(＆)";

[[noreturn]] void Fail(const std::string& what, std::string_view reply = {}) {
    std::fprintf(stderr, "fuzz_requests: %s: %s\n", what.c_str(),
                 sys::GbkToUtf8(reply.substr(0, 300)).c_str());
    std::abort();
}

void WritePicture(const fs::path& path, int width, int height) {
    VipsImage* black = nullptr;
    if (vips_black(&black, width, height, "bands", 3, nullptr) != 0 ||
        vips_image_write_to_file(black, path.c_str(), nullptr) != 0)
        Fail("cannot write " + path.string());
    g_object_unref(black);
}

int Separators(std::string_view reply) {
    int n = 0;
    for (int at = sys::Find(reply, kSep); at > 0;
         at = sys::Find(reply, kSep, at + static_cast<int>(kSep.size())))
        ++n;
    return n;
}

class Node {
  public:
    Node() {
        char pattern[] = "/tmp/miaolan-fuzz-node-XXXXXX";
        if (!mkdtemp(pattern) || !node::InitImageLibrary()) Fail("no sandbox");
        root_ = pattern;
        // make_seeds.py names these pictures by the keys the node derives from their paths.
        fs::path collection = root_ / "collection";
        auto folder = [&](const char* category) {
            fs::path p = collection / sys::GbkToUtf8(category);
            fs::create_directories(p);
            return p;
        };
        fs::path land = folder("K风景");
        for (const char* name : {"a.jpg", "b.jpg", "c.png"}) WritePicture(land / name, 64, 40);
        WritePicture(folder("4K风景") / "wide.jpg", 3840, 8);
        WritePicture(folder("K动物") / "d.webp", 30, 20);
        // A title and description holding what would break the framing if it went out as is.
        std::ofstream(land / "a.jpg.txt", std::ios::binary) << sys::GbkToUtf8("春(＆)天[a]\n一行[q]\n");

        config_.catalogueUtf8 = collection.string();
        config_.cacheUtf8 = (root_ / "cache").string();
        config_.pageSize = 2;
        config_.notice = "欢迎";
        config_.mirrors = {{"http://127.0.0.1:9", "香港", "甲", "http://a.example", "http://127.0.0.1:9", ""},
                           {"http://127.0.0.2:9", "上海", "乙", "http://b.example", "http://127.0.0.2:9",
                            "http://images.example"}};
        std::string error;
        cache_ = std::make_unique<node::ImageCache>(config_.cacheUtf8);
        if (!cache_->CreateFolders(error) || !counts_.Open((root_ / "counts.db").string(), error))
            Fail("node set-up: " + error);
        catalogue_ = node::ScanCatalogue(config_);
        if (catalogue_->size() != 5)
            Fail("the collection has " + std::to_string(catalogue_->size()) + " pictures");
        protocol_ =
            std::make_unique<node::Protocol>(config_, counts_, *cache_, [this] { return catalogue_; });
    }

    void Run(std::string_view input) {
        node::Session session;
        for (size_t start = 0; start <= input.size();) {
            size_t end = input.find('\0', start);
            if (end == std::string_view::npos) end = input.size();
            std::string what;
            if (auto reply = protocol_->Handle(input.substr(start, end - start), session, &what))
                Check(*reply);
            start = end + 1;
        }
    }

    // The counts writer may still be running: it only ever touches its database file.
    void RemoveSandbox() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

  private:
    static void Check(const std::string& reply) {
        if (reply.find('\0') != std::string::npos) Fail("a zero byte in a reply", reply);
        std::string name = reply.substr(0, reply.find(kSep));
        int fields = Separators(reply) + 1;
        int expected = name == "&获取" ? 7 : name == "&详细" ? 8 : name == "&下载" ? 3 : name == "&2" ? 2 : 0;
        if (name == "&1") expected = fields == 4 ? 4 : 2;
        if (expected == 0) Fail("a reply the client does not know", reply);
        if (fields != expected) Fail("a reply with " + std::to_string(fields) + " fields", reply);
        if (name == "&下载" && !sys::EndsWith(reply, kSep + "0") && !sys::EndsWith(reply, kSep + "1"))
            Fail("a download reply with another mode", reply);
    }

    fs::path root_;
    node::Config config_;
    node::CountsStore counts_;
    std::unique_ptr<node::ImageCache> cache_;
    std::shared_ptr<const node::Catalogue> catalogue_;
    std::unique_ptr<node::Protocol> protocol_;
};

}  // namespace

// Kept for the life of the process: the counts writer and libvips outlive any one input.
Node* g_node = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_node = new Node;
    std::atexit([] { g_node->RemoveSandbox(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_node->Run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
