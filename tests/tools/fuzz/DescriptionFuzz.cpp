// libFuzzer target for the text parsers: file descriptions, table schemas and sequential record
// streams. A description that parses must describe to text that parses to the same definition.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tools/Description.h"
#include "tools/Sequential.h"
#include "tools/TableSchema.h"
#include "tools/TextLines.h"

using namespace vader::tools;

namespace {

void FuzzDescription(const std::string& text) {
  try {
    const FileDef def = ParseDescription(text);
    const std::string described = Describe(def);
    if (Describe(ParseDescription(described)) != described) std::abort();
  } catch (const ParseError&) {
  }
}

void FuzzSchema(const std::string& text) {
  try {
    for (const TableDef& t : ParseSchema(text)) FileDefFor(t);
  } catch (const ParseError&) {
  }
}

void FuzzSequential(const std::string& text) {
  std::istringstream in(text);
  SequentialReader reader(in);
  Bytes record;
  try {
    while (reader.Next(record)) {
    }
  } catch (const SequentialError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  FuzzDescription(text);
  FuzzSchema(text);
  FuzzSequential(text);
  return 0;
}
