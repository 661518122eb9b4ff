#pragma once
// The real Btrieve files of tests/legacy/data, and helpers to describe and damage them.

#include <cstdint>
#include <string>

#include "common/TempDir.h"
#include "legacy/LegacyFile.h"

namespace vader::legacy::testing {

inline std::string SamplePath(const std::string& name) {
  return std::string(VADER_LEGACY_DATA) + "/" + name;
}
inline std::string Sample(const std::string& name) {
  return vader::testing::TempDir::Read(SamplePath(name));
}

// Keys in the notation "k0=zstr@0/16acs+zstr@16/16acs;k1=..." (0-based offset / length).
std::string KeyShapes(const FileInfo& info);

// Byte patches in the notation the format uses.
inline void PutWord(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
inline void PutHiLo(std::string& b, size_t at, uint32_t v) {
  PutWord(b, at, static_cast<uint16_t>(v >> 16));
  PutWord(b, at + 2, static_cast<uint16_t>(v));
}
inline uint32_t GetHiLo(const std::string& b, size_t at) {
  auto w = [&](size_t i) {
    return uint32_t{static_cast<uint8_t>(b[i])} | uint32_t{static_cast<uint8_t>(b[i + 1])} << 8;
  };
  return w(at) << 16 | w(at + 2);
}

}  // namespace vader::legacy::testing
