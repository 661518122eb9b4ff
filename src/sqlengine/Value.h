#pragma once
// Field values between the Btrieve record formats and SQL: every Btrieve data type decodes
// to an SQL value (integers, reals, texts, blobs; an empty date is NULL) and encodes back.

#include <cstdint>
#include <string>

#include "microkernel/FileLayout.h"

namespace vader::sqlengine {

// The record manager's type codes, and the field-only ones the dictionary adds.
using microkernel::kAutoIncrement;
using microkernel::kBFloat;
using microkernel::kCurrency;
using microkernel::kDate;
using microkernel::kDecimal;
using microkernel::kFloat;
using microkernel::kGuid;
using microkernel::kInteger;
using microkernel::kLogical;
using microkernel::kLString;
using microkernel::kMoney;
using microkernel::kNumeric;
using microkernel::kNumericSa;
using microkernel::kNumericSts;
using microkernel::kString;
using microkernel::kTime;
using microkernel::kTimestamp;
using microkernel::kWString;
using microkernel::kWZString;
using microkernel::kZString;
constexpr uint8_t kUnsigned = microkernel::kUnsignedBinary;
constexpr uint8_t kNote = 12;
constexpr uint8_t kLVar = 13;
constexpr uint8_t kBit = 16;

struct Value {
  enum Kind : uint8_t { Null, Int, Real, Text, Blob } kind = Null;
  int64_t i = 0;
  double r = 0;
  std::string s;  // Text and Blob

  static Value Integer(int64_t v) { return Value{Int, v, 0, {}}; }
  static Value Float(double v) { return Value{Real, 0, v, {}}; }
  static Value String(std::string v) { return Value{Text, 0, 0, std::move(v)}; }
  double AsReal() const;
  int64_t AsInteger() const;
  std::string AsText() const;
};

// Orders two values as SQL does for numbers and texts (NULL first; numbers before texts).
int Compare(const Value& a, const Value& b);

struct FieldFormat {
  uint8_t type = 0;
  uint16_t size = 0;
  uint8_t decimals = 0;
};

// The SQL declared type of a column of this format ("INTEGER", "REAL", "TEXT", "BLOB").
const char* SqlType(const FieldFormat& f);
// The value of the field at `p`; `available` is how many bytes of it the record holds (a
// variable tail may be shorter than the field).
Value Decode(const FieldFormat& f, const uint8_t* p, size_t available);
// A packed decimal of `n` bytes with `decimals` places, as Decode reads DECIMAL and MONEY.
Value DecodePacked(const uint8_t* p, size_t n, int decimals);
// The number a packed decimal of `n` bytes holds, in units of its last place: the value is
// these units over Scale(decimals).
int64_t PackedUnits(const uint8_t* p, size_t n);
// Ten to the power `decimals`.
double Scale(int decimals);
// Writes `v` into the field's `f.size` bytes at `p`; returns the bytes used of a variable-
// length type (notes, LVAR), else the size.
size_t Encode(const FieldFormat& f, const Value& v, uint8_t* p);
// The lowest and highest byte images of a key segment of this format, for partial keys;
// false when the type has none this engine knows.
bool Extreme(const FieldFormat& f, bool highest, uint8_t* p);

}  // namespace vader::sqlengine
