#include "microkernel/LegacyStore.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace vader::microkernel {
namespace {

// File flags the record manager keeps: variable records, balanced index, free-space threshold,
// reserved duplicate pointers.
constexpr uint16_t kKeptFileFlags = 0x0001 | 0x0020 | 0x00C0 | 0x0100;
// Key flags that describe the key (not the index state).
constexpr uint16_t kKeptKeyFlags = 0x07EF;
constexpr size_t kSequenceSize = 8;

// The definition of the source's records, keys and ACSs, checked as a Create would check it.
Status DefinitionOf(const legacy::FileInfo& info, FileDefinition& out) {
  FileDefinition def;
  def.recordLength = info.recordLength;
  def.pageSize = PageSizeHolding(info.recordLength, info.pageSize);
  def.flags = info.fileFlags & kKeptFileFlags;
  for (const legacy::KeySpec& stored : info.keys) {
    KeyDef key;
    key.number = static_cast<uint8_t>(stored.number);
    for (const legacy::SegmentSpec& s : stored.segments) {
      Segment seg;
      seg.position = static_cast<uint16_t>(s.offset + 1);
      seg.length = s.length;
      seg.flags = s.flags & kKeptKeyFlags;
      seg.rawType = (s.flags & legacy::kExtended) ? s.type : 0;
      seg.nullValue = s.nullValue;
      seg.acsNumber = static_cast<uint8_t>(s.acs < 0 ? 0 : s.acs);
      key.segments.push_back(seg);
    }
    for (size_t i = 0; i + 1 < key.segments.size(); ++i) key.segments[i].flags |= kKeySegmented;
    def.keys.push_back(std::move(key));
  }
  for (const legacy::AcsTable& a : info.acs) def.acs.push_back(a.block);
  const Bytes buffer = def.Serialize();
  return ParseCreateBuffer(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size(), out);
}

Bytes Sequence(uint64_t n) {
  Bytes out(kSequenceSize, '\0');
  for (size_t i = 0; i < kSequenceSize; ++i)
    out[kSequenceSize - 1 - i] = static_cast<char>(n >> (8 * i));
  return out;
}

bool EntryBefore(const Bytes& a, const Bytes& b) { return a < b; }

}  // namespace

Status LegacyStore::Open(const std::string& path, std::unique_ptr<FileStore>& out) {
  std::unique_ptr<LegacyStore> store(new LegacyStore());
  store->path_ = path;
  try {
    // Reading every record and every index checks the file as a whole, as the import does.
    const legacy::LegacyFile file = legacy::LegacyFile::Open(path);
    if (DefinitionOf(file.Info(), store->def_) != kOk) return kNotAFile;
    store->ownerProtected_ = file.Info().ownerProtected;
    store->BuildCodecs();
    const std::unordered_map<uint32_t, uint32_t> positions = store->LoadRecords(file);
    for (size_t k = 0; k < file.Info().keys.size(); ++k) store->LoadKey(file, k, positions);
  } catch (const legacy::LegacyError&) {
    return kNotAFile;
  }
  out = std::move(store);
  return kOk;
}

std::unordered_map<uint32_t, uint32_t> LegacyStore::LoadRecords(const legacy::LegacyFile& file) {
  std::unordered_map<uint32_t, uint32_t> positions;
  records_.reserve(file.Addresses().size());
  positions.reserve(file.Addresses().size());
  for (uint32_t address : file.Addresses()) {
    records_.push_back(file.Record(address));
    positions.emplace(address, static_cast<uint32_t>(records_.size()));
  }
  return positions;
}

void LegacyStore::LoadKey(const legacy::LegacyFile& file, size_t index,
                          const std::unordered_map<uint32_t, uint32_t>& positions) {
  const int number = file.Info().keys[index].number;
  const KeyCodec& codec = *Codec(number);
  Entries entries;
  Bytes key(codec.Length(), '\0');
  uint64_t sequence = 0;
  // The original index order gives the duplicates their order: the sequence follows it.
  for (uint32_t address : file.IndexOrder(index)) {
    const uint32_t pos = positions.at(address);
    const auto* record = reinterpret_cast<const uint8_t*>(records_[pos - 1].data());
    codec.ExtractInto(record, reinterpret_cast<uint8_t*>(key.data()));
    if (codec.IsNull(reinterpret_cast<const uint8_t*>(key.data()))) continue;
    Bytes entry = codec.Encode(reinterpret_cast<const uint8_t*>(key.data()));
    if (codec.Key().Duplicates()) entry += Sequence(++sequence);
    entries.push_back({std::move(entry), pos});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return EntryBefore(a.key, b.key); });
  uint32_t distinct = 0;
  const size_t encoded = codec.EncodedLength();
  for (size_t i = 0; i < entries.size(); ++i)
    distinct += i == 0 || entries[i].key.compare(0, encoded, entries[i - 1].key, 0, encoded) != 0;
  if (keys_.size() <= static_cast<size_t>(number)) {
    keys_.resize(number + 1u);
    unique_.resize(number + 1u);
  }
  keys_[number] = std::move(entries);
  unique_[number] = distinct;
}

