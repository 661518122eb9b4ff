#include "microkernel/SqliteStore.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "microkernel/FileNames.h"
#include "microkernel/LockTable.h"
#include "microkernel/SqliteLayout.h"

namespace vader::microkernel {
namespace {

// Process-wide tables are never destroyed: connections may close during static destruction.
std::map<std::string, std::weak_ptr<uint64_t>>& Generations() {
  static auto* generations = new std::map<std::string, std::weak_ptr<uint64_t>>;
  return *generations;
}

std::shared_ptr<uint64_t> GenerationOf(const std::string& path) {
  auto& slot = Generations()[path];
  auto gen = slot.lock();
  if (!gen) {
    gen = std::make_shared<uint64_t>(1);
    slot = gen;
  }
  return gen;
}

// Number of connections of this process holding a write transaction, by path. Waiting for the
// SQLite write lock is useless when its holder is in this process: the caller would block it.
std::map<std::string, int>& InProcessWriters() {
  static auto* writers = new std::map<std::string, int>;
  return *writers;
}

// The stores open in this process, by path: a commit ends the walks of the others at once, so
// that their read transactions do not hold back the checkpoints of the log.
std::map<std::string, std::vector<SqliteStore*>>& OpenStores() {
  static auto* stores = new std::map<std::string, std::vector<SqliteStore*>>;
  return *stores;
}

// Record and key counts kept with the data: row -1 the records, row k key k's entries and
// distinct key values. The record count changes with every insert and delete, so its changes
// are kept apart, in the count row of the record table (above every record position): it sits
// in the last page of the table, which an insert writes anyway, where a row of this table
// would cost each commit one more page. The record count is row -1 plus that change.
constexpr char kCountTable[] =
    "CREATE TABLE vader_counts(key INTEGER PRIMARY KEY, entries INTEGER NOT NULL,"
    " distinct_values INTEGER NOT NULL)";

// Index entry, position and record of the rows of key path `number`, in index order. An entry
// whose record is gone (damage) comes without data, which reading reports, instead of being
// passed over.
std::string KeyRows(int number) {
  const std::string t = KeyTable(number);
  return "SELECT i.k, i.pos, r.data FROM " + t + " AS i LEFT JOIN records AS r ON r.pos = i.pos ";
}

// Page cache sizes (negative: KiB): SQLite's default, and while a transaction is open.
constexpr char kDefaultCache[] = "PRAGMA cache_size=-2000";
constexpr char kTransactionCache[] = "PRAGMA cache_size=-32768";

uint64_t NewEpoch() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

Status SqlStatus(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return kOk;
    case SQLITE_CONSTRAINT:
      return kDuplicateKey;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kFileLocked;
    case SQLITE_READONLY:
      return kAccessDenied;
    case SQLITE_FULL:
      return kDiskFull;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return kNotAFile;
    default:
      return kIoError;
  }
}

void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((path + suffix).c_str());
}

}  // namespace

Status SqliteStore::Create(const std::string& path, const FileDefinition& def, bool failIfExists) {
  if (failIfExists && FileExists(path)) return kFileExists;
  const std::string temp = path + ".creating";
  RemoveDatabase(temp);
  {
    Connection c;
    if (c.Open(temp, true) != SQLITE_OK) return kCreateError;
    std::string sql =
        "PRAGMA journal_mode=WAL;"
        "BEGIN;"
        "CREATE TABLE vader_file(id INTEGER PRIMARY KEY CHECK(id = 1), definition BLOB NOT NULL,"
        " owner BLOB NOT NULL, owner_level INTEGER NOT NULL, last_txn INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE records(pos INTEGER PRIMARY KEY, data BLOB NOT NULL);";
    for (const KeyDef& k : def.keys)
      sql += "CREATE TABLE " + KeyTable(k.number) +
             "(k BLOB PRIMARY KEY, pos INTEGER NOT NULL) WITHOUT ROWID;";
    sql += std::string(kCountTable) + "; INSERT INTO vader_counts VALUES(-1, 0, 0);";
    for (const KeyDef& k : def.keys)
      sql += "INSERT INTO vader_counts VALUES(" + std::to_string(k.number) + ", 0, 0);";
    if (c.Exec(sql) != SQLITE_OK) {
      RemoveDatabase(temp);
      return kCreateError;
    }
    Statement meta(c.Handle(), "INSERT INTO vader_file VALUES(1, ?1, x'', 0, 0)");
    meta.Bind(1, def.Serialize());
    if (meta.Step() != SQLITE_DONE || c.Exec("COMMIT") != SQLITE_OK) {
      RemoveDatabase(temp);
      return kCreateError;
    }
  }
  RemoveDatabase(path);
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    RemoveDatabase(temp);
    return kCreateError;
  }
  return kOk;
}

bool SqliteStore::OpenInProcess(const std::string& path) {
  auto it = Generations().find(path);
  return it != Generations().end() && !it->second.expired();
}

Status SqliteStore::Open(const std::string& path, std::unique_ptr<SqliteStore>& out, bool recover) {
  if (!FileExists(path)) return kFileNotFound;
  if (recover && FileExists(JournalPath(path))) Recover(path);
  std::unique_ptr<SqliteStore> store(new SqliteStore());
  store->path_ = path;
  store->readOnly_ = !WritableHere(path);
  if (store->OpenConnection() != SQLITE_OK) return kIoError;
  // Pages are read through a map of the file (the first 256 MB of it): a walk along a key
  // reaches the records in any order, and a read costs no system call then.
  store->db_.Exec("PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456");
  store->db_.SetBusyTimeout(LockWaitMilliseconds());
  store->generation_ = GenerationOf(path);
  if (Status s = store->LoadDefinition(); s != kOk) return s;
  store->SetCheckpointInterval();
  // Without the shared index (a database not in WAL mode) walks are never kept: every read
  // seeks.
  store->watch_.Attach(store->db_.Handle());
  if (store->readOnly_)
    store->hasCounts_ = store->CountTableExists();
  else
    store->TryBuildCounts();
  OpenStores()[path].push_back(store.get());
  out = std::move(store);
  return kOk;
}

// A commit of one record writes a page of the records and one of each key: the log is copied
// into the file (and both synced) after as many commits as SQLite's default of 1,000 pages
// gives a table of its own, up to a log of 4,000 pages (16 MB at 4 KB pages).
void SqliteStore::SetCheckpointInterval() {
  constexpr size_t kPagesPerTable = 1000, kMostPages = 4000;
  const size_t pages = std::min(kPagesPerTable * (1 + def_.keys.size()), kMostPages);
  db_.Exec("PRAGMA wal_autocheckpoint=" + std::to_string(pages));
}

int SqliteStore::OpenConnection() {
  if (!readOnly_) return db_.Open(path_, false);
  // Without a log beside it the file is complete, and opened immutable nothing is created
  // beside it (a read-only folder could not take it); a log left there must be read with it.
  return db_.OpenReadOnly(path_, !FileExists(path_ + "-wal"));
}

SqliteStore::~SqliteStore() {
  if (txnOpen_) EndTransaction(false);
  auto it = OpenStores().find(path_);
  if (it == OpenStores().end()) return;
  std::erase(it->second, this);
  if (it->second.empty()) OpenStores().erase(it);
}

Status SqliteStore::LoadDefinition() {
  EndWalks();
  walkEpoch_ = NewEpoch();
  Statement meta(db_.Handle(),
                 "SELECT definition, owner, owner_level FROM vader_file WHERE id = 1");
  if (!meta.Valid() || meta.Step() != SQLITE_ROW) return kNotAFile;
  const Bytes stored = meta.Blob(0);
  FileDefinition def;
  if (ParseCreateBuffer(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), def) != kOk)
    return kNotAFile;
  owner_.name = meta.Blob(1);
  owner_.level = static_cast<int>(meta.Int(2));
  def_ = std::move(def);
  keyStmts_.clear();
  BuildCodecs();
  keyStmts_.resize(codecs_.size());
  loadedGeneration_ = *generation_;
  return kOk;
}

