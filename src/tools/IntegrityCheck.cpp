#include "tools/IntegrityCheck.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "microkernel/FileNames.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/ServerLocation.h"
#include "microkernel/StoredKeyCheck.h"

namespace vader::tools {
namespace {

struct Entry {
  uint32_t pos;
  Bytes record;
};

using microkernel::kOpGetNextExtended;
using microkernel::kOpStepNextExtended;

bool OnServer(const std::string& path) {
  return microkernel::IsServerLocation(microkernel::MapToServer(path));
}

// The SQLite database behind `path` when the record manager keeps the file here, its name
// resolved as the record manager resolves it; empty for a file on a server or one written by
// a real Btrieve engine, which only the record manager reads.
std::string LocalDatabase(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  if (microkernel::IsServerLocation(path)) return "";
  char buffer[PATH_MAX];
  if (!path.empty() && path[0] != '/') {
    if (!::getcwd(buffer, sizeof buffer)) return "";
    path = std::string(buffer) + "/" + path;
  }
  if (OnServer(path) || !::realpath(microkernel::FindIgnoringCase(path).c_str(), buffer))
    return "";
  const std::string real = buffer;
  return OnServer(real) || microkernel::IsRealBtrieveFile(real) ? "" : real;
}

// Records of a fixed-length file come in batches of the extended reads (each record with its
// position), one call of the record manager for many records; a variable-length file is read
// a record at a time, as the batches would cut its records to one length.
class RecordReader {
 public:
  RecordReader(BtrFile& file, const FileDef& def) : file_(file), def_(def) {}

  // Calls visit(position, record) for every record in the order of key `keyNumber` (-1: the
  // physical order) until it returns false; throws BtrieveError when a read fails.
  template <typename Visit>
  void ForEach(int keyNumber, Visit visit) {
    const bool physical = keyNumber < 0;
    const auto k = static_cast<int8_t>(physical ? 0 : keyNumber);
    Bytes keyBuf(kKeyBufferSize, '\0'), record;
    const int16_t first = physical ? file_.Step(kOpStepFirst, record)
                                   : file_.Get(kOpGetFirst, k, keyBuf, record);
    if (first != 0) return;
    if (def_.flags & kFileVariable) {
      for (int16_t s = 0; s == 0 && visit(file_.Position(), record);
           s = physical ? file_.Step(kOpStepNext, record) : file_.Get(kOpGetNext, k, keyBuf, record)) {
      }
      return;
    }
    bool withCurrent = true;
    for (;;) {
      const int16_t s = ReadBatch(physical, k, keyBuf, withCurrent);
      if (s != 0 && s != kStatusEndOfFile)
        throw BtrieveError(s, physical ? "Step Next Extended" : "Get Next Extended");
      for (size_t i = 0; i < count_; ++i) {
        const uint8_t* at = batch_.data() + 2 + i * (6 + def_.recordLength);
        uint32_t pos = 0;
        std::memcpy(&pos, at + 2, 4);
        record.assign(reinterpret_cast<const char*>(at + 6), def_.recordLength);
        if (!visit(pos, record)) return;
      }
      if (s == kStatusEndOfFile || count_ == 0) return;
      withCurrent = false;
    }
  }

 private:
  int16_t ReadBatch(bool physical, int8_t keyNumber, Bytes& keyBuf, bool withCurrent) {
    constexpr size_t kBuffer = 65535;
    batch_.assign(kBuffer, 0);
    const size_t perRecord = 6 + def_.recordLength;
    const auto wanted = static_cast<uint16_t>(std::min<size_t>(1000, (kBuffer - 2) / perRecord));
    // Descriptor: length, "EG" (from the current record) or "UC" (after it), no reject limit,
    // no filter terms, then `wanted` records of one field: the whole record.
    const uint16_t words[] = {16, 0, 0, 0, wanted, 1, def_.recordLength, 0};
    std::memcpy(batch_.data(), words, sizeof words);
    std::memcpy(batch_.data() + 2, withCurrent ? "EG" : "UC", 2);
    uint32_t length = kBuffer;
    const int16_t s = file_.Call(physical ? kOpStepNextExtended : kOpGetNextExtended,
                                 batch_.data(), length, keyBuf.data(), keyNumber);
    count_ = 0;
    if (s != 0 && s != kStatusEndOfFile) return s;
    uint16_t n = 0;
    if (length >= 2) std::memcpy(&n, batch_.data(), 2);
    if (2 + size_t{n} * perRecord > length) n = 0;
    count_ = n;
    return s;
  }

  BtrFile& file_;
  const FileDef& def_;
  std::vector<uint8_t> batch_;
  size_t count_ = 0;
};

class Checker {
 public:
  Checker(const std::string& path, const std::string& owner, CheckReport& report)
      : file_(path, owner, -2), report_(report) {}

