#include "framework/DBDefs.h"

#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b,
               std::size_t count) {
  if (a.size() < count || b.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (!platform::EqualsIgnoringAsciiCase(a[i], b[i])) return false;
  return true;
}

}  // namespace

const char* FieldTypeName(TFieldType type) {
  static const char* const kNames[] = {
      "Unknown", "String",    "SmallInt", "Integer",    "Word",     "Boolean",
      "Float",   "Currency",  "BCD",      "Date",       "Time",     "DateTime",
      "Bytes",   "VarBytes",  "AutoInc",  "Blob",       "Memo",     "Graphic",
      "FmtMemo", "FixedChar", "LargeInt", "ParadoxOle", "DBaseOle", "TypedBinary"};
  const auto i = static_cast<std::size_t>(type);
  return i < std::size(kNames) ? kNames[i] : "Unknown";
}

bool IsBlobType(TFieldType type) {
  switch (type) {
    case TFieldType::ftBlob:
    case TFieldType::ftMemo:
    case TFieldType::ftGraphic:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftDBaseOle:
    case TFieldType::ftTypedBinary:
      return true;
    default:
      return false;
  }
}

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  TFieldDef def;
  def.name = name;
  def.dataType = type;
  def.size = size;
  def.attributes = required ? static_cast<unsigned>(faRequired) : 0u;
  def.fieldNo = empty() ? 1 : back().fieldNo + 1;
  push_back(std::move(def));
  return back();
}

int TFieldDefs::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < size(); ++i)
    if (platform::EqualsIgnoringAsciiCase((*this)[i].name, name)) return static_cast<int>(i);
  return -1;
}

const TFieldDef* TFieldDefs::Find(const std::string& name) const {
  const int i = IndexOf(name);
  return i < 0 ? nullptr : &(*this)[static_cast<std::size_t>(i)];
}

std::string TFieldDefs::UniqueName(const std::string& name) const {
  std::string candidate = name;
  for (int n = 1; Find(candidate); ++n) candidate = name + "_" + std::to_string(n);
  return candidate;
}

TIndexDef& TIndexDefs::Add(const std::string& name, const std::string& fields, unsigned options) {
  push_back(TIndexDef{name, fields, {}, options, {}});
  return back();
}

const TIndexDef* TIndexDefs::Find(const std::string& name) const {
  for (const TIndexDef& def : *this)
    if (platform::EqualsIgnoringAsciiCase(def.name, name)) return &def;
  return nullptr;
}

const TIndexDef& TIndexDefs::FindIndex(const std::string& name) const {
  if (const TIndexDef* def = Find(name)) return *def;
  DatabaseError(FormatMessage(dbconsts::SIndexNotFound, name));
}

const TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields,
                                               bool caseInsensitive) const {
  const auto wanted = SplitFieldNames(fields);
  if (wanted.empty()) return nullptr;
  const TIndexDef* leading = nullptr;
  for (const TIndexDef& def : *this) {
    if (def.Has(ixExpression) || def.Has(ixCaseInsensitive) != caseInsensitive) continue;
    const auto have = SplitFieldNames(def.fields);
    if (!SameNames(have, wanted, wanted.size())) continue;
    if (have.size() == wanted.size()) return &def;
    if (!leading) leading = &def;
  }
  return leading;
}

const TIndexDef& TIndexDefs::FindIndexForFields(const std::string& fields) const {
  const TIndexDef* def = GetIndexForFields(fields, false);
  if (!def) def = GetIndexForFields(fields, true);
  if (!def) DatabaseError(FormatMessage(dbconsts::SNoFieldIndexes, fields));
  return *def;
}

std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(start, end - start);
    const auto first = name.find_first_not_of(' ');
    const auto last = name.find_last_not_of(' ');
    if (first != std::string::npos) result.push_back(name.substr(first, last - first + 1));
    start = end + 1;
  }
  return result;
}

}  // namespace vader
