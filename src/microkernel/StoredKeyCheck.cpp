#include "microkernel/StoredKeyCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "microkernel/FileLayout.h"
#include "microkernel/FileNames.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/Sqlite.h"
#include "microkernel/SqliteLayout.h"

namespace vader::microkernel {
namespace {

// The records of a local file below its count row, in position order (see SqliteLayout.h).
constexpr char kRecordsInOrder[] =
    "SELECT pos, data FROM records WHERE " VADER_BELOW_COUNT_ROW " ORDER BY pos";
// The encoded key values one pass over the records holds stay below this (unless one key
// alone needs more); the keys beyond it are proved by further passes.
constexpr uint64_t kBytesPerPass = uint64_t{256} << 20;

// Where each record's cells lie: at its position itself while the positions are dense (only
// deleted records leave gaps), so that finding an entry's record costs one memory access;
// else at its rank among the records, found by a search of the ascending positions.
class Slots {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  // Before a pass over `rows` records none of whose positions exceeds `last`.
  void Plan(uint64_t rows, int64_t last) {
    dense_ = last < 0 || static_cast<uint64_t>(last) <= 2 * rows + 4096;
    capacity_ = dense_ ? static_cast<size_t>(std::max<int64_t>(last, 0)) + 1 : rows;
  }
  // Before each pass.
  void Restart() {
    positions_.clear();
    records_ = 0;
    last_ = 0;
  }
  size_t Capacity() const { return capacity_; }
  size_t Records() const { return records_; }
  // The slot of the next record read; kNone unless the positions ascend within the plan.
  size_t Add(int64_t pos) {
    if (pos <= last_ || pos > UINT32_MAX) return kNone;
    const size_t slot = dense_ ? static_cast<size_t>(pos) : records_;
    if (slot >= capacity_) return kNone;
    if (!dense_) positions_.push_back(static_cast<uint32_t>(pos));
    last_ = pos;
    ++records_;
    return slot;
  }
  // The slot of the record at `pos`, or kNone (a slot without a record, when dense).
  size_t Find(int64_t pos) const {
    if (pos < 1 || pos > UINT32_MAX) return kNone;
    if (dense_) return static_cast<uint64_t>(pos) < capacity_ ? static_cast<size_t>(pos) : kNone;
    const auto it = std::lower_bound(positions_.begin(), positions_.end(), pos);
    return it != positions_.end() && *it == pos ? static_cast<size_t>(it - positions_.begin())
                                                : kNone;
  }

 private:
  bool dense_ = true;
  size_t capacity_ = 0;
  size_t records_ = 0;
  int64_t last_ = 0;
  std::vector<uint32_t> positions_;  // when not dense
};

enum CellState : uint8_t { kNoRecord, kNullInKey, kUnlisted, kListed };

// One key's cell for each slot: the state of its record, then its encoded key value, side by
// side so that checking an entry reads one place.
struct KeyCells {
  const KeyCodec* codec = nullptr;
  size_t length = 0;  // encoded bytes of a value
  std::vector<uint8_t> cells;
  uint32_t indexed = 0;  // records not null in the key

  explicit KeyCells(const KeyCodec& c) : codec(&c), length(c.EncodedLength()) {}
  size_t CellSize() const { return 1 + length; }
  uint8_t* Cell(size_t slot) { return cells.data() + slot * CellSize(); }
  void Fill(size_t slot, const uint8_t* record, std::vector<uint8_t>& raw, Bytes& encoded) {
    codec->ExtractInto(record, raw.data());
    uint8_t* cell = Cell(slot);
    if (codec->IsNull(raw.data())) {
      cell[0] = kNullInKey;
      return;
    }
    codec->EncodeInto(raw.data(), encoded);
    cell[0] = kUnlisted;
    std::memcpy(cell + 1, encoded.data(), std::min(encoded.size(), length));
    ++indexed;
  }
};

class Prover {
 public:
  explicit Prover(const std::string& path) : path_(path) {}

  StoredFileProof Run() {
    StoredFileProof proof;
    if (!Open() || !PlanSlots()) return proof;
    size_t next = 0;  // the first key of the next pass
    do {
      std::vector<KeyCells> pass = NextPass(next);
      if (!ReadRecords(pass)) return StoredFileProof{};
      for (KeyCells& key : pass) proof.keys.push_back(Prove(key));
    } while (next < codecs_.size());
    proof.records = static_cast<uint32_t>(slots_.Records());
    proof.read = true;
    return proof;
  }

