// Feeds arbitrary bytes to the filter-expression evaluator as an expression buffer, against a
// record of the keyed test table, through the same filter object the cursor uses. Any read
// outside the buffer or the record is a sanitizer report; a malformed expression must only
// reject the record.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/BseFilt.h"
#include "engine/KeyedTestTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vader;
  static test::KeyedTestTable table;
  std::vector<uint8_t> record = test::MakeRecord(
      test::Person{.id = 7, .name = "SMITH", .city = "OSLO", .zip = "", .flag = true});
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
