#include "microkernel/StoredKeyCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/Sqlite.h"

namespace vader::microkernel {
namespace {

// The storage of a local file: table "records" (rowid = position) holds the records below the
// count row, which keeps the change of the record count; table "key<N>" holds key N's entries,
// each its encoded key value (followed, in a key with duplicates, by a sequence number of
// kSequenceSize bytes) and the position of its record; table "vader_file" the definition.
constexpr char kRecordsInOrder[] =
    "SELECT pos, data FROM records WHERE pos < 2147483648 ORDER BY pos";
constexpr size_t kSequenceSize = 8;
// The encoded key values one pass over the records holds stay below this (unless one key
// alone needs more); the keys beyond it are proved by further passes.
constexpr uint64_t kBytesPerPass = uint64_t{256} << 20;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The index among the records read of each position: a table by position while the positions
// are dense (only deleted records leave gaps), else a search of the ascending positions.
class PositionIndex {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  void Clear() {
    positions_.clear();
    slots_.clear();
  }
  // False unless positions come in ascending order.
  bool Add(int64_t pos) {
    if (pos < 1 || (!positions_.empty() && pos <= positions_.back())) return false;
    positions_.push_back(static_cast<uint32_t>(pos));
    return true;
  }
  void Seal() {
    if (positions_.empty() || positions_.back() > 4 * positions_.size() + 4096) return;
    slots_.assign(positions_.back() + size_t{1}, 0);
    for (size_t i = 0; i < positions_.size(); ++i)
      slots_[positions_[i]] = static_cast<uint32_t>(i + 1);
  }
  size_t Size() const { return positions_.size(); }
  size_t Find(int64_t pos) const {
    if (pos < 1 || pos > UINT32_MAX) return kNone;
    if (!slots_.empty())
      return static_cast<uint64_t>(pos) < slots_.size() && slots_[pos] ? slots_[pos] - size_t{1}
                                                                        : kNone;
    const auto it = std::lower_bound(positions_.begin(), positions_.end(), pos);
    return it != positions_.end() && *it == pos ? static_cast<size_t>(it - positions_.begin())
                                                : kNone;
  }

 private:
  std::vector<uint32_t> positions_;
  std::vector<uint32_t> slots_;  // by position: the index + 1, 0 where no record is
};

enum RecordState : uint8_t { kNullInKey, kUnlisted, kListed };

// One key's encoded value of every record read, and which of them its entries listed.
struct KeyValues {
  const KeyCodec* codec = nullptr;
  size_t length = 0;  // encoded bytes per record
  Bytes values;       // by record index
  std::vector<RecordState> states;
  uint32_t indexed = 0;  // records not null in the key

  explicit KeyValues(const KeyCodec& c) : codec(&c), length(c.EncodedLength()) {}
  void Add(const uint8_t* record, std::vector<uint8_t>& raw, Bytes& encoded) {
    codec->ExtractInto(record, raw.data());
    const bool null = codec->IsNull(raw.data());
    if (null)
      encoded.assign(length, '\0');
    else
      codec->EncodeInto(raw.data(), encoded);
    encoded.resize(length, '\0');
    values += encoded;
    states.push_back(null ? kNullInKey : kUnlisted);
    indexed += null ? 0 : 1;
  }
};

class Prover {
 public:
  explicit Prover(const std::string& path) : path_(path) {}

  StoredFileProof Run() {
    StoredFileProof proof;
    uint64_t rows = 0;
    if (!Open() || !CountRows(rows)) return proof;
    size_t next = 0;  // the first key of the next pass
    do {
      std::vector<KeyValues> pass = NextPass(next, rows);
      if (!ReadRecords(pass)) return StoredFileProof{};
      for (KeyValues& key : pass) proof.keys.push_back(Prove(key));
    } while (next < codecs_.size());
    proof.records = static_cast<uint32_t>(positions_.Size());
    proof.read = true;
    return proof;
  }

