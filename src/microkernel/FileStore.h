#pragma once
// One Btrieve file seen through one connection to its storage. Three kinds of storage implement
// it: an SQLite database per file (the default), a table on a PostgreSQL server, chosen by the
// file's name (see ServerLocation.h), and, read-only, a file written by a real Btrieve engine.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "microkernel/CommitJournal.h"
#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/RecordScan.h"
#include "microkernel/Sqlite.h"
#include "microkernel/Status.h"

namespace vader::microkernel {

enum class Seek { kFirst, kLast, kGreater, kGreaterEqual, kLess, kLessEqual };

struct Row {
  Bytes entry;  // index entry (encoded key, plus an 8-byte sequence on duplicate keys)
  uint32_t pos = 0;
  Bytes data;
};

// Where a bulk scan stands: its order, and the row it gave last (or, before the first, the
// bound it starts from).
struct ScanPoint {
  int number = -1;        // key number; -1 for the physical order
  Bytes entry;            // key paths: an index entry
  uint32_t pos = 0;       // physical order: a position
  bool inclusive = true;  // the row at the bound itself comes first (a start)
  bool started = false;
};

struct OwnerInfo {
  Bytes name;  // empty: the file has no owner
  int level = 0;
};

class FileStore;
class ReadAhead;
class SqliteStore;
struct ServerSessions;

// A position block's walk along one key path, or the physical order, in one direction. The
// statement that produced its last row stays open between calls, so that the next row is one
// step away instead of a seek. The store ends every walk as soon as anything may have changed
// the file: a write on its own connection, or a commit by any other connection of any process.
class Walk {
 public:
  Walk();
  ~Walk();
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  // The next seek must see the file as it is now (it is about to lock the record it finds):
  // no row read ahead of it may answer it.
  void ReadFresh() { fresh_ = true; }
  // The caller will take about `rows` rows of the walk in one call (an extended read).
  void Expect(uint32_t rows) { expected_ = rows; }

 private:
  friend class PgStore;
  friend class SqliteStore;
  // A server file's rows read ahead of this walk; the hints above are for it.
  std::unique_ptr<ReadAhead> ahead_;
  bool fresh_ = false;
  uint32_t expected_ = 0;
  struct Prepared {
    int number;  // key number; -1 for the physical order
    bool forward;
    bool inclusive;  // starts at its bound (a scan's start) instead of past it
    bool scan;       // a bulk scan's: no bound at the end of the records (the reader stops)
    std::unique_ptr<Statement> statement;
  };
  std::vector<Prepared> prepared_;
  uint64_t epoch_ = 0;           // the store definition the statements were prepared for
  FileStore* store_ = nullptr;   // while active: the store holding the statement open
  Statement* active_ = nullptr;  // stepped and not reset
  int number_ = 0;
  bool forward_ = true;
  bool scanning_ = false;  // active_ is a bulk scan's statement, which only a scan continues
  Bytes last_;            // index entry of the row last returned (key paths)
  uint32_t lastPos_ = 0;  // its position (physical order)
};

class FileStore {
 public:
  // Creates a file; an existing one is replaced unless failIfExists (then 59).
  static Status Create(const std::string& path, const FileDefinition& def, bool failIfExists);
  // Opens a file. A client's files on one server share `sessions`' connection, so that its
  // transaction is one server transaction.
  static Status Open(const std::string& path, std::unique_ptr<FileStore>& out,
                     std::shared_ptr<ServerSessions>* sessions = nullptr);
  // Commits the transactions open on `stores` as one: journals first when there are several.
  static Status CommitAll(const std::vector<std::shared_ptr<FileStore>>& stores);
  // Whether a connection of this process has the file open.
  static bool OpenInProcess(const std::string& path);
  // Ends the walks of every connection of this process that no operation used since the
  // previous call.
  static void EndIdleWalks();
  virtual ~FileStore() = default;

  const std::string& Path() const { return path_; }
  virtual bool OnServer() const { return false; }
  // The file cannot be written here (a read-only folder, file or medium): every cursor on it
  // reads only.
  virtual bool ReadOnly() const { return false; }
  // Called before every operation on the file: ends the walks when the file changed since they
  // started, and reloads the definition when another connection changed it.
  virtual Status Refresh() = 0;
  const FileDefinition& Definition() const { return def_; }
  const KeyCodec* Codec(int number) const;
  const OwnerInfo& Owner() const { return owner_; }
  // What Stat tells of the owner name (see OwnerFileFlag).
  virtual uint16_t OwnerFlags() const {
    return owner_.name.empty() ? 0 : OwnerFileFlagsOfLevel(owner_.level);
  }