void SqliteStore::ClearKeyStatements() {
  EndWalks();
  walkEpoch_ = NewEpoch();
  for (auto& statements : keyStmts_)
    for (auto& s : statements) s.reset();
}

Status SqliteStore::Refresh() {
  ++uses_;
  if (!activeWalks_.empty() && (localWrites_ != heldWrites_ || watch_.Read() != heldStamp_))
    EndWalks();
  return *generation_ == loadedGeneration_ ? kOk : LoadDefinition();
}

Statement& SqliteStore::KeyStatement(int number, KeyStmt which) {
  auto& slot = keyStmts_[number][which];
  if (slot) return *slot;
  const std::string t = KeyTable(number);
  const std::string join = KeyRows(number);
  std::string sql;
  switch (which) {
    case kKFirst:
      sql = join + "ORDER BY i.k LIMIT 1";
      break;
    case kKLast:
      sql = join + "ORDER BY i.k DESC LIMIT 1";
      break;
    case kKGreater:
      sql = join + "WHERE i.k > ?1 ORDER BY i.k LIMIT 1";
      break;
    case kKGreaterEqual:
      sql = join + "WHERE i.k >= ?1 ORDER BY i.k LIMIT 1";
      break;
    case kKLess:
      sql = join + "WHERE i.k < ?1 ORDER BY i.k DESC LIMIT 1";
      break;
    case kKLessEqual:
      sql = join + "WHERE i.k <= ?1 ORDER BY i.k DESC LIMIT 1";
      break;
    case kKLastLE:
      sql = "SELECT k FROM " + t + " WHERE k <= ?1 ORDER BY k DESC LIMIT 1";
      break;
    case kKInsert:
      sql = "INSERT INTO " + t + "(k, pos) VALUES(?1, ?2)";
      break;
    case kKDeleteUnique:
      sql = "DELETE FROM " + t + " WHERE k = ?1";
      break;
    case kKDeleteInRange:
      sql = "DELETE FROM " + t + " WHERE k >= ?1 AND k <= ?2 AND pos = ?3";
      break;
    case kKFindInRange:
      sql = "SELECT k FROM " + t + " WHERE k >= ?1 AND k <= ?2 AND pos = ?3 LIMIT 1";
      break;
    case kKCount:
      sql = "SELECT count(*) FROM " + t;
      break;
    case kKCountBelow:
      sql = "SELECT count(*) FROM " + t + " WHERE k < ?1";
      break;
    case kKNth:
      sql = join + "ORDER BY i.k LIMIT 1 OFFSET ?1";
      break;
    case kKDistinct:
      sql = "SELECT count(DISTINCT substr(k, 1, " +
            std::to_string(codecs_[number]->EncodedLength()) + ")) FROM " + t;
      break;
    case kKAnyInRange:
      sql = "SELECT 1 FROM " + t + " WHERE k >= ?1 AND k <= ?2 LIMIT 1";
      break;
    case kKeyStmtCount:
      break;
  }
  slot = std::make_unique<Statement>(db_.Handle(), sql);
  return *slot;
}

Statement& SqliteStore::PhysStatement(PhysStmt which) {
  auto& slot = physStmts_[which];
  if (slot) return *slot;
  const std::string sel = "SELECT pos, data FROM records ";
#define BELOW VADER_BELOW_COUNT_ROW
  static const char* const kSql[kPhysStmtCount] = {
      "WHERE " BELOW " ORDER BY pos LIMIT 1",
      "WHERE " BELOW " ORDER BY pos DESC LIMIT 1",
      "WHERE pos > ?1 AND " BELOW " ORDER BY pos LIMIT 1",
      "WHERE pos >= ?1 AND " BELOW " ORDER BY pos LIMIT 1",
      "WHERE pos < ?1 AND " BELOW " ORDER BY pos DESC LIMIT 1",
      "WHERE pos <= ?1 AND " BELOW " ORDER BY pos DESC LIMIT 1",
      "WHERE pos = ?1 AND " BELOW,
      // The next position after the last record, as SQLite would choose it without the count
      // row above them.
      ("INSERT INTO records(pos, data) VALUES(coalesce((SELECT pos FROM records WHERE " BELOW
       " ORDER BY pos DESC LIMIT 1), 0) + 1, ?1)"),
      "UPDATE records SET data = ?1 WHERE pos = ?2 AND " BELOW,
      "DELETE FROM records WHERE pos = ?1 AND " BELOW,
      // SQLite counts a whole table from its pages; the count row is taken off after.
      ("SELECT (SELECT count(*) FROM records) - (SELECT count(*) FROM records WHERE pos = "
       VADER_COUNT_ROW ")"),
      "SELECT count(*) FROM records WHERE pos < ?1 AND " BELOW,
      "WHERE " BELOW " ORDER BY pos LIMIT 1 OFFSET ?1",
      "BEGIN IMMEDIATE",
      "COMMIT",
      "ROLLBACK",
      "SAVEPOINT op",
      "RELEASE op",
      "ROLLBACK TO op",
      "SAVEPOINT statement",
      "RELEASE statement",
      "ROLLBACK TO statement",
      "PRAGMA data_version",
      "SELECT entries, distinct_values FROM vader_counts WHERE key = ?1",
      ("UPDATE vader_counts SET entries = entries + ?2, distinct_values = distinct_values + ?3"
       " WHERE key = ?1"),
      "SELECT data FROM records WHERE pos = " VADER_COUNT_ROW,
      ("INSERT INTO records(pos, data) VALUES(" VADER_COUNT_ROW ", ?1)"
       " ON CONFLICT(pos) DO UPDATE SET data = data + ?1"),
      "DELETE FROM records WHERE pos = " VADER_COUNT_ROW,
      ("UPDATE records SET data = vader_patch(pos, data) WHERE pos >= ?1 AND pos <= ?2 AND "
       BELOW),
      ("DELETE FROM records WHERE pos >= ?1 AND pos <= ?2 AND " BELOW
       " AND vader_take(pos, data)"),
  };
#undef BELOW
  const bool select = which <= kPRead || which == kPNth;
  slot = std::make_unique<Statement>(db_.Handle(), select ? sel + kSql[which] : kSql[which]);
  return *slot;
}

Status SqliteStore::Exec(PhysStmt which) {
  Statement& s = PhysStatement(which);
  StatementScope scope(s);
  return SqlStatus(s.Step());
}

Status SqliteStore::BeginWrite(bool inTransaction, bool noWait) {
  // A write needs the latest snapshot, and the rows it changes may be the ones walks stand on.
  EndWalks();
  if (inTransaction && txnOpen_) return Exec(kPSavepoint);
  const bool localWriter = InProcessWriters()[path_] > 0;
  db_.SetBusyTimeout(noWait || localWriter ? 0 : LockWaitMilliseconds());
  if (Status s = Exec(kPBegin); s != kOk) return s == kDuplicateKey ? kIoError : s;
  if (Status s = EnsureCounts(); s != kOk) {
    Exec(kPRollback);
    WriteEnded(false);
    return s;
  }
  if (!inTransaction) return kOk;
  txnOpen_ = true;
  ++InProcessWriters()[path_];
  // A transaction may change many pages (a statement over a whole table): kept in memory until
  // it commits, each goes to the log once instead of again whenever the cache overflows.
  db_.Exec(kTransactionCache);
  return Exec(kPSavepoint);
}

Status SqliteStore::EndWrite(bool commit) {
  ++localWrites_;
  if (txnOpen_) {
    if (!commit) Exec(kPRollbackTo);
    if (commit)
      txnLog_.insert(txnLog_.end(), std::make_move_iterator(pending_.begin()),
                     std::make_move_iterator(pending_.end()));
    pending_.clear();
    return Exec(kPRelease);
  }
  pending_.clear();
  Status committed = kOk;
  if (commit) {
    if ((committed = Exec(kPCommit)) == kOk) {
      WriteEnded(true);
      EndWalksElsewhere();
      return kOk;
    }
  }
  Exec(kPRollback);
  WriteEnded(false);
  // The commit's own status says why nothing was written (a full disk is not an I/O error).
  if (!commit) return kOk;
  return committed == kDuplicateKey ? kIoError : committed;
}

