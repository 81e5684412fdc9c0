// From a list reply to the last item shown, with 30 previews: all in the cache (goal under
// 50 ms), and none in the cache, from a loopback server that answers each after 100 ms (goal
// under 0.6 s), beside the anchor measured in the same run: the same 30 previews fetched one
// at a time with the program's own fetch call. The reply goes to the dispatcher as the receive
// thread hands it over; the time ends when the fill has returned and, on the Win32 engine, the
// main window has painted.
//
// Natively on the headless engine (it reads picture headers, it does not decode). Built for
// Windows, on the real Win32 engine under Wine: the main window and its message loop on the
// main thread, the replies on a thread of their own; one warm-up round, not counted, keeps
// first-use costs (GDI+ codecs, the HTTP library) out of the figures. Under Wine the previews
// come from a native copy of this bench (--serve), as a node's would, so that the server's own
// threads and sockets do not run inside Wine beside the client.
//   fill_bench PREVIEW_FOLDER RUNS [BASE_URL]   (the folder holds p01.jpg ... p30.jpg; without
//                                                BASE_URL the previews come from a server in
//                                                this process)
//   fill_bench --serve PREVIEW_FOLDER           serves them under /p/b/, each after 100 ms;
//                                                prints the port, ends when stdin does
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/program.h"
#include "core/categories.h"
#include "core/preview_cache.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "download_test_server.h"
#include "net/preview_fetch.h"
#include "sys/file_bytes.h"

#ifdef _WIN32
#include "ui/win32_engine.h"
#else
#include <unistd.h>

#include <filesystem>

#include "memory_settings_store.h"
#include "sys/text.h"
#include "ui/headless_engine.h"
#endif

