#include "tools/TableSchema.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "tools/NativeTypes.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

void ParseTableLine(TextLine& line, TableDef& t) {
  t.name = line.Text("name");
  t.location = line.Text("file");
  if (t.name.empty() || t.location.empty()) line.Fail(texts::kTableNeedsNameAndFile);
  t.pageSize = static_cast<uint16_t>(line.Number("page", 512, 65535, 4096));
  t.recordLength = static_cast<uint16_t>(line.Number("record", 1, 65535, 0));
  t.variable = line.Flag("variable");
  t.flags = static_cast<uint8_t>(line.Number("flags", 0, 255, 0));
}

FieldDef ParseField(TextLine& line, uint16_t nextOffset) {
  FieldDef f;
  f.name = line.Text("name");
  if (f.name.empty()) line.Fail(texts::kFieldNeedsName);
  const std::string typeName = line.Text("type", "string");
  const auto type = TypeCode(typeName);
  if (!type) line.Fail(texts::Filled(texts::kUnknownType, {typeName}));
  f.type = *type;
  f.size = static_cast<uint16_t>(line.Number("size", 1, 65535, 0));
  if (!line.Has("size")) line.Fail(texts::Filled(texts::kFieldNeedsSize, {f.name}));
  f.offset = static_cast<uint16_t>(line.Number("offset", 0, 65535, nextOffset));
  f.decimals = static_cast<uint8_t>(line.Number("decimals", 0, 255, 0));
  f.flags = static_cast<uint16_t>(line.Number("flags", 0, 0xFFFF, 0));
  f.from = line.Text("from");
  if (line.Flag("nocase")) f.flags |= kFieldNoCase;
  if (line.Flag("nullable")) f.flags |= kFieldNullable;
  return f;
}

uint16_t ParseIndexFlags(TextLine& line) {
  uint16_t flags = 0;
  if (line.Flag("duplicates")) flags |= kIndexDuplicates;
  if (line.Flag("modifiable")) flags |= kIndexModifiable;
  if (line.Flag("null")) flags |= kIndexNull;
  return flags;
}

IndexPart ParsePart(TextLine& line, uint16_t indexFlags) {
  IndexPart p;
  p.field = line.Text("field");
  if (p.field.empty()) line.Fail(texts::kPartNeedsField);
  p.flags = indexFlags;
  if (line.Flag("nocase")) p.flags |= kIndexNoCase;
  if (line.Flag("descending")) p.flags |= kIndexDescending;
  if (line.Flag("acs")) p.flags |= kIndexAcs;
  return p;
}

void ParseItem(TextLine& line, std::vector<TableDef>& tables, uint16_t& indexFlags) {
  const std::string& word = line.Word();
  if (word == "table") {
    tables.emplace_back();
    ParseTableLine(line, tables.back());
    return;
  }
  if (tables.empty()) line.Fail(texts::Filled(texts::kBeforeAnyTable, {word}));
  TableDef& t = tables.back();
  if (word == "field") {
    const uint16_t next = t.fields.empty() ? 0 : t.fields.back().offset + t.fields.back().size;
    t.fields.push_back(ParseField(line, next));
  } else if (word == "index") {
    IndexDef index;
    index.number = static_cast<uint16_t>(line.Number("number", 0, 118, t.indexes.size()));
    indexFlags = ParseIndexFlags(line);
    t.indexes.push_back(index);
  } else if (word == "part") {
    if (t.indexes.empty()) line.Fail(texts::kPartBeforeIndex);
    t.indexes.back().parts.push_back(ParsePart(line, indexFlags));
    const FieldDef* f = t.Field(t.indexes.back().parts.back().field);
    if (!f)
      line.Fail(texts::Filled(texts::kNoFieldIn, {t.indexes.back().parts.back().field, t.name}));
    if (!Indexable(f->type) || f->size > 255)
      line.Fail(texts::Filled(texts::kFieldCannotBeKey, {f->name}));
  } else {
    line.Fail(texts::Filled(texts::kUnknownItem, {word}));
  }
}

uint16_t KeyFlags(uint16_t indexFlags) {
  uint16_t flags = kKeyExtendedType;
  if (indexFlags & kIndexDuplicates) flags |= kKeyDuplicates;
  if (indexFlags & kIndexModifiable) flags |= kKeyModifiable;
  if (indexFlags & kIndexNull) flags |= kKeyNullAll;
  if (indexFlags & kIndexDescending) flags |= kKeyDescending;
  if (indexFlags & kIndexAcs)
    flags |= kKeyAcs;
  else if (indexFlags & kIndexNoCase)
    flags |= kKeyNoCase;
  return flags;
}

void ValidateFields(const TableDef& t) {
  std::set<std::string> names;
  for (const FieldDef& f : t.fields) {
    if (f.name.empty() || f.name.size() > kFieldNameSize)
      throw std::invalid_argument(texts::Filled(texts::kFieldNameLength, {f.name}));
    if (!names.insert(AsciiUpper(f.name)).second)
      throw std::invalid_argument(texts::Filled(texts::kFieldTwice, {f.name}));
    // In a variable-length table the last fields may lie in the variable part.
    if (!t.variable && f.offset + f.size > t.RecordLength())
      throw std::invalid_argument(texts::Filled(texts::kFieldBeyondRecord, {f.name}));
  }
}

