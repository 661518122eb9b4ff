#pragma once
// Btrieve data types: their names in descriptions and schemas, and encoders that write values
// into records in the native formats.

#include <cstdint>
#include <optional>
#include <string>

#include "tools/Btrieve.h"

namespace vader::tools {

enum NativeType : uint8_t {
  kTypeString = 0,
  kTypeInteger = 1,
  kTypeFloat = 2,
  kTypeDate = 3,
  kTypeTime = 4,
  kTypeDecimal = 5,
  kTypeMoney = 6,
  kTypeLogical = 7,
  kTypeNumeric = 8,
  kTypeBFloat = 9,
  kTypeLString = 10,
  kTypeZString = 11,
  kTypeNote = 12,
  kTypeLVar = 13,
  kTypeUnsigned = 14,
  kTypeAutoIncrement = 15,
  kTypeBit = 16,
  kTypeNumericSts = 17,
  kTypeNumericSa = 18,
  kTypeCurrency = 19,
  kTypeTimestamp = 20,
  kTypeWString = 25,
  kTypeWZString = 26,
  kTypeGuid = 27,
  kTypeNullIndicator = 255,
};

// "string", "autoincrement", ...; "type<N>" for a code without a name.
std::string TypeName(uint8_t code);
// The code of a name (case-insensitive) or of "type<N>"; nothing when unknown.
std::optional<uint8_t> TypeCode(const std::string& name);
// Whether a field of this type can be a key segment.
bool Indexable(uint8_t code);

// Writers of one field at `offset` (0-based) of `size` bytes; every write stays inside the
// field and the record.
class RecordWriter {
 public:
  explicit RecordWriter(size_t length) : record_(length, '\0') {}
  Bytes& Record() { return record_; }

  void String(size_t offset, size_t size, const std::string& text);   // blank-padded
  void ZString(size_t offset, size_t size, const std::string& text);  // NUL-terminated
  void LString(size_t offset, size_t size, const std::string& text);  // length byte first
  void Integer(size_t offset, size_t size, int64_t value);            // little-endian
  void Float(size_t offset, size_t size, double value);               // IEEE 4 or 8
  void Date(size_t offset, int year, int month, int day);
  void Time(size_t offset, int hour, int minute, int second, int hundredths);
  // Packed BCD with implied decimals: `units` is the value times 10^decimals.
  void Decimal(size_t offset, size_t size, int64_t units);
  // CURRENCY: the value in ten-thousandths.
  void Currency(size_t offset, int64_t tenThousandths) { Integer(offset, 8, tenThousandths); }
  void Logical(size_t offset, size_t size, bool value) { Integer(offset, size, value ? 1 : 0); }

 private:
  uint8_t* At(size_t offset, size_t size);
  Bytes record_;
};

// Little-endian integers in byte strings.
uint64_t ReadLe(const Bytes& bytes, size_t offset, size_t size);
void WriteLe(Bytes& bytes, size_t offset, size_t size, uint64_t value);

}  // namespace vader::tools
