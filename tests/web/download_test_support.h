// Shared helpers of the download tests: an event recorder, file hashes, private folders.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "web/download_engine.h"

namespace dltest {

struct Event {
    int code;
    int connection;
    int64_t value;
    int64_t value2;
};

// Collects events; an optional hook answers them (event 18).
class Recorder {
  public:
    std::function<int(const Event&, web::DownloadTransfer*)> answer;
    std::function<void(const Event&)> onEnd;

    web::DownloadEventCallback Callback() {
        return [this](int code, int connection, int64_t value, int64_t value2, web::DownloadTransfer* t) {
            Event e{code, connection, value, value2};
            {
                std::lock_guard lock(mutex_);
                events_.push_back(e);
                if (code == 4) complete_ = web::TransferComplete(t), target_ = web::TargetFile(t);
            }
            if (code == 4 && onEnd) onEnd(e);
            return answer ? answer(e, t) : 0;
        };
    }
    std::vector<Event> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<Event> Of(int code) const {
        std::vector<Event> out;
        for (const Event& e : Events())
            if (e.code == code) out.push_back(e);
        return out;
    }
    bool complete() const {
        std::lock_guard lock(mutex_);
        return complete_;
    }
    std::string target() const {
        std::lock_guard lock(mutex_);
        return target_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    bool complete_ = false;
    std::string target_;
};

inline uint64_t Fnv1a(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline uint64_t FileHash(const std::string& path) { return Fnv1a(ReadAll(path)); }

inline std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

// A fresh folder under the system temp folder, removed with the object.
class TempDir {
  public:
    TempDir() {
        static std::atomic<int> counter{0};
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("miaolan-dl-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The download slots' record, as the program fills it.
inline web::DownloadSettings SlotSettings(const std::string& url, const std::string& file, Recorder& r) {
    web::DownloadSettings s;
    s.flags = 4096;
    s.url = url;
    s.localFile = file;
    s.ftpUser = "anonymous";
    s.connections = 5;
    s.connectTimeoutMs = 5000;
    s.sendTimeoutMs = 5001;
    s.receiveTimeoutMs = 10000;
    s.graceMs = 1000;
    s.readSize = 10240;
    s.event = r.Callback();
    return s;
}

// Waits for the slot to go idle; a transfer that overstays is stopped so nothing hangs.
inline bool FinishWithin(web::DownloadSlot& slot, int ms) {
    if (slot.WaitIdle(ms)) return true;
    slot.Stop();
    slot.WaitIdle(30000);
    return false;
}

}  // namespace dltest
