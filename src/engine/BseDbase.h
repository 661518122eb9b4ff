#pragma once
// One opened database of a session: its description, modes, password and user name, and the
// cursors opened on it. It is the factory of cursors and the place where table operations,
// transactions and SQL statements are asked for. The base does what can be done generically
// (finding open cursors, index lists, table checks, in-memory tables, running a statement) and
// leaves the storage-specific operations to the drivers, which override them. Operations the
// base cannot do raise DBIERR_NOTSUPPORTED, with the string resource named beside each.
//
// The virtual operations are declared in their fixed order; the Reserved ones keep their places
// for the drivers and have no operation behind them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "engine/BseBapi.h"
#include "engine/BseColl.h"
#include "engine/BseTable.h"

namespace vader {

// The description of a database, exchanged with the session and the dataset components.
#pragma pack(push, 1)
struct DatabaseDesc {
  char DbName[32];         // alias name; "PATH" for a database named by its directory
  char DbText[32];         // description text
  char PhysicalPath[261];  // directory of the database's files
  char DbType[32];         // the driver's type name ("STANDARD" by default)
};

// Transaction state as GetTranInfo reports it.
struct TranInfo {
  int32_t TranState;
  int32_t Isolation;
  uint8_t Reserved[2];
};
#pragma pack(pop)
static_assert(sizeof(DatabaseDesc) == 357);
static_assert(offsetof(DatabaseDesc, DbText) == 32);
static_assert(offsetof(DatabaseDesc, PhysicalPath) == 64);
static_assert(offsetof(DatabaseDesc, DbType) == 325);
static_assert(sizeof(TranInfo) == 10);

constexpr size_t kMaxPathLength = 260;
constexpr size_t kMaxPasswordLength = 31;
constexpr size_t kMaxUserNameLength = 31;

constexpr char kStandardDbType[] = "STANDARD";

// Transaction states.
constexpr int32_t xsINACTIVE = 0;
constexpr int32_t xsACTIVE = 1;

// Ends of a transaction.
constexpr uint32_t xendCOMMIT = 0;
constexpr uint32_t xendCOMMITKEEP = 1;
constexpr uint32_t xendABORT = 2;

// A transaction handle (the driver's; the Btrieve database hands out itself).
using TTranHandle = void*;

class TSqlStmt;

class TBaseDatabase : public TBapiListItem {
 public:
  // Create databases with CreateItem<T>(...) (or TBaseDatabase::Create<T>): the constructor
  // copies the description and the password; the second construction step applies the optional
  // parameters (SetParams), then the given password again (it wins over a parameter), then the
  // modes (SetModes). `desc`, `password` and the parameters may be nullptr; the optional
  // parameters are FieldDescs of which FieldName and FieldOffset count, each value a
  // NUL-terminated text at optParams + FieldOffset.
  TBaseDatabase(TBapiListItem* session, TVaderCollection* collection, const DatabaseDesc* desc,
                uint32_t openMode, uint32_t shareMode, const char* password,
                uint16_t optParamCount, const FieldDesc* optParamDescs, const void* optParams);
  // Frees every cursor still open on the database, then disconnects. A driver whose Disconnect
  // does more calls Tables().FreeAll() and Disconnect() from its own destructor.
  ~TBaseDatabase() override;

  template <class T, class... Args>
  static T* Create(Args&&... args) {
    return CreateItem<T>(std::forward<Args>(args)...);
  }

  // Low word 0: 16-bit 27; low word 2: the database type text, at most maxLen characters, Len
  // its length + 1. Other properties as the base.
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  // Low words 0 and 2 are read-only.
  void CheckProp(uint32_t propId, bool forWrite) override;

