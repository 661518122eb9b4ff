#pragma once
// A file's definition as the Create and Stat buffers carry it: the 16-byte file specification,
// a 16-byte segment specification per key segment, and the 265-byte ACS blocks.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/Btrieve.h"

namespace vader::tools {

enum KeyFlagBit : uint16_t {
  kKeyDuplicates = 0x0001,
  kKeyModifiable = 0x0002,
  kKeyBinary = 0x0004,
  kKeyNullAll = 0x0008,
  kKeySegmented = 0x0010,
  kKeyAcs = 0x0020,
  kKeyDescending = 0x0040,
  kKeyRepeatingDuplicates = 0x0080,
  kKeyExtendedType = 0x0100,
  kKeyNullAny = 0x0200,
  kKeyNoCase = 0x0400,
  kKeyNamedAcs = 0x0800,
};

enum FileFlagBit : uint16_t {
  kFileVariable = 0x0001,
  kFileBlankTruncation = 0x0002,
  kFilePreallocate = 0x0004,
  kFileNumberedKeys = 0x0400,
};

constexpr size_t kSpecSize = 16;
constexpr size_t kAcsBlockSize = 265;

struct SegmentSpec {
  uint16_t position = 1;  // 1-based
  uint16_t length = 0;
  uint16_t flags = 0;  // without kKeySegmented, which the key's shape decides
  uint8_t type = 0;
  uint8_t nullValue = 0;
  uint8_t acs = 0;
};

struct KeySpec {
  int number = 0;
  std::vector<SegmentSpec> segments;
};

struct FileSpec {
  uint16_t recordLength = 0;
  uint16_t pageSize = 4096;
  uint16_t flags = 0;
  uint16_t preallocate = 0;
  uint8_t duplicatePointers = 0;
  std::vector<KeySpec> keys;
  std::vector<Bytes> acs;  // whole 265-byte blocks, by ACS number

  size_t SegmentCount() const;
};

// The Create buffer; key numbers go into the specs when the file asks for numbered keys.
Bytes CreateBuffer(const FileSpec& spec);
// The segment specifications of one key (Create Index).
Bytes SegmentBuffer(const KeySpec& key, bool numbered);
// Reads a Stat buffer (extended layout); throws std::runtime_error when it is malformed.
FileSpec ParseStat(const Bytes& stat);

// The 265-byte block of a user ACS that folds 'a'..'z' onto 'A'..'Z' (name "UPPER").
Bytes UpperAcs();

}  // namespace vader::tools