 private:
  // A read transaction on the file, and its definition.
  bool Open() {
    // A log beside the file may hold its latest commits; without one (a file that cannot be
    // written here) nothing changes it, and nothing need be created beside it to read it.
    if (db_.OpenReadOnly(path_, !FileExists(path_ + "-wal")) != SQLITE_OK) return false;
    db_.Exec("PRAGMA mmap_size=268435456");
    if (db_.Exec("BEGIN") != SQLITE_OK) return false;
    Statement meta(db_.Handle(), "SELECT definition FROM vader_file WHERE id = 1");
    if (!meta.Valid() || meta.Step() != SQLITE_ROW) return false;
    const Bytes stored = meta.Blob(0);
    if (ParseCreateBuffer(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), def_) !=
        kOk)
      return false;
    for (const KeyDef& key : def_.keys) codecs_.push_back(std::make_unique<KeyCodec>(key, def_));
    return true;
  }

  // The rows of the record table (the count row among them), which SQLite counts from its
  // pages without reading them, and the last position, found by one seek.
  bool PlanSlots() {
    Statement plan(db_.Handle(),
                   "SELECT (SELECT count(*) FROM records), (SELECT max(pos) FROM records"
                   " WHERE " VADER_BELOW_COUNT_ROW ")");
    if (!plan.Valid() || plan.Step() != SQLITE_ROW) return false;
    slots_.Plan(static_cast<uint64_t>(std::max<int64_t>(plan.Int(0), 0)), plan.Int(1));
    return true;
  }

  // The keys from `next` on whose cells fit one pass (at least one key).
  std::vector<KeyCells> NextPass(size_t& next) const {
    std::vector<KeyCells> pass;
    uint64_t bytes = 0;
    for (; next < codecs_.size(); ++next) {
      bytes += uint64_t{slots_.Capacity()} * (1 + codecs_[next]->EncodedLength());
      if (!pass.empty() && bytes > kBytesPerPass) break;
      pass.emplace_back(*codecs_[next]);
    }
    for (KeyCells& key : pass) key.cells.assign(slots_.Capacity() * key.CellSize(), kNoRecord);
    return pass;
  }

  // Every record's cells of the keys of `pass`.
  bool ReadRecords(std::vector<KeyCells>& pass) {
    slots_.Restart();
    Statement records(db_.Handle(), kRecordsInOrder);
    if (!records.Valid()) return false;
    size_t keyLength = 0;
    for (const KeyCells& key : pass) keyLength = std::max(keyLength, key.codec->Length());
    std::vector<uint8_t> raw(keyLength);
    Bytes encoded;
    int rc;
    while ((rc = records.Step()) == SQLITE_ROW) {
      const uint8_t* data = records.BlobData(1);
      if (!data || records.BlobSize(1) < def_.recordLength) return false;
      const size_t slot = slots_.Add(records.Int(0));
      if (slot == Slots::kNone) return false;
      for (KeyCells& key : pass) key.Fill(slot, data, raw, encoded);
    }
    return rc == SQLITE_DONE;
  }

  // Walks the key's table once, in its order.
  StoredKeyProof Prove(KeyCells& key) {
    const KeyDef& def = key.codec->Key();
    StoredKeyProof proof;
    proof.number = def.number;
    Statement entries(db_.Handle(),
                      "SELECT k, pos FROM " + KeyTable(def.number) + " ORDER BY k");
    if (!entries.Valid()) return proof;
    const size_t sequence = def.Duplicates() ? kDuplicateSequenceSize : 0;
    std::vector<uint8_t> previous(key.length + sequence);
    uint32_t listed = 0, distinct = 0;
    int rc;
    while ((rc = entries.Step()) == SQLITE_ROW) {
      const uint8_t* entry = entries.BlobData(0);
      const size_t slot = slots_.Find(entries.Int(1));
      if (!entry || entries.BlobSize(0) != previous.size() || slot == Slots::kNone) return proof;
      uint8_t* cell = key.Cell(slot);
      if (cell[0] != kUnlisted || std::memcmp(entry, cell + 1, key.length) != 0) return proof;
      // Ascending: a greater value, or the same one (with duplicates) under a greater sequence.
      const int order = listed == 0 ? 1 : std::memcmp(entry, previous.data(), key.length);
      if (order < 0 || (order == 0 && (sequence == 0 || std::memcmp(entry + key.length,
                                                                    previous.data() + key.length,
                                                                    sequence) <= 0)))
        return proof;
      distinct += order > 0 ? 1 : 0;
      std::memcpy(previous.data(), entry, previous.size());
      cell[0] = kListed;
      ++listed;
    }
    proof.agrees = rc == SQLITE_DONE && listed == key.indexed;
    proof.distinctValues = distinct;
    return proof;
  }

  std::string path_;
  Connection db_;
  FileDefinition def_;
  std::vector<std::unique_ptr<KeyCodec>> codecs_;  // in key order
  Slots slots_;
};

}  // namespace

const StoredKeyProof* StoredFileProof::Find(int number) const {
  for (const StoredKeyProof& key : keys)
    if (key.number == number) return &key;
  return nullptr;
}

StoredFileProof ProveStoredKeys(const std::string& path) { return Prover(path).Run(); }

}  // namespace vader::microkernel
