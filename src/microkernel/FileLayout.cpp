#include "microkernel/FileLayout.h"

#include <algorithm>
#include <cstring>

namespace vader::microkernel {
namespace {

bool ValidPageSize(uint16_t size) {
  return (size >= 512 && size <= 4096 && size % 512 == 0) || size == 8192 || size == 16384;
}

uint8_t EffectiveType(uint16_t flags, uint8_t rawType) {
  if (flags & kKeyExtendedType) return rawType;
  return (flags & kKeyBinary) ? kOldBinary : kString;
}

bool LengthFitsType(uint8_t type, uint16_t len) {
  switch (type) {
    case kString:
    case kDecimal:
    case kMoney:
    case kNumeric:
    case kNumericSa:
    case kNumericSlb:
    case kNumericStb:
    case kUnsignedBinary:
      return true;
    case kInteger:
      return len == 1 || len == 2 || len == 4 || len == 8;
    case kFloat:
    case kBFloat:
      return len == 4 || len == 8;
    case kDate:
    case kTime:
      return len == 4;
    case kLogical:
      return len == 1 || len == 2;
    case kLString:
    case kZString:
    case kNumericSts:
    case kNumericSls:
      return len >= 2;
    case kAutoIncrement:
      return len == 2 || len == 4 || len == 8;
    case kCurrency:
    case kTimestamp:
    case kDateTime:
    case kAutoTimestamp:
    case kTimestamp2:
      return len == 8;
    case kWString:
    case kWZString:
    case kOldBinary:
      return len % 2 == 0;
    case kGuid:
      return len == 16;
    case kNullIndicator:
      return len == 1;
    default:
      return false;
  }
}

bool KnownType(uint8_t type) {
  switch (type) {
    case 12:
    case 13:
    case 16:
    case 21:
    case 22:
    case 23:
    case 24:
    case 33:
      return false;
    default:
      return type <= 34 || type == kNullIndicator || type == kOldBinary;
  }
}

Segment ReadSegment(const uint8_t* p) {
  Segment s;
  s.position = ReadU16(p);
  s.length = ReadU16(p + 2);
  s.flags = ReadU16(p + 4) & static_cast<uint16_t>(~kKeyPending);
  s.rawType = p[10];
  s.type = EffectiveType(s.flags, s.rawType);
  s.nullValue = p[11];
  s.acsNumber = p[15];
  return s;
}

// Checks one key against the record length, the type rules and the flag rules.
Status ValidateKey(const KeyDef& key, const FileDefinition& def) {
  constexpr uint16_t kSameOnAllSegments =
      kKeyDuplicates | kKeyModifiable | kKeyNullAll | kKeyNullAny;
  size_t total = 0;
  const uint16_t first = key.segments.front().flags & kSameOnAllSegments;
  for (const Segment& s : key.segments) {
    if (s.length == 0 || s.length > kMaxKeyLength) return kInvalidKeyLength;
    total += s.length;
    if (s.position < 1 || s.position + s.length - 1u > def.recordLength) return kInvalidKeyPosition;
    if (!KnownType(s.type)) return kInvalidKeyType;
    if (!LengthFitsType(s.type, s.length)) return kInvalidKeyLength;
    if ((s.flags & kSameOnAllSegments) != first) return kInconsistentKeyFlags;
    if ((s.flags & kKeyAcs) && s.acsNumber >= def.acs.size()) return kInvalidAcs;
  }
  if (total > kMaxKeyLength) return kInvalidKeyLength;
  if (key.AutoIncrement() && (key.Duplicates() || key.segments.size() > 1))
    return kAutoIncrementError;
  return kOk;
}

// Reads the segments of one key starting at `p`; `available` bounds the read.
Status ReadKeySegments(const uint8_t* p, size_t available, KeyDef& key, size_t& consumed) {
  consumed = 0;
  for (;;) {
    if (available - consumed < kSegmentSize) return kDataBufferTooShort;
    if (key.segments.size() >= kMaxSegments) return kInvalidKeyCount;
    key.segments.push_back(ReadSegment(p + consumed));
    consumed += kSegmentSize;
    if (!(key.segments.back().flags & kKeySegmented)) return kOk;
  }
}

Status CheckAcsBlock(const uint8_t* p) {
  if (p[0] == 0xAC) return kOk;
  return p[0] == 0xAE || p[0] == 0xAD ? kIsrNotFound : kInvalidAcs;
}

void WriteSegment(const Segment& s, uint8_t number, uint32_t unique, uint8_t* p) {
  std::memset(p, 0, kSegmentSize);
  WriteU16(p, s.position);
  WriteU16(p + 2, s.length);
  WriteU16(p + 4, s.flags);
  WriteU32(p + 6, unique);
  p[10] = s.rawType;
  p[11] = s.nullValue;
  p[14] = number;
  p[15] = s.acsNumber;
}

void SortKeys(FileDefinition& def) {
  std::sort(def.keys.begin(), def.keys.end(),
            [](const KeyDef& a, const KeyDef& b) { return a.number < b.number; });
}

}  // namespace

bool SegmentLengthFitsType(uint8_t type, uint16_t length) { return LengthFitsType(type, length); }

uint16_t PageSizeHolding(uint16_t recordLength, uint16_t pageSize) {
  constexpr uint32_t kPageOverhead = 10;
  const uint32_t needed = recordLength + kPageOverhead;
  if (needed <= pageSize) return pageSize;
  for (uint32_t size = 512; size <= 16384; size += size < 4096 ? 512 : size)
    if (size >= pageSize && needed <= size) return static_cast<uint16_t>(size);
  return pageSize;
}

size_t KeyDef::Length() const {
  size_t n = 0;
  for (const Segment& s : segments) n += s.length;
  return n;
}

const KeyDef* FileDefinition::FindKey(int number) const {
  for (const KeyDef& k : keys)
    if (k.number == number) return &k;
  return nullptr;
}

size_t FileDefinition::SegmentCount() const {
  size_t n = 0;
  for (const KeyDef& k : keys) n += k.segments.size();
  return n;
}

Bytes FileDefinition::Serialize() const {
  Bytes out(kFileHeaderSize + kSegmentSize * SegmentCount() + kAcsSize * acs.size(), '\0');
  auto* p = reinterpret_cast<uint8_t*>(out.data());
  WriteU16(p, recordLength);
  WriteU16(p + 2, pageSize);
  p[4] = static_cast<uint8_t>(keys.size());
  WriteU16(p + 10, flags | kFileNumberedKeys);
  p += kFileHeaderSize;
  for (const KeyDef& k : keys)
    for (const Segment& s : k.segments) {
      WriteSegment(s, k.number, 0, p);
      p += kSegmentSize;
    }
  for (const Bytes& a : acs) {
    std::memcpy(p, a.data(), kAcsSize);
    p += kAcsSize;
  }
  return out;
}

Status ParseCreateBuffer(const uint8_t* data, size_t length, FileDefinition& out) {
  if (length < kFileHeaderSize) return kDataBufferTooShort;
  FileDefinition def;
  def.recordLength = ReadU16(data);
  def.pageSize = ReadU16(data + 2);
  def.flags = ReadU16(data + 10) & static_cast<uint16_t>(~kOwnerFileFlagsDroppedByCreate);
  const uint8_t keyCount = data[4];
  if (!ValidPageSize(def.pageSize)) return kInvalidPageSize;
  if (def.recordLength < 4 || def.recordLength > def.pageSize - 10u) return kInvalidRecordLength;
  size_t offset = kFileHeaderSize;
  for (int k = 0; k < keyCount; ++k) {
    KeyDef key;
    size_t consumed = 0;
    if (Status s = ReadKeySegments(data + offset, length - offset, key, consumed); s != kOk)
      return s;
    offset += consumed;
    key.number = (def.flags & kFileNumberedKeys) ? data[offset - 2] : static_cast<uint8_t>(k);
    if (key.number >= kMaxSegments || def.FindKey(key.number)) return kInvalidKeyNumber;
    def.keys.push_back(std::move(key));
  }
  if (def.SegmentCount() > kMaxSegments) return kInvalidKeyCount;
  size_t acsCount = 0;
  for (const KeyDef& k : def.keys)
    for (const Segment& s : k.segments)
      if (s.flags & kKeyAcs) acsCount = std::max<size_t>(acsCount, s.acsNumber + 1u);
  for (size_t a = 0; a < acsCount; ++a, offset += kAcsSize) {
    if (length - offset < kAcsSize) return kDataBufferTooShort;
    if (Status s = CheckAcsBlock(data + offset); s != kOk) return s;
    def.acs.emplace_back(reinterpret_cast<const char*>(data + offset), kAcsSize);
  }
  for (const KeyDef& k : def.keys)
    if (Status s = ValidateKey(k, def); s != kOk) return s;
  def.flags &= static_cast<uint16_t>(~kFileNumberedKeys);
  SortKeys(def);
  out = std::move(def);
  return kOk;
}

Status AddKeyFromSegments(const uint8_t* data, size_t length, int& number, FileDefinition& def) {
  KeyDef key;
  size_t consumed = 0;
  if (Status s = ReadKeySegments(data, length, key, consumed); s != kOk) return s;
  if (def.SegmentCount() + key.segments.size() > kMaxSegments) return kInvalidKeyCount;
  if (number < 0) {
    number = 0;
    while (def.FindKey(number)) ++number;
  }
  if (number >= static_cast<int>(kMaxSegments) || def.FindKey(number)) return kInvalidKeyNumber;
  key.number = static_cast<uint8_t>(number);
  const bool usesAcs = key.segments.front().flags & kKeyAcs;
  FileDefinition next = def;
  if (usesAcs && length - consumed >= kAcsSize) {
    const uint8_t* block = data + consumed;
    if (Status s = CheckAcsBlock(block); s != kOk) return s;
    const Bytes acs(reinterpret_cast<const char*>(block), kAcsSize);
    auto found = std::find(next.acs.begin(), next.acs.end(), acs);
    const auto acsNumber = static_cast<uint8_t>(found - next.acs.begin());
    if (found == next.acs.end()) next.acs.push_back(acs);
    for (Segment& s : key.segments)
      if (s.flags & kKeyAcs) s.acsNumber = acsNumber;
  }
  if (Status s = ValidateKey(key, next); s != kOk) return s;
  next.keys.push_back(std::move(key));
  SortKeys(next);
  def = std::move(next);
  return kOk;
}

Status DropKey(int number, bool renumber, FileDefinition& def) {
  auto it = std::find_if(def.keys.begin(), def.keys.end(),
                         [number](const KeyDef& k) { return k.number == number; });
  if (it == def.keys.end()) return kInvalidKeyNumber;
  def.keys.erase(it);
  if (renumber)
    for (KeyDef& k : def.keys)
      if (k.number > number) --k.number;
  return kOk;
}

uint16_t OwnerFileFlagsOfLevel(int level) {
  uint16_t flags = kFileOwnerName;
  if (level == 1 || level == 3) flags |= kFileOwnerReadOnly;
  if (level == 2 || level == 3) flags |= kFileEncrypted;
  return flags;
}

size_t WriteStat(const FileDefinition& def, const StatCounts& counts, uint16_t ownerFlags,
                 bool extended, uint8_t* out, size_t capacity) {
  Bytes full(kFileHeaderSize + kSegmentSize * def.SegmentCount() + kAcsSize * def.acs.size(), '\0');
  auto* p = reinterpret_cast<uint8_t*>(full.data());
  WriteU16(p, def.recordLength);
  WriteU16(p + 2, def.pageSize);
  p[4] = static_cast<uint8_t>(def.keys.size());
  p[5] = extended ? 0x60 : 0;
  WriteU32(p + 6, counts.records);
  // Key numbers are reported in the segments; when they have gaps (a Drop Index without
  // renumbering) the flag makes a Create from this buffer keep them.
  bool contiguous = true;
  for (size_t k = 0; k < def.keys.size(); ++k) contiguous &= def.keys[k].number == k;
  const uint16_t flags = def.flags | (ownerFlags & kOwnerFileFlags);
  WriteU16(p + 10, contiguous ? flags : flags | kFileNumberedKeys);
  p += kFileHeaderSize;
  for (size_t k = 0; k < def.keys.size(); ++k)
    for (const Segment& s : def.keys[k].segments) {
      const uint32_t unique = k < counts.uniqueValues.size() ? counts.uniqueValues[k] : 0;
      WriteSegment(s, def.keys[k].number, unique, p);
      p += kSegmentSize;
    }
  for (const Bytes& a : def.acs) {
    std::memcpy(p, a.data(), kAcsSize);
    p += kAcsSize;
  }
  std::memcpy(out, full.data(), std::min(capacity, full.size()));
  return full.size();
}

}  // namespace vader::microkernel
