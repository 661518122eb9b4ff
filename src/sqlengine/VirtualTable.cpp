// The SQLite virtual-table module "btrieve": one table of the dictionary, its rows read and
// written through the record manager with the session's client identifier. Equality and range
// constraints on the leading field of a key are answered by Get Equal / Greater / Less on that
// key and stepping along it; the constraint is still checked by SQLite, so the key only has to
// deliver every matching row, in key order. A scan without such constraints reads the physical
// order unless the statement wants the rows in the order of the first key. Where the record
// manager can hand the records over straight from the file's storage (RecordScan.h), the rows
// come that way; elsewhere through Get / Step Next Extended.

#include <cstring>
#include <string>
#include <vector>

#include "microkernel/RecordScan.h"
#include "sqlengine/Session.h"
#include "sqlengine/ValueCheck.h"
#include "sqlengine/WriteBatch.h"

namespace vader::sqlengine {
namespace {

constexpr int8_t kNormalMode = 0;

struct Vtab {
  sqlite3_vtab base{};
  Session* session = nullptr;
  Table* table = nullptr;
  std::vector<std::unique_ptr<BtrFile>> idle;  // open position blocks, reused by cursors
  std::vector<std::vector<uint8_t>> buffers;   // their record buffers, likewise
  std::unique_ptr<BtrFile> writer;
  std::vector<uint8_t> record;  // the writer's record buffer, kept across rows
  WriteBatch batch;  // updates and deletes waiting to go to the record manager as one call
  std::vector<uint16_t> assigned;  // the columns the row at hand assigns
  bool writing = false;  // in a write transaction: an UPDATE may leave columns unread
  bool fromStorage = true;      // until the record manager refuses a scan of the file

  int Fail(int16_t status) {
    session->ReportBtrieve(status);
    sqlite3_free(base.zErrMsg);
    base.zErrMsg = sqlite3_mprintf("record manager status %d on %s", status, table->name.c_str());
    return SQLITE_ERROR;
  }
  // A value the column does not accept: the statement fails with the status, nothing is written.
  int Refuse(int16_t status, const Column& column) {
    session->ReportBtrieve(status);
    sqlite3_free(base.zErrMsg);
    base.zErrMsg = sqlite3_mprintf("status %d: the value does not fit the column %s of %s", status,
                                   column.name.c_str(), table->name.c_str());
    return SQLITE_ERROR;
  }
  // An open position block of the table's file (the layout is read on the first open).
  int16_t Take(std::unique_ptr<BtrFile>& file) {
    if (!idle.empty()) {
      file = std::move(idle.back());
      idle.pop_back();
      return 0;
    }
    file = std::make_unique<BtrFile>(session->Client());
    int16_t s = file->Open(table->path, session->Owners(), kNormalMode);
    if (s == 0) s = table->LoadLayout(*file);
    if (s != 0) file.reset();
    return s;
  }
};

// Constraint operators as the plan string spells them; a full scan wanted in the first key's
// order says so instead.
enum PlanOp : char { kEq = '=', kGt = '>', kGe = ']', kLt = '<', kLe = '[', kKeyOrder = 'O' };

// Rows come in batches of Get / Step Next Extended (each record with its position), so a scan
// costs one call of the record manager per batch instead of one or two per row; the batch
// grows as the scan goes on. A plain Get Next per row remains for files where the extended
// read is refused.
constexpr size_t kBatchBuffer = 65535;
constexpr uint16_t kFirstBatch = 8;
constexpr uint16_t kLargestBatch = 1024;
constexpr size_t kExtendedHeader = 6;  // length (2) and position (4) before each record

struct Cursor;

// Fills a cursor's batch with the records of a scan, in the layout of an extended read's
// answer, as long as they are within the scan's range and fit.
class BatchSink final : public RecordSink {
 public:
  explicit BatchSink(Cursor& c) : c_(c) {}
  bool Take(uint32_t position, const uint8_t* data, uint32_t length) override;

