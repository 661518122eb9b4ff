#pragma once
// Typed reads and writes of values in byte buffers that may be unaligned. Records exchanged
// with the data manager are packed little-endian, as this machine is.

#include <cstring>

namespace vader::platform {

template <class T>
T Load(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <class T>
void Store(void* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

}  // namespace vader::platform
