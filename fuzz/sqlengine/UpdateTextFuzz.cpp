// libFuzzer target for the reader of UPDATE statements the relational engine runs itself: any
// text is read without a fault, and what it reads lies in the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sqlengine/BulkUpdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vader::sqlengine::UpdateText update;
  if (!vader::sqlengine::ParseUpdate(text, update)) return 0;
  const auto inText = [&](const std::string& part) { return text.find(part) != std::string::npos; };
  if (update.columns.size() != update.values.size() || update.columns.empty()) std::abort();
  if (!inText(update.table) || !inText(update.where)) std::abort();
  for (const std::string& value : update.values)
    if (value.empty() || !inText(value)) std::abort();
  return 0;
}
