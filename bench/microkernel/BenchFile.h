#pragma once
// The file both record-manager benchmarks measure: fixed-length records with one unique INTEGER
// key on their first four bytes, created and opened through BTRCALL.

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using BtrCall = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);

// Creates the file at `path` (replacing one there) and opens it on `pb`; `key` (255 bytes)
// receives the file name.
inline void CreateBenchFile(BtrCall call, uint8_t* pb, uint8_t* key, const std::string& path,
                            uint16_t recordLength) {
  uint8_t layout[32] = {};
  const uint16_t pageSize = 4096, pos = 1, len = 4, flags = 0x100;
  std::memcpy(layout, &recordLength, 2);
  std::memcpy(layout + 2, &pageSize, 2);
  layout[4] = 1;
  std::memcpy(layout + 16, &pos, 2);
  std::memcpy(layout + 18, &len, 2);
  std::memcpy(layout + 20, &flags, 2);
  layout[26] = 1;  // INTEGER
  char name[255] = {};
  std::strncpy(name, path.c_str(), sizeof name - 1);
  uint32_t layoutLength = sizeof layout;
  if (call(14, pb, layout, &layoutLength, name, 255, 0) != 0) throw std::runtime_error("create");
  std::memcpy(key, name, sizeof name);
  if (call(0, pb, nullptr, &layoutLength, key, 255, 0) != 0) throw std::runtime_error("open");
}

// Inserts records 1 to `count` into the file open on `pb`, in transactions of `perTransaction`
// records (all in one by default); `fill(id, record)` writes each record of `recordLength` bytes.
template <class Fill>
void FillBenchFile(BtrCall call, uint8_t* pb, uint8_t* key, uint32_t count, uint16_t recordLength,
                   Fill fill, uint32_t perTransaction = UINT32_MAX) {
  std::vector<uint8_t> record(recordLength);
  uint8_t scratch[4];
  uint32_t length = 0;
  call(19, pb, scratch, &(length = 0), key, 255, 0);
  for (uint32_t id = 1; id <= count; ++id) {
    if ((id - 1) % perTransaction == 0 && id > 1) {
      call(20, pb, scratch, &(length = 0), key, 255, 0);
      call(19, pb, scratch, &(length = 0), key, 255, 0);
    }
    fill(id, record.data());
    length = recordLength;
    if (const int16_t s = call(2, pb, record.data(), &length, key, 255, -1); s != 0)
      throw std::runtime_error("insert: status " + std::to_string(s));
  }
  call(20, pb, scratch, &(length = 0), key, 255, 0);
}