Status SqliteStore::BeginStatement() {
  if (!txnOpen_ || inStatement_) return kOk;
  EndWalks();
  if (Status s = Exec(kPStatement); s != kOk) return s;
  inStatement_ = true;
  statementLog_ = txnLog_.size();
  return kOk;
}

Status SqliteStore::EndStatement(bool keep) {
  if (!inStatement_) return kOk;
  inStatement_ = false;
  EndWalks();
  ++localWrites_;
  if (!keep) {
    if (Status s = Exec(kPStatementUndo); s != kOk) return s;
    txnLog_.resize(std::min(txnLog_.size(), statementLog_));
  }
  return Exec(kPStatementRelease);
}

Status SqliteStore::EndTransaction(bool commit) {
  if (!txnOpen_) return kOk;
  EndWalks();
  ++localWrites_;
  txnOpen_ = false;
  inStatement_ = false;
  txnLog_.clear();
  --InProcessWriters()[path_];
  // Single writes survive the process being killed; an ended transaction is also synced to
  // the disk, so it survives the machine going down.
  if (commit) db_.Exec("PRAGMA synchronous=FULL");
  Status s = commit ? Exec(kPCommit) : kOk;
  if (commit) db_.Exec("PRAGMA synchronous=NORMAL");
  if (commit && s == kOk) EndWalksElsewhere();
  if (!commit || s != kOk) Exec(kPRollback);
  db_.Exec(kDefaultCache);
  WriteEnded(commit && s == kOk);
  return s;
}

Status SqliteStore::ReadRow(Statement& s, bool withEntry, Row& row) {
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return kEndOfFile;
  if (rc != SQLITE_ROW) return SqlStatus(rc);
  int col = 0;
  if (withEntry) {
    const uint8_t* entry = s.BlobData(col);
    row.entry.assign(entry ? reinterpret_cast<const char*>(entry) : "", s.BlobSize(col));
    ++col;
  }
  row.pos = static_cast<uint32_t>(s.Int(col++));
  const uint8_t* data = s.BlobData(col);
  row.data.assign(data ? reinterpret_cast<const char*>(data) : "", s.BlobSize(col));
  // Keys are read out of records by offset: a record shorter than the fixed part is damage.
  return row.data.size() < def_.recordLength ? kIoError : kOk;
}

Status SqliteStore::Read(uint32_t pos, Bytes& data) {
  Statement& s = PhysStatement(kPRead);
  StatementScope scope(s);
  s.Bind(1, static_cast<int64_t>(pos));
  Row row;
  Status st = ReadRow(s, false, row);
  if (st == kEndOfFile) return kInvalidRecordAddress;
  data = std::move(row.data);
  return st;
}

Status SqliteStore::SeekKey(int number, Seek mode, const Bytes& bound, Row& row, Walk* walk) {
  if (walk) {
    if (mode == Seek::kGreater || mode == Seek::kLess)
      return WalkFrom(*walk, number, mode == Seek::kGreater, bound, 0, row);
    EndWalk(*walk);
  }
  static constexpr KeyStmt kByMode[] = {kKFirst,        kKLast, kKGreater,
                                        kKGreaterEqual, kKLess, kKLessEqual};
  Statement& s = KeyStatement(number, kByMode[static_cast<int>(mode)]);
  StatementScope scope(s);
  if (mode != Seek::kFirst && mode != Seek::kLast) s.BindStatic(1, bound);
  return ReadRow(s, true, row);
}

Status SqliteStore::SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk) {
  if (walk) {
    if (mode == Seek::kGreater || mode == Seek::kLess)
      return WalkFrom(*walk, -1, mode == Seek::kGreater, Bytes(), bound, row);
    EndWalk(*walk);
  }
  Statement& s = PhysStatement(static_cast<PhysStmt>(static_cast<int>(mode)));
  StatementScope scope(s);
  if (mode != Seek::kFirst && mode != Seek::kLast) s.Bind(1, static_cast<int64_t>(bound));
  return ReadRow(s, false, row);
}

Status SqliteStore::WalkFrom(Walk& walk, int number, bool forward, const Bytes& entry, uint32_t pos,
                           Row& row) {
  const bool keyed = number >= 0;
  if (walk.active_ && !walk.scanning_ && walk.number_ == number && walk.forward_ == forward &&
      (keyed ? walk.last_ == entry : walk.lastPos_ == pos))
    return StepWalk(walk, row);
  EndWalk(walk);
  Statement* s = WalkStatement(walk, number, forward);
  const Seek mode = forward ? Seek::kGreater : Seek::kLess;
  if (!s) return keyed ? SeekKey(number, mode, entry, row) : SeekPhysical(mode, pos, row);
  if (keyed)
    s->Bind(1, entry);
  else
    s->Bind(1, static_cast<int64_t>(pos));
  // The stamp is read before the first step: a commit racing with it ends the walks at the
  // next call, needlessly but safely, instead of being missed.
  if (activeWalks_.empty()) {
    heldStamp_ = watch_.Read();
    heldWrites_ = localWrites_;
  }
  walk.active_ = s;
  walk.store_ = this;
  walk.number_ = number;
  walk.forward_ = forward;
  walk.scanning_ = false;
  activeWalks_.push_back(&walk);
  return StepWalk(walk, row);
}

Status SqliteStore::StepWalk(Walk& walk, Row& row) {
  const bool keyed = walk.number_ >= 0;
  if (Status s = ReadRow(*walk.active_, keyed, row); s != kOk) {
    EndWalk(walk);
    return s;
  }
  if (keyed)
    walk.last_ = row.entry;
  else
    walk.lastPos_ = row.pos;
  return kOk;
}

Statement* SqliteStore::WalkStatement(Walk& walk, int number, bool forward, bool inclusive,
                                      const Statement* busy, bool scan) {
  if (!watch_.Usable()) return nullptr;
  if (walk.epoch_ != walkEpoch_) {
    walk.prepared_.clear();
    walk.epoch_ = walkEpoch_;
  }
  for (const Walk::Prepared& p : walk.prepared_)
    if (p.number == number && p.forward == forward && p.inclusive == inclusive &&
        p.scan == scan && p.statement.get() != busy)
      return p.statement.get();
  const char* bound = forward ? (inclusive ? ">=" : ">") : (inclusive ? "<=" : "<");
  const char* order = forward ? "" : " DESC";
  // A bulk scan in physical order hands each row from its WHERE clause, and leaves out the bound
  // below the count row: vader_hand stops at it, the last row by position.
  if (scan && number < 0 && !PrepareFunctions()) return nullptr;
  const std::string sql =
      number >= 0 ? KeyRows(number) + "WHERE i.k " + bound + " ?1 ORDER BY i.k" + order
      : scan      ? std::string("SELECT pos FROM records WHERE pos ") + bound +
                   " ?1 AND vader_hand(pos, data) ORDER BY pos" + order
                  : std::string("SELECT pos, data FROM records WHERE pos ") + bound +
                   " ?1 AND " VADER_BELOW_COUNT_ROW " ORDER BY pos" + order;
  auto statement = std::make_unique<Statement>(db_.Handle(), sql);
  if (!statement->Valid()) return nullptr;
  walk.prepared_.push_back(
      Walk::Prepared{number, forward, inclusive, scan, std::move(statement)});
  return walk.prepared_.back().statement.get();
}