  void Run() {
    def_ = ParseStat(file_.Stat());
    Bytes create = CreateBuffer(def_);
    if (microkernel::ParseCreateBuffer(reinterpret_cast<const uint8_t*>(create.data()),
                                       create.size(), layout_) != microkernel::kOk)
      layout_.keys.clear();  // every key then proves its order by lookups
    report_.keys = def_.keys.size();
    const microkernel::StoredFileProof stored = ProveFromStorage();
    report_.records = stored.records;
    const std::vector<KeyToWalk> walks = KeysToWalk(stored);
    if (stored.read && walks.empty()) return;
    ReadPhysical();
    for (const KeyToWalk& walk : walks) CheckKey(*walk.key, walk.byLookups);
  }

 private:
  struct KeyToWalk {
    const KeyDef* key;
    bool byLookups;  // its entries do not hold their records' key values
  };

  microkernel::StoredFileProof ProveFromStorage() const {
    const std::string database = LocalDatabase(file_.Path());
    return database.empty() ? microkernel::StoredFileProof{}
                            : microkernel::ProveStoredKeys(database);
  }

  // The keys that reading the storage did not prove sound with the counts Stat gives: all of
  // them when it could not be read.
  std::vector<KeyToWalk> KeysToWalk(const microkernel::StoredFileProof& stored) const {
    std::vector<KeyToWalk> walks;
    for (const KeyDef& key : def_.keys) {
      const microkernel::StoredKeyProof* proof = stored.read ? stored.Find(key.number) : nullptr;
      if (!proof || !proof->agrees || proof->distinctValues != key.uniqueValues)
        walks.push_back({&key, proof && !proof->agrees});
    }
    return walks;
  }

  void Problem(const KeyDef& key, const std::string& text) {
    ++report_.problemCount;
    if (report_.problems.size() < CheckReport::kMaxListed)
      report_.problems.push_back("key " + std::to_string(key.number) + ": " + text);
  }

  void ReadPhysical() {
    RecordReader(file_, def_).ForEach(-1, [&](uint32_t pos, const Bytes& record) {
      records_.push_back({pos, record});
      return true;
    });
    const auto byPosition = [](const Entry& a, const Entry& b) { return a.pos < b.pos; };
    if (!std::is_sorted(records_.begin(), records_.end(), byPosition))
      std::sort(records_.begin(), records_.end(), byPosition);
    report_.records = records_.size();
  }

  // The index in records_ of the record at `pos`, or records_.size().
  size_t Find(uint32_t pos) const {
    const auto it = std::lower_bound(records_.begin(), records_.end(), pos,
                                     [](const Entry& e, uint32_t p) { return e.pos < p; });
    return it != records_.end() && it->pos == pos ? static_cast<size_t>(it - records_.begin())
                                                  : records_.size();
  }

  std::vector<Entry> Walk(const KeyDef& key) {
    std::vector<Entry> entries;
    // An index with more entries than there are records is broken; stop walking it then.
    const size_t limit = records_.size() + 1;
    try {
      RecordReader(file_, def_).ForEach(key.number, [&](uint32_t pos, const Bytes& record) {
        entries.push_back({pos, record});
        return entries.size() <= limit;
      });
    } catch (const BtrieveError& e) {
      Problem(key, std::string("walking the key path stopped: ") + e.what());
    }
    if (entries.size() > limit) Problem(key, "the key path holds more entries than records");
    return entries;
  }

  std::string At(uint32_t pos) { return "record at position " + std::to_string(pos); }

  // Each walked entry is a live record with the same bytes, listed once.
  void CheckEntries(const KeyDef& key, const std::vector<Entry>& walked) {
    std::vector<bool> listed(records_.size(), false);
    std::unordered_set<uint32_t> strays;  // positions without a record
    for (const Entry& e : walked) {
      const size_t at = Find(e.pos);
      bool twice = false;
      if (at == records_.size()) {
        Problem(key, "an index entry points at position " + std::to_string(e.pos) +
                         ", which holds no record");
        twice = !strays.insert(e.pos).second;
      } else {
        if (records_[at].record != e.record)
          Problem(key, At(e.pos) + " reads differently through the key than physically");
        else if (NullInKey(key, e.record))
          Problem(key, At(e.pos) + " is null in this key but indexed");
        twice = listed[at];
        listed[at] = true;
      }
      if (twice) Problem(key, At(e.pos) + " is listed twice");
    }
    for (size_t i = 0; i < records_.size(); ++i)
      if (!listed[i] && !NullInKey(key, records_[i].record))
        Problem(key, At(records_[i].pos) + " is missing from the index");
  }

  // The rank at which a lookup lands, or the end of the walk.
  size_t RankOf(uint16_t op, const KeyDef& key, const Bytes& value,
                const std::unordered_map<uint32_t, size_t>& rank, size_t end) {
    Bytes keyBuf = value, record;
    keyBuf.resize(kKeyBufferSize, '\0');
    try {
      if (file_.Get(op, static_cast<int8_t>(key.number), keyBuf, record) != 0) return end;
    } catch (const BtrieveError&) {
      return end;
    }
    const auto it = rank.find(file_.Position());
    return it == rank.end() ? end : it->second;
  }

