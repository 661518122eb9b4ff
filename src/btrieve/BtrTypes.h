#pragma once
// Byte layouts the driver exchanges with the record manager and reads from the dictionary:
// the Stat data buffer with its key-segment definitions, and the dictionary's field and
// index-segment records. All packed and little-endian.

#include <cstddef>
#include <cstdint>

namespace vader {

// Size of the Stat data buffer: the file definition and 119 key-segment definitions.
constexpr size_t kStatAreaSize = 1920;
// Size of one alternate collating sequence definition appended after the segment definitions.
constexpr size_t kAcsDefinitionSize = 265;
constexpr size_t kPositionBlockSize = 128;
constexpr size_t kBtrKeyBufferSize = 256;
constexpr size_t kClientIdSize = 16;
// Key length passed with every operation: the whole key buffer.
constexpr uint8_t kFullKeyLength = 255;

// Key flags of a segment definition that the driver reads.
constexpr uint16_t kKeyFlagSegmented = 0x10;
constexpr uint16_t kKeyFlagAltCollation = 0x20;

#pragma pack(push, 1)
struct StatFileSpec {
  uint16_t RecordLength;
  uint16_t PageSize;
  uint8_t KeyCount;
  uint8_t FileVersion;
  uint32_t RecordCount;
  uint16_t FileFlags;
  uint32_t UnusedPages;
};

struct KeySegmentSpec {
  uint16_t Position;
  uint16_t Length;
  uint16_t Flags;
  uint32_t UniqueCount;
  uint8_t ExtendedType;
  uint8_t NullValue;
  uint16_t Reserved;
  uint8_t ManualKeyNumber;
  uint8_t AcsNumber;
};

// One FIELD.DDF record.
struct DictionaryField {
  uint16_t FieldId;
  uint16_t TableId;
  char Name[20];
  uint8_t DataType;
  uint16_t Offset;
  uint16_t Size;
  uint8_t Decimals;
  uint16_t Flags;
};

// One INDEX.DDF record: a segment of one index of one table.
struct DictionaryIndexSegment {
  uint16_t TableId;
  uint16_t FieldId;
  uint16_t IndexNumber;
  uint16_t SegmentNumber;
  uint16_t Flags;
};
#pragma pack(pop)

static_assert(sizeof(StatFileSpec) == 16);
static_assert(offsetof(StatFileSpec, KeyCount) == 4);
static_assert(offsetof(StatFileSpec, RecordCount) == 6);
static_assert(sizeof(KeySegmentSpec) == 16);
static_assert(offsetof(KeySegmentSpec, Flags) == 4);
static_assert(offsetof(KeySegmentSpec, ExtendedType) == 10);
static_assert(offsetof(KeySegmentSpec, AcsNumber) == 15);
static_assert(sizeof(StatFileSpec) + 119 * sizeof(KeySegmentSpec) == kStatAreaSize);
static_assert(sizeof(DictionaryField) == 32);
static_assert(offsetof(DictionaryField, Name) == 4);
static_assert(offsetof(DictionaryField, DataType) == 24);
static_assert(offsetof(DictionaryField, Offset) == 25);
static_assert(offsetof(DictionaryField, Size) == 27);
static_assert(offsetof(DictionaryField, Decimals) == 29);
static_assert(offsetof(DictionaryField, Flags) == 30);
static_assert(sizeof(DictionaryIndexSegment) == 10);

// Index flags of a dictionary segment that the driver reads.
constexpr uint16_t kIndexFlagDuplicates = 0x0001;
constexpr uint16_t kIndexFlagDescending = 0x0040;
constexpr uint16_t kIndexFlagCaseInsensitive = 0x0400;
// Published dictionaries mark a case-insensitive index with 0x20 (0x400 is the bit of a
// Btrieve key definition); either is taken as case-insensitive.
constexpr uint16_t kDictionaryFlagCaseInsensitive = 0x0020;

}  // namespace vader
