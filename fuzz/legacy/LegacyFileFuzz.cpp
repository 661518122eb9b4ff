// Reads arbitrary bytes as a Btrieve data file and does everything the import does with it:
// every record, every index, the insertion order. A file that cannot be read must raise
// LegacyError; anything else (a crash, a read outside the file, another exception) is a find.

#include <cstddef>
#include <cstdint>
#include <string>

#include "legacy/LegacyFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vader::legacy;
  // Whole 512-byte pages, so that inputs get past the size check to the structures.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.resize((size + 511) / 512 * 512, '\0');
  try {
    const LegacyFile file("fuzz", std::move(bytes));
    file.Verify();
    size_t conflicts = 0;
    for (uint32_t address : file.InsertionOrder(conflicts)) file.Record(address);
  } catch (const LegacyError&) {
  }
  return 0;
}
