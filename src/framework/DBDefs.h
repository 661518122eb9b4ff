#pragma once
// Field and index definitions: what a dataset's storage offers, before and apart from the
// field objects that show it.

#include <string>
#include <vector>

namespace vader {

enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftFixedChar,
  ftLargeint,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary
};

// Readable name of a field type ("String", "Integer", ...), used in error texts.
const char* FieldTypeName(TFieldType type);
bool IsBlobType(TFieldType type);

// Attribute bits of a field definition.
enum TFieldAttribute : unsigned {
  faHiddenCol = 1,
  faReadonly = 2,
  faRequired = 4,
  faUnNamed = 8,
};

struct TFieldDef {
  std::string name;
  TFieldType dataType = TFieldType::ftUnknown;
  int size = 0;
  int precision = 0;
  unsigned attributes = 0;
  int fieldNo = 0;  // 0: numbered by position when fields are made
  bool internalCalcField = false;
  std::vector<TFieldDef> childDefs;
  int scale = -1;                // decimals shown by a number field, -1: as many as it has
  bool singlePrecision = false;  // a floating-point number stored in 4 bytes

  bool Required() const { return (attributes & faRequired) != 0; }
};

class TFieldDefs : public std::vector<TFieldDef> {
 public:
  // Appends a definition numbered after the last one.
  TFieldDef& Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  // Case-insensitive; nullptr when absent.
  const TFieldDef* Find(const std::string& name) const;
  int IndexOf(const std::string& name) const;
  // Name itself when unused, else the first free "Name_1", "Name_2", ...
  std::string UniqueName(const std::string& name) const;
};

enum TIndexOption : unsigned {
  ixPrimary = 1,
  ixUnique = 2,
  ixDescending = 4,
  ixCaseInsensitive = 8,
  ixExpression = 16,
  ixNonMaintained = 32,
};

struct TIndexDef {
  std::string name;
  std::string fields;      // field names separated by ";"
  std::string descFields;  // the fields that sort descending
  unsigned options = 0;
  std::string source;

  bool Has(TIndexOption option) const { return (options & option) != 0; }
};

class TIndexDefs : public std::vector<TIndexDef> {
 public:
  TIndexDef& Add(const std::string& name, const std::string& fields, unsigned options);
  const TIndexDef* Find(const std::string& name) const;
  const TIndexDef& FindIndex(const std::string& name) const;  // raises "Index '%s' not found"
  // The index whose fields are exactly Fields (else the first that starts with them), with
  // the given case option; expression indexes do not count. nullptr when none.
  const TIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive) const;
  // As above, either case option; raises "No index for fields '%s'" when none.
  const TIndexDef& FindIndexForFields(const std::string& fields) const;
  // False until the definitions are read from the storage; a descendant refreshes them then.
  bool updated = false;
};

// Splits "A;B;C" into its names, blanks around each name removed, empty names skipped.
std::vector<std::string> SplitFieldNames(const std::string& names);

}  // namespace vader