 private:
  // A read transaction on the file, and its definition.
  bool Open() {
    // A log beside the file may hold its latest commits; without one (a file that cannot be
    // written here) nothing changes it, and nothing need be created beside it to read it.
    if (db_.OpenReadOnly(path_, !Exists(path_ + "-wal")) != SQLITE_OK) return false;
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
  // pages without reading them: enough to plan the passes.
  bool CountRows(uint64_t& rows) {
    Statement count(db_.Handle(), "SELECT count(*) FROM records");
    if (!count.Valid() || count.Step() != SQLITE_ROW) return false;
    rows = static_cast<uint64_t>(std::max<int64_t>(count.Int(0), 0));
    return true;
  }

  // The keys from `next` on whose values of `rows` records fit one pass (at least one key).
  std::vector<KeyValues> NextPass(size_t& next, uint64_t rows) const {
    std::vector<KeyValues> pass;
    uint64_t bytes = 0;
    for (; next < codecs_.size(); ++next) {
      bytes += rows * codecs_[next]->EncodedLength();
      if (!pass.empty() && bytes > kBytesPerPass) break;
      pass.emplace_back(*codecs_[next]);
    }
    for (KeyValues& key : pass) {
      key.values.reserve(rows * key.length);
      key.states.reserve(rows);
    }
    return pass;
  }

  // Every record's values of the keys of `pass`, in the order of the positions.
  bool ReadRecords(std::vector<KeyValues>& pass) {
    positions_.Clear();
    Statement records(db_.Handle(), kRecordsInOrder);
    if (!records.Valid()) return false;
    size_t keyLength = 0;
    for (const KeyValues& key : pass) keyLength = std::max(keyLength, key.codec->Length());
    std::vector<uint8_t> raw(keyLength);
    Bytes encoded;
    int rc;
    while ((rc = records.Step()) == SQLITE_ROW) {
      const uint8_t* data = records.BlobData(1);
      if (!data || records.BlobSize(1) < def_.recordLength || !positions_.Add(records.Int(0)))
        return false;
      for (KeyValues& key : pass) key.Add(data, raw, encoded);
    }
    positions_.Seal();
    return rc == SQLITE_DONE;
  }

  // Walks the key's table once, in its order.
  StoredKeyProof Prove(KeyValues& key) {
    const KeyDef& def = key.codec->Key();
    StoredKeyProof proof;
    proof.number = def.number;
    Statement entries(db_.Handle(),
                      "SELECT k, pos FROM key" + std::to_string(def.number) + " ORDER BY k");
    if (!entries.Valid()) return proof;
    const size_t entryLength = key.length + (def.Duplicates() ? kSequenceSize : 0);
    Bytes previous;
    uint32_t listed = 0, distinct = 0;
    int rc;
    while ((rc = entries.Step()) == SQLITE_ROW) {
      const uint8_t* entry = entries.BlobData(0);
      const size_t at = positions_.Find(entries.Int(1));
      if (!entry || entries.BlobSize(0) != entryLength || at == PositionIndex::kNone ||
          key.states[at] != kUnlisted ||
          std::memcmp(entry, key.values.data() + at * key.length, key.length) != 0)
        return proof;
      if (listed > 0 && std::memcmp(entry, previous.data(), entryLength) <= 0) return proof;
      if (listed == 0 || std::memcmp(entry, previous.data(), key.length) != 0) ++distinct;
      previous.assign(reinterpret_cast<const char*>(entry), entryLength);
      key.states[at] = kListed;
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
  PositionIndex positions_;
};

}  // namespace

const StoredKeyProof* StoredFileProof::Find(int number) const {
  for (const StoredKeyProof& key : keys)
    if (key.number == number) return &key;
  return nullptr;
}

StoredFileProof ProveStoredKeys(const std::string& path) { return Prover(path).Run(); }

}  // namespace vader::microkernel
