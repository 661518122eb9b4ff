#pragma once
// One Btrieve file as one table on a PostgreSQL server: a row per record (pos = physical
// position), one bytea column per key holding the order-preserving encoded index entry (NULL
// where the record is null in that key) under a unique index, and the file's definition and
// owner in the catalogue table vader_files. Writes to a file are serialised by a transaction
// advisory lock on the file, except an insert outside a transaction into a file with no
// duplicate or autoincrement key, which is one statement.

#include <array>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "microkernel/FileStore.h"
#include "microkernel/Pg.h"
#include "microkernel/PgReadAhead.h"
#include "microkernel/ServerLocation.h"

namespace vader::microkernel {

class PgStore final : public FileStore {
 public:
  static Status Create(const std::string& path, const FileDefinition& def, bool failIfExists);
  static Status Open(const std::string& path, std::unique_ptr<FileStore>& out,
                     std::shared_ptr<ServerSessions>* sessions);
  // Commits the transactions open on `stores`, all on servers: one commit per connection.
  static Status CommitAll(const std::vector<std::shared_ptr<FileStore>>& stores);
  static bool OpenInProcess(const std::string& path);
  // A connection to the server of `path`, for callers without a client (tools, locks).
  static std::unique_ptr<PgConnection> Connect(const ServerLocation& loc, Status& status);
  // The catalogue id of the file named by `loc`: 0 when there is none.
  static int64_t FileId(PgConnection& conn, const ServerLocation& loc, Status& status);
  // The names of the files in a database whose names start with `prefix`.
  static Status ListFiles(const ServerLocation& database, std::vector<std::string>& names);
  // Drops the rows read ahead by walks that no operation used since the previous call, and
  // stops the announcements of files no walk of a connection reads ahead in any more.
  static void EndIdleWalks();
  ~PgStore() override;

  bool OnServer() const override { return true; }
  Status Refresh() override;
  Status BeginWrite(bool inTransaction, bool noWait) override;
  Status EndWrite(bool commit) override;
  Status EndTransaction(bool commit) override;
  Status BeginStatement() override;
  Status EndStatement(bool keep) override;
  bool UndoJoinedStatement() override;

  Status Read(uint32_t pos, Bytes& data) override;
  Status Insert(Bytes& record, uint32_t& pos, int wantKey, Bytes& entry) override;
  Status Update(uint32_t pos, const Bytes& old, Bytes& record, int wantKey,
                Bytes& entry) override;
  Status Delete(uint32_t pos, const Bytes& old) override;

