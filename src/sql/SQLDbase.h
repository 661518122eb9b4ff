#pragma once
// TBtrSqlDatabase: a Btrieve database that also speaks Scalable SQL. It logs in to the engine
// (on the database directory, or on a named database "@NAME"), prepares and runs statements and
// stored-procedure calls, and runs transactions through SQL while logged in, through Btrieve
// otherwise. Tables, the dictionary and Btrieve transactions stay those of TBtrDatabase.

#include <cstdint>

#include "btrieve/BtrDbase.h"
#include "engine/BseColl.h"
#include "sql/SqlTable.h"

namespace vader {

constexpr uint16_t DBIERR_NOACTIVETRAN = 0x2811;
// "Scalable SQL is not active on the requested server".
constexpr int16_t SQL_NOT_ACTIVE = 2103;
// "Scalable SQL cannot open the system tables".
constexpr int16_t SQL_SYSTEM_TABLES = 285;
constexpr int16_t SQL_PASSWORD_INVALID = 205;
constexpr int16_t SQL_LOGIN_SKIPPED = 51;

class TBtrSqlDatabase : public TBtrDatabase {
 public:
  TBtrSqlDatabase(TBapiListItem* session, TVaderCollection* collection, const DatabaseDesc* desc,
                  uint32_t openMode, uint32_t shareMode, const char* password,
                  uint16_t optParamCount, const FieldDesc* optParamDescs, const void* optParams,
                  const uint8_t* clientId);
  ~TBtrSqlDatabase() override;

  TVaderCollection& Statements() { return statements_; }
  int16_t SessionID() const { return sessionId_; }
  bool SQLChecked() const { return sqlChecked_; }
  bool BtrieveTransaction() const { return btrieveTransaction_; }

  const char* GetDatabaseType() const override { return "SQL"; }
  // "User"/"USER NAME" set the user name, "Password"/"PASSWORD" the password (31 characters).
  void SetParam(const char* name, const char* value) override;
  void Connect() override;
  void Disconnect() override;
  // A named database of the engine has no Btrieve table list: status 285.
  void OpenTableList(bool extended, bool system, const char* wild, TBaseTable*& cursor) override;
  void QAlloc(uint16_t language, TSqlStmt*& stmt) override;
  void QPrepareExt(uint16_t language, const char* query, uint32_t flags,
                   TSqlStmt*& stmt) override;
  void QPrepareProc(const char* procName, uint16_t paramCount, const FieldDesc* paramDescs,
                    void* recordBuffer, TSqlStmt*& stmt) override;
  void OpenSPList(bool extended, bool system, const char* qualifier,
                  TBaseTable*& cursor) override;
  void BeginTran(uint32_t isolation, TTranHandle& transaction) override;
  void EndTran(TTranHandle transaction, uint32_t endKind) override;

 protected:
  void AfterConstruction() override;

 private:
  // The first statement operation needs the engine library: 2103 without it.
  void RequireSQL();
  TSSQLSqlStmt* NewStatement(int32_t kind, const char* sql);

  TVaderCollection statements_;
  int16_t sessionId_ = -1;
  bool sqlChecked_ = false;
  bool btrieveTransaction_ = false;
  bool readAliasLogin_;
};

}  // namespace vader