const LegacyStore::Entries* LegacyStore::KeyEntries(int number) const {
  return number >= 0 && static_cast<size_t>(number) < keys_.size() && Codec(number)
             ? &keys_[number]
             : nullptr;
}

Status LegacyStore::RowAt(const Entries& entries, size_t at, Row& row) const {
  if (at >= entries.size()) return kEndOfFile;
  row.entry = entries[at].key;
  row.pos = entries[at].pos;
  row.data = records_[row.pos - 1];
  return kOk;
}

Status LegacyStore::Read(uint32_t pos, Bytes& data) {
  if (pos == 0 || pos > records_.size()) return kInvalidRecordAddress;
  data = records_[pos - 1];
  return kOk;
}

Status LegacyStore::SeekKey(int number, Seek mode, const Bytes& bound, Row& row, Walk*) {
  const Entries* entries = KeyEntries(number);
  if (!entries) return kInvalidKeyNumber;
  const auto less = [](const Entry& e, const Bytes& b) { return EntryBefore(e.key, b); };
  const auto greater = [](const Bytes& b, const Entry& e) { return EntryBefore(b, e.key); };
  const size_t lower = std::lower_bound(entries->begin(), entries->end(), bound, less) -
                       entries->begin();
  const size_t upper = std::upper_bound(entries->begin(), entries->end(), bound, greater) -
                       entries->begin();
  switch (mode) {
    case Seek::kFirst:
      return RowAt(*entries, 0, row);
    case Seek::kLast:
      return RowAt(*entries, entries->size() - 1, row);  // wraps to "none" when empty
    case Seek::kGreater:
      return RowAt(*entries, upper, row);
    case Seek::kGreaterEqual:
      return RowAt(*entries, lower, row);
    case Seek::kLess:
      return RowAt(*entries, lower - 1, row);
    case Seek::kLessEqual:
      return RowAt(*entries, upper - 1, row);
  }
  return kEndOfFile;
}

Status LegacyStore::SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk*) {
  const size_t count = records_.size();
  size_t pos = 0;  // 1-based; 0 or beyond the count: none
  switch (mode) {
    case Seek::kFirst:
      pos = 1;
      break;
    case Seek::kLast:
      pos = count;
      break;
    case Seek::kGreater:
      pos = size_t{bound} + 1;
      break;
    case Seek::kGreaterEqual:
      pos = std::max<size_t>(bound, 1);
      break;
    case Seek::kLess:
      pos = std::min<size_t>(bound, count + 1) - (bound > 0);
      break;
    case Seek::kLessEqual:
      pos = std::min<size_t>(bound, count);
      break;
  }
  if (pos == 0 || pos > count) return kEndOfFile;
  row.entry.clear();
  row.pos = static_cast<uint32_t>(pos);
  row.data = records_[pos - 1];
  return kOk;
}

Status LegacyStore::FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) {
  const Entries* entries = KeyEntries(number);
  if (!entries) return kInvalidKeyNumber;
  const auto less = [](const Entry& e, const Bytes& b) { return EntryBefore(e.key, b); };
  for (auto it = std::lower_bound(entries->begin(), entries->end(), encoded, less);
       it != entries->end() && it->key.compare(0, encoded.size(), encoded) == 0; ++it)
    if (it->pos == pos) {
      entry = it->key;
      return kOk;
    }
  return kNullKeyPath;
}

Status LegacyStore::CountAll(int number, uint32_t& n) {
  if (number < 0) {
    n = static_cast<uint32_t>(records_.size());
    return kOk;
  }
  const Entries* entries = KeyEntries(number);
  if (!entries) return kInvalidKeyNumber;
  n = static_cast<uint32_t>(entries->size());
  return kOk;
}

Status LegacyStore::CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) {
  if (number < 0) {
    n = static_cast<uint32_t>(std::min<size_t>(pos > 0 ? pos - 1 : 0, records_.size()));
    return kOk;
  }
  const Entries* entries = KeyEntries(number);
  if (!entries) return kInvalidKeyNumber;
  const auto less = [](const Entry& e, const Bytes& b) { return EntryBefore(e.key, b); };
  n = static_cast<uint32_t>(std::lower_bound(entries->begin(), entries->end(), entry, less) -
                            entries->begin());
  return kOk;
}

Status LegacyStore::NthRow(int number, uint32_t rank, Row& row) {
  if (number < 0) return SeekPhysical(Seek::kGreaterEqual, rank + 1, row);
  const Entries* entries = KeyEntries(number);
  return entries ? RowAt(*entries, rank, row) : kInvalidKeyNumber;
}

Status LegacyStore::StatCountsFor(StatCounts& out) {
  out.records = static_cast<uint32_t>(records_.size());
  out.uniqueValues.clear();
  for (const KeyDef& k : def_.keys) out.uniqueValues.push_back(unique_[k.number]);
  return kOk;
}

}  // namespace vader::microkernel