Status SqliteStore::ScanRows(ScanPoint& at, Walk& walk, RecordSink& sink) {
  const bool keyed = at.number >= 0;
  if (!at.inclusive && walk.active_ && walk.scanning_ == !keyed && walk.number_ == at.number &&
      walk.forward_ && (keyed ? walk.last_ == at.entry : walk.lastPos_ == at.pos))
    return keyed ? HandRows(walk, walk.active_->Step(), at, sink)
                 : HandScan(walk, *walk.active_, false, at, sink);
  Statement* s = WalkStatement(walk, at.number, true, at.inclusive, walk.active_, !keyed);
  if (!s) return kInvalidOperation;
  if (keyed)
    s->Bind(1, at.entry);
  else
    s->Bind(1, static_cast<int64_t>(at.pos));
  // As in WalkFrom, the stamp is read before the first step of a new read transaction.
  if (activeWalks_.empty()) {
    heldStamp_ = watch_.Read();
    heldWrites_ = localWrites_;
  }
  if (!keyed) return HandScan(walk, *s, true, at, sink);
  const int rc = s->Step();
  TakeOverWalk(walk, s, at.number);
  return HandRows(walk, rc, at, sink);
}

struct SqliteStore::Hand {
  Walk& walk;
  RecordSink& sink;
  Status status = kOk;  // kEndOfFile at the count row; kIoError at a damaged record
  bool handed = false;
};

// vader_hand(pos, data): hands the record to the scan's sink; true (the step ends at this row)
// when the sink is full or the row is no record to hand.
void SqliteStore::HandRow(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  static constexpr uint8_t kNoBytes = 0;
  auto& self = *static_cast<SqliteStore*>(sqlite3_user_data(ctx));
  Hand* hand = self.hand_;
  const int64_t pos = sqlite3_value_int64(argv[0]);
  if (!hand || pos >= kCountRowPos) {
    if (hand) hand->status = kEndOfFile;
    return sqlite3_result_int(ctx, 1);
  }
  const auto* data = static_cast<const uint8_t*>(sqlite3_value_blob(argv[1]));
  const auto size = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
  // Keys are read out of records by offset: a record shorter than the fixed part is damage.
  if (size < self.def_.recordLength) {
    hand->status = kIoError;
    return sqlite3_result_int(ctx, 1);
  }
  hand->walk.lastPos_ = static_cast<uint32_t>(pos);
  hand->handed = true;
  const bool more = hand->sink.Take(static_cast<uint32_t>(pos), data ? data : &kNoBytes,
                                    static_cast<uint32_t>(size));
  sqlite3_result_int(ctx, more ? 0 : 1);
}

Status SqliteStore::HandScan(Walk& walk, Statement& s, bool takeOver, ScanPoint& at,
                             RecordSink& sink) {
  Hand hand{walk, sink};
  hand_ = &hand;
  const int rc = s.Step();
  hand_ = nullptr;
  if (takeOver) TakeOverWalk(walk, &s, -1);
  Status status = hand.status;
  if (rc == SQLITE_DONE) status = kEndOfFile;
  else if (rc != SQLITE_ROW) status = SqlStatus(rc);
  if (hand.handed) {
    at.inclusive = false;
    at.pos = walk.lastPos_;
  }
  if (status != kOk) EndWalk(walk);
  return status;
}

void SqliteStore::TakeOverWalk(Walk& walk, Statement* s, int number) {
  EndWalk(walk);
  walk.active_ = s;
  walk.store_ = this;
  walk.number_ = number;
  walk.forward_ = true;
  walk.scanning_ = number < 0;
  activeWalks_.push_back(&walk);
}

Status SqliteStore::HandRows(Walk& walk, int rc, ScanPoint& at, RecordSink& sink) {
  static constexpr uint8_t kNoBytes = 0;
  Statement& s = *walk.active_;
  bool handed = false;
  Status status = kOk;
  for (;; rc = s.Step()) {
    if (rc != SQLITE_ROW) {
      status = rc == SQLITE_DONE ? kEndOfFile : SqlStatus(rc);
      break;
    }
    const auto pos = static_cast<uint32_t>(sqlite3_value_int64(s.Value(1)));
    sqlite3_value* record = s.Value(2);
    const auto* data = static_cast<const uint8_t*>(sqlite3_value_blob(record));
    const size_t size = static_cast<size_t>(sqlite3_value_bytes(record));
    // Keys are read out of records by offset: a record shorter than the fixed part is damage.
    if (size < def_.recordLength) {
      status = kIoError;
      break;
    }
    sqlite3_value* entry = s.Value(0);
    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(entry));
    walk.last_.assign(bytes ? bytes : "", static_cast<size_t>(sqlite3_value_bytes(entry)));
    handed = true;
    if (!sink.Take(pos, data ? data : &kNoBytes, static_cast<uint32_t>(size))) break;
  }
  if (handed) {
    at.inclusive = false;
    at.entry = walk.last_;
  }
  if (status != kOk) EndWalk(walk);
  return status;
}

void SqliteStore::EndWalk(Walk& walk) {
  if (!walk.active_) return;
  walk.active_->Reset();
  walk.active_ = nullptr;
  walk.store_ = nullptr;
  activeWalks_.erase(std::find(activeWalks_.begin(), activeWalks_.end(), &walk));
}

void SqliteStore::EndWalks() {
  while (!activeWalks_.empty()) EndWalk(*activeWalks_.back());
}

void SqliteStore::EndIdleWalks() {
  for (auto& [path, stores] : OpenStores())
    for (SqliteStore* store : stores) {
      if (store->uses_ == store->usesSeen_) store->EndWalks();
      store->usesSeen_ = store->uses_;
    }
}

void SqliteStore::EndWalksElsewhere() {
  const auto it = OpenStores().find(path_);
  if (it == OpenStores().end()) return;
  for (SqliteStore* other : it->second)
    if (other != this) other->EndWalks();
}

Status SqliteStore::FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) {
  Statement& s = KeyStatement(number, kKFindInRange);
  StatementScope scope(s);
  s.Bind(1, encoded).Bind(2, AfterDuplicates(encoded)).Bind(3, static_cast<int64_t>(pos));
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kNullKeyPath : SqlStatus(rc);
  entry = s.Blob(0);
  return kOk;
}

Status SqliteStore::NextSequence(int number, const Bytes& encoded, Bytes& entry,
                                 bool& newValue) {
  Statement& s = KeyStatement(number, kKLastLE);
  StatementScope scope(s);
  s.Bind(1, AfterDuplicates(encoded));
  const int rc = s.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlStatus(rc);
  const Bytes last = rc == SQLITE_ROW ? s.Blob(0) : Bytes();
  newValue = last.compare(0, encoded.size(), encoded) != 0;
  entry = DuplicateEntry(encoded, last);
  return kOk;
}

Status SqliteStore::AddEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos, Bytes& entry) {
  entry.clear();
  const auto* key = reinterpret_cast<const uint8_t*>(raw.data());
  if (codec.IsNull(key)) return kOk;
  const int number = codec.Key().number;
  const Bytes encoded = codec.Encode(key);
  bool newValue = true;
  if (codec.Key().Duplicates()) {
    if (Status s = NextSequence(number, encoded, entry, newValue); s != kOk) return s;
  } else {
    entry = encoded;
  }
  {
    Statement& s = KeyStatement(number, kKInsert);
    StatementScope scope(s);
    s.Bind(1, entry).Bind(2, static_cast<int64_t>(pos));
    if (Status st = SqlStatus(s.Step()); st != kOk) return st;
  }
  return AddToCount(number, 1, newValue ? 1 : 0);
}

Status SqliteStore::RemoveEntry(const KeyCodec& codec, const Bytes& raw, uint32_t pos) {
  const auto* key = reinterpret_cast<const uint8_t*>(raw.data());
  if (codec.IsNull(key)) return kOk;
  const Bytes encoded = codec.Encode(key);
  const int number = codec.Key().number;
  const bool dup = codec.Key().Duplicates();
  {
    Statement& s = KeyStatement(number, dup ? kKDeleteInRange : kKDeleteUnique);
    StatementScope scope(s);
    s.Bind(1, encoded);
    if (dup) s.Bind(2, AfterDuplicates(encoded)).Bind(3, static_cast<int64_t>(pos));
    if (Status st = SqlStatus(s.Step()); st != kOk) return st;
    if (sqlite3_changes(db_.Handle()) == 0) return kOk;
  }
  // A key value is gone with the last entry that held it.
  bool lastOfValue = true;
  if (dup) {
    Statement& any = KeyStatement(number, kKAnyInRange);
    StatementScope scope(any);
    any.Bind(1, encoded).Bind(2, AfterDuplicates(encoded));
    const int rc = any.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlStatus(rc);
    lastOfValue = rc == SQLITE_DONE;
  }
  return AddToCount(number, -1, lastOfValue ? -1 : 0);
}

