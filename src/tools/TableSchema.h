#pragma once
// A table as the dictionary describes it, and its readable schema text:
//
//   table name=Customers file=CUSTOMER.BTR page=4096 variable
//   field name=Id type=autoincrement size=4
//   field name=Name type=string size=40 nocase
//   index number=0
//   part field=Id
//   index number=1 duplicates modifiable
//   part field=Name nocase
//
// For a restructure, "from=OLDNAME" on a field names the old field whose values it takes.
//
// Offsets default to the end of the previous field. Index flags are the dictionary's
// (INDEX.DDF) flags, translated to key flags only when the data file is created.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/FileDef.h"

namespace vader::tools {

// FIELD.DDF flag bits.
enum FieldFlagBit : uint16_t {
  kFieldNoCase = 0x0001,
  kFieldNullable = 0x0004,
};

// INDEX.DDF flag bits (not the key flags of a file's segment descriptors).
enum IndexFlagBit : uint16_t {
  kIndexDuplicates = 0x0001,
  kIndexModifiable = 0x0002,
  kIndexAcs = 0x0004,
  kIndexNull = 0x0008,
  kIndexSegmented = 0x0010,
  kIndexNoCase = 0x0020,
  kIndexDescending = 0x0040,
};

// FILE.DDF flag bit of the dictionary's own tables.
constexpr uint8_t kTableDictionary = 0x10;

constexpr size_t kTableNameSize = 20;
constexpr size_t kFieldNameSize = 20;
constexpr size_t kLocationSize = 64;

struct FieldDef {
  uint16_t id = 0;
  std::string name;
  uint8_t type = 0;
  uint16_t offset = 0;
  uint16_t size = 0;
  uint8_t decimals = 0;
  uint16_t flags = 0;
  // In a restructure: the old field this one takes its values from (empty: the one of the
  // same name). Not stored in the dictionary.
  std::string from;
};

struct IndexPart {
  std::string field;
  uint16_t flags = 0;  // INDEX.DDF flags, without kIndexSegmented (the part's place decides)
};

struct IndexDef {
  uint16_t number = 0;
  std::vector<IndexPart> parts;
};

struct TableDef {
  uint16_t id = 0;
  std::string name;
  std::string location;
  uint8_t flags = 0;
  uint16_t pageSize = 4096;
  bool variable = false;
  uint16_t recordLength = 0;  // 0: the end of the last field
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;

  const FieldDef* Field(const std::string& name) const;  // case-insensitive
  uint16_t RecordLength() const;
};

// Throws ParseError naming the line; checks names, sizes and index parts.
std::vector<TableDef> ParseSchema(const std::string& text);
// The schema text of one table (record and page come from the data file when known).
std::string FormatSchema(const TableDef& table);
// Checks a table definition; throws std::invalid_argument with the reason.
void ValidateTable(const TableDef& table);
// The fields placed one after another in their order (a designer's layout): the record ends
// with the last field, or, in a variable-length table whose last field lay beyond the record,
// where that field begins.
TableDef LaidOut(TableDef table);
// The data file's definition: one key per index, segments at the fields' places.
FileDef FileDefFor(const TableDef& table);

bool SameName(const std::string& a, const std::string& b);

}  // namespace vader::tools
