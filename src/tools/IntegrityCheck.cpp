#include "tools/IntegrityCheck.h"

#include <map>
#include <unordered_map>

namespace vader::tools {
namespace {

struct Entry {
  uint32_t pos;
  Bytes record;
};

class Checker {
 public:
  Checker(const std::string& path, const std::string& owner, CheckReport& report)
      : file_(path, owner, -2), report_(report) {}

  void Run() {
    const FileDef def = ParseStat(file_.Stat());
    ReadPhysical();
    report_.keys = def.keys.size();
    for (const KeyDef& key : def.keys) CheckKey(key);
  }

 private:
  void Problem(const KeyDef& key, const std::string& text) {
    ++report_.problemCount;
    if (report_.problems.size() < CheckReport::kMaxListed)
      report_.problems.push_back("key " + std::to_string(key.number) + ": " + text);
  }

  void ReadPhysical() {
    Bytes record;
    for (int16_t s = file_.Step(kOpStepFirst, record); s == 0; s = file_.Step(kOpStepNext, record))
      records_.emplace(file_.Position(), record);
    report_.records = records_.size();
  }

  std::vector<Entry> Walk(const KeyDef& key) {
    std::vector<Entry> entries;
    Bytes keyBuf(kKeyBufferSize, '\0'), record;
    // An index with more entries than there are records is broken; stop walking it then.
    const size_t limit = records_.size() + 1;
    try {
      for (int16_t s = file_.Get(kOpGetFirst, static_cast<int8_t>(key.number), keyBuf, record);
           s == 0 && entries.size() <= limit;
           s = file_.Get(kOpGetNext, static_cast<int8_t>(key.number), keyBuf, record))
        entries.push_back({file_.Position(), record});
    } catch (const BtrieveError& e) {
      Problem(key, std::string("walking the key path stopped: ") + e.what());
    }
    if (entries.size() > limit) Problem(key, "the key path holds more entries than records");
    return entries;
  }

  std::string At(uint32_t pos) { return "record at position " + std::to_string(pos); }

  // Each walked entry is a live record with the same bytes, listed once.
  void CheckEntries(const KeyDef& key, const std::vector<Entry>& walked,
                    std::unordered_map<uint32_t, size_t>& rank) {
    for (size_t i = 0; i < walked.size(); ++i) {
      const Entry& e = walked[i];
      const auto it = records_.find(e.pos);
      if (it == records_.end())
        Problem(key, "an index entry points at position " + std::to_string(e.pos) +
                         ", which holds no record");
      else if (it->second != e.record)
        Problem(key, At(e.pos) + " reads differently through the key than physically");
      else if (NullInKey(key, e.record))
        Problem(key, At(e.pos) + " is null in this key but indexed");
      if (!rank.emplace(e.pos, i).second) Problem(key, At(e.pos) + " is listed twice");
    }
    for (const auto& [pos, record] : records_)
      if (!rank.count(pos) && !NullInKey(key, record))
        Problem(key, At(pos) + " is missing from the index");
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
  void CheckOrder(const KeyDef& key, const std::vector<Entry>& walked,
                  const std::unordered_map<uint32_t, size_t>& rank) {
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
    // Stat's counts are kept by every write: they must agree with what the key path shows.
    if (groups != key.uniqueValues)
      Problem(key, "the index holds " + std::to_string(key.uniqueValues) +
                       " distinct values, its key path shows " + std::to_string(groups));
  }

  void CheckKey(const KeyDef& key) {
    const std::vector<Entry> walked = Walk(key);
    std::unordered_map<uint32_t, size_t> rank;
    CheckEntries(key, walked, rank);
    CheckOrder(key, walked, rank);
  }

  BtrFile file_;
  CheckReport& report_;
  std::map<uint32_t, Bytes> records_;  // by physical position
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
