#include "counts_store.h"

#include <chrono>
#include <vector>

#include "log.h"

namespace node {

CountsStore::~CountsStore() { Close(); }

bool CountsStore::Open(const std::string& pathUtf8, std::string& error) {
    if (sqlite3_open(pathUtf8.c_str(), &db_) != SQLITE_OK) {
        error =
            "cannot open counts database " + pathUtf8 + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 2000);
    const char* setup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS counts(picture TEXT PRIMARY KEY, downloads INTEGER NOT NULL DEFAULT 0,"
        " views INTEGER NOT NULL DEFAULT 0);";
    char* msg = nullptr;
    if (sqlite3_exec(db_, setup, nullptr, nullptr, &msg) != SQLITE_OK) {
        error = std::string("counts database: ") + (msg ? msg : "error");
        sqlite3_free(msg);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT picture, downloads, views FROM counts", -1, &st, nullptr) !=
        SQLITE_OK) {
        error = std::string("counts database: ") + sqlite3_errmsg(db_);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* k = sqlite3_column_text(st, 0);
            if (!k) continue;
            Counts c;
            c.downloads = sqlite3_column_int64(st, 1);
            c.views = sqlite3_column_int64(st, 2);
            counts_[reinterpret_cast<const char*>(k)] = c;
        }
        stop_ = false;
    }
    sqlite3_finalize(st);
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
}

void CountsStore::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (db_) {
        if (!Flush()) Log("counts: could not write the last counts");
        std::lock_guard<std::mutex> lock(dbMutex_);
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

Counts CountsStore::Get(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(key);
    return it == counts_.end() ? Counts{} : it->second;
}

Counts CountsStore::Add(const std::string& key, bool download) {
    std::lock_guard<std::mutex> lock(mutex_);
    Counts& c = counts_[key];
    (download ? c.downloads : c.views) += 1;
    dirty_.insert(key);
    if (download) ++version_;
    return c;
}

Counts CountsStore::AddDownload(const std::string& key) { return Add(key, true); }
Counts CountsStore::AddView(const std::string& key) { return Add(key, false); }

uint64_t CountsStore::downloadsVersion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

bool CountsStore::Flush() {
    std::lock_guard<std::mutex> dbLock(dbMutex_);
    if (!db_) return false;
    std::vector<std::pair<std::string, Counts>> rows;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& k : dirty_) rows.emplace_back(k, counts_[k]);
        dirty_.clear();
    }
    if (rows.empty()) return true;
    bool ok = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    ok = ok && sqlite3_prepare_v2(db_,
                                  "INSERT INTO counts(picture, downloads, views) VALUES(?1, ?2, ?3)"
                                  " ON CONFLICT(picture) DO UPDATE SET downloads=?2, views=?3",
                                  -1, &st, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < rows.size(); ++i) {
        sqlite3_bind_text(st, 1, rows[i].first.data(), static_cast<int>(rows[i].first.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, rows[i].second.downloads);
        sqlite3_bind_int64(st, 3, rows[i].second.views);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        Log(std::string("counts: write failed: ") + sqlite3_errmsg(db_));
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        // Keep them for the next attempt; the newest values are in counts_ anyway.
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& r : rows) dirty_.insert(r.first);
    }
    return ok;
}

void CountsStore::WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
        if (stop_) break;
        if (dirty_.empty()) continue;
        lock.unlock();
        Flush();
        lock.lock();
    }
}

}  // namespace node
