#include "postgres_link.h"

#include <utility>

#include "log.h"

namespace node {

PgConnection::PgConnection(std::string uri, std::string application)
    : uri_(std::move(uri)), application_(std::move(application)) {}

PgConnection::~PgConnection() { Drop(); }

PgConnection::PgConnection(PgConnection&& other) noexcept
    : uri_(std::move(other.uri_)),
      application_(std::move(other.application_)),
      conn_(std::exchange(other.conn_, nullptr)),
      error_(std::move(other.error_)) {}

void PgConnection::Drop() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

bool PgConnection::Ready() {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) return true;
    Drop();
    // Defaults first: what the address itself says wins.
    // "already exists, skipping" and the like are no news.
    const char* keys[] = {"connect_timeout", "application_name", "options", "dbname", nullptr};
    const char* values[] = {"3", application_.c_str(), "-c client_min_messages=warning", uri_.c_str(),
                            nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) {
        // The server's own words (a shutdown, a warning) go to the node's log, not raw to stderr.
        PQsetNoticeProcessor(
            conn_,
            [](void*, const char* message) {
                std::string m = message;
                while (!m.empty() && m.back() == '\n') m.pop_back();
                Log("postgres: " + m);
            },
            nullptr);
        return true;
    }
    error_ = conn_ ? PQerrorMessage(conn_) : "out of memory";
    while (!error_.empty() && error_.back() == '\n') error_.pop_back();
    Drop();
    return false;
}

bool PgConnection::Check(PGresult* r, bool needRows) {
    // A command run for its effect may answer with rows (pg_advisory_xact_lock, pg_notify).
    ExecStatusType status = PQresultStatus(r);
    bool ok = r && (status == PGRES_TUPLES_OK || (!needRows && status == PGRES_COMMAND_OK));
    if (!ok) {
        error_ = r ? PQresultErrorMessage(r) : (conn_ ? PQerrorMessage(conn_) : "no connection");
        while (!error_.empty() && error_.back() == '\n') error_.pop_back();
        if (conn_ && PQstatus(conn_) != CONNECTION_OK) Drop();
    }
    return ok;
}

bool PgConnection::Exec(const char* sql) {
    if (!conn_) return false;
    PGresult* r = PQexec(conn_, sql);
    bool ok = Check(r, false);
    PQclear(r);
    return ok;
}

bool PgConnection::ExecParams(const char* sql, int count, const char* const* params) {
    if (!conn_) return false;
    PGresult* r = PQexecParams(conn_, sql, count, nullptr, params, nullptr, nullptr, 0);
    bool ok = Check(r, false);
    PQclear(r);
    return ok;
}

PGresult* PgConnection::Query(const char* sql, int count, const char* const* params) {
    if (!conn_) return nullptr;
    PGresult* r = PQexecParams(conn_, sql, count, nullptr, params, nullptr, nullptr, 0);
    if (!Check(r, true)) {
        PQclear(r);
        return nullptr;
    }
    return r;
}

}  // namespace node
