#pragma once
// A DDF data dictionary in one directory: FILE.DDF (tables, 97-byte records), FIELD.DDF
// (fields, 32 bytes) and INDEX.DDF (index parts, 10 bytes), with their published record
// layouts and keys. The dictionary describes itself: its first three tables are its own files,
// flagged 0x10. All access goes through the API.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/TableSchema.h"

namespace vader::tools {

constexpr size_t kFileRecordSize = 97;
constexpr size_t kFieldRecordSize = 32;
constexpr size_t kIndexRecordSize = 10;

// Record images in the published layouts.
Bytes FileRecord(const TableDef& table);
Bytes FieldRecord(const FieldDef& field, uint16_t tableId);
Bytes IndexRecord(uint16_t tableId, uint16_t fieldId, uint16_t number, uint16_t part,
                  uint16_t flags);
// Trimmed text of a padded name field.
std::string TrimmedText(const Bytes& record, size_t offset, size_t size);

// X$File, X$Field and X$Index: the dictionary's own tables.
std::vector<TableDef> SystemTables();

class Dictionary {
 public:
  // Opens the dictionary in `directory`, its files opened with `owner` (may be empty).
  Dictionary(std::string directory, std::string owner = "");

  // Creates the three files and their self-description; an owner name is set on them when
  // given (`level`: 0 owner needed for any access, 1 read-only without it).
  static void Create(const std::string& directory, const std::string& owner, int level,
                     bool replace);

  std::vector<TableDef> Tables(bool includeDictionary) const;
  // The table with its fields and indexes; throws std::invalid_argument when unknown.
  TableDef Table(const std::string& name) const;
  // Gives the fields of `table` the types FIELDEXT.DDF sets for them, as the driver reads them.
  void ApplyFieldExtensions(TableDef& table) const;
  // Adds a table; creates its data file when `createFile` (replacing one when `replaceFile`).
  // Returns the table as stored, with its ids.
  TableDef Define(TableDef table, bool createFile, bool replaceFile);
  // Removes the table's entries and, when `deleteFile`, its data file.
  void Drop(const std::string& name, bool deleteFile);
  // The data file path of a location: bare names and relative paths are taken from the
  // dictionary directory; '\' separators become '/'.
  std::string Resolve(const std::string& location) const;

 private:
  std::string DdfPath(const char* name) const;
  uint16_t NextId(const char* ddf) const;
  void Insert(const TableDef& table) const;
  void LoadFields(TableDef& table) const;
  void LoadIndexes(TableDef& table) const;
  // The INDEX.DDF rows of table `tableId` in index and part order.
  std::vector<Bytes> IndexRows(uint16_t tableId) const;
  static TableDef FromFileRecord(const Bytes& record);

  std::string directory_;
  std::string owner_;
};

}  // namespace vader::tools
