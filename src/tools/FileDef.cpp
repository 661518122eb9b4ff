#include "tools/FileDef.h"

#include <stdexcept>

#include "tools/NativeTypes.h"

namespace vader::tools {
namespace {

Bytes SegmentBytes(const SegmentDef& s, bool more, int keyNumber, bool numbered) {
  Bytes b(kDescriptorSize, '\0');
  WriteLe(b, 0, 2, s.position);
  WriteLe(b, 2, 2, s.length);
  WriteLe(b, 4, 2, static_cast<uint16_t>(s.flags | (more ? kKeySegmented : 0)));
  b[10] = static_cast<char>(s.type);
  b[11] = static_cast<char>(s.nullValue);
  b[14] = static_cast<char>(numbered ? keyNumber : 0);
  b[15] = static_cast<char>(s.acs);
  return b;
}

}  // namespace

size_t FileDef::SegmentCount() const {
  size_t n = 0;
  for (const KeyDef& k : keys) n += k.segments.size();
  return n;
}

Bytes SegmentBuffer(const KeyDef& key, bool numbered) {
  Bytes out;
  for (size_t i = 0; i < key.segments.size(); ++i)
    out += SegmentBytes(key.segments[i], i + 1 < key.segments.size(), key.number, numbered);
  return out;
}

Bytes CreateBuffer(const FileDef& def) {
  Bytes out(kDescriptorSize, '\0');
  WriteLe(out, 0, 2, def.recordLength);
  WriteLe(out, 2, 2, def.pageSize);
  out[4] = static_cast<char>(def.keys.size());
  WriteLe(out, 10, 2, def.flags);
  out[12] = static_cast<char>(def.duplicatePointers);
  WriteLe(out, 14, 2, def.preallocate);
  const bool numbered = def.flags & kFileNumberedKeys;
  for (const KeyDef& k : def.keys) out += SegmentBuffer(k, numbered);
  for (const Bytes& a : def.acs) out += a;
  return out;
}

FileDef ParseStat(const Bytes& stat) {
  if (stat.size() < kDescriptorSize) throw std::runtime_error("the Stat buffer is too short");
  FileDef def;
  def.recordLength = static_cast<uint16_t>(ReadLe(stat, 0, 2));
  def.pageSize = static_cast<uint16_t>(ReadLe(stat, 2, 2));
  const size_t keyCount = static_cast<uint8_t>(stat[4]);
  // What Stat tells of the owner name is no part of the definition a Create takes.
  def.flags = static_cast<uint16_t>(ReadLe(stat, 10, 2) &
                                    ~uint64_t{microkernel::kOwnerFileFlagsDroppedByCreate});
  if (def.flags & kFilePreallocate) def.preallocate = static_cast<uint16_t>(ReadLe(stat, 14, 2));
  size_t at = kDescriptorSize;
  for (size_t k = 0; k < keyCount; ++k) {
    KeyDef key;
    bool more = true;
    while (more) {
      if (at + kDescriptorSize > stat.size())
        throw std::runtime_error("the Stat buffer is truncated");
      const uint16_t flags = static_cast<uint16_t>(ReadLe(stat, at + 4, 2)) & ~kKeyPending;
      SegmentDef s;
      s.position = static_cast<uint16_t>(ReadLe(stat, at, 2));
      s.length = static_cast<uint16_t>(ReadLe(stat, at + 2, 2));
      s.flags = flags & ~kKeySegmented;
      s.type = static_cast<uint8_t>(stat[at + 10]);
      s.nullValue = static_cast<uint8_t>(stat[at + 11]);
      s.acs = static_cast<uint8_t>(stat[at + 15]);
      key.number = static_cast<uint8_t>(stat[at + 14]);
      key.uniqueValues = static_cast<uint32_t>(ReadLe(stat, at + 6, 4));
      key.segments.push_back(s);
      more = flags & kKeySegmented;
      at += kDescriptorSize;
    }
    def.keys.push_back(key);
  }
  for (; at + kAcsBlockSize <= stat.size(); at += kAcsBlockSize)
    def.acs.push_back(stat.substr(at, kAcsBlockSize));
  return def;
}

Bytes UpperAcs() {
  Bytes block(kAcsBlockSize, '\0');
  block[0] = static_cast<char>(0xAC);
  block.replace(1, 8, "UPPER   ");
  for (int c = 0; c < 256; ++c)
    block[9 + c] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return block;
}

}  // namespace vader::tools
