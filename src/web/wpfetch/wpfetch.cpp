// wpfetch URL FILE [connections]: one transfer with the download slots' settings record,
// printing every event with its values. Exit status 0 when the file is complete.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "sys/text.h"
#include "web/download_engine.h"

namespace {

std::mutex printLock;

std::string ForConsole(const std::string& gbk) {
#ifdef _WIN32
    return gbk;  // the console speaks the ANSI code page
#else
    return sys::GbkToUtf8(gbk);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: wpfetch URL FILE [connections]\n");
        return 2;
    }
    int connections = argc == 4 ? std::atoi(argv[3]) : 5;
    if (connections < 1) connections = 1;

    std::atomic<bool> complete{false};
    web::DownloadSettings s = web::ProgramDownloadSettings(argv[1], argv[2], connections);
    s.event = [&](int code, int connection, int64_t value, int64_t value2, web::DownloadTransfer* t) {
        if (code == 4) complete = web::TransferComplete(t);
        std::lock_guard lock(printLock);
        std::printf("event %d connection %d value %lld %lld\n", code, connection,
                    static_cast<long long>(value), static_cast<long long>(value2));
        if (code == 4) std::fflush(stdout);
        return 0;
    };
    s.log = [](int connection, const std::string& text, int level, web::DownloadTransfer*) {
        std::lock_guard lock(printLock);
        std::fprintf(stderr, "[%d:%d] %s\n", connection, level, ForConsole(sys::Trim(text)).c_str());
    };

    web::DownloadSlot slot;
    auto started = std::chrono::steady_clock::now();
    if (!web::StartDownload(slot, s)) {
        std::fprintf(stderr, "wpfetch: cannot start %s\n", argv[1]);
        return 1;
    }
    slot.WaitIdle(24 * 3600 * 1000);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "wpfetch: %s after %.3f s\n", complete ? "complete" : "incomplete", seconds);
    return complete ? 0 : 1;
}
