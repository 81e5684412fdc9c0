// Counts in PostgreSQL, shared by the nodes of a cluster. Each write adds deltas with one
// atomic upsert per row, so nodes never overwrite each other's counts. Every changed row
// takes the next number of a sequence; a node reads back the rows numbered above the last it
// saw. Writers take one advisory lock per transaction, so numbers become visible in order and
// a reader never skips a row whose transaction committed late.
#include <libpq-fe.h>

#include "counts_store.h"
#include "log.h"
#include "postgres_link.h"

namespace node {
namespace {

const char kSchema[] =
    "BEGIN;"
    "SELECT pg_advisory_xact_lock(1629);"
    "CREATE SEQUENCE IF NOT EXISTS counts_rev;"
    "CREATE TABLE IF NOT EXISTS counts(picture text PRIMARY KEY, downloads bigint NOT NULL DEFAULT 0,"
    " views bigint NOT NULL DEFAULT 0, rev bigint NOT NULL DEFAULT nextval('counts_rev'));"
    "CREATE INDEX IF NOT EXISTS counts_by_rev ON counts(rev);"
    "COMMIT;";

class PostgresCounts : public CountsDatabase {
  public:
    explicit PostgresCounts(PgConnection conn) : conn_(std::move(conn)) {}

    bool Load(std::unordered_map<std::string, Counts>& rows, std::string& error) override {
        if (!conn_.Exec(kSchema)) {
            error = "counts database: " + conn_.LastError();
            return false;
        }
        CountRows all;
        if (!Read("SELECT picture, downloads, views, rev FROM counts", nullptr, all)) {
            error = "counts database: " + conn_.LastError();
            return false;
        }
        for (auto& [key, c] : all) rows[key] = c;
        return true;
    }

    bool Add(const CountRows& deltas) override {
        if (!conn_.Ready()) return false;
        bool ok = conn_.Exec("BEGIN") && conn_.Exec("SELECT pg_advisory_xact_lock(1630)");
        for (size_t i = 0; ok && i < deltas.size(); ++i) {
            std::string d = std::to_string(deltas[i].second.downloads);
            std::string v = std::to_string(deltas[i].second.views);
            const char* params[] = {deltas[i].first.c_str(), d.c_str(), v.c_str()};
            ok = conn_.ExecParams(
                "INSERT INTO counts AS c(picture, downloads, views) VALUES($1, $2, $3)"
                " ON CONFLICT(picture) DO UPDATE SET downloads = c.downloads + EXCLUDED.downloads,"
                " views = c.views + EXCLUDED.views, rev = nextval('counts_rev')",
                3, params);
        }
        // Wakes the other nodes' readers; delivered only if the transaction commits.
        ok = ok && conn_.Exec("NOTIFY miaolan_counts") && conn_.Exec("COMMIT");
        if (!ok) {
            // Said once; the counts stay pending and are tried again each second.
            if (!failing_)
                Log("counts: cannot write to PostgreSQL (" + conn_.LastError() + "); kept until it is back");
            conn_.Exec("ROLLBACK");
        } else if (failing_) {
            Log("counts: written to PostgreSQL again");
        }
        failing_ = !ok;
        return ok;
    }

    bool Changed(CountRows& totals) override {
        totals.clear();
        if (!conn_.Ready()) return false;
        std::string after = std::to_string(lastRev_);
        return Read("SELECT picture, downloads, views, rev FROM counts WHERE rev > $1 ORDER BY rev",
                    after.c_str(), totals);
    }

  private:
    bool Read(const char* sql, const char* after, CountRows& out) {
        const char* params[] = {after};
        PGresult* r = conn_.Query(sql, after ? 1 : 0, after ? params : nullptr);
        if (!r) return false;
        int n = PQntuples(r);
        out.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            Counts c;
            c.downloads = std::stoll(PQgetvalue(r, i, 1));
            c.views = std::stoll(PQgetvalue(r, i, 2));
            lastRev_ = std::max<int64_t>(lastRev_, std::stoll(PQgetvalue(r, i, 3)));
            out.emplace_back(PQgetvalue(r, i, 0), c);
        }
        PQclear(r);
        return true;
    }

    PgConnection conn_;
    int64_t lastRev_ = 0;
    bool failing_ = false;
};

}  // namespace

std::unique_ptr<CountsDatabase> OpenPostgresCounts(const std::string& uri, std::string& error) {
    PgConnection conn(uri, "miaolan-node counts");
    if (!conn.Ready()) {
        error = "cannot reach the counts database: " + conn.LastError();
        return nullptr;
    }
    return std::make_unique<PostgresCounts>(std::move(conn));
}

}  // namespace node
