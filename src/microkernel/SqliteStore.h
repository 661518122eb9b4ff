#pragma once
// One Btrieve file as one SQLite database, seen through one connection: the record table
// (rowid = physical position), one ordered index table per key holding order-preserving encoded
// keys, and the file's definition and owner. Statements are prepared once per connection.

#include "microkernel/FileStore.h"

namespace vader::microkernel {

class SqliteStore final : public FileStore {
 public:
  static Status Create(const std::string& path, const FileDefinition& def, bool failIfExists);
  // Opens a file, first finishing a multi-file commit that a crash interrupted.
  static Status Open(const std::string& path, std::unique_ptr<SqliteStore>& out,
                     bool recover = true);
  // Commits the transactions open on `stores` (all SQLite stores) as one: journals first when
  // there are several.
  static Status CommitAll(const std::vector<std::shared_ptr<FileStore>>& stores);
  static bool OpenInProcess(const std::string& path);
  static void EndIdleWalks();
  ~SqliteStore() override;
  bool ReadOnly() const override { return readOnly_; }

  // Ends the walks when the file changed since they started, and reloads the definition when
  // another connection of this process changed it.
  Status Refresh() override;
  Status BeginWrite(bool inTransaction, bool noWait) override;
  Status EndWrite(bool commit) override;
  Status EndTransaction(bool commit) override;
  Status BeginStatement() override;
  Status EndStatement(bool keep) override;

  Status Read(uint32_t pos, Bytes& data) override;
  Status Insert(Bytes& record, uint32_t& pos, int wantKey, Bytes& entry) override;
  Status Update(uint32_t pos, const Bytes& old, Bytes& record, int wantKey,
                Bytes& entry) override;
  Status Delete(uint32_t pos, const Bytes& old) override;
  // One pass of one statement over each run of consecutive positions, which rewrites every
  // record from the stored one: no record is sought twice, and only keys that changed are
  // written (files with an autoincrement key take the general way).
  Status UpdateRecords(const std::vector<uint32_t>& positions, const Patch& patch,
                       size_t& failed) override;
  // Likewise: one pass deletes each run, then the records' key entries go.
  Status DeleteRecords(const std::vector<uint32_t>& positions, size_t& failed) override;

