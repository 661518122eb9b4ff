#include "microkernel/Sqlite.h"

namespace vader::microkernel {

Statement::Statement(sqlite3* db, const std::string& sql) {
  if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &stmt_, nullptr) != SQLITE_OK)
    stmt_ = nullptr;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, const Bytes& blob) {
  sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindStatic(int index, const Bytes& blob) {
  sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
  return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

int Statement::Step() { return sqlite3_step(stmt_); }

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

const uint8_t* Statement::BlobData(int column) const {
  return static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
}

size_t Statement::BlobSize(int column) const {
  return static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
}

Bytes Statement::Blob(int column) const {
  const uint8_t* p = BlobData(column);
  return p ? Bytes(reinterpret_cast<const char*>(p), BlobSize(column)) : Bytes();
}

int Connection::Open(const std::string& path, bool create) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  return rc;
}

Connection::~Connection() { sqlite3_close_v2(db_); }

int Connection::Exec(const std::string& sql) {
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

void Connection::SetBusyTimeout(int ms) { sqlite3_busy_timeout(db_, ms); }

}  // namespace vader::microkernel
