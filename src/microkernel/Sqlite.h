#pragma once
// Minimal RAII wrappers over the SQLite C API: a connection and a cached prepared statement.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "microkernel/Bytes.h"

namespace vader::microkernel {

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Valid() const { return stmt_ != nullptr; }
  Statement& Bind(int index, const Bytes& blob);
  // Binds without copying: `blob` must outlive the statement's next Reset.
  Statement& BindStatic(int index, const Bytes& blob);
  Statement& Bind(int index, int64_t value);
  int Step();  // SQLITE_ROW, SQLITE_DONE or an error code
  void Reset();
  int64_t Int(int column) const;
  Bytes Blob(int column) const;
  const uint8_t* BlobData(int column) const;
  size_t BlobSize(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when leaving a scope, so no read transaction stays open.
class StatementScope {
 public:
  explicit StatementScope(Statement& s) : s_(s) {}
  ~StatementScope() { s_.Reset(); }
  StatementScope(const StatementScope&) = delete;
  StatementScope& operator=(const StatementScope&) = delete;

 private:
  Statement& s_;
};

class Connection {
 public:
  // Opens an existing database (create = false) or creates one; returns the SQLite code.
  int Open(const std::string& path, bool create);
  ~Connection();
  sqlite3* Handle() const { return db_; }
  int Exec(const std::string& sql);
  void SetBusyTimeout(int ms);

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace vader::microkernel
