#pragma once
// Field access in the pages of a Btrieve file. Callers check the bounds before they read.

#include <cstdint>

namespace vader::legacy {

// Little-endian 16-bit word.
inline uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
// Little-endian 32-bit value (the usage counts of 6.x control records and tables).
inline uint32_t Long(const uint8_t* p) { return uint32_t{Word(p)} | uint32_t{Word(p + 2)} << 16; }
// Two little-endian words, high word first: counts, record addresses and pre-6.0 page numbers.
inline uint32_t HiLo(const uint8_t* p) { return uint32_t{Word(p)} << 16 | Word(p + 2); }
// A 6.x page pointer [high][type][low][middle]: the 24-bit page number (the type is p[1]).
inline uint32_t PagePointer(const uint8_t* p) {
  return uint32_t{p[0]} << 16 | uint32_t{p[3]} << 8 | p[2];
}
// A variable-tail pointer [high][low][middle][fragment]: the 24-bit page number.
inline uint32_t TailPage(const uint8_t* p) {
  return uint32_t{p[0]} << 16 | uint32_t{p[2]} << 8 | p[1];
}

}  // namespace vader::legacy
