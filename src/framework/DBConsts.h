#pragma once
// The fixed English texts of the dataset layer's errors. "%s" stands for a name or value
// (FormatMessage fills it).

namespace vader::dbconsts {

inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotBrowsing = "Dataset not in browse mode";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SCharacterNotStored =
    "The character %s cannot be stored in the field %s: the code page of the database has no such "
    "character. Nothing was stored.";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SIndexFieldMissing = "Cannot access index field '%s'";
inline constexpr const char* SNoCachedUpdates = "Not in cached update mode";
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
inline constexpr const char* SHandleError = "Error creating cursor handle";
inline constexpr const char* SInvalidSessionName = "Invalid session name %s";
inline constexpr const char* SNoTableName = "Missing TableName property";
inline constexpr const char* SEmptySQLStatement = "No SQL statement available";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoFieldIndexes = "No index for fields '%s'";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SNoFieldAccess = "Cannot access field '%s' in a filter";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SNotABlobField = "Field '%s' is not a blob field";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value";
inline constexpr const char* SInvalidDateTime = "'%s' is not a valid date and time";
inline constexpr const char* SFieldRangeError = "%s is not a valid value for field '%s'";
inline constexpr const char* SFieldCountMismatch = "Number of field names and values differ";
inline constexpr const char* SBlobWriteShort = "Could not write all %s bytes to field '%s'";
inline constexpr const char* SExprError = "Error in filter expression at position %s: %s";
inline constexpr const char* SExprTooLong = "Filter expression too long";
// The filter compiler's problems, shown after SExprError; %s stands for a name or a value as typed.
inline constexpr const char* SFilterUnexpectedChar = "unexpected character '%s'";
inline constexpr const char* SFilterUnterminatedText = "unterminated text";
inline constexpr const char* SFilterUnterminatedName = "unterminated name";
inline constexpr const char* SFilterExpressionExpected = "expression expected";
inline constexpr const char* SFilterUnexpected = "unexpected '%s'";
inline constexpr const char* SFilterTooDeep = "expression nested too deeply";
inline constexpr const char* SFilterParenExpected = "')' expected instead of '%s'";
inline constexpr const char* SFilterNullExpected = "NULL expected instead of '%s'";
inline constexpr const char* SFilterNullCompare = "NULL can only be compared with = or <>";
inline constexpr const char* SFilterOperandExpected = "operand expected instead of '%s'";
inline constexpr const char* SFilterNotComparable = "field '%s' cannot be compared";
inline constexpr const char* SFilterInvalidValue = "'%s' is not a valid value for field '%s'";
inline constexpr const char* SFilterInvalidNumber = "'%s' is not a valid number";
inline constexpr const char* SFilterEndOfText = "end of text";
// Every message a filter text can be refused with, for translating them.
inline constexpr const char* SFilterProblems[] = {
    SExprError, SFieldNotFound, SFilterUnexpectedChar, SFilterUnterminatedText,
    SFilterUnterminatedName, SFilterExpressionExpected, SFilterUnexpected, SFilterTooDeep,
    SFilterParenExpected, SFilterNullExpected, SFilterNullCompare, SFilterOperandExpected,
    SFilterNotComparable, SFilterInvalidValue, SFilterInvalidNumber, SFilterEndOfText,
};
inline constexpr const char* SNotSupported = "Operation not supported";

}  // namespace vader::dbconsts