  // Looking a record up by its own key value lands on the group of equal values that holds it.
  void CheckOrder(const KeyDef& key, const std::vector<Entry>& walked) {
    std::unordered_map<uint32_t, size_t> rank;  // of each position's first entry
    for (size_t i = 0; i < walked.size(); ++i) rank.emplace(walked[i].pos, i);
    const bool unique = !(key.segments.front().flags & kKeyDuplicates);
    uint32_t groups = 0;
    for (size_t i = 0; i < walked.size(); ++i) {
      const Bytes value = ExtractKey(key, walked[i].record);
      const size_t first = RankOf(kOpGetEqual, key, value, rank, walked.size() + 1);
      const size_t after = RankOf(kOpGetGreater, key, value, rank, walked.size());
      groups += first == i ? 1 : 0;
      if (first > i || after <= i)
        Problem(key, At(walked[i].pos) + " is not where its key value sorts");
      else if (unique && after - first > 1)
        Problem(key, At(walked[i].pos) + " shares its value in a key without duplicates");
    }
    if (groups != key.uniqueValues) CountProblem(key, groups);
  }

  // Stat's counts are kept by every write: they must agree with what the key path shows.
  void CountProblem(const KeyDef& key, uint32_t groups) {
    Problem(key, "the index holds " + std::to_string(key.uniqueValues) +
                     " distinct values, its key path shows " + std::to_string(groups));
  }

  // Whether the walked records are in the order of the record manager's own encoding of their
  // key values, each value once in a key without duplicates: then each record's lookup lands
  // on its group, and `groups` counts them.
  bool InEncodedOrder(const KeyDef& key, const std::vector<Entry>& walked, uint32_t& groups) {
    const microkernel::KeyDef* own = layout_.FindKey(key.number);
    if (!own) return false;
    const microkernel::KeyCodec codec(*own, layout_);
    const bool unique = !(key.segments.front().flags & kKeyDuplicates);
    std::vector<uint8_t> raw(codec.Length());
    Bytes previous, value;
    groups = 0;
    for (size_t i = 0; i < walked.size(); ++i) {
      const Bytes& record = walked[i].record;
      if (record.size() < def_.recordLength) return false;
      codec.ExtractInto(reinterpret_cast<const uint8_t*>(record.data()), raw.data());
      codec.EncodeInto(raw.data(), value);
      const int order = i == 0 ? 1 : value.compare(previous);
      if (order < 0 || (order == 0 && unique)) return false;
      groups += order > 0 ? 1 : 0;
      previous.swap(value);
    }
    return true;
  }

  // `byLookups`: the order of the records is not proof enough (the entries may list the
  // records in order under other values, which a search by value does not find).
  void CheckKey(const KeyDef& key, bool byLookups) {
    const std::vector<Entry> walked = Walk(key);
    const uint64_t problemsBefore = report_.problemCount;
    CheckEntries(key, walked);
    // A damaged index is searched record by record, which tells where it went wrong.
    uint32_t groups = 0;
    if (byLookups || report_.problemCount != problemsBefore ||
        !InEncodedOrder(key, walked, groups))
      CheckOrder(key, walked);
    else if (groups != key.uniqueValues)
      CountProblem(key, groups);
  }

  BtrFile file_;
  CheckReport& report_;
  FileDef def_;
  microkernel::FileDefinition layout_;  // the record manager's form of def_
  std::vector<Entry> records_;  // by physical position
};

bool SegmentNull(const SegmentDef& s, const Bytes& record) {
  const size_t offset = s.position - 1u;
  if (offset + s.length > record.size()) return false;
  for (size_t i = 0; i < s.length; ++i)
    if (static_cast<uint8_t>(record[offset + i]) != s.nullValue) return false;
  return true;
}

}  // namespace

Bytes ExtractKey(const KeyDef& key, const Bytes& record) {
  Bytes value;
  for (const SegmentDef& s : key.segments) {
    Bytes part = s.position - 1u < record.size() ? record.substr(s.position - 1u, s.length) : "";
    part.resize(s.length, '\0');
    value += part;
  }
  return value;
}

bool NullInKey(const KeyDef& key, const Bytes& record) {
  const uint16_t flags = key.segments.front().flags;
  if (!(flags & (kKeyNullAll | kKeyNullAny))) return false;
  size_t nulls = 0;
  for (const SegmentDef& s : key.segments) nulls += SegmentNull(s, record) ? 1 : 0;
  return (flags & kKeyNullAny) ? nulls > 0 : nulls == key.segments.size();
}

CheckReport CheckFile(const std::string& path, const std::string& owner) {
  CheckReport report;
  Checker(path, owner, report).Run();
  return report;
}

}  // namespace vader::tools
