#pragma once
// A file's definition as the Create and Stat buffers carry it: the 16-byte file header,
// a 16-byte segment descriptor per key segment, and the 265-byte ACS blocks.

#include <cstdint>
#include <string>
#include <vector>

#include "microkernel/FileLayout.h"
#include "tools/Btrieve.h"

namespace vader::tools {

// Key and file flag bits are the record manager's own constants.
using microkernel::kFileBlankTruncation;
using microkernel::kFileEncrypted;
using microkernel::kFileOwnerLevelUnknown;
using microkernel::kFileOwnerName;
using microkernel::kFileOwnerReadOnly;
using microkernel::kFileNumberedKeys;
using microkernel::kFileVariable;
using microkernel::kKeyAcs;
using microkernel::kKeyBinary;
using microkernel::kKeyDescending;
using microkernel::kKeyDuplicates;
using microkernel::kKeyExtendedType;
using microkernel::kKeyModifiable;
using microkernel::kKeyNoCase;
using microkernel::kKeyNullAll;
using microkernel::kKeyNullAny;
using microkernel::kKeyPending;
using microkernel::kKeySegmented;
constexpr uint16_t kKeyRepeatingDuplicates = microkernel::kKeyRepeatDups;
constexpr uint16_t kKeyNamedAcs = microkernel::kKeyNamedAcsBit;
constexpr uint16_t kFilePreallocate = 0x0004;  // pre-allocate the pages of the file def

constexpr size_t kDescriptorSize = 16;
constexpr size_t kAcsBlockSize = 265;

struct SegmentDef {
  uint16_t position = 1;  // 1-based
  uint16_t length = 0;
  uint16_t flags = 0;  // without kKeySegmented, which the key's shape decides
  uint8_t type = 0;
  uint8_t nullValue = 0;
  uint8_t acs = 0;
};

struct KeyDef {
  int number = 0;
  std::vector<SegmentDef> segments;
  uint32_t uniqueValues = 0;  // reported by Stat; ignored by Create
};

struct FileDef {
  uint16_t recordLength = 0;
  uint16_t pageSize = 4096;
  uint16_t flags = 0;
  uint16_t preallocate = 0;
  uint8_t duplicatePointers = 0;
  std::vector<KeyDef> keys;
  std::vector<Bytes> acs;  // whole 265-byte blocks, by ACS number

  size_t SegmentCount() const;
};

// The Create buffer; key numbers go into the descriptors when the file asks for numbered keys.
Bytes CreateBuffer(const FileDef& def);
// The segment descriptors of one key (Create Index).
Bytes SegmentBuffer(const KeyDef& key, bool numbered);
// Reads a Stat buffer (extended layout); throws std::runtime_error when it is malformed.
FileDef ParseStat(const Bytes& stat);

// The 265-byte block of a user ACS that folds 'a'..'z' onto 'A'..'Z' (name "UPPER").
Bytes UpperAcs();

}  // namespace vader::tools
