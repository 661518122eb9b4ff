// Feeds arbitrary bytes to the filter-expression evaluator as an expression buffer, against a
// record of a small table, through the same filter object the cursor uses. Any read outside the
// buffer or the record is a sanitizer report; a malformed expression must only reject.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/BseFilt.h"
#include "engine/BseTable.h"

namespace {

using namespace vader;

// A table whose native and local forms are the same bytes.
class FuzzTable : public TBaseTable {
 public:
  FuzzTable() : TBaseTable(nullptr, nullptr, "FUZZ", nullptr, nullptr, 0, 0) {
    AddField("ID", fldINT32, 0, 4);
    AddField("NAME", fldZSTRING, 4, 20);
    AddField("FLAG", fldBOOL, 24, 2);
    AddField("SMALL", fldINT16, 26, 2);
    AddField("WHEN", fldDATE, 28, 4);
    AddField("BIG", fldZSTRING, 32, 300);
    SetRecordSize(332);
  }
  void NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t length, const uint8_t* src, void* dest,
                     bool& blank) override {
    std::memcpy(dest, src, length);
    blank = std::all_of(src, src + length, [](uint8_t b) { return b == 0; });
  }

 private:
  void AddField(const char* name, uint16_t type, uint16_t offset, uint16_t length) {
    FieldDesc desc{};
    std::strncpy(desc.FieldName, name, sizeof desc.FieldName - 1);
    desc.FieldType = type;
    desc.FieldOffset = offset;
    desc.FieldLength = length;
    const auto n = static_cast<uint16_t>(FieldCache().Count() + 1);
    TFieldCacheItem::Create(FieldCache(), desc, n, type, length);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzTable table;
  std::vector<uint8_t> record(332, 0);
  std::memcpy(record.data(), "\x07\0\0\0SMITH", 9);
  // The filter copies as many bytes as the header's total size says; the buffer it copies from
  // is made that long so that only the evaluator's own checks are exercised.
  if (size < 4) return 0;
  uint16_t total = 0;
  std::memcpy(&total, data + 2, sizeof total);
  std::vector<uint8_t> buffer(std::max<size_t>(total, size), 0);
  std::memcpy(buffer.data(), data, size);
  TFilterListItem filter(&table, 0, 0, false, buffer.data(), nullptr);
  filter.SetActive(true);
  filter.TestRecord(record.data());
  return 0;
}