 private:
  Cursor& c_;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  Vtab* vt = nullptr;
  std::unique_ptr<BtrFile> file;
  std::vector<uint8_t> buffer;
  uint8_t key[kKeyBufferSize] = {};
  int keyNumber = -1;  // -1: physical order
  const Key* plan = nullptr;
  bool eof = true;
  bool hasUpper = false, upperStrict = false, hasEqual = false;
  Value upper, equal;
  // The current record.
  const uint8_t* row = nullptr;
  uint32_t length = 0;
  int64_t position = -1;  // -1: not known (ask the record manager)
  // The batch.
  bool extended = true;
  uint16_t batchSize = kFirstBatch;
  uint16_t inBatch = 0, next = 0;
  int16_t batchStatus = 0;  // the status that ended the last batch
  size_t extract = 0;       // bytes of each record in a batch
  // A filter term on the key's first segment that ends the batch at the range's end.
  std::vector<uint8_t> term;
  // Scans straight from the storage.
  bool fromStorage = false;
  bool pastRange = false;  // the scan reached a record past the range
  BatchSink sink{*this};
};

constexpr int16_t kBtrRejectLimit = 60;
constexpr int16_t kBtrInvalidOperation = 1, kBtrInvalidDescriptor = 62, kBtrInvalidExtractor = 65,
                  kBtrDataMessageTooSmall = 97;
constexpr uint8_t kTermEqual = 1, kTermLess = 3, kTermLessEqual = 6;

// Whether a key can answer constraints on its first segment and deliver rows in the order
// SQL compares that column.
bool UsableKey(const Table& t, const Key& k) {
  if (k.nullable || k.segments.empty()) return false;
  const KeySegment& first = k.segments[0];
  if (first.column < 0 || first.length > kKeyBufferSize ||
      (first.flags & (kKeyAcs | kKeyDescending | kKeyNoCase)) || t.columns[first.column].noCase)
    return false;
  const uint8_t type = t.columns[first.column].format.type;
  switch (type) {
    case kString: case kZString: case kInteger: case kUnsigned: case kAutoIncrement:
    case kFloat: case kDate: case kTime: case kDecimal: case kMoney: case kCurrency:
    case kLogical:
      break;
    default:
      return false;
  }
  uint8_t scratch[256];
  for (size_t i = 1; i < k.segments.size(); ++i) {
    const KeySegment& s = k.segments[i];
    if ((s.flags & kKeyAcs) || s.length > sizeof scratch ||
        !Extreme(FieldFormat{s.type, s.length, 0}, true, scratch))
      return false;
  }
  return true;
}

bool NumericDomain(uint8_t type) { return type != kString && type != kZString && type != kDate && type != kTime; }

// The constraint value in the column's domain, or nothing when it cannot be compared there.
// Only values the field holds exactly qualify (not 2.5 for an integer, nor a number beyond
// its bytes, nor a malformed date): the key image must order as the value does.
bool ToDomain(const Column& c, sqlite3_value* v, Value& out) {
  const int t = sqlite3_value_type(v);
  if (NumericDomain(c.format.type)) {
    if (t == SQLITE_INTEGER) out = Value::Integer(sqlite3_value_int64(v));
    else if (t == SQLITE_FLOAT) out = Value::Float(sqlite3_value_double(v));
    else return false;
  } else {
    if (t != SQLITE_TEXT) return false;
    out = Value::String(reinterpret_cast<const char*>(sqlite3_value_text(v)));
  }
  return Representable(c.format, out);
}

int Create(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
  auto* session = static_cast<Session*>(aux);
  std::string arg = argc > 3 ? argv[3] : "";
  if (arg.size() >= 2 && arg.front() == '\'' && arg.back() == '\'') {
    arg = arg.substr(1, arg.size() - 2);
    for (size_t p = 0; (p = arg.find("''", p)) != std::string::npos; ++p) arg.erase(p, 1);
  }
  Table* table = session->FindTable(arg);
  if (!table) {
    *err = sqlite3_mprintf("no such dictionary table");
    return SQLITE_ERROR;
  }
  std::string ddl = "CREATE TABLE x(";
  for (size_t i = 0; i < table->columns.size(); ++i) {
    std::string name = table->columns[i].name;
    for (size_t p = 0; (p = name.find('"', p)) != std::string::npos; p += 2) name.insert(p, "\"");
    const char* type = SqlType(table->columns[i].format);
    ddl += (i ? ", \"" : "\"") + name + "\" " + type;
    // Texts of a case-insensitive column compare, sort and group as its key orders them.
    if (table->columns[i].noCase && std::strcmp(type, "TEXT") == 0) ddl += " COLLATE NOCASE";
  }
  ddl += table->columns.empty() ? "\"_\" BLOB)" : ")";
  if (int rc = sqlite3_declare_vtab(db, ddl.c_str()); rc != SQLITE_OK) return rc;
  auto* vt = new Vtab;
  vt->session = session;
  vt->table = table;
  *out = &vt->base;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* base) {
  delete reinterpret_cast<Vtab*>(base);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  auto* vt = reinterpret_cast<Vtab*>(base);
  Table& t = *vt->table;
  if (!t.layoutKnown) {
    std::unique_ptr<BtrFile> f;
    if (vt->Take(f) == 0) vt->idle.push_back(std::move(f));
  }
  int bestKey = -1, bestEq = -1, bestLo = -1, bestHi = -1;
  double bestCost = 1e7;
  for (size_t k = 0; k < t.keys.size(); ++k) {
    const Key& key = t.keys[k];
    if (!UsableKey(t, key)) continue;
    const int col = key.segments[0].column;
    int eq = -1, lo = -1, hi = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
      const auto& c = info->aConstraint[i];
      if (!c.usable || c.iColumn != col) continue;
      if (c.op == SQLITE_INDEX_CONSTRAINT_EQ) eq = i;
      else if (c.op == SQLITE_INDEX_CONSTRAINT_GT || c.op == SQLITE_INDEX_CONSTRAINT_GE) lo = i;
      else if (c.op == SQLITE_INDEX_CONSTRAINT_LT || c.op == SQLITE_INDEX_CONSTRAINT_LE) hi = i;
    }
    double cost = 1e6;
    if (eq >= 0) cost = key.unique && key.segments.size() == 1 ? 1 : 20;
    else if (lo >= 0 && hi >= 0) cost = 5e4;
    else if (lo >= 0 || hi >= 0) cost = 2e5;
    else continue;
    if (cost < bestCost) {
      bestCost = cost, bestKey = static_cast<int>(k);
      bestEq = eq, bestLo = eq >= 0 ? -1 : lo, bestHi = eq >= 0 ? -1 : hi;
    }
  }
  std::string plan;
  int orderColumn = -1;
  if (bestKey >= 0) {
    int arg = 1;
    for (int i : {bestEq, bestLo, bestHi}) {
      if (i < 0) continue;
      const auto op = info->aConstraint[i].op;
      plan += op == SQLITE_INDEX_CONSTRAINT_EQ ? kEq : op == SQLITE_INDEX_CONSTRAINT_GT ? kGt
              : op == SQLITE_INDEX_CONSTRAINT_GE ? kGe : op == SQLITE_INDEX_CONSTRAINT_LT ? kLt : kLe;
      info->aConstraintUsage[i].argvIndex = arg++;
    }
    info->idxNum = bestKey + 1;
    info->estimatedCost = bestCost;
    info->estimatedRows = static_cast<sqlite3_int64>(bestCost);
    if (bestCost == 1) info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    orderColumn = t.keys[bestKey].segments[0].column;
  } else {
    info->idxNum = 0;
    info->estimatedCost = 1e6;
    info->estimatedRows = 1000000;
    if (!t.keys.empty() && UsableKey(t, t.keys[0])) orderColumn = t.keys[0].segments[0].column;
  }
  if (info->nOrderBy == 1 && orderColumn >= 0 && info->aOrderBy[0].iColumn == orderColumn &&
      !info->aOrderBy[0].desc) {
    info->orderByConsumed = 1;
    if (bestKey < 0) plan = kKeyOrder;
  }
  info->idxStr = sqlite3_mprintf("%s", plan.c_str());
  info->needToFreeIdxStr = 1;
  return SQLITE_OK;
}

int Open(sqlite3_vtab* base, sqlite3_vtab_cursor** out) {
  auto* vt = reinterpret_cast<Vtab*>(base);
  auto* c = new Cursor;
  c->vt = vt;
  if (vt->buffers.empty()) {
    c->buffer.resize(kBatchBuffer);
  } else {
    c->buffer = std::move(vt->buffers.back());
    vt->buffers.pop_back();
  }
  if (int16_t s = vt->Take(c->file); s != 0) {
    delete c;
    return vt->Fail(s);
  }
  *out = &c->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<Cursor*>(base);
  if (c->file) c->vt->idle.push_back(std::move(c->file));
  c->vt->buffers.push_back(std::move(c->buffer));
  delete c;
  return SQLITE_OK;
}

// Whether a record of the scan lies past the range its constraints give the key's first field.
bool PastRange(const Cursor& c, const uint8_t* row, size_t length) {
  if (!c.plan || !(c.hasEqual || c.hasUpper)) return false;
  const Column& col = c.vt->table->columns[c.plan->segments[0].column];
  const size_t avail = length > col.offset ? length - col.offset : 0;
  const Value v = Decode(col.format, row + col.offset, avail);
  if (v.kind == Value::Null) return false;
  if (c.hasEqual && Compare(v, c.equal) != 0) return true;
  if (!c.hasUpper) return false;
  const int cmp = Compare(v, c.upper);
  return cmp > 0 || (cmp == 0 && c.upperStrict);
}

// Checks the stop conditions after a read; sets eof.
int Settle(Cursor& c, int16_t status) {
  if (status == kBtrEndOfFile || status == kBtrKeyNotFound) {
    c.eof = true;
    return SQLITE_OK;
  }
  if (status != 0) return c.vt->Fail(status);
  c.eof = c.plan && PastRange(c, c.row, c.length);
  return SQLITE_OK;
}

bool BatchSink::Take(uint32_t position, const uint8_t* data, uint32_t length) {
  Cursor& c = c_;
  if (c.plan && PastRange(c, data, length)) {
    c.pastRange = true;
    return false;
  }
  const size_t stride = kExtendedHeader + c.extract;
  uint8_t* at = c.buffer.data() + 2 + size_t{c.inBatch} * stride;
  const auto extract = static_cast<uint16_t>(c.extract);
  std::memcpy(at, &extract, 2);
  std::memcpy(at + 2, &position, 4);
  // As an extended read extracts them: the record's bytes, zeros past a shorter record.
  const size_t n = std::min<size_t>(length, c.extract);
  std::memcpy(at + kExtendedHeader, data, n);
  if (n < c.extract) std::memset(at + kExtendedHeader + n, 0, c.extract - n);
  ++c.inBatch;
  return c.inBatch < c.batchSize && 2 + (size_t{c.inBatch} + 1) * stride <= c.buffer.size();
}

// The next batch straight from the storage, the scan starting at `start` or going on.
int16_t ScanBatch(Cursor& c, int8_t start) {
  c.inBatch = c.next = 0;
  const int16_t s = c.file->Scan(static_cast<int8_t>(c.keyNumber), start, c.key, c.sink);
  if (s != 0 && s != kBtrEndOfFile) return s;
  c.batchStatus = s == kBtrEndOfFile || c.pastRange ? kBtrEndOfFile : 0;
  c.batchSize = static_cast<uint16_t>(std::min<int>(c.batchSize * 4, kLargestBatch));
  return 0;
}

// A single record into the buffer (also the call that positions a scan).
int16_t Read(Cursor& c, uint16_t op) {
  uint32_t len = static_cast<uint32_t>(c.buffer.size());
  const int16_t s = c.file->Call(op, c.buffer.data(), len, c.key, static_cast<int8_t>(c.keyNumber));
  c.row = c.buffer.data();
  c.length = len;
  c.position = -1;
  c.inBatch = c.next = 0;
  return s;
}

// The next batch after the current record.
int16_t ReadBatch(Cursor& c) {
  if (c.fromStorage) return ScanBatch(c, kScanContinue);
  const size_t room = (c.buffer.size() - 2) / (kExtendedHeader + c.extract);
  const auto count = static_cast<uint16_t>(std::min<size_t>(c.batchSize, room));
  uint8_t* d = c.buffer.data();
  const auto total = static_cast<uint16_t>(16 + c.term.size());
  std::memcpy(d, &total, 2);
  std::memcpy(d + 2, "UC", 2);
  // With a term the first record past the range stops the read (reject limit 1).
  const uint16_t reject = c.term.empty() ? 0 : 1, terms = c.term.empty() ? 0 : 1;
  const uint16_t fields = 1, offset = 0;
  const auto extract = static_cast<uint16_t>(c.extract);
  std::memcpy(d + 4, &reject, 2), std::memcpy(d + 6, &terms, 2);
  if (!c.term.empty()) std::memcpy(d + 8, c.term.data(), c.term.size());
  uint8_t* tail = d + 8 + c.term.size();
  std::memcpy(tail, &count, 2), std::memcpy(tail + 2, &fields, 2);
  std::memcpy(tail + 4, &extract, 2), std::memcpy(tail + 6, &offset, 2);
  uint32_t len = static_cast<uint32_t>(c.buffer.size());
  const uint16_t op = c.keyNumber < 0 ? kOpStepNextExtended : kOpGetNextExtended;
  const int16_t s = c.file->Call(op, d, len, c.key, static_cast<int8_t>(c.keyNumber));
  c.inBatch = c.next = 0;
  if (s != 0 && s != kBtrEndOfFile && s != kBtrRejectLimit) return s;
  c.inBatch = len >= 2 ? static_cast<uint16_t>(d[0] | d[1] << 8) : 0;
  if (2 + size_t{c.inBatch} * (kExtendedHeader + c.extract) > len) c.inBatch = 0;
  c.batchStatus = s == 0 ? 0 : kBtrEndOfFile;
  c.batchSize = static_cast<uint16_t>(std::min<int>(c.batchSize * 4, kLargestBatch));
  return 0;
}

// Statuses with which the record manager refuses an extended read it cannot do here (before
// moving): the scan goes on with plain reads.
bool ExtendedRefused(int16_t status) {
  return status == kBtrInvalidOperation || status == kBtrInvalidDescriptor ||
         status == kBtrInvalidExtractor || status == kBtrDataMessageTooSmall;
}

// Makes the batch's next record the current one.
inline void TakeFromBatch(Cursor& c) {
  const uint8_t* r = c.buffer.data() + 2 + size_t{c.next} * (kExtendedHeader + c.extract);
  c.length = static_cast<uint32_t>(c.extract);
  c.position = static_cast<int64_t>(r[2] | r[3] << 8 | r[4] << 16 | static_cast<uint32_t>(r[5]) << 24);
  c.row = r + kExtendedHeader;
  ++c.next;
}

// Moves to the next record of the batch, reading a batch when it is used up.
int16_t Advance(Cursor& c) {
  if (c.next >= c.inBatch) {
    if (c.batchStatus == kBtrEndOfFile) return kBtrEndOfFile;
    if (int16_t s = ReadBatch(c); s != 0) {
      if (c.fromStorage || !ExtendedRefused(s)) return s;
      c.extended = false;
      return Read(c, c.keyNumber < 0 ? kOpStepNext : kOpGetNext);
    }
    if (c.inBatch == 0) return kBtrEndOfFile;
  }
  TakeFromBatch(c);
  return 0;
}

// Where a scan from the storage starts for the positioning `op`.
int8_t ScanStartOf(uint16_t op) {
  switch (op) {
    case kOpGetGreater: return kScanGreater;
    case kOpGetGreaterEqual: return kScanGreaterEqual;
    default: return kScanFirst;
  }
}

// Starts a scan with the positioning `op`: the record it finds is the first row, and the
// batches follow it (a batch starting with it would read it again). From the storage, the
// first batch holds it.
int16_t Start(Cursor& c, uint16_t op) {
  c.batchSize = kFirstBatch;
  c.batchStatus = 0;
  c.pastRange = false;
  c.fromStorage = c.vt->fromStorage;
  if (c.fromStorage) {
    const int16_t s = ScanBatch(c, ScanStartOf(op));
    if (s != kBtrInvalidOperation) return s != 0 ? s : Advance(c);
    c.vt->fromStorage = c.fromStorage = false;
  }
  return Read(c, op);
}

int Filter(sqlite3_vtab_cursor* base, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(base);
  Table& t = *c->vt->table;
  c->plan = nullptr;
  c->hasEqual = c->hasUpper = false;
  c->keyNumber = -1;
  if (!t.keys.empty() && UsableKey(t, t.keys[0])) c->keyNumber = t.keys[0].number;
  std::memset(c->key, 0, sizeof c->key);
  c->extract = t.recordLength;
  for (const Column& col : t.columns) c->extract = std::max<size_t>(c->extract, col.offset + col.format.size);
  c->extract = std::min(c->extract, kBatchBuffer - 2 - kExtendedHeader);
  c->batchStatus = 0;
  c->term.clear();
  if (idxNum == 0 || idxNum > static_cast<int>(t.keys.size()) || !idxStr) {
    if (c->keyNumber < 0 || !idxStr || idxStr[0] != kKeyOrder) {
      c->keyNumber = -1;
      return Settle(*c, Start(*c, kOpStepFirst));
    }
    c->plan = &t.keys[0];
    return Settle(*c, Start(*c, kOpGetFirst));
  }
  const Key& key = t.keys[idxNum - 1];
  const Column& col = t.columns[key.segments[0].column];
  c->plan = &key;
  c->keyNumber = key.number;
  bool hasLower = false, lowerStrict = false;
  Value lower;
  for (int i = 0; i < argc && idxStr[i]; ++i) {
    Value v;
    if (!ToDomain(col, argv[i], v)) continue;  // SQLite's own check decides these rows
    switch (idxStr[i]) {
      case kEq: c->hasEqual = true, c->equal = v; break;
      case kGt: hasLower = true, lowerStrict = true, lower = v; break;
      case kGe: hasLower = true, lowerStrict = false, lower = v; break;
      case kLt: c->hasUpper = true, c->upperStrict = true, c->upper = v; break;
      case kLe: c->hasUpper = true, c->upperStrict = false, c->upper = v; break;
      default: break;
    }
  }
  if (c->hasEqual) hasLower = true, lowerStrict = false, lower = c->equal;
  c->term.clear();
  if (c->hasEqual || c->hasUpper) {
    const KeySegment& first = key.segments[0];
    c->term.resize(7 + first.length);
    c->term[0] = first.type;
    std::memcpy(&c->term[1], &first.length, 2);
    std::memcpy(&c->term[3], &first.offset, 2);
    c->term[5] = c->hasEqual ? kTermEqual : c->upperStrict ? kTermLess : kTermLessEqual;
    c->term[6] = 0;
    Encode(col.format, c->hasEqual ? c->equal : c->upper, &c->term[7]);
  }
  if (!hasLower) return Settle(*c, Start(*c, kOpGetFirst));
  // The key image: the value in the first segment, the rest the lowest (or, past a strict
  // bound, the highest) images, so Get Greater (or Equal) lands on the first candidate.
  size_t at = 0;
  Encode(col.format, lower, c->key);
  at += key.segments[0].length;
  for (size_t i = 1; i < key.segments.size() && at < sizeof c->key; ++i) {
    const KeySegment& s = key.segments[i];
    const bool descending = s.flags & kKeyDescending;
    if (at + s.length > sizeof c->key) break;
    Extreme(FieldFormat{s.type, s.length, 0}, lowerStrict != descending, c->key + at);
    at += s.length;
  }
  return Settle(*c, Start(*c, lowerStrict ? kOpGetGreater : kOpGetGreaterEqual));
}

int Next(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<Cursor*>(base);
  if (c->extended && c->next < c->inBatch) {  // the common case, without a call
    TakeFromBatch(*c);
    return Settle(*c, 0);
  }
  if (c->extended) return Settle(*c, Advance(*c));
  return Settle(*c, Read(*c, c->keyNumber < 0 ? kOpStepNext : kOpGetNext));
}

int Eof(sqlite3_vtab_cursor* base) { return reinterpret_cast<Cursor*>(base)->eof; }

void Result(sqlite3_context* ctx, const Value& v) {
  switch (v.kind) {
    case Value::Int: sqlite3_result_int64(ctx, v.i); break;
    case Value::Real: sqlite3_result_double(ctx, v.r); break;
    case Value::Text: sqlite3_result_text(ctx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    case Value::Blob: sqlite3_result_blob(ctx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    default: sqlite3_result_null(ctx); break;
  }
}

// Integers, floats and packed decimals of the whole field straight to SQLite, as Decode reads
// them but without its dispatch (a scan reads one for every row and column); false for other
// fields.
bool ResultNumber(sqlite3_context* ctx, const FieldFormat& f, const uint8_t* p, size_t available) {
  if (available < f.size) return false;
  const bool integer = f.type == kInteger || f.type == kAutoIncrement;
  if (integer && f.size == 4) {
    int32_t v;
    std::memcpy(&v, p, 4);
    sqlite3_result_int64(ctx, v);
    return true;
  }
  if (integer && f.size == 2) {
    int16_t v;
    std::memcpy(&v, p, 2);
    sqlite3_result_int64(ctx, v);
    return true;
  }
  if (f.type == kFloat && f.size == 8) {
    double v;
    std::memcpy(&v, p, 8);
    sqlite3_result_double(ctx, v);
    return true;
  }
  if ((f.type == kDecimal || f.type == kMoney) && f.size > 0) {
    const int decimals = f.type == kMoney ? 2 : f.decimals;
    const int64_t units = PackedUnits(p, f.size);
    if (decimals == 0)
      sqlite3_result_int64(ctx, units);
    else
      sqlite3_result_double(ctx, static_cast<double>(units) / Scale(decimals));
    return true;
  }
  return false;
}

int ColumnValue(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(base);
  const auto& cols = c->vt->table->columns;
  if (i < 0 || i >= static_cast<int>(cols.size())) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  // An UPDATE that does not assign the column needs no value: the stored bytes stay.
  if (c->vt->writing && sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
  const Column& col = cols[i];
  const size_t avail = c->length > col.offset ? c->length - col.offset : 0;
  if (!ResultNumber(ctx, col.format, c->row + col.offset, avail))
    Result(ctx, Decode(col.format, c->row + col.offset, avail));
  return SQLITE_OK;
}

int16_t Position(BtrFile& f, int64_t& position) {
  uint8_t buf[4] = {};
  uint32_t len = sizeof buf;
  const int16_t s = f.Call(kOpGetPosition, buf, len, nullptr, 0);
  position = static_cast<int64_t>(buf[0] | buf[1] << 8 | buf[2] << 16 | static_cast<uint32_t>(buf[3]) << 24);
  return s;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
  auto* c = reinterpret_cast<Cursor*>(base);
  int64_t p = c->position;
  if (p < 0) {
    if (int16_t s = Position(*c->file, p); s != 0) return c->vt->Fail(s);
  }
  *out = p;
  return SQLITE_OK;
}

// Builds the record image of the values in argv (one per column) over `record` (the record
// as it was, or zeros for a new one) into `length` bytes; a value its column refuses fails.
int BuildRecord(Vtab& vt, sqlite3_value** values, std::vector<uint8_t>& record,
                uint32_t& recordLength) {
  const Table& t = *vt.table;
  size_t length = t.recordLength;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const Column& col = t.columns[i];
    const size_t end = col.offset + col.format.size;
    if (end > record.size()) continue;
    // A value the statement leaves as it was is written back even where the column would not
    // take it as a new value (a date another program stored, say). A column an UPDATE does not
    // assign comes without its value: it is the one stored.
    const Value stored = Decode(col.format, record.data() + col.offset, col.format.size);
    Value v = sqlite3_value_nochange(values[i]) ? stored : FromSqlite(values[i]);
    const bool unchanged = Compare(stored, v) == 0;
    if (int16_t s = unchanged ? 0 : Admit(col.format, v); s != 0) return vt.Refuse(s, col);
    const size_t used = Encode(col.format, v, record.data() + col.offset);
    if (col.offset >= t.recordLength) {
      // A variable tail ends with its text.
      size_t tail = used;
      if (col.format.type == kZString) {
        const void* nul = std::memchr(record.data() + col.offset, 0, col.format.size);
        tail = nul ? static_cast<const uint8_t*>(nul) - (record.data() + col.offset) + 1 : col.format.size;
      }
      length = std::max(length, col.offset + tail);
    } else {
      length = std::max(length, end);
    }
  }
  recordLength = static_cast<uint32_t>(length);
  return SQLITE_OK;
}

int16_t EnsureWriter(Vtab& vt) {
  if (vt.writer) return 0;
  std::unique_ptr<BtrFile> f;
  if (int16_t s = vt.Take(f); s != 0) return s;
  vt.writer = std::move(f);
  return 0;
}

// Sends the waiting batch (when the next row needs another kind of batch or the row-by-row
// path, and when the statement ends well); a statement that fails drops it.
int FlushBatch(Vtab& vt) {
  if (vt.batch.Rows() == 0) return SQLITE_OK;
  if (int16_t s = EnsureWriter(vt); s != 0) return vt.Fail(s);
  const int16_t s = vt.batch.Send(*vt.writer);
  return s == 0 ? SQLITE_OK : vt.Fail(s);
}

// Makes room for one more row in a batch replacing `columns` (sending the waiting one when it
// is full or replaces others).
int MakeRoom(Vtab& vt, const std::vector<uint16_t>& columns) {
  if (vt.batch.Rows() > 0 && (vt.batch.Full() || vt.batch.Columns() != columns))
    if (int rc = FlushBatch(vt); rc != SQLITE_OK) return rc;
  if (vt.batch.Rows() == 0) vt.batch.Start(*vt.table, columns);
  return SQLITE_OK;
}

uint32_t PositionOf(sqlite3_value* v) { return static_cast<uint32_t>(sqlite3_value_int64(v)); }

int BatchDelete(Vtab& vt, sqlite3_value* position) {
  // A delete goes into any waiting batch: the columns an update replaces do not matter to it.
  if (vt.batch.Rows() > 0 && vt.batch.Full())
    if (int rc = FlushBatch(vt); rc != SQLITE_OK) return rc;
  if (vt.batch.Rows() == 0) vt.batch.Start(*vt.table, {});
  vt.batch.AddDelete(PositionOf(position));
  return SQLITE_OK;
}

// The columns an UPDATE assigns (the others come without a value and keep their bytes).
void AssignedColumns(const Table& t, sqlite3_value** values, std::vector<uint16_t>& out) {
  out.clear();
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (!sqlite3_value_nochange(values[i])) out.push_back(static_cast<uint16_t>(i));
}

// Batches an update as the new bytes of the columns it assigns; false when a value needs the
// stored record to be judged (a column refuses it, unless it is the value stored), which the
// row-by-row path does.
bool BatchUpdate(Vtab& vt, sqlite3_value** argv, int& rc) {
  const Table& t = *vt.table;
  rc = SQLITE_OK;
  AssignedColumns(t, argv + 2, vt.assigned);
  if (!WriteBatch::Fits(t, vt.assigned)) return false;
  std::vector<uint8_t>& scratch = vt.record;
  scratch.resize(kMaxRecord);
  for (const uint16_t i : vt.assigned)
    if (!EncodeColumn(t.columns[i], FromSqlite(argv[2 + i]), scratch.data())) return false;
  if ((rc = MakeRoom(vt, vt.assigned)) != SQLITE_OK) return true;
  vt.batch.AddUpdate(PositionOf(argv[0]), scratch.data());
  return true;
}

int Update(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* vt = reinterpret_cast<Vtab*>(base);
  Table& t = *vt->table;
  if (argc == 1) return BatchDelete(*vt, argv[0]);
  const bool changesRow = sqlite3_value_type(argv[0]) != SQLITE_NULL;
  if (changesRow && static_cast<size_t>(argc) >= 2 + t.columns.size() &&
      sqlite3_value_int64(argv[0]) == sqlite3_value_int64(argv[1])) {
    int rc = SQLITE_OK;
    if (BatchUpdate(*vt, argv, rc)) return rc;
  }
  if (int rc = FlushBatch(*vt); rc != SQLITE_OK) return rc;
  if (int16_t s = EnsureWriter(*vt); s != 0) return vt->Fail(s);
  BtrFile& w = *vt->writer;
  // The buffer holds any record; past the record read, zeros as far as the columns reach.
  std::vector<uint8_t>& record = vt->record;
  record.resize(kMaxRecord);
  size_t reach = t.recordLength;
  for (const Column& col : t.columns) reach = std::max<size_t>(reach, col.offset + col.format.size);
  reach = std::min(reach, record.size());
  // The writer keeps physical currency: no key path to find, and a record that is null in
  // every key can be changed too.
  const int8_t kn = -1;
  auto locate = [&](sqlite3_value* v) -> int16_t {
    const auto p = static_cast<uint32_t>(sqlite3_value_int64(v));
    for (int i = 0; i < 4; ++i) record[i] = static_cast<uint8_t>(p >> (8 * i));
    uint32_t len = static_cast<uint32_t>(record.size());
    const int16_t s = w.Call(kOpGetDirect, record.data(), len, nullptr, kn);
    if (s == 0 && len < reach) std::memset(record.data() + len, 0, reach - len);
    return s;
  };
  if (static_cast<size_t>(argc) < 2 + t.columns.size()) return SQLITE_ERROR;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    std::memset(record.data(), 0, reach);
    uint32_t len = 0;
    if (int rc = BuildRecord(*vt, argv + 2, record, len); rc != SQLITE_OK) return rc;
    if (int16_t s = w.Call(kOpInsert, record.data(), len, nullptr, kn); s != 0) return vt->Fail(s);
    int64_t p = 0;
    if (int16_t s = Position(w, p); s != 0) return vt->Fail(s);
    *rowid = p;
    return SQLITE_OK;
  }
  if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1])) {
    vt->base.zErrMsg = sqlite3_mprintf("the row position of a record cannot change");
    return SQLITE_CONSTRAINT;
  }
  if (int16_t s = locate(argv[0]); s != 0) return vt->Fail(s);
  uint32_t len = 0;
  if (int rc = BuildRecord(*vt, argv + 2, record, len); rc != SQLITE_OK) return rc;
  if (int16_t s = w.Call(kOpUpdate, record.data(), len, nullptr, kn); s != 0) return vt->Fail(s);
  return SQLITE_OK;
}

