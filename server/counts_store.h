// Download and view counts, kept in memory for speed and written to SQLite in batches: at
// most a second behind, and in full on Close. Thread-safe.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>

namespace node {

struct Counts {
    int64_t downloads = 0;
    int64_t views = 0;
};

class CountsStore {
  public:
    CountsStore() = default;
    ~CountsStore();
    CountsStore(const CountsStore&) = delete;
    CountsStore& operator=(const CountsStore&) = delete;

    // Opens (creating) the database and loads every row; starts the writer thread.
    bool Open(const std::string& pathUtf8, std::string& error);
    // Writes what is pending and stops the writer. Safe to call twice.
    void Close();

    Counts Get(const std::string& key) const;
    Counts AddDownload(const std::string& key);
    Counts AddView(const std::string& key);
    // Grows with every download counted (views do not change the order of a list); lets
    // readers cache orderings.
    uint64_t downloadsVersion() const;

    // Writes pending changes now. False when the database refused them (they stay pending).
    bool Flush();

  private:
    Counts Add(const std::string& key, bool download);
    void WriterLoop();

    sqlite3* db_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<std::string, Counts> counts_;
    std::set<std::string> dirty_;
    uint64_t version_ = 0;
    bool stop_ = false;
    std::mutex dbMutex_;
    std::thread writer_;
};

}  // namespace node
