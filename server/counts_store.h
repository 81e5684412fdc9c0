// Download and view counts, kept in memory for speed and written to a database in batches: at
// most a second behind, and in full on Close. The database is SQLite in the cache folder (the
// embedded default) or PostgreSQL shared by the nodes of a cluster; with a shared one, what
// the other nodes counted is read back after each write, so every node orders its lists by
// the downloads of all. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace node {

struct Counts {
    int64_t downloads = 0;
    int64_t views = 0;
};

using CountRows = std::vector<std::pair<std::string, Counts>>;

// Where the counts are kept. Used by one thread at a time.
class CountsDatabase {
  public:
    virtual ~CountsDatabase() = default;
    // Every row.
    virtual bool Load(std::unordered_map<std::string, Counts>& rows, std::string& error) = 0;
    // Adds the deltas to the rows (creating missing ones) in one transaction: all or nothing.
    virtual bool Add(const CountRows& deltas) = 0;
    // Totals of the rows anyone changed since the last Load or Changed. A database only this
    // node writes has nothing to tell.
    virtual bool Changed(CountRows& totals) {
        totals.clear();
        return true;
    }
};

// The embedded default: one SQLite file.
std::unique_ptr<CountsDatabase> OpenSqliteCounts(const std::string& pathUtf8, std::string& error);

// True for the setting that names a PostgreSQL database ("postgresql://..." or "postgres://...").
bool IsPostgresUri(const std::string& setting);
// PostgreSQL, shared by the nodes of a cluster (counts_postgres.cpp).
std::unique_ptr<CountsDatabase> OpenPostgresCounts(const std::string& uri, std::string& error);

class CountsStore {
  public:
    CountsStore() = default;
    ~CountsStore();
    CountsStore(const CountsStore&) = delete;
    CountsStore& operator=(const CountsStore&) = delete;

    // Opens (creating) the SQLite database and loads every row; starts the writer thread.
    bool Open(const std::string& pathUtf8, std::string& error);
    // The same on a database opened by the caller.
    bool Open(std::unique_ptr<CountsDatabase> database, std::string& error);
    // Writes what is pending and stops the writer. Safe to call twice.
    void Close();

    Counts Get(const std::string& key) const;
    Counts AddDownload(const std::string& key);
    Counts AddView(const std::string& key);
    // Grows with every change of a download count, here or read back from a shared database
    // (views do not change the order of a list); lets readers cache orderings.
    uint64_t downloadsVersion() const;

    // Writes pending changes now and reads back what others changed. False when the database
    // refused the changes (they stay pending).
    bool Flush();
    // Asks the writer to flush now: another node has written. Any thread.
    void Poke();

  private:
    Counts Add(const std::string& key, bool download);
    void WriterLoop();

    std::unique_ptr<CountsDatabase> db_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<std::string, Counts> counts_;   // totals as this node knows them
    std::unordered_map<std::string, Counts> pending_;  // counted here, not yet written
    uint64_t version_ = 0;
    bool stop_ = false;
    bool poked_ = false;
    std::mutex dbMutex_;
    std::thread writer_;
};

}  // namespace node
