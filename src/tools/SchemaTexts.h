#pragma once
// The problems the line parser and the table schema report, as designed texts with %s slots:
// the utility prints them filled in, the application shows them in the person's language
// (the list below is what its dictionaries translate). More particular forms come before the
// general ones that would match the same message.

#include <initializer_list>
#include <string>

namespace vader::tools::texts {

inline constexpr const char* kAtLine = "line %s: %s";
inline constexpr const char* kUnterminatedQuote = "unterminated quote";
inline constexpr const char* kAttributeWithoutName = "an attribute has no name: '%s'";
inline constexpr const char* kAttributeTwice = "attribute '%s' is given twice";
inline constexpr const char* kNotANumber = "%s is not a number: '%s'";
inline constexpr const char* kOutOfRange = "%s %s is out of range (%s to %s)";
inline constexpr const char* kUnknownAttribute = "unknown attribute '%s' for '%s'";
inline constexpr const char* kUnexpectedWord = "unexpected word '%s' for '%s'";
inline constexpr const char* kTableNeedsNameAndFile = "'table' needs name=... and file=...";
inline constexpr const char* kFieldNeedsName = "'field' needs name=...";
inline constexpr const char* kUnknownType = "unknown type '%s'";
inline constexpr const char* kFieldNeedsSize = "field %s needs size=<bytes>";
inline constexpr const char* kPartNeedsField = "'part' needs field=...";
inline constexpr const char* kPartBeforeIndex = "'part' before any 'index'";
inline constexpr const char* kBeforeAnyTable = "'%s' before any 'table'";
inline constexpr const char* kNoFieldIn = "no field %s in %s";
inline constexpr const char* kIndexFieldCannotBeKey = "index %s: field %s cannot be a key";
inline constexpr const char* kFieldCannotBeKey = "field %s cannot be a key";
inline constexpr const char* kUnknownItem =
    "unknown item '%s' (expected table, field, index or part)";
inline constexpr const char* kFieldNameLength = "field name '%s' must have 1 to 20 characters";
inline constexpr const char* kFieldTwice = "field %s is defined twice";
inline constexpr const char* kFieldBeyondRecord = "field %s ends beyond the record";
inline constexpr const char* kIndexHasNoPart = "index %s has no part";
inline constexpr const char* kIndexUnknownField = "index %s names unknown field %s";
inline constexpr const char* kIndexTwice = "index %s twice";
inline constexpr const char* kTableNameLength = "table name '%s' must have 1 to 20 characters";
inline constexpr const char* kLocationLength =
    "the file location of %s must have 1 to 64 characters";
inline constexpr const char* kTableHasNoField = "table %s has no field";
inline constexpr const char* kNoTable = "the schema defines no table";
inline constexpr const char* kFieldsTooLong = "the fields of %s are too long";

inline constexpr const char* kSchemaProblems[] = {
    kAtLine,
    kUnterminatedQuote,
    kAttributeWithoutName,
    kAttributeTwice,
    kNotANumber,
    kOutOfRange,
    kUnknownAttribute,
    kUnexpectedWord,
    kTableNeedsNameAndFile,
    kFieldNeedsName,
    kUnknownType,
    kFieldNeedsSize,
    kPartNeedsField,
    kPartBeforeIndex,
    kBeforeAnyTable,
    kNoFieldIn,
    kIndexFieldCannotBeKey,
    kFieldCannotBeKey,
    kUnknownItem,
    kFieldNameLength,
    kFieldTwice,
    kFieldBeyondRecord,
    kIndexHasNoPart,
    kIndexUnknownField,
    kIndexTwice,
    kTableNameLength,
    kLocationLength,
    kTableHasNoField,
    kNoTable,
    kFieldsTooLong,
};

// Format with each %s replaced by the next of Values, in order.
std::string Filled(const char* format, std::initializer_list<std::string> values);

}  // namespace vader::tools::texts
