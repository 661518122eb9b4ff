#pragma once
// Creating a table in a Btrieve database: its data file and its FILE.DDF, FIELD.DDF and
// INDEX.DDF entries, made as one step. The data file is created first (never over an existing
// file); the entries follow in one Btrieve transaction; when anything fails the transaction is
// undone and the new data file removed, so that a failure leaves the database as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "btrieve/BtrTypes.h"
#include "tools/TableSchema.h"

namespace vader {

class TBtrDatabase;
class TBtrTable;

// What the owner name of a table's data file guards, as the file's Stat tells.
enum class TOwnerLevel {
  Unknown,                       // the data file could not be read
  None,                          // no owner name
  NameForAnyAccess,              // reading and changing need the name (access level 0)
  ReadOnlyWithoutName,           // changing needs the name (access level 1)
  NameForAnyAccessEncrypted,     // as level 0, set with encryption (level 2)
  ReadOnlyWithoutNameEncrypted,  // as level 1, set with encryption (level 3)
  NotRecorded,                   // a name is set; the file does not say what it guards
};

struct TTableDescription {
  tools::TableDef def;
  int32_t records = -1;  // -1: the data file could not be read
  TOwnerLevel ownerLevel = TOwnerLevel::Unknown;
};

// The owner level that the file flags of a Stat tell.
TOwnerLevel OwnerLevelOfFileFlags(uint16_t fileFlags);

// Table `name` as its dictionary entries and its data file describe it: fields with their
// Btrieve types, sizes and decimals; indexes with their segments and flags; page size, record
// length, whether records vary in length and what its owner name guards (from the file, when it
// can be opened; a file that refuses to open without its owner name needs it to read).
TTableDescription DescribeBtrieveTable(TBtrDatabase& db, const std::string& name);

// Creates table `def` (fields with their Btrieve types, sizes and decimals; indexes with their
// segments and flags; page size) in `db`. Returns the table with the ids it was given.
// A name already defined: DBIERR_TABLEEXISTS; a file already at the location: status 59.
tools::TableDef CreateBtrieveTable(TBtrDatabase& db, tools::TableDef def);

// Creates table `name` with the structure of the open table `source`, which may belong to
// another database: the source file's record length, page size, keys, ACS and null values, and
// its dictionary's fields, index entries and type overrides (FIELDEXT.DDF, made in `db`'s
// dictionary like the source's when it has none). `location` is the new data file (empty: `name`
// with the extension ".BTR", in the database directory).
void CreateBtrieveTableLike(TBtrDatabase& db, TBtrTable& source, const std::string& name,
                            const std::string& location);

// One part of an index as INDEX.DDF holds it: the FIELD.DDF id of its field and its flags
// (without the segmented bit, which the part's place decides).
struct TIndexEntryPart {
  uint16_t fieldId = 0;
  uint16_t flags = 0;
};

// The INDEX.DDF entries of table `tableId` as they are.
std::vector<DictionaryIndexSegment> IndexEntriesOf(TBtrDatabase& db, uint16_t tableId);
// Adds index `number` of table `tableId` to INDEX.DDF in one dictionary transaction. Entries
// held under that number for a key the file did not have are replaced.
void AddIndexEntries(TBtrDatabase& db, uint16_t tableId, uint16_t number,
                     const std::vector<TIndexEntryPart>& parts);
// Removes index `number` of table `tableId` from INDEX.DDF and numbers the indexes after it one
// lower, as the file numbers its keys after the drop; in one dictionary transaction.
void DropIndexEntries(TBtrDatabase& db, uint16_t tableId, uint16_t number);
// Makes `entries` the INDEX.DDF entries of table `tableId` again, in one dictionary transaction.
void RestoreIndexEntries(TBtrDatabase& db, uint16_t tableId,
                         const std::vector<DictionaryIndexSegment>& entries);
// The FIELD.DDF records of table `tableId`.
std::vector<DictionaryField> FieldEntries(TBtrDatabase& db, uint16_t tableId);
// The FIELDEXT.DDF records (type overrides) of table `tableId`, whole; none when the dictionary
// has no FIELDEXT.DDF.
std::vector<std::vector<uint8_t>> FieldExtensionRows(TBtrDatabase& db, uint16_t tableId);

}  // namespace vader
