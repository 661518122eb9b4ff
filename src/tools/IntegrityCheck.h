#pragma once
// Checks that every key index of a file agrees with its records. A local file's key tables
// are first compared with its records straight from its storage; each key this does not prove
// sound (and every key of a file on a server or of a real Btrieve engine) is checked through
// the API: the physical order gives the records; the key path is walked and compared with
// them, and its order is proved with the record manager's own key encoding, or, where that
// finds records out of place, by looking each record up by its own key value.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/FileDef.h"

namespace vader::tools {

struct CheckReport {
  uint64_t records = 0;
  size_t keys = 0;
  uint64_t problemCount = 0;
  std::vector<std::string> problems;  // the first kMaxListed of them
  static constexpr size_t kMaxListed = 200;
  bool Ok() const { return problemCount == 0; }
};

CheckReport CheckFile(const std::string& path, const std::string& owner = "");

// The key value of `record` for `key`: its segments' bytes, in order.
Bytes ExtractKey(const KeyDef& key, const Bytes& record);
// Whether the null rule of the key leaves `record` out of its index.
bool NullInKey(const KeyDef& key, const Bytes& record);

}  // namespace vader::tools
