#include "tools/TableRecord.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vader::tools {

TableRecord::TableRecord(const TableDef& table)
    : table_(table), writer_(std::max<size_t>(table.RecordLength(), [&] {
        size_t end = 0;
        for (const FieldDef& f : table.fields) end = std::max<size_t>(end, f.offset + f.size);
        return end;
      }())) {}

const FieldDef& TableRecord::Field(const std::string& name,
                                   std::initializer_list<uint8_t> types) const {
  const FieldDef* f = table_.Field(name);
  if (!f) throw std::invalid_argument("no field " + name + " in " + table_.name);
  if (std::find(types.begin(), types.end(), f->type) == types.end())
    throw std::invalid_argument("field " + name + " has type " + TypeName(f->type));
  return *f;
}

TableRecord& TableRecord::Text(const std::string& name, const std::string& value) {
  const FieldDef& f = Field(name, {kTypeString, kTypeZString, kTypeLString, kTypeNote});
  if (f.type == kTypeString)
    writer_.String(f.offset, f.size, value);
  else if (f.type == kTypeLString)
    writer_.LString(f.offset, f.size, value);
  else
    writer_.ZString(f.offset, f.size, value);
  return *this;
}

TableRecord& TableRecord::Int(const std::string& name, int64_t value) {
  const FieldDef& f = Field(name, {kTypeInteger, kTypeUnsigned, kTypeAutoIncrement, kTypeLogical});
  writer_.Integer(f.offset, f.size, value);
  return *this;
}

TableRecord& TableRecord::Cents(const std::string& name, int64_t hundredths) {
  const FieldDef& f = Field(name, {kTypeDecimal, kTypeMoney, kTypeCurrency});
  if (f.type == kTypeCurrency) {
    writer_.Currency(f.offset, hundredths * 100);
    return *this;
  }
  int64_t units = hundredths;
  for (int d = f.decimals; d < 2; ++d) units /= 10;
  for (int d = 2; d < f.decimals; ++d) units *= 10;
  writer_.Decimal(f.offset, f.size, units);
  return *this;
}

TableRecord& TableRecord::Real(const std::string& name, double value) {
  const FieldDef& f = Field(name, {kTypeFloat});
  writer_.Float(f.offset, f.size, value);
  return *this;
}

TableRecord& TableRecord::Date(const std::string& name, int year, int month, int day) {
  writer_.Date(Field(name, {kTypeDate}).offset, year, month, day);
  return *this;
}

TableRecord& TableRecord::Time(const std::string& name, int hour, int minute, int second) {
  writer_.Time(Field(name, {kTypeTime}).offset, hour, minute, second, 0);
  return *this;
}

Bytes TableRecord::Finish() {
  Bytes record = writer_.Record();
  if (!table_.variable || table_.fields.empty()) return record;
  const FieldDef& last = table_.fields.back();
  if (last.type != kTypeZString && last.type != kTypeNote) return record;
  const size_t used = strnlen(record.data() + last.offset, last.size);
  record.resize(last.offset + std::min<size_t>(used + 1, last.size));
  return record;
}

std::string EncodeBlobText(const Bytes& value) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out = "###";
  std::string lastGroup = "====";  // no group of three bytes encodes to this
  for (size_t i = 0; i < value.size(); i += 3) {
    const size_t n = std::min<size_t>(3, value.size() - i);
    uint8_t b[3] = {};
    std::memcpy(b, value.data() + i, n);
    std::string group = {kAlphabet[b[0] >> 2], kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)],
                         n > 1 ? kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)] : '=',
                         n > 2 ? kAlphabet[b[2] & 63] : '='};
    if (n == 3 && group == lastGroup) {
      out += '!';
    } else {
      out += group;
      lastGroup = group;
    }
  }
  return out;
}

}  // namespace vader::tools
