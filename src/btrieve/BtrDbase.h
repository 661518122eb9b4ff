#pragma once
// TBtrDatabase: a Btrieve database, a directory holding data files and their DDF dictionary.
// It opens tables by dictionary name, by file name or from a table-definition resource, lists
// the tables and the fields of a table, renames and removes dictionary entries, and runs
// Btrieve transactions, all under the client identifier of the session that owns it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "btrieve/BtrDict.h"
#include "btrieve/BtrTable.h"
#include "engine/BseDbase.h"

namespace vader {

constexpr uint16_t DBIERR_ACTIVETRAN = 0x2810;
constexpr uint16_t DBIERR_TABLEEXISTS = 0x3304;

class TBtrDatabase : public TBaseDatabase {
 public:
  // `clientId` is the owning session's 16-byte client identifier (nullptr: the default client).
  TBtrDatabase(TBapiListItem* session, TVaderCollection* collection, const DatabaseDesc* desc,
               uint32_t openMode, uint32_t shareMode, const char* password, uint16_t optParamCount,
               const FieldDesc* optParamDescs, const void* optParams, const uint8_t* clientId);
  ~TBtrDatabase() override;

  const uint8_t* ClientIDRef() const { return clientId_; }
  // The database directory with a separator after it.
  std::string Directory() const;

  const char* GetDatabaseType() const override { return kBtrieveDbType; }
  // Btrieve's current directory of this client.
  void SetDirectory(const char* dir) override;
  void GetDirectory(char* dir) override;
  // A TBtrTable on `name` ("<table or file>[;OWNER:<owner>][;RES:<resource>]"). A table that
  // fails to open is freed and the exception passes on.
  void OpenTable(const char* name, const char* driverType, const char* indexName,
                 const char* indexTagName, uint16_t indexId, uint32_t openMode, uint32_t shareMode,
                 uint32_t translateMode, bool uniDirectional, const void* optParams,
                 TBaseTable*& cursor) override;
  void OpenTableList(bool extended, bool system, const char* wild, TBaseTable*& cursor) override;
  void OpenFieldList(const char* tableName, const char* driverType, bool physTypes,
                     TBaseTable*& cursor) override;
  // Dictionary entries only; the data file stays.
  void RenameTable(const char* oldName, const char* newName) override;
  void DeleteTable(const char* name) override;
  // Concurrent Btrieve transactions; the handle is the database. A second BeginTran raises
  // DBIERR_ACTIVETRAN.
  void BeginTran(uint32_t isolation, TTranHandle& transaction) override;
  // xendABORT aborts, any other kind commits.
  void EndTran(TTranHandle transaction, uint32_t endKind) override;

  // ---- dictionary routines ----

  // The data file of table `name` (a table name, or a file name when it holds ":", "\" or
  // "."), from an open table of that name or from FILE.DDF; `record` receives the entry.
  // Unknown: status 204 with the name.
  std::string FindTableFile(const char* name, DictionaryFile& record);
  // The same into `table`'s FILE.DDF record.
  std::string FindTableFile(TBtrBaseTable& table, const char* name);
  // The field cache of `table` from another open table of that name, else from the field list.
  void LoadFieldDefinitions(TBtrTable& table, const char* name, uint16_t tableId);
  // The FIELD.DDF entries of table `name` (`record` its FILE.DDF entry), in the order its
  // cursors number the fields: entry n - 1 describes field n.
  std::vector<DictionaryField> FieldEntries(const char* name, const DictionaryFile& record);
  // An opened field list: the resource's for a name with ";RES:" whose resource can be read,
  // else FIELD.DDF's for `fileRecord` (or, when nullptr, the entry FindTableFile gives).
  TBaseTable* OpenFieldList(const char* name, const DictionaryFile* fileRecord);
  void DeleteTableEntries(const char* name);
  // Deletes every record of dictionary file `file` whose table id (at `offset`) is `tableId`; a
  // dictionary without that file has nothing to delete.
  void DeleteDictionaryRows(const char* file, size_t offset, uint16_t tableId);
  // The records of dictionary file `file` whose table id (at `offset`) is `tableId`, whole.
  std::vector<std::vector<uint8_t>> DictionaryRows(const char* file, size_t offset,
                                                   uint16_t tableId);
  // Stores `mark` at `offset` of the FILE.DDF entry of table `name` (in its reserved bytes).
  void SetEntryMark(const std::string& name, size_t offset, uint8_t mark);
  // Whether FILE.DDF has an entry named `name` (compared as the dictionary compares names).
  bool IsTableDefined(const std::string& name);
  // The data file of a FILE.DDF location, resolved as the table's open resolves it.
  std::string LocationPath(const std::string& location) const;
  // Runs `work` in a Btrieve transaction of this database's client (or in the transaction the
  // database already has), so that entries in several dictionary files go together or not at all.
  void RunInTransaction(const std::function<void()>& work);
  // A new table with the structure of the open Btrieve table `source`.
  void CreateTableLike(TBaseTable* source, const char* name, const char* location) override;
  void RenameTableEntry(const char* oldName, const char* newName);

  static constexpr char kBtrieveDbType[] = "BTRIEVE";

 private:
  // The resolved data file of a FILE.DDF location for a table asked for as `name`.
  std::string ResolveLocation(const std::string& name, const DictionaryFile& entry) const;
  // Another open Btrieve table of `like`'s name with its fields from the same source
  // (dictionary, or the same resource); nullptr when none.
  TBtrBaseTable* OpenTableWithFields(const TBtrBaseTable& like);

  const uint8_t* clientId_;
};

}  // namespace vader
