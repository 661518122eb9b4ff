#pragma once
// Test data in the pre-6.0 Btrieve format: the words and 32-bit values of its headers, and whole
// files without keys holding given rows (the dictionary files of a test database).

#include <cstdint>
#include <string>
#include <vector>

#include "legacy/LegacyFile.h"

namespace vader::legacy::testing {

// Little-endian words and the format's high-word-first 32-bit values.
inline void PutWord(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v), b[at + 1] = static_cast<char>(v >> 8);
}
inline void PutHiLo(std::string& b, size_t at, uint32_t v) {
  PutWord(b, at, static_cast<uint16_t>(v >> 16)), PutWord(b, at + 2, static_cast<uint16_t>(v));
}
inline uint32_t GetHiLo(const std::string& b, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data()) + at;
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 24 | uint32_t{p[2]} | uint32_t{p[3]} << 8;
}

// A pre-6.0 file without keys (level 3, 4096-byte pages unless `page` says otherwise) holding
// `rows`: the dictionary files of a test database, which no sample provides.
inline std::string Pre6File(uint16_t length, const std::vector<std::string>& rows,
                            uint16_t page = 4096) {
  const size_t perPage = (page - 6) / length, pages = 2 + (rows.size() - 1) / perPage;
  std::string f(pages * page, '\0');
  PutWord(f, 0x06, 0x0300), PutWord(f, 0x08, page), PutHiLo(f, 0x0C, kNone);
  PutHiLo(f, 0x10, kNone), PutWord(f, 0x16, length), PutWord(f, 0x18, length);
  PutHiLo(f, 0x1A, static_cast<uint32_t>(rows.size())),
      PutHiLo(f, 0x26, static_cast<uint32_t>(pages));
  PutHiLo(f, 0x1E, static_cast<uint32_t>(pages - 1));
  PutWord(f, 0x2A,
          static_cast<uint16_t>(page - 6 - (rows.size() - (pages - 2) * perPage) * length));
  for (size_t p = 1; p < pages; ++p)
    PutHiLo(f, p * page, static_cast<uint32_t>(p)), PutWord(f, p * page + 4, 0x8001);
  for (size_t r = 0; r < rows.size(); ++r)
    f.replace((1 + r / perPage) * page + 6 + r % perPage * length, length, rows[r]);
  return f;
}

// A 97-byte FILE.DDF row.
inline std::string FileRow(char id, const std::string& name, const std::string& location,
                           char flags) {
  std::string row = std::string{id, '\0'} + name;
  row.resize(22, ' ');
  row += location;
  row.resize(86, ' ');
  return row + flags + std::string(10, ' ');
}

}  // namespace vader::legacy::testing