  // Writes run between BeginWrite and EndWrite; inside a client transaction each write joins
  // the transaction that the first write opened, and one that fails leaves nothing in it.
  virtual Status BeginWrite(bool inTransaction, bool noWait) = 0;
  virtual Status EndWrite(bool commit) = 0;
  bool TransactionOpen() const { return txnOpen_; }
  virtual Status EndTransaction(bool commit) = 0;
  // A statement inside the client's transaction, undone alone when it fails. BeginStatement is
  // called on the stores already in the transaction; EndStatement keeps or undoes what they
  // wrote since. A store the statement brought into the transaction is undone by
  // UndoJoinedStatement: true when that ended its transaction, false when it stays in it.
  virtual Status BeginStatement() = 0;
  virtual Status EndStatement(bool keep) = 0;
  virtual bool UndoJoinedStatement() {
    EndTransaction(false);
    return true;
  }

  virtual Status Read(uint32_t pos, Bytes& data) = 0;
  // Inserts `record` (autoincrement fields filled in); `entry` receives the index entry of key
  // `wantKey` (empty when the record is null in that key).
  virtual Status Insert(Bytes& record, uint32_t& pos, int wantKey, Bytes& entry) = 0;
  virtual Status Update(uint32_t pos, const Bytes& old, Bytes& record, int wantKey,
                        Bytes& entry) = 0;
  virtual Status Delete(uint32_t pos, const Bytes& old) = 0;
  // Updates the records at `positions`, each to what `patch` makes of it (given its index in
  // `positions` and the stored record), as Update one after the other would; `failed` receives
  // the index of the one that failed. Inside a write (BeginWrite), which undoes it all then.
  using Patch = std::function<void(size_t index, Bytes& record)>;
  virtual Status UpdateRecords(const std::vector<uint32_t>& positions, const Patch& patch,
                               size_t& failed);
  // Deletes the records at `positions` as Delete one after the other would; likewise.
  virtual Status DeleteRecords(const std::vector<uint32_t>& positions, size_t& failed);

  // Finds the first row beyond `bound` in the direction of `mode`. With a walk, a Greater or
  // Less seek from the row the walk returned last may step the walk's open statement, which
  // gives the same row as long as the file is unchanged; other seeks end the walk.
  virtual Status SeekKey(int number, Seek mode, const Bytes& bound, Row& row,
                         Walk* walk = nullptr) = 0;
  virtual Status SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk = nullptr) = 0;
  // Hands the rows from `at` on (forward) to `sink` straight from the storage, until the sink
  // wants no more (kOk) or the rows end (kEndOfFile), moving `at` to the last row handed over.
  // The walk goes on from there in the next call while the file is unchanged. A storage that
  // cannot do this answers kInvalidOperation.
  virtual Status ScanRows(ScanPoint& /*at*/, Walk& /*walk*/, RecordSink& /*sink*/) {
    return kInvalidOperation;
  }
  // The index entry of record `pos` in key `number`, whose encoded key is `encoded`.
  virtual Status FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) = 0;

  // Index (number >= 0) or physical (number < 0) counts, for Stat and the percentages.
  virtual Status CountAll(int number, uint32_t& n) = 0;
  virtual Status CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) = 0;
  virtual Status NthRow(int number, uint32_t rank, Row& row) = 0;
  // Record count and unique values per key for Stat.
  virtual Status StatCountsFor(StatCounts& out) = 0;

  // Marks beside a position block's locks, held by the client's own connection to a server, so
  // that they still hold while the block's lock session is replaced (see LockTable): `record`
  // -1 marks the file open (shared, or exclusive), any other value that record (exclusive).
  // Mark answers 0 with whether the mark was granted; only a server file keeps marks.
  virtual Status Mark(int64_t /*record*/, bool /*exclusive*/, bool& granted) {
    granted = true;
    return kOk;
  }
  virtual void Unmark(int64_t /*record*/, bool /*exclusive*/) {}
  // Whether another client's connection marks `record`.
  virtual Status MarkedByOther(int64_t /*record*/, bool& marked) {
    marked = false;
    return kOk;
  }

  virtual Status AddIndex(const FileDefinition& next, int number) = 0;
  virtual Status DropIndex(int number, bool renumber) = 0;
  virtual Status SetOwner(const OwnerInfo& owner) = 0;

 protected:
  friend class Walk;
  FileStore() = default;
  virtual void EndWalk(Walk&) {}
  // Rebuilds the key codecs from def_.
  void BuildCodecs();
  // Fills the autoincrement field of `codec` when it is zero: one above the highest stored.
  Status AssignAutoIncrement(const KeyCodec& codec, Bytes& record);
  // The index entry of a new duplicate of `encoded`: its 8-byte sequence follows that of
  // `last`, the highest entry at or below AfterDuplicates(encoded) (empty when none).
  static Bytes DuplicateEntry(const Bytes& encoded, const Bytes& last);

  std::string path_;
  FileDefinition def_;
  OwnerInfo owner_;
  std::vector<std::unique_ptr<KeyCodec>> codecs_;  // by key number
  bool txnOpen_ = false;
};

// Encoded key + 8-byte sequence upper bound: sorts after every duplicate of that key.
Bytes AfterDuplicates(const Bytes& encoded);

}  // namespace vader::microkernel
