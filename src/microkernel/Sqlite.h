#pragma once
// Minimal RAII wrappers over the SQLite C API: a connection, a cached prepared statement and a
// watch on the commits to a database in write-ahead-log mode.

#include <sqlite3.h>

#include <array>
#include <chrono>
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
  // The column's value as SQLite holds it, valid until the next step (cheaper to read from
  // than the column calls when a row is read whole).
  sqlite3_value* Value(int column) const { return sqlite3_column_value(stmt_, column); }
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
  // Opens an existing database for reading only. `immutable`: nothing can change it while it
  // is open, so SQLite neither locks it nor creates files beside it.
  int OpenReadOnly(const std::string& path, bool immutable);
  ~Connection();
  sqlite3* Handle() const { return db_; }
  int Exec(const std::string& sql);
  // How long a statement waits while another connection writes (0: not at once).
  void SetBusyTimeout(int ms);

 private:
  int OpenWith(const std::string& name, int flags);
  static int WaitWhileBusy(void* self, int tries);

  sqlite3* db_ = nullptr;
  int busyMilliseconds_ = 0;
  std::chrono::steady_clock::time_point busySince_;
};

// The header of a WAL database's shared index, which every commit by any connection of any
// process rewrites (commit counter, last frame, checksums). Read straight from the memory SQLite
// maps for the connection, it shows commits even while the connection holds a read transaction
// (PRAGMA data_version does not: it only moves when a read transaction starts) and costs no
// system call. Two equal stamps mean nothing was committed in between.
class CommitWatch {
 public:
  using Stamp = std::array<uint32_t, 12>;

  // Watches the main database of `db`, which must stay open while the watch is used. False,
  // and the watch stays unusable, when the database is not a writable WAL database whose
  // index is shared through memory.
  bool Attach(sqlite3* db);
  bool Usable() const { return header_ != nullptr; }
  Stamp Read() const;

 private:
  const volatile uint32_t* header_ = nullptr;
};

}  // namespace vader::microkernel
