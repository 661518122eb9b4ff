#include "sql/SQLDbase.h"

#include <memory>
#include <string>

#include "btrieve/BtrSess.h"
#include "engine/BseRgtry.h"
#include "engine/BseSess.h"
#include "engine/BseUtils.h"
#include "sql/SqlErrs.h"
#include "sql/Sqlapi.h"

namespace vader {
namespace {

bool Contains(const char* text, std::string_view part) {
  return std::string_view(text).find(part) != std::string_view::npos;
}

}  // namespace

TBtrSqlDatabase::TBtrSqlDatabase(TBapiListItem* session, TVaderCollection* collection,
                                 const DatabaseDesc* desc, uint32_t openMode, uint32_t shareMode,
                                 const char* password, uint16_t optParamCount,
                                 const FieldDesc* optParamDescs, const void* optParams,
                                 const uint8_t* clientId)
    : TBtrDatabase(session, collection, desc, openMode, shareMode, password, optParamCount,
                   optParamDescs, optParams, clientId),
      readAliasLogin_(optParamCount == 0) {}

TBtrSqlDatabase::~TBtrSqlDatabase() {
  // Results and statements go while the engine session is still logged in.
  Tables().FreeAll();
  statements_.FreeAll();
  try {
    Disconnect();
  } catch (const EVaderEngineError&) {
    // A destructor cannot report a failed logout.
  }
}

void TBtrSqlDatabase::AfterConstruction() {
  const bool passwordGiven = Password()[0] != '\0';
  TBtrDatabase::AfterConstruction();
  if (!readAliasLogin_) return;
  auto* session = dynamic_cast<TBaseSession*>(Owner());
  if (session == nullptr) return;
  TRightsRegistry registry;
  registry.SetRootKey(session->RegistryRoot());
  registry.Access = platform::KEY_READ;
  const std::string key =
      session->RegistryPath() + "\\Aliases\\" + BoundedString(Desc().DbName);
  if (!registry.OpenKey(key, false)) return;
  if (registry.GetDataType("User") == TRegDataType::rdString)
    SetParam("User", registry.ReadString("User").c_str());
  if (!passwordGiven && registry.GetDataType("Password") == TRegDataType::rdString)
    SetParam("Password", registry.ReadString("Password").c_str());
}

void TBtrSqlDatabase::SetParam(const char* name, const char* value) {
  const std::string_view text = value != nullptr ? value : "";
  if (name == nullptr) return;
  if (SameText(name, "User") || SameText(name, "USER NAME"))
    CopyToBuffer(userName_, text.substr(0, kMaxUserNameLength));
  else if (SameText(name, "Password"))
    CopyToBuffer(password_, text.substr(0, kMaxPasswordLength));
}

void TBtrSqlDatabase::RequireSQL() {
  if (sqlChecked_) return;
  if (!SQLLoaded()) SQLError(SQL_NOT_ACTIVE);
  sqlChecked_ = true;
}

void TBtrSqlDatabase::Connect() {
  if (Connected()) return;
  RequireSQL();
  const bool named = Contains(Desc().DbName, "@");
  const std::string dictPath = named ? BoundedString(Desc().DbName) : BoundedString(Desc().PhysicalPath);
  const std::string dataPath = named ? std::string() : BoundedString(Desc().PhysicalPath);
  const int16_t status = sqlapi::Login(UserName(), Password(), dictPath.c_str(), dataPath.c_str(),
                                       "", SQLAvailable() ? 1 : 0);
  switch (status) {
    case 0:
      connected_ = true;
      sessionId_ = -1;
      CheckSQLStatus(sqlapi::GetSessionID(sessionId_));
      return;
    case SQL_LOGIN_SKIPPED:
      return;
    case SQL_PASSWORD_INVALID:
      SQLErrorText(status, UserName());
    default:
      SQLErrorText(status, BoundedString(Desc().PhysicalPath));
  }
}

void TBtrSqlDatabase::Disconnect() {
  if (!Connected()) return;
  connected_ = false;
  sqlapi::PutSessionID(sessionId_);
  CheckSQLStatus(sqlapi::Logout());
}

void TBtrSqlDatabase::OpenTableList(bool extended, bool system, const char* wild,
                                    TBaseTable*& cursor) {
  if (Contains(Desc().DbName, "@") && Contains(Desc().DbType, "BTRIEVE"))
    SQLError(SQL_SYSTEM_TABLES);
  TBtrDatabase::OpenTableList(extended, system, wild, cursor);
}

TSSQLSqlStmt* TBtrSqlDatabase::NewStatement(int32_t kind, const char* sql) {
  return CreateItem<TSSQLSqlStmt>(this, &statements_, sql, qrylangSQL, kind, sessionId_,
                                  ClientIDRef());
}

void TBtrSqlDatabase::QAlloc(uint16_t /*language*/, TSqlStmt*& stmt) {
  RequireSQL();
  stmt = NewStatement(kSqlStmtOrdinary, nullptr);
}

void TBtrSqlDatabase::QPrepareExt(uint16_t language, const char* query, uint32_t flags,
                                  TSqlStmt*& stmt) {
  if (language != qrylangSQL) RaiseNotSupported(9018);
  Connect();
  if (stmt == nullptr) stmt = NewStatement(static_cast<int32_t>(flags), nullptr);
  auto* statement = CheckParam(dynamic_cast<TSSQLSqlStmt*>(stmt));
  statement->SetSessionID(sessionId_);
  statement->SetText(query);
}

void TBtrSqlDatabase::QPrepareProc(const char* procName, uint16_t paramCount,
                                   const FieldDesc* paramDescs, void* recordBuffer,
                                   TSqlStmt*& stmt) {
  Connect();
  const std::string text = std::string("CALL ") + CheckParam(procName) + "();";
  stmt = NewStatement(kSqlStmtProcedure, text.c_str());
  stmt->SetProcParams(paramCount, paramDescs, recordBuffer);
}

void TBtrSqlDatabase::OpenSPList(bool /*extended*/, bool /*system*/, const char* /*qualifier*/,
                                 TBaseTable*& cursor) {
  cursor = nullptr;
  std::unique_ptr<TBtrSqlProcTable> list(
      TBaseTable::Create<TBtrSqlProcTable>(this, &Tables(), Directory(), ClientIDRef()));
  list->OpenCursor();
  cursor = list.release();
}

void TBtrSqlDatabase::BeginTran(uint32_t isolation, TTranHandle& transaction) {
  if (tranState_ == xsACTIVE) RaiseEngineError(DBIERR_ACTIVETRAN);
  if (!Connected()) {
    TBtrDatabase::BeginTran(isolation, transaction);
    btrieveTransaction_ = true;
    return;
  }
  transaction = this;
  QExecDirect(qrylangSQL, "START TRANSACTION", nullptr);
  tranState_ = xsACTIVE;
  btrieveTransaction_ = false;
}

void TBtrSqlDatabase::EndTran(TTranHandle transaction, uint32_t endKind) {
  if (tranState_ != xsACTIVE) RaiseEngineError(DBIERR_NOACTIVETRAN);
  const bool btrieve = btrieveTransaction_;
  btrieveTransaction_ = false;
  if (btrieve) return TBtrDatabase::EndTran(transaction, endKind);
  // The transaction is over whatever the engine answers.
  tranState_ = xsINACTIVE;
  QExecDirect(qrylangSQL, endKind == xendABORT ? "ROLLBACK WORK" : "COMMIT WORK", nullptr);
}

}  // namespace vader
