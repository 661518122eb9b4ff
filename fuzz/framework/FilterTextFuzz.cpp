// Feeds arbitrary text to the filter-text compiler and evaluates whatever it compiles against
// a record of the keyed test table, as a dataset's Filter property would reach the cursor.
// Text that does not parse must be refused with the dataset error, never read out of bounds.
//
// With VADER_FUZZ_EXPRESSION_SEEDS set to a directory, every compiled buffer is also written
// there: running the filter-text seeds once gives filter_expression_fuzz real expressions.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseFilt.h"
#include "engine/KeyedTestTable.h"
#include "framework/DBFilter.h"
#include "framework/FrameworkErrors.h"

namespace {

void WriteSeed(const std::vector<uint8_t>& expression) {
  static const char* const dir = std::getenv("VADER_FUZZ_EXPRESSION_SEEDS");
  static int count = 0;
  if (dir == nullptr) return;
  const std::string path = std::string(dir) + "/expression-" + std::to_string(++count);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(expression.data(), 1, expression.size(), f);
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vader;
  static test::KeyedTestTable table;
  static std::vector<uint8_t> record = test::MakeRecord(
      test::Person{.id = 7, .name = "SMITH", .city = "OSLO", .zip = "0150", .flag = true});
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (TFilterOptions options : {TFilterOptions{0}, TFilterOptions{foCaseInsensitive}}) {
    std::vector<uint8_t> expression;
    try {
      expression = BuildFilterExpression(text, options, nullptr);
    } catch (const EDatabaseError&) {
      return 0;
    }
    if (options == 0) WriteSeed(expression);
    TFilterListItem filter(&table, 0, 0, false, expression.data(), nullptr);
    filter.SetActive(true);
    try {
      filter.TestRecord(record.data());
    } catch (const EVaderEngineError&) {
      // An expression naming no field of the table is refused by the evaluator.
    }
  }
  return 0;
}
