// libFuzzer target for the parsers of caller-supplied bytes: the Create buffer (and Stat's
// output fed back to Create), key encoding of arbitrary key values, and the descriptor of the
// extended reads applied to a record.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "microkernel/ExtendedFilter.h"
#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"

using namespace vader::microkernel;

namespace {

void FuzzExtended(const uint8_t* data, size_t size) {
  FileDefinition def;
  def.recordLength = 64;
  def.pageSize = 4096;
  def.flags = static_cast<uint16_t>(size % 2);  // fixed and variable-length records
  ExtendedRequest request;
  if (ParseExtendedRequest(data, size, def, request) != kOk) return;
  const Bytes record(reinterpret_cast<const char*>(data), std::min<size_t>(size, 100));
  Bytes out;
  if (request.Matches(record)) request.Extract(record, out);
  if (out.size() != (request.Matches(record) ? request.ExtractLength() : 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzExtended(data, size);
  FileDefinition def;
  if (ParseCreateBuffer(data, size, def) != kOk) return 0;
  std::vector<uint8_t> stat(65536);
  const size_t n =
      WriteStat(def, StatCounts{}, kOwnerFileFlagsDroppedByCreate, true, stat.data(), stat.size());
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
