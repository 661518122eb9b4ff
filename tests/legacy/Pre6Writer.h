#pragma once
// Test double: writes small pre-6.0 Btrieve files (level 3) the way the real samples are laid
// out, for dictionaries no sample provides. One leaf index page per key, data pages after them,
// linked duplicates chained through each slot in record order. Keys of type 14 (unsigned
// binary) sort as numbers, every other type byte by byte.

#include <cstdint>
#include <string>
#include <vector>

namespace vader::legacy::testing {

struct WriterSegment {
  uint16_t offset = 0;  // 0-based
  uint16_t length = 0;
  uint8_t type = 0;  // extended type
};

struct WriterKey {
  std::vector<WriterSegment> segments;
  bool duplicates = false;
};

std::string WritePre6File(uint16_t recordLength, const std::vector<WriterKey>& keys,
                          const std::vector<std::string>& records);

// FILE.DDF, FIELD.DDF and INDEX.DDF rows in their published layouts, and the files' keys.
std::string FileRow(uint16_t id, const std::string& name, const std::string& location,
                    uint8_t flags);
std::string FieldRow(uint16_t id, uint16_t table, const std::string& name, uint8_t type,
                     uint16_t offset, uint16_t size);
std::string IndexRow(uint16_t table, uint16_t field, uint16_t number, uint16_t part,
                     uint16_t flags);
std::vector<WriterKey> FileDdfKeys();
std::vector<WriterKey> FieldDdfKeys();
std::vector<WriterKey> IndexDdfKeys();

}  // namespace vader::legacy::testing