  virtual const char* GetDatabaseType() const { return kStandardDbType; }
  virtual void SetModes(uint32_t openMode, uint32_t shareMode);
  virtual int32_t Reserved7() { return 0; }
  // "USER NAME" (any case) sets the user name; other names are ignored.
  virtual void SetParam(const char* name, const char* value);
  // SetParam for each of `count` descriptors with the value at values + FieldOffset.
  virtual void SetParams(uint16_t count, const FieldDesc* descs, const void* values);
  // The first open cursor whose physical file name (when `name` is a path) or table name equals
  // `name` ignoring case, and whose file name is not empty; none raises NOSUCHTABLE.
  virtual void FindOpenTable(const char* name, TBaseTable*& cursor);
  virtual void SetDirectory(const char* dir);
  // Copies the directory into `dir` (kMaxPathLength + 1 bytes).
  virtual void GetDirectory(char* dir);
  virtual void Reserved13() {}
  virtual void Reserved14();  // 9023
  virtual void OpenTable(const char* name, const char* driverType, const char* indexName,
                         const char* indexTagName, uint16_t indexId, uint32_t openMode,
                         uint32_t shareMode, uint32_t translateMode, bool uniDirectional,
                         const void* optParams, TBaseTable*& cursor) = 0;
  virtual void OpenTableList(bool extended, bool system, const char* wild,
                             TBaseTable*& cursor) = 0;
  virtual void OpenFieldList(const char* tableName, const char* driverType, bool physTypes,
                             TBaseTable*& cursor) = 0;
  // OpenTableList(false, false, wild).
  virtual void OpenFileList(const char* wild, TBaseTable*& cursor);
  virtual void Reserved19();  // 9029
  // The index descriptors of `tableName`, from its open cursor or a temporary read-only open.
  virtual void OpenIndexList(const char* tableName, const char* driverType, TBaseTable*& cursor);
  virtual void Reserved21();  // 9024
  // The validity-check list; no driver provides it.
  virtual void Reserved22(const char* tableName, const char* driverType,
                          TBaseTable*& cursor);  // 9025
  virtual void Reserved23();                     // 9026
  virtual void Reserved24();                     // 9027
  virtual void Reserved25();                     // 9028
  virtual void OpenSPList(bool extended, bool system, const char* qualifier,
                          TBaseTable*& cursor);  // 9021
  virtual void Reserved27();                     // 9022
  virtual void Reserved28();                     // 9000
  virtual void Reserved29();                     // 9001
  // Whether the table list holds `name` (ignoring case).
  virtual void TableExists(const char* name, bool& exists);
  // Open cursors on `name` (first 31 characters, ignoring case); none raises NOSUCHTABLE.
  virtual void GetTableOpenCount(const char* name, const char* driverType, uint32_t& count);
  // FindOpenTable with `name` cut to 260 characters and at its first ';'.
  virtual void FindOpenTableByName(const char* name, TBaseTable*& cursor);
  // Table operations on `cursor`, or, without one, on `name` opened exclusively for the call.
  virtual void EmptyTable(TBaseTable* cursor, const char* name, const char* driverType);
  // A new table `name` (data file at `location`, or the driver's choice when nullptr) with the
  // structure of the open table `source`.
  virtual void CreateTableLike(TBaseTable* source, const char* name, const char* location);  // 9005
  virtual void Reserved35();  // 9006
  virtual void Reserved36();  // 9007
  virtual void Reserved37();  // 9008
  // An in-memory table named `name` with `fieldCount` fields, owned by this database.
  virtual void CreateInMemTable(const char* name, uint16_t fieldCount, const FieldDesc* descs,
                                TBaseTable*& cursor);
  virtual void Reserved39();                                          // 9010
  virtual void Reserved40();                                          // 9011
  virtual void RenameTable(const char* oldName, const char* newName);  // 9012
  virtual void DeleteTable(const char* name);                          // 9013
  virtual void AddIndex(TBaseTable* cursor, const char* name, const char* driverType,
                        const IndexDesc& desc, const char* keyViolName);
  virtual void DeleteIndex(TBaseTable* cursor, const char* name, const char* driverType,
                           const char* indexName, const char* indexTagName, uint16_t indexId);
  virtual void BeginTran(uint32_t isolation, TTranHandle& transaction);  // 9002
  virtual void EndTran(TTranHandle transaction, uint32_t endKind);       // 9003
  // `info` zeroed, then the transaction state and isolation.
  virtual void GetTranInfo(TTranHandle transaction, TranInfo& info);
  virtual void Reserved48();  // 9004
  // Not connected; 9014.
  virtual void Connect();
  virtual void Disconnect() { connected_ = false; }
  virtual void Reserved51();  // 9015
  virtual void Reserved52();  // 9016
  // QAlloc, QPrepare and Execute of one statement, which is freed in every case. With nullptr
  // for `cursor` the statement runs without a result cursor.
  virtual void QExecDirect(uint16_t language, const char* query, TBaseTable** cursor);
  virtual void QAlloc(uint16_t language, TSqlStmt*& stmt);  // 9017
  // QPrepareExt(SQL, query, 0, stmt).
  virtual void QPrepare(TSqlStmt*& stmt, const char* query);
  virtual void QPrepareExt(uint16_t language, const char* query, uint32_t flags,
                           TSqlStmt*& stmt);  // 9018
  virtual void Reserved57();                  // 9019
  virtual void QPrepareProc(const char* procName, uint16_t paramCount,
                            const FieldDesc* paramDescs, void* recordBuffer,
                            TSqlStmt*& stmt);  // 9020
  // DBIERR_NA.
  virtual void Reserved59();
  virtual void Reserved60() {}

  int32_t TranState() const { return tranState_; }
  int32_t TranIsolation() const { return tranIsolation_; }
  TVaderCollection& Tables() { return tables_; }
  const TVaderCollection& Tables() const { return tables_; }
  bool Connected() const { return connected_; }
  uint32_t OpenMode() const { return openMode_; }
  uint32_t ShareMode() const { return shareMode_; }
  const char* Password() const { return password_; }
  const DatabaseDesc& Desc() const { return desc_; }
  const char* UserName() const { return userName_; }
  // The code page of the texts stored in the database: its "CODE PAGE" parameter, else the
  // OEM code page.
  std::string TextCodePage() const;

 protected:
  void AfterConstruction() override;
  // Index list over the descriptors of `table`; NOTINDEXED when it has no index.
  void IndexListFrom(TBaseTable& table, TBaseTable*& cursor);

  int32_t tranState_ = xsINACTIVE;
  int32_t tranIsolation_ = 0;
  bool connected_ = false;
  uint32_t openMode_ = 0;
  uint32_t shareMode_ = 0;
  char password_[kMaxPasswordLength + 2] = {};
  DatabaseDesc desc_{};
  char userName_[kMaxUserNameLength + 1] = {};
  std::string codePage_;

 private:
  TVaderCollection tables_;
  // Construction arguments the second step applies.
  struct Pending {
    uint32_t openMode;
    uint32_t shareMode;
    uint16_t paramCount;
    const FieldDesc* paramDescs;
    const void* params;
    std::optional<std::string> password;
  };
  Pending pending_;
};

}  // namespace vader
