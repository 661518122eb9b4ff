#pragma once
// The texts the application's code shows in messages, prompts and status lines (the texts of
// its windows are on their components). %s and %d are filled in by Format.

#include "framework/DBConsts.h"

namespace vader::app::texts {

inline constexpr const char* kExportToCsv = "Export to CSV";
inline constexpr const char* kNoOtherTableRefersToThis = "No other table refers to this one.";
inline constexpr const char* kNewRecordRecords = "New record (%d records)";
inline constexpr const char* kNoRecords = "No records";
inline constexpr const char* kRecordOf = "Record %s of %d";
inline constexpr const char* kRecordAboutOf = "Record about %s of %d";
inline constexpr const char* kTable = "Table %s";
inline constexpr const char* kDetailsOf = "details of %s";
inline constexpr const char* kFiltered = "(filtered)";
inline constexpr const char* kRange = "(range)";
inline constexpr const char* kDeleteTheCurrentRecord = "Delete the current record?";
inline constexpr const char* kPostBeforeClosing =
    "The record being edited in %s is not posted. Post it before the window closes?";
inline constexpr const char* kPost = "Post";
inline constexpr const char* kDiscard = "Discard";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kNoChangeToUndo = "There is no posted change to undo.";
inline constexpr const char* kPostOrCancelBeforeUndo =
    "Post or cancel the record being edited before undoing the last change.";
inline constexpr const char* kUndoRecordGone =
    "The record of the last change no longer exists; nothing was undone.";
inline constexpr const char* kUndoRecordChangedSince =
    "The record was changed since the last change was posted; nothing was undone.";
inline constexpr const char* kCannotWriteTo = "Cannot write to %s.";
inline constexpr const char* kExportedOfRecords = "Exported %d of %d records";
inline constexpr const char* kExportedRecords = "Exported %d records";
inline constexpr const char* kExportedRecordsIn = "Exported %d records, text in %s";
inline constexpr const char* kPostOrCancelFirst =
    "Post or cancel the changes in the windows of this database first.";
inline constexpr const char* kExportStoppedAfterRecords = "Export stopped after %d records";
inline constexpr const char* kTheDirectoryDoesNotExist = "The directory %s does not exist.";
inline constexpr const char* kTheDirectoryHoldsNoDataDictionary =
    "The directory %s holds no data dictionary (FILE.DDF).";
inline constexpr const char* kCannotOpenTheDatabase = "Cannot open the database %s.";
inline constexpr const char* kDatabase = "Database: %s";
inline constexpr const char* kTables = "%d tables";
inline constexpr const char* kCannotOpenTheTable = "Cannot open the table %s.";
inline constexpr const char* kOpenDatabase = "Open database";
inline constexpr const char* kOpenAlias = "Open alias";
inline constexpr const char* kAliasName = "Alias name:";
inline constexpr const char* kBtrieveDatabaseToImport = "Btrieve database to import";
inline constexpr const char* kDirectoryForTheCopy = "Directory for the copy";
inline constexpr const char* kTheImportOfFailed = "The import of %s failed.";
inline constexpr const char* kLoadFromFile = "Load from file";
inline constexpr const char* kSaveToFile = "Save to file";
inline constexpr const char* kNoPicture = "No picture";
inline constexpr const char* kFileTooLargeForField =
    "The file %s is too large for the field %s: it needs %d bytes there and the field holds "
    "%d. Nothing was loaded.";
inline constexpr const char* kCannotRead = "Cannot read %s.";
inline constexpr const char* kStructureOf = "Structure of %s";
inline constexpr const char* kChooseByName = "Choose the row by its name";
inline constexpr const char* kNoFieldAfterTheMasterLink =
    "The index of this detail table has no field after those linked to the master.";
// The table designer and the table operations.
inline constexpr const char* kFlagDuplicates = "duplicates";
inline constexpr const char* kFlagModifiable = "modifiable";
inline constexpr const char* kFlagDescending = "descending";
inline constexpr const char* kFlagCaseInsensitive = "case-insensitive";
inline constexpr const char* kFlagAcs = "ACS";
inline constexpr const char* kFlagNullValue = "null value";
inline constexpr const char* kTableFileFacts = "Page size %s, record length %s, %s records";
inline constexpr const char* kOwnerLevel = "Owner name: %s";
inline constexpr const char* kOwnerLevelNone = "none";
inline constexpr const char* kOwnerLevelReadOnly = "needed to change the records; read-only without it";
inline constexpr const char* kOwnerLevelNameNeeded = "needed to read or change the records";
inline constexpr const char* kOwnerLevelReadOnlyEncrypted =
    "needed to change the records; read-only without it (set with encryption)";
inline constexpr const char* kOwnerLevelNameNeededEncrypted =
    "needed to read or change the records (set with encryption)";
inline constexpr const char* kOwnerLevelNotRecorded = "set; the file does not tell what it guards";
inline constexpr const char* kOwnerLevelUnknown = "not known here";
inline constexpr const char* kDefineOneTable = "The definition must describe exactly one table.";
inline constexpr const char* kOnlyBtrieveTables =
    "Tables can be created and changed only in a Btrieve database.";
inline constexpr const char* kNewTable = "New table";
inline constexpr const char* kRestructureOf = "Restructure %s";
inline constexpr const char* kTheDefinitionIsWrong = "The definition is wrong: %s";
inline constexpr const char* kTheTableWasCreated = "The table %s was created.";
inline constexpr const char* kRestructureConfirm =
    "Restructure the table %s? Its records are copied into the new structure; the "
    "table stays as it is until the copy is complete.";
inline constexpr const char* kCopiedOfRecords = "%s of %s records copied";
inline constexpr const char* kValueDoesNotConvert =
    "Record %s, field %s: the value \"%s\" does not convert to the new field. Set it "
    "blank, or stop the restructure and leave the table as it was?";
inline constexpr const char* kSetBlank = "Set blank";
inline constexpr const char* kStopRestructure = "Stop";
inline constexpr const char* kRestructuredRecords = "Restructured: %s records copied, %s values set blank.";
inline constexpr const char* kRestructureStopped = "The restructure was stopped; the table is as it was.";
inline constexpr const char* kDefinitionCharacterNotStored =
    "The character %s of the definition cannot be stored in the code page of the "
    "database.";
inline constexpr const char* kCorrectTheMarkedRows =
    "Correct the rows whose problem is shown beside them first.";
inline constexpr const char* kTableNeedsName = "The table needs a name of 1 to 20 characters.";
inline constexpr const char* kTableNeedsFile =
    "The table needs the name of its data file, of 1 to 64 characters.";
inline constexpr const char* kCopyTable = "Copy table %s";
inline constexpr const char* kNameOfTheCopy = "Name of the copy:";
inline constexpr const char* kReplaceRecordsOf = "The table %s exists. Replace its records with those of %s?";
inline constexpr const char* kCopiedRecordsInto = "%s records copied into %s.";
inline constexpr const char* kRenameTable = "Rename table %s";
inline constexpr const char* kNewName = "New name:";
inline constexpr const char* kDeleteTableConfirm =
    "Delete the table %s from the dictionary? Its data file %s stays on the disk.";
// Logical values as the grid shows them.
inline constexpr const char* kTrue = "True";
inline constexpr const char* kFalse = "False";
inline constexpr const char* kSqlOn = "SQL on %s";
inline constexpr const char* kRowsAffected = "Rows affected: %d";
inline constexpr const char* kTheStatementRan = "The statement ran.";
inline constexpr const char* kReadOnlyRows = "(read-only)";
inline constexpr const char* kStatementFailed = "Statement %d (line %d) failed:";
inline constexpr const char* kStatementsRun = "%d statements";
inline constexpr const char* kNearAtLineColumn = "Near \"%s\" at line %d, column %d";
inline constexpr const char* kAtLineColumn = "At line %d, column %d";
inline constexpr const char* kTableNotDefined = "Table '%s' is not defined in the dictionary";
inline constexpr const char* kMilliseconds = "%d ms";
inline constexpr const char* kOwnerName = "Owner name";
inline constexpr const char* kTheFilesOfAreProtected =
    "The files of %s are protected. Their owner name:";
inline constexpr const char* kOwnerNames = "Owner names";
inline constexpr const char* kTheseFilesAreProtected =
    "These files are protected by owner names. Give one name for all of them, or a name for "
    "each:";
inline constexpr const char* kForAllFiles = "For all files:";
inline constexpr const char* kGoToRecord = "Go to record";
inline constexpr const char* kRecordNumber = "Record number:";
inline constexpr const char* kThereIsNoRecord = "There is no record %s among the records shown.";
inline constexpr const char* kFind = "Find";
inline constexpr const char* kTextToFind = "Text to find in any column:";
inline constexpr const char* kNoRecordHolds = "No record holds \"%s\".";
inline constexpr const char* kNoIndexOrdersBy =
    "No index of this table orders the rows by %s (Table > Restructure... in the database window "
    "adds one). Show the rows in that order through the SQL engine, for reading only?";

// Export and import.
inline constexpr const char* kBrowse = "Browse...";
inline constexpr const char* kFileLabel = "File:";
inline constexpr const char* kEncodingLabel = "Encoding:";
inline constexpr const char* kDatabaseCodePage = "The database's code page (%s)";
inline constexpr const char* kSeparatorLabel = "Separator:";
inline constexpr const char* kComma = "Comma";
inline constexpr const char* kSemicolon = "Semicolon";
inline constexpr const char* kTab = "Tab";
inline constexpr const char* kVerticalBar = "Vertical bar";
inline constexpr const char* kHeaderRow = "The first row names the columns";
inline constexpr const char* kExport = "Export";
inline constexpr const char* kImportInto = "Import into %s";
inline constexpr const char* kFormatLabel = "Format:";
inline constexpr const char* kCsvFormat = "CSV (values separated by a separator)";
inline constexpr const char* kJsonFormat = "JSON (an array of objects)";
inline constexpr const char* kSqlFormat = "SQL script (INSERT statements)";
inline constexpr const char* kQuotesLabel = "Quotes:";
inline constexpr const char* kQuoteWhereNeeded = "Where needed";
inline constexpr const char* kQuoteTexts = "Around texts and dates";
inline constexpr const char* kQuoteAll = "Around every field";
inline constexpr const char* kLineEndsLabel = "Line ends:";
inline constexpr const char* kWindowsLineEnds = "Windows (CR LF)";
inline constexpr const char* kLinuxLineEnds = "Linux (LF)";
inline constexpr const char* kSqlTableLabel = "Table in the SQL statements:";
inline constexpr const char* kPreviewLabel = "Preview:";
inline constexpr const char* kColumnsToFields = "Columns to fields:";
inline constexpr const char* kByName = "By name";
inline constexpr const char* kByPosition = "By position";
inline constexpr const char* kAsChosen = "As chosen below";
inline constexpr const char* kNotImported = "(not imported)";
inline constexpr const char* kRecordsLabel = "Records:";
inline constexpr const char* kAddRecords = "Add as new records";
inline constexpr const char* kUpdateRecords = "Update the records with the same key";
inline constexpr const char* kUpdateOrAddRecords = "Update those with the same key, add the others";
inline constexpr const char* kImportedRecordsInto = "Imported %d of %d records into %s.";
inline constexpr const char* kRecordsNotImported = "%d records were not imported:";
inline constexpr const char* kDuplicateKey = "a record with the same key exists";
inline constexpr const char* kLineRefused = "Line %d: %s";
inline constexpr const char* kAndMore = "... and %d more";
inline constexpr const char* kNoColumnMatches =
    "No column of the file matches a field of the table. Choose the columns for the fields.";
inline constexpr const char* kNotARecordFile = "%s is not a file of records: see line %d.";
inline constexpr const char* kImportedOfRecords = "Imported %d of %d records";
inline constexpr const char* kImportStoppedAfterRecords = "Import stopped after %d records";

// Every text above, for the list of texts a dictionary lacks.
inline constexpr const char* kAll[] = {
    kExportToCsv,
    kNoOtherTableRefersToThis,
    kNewRecordRecords,
    kNoRecords,
    kRecordOf,
    kTable,
    kDetailsOf,
    kFiltered,
    kRange,
    kDeleteTheCurrentRecord,
    kCannotWriteTo,
    kExportedOfRecords,
    kExportedRecords,
    kExportedRecordsIn,
    kPostOrCancelFirst,
    kExportStoppedAfterRecords,
    kTheDirectoryDoesNotExist,
    kTheDirectoryHoldsNoDataDictionary,
    kCannotOpenTheDatabase,
    kDatabase,
    kTables,
    kCannotOpenTheTable,
    kOpenDatabase,
    kOpenAlias,
    kAliasName,
    kBtrieveDatabaseToImport,
    kDirectoryForTheCopy,
    kTheImportOfFailed,
    kLoadFromFile,
    kSaveToFile,
    kNoPicture,
    kCannotRead,
    kStructureOf,
    kChooseByName,
    kNoFieldAfterTheMasterLink,
    kTrue,
    kFalse,
    kSqlOn,
    kRowsAffected,
    kTheStatementRan,
    kReadOnlyRows,
    kStatementFailed,
    kStatementsRun,
    kNearAtLineColumn,
    kAtLineColumn,
    kTableNotDefined,
    kMilliseconds,
    kOwnerName,
    kTheFilesOfAreProtected,
    kOwnerNames,
    kTheseFilesAreProtected,
    kForAllFiles,
    kPostBeforeClosing,
    kDiscard,
    kNoChangeToUndo,
    kPostOrCancelBeforeUndo,
    kUndoRecordGone,
    kUndoRecordChangedSince,
    kFileTooLargeForField,
    kRecordAboutOf,
    kGoToRecord,
    kRecordNumber,
    kThereIsNoRecord,
    kFind,
    kTextToFind,
    kNoRecordHolds,
    kNoIndexOrdersBy,
    kBrowse,
    kFileLabel,
    kEncodingLabel,
    kDatabaseCodePage,
    kSeparatorLabel,
    kComma,
    kSemicolon,
    kTab,
    kVerticalBar,
    kHeaderRow,
    kExport,
    kImportInto,
    kFormatLabel,
    kCsvFormat,
    kJsonFormat,
    kSqlFormat,
    kQuotesLabel,
    kQuoteWhereNeeded,
    kQuoteTexts,
    kQuoteAll,
    kLineEndsLabel,
    kWindowsLineEnds,
    kLinuxLineEnds,
    kSqlTableLabel,
    kPreviewLabel,
    kColumnsToFields,
    kByName,
    kByPosition,
    kAsChosen,
    kNotImported,
    kRecordsLabel,
    kAddRecords,
    kUpdateRecords,
    kUpdateOrAddRecords,
    kImportedRecordsInto,
    kRecordsNotImported,
    kDuplicateKey,
    kLineRefused,
    kAndMore,
    kNoColumnMatches,
    kNotARecordFile,
    kImportedOfRecords,
    kImportStoppedAfterRecords,
    kSetBlank,
    kStopRestructure,
    kFlagDuplicates,
    kFlagModifiable,
    kFlagDescending,
    kFlagCaseInsensitive,
    kFlagAcs,
    kFlagNullValue,
    kTableFileFacts,
    kOwnerLevel,
    kOwnerLevelNone,
    kOwnerLevelReadOnly,
    kOwnerLevelNameNeeded,
    kOwnerLevelReadOnlyEncrypted,
    kOwnerLevelNameNeededEncrypted,
    kOwnerLevelNotRecorded,
    kOwnerLevelUnknown,
    kDefineOneTable,
    kOnlyBtrieveTables,
    kNewTable,
    kRestructureOf,
    kTheDefinitionIsWrong,
    kTheTableWasCreated,
    kRestructureConfirm,
    kCopiedOfRecords,
    kValueDoesNotConvert,
    kRestructuredRecords,
    kRestructureStopped,
    kDefinitionCharacterNotStored,
    kCorrectTheMarkedRows,
    kTableNeedsName,
    kTableNeedsFile,
    kCopyTable,
    kNameOfTheCopy,
    kReplaceRecordsOf,
    kCopiedRecordsInto,
    kRenameTable,
    kNewName,
    kDeleteTableConfirm,
};

// The filter compiler's messages.
inline constexpr const auto& kFilterProblems = dbconsts::SFilterProblems;

}  // namespace vader::app::texts
