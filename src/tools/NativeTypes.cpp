#include "tools/NativeTypes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "tools/TextLines.h"

namespace vader::tools {
namespace {

struct TypeEntry {
  uint8_t code;
  const char* name;
  bool indexable;
};

constexpr std::array<TypeEntry, 25> kTypes = {{
    {kTypeString, "string", true},
    {kTypeInteger, "integer", true},
    {kTypeFloat, "float", true},
    {kTypeDate, "date", true},
    {kTypeTime, "time", true},
    {kTypeDecimal, "decimal", true},
    {kTypeMoney, "money", true},
    {kTypeLogical, "logical", true},
    {kTypeNumeric, "numeric", true},
    {kTypeBFloat, "bfloat", true},
    {kTypeLString, "lstring", true},
    {kTypeZString, "zstring", true},
    {kTypeNote, "note", false},
    {kTypeLVar, "lvar", false},
    {kTypeUnsigned, "unsigned", true},
    {kTypeAutoIncrement, "autoincrement", true},
    {kTypeBit, "bit", false},
    {kTypeNumericSts, "numericsts", true},
    {kTypeNumericSa, "numericsa", true},
    {kTypeCurrency, "currency", true},
    {kTypeTimestamp, "timestamp", true},
    {kTypeWString, "wstring", true},
    {kTypeWZString, "wzstring", true},
    {kTypeGuid, "guid", true},
    {kTypeNullIndicator, "nullindicator", true},
}};

}  // namespace

std::string TypeName(uint8_t code) {
  for (const TypeEntry& t : kTypes)
    if (t.code == code) return t.name;
  return "type" + std::to_string(code);
}

std::optional<uint8_t> TypeCode(const std::string& name) {
  const std::string lower = AsciiLower(name);
  for (const TypeEntry& t : kTypes)
    if (lower == t.name) return t.code;
  if (lower.size() > 4 && lower.size() <= 7 && lower.compare(0, 4, "type") == 0 &&
      std::all_of(lower.begin() + 4, lower.end(), ::isdigit)) {
    const int n = std::stoi(lower.substr(4));
    if (n <= 255) return static_cast<uint8_t>(n);
  }
  return std::nullopt;
}

bool Indexable(uint8_t code) {
  for (const TypeEntry& t : kTypes)
    if (t.code == code) return t.indexable;
  return false;
}

uint8_t* RecordWriter::At(size_t offset, size_t size) {
  if (offset > record_.size() || size > record_.size() - offset)
    throw std::out_of_range("field at " + std::to_string(offset) + " of size " +
                            std::to_string(size) + " lies outside the record");
  return reinterpret_cast<uint8_t*>(record_.data()) + offset;
}

void RecordWriter::String(size_t offset, size_t size, const std::string& text) {
  uint8_t* p = At(offset, size);
  std::memset(p, ' ', size);
  std::memcpy(p, text.data(), std::min(size, text.size()));
}

void RecordWriter::ZString(size_t offset, size_t size, const std::string& text) {
  uint8_t* p = At(offset, size);
  std::memset(p, 0, size);
  if (size > 0) std::memcpy(p, text.data(), std::min(size - 1, text.size()));
}

void RecordWriter::LString(size_t offset, size_t size, const std::string& text) {
  uint8_t* p = At(offset, size);
  std::memset(p, 0, size);
  if (size == 0) return;
  const size_t n = std::min({size - 1, text.size(), size_t{255}});
  p[0] = static_cast<uint8_t>(n);
  std::memcpy(p + 1, text.data(), n);
}

void RecordWriter::Integer(size_t offset, size_t size, int64_t value) {
  uint8_t* p = At(offset, size);
  for (size_t i = 0; i < size; ++i)
    p[i] = i < 8 ? static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)) : 0;
}

void RecordWriter::Float(size_t offset, size_t size, double value) {
  uint8_t* p = At(offset, size);
  if (size == 4) {
    const float f = static_cast<float>(value);
    std::memcpy(p, &f, 4);
  } else if (size == 8) {
    std::memcpy(p, &value, 8);
  } else {
    throw std::invalid_argument("a float field has 4 or 8 bytes");
  }
}

void RecordWriter::Date(size_t offset, int year, int month, int day) {
  uint8_t* p = At(offset, 4);
  p[0] = static_cast<uint8_t>(day);
  p[1] = static_cast<uint8_t>(month);
  p[2] = static_cast<uint8_t>(year);
  p[3] = static_cast<uint8_t>(year >> 8);
}

void RecordWriter::Time(size_t offset, int hour, int minute, int second, int hundredths) {
  uint8_t* p = At(offset, 4);
  p[0] = static_cast<uint8_t>(hundredths);
  p[1] = static_cast<uint8_t>(second);
  p[2] = static_cast<uint8_t>(minute);
  p[3] = static_cast<uint8_t>(hour);
}

void RecordWriter::Decimal(size_t offset, size_t size, int64_t units) {
  uint8_t* p = At(offset, size);
  std::memset(p, 0, size);
  if (size == 0) return;
  // Two digits a byte, most significant first; the last byte's low nibble is the sign.
  uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  p[size - 1] = units < 0 ? 0x0D : 0x0F;
  for (size_t nibble = 1; nibble < size * 2 && magnitude > 0; ++nibble, magnitude /= 10) {
    const size_t byte = size - 1 - nibble / 2;
    const uint8_t digit = static_cast<uint8_t>(magnitude % 10);
    p[byte] |= nibble % 2 ? static_cast<uint8_t>(digit << 4) : digit;
  }
}

uint64_t ReadLe(const Bytes& bytes, size_t offset, size_t size) {
  uint64_t v = 0;
  for (size_t i = 0; i < size && i < 8 && offset + i < bytes.size(); ++i)
    v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
  return v;
}

void WriteLe(Bytes& bytes, size_t offset, size_t size, uint64_t value) {
  for (size_t i = 0; i < size && offset + i < bytes.size(); ++i)
    bytes[offset + i] = static_cast<char>(i < 8 ? value >> (8 * i) : 0);
}

}  // namespace vader::tools
