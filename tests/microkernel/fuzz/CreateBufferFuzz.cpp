// libFuzzer target for the parsers of caller-supplied bytes: the Create buffer (and Stat's
// output fed back to Create), key encoding of arbitrary key values.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"

using namespace vader::microkernel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FileDefinition def;
  if (ParseCreateBuffer(data, size, def) != kOk) return 0;
  std::vector<uint8_t> stat(65536);
  const size_t n = WriteStat(def, StatCounts{}, true, stat.data(), stat.size());
  FileDefinition again;
  if (ParseCreateBuffer(stat.data(), n, again) != kOk) std::abort();
  if (again.Serialize() != def.Serialize()) std::abort();
  for (const KeyDef& key : def.keys) {
    const KeyCodec codec(key, def);
    std::vector<uint8_t> value(codec.Length());
    for (size_t i = 0; i < value.size(); ++i) value[i] = data[i % size];
    if (codec.Encode(value.data()).size() != codec.EncodedLength()) std::abort();
  }
  return 0;
}