Status SqliteStore::Insert(Bytes& record, uint32_t& pos, int wantKey, Bytes& entry) {
  for (const auto& codec : codecs_)
    if (codec && codec->Key().AutoIncrement())
      if (Status s = AssignAutoIncrement(*codec, record); s != kOk) return s;
  {
    Statement& s = PhysStatement(kPInsert);
    StatementScope scope(s);
    s.Bind(1, record);
    // Past the last position the next one is the count row's: the file is full.
    if (Status st = SqlStatus(s.Step()); st != kOk) return st == kDuplicateKey ? kIoError : st;
  }
  const int64_t rowid = sqlite3_last_insert_rowid(db_.Handle());
  if (rowid <= 0 || rowid > 0x7FFFFFFF) return kIoError;
  pos = static_cast<uint32_t>(rowid);
  if (Status s = AddToCount(-1, 1, 0); s != kOk) return s;
  Log(JournalEntry::kInsert, pos);
  const auto* rec = reinterpret_cast<const uint8_t*>(record.data());
  Bytes e;
  for (const auto& codec : codecs_) {
    if (!codec) continue;
    if (Status s = AddEntry(*codec, codec->Extract(rec), pos, e); s != kOk) return s;
    if (codec->Key().number == wantKey) entry = e;
  }
  return kOk;
}

Status SqliteStore::Update(uint32_t pos, const Bytes& old, Bytes& record, int wantKey, Bytes& entry) {
  const auto* oldRec = reinterpret_cast<const uint8_t*>(old.data());
  for (const auto& codec : codecs_)
    if (codec && codec->Key().AutoIncrement())
      if (Status s = AssignAutoIncrement(*codec, record); s != kOk) return s;
  const auto* newRec = reinterpret_cast<const uint8_t*>(record.data());
  for (const auto& codec : codecs_)
    if (codec && !codec->Key().Modifiable() && codec->Extract(oldRec) != codec->Extract(newRec))
      return kKeyNotModifiable;
  {
    Statement& s = PhysStatement(kPUpdate);
    StatementScope scope(s);
    s.Bind(1, record).Bind(2, static_cast<int64_t>(pos));
    if (Status st = SqlStatus(s.Step()); st != kOk) return st;
  }
  Log(JournalEntry::kUpdate, pos);
  for (const auto& codec : codecs_) {
    if (!codec) continue;
    const Bytes before = codec->Extract(oldRec);
    const Bytes after = codec->Extract(newRec);
    Bytes e;
    if (before != after) {
      if (Status s = RemoveEntry(*codec, before, pos); s != kOk) return s;
      if (Status s = AddEntry(*codec, after, pos, e); s != kOk) return s;
    } else if (codec->Key().number == wantKey &&
               !codec->IsNull(reinterpret_cast<const uint8_t*>(after.data()))) {
      if (Status s = FindEntry(
              wantKey, codec->Encode(reinterpret_cast<const uint8_t*>(after.data())), pos, e);
          s != kOk)
        return s;
    }
    if (codec->Key().number == wantKey) entry = e;
  }
  return kOk;
}

Status SqliteStore::Delete(uint32_t pos, const Bytes& old) {
  const auto* rec = reinterpret_cast<const uint8_t*>(old.data());
  for (const auto& codec : codecs_)
    if (codec)
      if (Status s = RemoveEntry(*codec, codec->Extract(rec), pos); s != kOk) return s;
  {
    Statement& s = PhysStatement(kPDelete);
    StatementScope scope(s);
    s.Bind(1, static_cast<int64_t>(pos));
    if (Status st = SqlStatus(s.Step()); st != kOk) return st;
    if (sqlite3_changes(db_.Handle()) == 0) return kOk;
  }
  Log(JournalEntry::kDelete, pos);
  return AddToCount(-1, -1, 0);
}

// The state of one UpdateRecords or DeleteRecords: the entries by position, what the pass
// found, and the key changes it leaves for afterwards.
struct SqliteStore::Pass {
  struct KeyChange {
    size_t index;
    uint32_t pos;
    const KeyCodec* codec;
    Bytes before, after;  // `after` empty: the entry goes
  };
  const Patch* patch = nullptr;
  std::vector<std::pair<uint32_t, size_t>> byPosition;  // position, index; ascending
  std::vector<bool> seen;                               // by index
  std::vector<KeyChange> keyChanges;
  size_t firstFailure = SIZE_MAX;  // index of the first entry that failed in the pass
  Status failure = kOk;
  Bytes old, record;

  // The index of the entry for `pos`, or SIZE_MAX when the batch has none.
  size_t Find(uint32_t pos) const {
    const auto it = std::lower_bound(byPosition.begin(), byPosition.end(),
                                     std::make_pair(pos, size_t{0}));
    return it != byPosition.end() && it->first == pos ? it->second : SIZE_MAX;
  }
  void Fail(size_t index, Status s) {
    if (index < firstFailure) firstFailure = index, failure = s;
  }
  // Takes the stored record of the row a function of the pass was given; false when the
  // batch has no entry for it.
  bool Take(sqlite3_value** argv, size_t& index, uint32_t& pos) {
    pos = static_cast<uint32_t>(sqlite3_value_int64(argv[0]));
    if ((index = Find(pos)) == SIZE_MAX) return false;
    const auto* data = static_cast<const char*>(sqlite3_value_blob(argv[1]));
    old.assign(data ? data : "", static_cast<size_t>(sqlite3_value_bytes(argv[1])));
    seen[index] = true;
    return true;
  }
};

