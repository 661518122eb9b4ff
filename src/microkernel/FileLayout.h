#pragma once
// File and key definitions: parsing of the Create / Create Index buffers, validation, and the
// Stat layout (16-byte file header, 16-byte segment descriptors, 265-byte ACS blocks).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "microkernel/Bytes.h"
#include "microkernel/Status.h"

namespace vader::microkernel {

// Key flag bits of a segment descriptor.
enum KeyFlag : uint16_t {
  kKeyDuplicates = 0x0001,
  kKeyModifiable = 0x0002,
  kKeyBinary = 0x0004,
  kKeyNullAll = 0x0008,
  kKeySegmented = 0x0010,
  kKeyAcs = 0x0020,
  kKeyDescending = 0x0040,
  kKeyRepeatDups = 0x0080,
  kKeyExtendedType = 0x0100,
  kKeyNullAny = 0x0200,
  kKeyNoCase = 0x0400,
  kKeyNamedAcsBit = 0x0800,
  kKeyOnlyFile = 0x4000,
  kKeyPending = 0x8000,
};

// File flag bits of the file header.
enum FileFlag : uint16_t {
  kFileVariable = 0x0001,
  kFileBlankTruncation = 0x0002,
  kFileNumberedKeys = 0x0400,
};

// File flag bits that Stat adds about the owner name, never the name itself. They are facts of
// the file, not of its definition: Create ignores them, so a Stat buffer still clones a file.
enum OwnerFileFlag : uint16_t {
  kFileOwnerLevelUnknown = 0x1000,  // an owner name is set; the file does not say what it guards
  kFileOwnerReadOnly = 0x2000,      // reading is allowed without the owner name
  kFileOwnerName = 0x4000,          // an owner name is set
  kFileEncrypted = 0x8000,          // the owner name was set with encryption (levels 2 and 3)
};
constexpr uint16_t kOwnerFileFlags =
    kFileOwnerLevelUnknown | kFileOwnerReadOnly | kFileOwnerName | kFileEncrypted;
// The bits Create drops from a caller's file flags. 0x1000 stays: callers also set it as part
// of 0x1200 (no system data), and a flag a caller gave must come back as it was.
constexpr uint16_t kOwnerFileFlagsDroppedByCreate =
    kFileOwnerReadOnly | kFileOwnerName | kFileEncrypted;

// The owner file flags of access level `level` (0..3, as Set Owner takes it).
uint16_t OwnerFileFlagsOfLevel(int level);

// Extended data types of key segments.
enum KeyType : uint8_t {
  kString = 0,
  kInteger = 1,
  kFloat = 2,
  kDate = 3,
  kTime = 4,
  kDecimal = 5,
  kMoney = 6,
  kLogical = 7,
  kNumeric = 8,
  kBFloat = 9,
  kLString = 10,
  kZString = 11,
  kUnsignedBinary = 14,
  kAutoIncrement = 15,
  kNumericSts = 17,
  kNumericSa = 18,
  kCurrency = 19,
  kTimestamp = 20,
  kWString = 25,
  kWZString = 26,
  kGuid = 27,
  kNumericSlb = 28,
  kNumericSls = 29,
  kDateTime = 30,
  kNumericStb = 31,
  kAutoTimestamp = 32,
  kTimestamp2 = 34,
  kNullIndicator = 255,
  kOldBinary = 254,  // internal: flag-0x04 binary segment without an extended type
};

constexpr size_t kFileHeaderSize = 16;
constexpr size_t kSegmentSize = 16;
constexpr size_t kAcsSize = 265;
constexpr size_t kMaxSegments = 119;
constexpr size_t kMaxKeyLength = 255;
constexpr size_t kMaxRecordLength = 65535;

struct Segment {
  uint16_t position = 0;  // 1-based offset in the record
  uint16_t length = 0;
  uint16_t flags = 0;
  uint8_t rawType = 0;     // extended type byte as given
  uint8_t type = kString;  // effective type
  uint8_t nullValue = 0;
  uint8_t acsNumber = 0;
  size_t Offset() const { return position - 1u; }
};

struct KeyDef {
  uint8_t number = 0;
  std::vector<Segment> segments;
  uint16_t Flags() const { return segments.front().flags; }
  bool Duplicates() const { return Flags() & kKeyDuplicates; }
  bool Modifiable() const { return Flags() & kKeyModifiable; }
  bool AutoIncrement() const { return segments.front().type == kAutoIncrement; }
  size_t Length() const;  // key-buffer length: the sum of the segment lengths
};

struct FileDefinition {
  uint16_t recordLength = 0;
  uint16_t pageSize = 0;
  uint16_t flags = 0;
  std::vector<KeyDef> keys;  // ascending key number
  std::vector<Bytes> acs;    // 265-byte ACS blocks, by ACS number

  bool Variable() const { return flags & kFileVariable; }
  const KeyDef* FindKey(int number) const;
  size_t SegmentCount() const;
  // The storage form: a Create buffer with key numbers filled in.
  Bytes Serialize() const;
};

// Parses and validates a Create buffer of `length` bytes.
// Whether a value of extended type Type may be Length bytes long (as a key segment or a term
// of an extended-read filter).
bool SegmentLengthFitsType(uint8_t type, uint16_t length);

Status ParseCreateBuffer(const uint8_t* data, size_t length, FileDefinition& out);

// `pageSize` when a record of `recordLength` bytes fits its pages here, else the smallest valid
// larger page size that holds one (page size means nothing to the storage; real engines fit
// records into pages with fewer bytes of overhead). `pageSize` when none does.
uint16_t PageSizeHolding(uint16_t recordLength, uint16_t pageSize);

// Parses one key's segment descriptors (Create Index) and adds the key to `def` with key
// number `number`, or the lowest free one when `number` is negative; `number` receives it.
Status AddKeyFromSegments(const uint8_t* data, size_t length, int& number, FileDefinition& def);

// Removes key `number`; renumbers the higher keys down by one when `renumber`.
Status DropKey(int number, bool renumber, FileDefinition& def);

struct StatCounts {
  uint32_t records = 0;
  std::vector<uint32_t> uniqueValues;  // per key, in key order
};

// Writes the Stat layout into out[0..capacity); returns the number of bytes the full layout
// needs. `extended` reports the file version byte (Stat with key number -1); `ownerFlags` joins
// the file flags.
size_t WriteStat(const FileDefinition& def, const StatCounts& counts, uint16_t ownerFlags,
                 bool extended, uint8_t* out, size_t capacity);

}  // namespace vader::microkernel