  Status SeekKey(int number, Seek mode, const Bytes& bound, Row& row,
                 Walk* walk = nullptr) override;
  Status SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk = nullptr) override;
  Status FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) override;

  Status CountAll(int number, uint32_t& n) override;
  Status CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) override;
  Status NthRow(int number, uint32_t rank, Row& row) override;
  Status StatCountsFor(StatCounts& out) override;

  Status Mark(int64_t record, bool exclusive, bool& granted) override;
  void Unmark(int64_t record, bool exclusive) override;
  Status MarkedByOther(int64_t record, bool& marked) override;

  Status AddIndex(const FileDefinition& next, int number) override;
  Status DropIndex(int number, bool renumber) override;
  Status SetOwner(const OwnerInfo& owner) override;

 private:
  enum KeySql { kFirst, kLast, kGreater, kGreaterEqual, kLess, kLessEqual, kLastLE, kNth,
                kKeySqlCount };
  PgStore() = default;
  Status LoadDefinition();
  // Opens the server transaction of a write (when none is open) and takes the file's write
  // lock in it; reloads the definition when another connection changed it.
  Status LockForWrite(bool noWait);
  // Takes the file's write lock for the client transaction the connection has open (`began`:
  // this write opened it) without ending it should the wait fail.
  Status JoinWriters(bool began, bool noWait);
  const std::string& KeyStatement(int number, KeySql which);
  Status RowFrom(const PgResult& r, bool withEntry, Row& row);
  // A seek of a walk along `number` (-1: the physical order) beyond `entry` or `pos`, answered
  // from rows read ahead when it is the walk's next step; `handled` false when the walk cannot
  // read ahead here, and the caller seeks alone.
  Status SeekAhead(Walk& walk, int number, Seek mode, const Bytes& entry, uint32_t pos, Row& row,
                   bool& handled);
  // Reads the next batch of `rows` rows of a walk into `ahead`.
  Status ReadBatch(ReadAhead& ahead, int number, Seek mode, const Bytes& entry, uint32_t pos,
                   size_t rows);
  // The statement reading `rows` rows along `number` from the start (`fromEnd` of the walk's
  // direction) or beyond a bound ($1).
  const std::string& BatchStatement(int number, bool forward, bool fromEnd, size_t rows);
  ReadAhead::Stamp CurrentStamp();
  // Records that `walk` holds rows read ahead, until EndWalk drops them.
  void HoldRows(Walk& walk);
  void EndWalk(Walk& walk) override;
  void EndWalks();
  // The most rows one batch of this file holds: about a megabyte of records.
  size_t BatchCap() const;
  // An expression that announces, at commit, a change of this file to the connections that read
  // ahead in it.
  std::string Announce() const;
  Status Fail(const PgResult& r) const { return conn_->StatusOf(r); }
  // Runs a condition over the mark of `record`'s advisory lock key ($1, $2).
  Status MarkQuery(const std::string& condition, int64_t record, bool& answer);
  // The status of the answer to COMMIT.
  Status CommitStatus(const PgResult& r) const;
  // The index entry for a new record whose key `number` encodes as `encoded`.
  // `newValue`: no entry holds `encoded` yet.
  Status NewEntry(int number, const Bytes& encoded, Bytes& entry, bool& newValue);
  Status ValueHeld(int number, const Bytes& encoded, bool& held);
  // Index entries of `record` for every key, computing duplicate sequences, and the counts
  // its insertion adds.
  Status Entries(const Bytes& record, std::vector<Bytes>& entries, std::vector<bool>& null,
                 CountDelta& delta);
  CountDelta NoChange() const;
  Status EntryRemoved(int number, const Bytes& encoded, CountDelta& delta);
  // Why an update of record `pos`, read as `old`, changed nothing: a new key value taken by
  // another record (5), or the record changed since it was read (80).
  Status WhyNotUpdated(uint32_t pos, const Bytes& old);
  // Changes the counts now, or inside a client transaction when they are next read or at its
  // commit (see WriteCounts).
  Status ApplyCounts(const CountDelta& delta);
  // Writes the count changes the connection's transaction has kept back.
  Status WriteCounts();
  bool CountsExist();
  // The count row of the file as it is, by counting.
  std::string CountingSql() const;
  // Builds the count row of a file written before it existed, when no writer holds the file.
  void TryBuildCounts();
  Status SaveCatalogue(const FileDefinition& def, const OwnerInfo& owner);
  void DefinitionChanged();
  // Ends a change of the definition that BeginWrite started: records `def` and `owner` in the
  // catalogue when `st` is 0, commits or rolls back, and reloads the definition.
  Status FinishDefinitionChange(Status st, const FileDefinition& def, const OwnerInfo& owner);

  ServerLocation loc_;
  std::shared_ptr<PgConnection> conn_;
  int64_t id_ = 0;
  std::string table_;
  std::string counts_;      // the table of the file's counts
  bool hasCounts_ = false;  // ... which every write keeps current
  int64_t generation_ = 0;       // the catalogue's generation the definition was loaded at
  uint64_t localGeneration_ = 0;  // changes made through this process, by path
  std::vector<std::array<std::string, kKeySqlCount>> keySql_;
  std::map<std::tuple<int, bool, bool, size_t>, std::string> batchSql_;
  uint64_t loads_ = 0;  // definitions loaded: rows read ahead under an older one are dropped
  std::vector<Walk*> aheadWalks_;  // walks holding rows read ahead
  uint64_t uses_ = 0;              // operations on the file through this store
  uint64_t usesSeen_ = 0;          // ... at the last EndIdleWalks
  uint64_t joinedSerial_ = 0;  // the server transaction this store's client transaction is in
  uint64_t lockedSerial_ = 0;  // the server transaction holding the file's write lock
  bool writeOpen_ = false;     // a write in progress
  bool ownTransaction_ = false;  // ... that began the server transaction it runs in
};

}  // namespace vader::microkernel
