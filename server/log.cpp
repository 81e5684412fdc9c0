#include "log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "sys/text.h"

namespace node {
namespace {
std::atomic<bool> g_verbose{false};
std::mutex g_logMutex;
}  // namespace

void SetVerbose(bool on) { g_verbose = on; }
bool Verbose() { return g_verbose; }

void Log(std::string_view message) {
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    std::string line;
    line.reserve(message.size() + 40);
    line += stamp;
    line += ' ';
    line += message;
    line += '\n';
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string LogText(std::string_view gbk, size_t limit) {
    bool cut = gbk.size() > limit;
    std::string_view head = gbk.substr(0, limit);
    // Do not end on a lone lead byte after cutting.
    if (cut && !head.empty()) {
        size_t i = 0;
        while (i < head.size()) {
            size_t len = sys::CharLength(head, i);
            if (i + len > head.size()) break;
            i += len;
        }
        head = head.substr(0, i);
    }
    std::string utf8 = sys::GbkToUtf8(head);
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (cut) out += "...";
    return out;
}

}  // namespace node