namespace {

// The program whose reply path the bench drives.
app::Program* g_program = nullptr;

using Clock = std::chrono::steady_clock;

constexpr int kPreviews = 30;
constexpr int kAnswerDelayMs = 100;
constexpr double kCachedGoalMs = 50, kUncachedGoalMs = 600;
const char* const kCategory = "4K最新";

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Summary(const std::vector<double>& v) {
    char text[128];
    std::snprintf(text, sizeof text, "median %8.1f ms  range %8.1f-%8.1f", Median(v),
                  *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    return text;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The node paths of the previews: /b/p01.jpg ... /b/p30.jpg.
std::vector<std::string> PreviewPaths() {
    std::vector<std::string> paths;
    for (int i = 1; i <= kPreviews; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/b/p%02d.jpg", i);
        paths.push_back(name);
    }
    return paths;
}

// A loopback server with the previews under /p, answering each after the delay.
std::unique_ptr<dltest::TestHttpServer> Serve(const std::vector<std::string>& previews) {
    auto server = std::make_unique<dltest::TestHttpServer>();
    std::vector<std::string> paths = PreviewPaths();
    for (size_t i = 0; i < paths.size(); ++i) server->AddFile("/p" + paths[i], previews[i]);
    dltest::Behaviour slow;
    slow.stallMs = kAnswerDelayMs;
    server->SetBehaviour(slow);
    return server;
}

class Bench {
  public:
    Bench(ui::Engine& engine, const std::vector<std::string>& previews, const std::string& baseUrl)
        : engine_(engine), paths_(PreviewPaths()), baseUrl_(baseUrl) {
        if (baseUrl_.empty()) {
            server_ = Serve(previews);
            baseUrl_ = server_->Url("/p");
        }
    }

    bool ServerUp() const { return !server_ || server_->port() != 0; }

    // The list reply for page 1 of the category, as the node writes it.
    std::string Reply() const {
        std::string list;
        for (const std::string& p : paths_) list += (list.empty() ? "" : "[a]") + p;
        const std::string sep = "(＆)";
        return "&获取" + sep + kCategory + sep + "5" + sep + "1" + sep + list + sep + "0" + sep + baseUrl_;
    }

    void ClearCache() {
        for (const std::string& p : paths_) sys::RemoveFile(core::PreviewCacheFile(p));
    }
    bool Cached() {
        for (const std::string& p : paths_)
            if (!sys::FileExists(core::PreviewCacheFile(p))) return false;
        return true;
    }

    // One list reply to the dispatcher; milliseconds until the last item is shown, or -1 when
    // the list did not end up with every preview.
    double Fill() {
        std::string reply = Reply();
        Clock::time_point start = Clock::now();
        g_program->OnReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
        Clock::time_point filled = Clock::now();
        ShowNow();
        double ms = Ms(Clock::now() - start);
        paintMs = Ms(Clock::now() - filled);
        ui::ControlId list = core::ControlOf(core::WindowKind::Main, core::CategoryNamed(kCategory)->list);
        int items = engine_.IcoItemCount(list), pictures = 0;
        for (int i = 0; i < items; ++i) pictures += engine_.IcoItemHasImage(list, i);
        if (items == kPreviews && pictures == kPreviews) return ms;
        std::fprintf(stderr, "the list has %d items, %d with a picture\n", items, pictures);
        return -1;
    }

    // The anchor: the same previews fetched one after another by the same call; -1 when one
    // came back empty.
    double OneAtATime() {
        Clock::time_point start = Clock::now();
        for (const std::string& p : paths_)
            if (net::FetchPicture(baseUrl_ + p).empty()) return -1;
        return Ms(Clock::now() - start);
    }

    double paintMs = 0;  // of the last Fill: the paint after the fill returned

  private:
    // Paints what the fill invalidated before the clock stops: on the Win32 engine the UI
    // thread paints the window now and returns when done.
    void ShowNow() {
#ifdef _WIN32
        HWND hwnd = static_cast<HWND>(
            static_cast<ui::Win32Engine&>(engine_).NativeWindow(core::WindowOf(core::WindowKind::Main)));
        RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
#endif
    }

    ui::Engine& engine_;
    std::unique_ptr<dltest::TestHttpServer> server_;
    std::vector<std::string> paths_;
    std::string baseUrl_;
};

int Run(ui::Engine& engine, const std::vector<std::string>& previews, int runs, const std::string& baseUrl) {
    Bench bench(engine, previews, baseUrl);
    if (!bench.ServerUp()) {
        std::fprintf(stderr, "no loopback server\n");
        return 1;
    }
    std::vector<double> cached, uncached, anchor;
    // Round 0 warms up and is not counted.
    for (int round = 0; round <= runs; ++round) {
        bench.ClearCache();
        double b = bench.Fill();
        double paintB = bench.paintMs;
        bool filled = bench.Cached();
        double a = bench.Fill();
        double paintA = bench.paintMs;
        bench.ClearCache();
        double one = bench.OneAtATime();
        if (b < 0 || a < 0 || one < 0 || !filled) {
            std::fprintf(stderr, "round %d: uncached %.1f, cached %.1f, one at a time %.1f, cache %s\n",
                         round, b, a, one, filled ? "full" : "incomplete");
            return 1;
        }
        std::printf(
            "%s %d: uncached %7.1f ms, cached %6.1f ms, one at a time %7.1f ms (of which painting "
            "after the fill: %.1f ms, %.1f ms)\n",
            round ? "run" : "warm-up", round, b, a, one, paintB, paintA);
        std::fflush(stdout);
        if (round == 0) continue;
        uncached.push_back(b);
        cached.push_back(a);
        anchor.push_back(one);
    }
#ifdef _WIN32
    const char* where = "Win32 engine under Wine";
#else
    const char* where = "headless engine";
#endif
    std::printf("%d previews, %s, %d runs\n", kPreviews, where, runs);
    std::printf("A cached                %s  goal < %.0f ms: %s\n", Summary(cached).c_str(), kCachedGoalMs,
                Median(cached) < kCachedGoalMs ? "met" : "MISSED");
    std::printf("B uncached (%d ms each) %s  goal < %.0f ms: %s\n", kAnswerDelayMs, Summary(uncached).c_str(),
                kUncachedGoalMs, Median(uncached) < kUncachedGoalMs ? "met" : "MISSED");
    std::printf("  one at a time         %s\n", Summary(anchor).c_str());
    std::printf("  ratio B / one at a time, medians: %.3f\n", Median(uncached) / Median(anchor));
    return 0;
}

std::vector<std::string> ReadPreviews(const std::string& folder) {
    std::vector<std::string> previews;
    for (int i = 1; i <= kPreviews; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/p%02d.jpg", i);
        std::string bytes = ReadAll(folder + name);
        if (bytes.empty()) return {};
        previews.push_back(std::move(bytes));
    }
    return previews;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fill_bench PREVIEW_FOLDER RUNS [BASE_URL] | --serve PREVIEW_FOLDER\n");
        return 2;
    }
    bool serve = std::string(argv[1]) == "--serve";
    const char* folder = serve ? argv[2] : argv[1];
    std::vector<std::string> previews = ReadPreviews(folder);
    if (previews.empty()) {
        std::fprintf(stderr, "missing p01.jpg ... p%02d.jpg in %s\n", kPreviews, folder);
        return 2;
    }
    if (serve) {
        auto server = Serve(previews);
        if (server->port() == 0) return 1;
        std::printf("%d\n", server->port());
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    int runs = std::max(1, std::atoi(argv[2]));
    std::string baseUrl = argc > 3 ? argv[3] : "";
#ifdef _WIN32
    // Config.ini beside the bench names a storage folder of its own.
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string storage = std::string(temp) + "miaolan-fill-bench";
    CreateDirectoryA(core::Store().ProgramFolder().append("\\data").c_str(), nullptr);
    core::WriteSetting(core::kSectionGeneral, core::kKeyPath, storage);
    static ui::Win32Engine engine;
    static app::Program program(engine, {"127.0.0.1", 1, {}});
    g_program = &program;
    program.Start();
    int rc = 1;
    DWORD uiThread = GetCurrentThreadId();
    std::thread replies([&] {
        rc = Run(engine, previews, runs, baseUrl);
        PostThreadMessageA(uiThread, WM_QUIT, 0, 0);
    });
    ui::RunMessageLoop();
    replies.join();
    std::fflush(stdout);
    ExitProcess(static_cast<UINT>(rc));
#else
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("miaolan-fill-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "store" / fs::path(sys::GbkToUtf16("图片")));
    testing_support::MemorySettingsStore store;
    store.Write(core::SettingsPath(), core::kSectionGeneral, core::kKeyPath,
                sys::Utf16ToGbk((root / "store").u16string()));
    ui::HeadlessEngine engine;
    app::Program program(engine, {"127.0.0.1", 1, {}});
    g_program = &program;
    program.Start();
    int rc = Run(engine, previews, runs, baseUrl);
    program.Stop();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return rc;
#endif
}