// The statement's transaction: the waiting batch goes when it ends well, and is dropped when
// it fails (the session's transaction undoes what was sent before).
void DropBatch(Vtab& vt) { vt.batch.Drop(); }

int BeginWrites(sqlite3_vtab* base) {
  auto* vt = reinterpret_cast<Vtab*>(base);
  DropBatch(*vt);
  vt->writing = true;
  return SQLITE_OK;
}

int SyncWrites(sqlite3_vtab* base) { return FlushBatch(*reinterpret_cast<Vtab*>(base)); }

int EndWrites(sqlite3_vtab* base) {
  auto* vt = reinterpret_cast<Vtab*>(base);
  DropBatch(*vt);
  vt->writing = false;
  return SQLITE_OK;
}

sqlite3_module kModule = {
    /* iVersion */ 0, Create, Create, BestIndex, Disconnect, Disconnect, Open, Close, Filter,
    Next, Eof, ColumnValue, Rowid, Update, BeginWrites, SyncWrites, EndWrites, EndWrites,
    /* xFindFunction */ nullptr, /* xRename */ nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

int RegisterTables(Session& session, const std::vector<std::unique_ptr<Table>>& tables) {
  if (int rc = sqlite3_create_module(session.Db(), "btrieve", &kModule, &session); rc != SQLITE_OK) return rc;
  for (const auto& t : tables) {
    std::string name = t->name;
    for (size_t p = 0; (p = name.find('"', p)) != std::string::npos; p += 2) name.insert(p, "\"");
    std::string arg = t->name;
    for (size_t p = 0; (p = arg.find('\'', p)) != std::string::npos; p += 2) arg.insert(p, "'");
    const std::string sql = "CREATE VIRTUAL TABLE \"" + name + "\" USING btrieve('" + arg + "')";
    if (int rc = sqlite3_exec(session.Db(), sql.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
      return rc;
  }
  return SQLITE_OK;
}

}  // namespace vader::sqlengine
