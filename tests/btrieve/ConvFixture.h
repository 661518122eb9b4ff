#pragma once
// Shared helpers of the conversion tests: encode and decode one field through the public
// converters, with the options and the time-zone bias reset around every test.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrErrs.h"

namespace vader::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::string_view chars) { return Bytes(chars.begin(), chars.end()); }

// An engine value as the converter left it; bytes it did not write keep the 0x5A fill.
struct Decoded {
  std::array<uint8_t, 512> value;
  bool blank = false;

  template <class T>
  T As() const {
    T v;
    std::memcpy(&v, value.data(), sizeof v);
    return v;
  }
  std::string Text() const { return reinterpret_cast<const char*>(value.data()); }
  bool Untouched(size_t n) const {
    for (size_t i = 0; i < n; ++i)
      if (value[i] != 0x5A) return false;
    return true;
  }
};

inline Decoded Decode(uint16_t type, const Bytes& native, int dec = 0) {
  Decoded d;
  d.value.fill(0x5A);
  ConvertNativeToLocal(type, static_cast<uint16_t>(native.size()), static_cast<int16_t>(dec), 0,
                       native.data(), d.value.data(), d.blank);
  return d;
}

// Encodes into a field prefilled with `fill`.
inline Bytes EncodeRaw(uint16_t type, size_t size, const void* value, int dec = 0,
                       uint8_t fill = 0xEE) {
  Bytes field(size, fill);
  ConvertLocalToNative(type, static_cast<uint16_t>(size), static_cast<int16_t>(dec), 0, value,
                       field.data());
  return field;
}

template <class T>
Bytes Encode(uint16_t type, size_t size, T value, int dec = 0) {
  return EncodeRaw(type, size, &value, dec);
}

inline Bytes EncodeText(uint16_t type, size_t size, const char* text) {
  return EncodeRaw(type, size, text);
}

template <class T>
T RoundTrip(uint16_t type, size_t size, T value, int dec = 0) {
  return Decode(type, Encode(type, size, value, dec), dec).template As<T>();
}

// Engine timestamp of a calendar date and time of day.
inline double Timestamp(int y, int m, int d, int64_t msOfDay = 0) {
  return static_cast<double>(DayNumber(y, m, d)) * 86'400'000.0 + static_cast<double>(msOfDay);
}

// Expects the converter's own failure status.
#define EXPECT_CONVERSION_ERROR(statement)                     \
  do {                                                         \
    try {                                                      \
      statement;                                               \
      ADD_FAILURE() << "no conversion error";                  \
    } catch (const ::vader::EBtrieveEngineError& e) {          \
      EXPECT_EQ(e.NativeError(), ::vader::B_CONVERSION_ERROR); \
    }                                                          \
  } while (0)

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConversionOptions() = TConversionOptions{};
    SetTimeZoneBias(0);
  }
  void TearDown() override {
    ConversionOptions() = TConversionOptions{};
    SetTimeZoneBias(savedBias_);
    SetConversionFunctions(nullptr);
  }

 private:
  int32_t savedBias_ = TimeZoneBias();
};

}  // namespace vader::testing
