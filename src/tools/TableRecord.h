#pragma once
// Builds one record of a dictionary table by field name, in each field's native format.

#include <cstdint>
#include <string>

#include "tools/NativeTypes.h"
#include "tools/TableSchema.h"

namespace vader::tools {

class TableRecord {
 public:
  explicit TableRecord(const TableDef& table);

  // By the field's type: STRING, ZSTRING, LSTRING (NOTE as ZSTRING).
  TableRecord& Text(const std::string& field, const std::string& value);
  // INTEGER, UNSIGNED, AUTOINCREMENT, LOGICAL.
  TableRecord& Int(const std::string& field, int64_t value);
  // DECIMAL, MONEY, CURRENCY: the value in hundredths.
  TableRecord& Cents(const std::string& field, int64_t hundredths);
  TableRecord& Real(const std::string& field, double value);
  TableRecord& Date(const std::string& field, int year, int month, int day);
  TableRecord& Time(const std::string& field, int hour, int minute, int second);

  // The record image; in a variable-length table whose last field is text, the record ends
  // right after that text's NUL.
  Bytes Finish();

 private:
  const FieldDef& Field(const std::string& name, std::initializer_list<uint8_t> types) const;
  const TableDef& table_;
  RecordWriter writer_;
};

// The "###" text of a binary value: Base64 in groups of four characters, a repeated full group
// written as "!".
std::string EncodeBlobText(const Bytes& value);

}  // namespace vader::tools
