// One PostgreSQL connection, made again when it has gone away. Used by one thread at a time.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace node {

class PgConnection {
  public:
    // `uri` is a postgresql:// address; `application` names the connection in pg_stat_activity.
    PgConnection(std::string uri, std::string application);
    ~PgConnection();
    PgConnection(PgConnection&& other) noexcept;
    PgConnection& operator=(PgConnection&&) = delete;
    PgConnection(const PgConnection&) = delete;

    // Connected; connects first when there is no good connection (each attempt is bounded by
    // a connect time-out of a few seconds).
    bool Ready();
    // A command without rows (several may be given, separated by ';').
    bool Exec(const char* sql);
    bool ExecParams(const char* sql, int count, const char* const* params);
    // The rows of a query (PQclear them), or nullptr.
    PGresult* Query(const char* sql, int count, const char* const* params);
    std::string LastError() const { return error_; }
    PGconn* raw() { return conn_; }
    void Drop();

  private:
    bool Check(PGresult* r, bool needRows);

    std::string uri_;
    std::string application_;
    PGconn* conn_ = nullptr;
    std::string error_;
};

}  // namespace node
