#pragma once
// Little-endian field access on caller buffers, bounded by the caller.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vader::microkernel {

inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Unsigned little-endian integer of up to 8 bytes.
inline uint64_t ReadUnsigned(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && i < 8; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}
inline void WriteUnsigned(uint8_t* p, size_t n, uint64_t v) {
  for (size_t i = 0; i < n; ++i) p[i] = i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : 0;
}

using Bytes = std::string;  // binary-safe byte string

}  // namespace vader::microkernel
