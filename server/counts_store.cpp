#include "counts_store.h"

#include <sqlite3.h>

#include <chrono>

#include "log.h"

namespace node {
namespace {

class SqliteCounts : public CountsDatabase {
  public:
    explicit SqliteCounts(sqlite3* db) : db_(db) {}
    ~SqliteCounts() override { sqlite3_close(db_); }

    bool Load(std::unordered_map<std::string, Counts>& rows, std::string& error) override {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT picture, downloads, views FROM counts", -1, &st, nullptr) !=
            SQLITE_OK) {
            error = std::string("counts database: ") + sqlite3_errmsg(db_);
            return false;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* k = sqlite3_column_text(st, 0);
            if (!k) continue;
            Counts& c = rows[reinterpret_cast<const char*>(k)];
            c.downloads = sqlite3_column_int64(st, 1);
            c.views = sqlite3_column_int64(st, 2);
        }
        sqlite3_finalize(st);
        return true;
    }

    bool Add(const CountRows& deltas) override {
        bool ok = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_prepare_v2(db_,
                                      "INSERT INTO counts(picture, downloads, views) VALUES(?1, ?2, ?3)"
                                      " ON CONFLICT(picture) DO UPDATE SET downloads=downloads+?2,"
                                      " views=views+?3",
                                      -1, &st, nullptr) == SQLITE_OK;
        for (size_t i = 0; ok && i < deltas.size(); ++i) {
            sqlite3_bind_text(st, 1, deltas[i].first.data(), static_cast<int>(deltas[i].first.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 2, deltas[i].second.downloads);
            sqlite3_bind_int64(st, 3, deltas[i].second.views);
            ok = sqlite3_step(st) == SQLITE_DONE;
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        ok = ok && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok) {
            Log(std::string("counts: write failed: ") + sqlite3_errmsg(db_));
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return ok;
    }

  private:
    sqlite3* db_;
};

}  // namespace

std::unique_ptr<CountsDatabase> OpenSqliteCounts(const std::string& pathUtf8, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open(pathUtf8.c_str(), &db) != SQLITE_OK) {
        error =
            "cannot open counts database " + pathUtf8 + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    const char* setup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS counts(picture TEXT PRIMARY KEY, downloads INTEGER NOT NULL DEFAULT 0,"
        " views INTEGER NOT NULL DEFAULT 0);";
    char* msg = nullptr;
    if (sqlite3_exec(db, setup, nullptr, nullptr, &msg) != SQLITE_OK) {
        error = std::string("counts database: ") + (msg ? msg : "error");
        sqlite3_free(msg);
        sqlite3_close(db);
        return nullptr;
    }
    return std::make_unique<SqliteCounts>(db);
}

bool IsPostgresUri(const std::string& setting) {
    return setting.rfind("postgresql://", 0) == 0 || setting.rfind("postgres://", 0) == 0;
}

CountsStore::~CountsStore() { Close(); }

bool CountsStore::Open(const std::string& pathUtf8, std::string& error) {
    auto db = OpenSqliteCounts(pathUtf8, error);
    return db && Open(std::move(db), error);
}

bool CountsStore::Open(std::unique_ptr<CountsDatabase> database, std::string& error) {
    std::unordered_map<std::string, Counts> rows;
    if (!database->Load(rows, error)) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counts_ = std::move(rows);
        pending_.clear();
        stop_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(dbMutex_);
        db_ = std::move(database);
    }
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
    bool open;
    {
        std::lock_guard<std::mutex> lock(dbMutex_);
        open = db_ != nullptr;
    }
    if (open) {
        if (!Flush()) Log("counts: could not write the last counts");
        std::lock_guard<std::mutex> lock(dbMutex_);
        db_.reset();
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
    Counts& p = pending_[key];
    (download ? c.downloads : c.views) += 1;
    (download ? p.downloads : p.views) += 1;
    if (download) ++version_;
    return c;
}

Counts CountsStore::AddDownload(const std::string& key) { return Add(key, true); }
Counts CountsStore::AddView(const std::string& key) { return Add(key, false); }

uint64_t CountsStore::downloadsVersion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

void CountsStore::Poke() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        poked_ = true;
    }
    wake_.notify_all();
}

bool CountsStore::Flush() {
    std::lock_guard<std::mutex> dbLock(dbMutex_);
    if (!db_) return false;
    CountRows deltas;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deltas.assign(pending_.begin(), pending_.end());
        pending_.clear();
    }
    bool ok = deltas.empty() || db_->Add(deltas);
    if (!ok) {
        // Kept for the next attempt, added to whatever was counted meanwhile.
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [key, d] : deltas) {
            Counts& p = pending_[key];
            p.downloads += d.downloads;
            p.views += d.views;
        }
    }
    CountRows totals;
    if (db_->Changed(totals) && !totals.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        bool reorder = false;
        for (const auto& [key, t] : totals) {
            Counts now = t;
            auto p = pending_.find(key);
            if (p != pending_.end()) {
                now.downloads += p->second.downloads;
                now.views += p->second.views;
            }
            Counts& known = counts_[key];
            reorder = reorder || known.downloads != now.downloads;
            known = now;
        }
        if (reorder) ++version_;
    }
    return ok;
}

void CountsStore::WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_ || poked_; });
        if (stop_) break;
        poked_ = false;
        lock.unlock();
        Flush();
        lock.lock();
    }
}

}  // namespace node