void SqliteStore::PatchRow(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  auto& self = *static_cast<SqliteStore*>(sqlite3_user_data(ctx));
  size_t index = 0;
  uint32_t pos = 0;
  if (!self.pass_ || !self.pass_->Take(argv, index, pos)) {
    sqlite3_result_value(ctx, argv[1]);  // not in the batch: kept
    return;
  }
  Pass& pass = *self.pass_;
  if (const Status s = self.PatchOne(pass, index, pos); s != kOk) {
    pass.Fail(index, s);
    sqlite3_result_value(ctx, argv[1]);
    return;
  }
  sqlite3_result_blob(ctx, pass.record.data(), static_cast<int>(pass.record.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStore::TakeRow(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  auto& self = *static_cast<SqliteStore*>(sqlite3_user_data(ctx));
  size_t index = 0;
  uint32_t pos = 0;
  if (!self.pass_ || !self.pass_->Take(argv, index, pos)) return sqlite3_result_int(ctx, 0);
  Pass& pass = *self.pass_;
  if (pass.old.size() < self.def_.recordLength) {  // damage, as a read reports it
    pass.Fail(index, kIoError);
    return sqlite3_result_int(ctx, 0);
  }
  const auto* rec = reinterpret_cast<const uint8_t*>(pass.old.data());
  for (const auto& codec : self.codecs_)
    if (codec) pass.keyChanges.push_back(Pass::KeyChange{index, pos, codec.get(), codec->Extract(rec), {}});
  self.Log(JournalEntry::kDelete, pos);
  sqlite3_result_int(ctx, 1);
}

// The new image of one record, as Update checks it; its changed keys are noted for later.
Status SqliteStore::PatchOne(Pass& pass, size_t index, uint32_t pos) {
  if (pass.old.size() < def_.recordLength) return kIoError;  // damage, as a read reports it
  pass.record.assign(pass.old);
  (*pass.patch)(index, pass.record);
  const auto* before = reinterpret_cast<const uint8_t*>(pass.old.data());
  const auto* after = reinterpret_cast<const uint8_t*>(pass.record.data());
  const size_t changesBefore = pass.keyChanges.size();
  for (const auto& codec : codecs_) {
    // Most updates leave most keys alone: compared in place, without copies.
    if (!codec || codec->SameIn(before, after)) continue;
    Bytes from = codec->Extract(before), to = codec->Extract(after);
    if (!codec->Key().Modifiable()) {
      pass.keyChanges.resize(changesBefore);
      return kKeyNotModifiable;
    }
    pass.keyChanges.push_back(
        Pass::KeyChange{index, pos, codec.get(), std::move(from), std::move(to)});
  }
  Log(JournalEntry::kUpdate, pos);
  return kOk;
}

bool SqliteStore::PrepareFunctions() {
  if (functions_) return true;
  const int flags = SQLITE_UTF8 | SQLITE_DIRECTONLY;
  functions_ = sqlite3_create_function_v2(db_.Handle(), "vader_patch", 2, flags, this, &PatchRow,
                                          nullptr, nullptr, nullptr) == SQLITE_OK &&
               sqlite3_create_function_v2(db_.Handle(), "vader_take", 2, flags, this, &TakeRow,
                                          nullptr, nullptr, nullptr) == SQLITE_OK &&
               sqlite3_create_function_v2(db_.Handle(), "vader_hand", 2, flags, this, &HandRow,
                                          nullptr, nullptr, nullptr) == SQLITE_OK;
  return functions_;
}

// Sorts the entries by position; false when the passes cannot do them (a position twice, an
// autoincrement key to fill in), and the general way must.
bool SqliteStore::StartPass(Pass& pass, const std::vector<uint32_t>& positions) {
  pass.seen.assign(positions.size(), false);
  for (size_t i = 0; i < positions.size(); ++i) pass.byPosition.emplace_back(positions[i], i);
  // A statement's batches come in physical order as a rule.
  if (!std::is_sorted(pass.byPosition.begin(), pass.byPosition.end()))
    std::sort(pass.byPosition.begin(), pass.byPosition.end());
  const auto samePosition = [](const auto& a, const auto& b) { return a.first == b.first; };
  if (std::adjacent_find(pass.byPosition.begin(), pass.byPosition.end(), samePosition) !=
      pass.byPosition.end())
    return false;
  for (const auto& codec : codecs_)
    if (codec && codec->Key().AutoIncrement()) return false;
  return PrepareFunctions();
}

// One statement per run of consecutive positions; false with `status` when one failed.
bool SqliteStore::RunPasses(Pass& pass, PhysStmt which, Status& status) {
  Statement& s = PhysStatement(which);
  const auto& entries = pass.byPosition;
  pass_ = &pass;
  status = kOk;
  for (size_t i = 0; i < entries.size();) {
    size_t j = i;
    while (j + 1 < entries.size() && entries[j + 1].first == entries[j].first + 1) ++j;
    StatementScope scope(s);
    s.Bind(1, static_cast<int64_t>(entries[i].first)).Bind(2, static_cast<int64_t>(entries[j].first));
    if ((status = SqlStatus(s.Step())) != kOk) break;
    i = j + 1;
  }
  pass_ = nullptr;
  return status == kOk;
}

// An entry whose record the pass did not meet fails as a read of it would.
void SqliteStore::MissingToFailure(Pass& pass) {
  for (size_t i = 0; i < pass.seen.size() && i < pass.firstFailure; ++i)
    if (!pass.seen[i]) pass.Fail(i, kInvalidRecordAddress);
}

// The key entries of the records whose keys changed or went, entry by entry as Update or
// Delete would change them, up to the first entry that failed in the pass.
Status SqliteStore::ChangeKeysAfterPass(Pass& pass, size_t& failed) {
  MissingToFailure(pass);
  std::stable_sort(pass.keyChanges.begin(), pass.keyChanges.end(),
                   [](const Pass::KeyChange& a, const Pass::KeyChange& b) { return a.index < b.index; });
  Bytes unusedEntry;
  for (const Pass::KeyChange& k : pass.keyChanges) {
    if (k.index >= pass.firstFailure) break;
    failed = k.index;
    if (Status s = RemoveEntry(*k.codec, k.before, k.pos); s != kOk) return s;
    if (k.after.empty()) continue;
    if (Status s = AddEntry(*k.codec, k.after, k.pos, unusedEntry); s != kOk) return s;
  }
  failed = pass.firstFailure;
  return pass.failure;
}

Status SqliteStore::UpdateRecords(const std::vector<uint32_t>& positions, const Patch& patch,
                                  size_t& failed) {
  Pass pass;
  pass.patch = &patch;
  if (!StartPass(pass, positions)) return FileStore::UpdateRecords(positions, patch, failed);
  Status status = kOk;
  failed = 0;
  if (!RunPasses(pass, kPPatchRun, status)) return status;
  return ChangeKeysAfterPass(pass, failed);
}

Status SqliteStore::DeleteRecords(const std::vector<uint32_t>& positions, size_t& failed) {
  Pass pass;
  if (!StartPass(pass, positions)) return FileStore::DeleteRecords(positions, failed);
  Status status = kOk;
  failed = 0;
  if (!RunPasses(pass, kPTakeRun, status)) return status;
  if (Status s = ChangeKeysAfterPass(pass, failed); s != kOk) return s;
  return AddToCount(-1, -static_cast<int64_t>(positions.size()), 0);
}

void SqliteStore::Log(JournalEntry::Kind kind, uint32_t pos) {
  if (txnOpen_) pending_.push_back(Written{pos, kind == JournalEntry::kInsert});
}

// Every record the transaction wrote that existed before it is deleted, then every one that
// exists now is inserted as it stands: replayed on the file as it was before the transaction,
// this makes the file as the transaction leaves it, and no step meets a unique key value that a
// later write of the transaction moved away.
Status SqliteStore::JournalEntries(std::vector<JournalEntry>& out) {
  std::vector<Written> written = txnLog_;
  std::stable_sort(written.begin(), written.end(),
                   [](const Written& a, const Written& b) { return a.pos < b.pos; });
  written.erase(std::unique(written.begin(), written.end(),
                            [](const Written& a, const Written& b) { return a.pos == b.pos; }),
                written.end());  // the first write of each record stays
  out.clear();
  for (const Written& w : written)
    if (!w.inserted) out.push_back(JournalEntry{JournalEntry::kDelete, w.pos, Bytes()});
  Bytes record;
  for (const Written& w : written) {
    const Status s = Read(w.pos, record);
    if (s == kInvalidRecordAddress) continue;  // deleted by the transaction
    if (s != kOk) return s;
    out.push_back(JournalEntry{JournalEntry::kInsert, w.pos, record});
  }
  return kOk;
}

Status SqliteStore::CountAll(int number, uint32_t& n) {
  uint32_t distinct = 0;
  if (hasCounts_) return StoredCount(number < 0 ? -1 : number, n, distinct);
  return RawCount(number, n);
}

Status SqliteStore::RawCount(int number, uint32_t& n) {
  Statement& s = number < 0 ? PhysStatement(kPCount) : KeyStatement(number, kKCount);
  StatementScope scope(s);
  if (s.Step() != SQLITE_ROW) return kIoError;
  n = static_cast<uint32_t>(s.Int(0));
  return kOk;
}

Status SqliteStore::CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) {
  Statement& s = number < 0 ? PhysStatement(kPCountBelow) : KeyStatement(number, kKCountBelow);
  StatementScope scope(s);
  if (number < 0)
    s.Bind(1, static_cast<int64_t>(pos));
  else
    s.Bind(1, entry);
  if (s.Step() != SQLITE_ROW) return kIoError;
  n = static_cast<uint32_t>(s.Int(0));
  return kOk;
}

Status SqliteStore::NthRow(int number, uint32_t rank, Row& row) {
  Statement& s = number < 0 ? PhysStatement(kPNth) : KeyStatement(number, kKNth);
  StatementScope scope(s);
  s.Bind(1, static_cast<int64_t>(rank));
  return ReadRow(s, number >= 0, row);
}

Status SqliteStore::CountUniqueValues(int number, uint32_t& n) {
  if (!codecs_[number]->Key().Duplicates()) return RawCount(number, n);
  Statement& s = KeyStatement(number, kKDistinct);
  StatementScope scope(s);
  if (s.Step() != SQLITE_ROW) return kIoError;
  n = static_cast<uint32_t>(s.Int(0));
  return kOk;
}

bool SqliteStore::CountTableExists() {
  Statement s(db_.Handle(),
              "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'vader_counts'");
  return s.Step() == SQLITE_ROW;
}

Status SqliteStore::EnsureCounts() {
  if (hasCounts_ || (hasCounts_ = CountTableExists())) return kOk;
  if (const int rc = db_.Exec(kCountTable); rc != SQLITE_OK) return SqlStatus(rc);
  Statement insert(db_.Handle(), "INSERT INTO vader_counts VALUES(?1, ?2, ?3)");
  auto add = [&](int key, uint32_t entries, uint32_t distinct) {
    StatementScope scope(insert);
    insert.Bind(1, int64_t{key}).Bind(2, int64_t{entries}).Bind(3, int64_t{distinct});
    return SqlStatus(insert.Step());
  };
  uint32_t records = 0;
  Status st = RawCount(-1, records);
  if (st == kOk) st = Exec(kPRecordChangeClear);
  if (st == kOk) st = add(-1, records, 0);
  for (const KeyDef& k : def_.keys) {
    uint32_t entries = 0, distinct = 0;
    if (st == kOk) st = RawCount(k.number, entries);
    if (st == kOk) st = CountUniqueValues(k.number, distinct);
    if (st == kOk) st = add(k.number, entries, distinct);
  }
  if (st != kOk) return st;
  hasCounts_ = countsBuiltInWrite_ = true;
  return kOk;
}

void SqliteStore::TryBuildCounts() {
  if ((hasCounts_ = CountTableExists())) return;
  // Only when nobody writes now: the file opens at once, and the first write builds it else.
  db_.SetBusyTimeout(0);
  if (Exec(kPBegin) == kOk) {
    const bool built = EnsureCounts() == kOk && Exec(kPCommit) == kOk;
    if (!built) Exec(kPRollback);
    WriteEnded(built);
  }
  db_.SetBusyTimeout(LockWaitMilliseconds());
}

void SqliteStore::WriteEnded(bool committed) {
  // A count table that a rolled-back write created is gone again.
  if (!committed && countsBuiltInWrite_) hasCounts_ = false;
  countsBuiltInWrite_ = false;
}

const KeyCodec* SqliteStore::CodecOf(int key) const {
  return key >= 0 && static_cast<size_t>(key) < codecs_.size() ? codecs_[key].get() : nullptr;
}

bool SqliteStore::EntriesFollowRecords(int key) const {
  const KeyCodec* codec = CodecOf(key);
  return codec && !(codec->Key().Flags() & (kKeyNullAll | kKeyNullAny));
}

bool SqliteStore::ValuesFollowEntries(int key) const {
  const KeyCodec* codec = CodecOf(key);
  return codec && !codec->Key().Duplicates();
}

Status SqliteStore::AddToCount(int key, int64_t entries, int64_t distinct) {
  if (!hasCounts_) return kOk;
  if (key < 0) {
    Statement& s = PhysStatement(kPRecordChangeAdd);
    StatementScope scope(s);
    s.Bind(1, entries);
    return SqlStatus(s.Step());
  }
  if (EntriesFollowRecords(key)) entries = 0;
  if (ValuesFollowEntries(key)) distinct = 0;
  if (key >= 0 && entries == 0 && distinct == 0) return kOk;
  Statement& s = PhysStatement(kPCountAdd);
  StatementScope scope(s);
  s.Bind(1, int64_t{key}).Bind(2, entries).Bind(3, distinct);
  return SqlStatus(s.Step());
}

Status SqliteStore::StoredCount(int key, uint32_t& entries, uint32_t& distinct) {
  if (key < 0) return StoredRow(key, entries, distinct);
  uint32_t records = 0, unused = 0;
  if (Status s = StoredRow(-1, records, unused); s != kOk) return s;
  return KeyCounts(key, records, entries, distinct);
}

Status SqliteStore::KeyCounts(int key, uint32_t records, uint32_t& entries, uint32_t& distinct) {
  const bool entriesFollow = EntriesFollowRecords(key), valuesFollow = ValuesFollowEntries(key);
  if (!entriesFollow || !valuesFollow)
    if (Status s = StoredRow(key, entries, distinct); s != kOk) return s;
  if (entriesFollow) entries = records;
  if (valuesFollow) distinct = entries;
  return kOk;
}

Status SqliteStore::StoredRow(int key, uint32_t& entries, uint32_t& distinct) {
  {
    Statement& s = PhysStatement(kPCountOf);
    StatementScope scope(s);
    s.Bind(1, int64_t{key});
    const int rc = s.Step();
    if (rc == SQLITE_ROW) {
      entries = static_cast<uint32_t>(s.Int(0));
      distinct = static_cast<uint32_t>(s.Int(1));
      return key < 0 ? AddRecordChange(entries) : kOk;
    }
    if (rc != SQLITE_DONE) return SqlStatus(rc);
  }
  // A key without its row (damage) is counted instead.
  if (Status s = RawCount(key, entries); s != kOk || key < 0) return s;
  return CountUniqueValues(key, distinct);
}

Status SqliteStore::AddRecordChange(uint32_t& records) {
  Statement& s = PhysStatement(kPRecordChange);
  StatementScope scope(s);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return kOk;
  if (rc != SQLITE_ROW) return SqlStatus(rc);
  const int64_t total = int64_t{records} + s.Int(0);
  if (total < 0 || total > UINT32_MAX) return kIoError;  // damage
  records = static_cast<uint32_t>(total);
  return kOk;
}

Status SqliteStore::StatCountsFor(StatCounts& out) {
  if (!hasCounts_) hasCounts_ = CountTableExists();
  if (!hasCounts_) return ComputeStatCounts(out);
  StatCounts counts;
  uint32_t unused = 0;
  if (Status s = StoredRow(-1, counts.records, unused); s != kOk) return s;
  for (const KeyDef& k : def_.keys) {
    uint32_t distinct = 0;
    if (Status s = KeyCounts(k.number, counts.records, unused, distinct); s != kOk) return s;
    counts.uniqueValues.push_back(distinct);
  }
  out = std::move(counts);
  return kOk;
}

Status SqliteStore::ComputeStatCounts(StatCounts& out) {
  Statement& version = PhysStatement(kPDataVersion);
  int64_t dataVersion = -1;
  {
    StatementScope scope(version);
    if (version.Step() == SQLITE_ROW) dataVersion = version.Int(0);
  }
  CachedCounts& cache = statCache_;
  if (cache.valid && cache.dataVersion == dataVersion && cache.localWrites == localWrites_ &&
      cache.counts.uniqueValues.size() == def_.keys.size()) {
    out = cache.counts;
    return kOk;
  }
  StatCounts counts;
  if (Status s = RawCount(-1, counts.records); s != kOk) return s;
  for (const KeyDef& k : def_.keys) {
    uint32_t n = 0;
    if (Status s = CountUniqueValues(k.number, n); s != kOk) return s;
    counts.uniqueValues.push_back(n);
  }
  cache = CachedCounts{true, dataVersion, localWrites_, counts};
  out = std::move(counts);
  return kOk;
}

Status SqliteStore::SaveDefinition(const FileDefinition& def) {
  Statement s(db_.Handle(), "UPDATE vader_file SET definition = ?1, owner = ?2, owner_level = ?3");
  s.Bind(1, def.Serialize()).Bind(2, owner_.name).Bind(3, static_cast<int64_t>(owner_.level));
  return SqlStatus(s.Step());
}

Status SqliteStore::AddIndex(const FileDefinition& next, int number) {
  const KeyDef* key = next.FindKey(number);
  if (!key) return kInvalidKeyNumber;
  const KeyCodec codec(*key, next);
  if (Status s = BeginWrite(false, false); s != kOk) return s;
  Status st = SqlStatus(db_.Exec("CREATE TABLE " + KeyTable(number) +
                                 "(k BLOB PRIMARY KEY, pos INTEGER NOT NULL) WITHOUT ROWID"));
  // The new key's counts grow with its entries below.
  if (st == kOk && hasCounts_)
    st = SqlStatus(db_.Exec("INSERT OR REPLACE INTO vader_counts VALUES(" +
                            std::to_string(number) + ", 0, 0)"));
  if (st == kOk) st = SaveDefinition(next);
  if (st == kOk) {
    // The new table is reached through a codec of the new definition.
    def_ = next;
    if (codecs_.size() <= static_cast<size_t>(number)) {
      codecs_.resize(number + 1u);
      keyStmts_.resize(number + 1u);
    }
    codecs_[number] = std::make_unique<KeyCodec>(*key, def_);
    Statement scan(db_.Handle(),
                   "SELECT pos, data FROM records WHERE " VADER_BELOW_COUNT_ROW " ORDER BY pos");
    Bytes entry;
    while (st == kOk && scan.Step() == SQLITE_ROW) {
      const Bytes data = scan.Blob(1);
      if (data.size() < def_.recordLength) {
        st = kIoError;
        break;
      }
      st = AddEntry(*codecs_[number],
                    codecs_[number]->Extract(reinterpret_cast<const uint8_t*>(data.data())),
                    static_cast<uint32_t>(scan.Int(0)), entry);
    }
  }
  ClearKeyStatements();
  EndWrite(st == kOk);
  ++*generation_;
  LoadDefinition();
  return st;
}

Status SqliteStore::DropIndex(int number, bool renumber) {
  FileDefinition next = def_;
  if (Status s = DropKey(number, renumber, next); s != kOk) return s;
  ClearKeyStatements();
  if (Status s = BeginWrite(false, false); s != kOk) return s;
  Status st = SqlStatus(db_.Exec("DROP TABLE " + KeyTable(number)));
  const std::string counts = "UPDATE vader_counts SET key = ";
  if (st == kOk && hasCounts_)
    st = SqlStatus(db_.Exec("DELETE FROM vader_counts WHERE key = " + std::to_string(number)));
  // In ascending order, so that each number is free when the next key takes it.
  if (renumber)
    for (const KeyDef& k : def_.keys)
      if (st == kOk && k.number > number) {
        st = SqlStatus(
            db_.Exec("ALTER TABLE " + KeyTable(k.number) + " RENAME TO " + KeyTable(k.number - 1)));
        if (st == kOk && hasCounts_)
          st = SqlStatus(db_.Exec(counts + std::to_string(k.number - 1) + " WHERE key = " +
                                  std::to_string(k.number)));
      }
  if (st == kOk) st = SaveDefinition(next);
  EndWrite(st == kOk);
  ++*generation_;
  LoadDefinition();
  return st;
}

Status SqliteStore::SetOwner(const OwnerInfo& owner) {
  const OwnerInfo previous = owner_;
  owner_ = owner;
  if (Status s = BeginWrite(false, false); s != kOk) {
    owner_ = previous;
    return s;
  }
  Status st = SaveDefinition(def_);
  EndWrite(st == kOk);
  if (st != kOk) owner_ = previous;
  ++*generation_;
  loadedGeneration_ = *generation_;
  return st;
}

}  // namespace vader::microkernel

namespace vader::microkernel {

Status SqliteStore::ReadLastTransaction(uint64_t& id) {
  Statement s(db_.Handle(), "SELECT last_txn FROM vader_file WHERE id = 1");
  if (s.Step() != SQLITE_ROW) return kIoError;
  id = static_cast<uint64_t>(s.Int(0));
  return kOk;
}

Status SqliteStore::WriteLastTransaction(uint64_t id) {
  Statement s(db_.Handle(), "UPDATE vader_file SET last_txn = ?1 WHERE id = 1");
  s.Bind(1, static_cast<int64_t>(id));
  return SqlStatus(s.Step());
}

Status SqliteStore::CommitAll(const std::vector<std::shared_ptr<FileStore>>& all) {
  if (all.size() == 1) return all.front()->EndTransaction(true);
  std::vector<SqliteStore*> stores;
  for (const auto& store : all) stores.push_back(static_cast<SqliteStore*>(store.get()));
  Journal journal;
  std::random_device random;
  journal.id = (static_cast<uint64_t>(random()) << 32 | random()) & 0x7FFFFFFFFFFFFFFFull;
  if (journal.id == 0) journal.id = 1;
  for (const auto& store : stores) journal.participants.push_back(store->path_);
  // Every journal complete on disk is the commit decision; a failure before it aborts.
  Status unjournaled = kOk;  // why a journal could not be written
  for (const auto& store : stores) {
    if (unjournaled != kOk) break;
    unjournaled = store->JournalEntries(journal.entries);
    if (unjournaled == kOk) unjournaled = store->WriteLastTransaction(journal.id);
    if (unjournaled == kOk && !WriteJournal(store->path_, journal))
      unjournaled = errno == ENOSPC ? kDiskFull : kIoError;
  }
  const bool journaled = unjournaled == kOk;
  Status result = kOk;
  for (const auto& store : stores) {
    const Status s = store->EndTransaction(journaled);
    if (result == kOk) result = s;
  }
  if (result == kOk || !journaled)
    for (const auto& store : stores) RemoveJournal(store->path_);
  return journaled ? result : unjournaled;
}

Status SqliteStore::Replay(const JournalEntry& entry) {
  Bytes old;
  if (entry.kind != JournalEntry::kInsert)
    if (Status s = Read(entry.pos, old); s != kOk) return s;
  Bytes record = entry.record, unusedEntry;
  switch (entry.kind) {
    case JournalEntry::kInsert: {
      Statement s(db_.Handle(), "INSERT INTO records(pos, data) VALUES(?1, ?2)");
      s.Bind(1, static_cast<int64_t>(entry.pos)).Bind(2, record);
      if (Status st = SqlStatus(s.Step()); st != kOk) return st;
      if (Status st = AddToCount(-1, 1, 0); st != kOk) return st;
      for (const auto& codec : codecs_)
        if (codec)
          if (Status st =
                  AddEntry(*codec, codec->Extract(reinterpret_cast<const uint8_t*>(record.data())),
                           entry.pos, unusedEntry);
              st != kOk)
            return st;
      return kOk;
    }
    case JournalEntry::kUpdate:
      return Update(entry.pos, old, record, -1, unusedEntry);
    default:
      return Delete(entry.pos, old);
  }
}

void SqliteStore::Recover(const std::string& path) {
  Journal journal;
  if (!ReadJournal(path, journal)) journal.participants = {path};
  std::vector<std::unique_ptr<SqliteStore>> stores;
  for (const std::string& p : journal.participants) {
    std::unique_ptr<SqliteStore> store;
    if (Open(p, store, false) != kOk) continue;
    store->db_.SetBusyTimeout(0);
    // A participant still locked belongs to a live commit: leave everything to it.
    if (store->Exec(kPBegin) != kOk || store->EnsureCounts() != kOk) {
      store->Exec(kPRollback);
      for (auto& locked : stores) locked->Exec(kPRollback);
      return;
    }
    stores.push_back(std::move(store));
  }
  // All journals complete: the commit was decided, so files that missed it replay their
  // writes. Otherwise either nothing or everything committed: only the journals go.
  const bool decided = journal.id != 0 && CommitDecided(journal);
  for (auto& store : stores) {
    Journal own;
    uint64_t last = 0;
    bool ok = true;
    if (decided && ReadJournal(store->path_, own) && store->ReadLastTransaction(last) == kOk &&
        last != journal.id) {
      for (const JournalEntry& e : own.entries) ok = ok && store->Replay(e) == kOk;
      ok = ok && store->WriteLastTransaction(journal.id) == kOk;
    }
    store->Exec(ok ? kPCommit : kPRollback);
  }
  for (const std::string& p : journal.participants) RemoveJournal(p);
}

}  // namespace vader::microkernel
