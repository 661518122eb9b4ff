#pragma once
// What the table designer knows of Btrieve field types: the types offered (those the field
// conversions read and write), each type's sizes and decimals with a sensible default, and the
// checks of one row of the fields or of the index parts, each problem naming the cell it
// concerns as a designed text with its values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/TableSchema.h"

namespace vader::app {

// A problem of one row: the column of the cell it concerns, and its message (a designed text
// with %s slots, and the values that fill them).
struct TRowProblem {
  int column = 0;
  const char* designed = "";
  std::vector<std::string> values;
};

// The type names offered, as shown ("ZSTRING", "DECIMAL", ...).
std::vector<std::string> DesignerTypeNames();
// The size and decimals a new field of the type starts with.
struct TTypeDefault {
  uint16_t size = 0;
  uint8_t decimals = 0;
};
TTypeDefault DefaultOfType(uint8_t type);
// Whether Size suits the type (a new type keeps the size it had when it does).
bool SizeFitsType(uint8_t type, uint16_t size);

// The columns of the fields grid and of the index parts grid.
enum TFieldColumn { fcName, fcType, fcSize, fcDecimals, fcProblem };
enum TIndexColumn {
  icNumber,
  icField,
  icDuplicates,
  icModifiable,
  icDescending,
  icNoCase,
  icAcs,
  icNull,
  icProblem
};

// The field a row of texts describes; a problem when it does not describe one (others: the
// names of the rows before it, upper-cased, for the check of a name given twice).
std::optional<TRowProblem> FieldOfRow(const std::vector<std::string>& cells,
                                      const std::vector<std::string>& namesBefore,
                                      tools::FieldDef& field);
// The part an index row describes, with its index number; a problem when the field is not
// one of Fields, cannot be a key, or the number is no index number.
std::optional<TRowProblem> PartOfRow(const std::vector<std::string>& cells,
                                     const std::vector<tools::FieldDef>& fields, uint16_t& number,
                                     tools::IndexPart& part);

// The designed texts of the problems, for the translators' list.
extern const std::vector<const char*> kDesignProblems;

}  // namespace vader::app