void ValidateIndexes(const TableDef& t) {
  std::set<uint16_t> numbers;
  for (const IndexDef& index : t.indexes) {
    const std::string which = std::to_string(index.number);
    if (!numbers.insert(index.number).second)
      throw std::invalid_argument(texts::Filled(texts::kIndexTwice, {which}));
    if (index.parts.empty())
      throw std::invalid_argument(texts::Filled(texts::kIndexHasNoPart, {which}));
    for (const IndexPart& p : index.parts) {
      const FieldDef* f = t.Field(p.field);
      if (!f)
        throw std::invalid_argument(texts::Filled(texts::kIndexUnknownField, {which, p.field}));
      if (!Indexable(f->type) || f->size > 255)
        throw std::invalid_argument(texts::Filled(texts::kIndexFieldCannotBeKey, {which, f->name}));
    }
  }
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) { return AsciiUpper(a) == AsciiUpper(b); }

const FieldDef* TableDef::Field(const std::string& fieldName) const {
  for (const FieldDef& f : fields)
    if (SameName(f.name, fieldName)) return &f;
  return nullptr;
}

uint16_t TableDef::RecordLength() const {
  if (recordLength) return recordLength;
  size_t end = 0;
  for (const FieldDef& f : fields) end = std::max<size_t>(end, f.offset + f.size);
  return static_cast<uint16_t>(std::min<size_t>(end, 65535));
}

void ValidateTable(const TableDef& t) {
  if (t.name.empty() || t.name.size() > kTableNameSize)
    throw std::invalid_argument(texts::Filled(texts::kTableNameLength, {t.name}));
  if (t.location.empty() || t.location.size() > kLocationSize)
    throw std::invalid_argument(texts::Filled(texts::kLocationLength, {t.name}));
  if (t.fields.empty())
    throw std::invalid_argument(texts::Filled(texts::kTableHasNoField, {t.name}));
  ValidateFields(t);
  ValidateIndexes(t);
}

std::vector<TableDef> ParseSchema(const std::string& text) {
  std::vector<TableDef> tables;
  std::vector<int> tableLines;
  uint16_t indexFlags = 0;
  for (TextLine& line : ParseLines(text)) {
    ParseItem(line, tables, indexFlags);
    line.Finish();
    if (line.Word() == "table") tableLines.push_back(line.Line());
    try {
      if (line.Word() == "field") ValidateFields(tables.back());
    } catch (const std::invalid_argument& e) {
      line.Fail(e.what());
    }
  }
  if (tables.empty()) throw ParseError(0, texts::kNoTable);
  for (size_t i = 0; i < tables.size(); ++i) {
    try {
      ValidateTable(tables[i]);
    } catch (const std::invalid_argument& e) {
      throw ParseError(tableLines[i], e.what());
    }
  }
  return tables;
}

std::string FormatSchema(const TableDef& t) {
  std::string out = "table name=" + QuoteValue(t.name) + " file=" + QuoteValue(t.location) +
                    " page=" + std::to_string(t.pageSize) +
                    " record=" + std::to_string(t.RecordLength());
  if (t.variable) out += " variable";
  if (t.flags) out += " flags=" + std::to_string(t.flags);
  out += "\n";
  for (const FieldDef& f : t.fields) {
    out += "field name=" + QuoteValue(f.name) + " type=" + TypeName(f.type) +
           " offset=" + std::to_string(f.offset) + " size=" + std::to_string(f.size);
    if (f.decimals) out += " decimals=" + std::to_string(f.decimals);
    if (!f.from.empty()) out += " from=" + QuoteValue(f.from);
    if (f.flags & kFieldNoCase) out += " nocase";
    if (f.flags & kFieldNullable) out += " nullable";
    if (f.flags & ~(kFieldNoCase | kFieldNullable))
      out += " flags=" + std::to_string(f.flags & ~(kFieldNoCase | kFieldNullable));
    out += "\n";
  }
  for (const IndexDef& index : t.indexes) {
    const uint16_t flags = index.parts.front().flags;
    out += "index number=" + std::to_string(index.number);
    if (flags & kIndexDuplicates) out += " duplicates";
    if (flags & kIndexModifiable) out += " modifiable";
    if (flags & kIndexNull) out += " null";
    out += "\n";
    for (const IndexPart& p : index.parts) {
      out += "part field=" + QuoteValue(p.field);
      if (p.flags & kIndexNoCase) out += " nocase";
      if (p.flags & kIndexDescending) out += " descending";
      if (p.flags & kIndexAcs) out += " acs";
      out += "\n";
    }
  }
  return out;
}

TableDef LaidOut(TableDef t) {
  const bool variableTail = t.variable && !t.fields.empty() && t.recordLength != 0 &&
                            t.fields.back().offset + t.fields.back().size > t.recordLength;
  uint32_t offset = 0;
  for (FieldDef& f : t.fields) {
    if (offset > 0xFFFF)
      throw std::invalid_argument(texts::Filled(texts::kFieldsTooLong, {t.name}));
    f.offset = static_cast<uint16_t>(offset);
    offset += f.size;
  }
  t.recordLength = variableTail ? t.fields.back().offset : 0;
  return t;
}

FileDef FileDefFor(const TableDef& t) {
  FileDef def;
  def.recordLength = t.RecordLength();
  def.pageSize = t.pageSize;
  def.flags = t.variable ? kFileVariable : 0;
  bool needsAcs = false;
  for (size_t k = 0; k < t.indexes.size(); ++k) {
    const IndexDef& index = t.indexes[k];
    KeyDef key;
    key.number = index.number;
    if (index.number != k) def.flags |= kFileNumberedKeys;
    for (const IndexPart& p : index.parts) {
      const FieldDef& f = *t.Field(p.field);
      SegmentDef s;
      s.position = static_cast<uint16_t>(f.offset + 1);
      s.length = f.size;
      s.type = f.type;
      s.flags = KeyFlags(p.flags);
      needsAcs |= (p.flags & kIndexAcs) != 0;
      key.segments.push_back(s);
    }
    def.keys.push_back(key);
  }
  if (needsAcs) def.acs.push_back(UpperAcs());
  return def;
}

}  // namespace vader::tools
