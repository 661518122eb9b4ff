#pragma once
// Minimal RAII wrappers over libpq: a result, binary statement parameters and a connection that
// prepares each statement text once.

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "microkernel/Bytes.h"
#include "microkernel/Status.h"

namespace vader::microkernel {

class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(PGresult* r) : r_(r) {}
  ~PgResult() { PQclear(r_); }
  PgResult(PgResult&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  PgResult& operator=(PgResult&& o) noexcept {
    std::swap(r_, o.r_);
    return *this;
  }
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;

  bool Ok() const;
  PGresult* Raw() const { return r_; }
  int Rows() const { return r_ ? PQntuples(r_) : 0; }
  bool Null(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
  // Binary columns: bytea as its bytes, integers of 2, 4 or 8 bytes as signed values.
  int64_t Int(int row, int col) const;
  const char* Data(int row, int col) const { return PQgetvalue(r_, row, col); }
  size_t Size(int row, int col) const { return static_cast<size_t>(PQgetlength(r_, row, col)); }
  Bytes Blob(int row, int col) const { return Bytes(Data(row, col), Size(row, col)); }
  std::string SqlState() const;
  std::string Message() const;

 private:
  PGresult* r_ = nullptr;
};

// Statement parameters, all in binary form: bytea as raw bytes, integers as 8-byte int8.
class PgParams {
 public:
  PgParams& Add(const Bytes& blob);
  PgParams& Add(int64_t value);
  PgParams& AddNull();
  int Count() const { return static_cast<int>(values_.size()); }

 private:
  friend class PgConnection;
  std::vector<std::unique_ptr<Bytes>> owned_;
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

// How writes change a file's counts: its records, and per key its entries and distinct values.
struct CountDelta {
  int64_t records = 0;
  std::vector<int64_t> entries, distinct;  // by key number
  CountDelta& operator+=(const CountDelta& more);
};

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // False with `error` set when the server cannot be reached or refuses the connection.
  bool Open(const std::string& connInfo, std::string& error);
  // Whether the connection is known to be gone: it failed, or the server said it ends it.
  bool Lost() const { return !conn_ || ended_ || PQstatus(conn_) != CONNECTION_OK; }
  // Whether the connection is still there, without a round trip: a server that ended the
  // session (a terminated backend, a restart, an idle timeout) has said so on the socket, which
  // is looked at again when a millisecond has passed since the last look.
  bool Alive();
  // A statement without parameters, any number of them separated by ';'.
  PgResult Exec(const std::string& sql);
  // Prepares `sql` on first use, then runs it with binary parameters and results.
  PgResult Run(const std::string& sql, const PgParams& params = PgParams());
  // The status a failed result stands for: 95 when the connection is gone.
  Status StatusOf(const PgResult& r) const;
  // Forgets prepared statements whose text mentions `table` (the table was dropped or changed).
  void ForgetStatements(const std::string& table);
  // Asks the server to announce on this connection every change committed to `channel`; one
  // round trip when not listening already. False when the server refused.
  bool Listen(const std::string& channel);
  // Stops the announcements of every channel not in `wanted`, so that the server does not keep
  // them for a connection that has no use for them; sent without waiting for the answer, and
  // only between transactions.
  void ListenOnly(const std::set<std::string>& wanted);
  // How many changes to `channel` the server announced, as far as this connection has read them
  // (Alive reads what arrived). Changes made while the connection was not listening were never
  // announced: listening again counts one more, so that nothing read before is trusted.
  uint64_t Announced(const std::string& channel);

  // Server transaction state, shared by the stores a client has open on this server.
  bool inTransaction = false;
  uint64_t transactionSerial = 0;  // counts transactions begun, so a store can tell its own
  Status lastEnd = kOk;            // how the last transaction ended
  // Count changes of the open transaction not written yet, by count table: each is written
  // once, before counts are read and at commit (a row changed many times in one transaction
  // costs the server more each time).
  std::map<std::string, CountDelta> pendingCounts;
  // A statement's savepoint in that transaction (one for all the client's files here).
  bool statementSavepoint = false;

 private:
  // Server messages go here instead of the application's stderr; a fatal one ends the session.
  static void OnNotice(void* self, const PGresult* notice);
  // Counts the announcements libpq has parsed so far, by channel.
  void CollectAnnouncements();
  // Whether no statement is under way, after taking in the answers of those sent without waiting.
  bool Idle();

  PGconn* conn_ = nullptr;
  bool ended_ = false;
  std::map<std::string, std::string> prepared_;  // statement text -> name
  uint64_t named_ = 0;
  struct Channel {
    uint64_t announced = 0;  // announcements seen, counting each start of listening as one
    bool listening = false;
  };
  std::map<std::string, Channel> channels_;
  std::chrono::steady_clock::time_point looked_;  // when Alive last read the socket
};

// The connections a client holds, one per server and database, so that its transaction over
// several files on one database is one server transaction.
struct ServerSessions {
  std::map<std::string, std::weak_ptr<PgConnection>> connections;  // by connection parameters
};

}  // namespace vader::microkernel
