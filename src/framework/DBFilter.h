#pragma once
// The filter-expression builder: compiles a dataset's filter text, such as
//   NAME = 'Smith' and (AGE > 30 or CITY <> 'Paris') and NOTE is not null
// into the compiled expression buffer that a cursor's filter evaluates.
//
// Grammar (keywords in any case):
//   expr    := and { OR and }          and := not { AND not }
//   not     := NOT not | primary       primary := '(' expr ')' | operand [ rel operand
//                                                 | IS [NOT] NULL ]
//   rel     := = | <> | != | < | > | <= | >= | CONTAINS
//   operand := field | 'text' ('' inside is a quote) | number | TRUE | FALSE | NULL
//   field   := name | "quoted name" | [bracketed name]
// A constant compared with a field takes the field's type. Against a text field, a
// constant ending in * matches values starting with what precedes it (unless
// foNoPartialCompare), and foCaseInsensitive compares without regard to case. CONTAINS takes
// a text field and a text, and holds where the field's value holds the text, letter case aside.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/DB.h"

namespace vader {

// Field names are resolved in DataSet's fields, by name or else by display label (an unknown
// name is an error); without a dataset every name stays unresolved (field number 0, compared
// as text). Raises EDatabaseError with the position of the problem for text that does not
// parse.
std::vector<std::uint8_t> BuildFilterExpression(const std::string& text, TFilterOptions options,
                                                const TDataSet* dataSet);

// Text with each field written by its label (a column title as the person sees it) named by
// the field's name instead, so that it means the same whatever the language; raises as
// BuildFilterExpression does for text that does not parse into tokens.
std::string FilterTextWithFieldNames(const std::string& text, const TDataSet& dataSet);

// The engine field type that holds a field's native value in an expression (0: none).
std::uint16_t FilterFieldType(TFieldType type);

}  // namespace vader
