#pragma once
// One Btrieve file as one SQLite database, seen through one connection: the record table
// (rowid = physical position), one ordered index table per key holding order-preserving encoded
// keys, and the file's definition and owner. Statements are prepared once per connection.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "microkernel/CommitJournal.h"
#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/Sqlite.h"
#include "microkernel/Status.h"

namespace vader::microkernel {

enum class Seek { kFirst, kLast, kGreater, kGreaterEqual, kLess, kLessEqual };

struct Row {
  Bytes entry;  // index entry (encoded key, plus an 8-byte sequence on duplicate keys)
  uint32_t pos = 0;
  Bytes data;
};

struct OwnerInfo {
  Bytes name;  // empty: the file has no owner
  int level = 0;
};

class FileStore;

// A position block's walk along one key path, or the physical order, in one direction. The
// statement that produced its last row stays open between calls, so that the next row is one
// step away instead of a seek. The store ends every walk as soon as anything may have changed
// the file: a write on its own connection, or a commit by any other connection of any process.
class Walk {
 public:
  Walk() = default;
  ~Walk();
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

 private:
  friend class FileStore;
  struct Prepared {
    int number;  // key number; -1 for the physical order
    bool forward;
    std::unique_ptr<Statement> statement;
  };
  std::vector<Prepared> prepared_;
  uint64_t epoch_ = 0;           // the store definition the statements were prepared for
  FileStore* store_ = nullptr;   // while active: the store holding the statement open
  Statement* active_ = nullptr;  // stepped and not reset
  int number_ = 0;
  bool forward_ = true;
  Bytes last_;            // index entry of the row last returned (key paths)
  uint32_t lastPos_ = 0;  // its position (physical order)
};

class FileStore {
 public:
  // Creates a file; an existing one is replaced unless failIfExists (then 59).
  static Status Create(const std::string& path, const FileDefinition& def, bool failIfExists);
  // Opens a file, first finishing a multi-file commit that a crash interrupted.
  static Status Open(const std::string& path, std::unique_ptr<FileStore>& out, bool recover = true);
  // Commits the transactions open on `stores` as one: journals first when there are several.
  static Status CommitAll(const std::vector<std::shared_ptr<FileStore>>& stores);
  // Whether a connection of this process has the file open.
  static bool OpenInProcess(const std::string& path);
  // Ends the walks of every connection of this process that no operation used since the
  // previous call.
  static void EndIdleWalks();
  ~FileStore();

  const std::string& Path() const { return path_; }
  // Called before every operation on the file: ends the walks when the file changed since they
  // started, and reloads the definition when another connection of this process changed it.
  Status Refresh();
  const FileDefinition& Definition() const { return def_; }
  const KeyCodec* Codec(int number) const;
  const OwnerInfo& Owner() const { return owner_; }

  // Writes run between BeginWrite and EndWrite; inside a client transaction each write is a
  // savepoint of the transaction that the first write opened.
  Status BeginWrite(bool inTransaction, bool noWait);
  Status EndWrite(bool commit);
  bool TransactionOpen() const { return txnOpen_; }
  Status EndTransaction(bool commit);

  Status Read(uint32_t pos, Bytes& data);
  // Inserts `record` (autoincrement fields filled in); `entry` receives the index entry of key
  // `wantKey` (empty when the record is null in that key).
  Status Insert(Bytes& record, uint32_t& pos, int wantKey, Bytes& entry);
  Status Update(uint32_t pos, const Bytes& old, Bytes& record, int wantKey, Bytes& entry);
  Status Delete(uint32_t pos, const Bytes& old);

  // Finds the first row beyond `bound` in the direction of `mode`. With a walk, a Greater or
  // Less seek from the row the walk returned last steps the walk's statement, which gives the
  // same row as long as the file is unchanged; other seeks end the walk.
  Status SeekKey(int number, Seek mode, const Bytes& bound, Row& row, Walk* walk = nullptr);
  Status SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk = nullptr);
  // The index entry of record `pos` in key `number`, whose encoded key is `encoded`.
  Status FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry);

  // Index (number >= 0) or physical (number < 0) counts, for Stat and the percentages.
  Status CountAll(int number, uint32_t& n);
  Status CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n);
  Status NthRow(int number, uint32_t rank, Row& row);
  Status UniqueValues(int number, uint32_t& n);
  // Record count and unique values per key for Stat, recounted only after a write (by this
  // connection or, as SQLite's data version shows, by another).
  Status StatCountsFor(StatCounts& out);

  Status AddIndex(const FileDefinition& next, int number);
  Status DropIndex(int number, bool renumber);
  Status SetOwner(const OwnerInfo& owner);

 private:
  friend class Walk;
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
    kPDataVersion,
    kPhysStmtCount
  };
  using KeyStatements = std::array<std::unique_ptr<Statement>, kKeyStmtCount>;

  FileStore() = default;
  Status LoadDefinition();
  // Walks: a step when `walk` continues from `entry` (key paths) or `pos` (physical order).
  Status WalkFrom(Walk& walk, int number, bool forward, const Bytes& entry, uint32_t pos, Row& row);
  Status StepWalk(Walk& walk, Row& row);
  Statement* WalkStatement(Walk& walk, int number, bool forward);
  void EndWalk(Walk& walk);
  void EndWalks();
  void EndWalksElsewhere();  // of the other connections of this process to the file
  void ClearKeyStatements();
  Statement& KeyStatement(int number, KeyStmt which);
  Statement& PhysStatement(PhysStmt which);
  Status Exec(PhysStmt which);
  Status NextSequence(int number, const Bytes& encoded, Bytes& entry);
  Status AddEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos, Bytes& entry);
  Status RemoveEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos);
  Status AssignAutoIncrement(const KeyCodec& codec, Bytes& record);
  Status SaveDefinition(const FileDefinition& def);
  static void Recover(const std::string& path);
  void Log(JournalEntry::Kind kind, uint32_t pos, const Bytes& record);
  Status Replay(const JournalEntry& entry);
  Status ReadLastTransaction(uint64_t& id);
  Status WriteLastTransaction(uint64_t id);
  Status ReadRow(Statement& s, bool withEntry, Row& row);

  std::string path_;
  Connection db_;
  FileDefinition def_;
  OwnerInfo owner_;
  std::vector<std::unique_ptr<KeyCodec>> codecs_;  // by key number
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
  bool txnOpen_ = false;
  std::vector<JournalEntry> txnLog_;  // the open transaction's writes, for the journal
  JournalEntry pending_;              // the write in progress, logged when it succeeds
  bool hasPending_ = false;
  uint64_t localWrites_ = 0;
  struct CachedCounts {
    bool valid = false;
    int64_t dataVersion = 0;
    uint64_t localWrites = 0;
    StatCounts counts;
  } statCache_;
};

// Encoded key + 8-byte sequence upper bound: sorts after every duplicate of that key.
Bytes AfterDuplicates(const Bytes& encoded);

}  // namespace vader::microkernel