  Status SeekKey(int number, Seek mode, const Bytes& bound, Row& row,
                 Walk* walk = nullptr) override;
  Status SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk = nullptr) override;
  Status FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) override;
  // A statement of the walk's steps the rows to the sink; a new one is stepped before the
  // walk's previous one is reset, so that the read transaction the previous one holds (still
  // current, or Refresh would have ended it) goes on instead of ending and beginning again.
  Status ScanRows(ScanPoint& at, Walk& walk, RecordSink& sink) override;

  Status CountAll(int number, uint32_t& n) override;
  Status CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) override;
  Status NthRow(int number, uint32_t rank, Row& row) override;
  // Read from the file's count table, which every write keeps current in its own
  // transaction. A file without one (written before it existed, and not writable since) is
  // counted, again only after a write by this or another connection.
  Status StatCountsFor(StatCounts& out) override;

  Status AddIndex(const FileDefinition& next, int number) override;
  Status DropIndex(int number, bool renumber) override;
  Status SetOwner(const OwnerInfo& owner) override;

  // The journal of the open transaction's writes, as CommitAll writes it beside the file.
  Status JournalEntries(std::vector<JournalEntry>& out);

 private:
  // Opens db_ on path_, for reading only when readOnly_.
  int OpenConnection();
  void SetCheckpointInterval();
  enum KeyStmt {
    kKFirst,
    kKLast,
    kKGreater,
    kKGreaterEqual,
    kKLess,
    kKLessEqual,
    kKLastLE,
    kKInsert,
    kKDeleteUnique,
    kKDeleteInRange,
    kKFindInRange,
    kKCount,
    kKCountBelow,
    kKNth,
    kKDistinct,
    kKAnyInRange,
    kKeyStmtCount
  };
  enum PhysStmt {
    kPFirst,
    kPLast,
    kPGreater,
    kPGreaterEqual,
    kPLess,
    kPLessEqual,
    kPRead,
    kPInsert,
    kPUpdate,
    kPDelete,
    kPCount,
    kPCountBelow,
    kPNth,
    kPBegin,
    kPCommit,
    kPRollback,
    kPSavepoint,
    kPRelease,
    kPRollbackTo,
    kPStatement,
    kPStatementRelease,
    kPStatementUndo,
    kPDataVersion,
    kPCountOf,
    kPCountAdd,
    kPRecordChange,
    kPRecordChangeAdd,
    kPRecordChangeClear,
    kPPatchRun,
    kPTakeRun,
    kPhysStmtCount
  };
  using KeyStatements = std::array<std::unique_ptr<Statement>, kKeyStmtCount>;

  SqliteStore() = default;
  struct Pass;
  // The function the run statement calls for each record: its new image from the stored one.
  static void PatchRow(sqlite3_context* ctx, int argc, sqlite3_value** argv);
  // The function the delete statement asks for each record: it keeps the record for its keys.
  static void TakeRow(sqlite3_context* ctx, int argc, sqlite3_value** argv);
  Status PatchOne(Pass& pass, size_t index, uint32_t pos);
  bool PrepareFunctions();
  bool StartPass(Pass& pass, const std::vector<uint32_t>& positions);
  bool RunPasses(Pass& pass, PhysStmt which, Status& status);
  void MissingToFailure(Pass& pass);
  Status ChangeKeysAfterPass(Pass& pass, size_t& failed);
  void EndWalk(Walk& walk) override;
  Status LoadDefinition();
  // Walks: a step when `walk` continues from `entry` (key paths) or `pos` (physical order).
  Status WalkFrom(Walk& walk, int number, bool forward, const Bytes& entry, uint32_t pos, Row& row);
  Status StepWalk(Walk& walk, Row& row);
  // A prepared statement of the walk for that order and bound, other than `busy`.
  Statement* WalkStatement(Walk& walk, int number, bool forward, bool inclusive = false,
                           const Statement* busy = nullptr, bool scan = false);
  // Makes `s`, just stepped, the walk's open statement (ending the one it had).
  void TakeOverWalk(Walk& walk, Statement* s, int number);
  // Hands rows of the walk's statement along a key, from the one just stepped (`rc`), to `sink`.
  Status HandRows(Walk& walk, int rc, ScanPoint& at, RecordSink& sink);
  // A physical scan's statement hands its rows from inside one step (vader_hand), so no row
  // costs a step of its own; the step ends where the sink is full or the records end.
  struct Hand;
  static void HandRow(sqlite3_context* ctx, int argc, sqlite3_value** argv);
  // `s` is stepped, then made the walk's open statement when `takeOver` (a new scan).
  Status HandScan(Walk& walk, Statement& s, bool takeOver, ScanPoint& at, RecordSink& sink);
  void EndWalks();
  void EndWalksElsewhere();  // of the other connections of this process to the file
  void ClearKeyStatements();
  Statement& KeyStatement(int number, KeyStmt which);
  Statement& PhysStatement(PhysStmt which);
  Status Exec(PhysStmt which);
  // `newValue`: no entry holds `encoded` yet.
  Status NextSequence(int number, const Bytes& encoded, Bytes& entry, bool& newValue);
  Status AddEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos, Bytes& entry);
  Status RemoveEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos);
  Status SaveDefinition(const FileDefinition& def);
  static void Recover(const std::string& path);
  void Log(JournalEntry::Kind kind, uint32_t pos);
  Status Replay(const JournalEntry& entry);
  Status ReadLastTransaction(uint64_t& id);
  Status WriteLastTransaction(uint64_t id);
  Status ReadRow(Statement& s, bool withEntry, Row& row);
  // The count table: `key` -1 holds the records, key k its entries and distinct values.
  bool CountTableExists();
  // Inside a write transaction: makes sure the count table exists, building it when missing.
  Status EnsureCounts();
  // Outside any transaction: builds a missing count table when the file can be written now.
  void TryBuildCounts();
  void WriteEnded(bool committed);
  Status AddToCount(int key, int64_t entries, int64_t distinct);
  Status StoredCount(int key, uint32_t& entries, uint32_t& distinct);
  // Key `key`'s counts in a file of `records` records: stored, or following from the others.
  Status KeyCounts(int key, uint32_t records, uint32_t& entries, uint32_t& distinct);
  Status StoredRow(int key, uint32_t& entries, uint32_t& distinct);
  // Adds the change kept in the count row of the record table to `records`.
  Status AddRecordChange(uint32_t& records);
  // A key none of whose segments can be null has an entry for every record, and a unique key a
  // value for every entry: such counts follow from others and their rows are not kept up to
  // date, which spares most writes a statement per key.
  const KeyCodec* CodecOf(int key) const;  // nullptr for -1 and for a key number not in use
  bool EntriesFollowRecords(int key) const;
  bool ValuesFollowEntries(int key) const;
  Status RawCount(int number, uint32_t& n);  // by counting the rows
  Status CountUniqueValues(int number, uint32_t& n);
  Status ComputeStatCounts(StatCounts& out);

  Connection db_;
  std::vector<KeyStatements> keyStmts_;            // by key number
  // Walks holding a statement open share the connection's read transaction, which began when
  // the first of them started: at commit stamp heldStamp_ and local write count heldWrites_.
  CommitWatch watch_;
  std::vector<Walk*> activeWalks_;
  CommitWatch::Stamp heldStamp_{};
  uint64_t heldWrites_ = 0;
  uint64_t walkEpoch_ = 0;  // changes with the definition; unique across stores
  uint64_t uses_ = 0;       // operations on the file, counted by Refresh
  uint64_t usesSeen_ = 0;   // ... at the last EndIdleWalks
  std::array<std::unique_ptr<Statement>, kPhysStmtCount> physStmts_;
  std::shared_ptr<uint64_t> generation_;  // shared by the connections of one path
  uint64_t loadedGeneration_ = 0;
  // The records the open transaction wrote, for a journal should it commit with other files:
  // their positions only (the records are read at commit), and whether the first write made
  // the record (it did not exist before the transaction).
  struct Written {
    uint32_t pos;
    bool inserted;
  };
  std::vector<Written> txnLog_;
  std::vector<Written> pending_;  // the write in progress, logged when it succeeds
  bool inStatement_ = false;
  size_t statementLog_ = 0;  // txnLog_ entries before the statement
  uint64_t localWrites_ = 0;
  Pass* pass_ = nullptr;             // the pass of UpdateRecords running
  Hand* hand_ = nullptr;             // the physical scan handing rows
  bool functions_ = false;           // vader_patch and vader_take are defined on the connection
  bool hasCounts_ = false;           // the file holds a count table
  bool readOnly_ = false;            // the file or its folder cannot be written
  bool countsBuiltInWrite_ = false;  // ... created by the write transaction still open
  struct CachedCounts {
    bool valid = false;
    int64_t dataVersion = 0;
    uint64_t localWrites = 0;
    StatCounts counts;
  } statCache_;
};

}  // namespace vader::microkernel
