#include "engine/BseEng.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "engine/BseUtils.h"

namespace vader {
namespace {

// The optional parameter whose value names the database when neither a name nor a type is given.
constexpr std::string_view kPathParam = "PATH";

// The name handed to the session's OpenDatabase (see TVirtEng::OpenDatabase).
std::string PrepareDatabaseName(const char* name, const char* dbType, uint16_t optCount,
                                const FieldDesc* optDescs, void* optParams) {
  if (name != nullptr || dbType != nullptr) return RemoveServerPrefix(name != nullptr ? name : "");
  if (optDescs == nullptr || optParams == nullptr) return {};
  for (uint16_t i = 0; i < optCount; ++i) {
    if (!SameText(BoundedString(optDescs[i].FieldName), kPathParam)) continue;
    char* value = static_cast<char*>(optParams) + optDescs[i].FieldOffset;
    std::string prepared = RemoveServerPrefix(value);
    // Only characters are removed, so the bare path fits where the given one was.
    std::memmove(value, prepared.c_str(), prepared.size() + 1);
    return prepared;
  }
  return {};
}

}  // namespace

std::string RemoveServerPrefix(std::string_view text) {
  size_t open = text.find('[');
  if (open == std::string_view::npos) return std::string(text);
  size_t close = text.find(']', open + 1);
  if (close == std::string_view::npos) return std::string(text);
  size_t rest = std::min(close + 2, text.size());
  std::string result(text.substr(0, open));
  result.append(text.substr(rest));
  return result;
}

TVirtEng::TVirtEng(TBapiListItemClass sessionClass, TBapiListItem* owner,
                   TVaderCollection* collection, int32_t /*value*/, const void* /*environment*/)
    : TBapiListItem(owner, collection), sessionClass_(sessionClass) {
  initStatus_ = StartSession(nullptr, currentSession_, nullptr);
  currentDatabase_ = this;
}

TVirtEng::~TVirtEng() {
  // The sessions go while the call layer is still whole: their destructors leave its list.
  currentSession_ = nullptr;
  currentCursor_ = nullptr;
  currentDatabase_ = nullptr;
  sessions_.FreeAll();
}

void TVirtEng::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  if (propId != kEngineProperty) return TBapiListItem::GetProp(propId, value, maxLen, len);
  PutPropValue(&engineProperty_, sizeof engineProperty_, value, maxLen, len);
}

void TVirtEng::SetProp(uint32_t propId, int32_t value) {
  if (propId != kEngineProperty) return TBapiListItem::SetProp(propId, value);
  engineProperty_ = value;
}

// ---- bookkeeping ----

TBaseSession& TVirtEng::Session() const { return *CheckHandle(currentSession_); }

void TVirtEng::RecordDatabase(TBaseDatabase* database) { currentDatabase_ = CheckHandle(database); }

void TVirtEng::RecordCursor(TBaseTable* cursor) { currentCursor_ = CheckHandle(cursor); }

void TVirtEng::Forget(const TBapiListItem* item) {
  if (item == currentCursor_) currentCursor_ = nullptr;
  if (item == currentDatabase_) currentDatabase_ = nullptr;
}

void TVirtEng::ForgetDatabase(TBaseDatabase& database) {
  Forget(&database);
  for (int i = 0; i < database.Tables().Count(); ++i) Forget(database.Tables().At(i));
}

void TVirtEng::ForgetSession(TBaseSession& session) {
  Forget(&session);
  for (int i = 0; i < session.Databases().Count(); ++i)
    if (auto* database = dynamic_cast<TBaseDatabase*>(session.Databases().At(i)))
      ForgetDatabase(*database);
  for (int i = 0; i < session.MemTables().Count(); ++i) Forget(session.MemTables().At(i));
}

// ---- sessions ----

uint16_t TVirtEng::StartSession(const char* name, TBaseSession*& session, const char* netDir) {
  uint16_t status = GuardOut(session, [&](TBaseSession*& created) {
    if (sessionClass_ == nullptr) RaiseEngineError(DBIERR_INVALIDPARAM);
    std::unique_ptr<TBapiListItem> item(sessionClass_(this, &sessions_, name, netDir));
    // A class that makes something other than a session is a wrong argument.
    created = CheckParam(dynamic_cast<TBaseSession*>(item.get()));
    item.release();
  });
  if (status == DBIERR_NONE) currentSession_ = session;
  return status;
}

uint16_t TVirtEng::CloseSession(TBaseSession* session) {
  return Guard([&] {
    currentSession_ = CheckHandle(session);
    ForgetSession(*session);
    currentSession_ = nullptr;
    delete session;
    currentSession_ =
        sessions_.Count() > 0 ? dynamic_cast<TBaseSession*>(sessions_.At(0)) : nullptr;
    CheckHandle(currentSession_);
  });
}

uint16_t TVirtEng::SetCurrSession(TBaseSession* session) {
  return Guard([&] { currentSession_ = CheckHandle(session); });
}

uint16_t TVirtEng::GetCurrSession(TBaseSession*& session) {
  session = currentSession_;
  return DBIERR_NONE;
}

// ---- databases ----

uint16_t TVirtEng::OpenDatabase(const char* name, const char* dbType, uint32_t openMode,
                                uint32_t shareMode, const char* password, uint16_t optCount,
                                const FieldDesc* optDescs, void* optParams,
                                TBaseDatabase*& database) {
  return GuardOut(database, [&](TBaseDatabase*& opened) {
    std::string prepared = PrepareDatabaseName(name, dbType, optCount, optDescs, optParams);
    Session().OpenDatabase(prepared.c_str(), dbType, openMode, shareMode, password, optCount,
                           optDescs, optParams, opened);
    currentDatabase_ = opened;
  });
}

uint16_t TVirtEng::CloseDatabase(TBaseDatabase*& database) {
  return Guard([&] {
    RecordDatabase(database);
    ForgetDatabase(*database);
    delete database;
    database = nullptr;
  });
}

uint16_t TVirtEng::SetDirectory(TBaseDatabase* database, const char* dir) {
  return Guard([&] {
    RecordDatabase(database);
    database->SetDirectory(dir);
  });
}

uint16_t TVirtEng::OpenTable(TBaseDatabase* database, const char* name, const char* driverType,
                             const char* indexName, const char* indexTagName, uint16_t indexId,
                             uint32_t openMode, uint32_t shareMode, uint32_t translateMode,
                             bool uniDirectional, const void* optParams, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& opened) {
    RecordDatabase(database);
    database->OpenTable(name, driverType, indexName, indexTagName, indexId, openMode, shareMode,
                        translateMode, uniDirectional, optParams, opened);
  });
}

uint16_t TVirtEng::OpenFieldList(TBaseDatabase* database, const char* tableName,
                                 const char* driverType, bool physTypes, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& opened) {
    RecordDatabase(database);
    database->OpenFieldList(tableName, driverType, physTypes, opened);
  });
}

uint16_t TVirtEng::OpenIndexList(TBaseDatabase* database, const char* tableName,
                                 const char* driverType, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& opened) {
    RecordDatabase(database);
    database->OpenIndexList(tableName, driverType, opened);
  });
}

uint16_t TVirtEng::OpenVchkList(TBaseDatabase* database, const char* tableName,
                                const char* driverType, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& opened) {
    RecordDatabase(database);
    database->Reserved22(tableName, driverType, opened);
  });
}

// ---- SQL statements ----

uint16_t TVirtEng::QPrepare(TBaseDatabase* database, const char* query, TSqlStmt*& stmt) {
  return GuardOut(stmt, [&](TSqlStmt*& prepared) {
    RecordDatabase(database);
    try {
      database->QPrepare(prepared, CheckParam(query));
    } catch (...) {
      delete prepared;
      throw;
    }
  });
}

uint16_t TVirtEng::QExec(TSqlStmt* stmt, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& result) {
    CheckHandle(stmt)->Execute(&result);
    if (result) currentCursor_ = result;
  });
}

uint16_t TVirtEng::QFree(TSqlStmt*& stmt) {
  return Guard([&] {
    delete CheckHandle(stmt);
    stmt = nullptr;
  });
}

// ---- cursors ----
// The operations that do not record their cursor still refuse a missing one with
// DBIERR_INVALIDHNDL rather than reaching through it.

uint16_t TVirtEng::CloseCursor(TBaseTable* cursor) {
  return Guard([&] {
    CheckHandle(cursor)->CloseCursor();
    Forget(cursor);
    delete cursor;
  });
}

uint16_t TVirtEng::CloneCursor(TBaseTable* cursor, bool readOnly, bool uniDirectional,
                               TBaseTable*& clone) {
  return GuardOut(clone, [&](TBaseTable*& opened) {
    RecordCursor(cursor);
    cursor->CloneCursor(readOnly, uniDirectional, opened);
  });
}

uint16_t TVirtEng::SetToBegin(TBaseTable* cursor) {
  CheckHandle(cursor)->SetToBegin();
  return DBIERR_NONE;
}

uint16_t TVirtEng::SetToEnd(TBaseTable* cursor) {
  CheckHandle(cursor)->SetToEnd();
  return DBIERR_NONE;
}

uint16_t TVirtEng::SetToCursor(TBaseTable* dest, TBaseTable* source) {
  return Guard([&] {
    RecordCursor(source);
    source->SetToCursor(CheckHandle(dest));
  });
}

uint16_t TVirtEng::GetBookMark(TBaseTable* cursor, void* bookmark) {
  return Guard([&] {
    RecordCursor(cursor);
    cursor->GetBookMark(bookmark);
  });
}

uint16_t TVirtEng::SetToBookMark(TBaseTable* cursor, const void* bookmark) {
  return Guard([&] {
    RecordCursor(cursor);
    cursor->SetToBookMark(bookmark);
  });
}

uint16_t TVirtEng::CompareBookMarks(TBaseTable* cursor, const void* bookmark1,
                                    const void* bookmark2, int& result) {
  return Guard([&] { CheckHandle(cursor)->CompareBookMarks(bookmark1, bookmark2, result); });
}

uint16_t TVirtEng::GetRecord(TBaseTable* cursor, TLockType lock, uint8_t* record,
                             RecordProps* props) {
  return Guard([&] { CheckHandle(cursor)->GetRecord(lock, record, props); });
}

uint16_t TVirtEng::GetNextRecord(TBaseTable* cursor, TLockType lock, uint8_t* record,
                                 RecordProps* props) {
  return Guard([&] { CheckHandle(cursor)->GetNextRecord(lock, record, props); });
}

uint16_t TVirtEng::GetPriorRecord(TBaseTable* cursor, TLockType lock, uint8_t* record,
                                  RecordProps* props) {
  uint16_t status = Guard([&] { CheckHandle(cursor)->GetPriorRecord(lock, record, props); });
  return status == DBIERR_EOF ? DBIERR_BOF : status;
}

uint16_t TVirtEng::GetRecordForKey(TBaseTable* cursor, bool directKey, uint16_t fieldCount,
                                   uint16_t keyLength, const void* key, uint8_t* record) {
  return Guard(
      [&] { CheckHandle(cursor)->GetRecordForKey(directKey, fieldCount, keyLength, key, record); });
}

uint16_t TVirtEng::GetVchkDesc(TBaseTable* cursor, uint16_t seqNo, void* desc) {
  return Guard([&] { CheckHandle(cursor)->GetVchkDesc(seqNo, desc); });
}

uint16_t TVirtEng::RelRecordLock(TBaseTable* cursor, bool all) {
  return Guard([&] { CheckHandle(cursor)->RelRecordLock(all); });
}

uint16_t TVirtEng::InitRecord(TBaseTable* cursor, uint8_t* record) {
  return Guard([&] { CheckHandle(cursor)->InitRecord(record); });
}

uint16_t TVirtEng::InsertRecord(TBaseTable* cursor, TLockType lock, uint8_t* record) {
  return Guard([&] { CheckHandle(cursor)->InsertRecord(lock, record); });
}

uint16_t TVirtEng::AppendRecord(TBaseTable* cursor, uint8_t* record) {
  return Guard([&] { CheckHandle(cursor)->AppendRecord(record); });
}

uint16_t TVirtEng::ModifyRecord(TBaseTable* cursor, uint8_t* record, bool freeLock) {
  return Guard([&] { CheckHandle(cursor)->ModifyRecord(record, freeLock); });
}

uint16_t TVirtEng::DeleteRecord(TBaseTable* cursor, uint8_t* record) {
  return Guard([&] { CheckHandle(cursor)->DeleteRecord(record); });
}

uint16_t TVirtEng::ReadBlock(TBaseTable* cursor, uint32_t& count, uint8_t* records) {
  return Guard([&] { CheckHandle(cursor)->ReadBlock(count, records); });
}

uint16_t TVirtEng::SetToSeqNo(TBaseTable* cursor, uint32_t seqNo) {
  return Guard([&] { CheckHandle(cursor)->SetToSeqNo(seqNo); });
}

uint16_t TVirtEng::GetField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, void* dest,
                            bool& blank) {
  return Guard([&] { CheckHandle(cursor)->GetField(fieldNumber, record, dest, blank); });
}

uint16_t TVirtEng::PutField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record,
                            const void* source) {
  return Guard([&] { CheckHandle(cursor)->PutField(fieldNumber, record, source); });
}

uint16_t TVirtEng::VerifyField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* source,
                               bool& blank) {
  return Guard([&] { CheckHandle(cursor)->VerifyField(fieldNumber, source, blank); });
}

// ---- blobs ----

uint16_t TVirtEng::OpenBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber,
                            uint32_t openMode) {
  return Guard([&] { CheckHandle(cursor)->OpenBlob(record, fieldNumber, openMode); });
}

uint16_t TVirtEng::GetBlobSize(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber,
                               uint32_t& size) {
  return Guard([&] { CheckHandle(cursor)->GetBlobSize(record, fieldNumber, size); });
}

uint16_t TVirtEng::GetBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber,
                           uint32_t offset, uint32_t length, void* dest, uint32_t& read) {
  return Guard(
      [&] { CheckHandle(cursor)->GetBlob(record, fieldNumber, offset, length, dest, read); });
}

uint16_t TVirtEng::PutBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber,
                           uint32_t offset, uint32_t length, const void* source) {
  return Guard([&] { CheckHandle(cursor)->PutBlob(record, fieldNumber, offset, length, source); });
}

uint16_t TVirtEng::TruncateBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber,
                                uint32_t length) {
  return Guard([&] { CheckHandle(cursor)->TruncateBlob(record, fieldNumber, length); });
}

uint16_t TVirtEng::FreeBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber) {
  return Guard([&] { CheckHandle(cursor)->FreeBlob(record, fieldNumber); });
}

// ---- descriptions and counts ----

uint16_t TVirtEng::GetCursorProps(TBaseTable* cursor, CursorProps& props) {
  return Guard([&] { CheckHandle(cursor)->GetCursorProps(props); });
}

uint16_t TVirtEng::GetFieldDescs(TBaseTable* cursor, FieldDesc* descs) {
  return Guard([&] { CheckHandle(cursor)->GetFieldDescs(descs); });
}

uint16_t TVirtEng::GetRecordCount(TBaseTable* cursor, uint32_t& count) {
  return Guard([&] { CheckHandle(cursor)->GetRecordCount(count); });
}

uint16_t TVirtEng::GetExactRecordCount(TBaseTable* cursor, uint32_t& count) {
  return Guard([&] { CheckHandle(cursor)->GetExactRecordCount(count); });
}

uint16_t TVirtEng::ForceReread(TBaseTable* cursor) {
  return Guard([&] { CheckHandle(cursor)->ForceReread(); });
}

uint16_t TVirtEng::ForceRecordReread(TBaseTable* cursor, uint8_t* record) {
  return Guard([&] { CheckHandle(cursor)->ForceRecordReread(record); });
}

// ---- ranges, keys and indexes ----

uint16_t TVirtEng::SetRange(TBaseTable* cursor, bool keyItself, uint16_t fieldCount1,
                            uint16_t length1, const void* key1, bool include1, uint16_t fieldCount2,
                            uint16_t length2, const void* key2, bool include2) {
  return Guard([&] {
    CheckHandle(cursor)->SetRange(keyItself, fieldCount1, length1, key1, include1, fieldCount2,
                                  length2, key2, include2);
  });
}

uint16_t TVirtEng::ResetRange(TBaseTable* cursor) {
  return Guard([&] { CheckHandle(cursor)->ResetRange(); });
}

uint16_t TVirtEng::SwitchToIndex(TBaseTable* cursor, const char* indexName, const char* tagName,
                                 uint16_t indexId, bool currentRecord) {
  return Guard(
      [&] { CheckHandle(cursor)->SwitchToIndex(indexName, tagName, indexId, currentRecord); });
}

uint16_t TVirtEng::ExtractKey(TBaseTable* cursor, const uint8_t* record, uint8_t* keyBuffer) {
  return Guard([&] { CheckHandle(cursor)->ExtractKey(record, keyBuffer); });
}

uint16_t TVirtEng::GetIndexDesc(TBaseTable* cursor, uint16_t seqNo, IndexDesc& desc) {
  return Guard([&] { CheckHandle(cursor)->GetIndexDesc(seqNo, desc); });
}

uint16_t TVirtEng::GetIndexDescs(TBaseTable* cursor, IndexDesc* descs) {
  return Guard([&] { CheckHandle(cursor)->GetIndexDescs(descs); });
}

// ---- filters ----

uint16_t TVirtEng::AddFilter(TBaseTable* cursor, uintptr_t clientData, uint16_t priority,
                             bool canAbort, const void* expression, TFilterProc filterProc,
                             TFilterListItem*& filter) {
  return GuardOut(filter, [&](TFilterListItem*& added) {
    CheckHandle(cursor)->AddFilter(clientData, priority, canAbort, expression, filterProc, added);
  });
}

uint16_t TVirtEng::DropFilter(TBaseTable* cursor, TFilterListItem* filter) {
  return Guard([&] { CheckHandle(cursor)->DropFilter(filter); });
}

uint16_t TVirtEng::ActivateFilter(TBaseTable* cursor, TFilterListItem* filter) {
  return Guard([&] { CheckHandle(cursor)->ActivateFilter(filter); });
}

uint16_t TVirtEng::DeactivateFilter(TBaseTable* cursor, TFilterListItem* filter) {
  return Guard([&] { CheckHandle(cursor)->DeactivateFilter(filter); });
}

// ---- cached updates ----

uint16_t TVirtEng::BeginDelayedUpdates(TBaseTable*& cursor) {
  return Guard([&] {
    TBaseTable* handle = CheckHandle(cursor);
    handle->BeginDelayedUpdates(handle);
    cursor = handle;
  });
}

uint16_t TVirtEng::EndDelayedUpdates(TBaseTable*& cursor) {
  return Guard([&] {
    TBaseTable* handle = CheckHandle(cursor);
    // The caching cursor frees itself; the call layer then remembers the cursor it cached.
    bool wasCurrent = handle == currentCursor_;
    handle->EndDelayedUpdates(handle);
    if (wasCurrent) currentCursor_ = handle;
    cursor = handle;
  });
}

uint16_t TVirtEng::ApplyDelayedUpdates(TBaseTable* cursor, uint32_t command) {
  return Guard([&] { CheckHandle(cursor)->ApplyDelayedUpdates(command); });
}

// ---- properties and objects ----

uint16_t TVirtEng::GetProp(TBapiListItem* object, uint32_t propId, void* value, uint16_t maxLen,
                           uint16_t& len) {
  len = 0;
  if (object == nullptr) return DBIERR_INVALIDPARAM;
  return Guard([&] { object->GetProp(propId, value, maxLen, len); });
}

uint16_t TVirtEng::SetProp(TBapiListItem* object, uint32_t propId, int32_t value) {
  if (object == nullptr) return DBIERR_INVALIDPARAM;
  return Guard([&] { object->SetProp(propId, value); });
}

uint16_t TVirtEng::GetObjFromObj(TBapiListItem* object, uint32_t objectType,
                                 TBapiListItem*& result) {
  if (objectType == objOWNER && object != nullptr) {
    result = object->Owner();
    return DBIERR_NONE;
  }
  result = nullptr;
  return DBIERR_INVALIDPARAM;
}

// ---- the current session's services ----

uint16_t TVirtEng::NativeToAnsi(const void* ldObj, char* dest, const char* source, uint32_t length,
                                uint32_t& dataLoss) {
  return Guard([&] { Session().NativeToAnsi(ldObj, dest, source, length, dataLoss); });
}

uint16_t TVirtEng::AnsiToNative(const void* ldObj, char* dest, const char* source, uint32_t length,
                                uint32_t& dataLoss) {
  return Guard([&] { Session().AnsiToNative(ldObj, dest, source, length, dataLoss); });
}

uint16_t TVirtEng::RegisterCallBack(TBaseTable* cursor, uint32_t kind, uintptr_t clientData,
                                    uint16_t bufferLength, void* buffer, void* callback) {
  return Guard([&] {
    Session().RegisterCallBack(cursor, kind, clientData, bufferLength, buffer, callback);
  });
}

uint16_t TVirtEng::RegisterDatasetCallback(uint32_t /*value*/, void* /*callback*/) {
  return DBIERR_NA;
}

uint16_t TVirtEng::UnregisterDatasetCallback() { return DBIERR_NA; }

uint16_t TVirtEng::GetSesInfo(SessionInfo& info) {
  return Guard([&] { Session().GetSesInfo(info); });
}

uint16_t TVirtEng::AddAlias(TCfgHandle cfg, const char* name, const char* driverType,
                            const char* params, bool persist) {
  return Guard([&] { Session().AddAlias(cfg, name, driverType, params, persist); });
}

uint16_t TVirtEng::DeleteAlias(TCfgHandle cfg, const char* name) {
  return Guard([&] { Session().DeleteAlias(cfg, name); });
}

uint16_t TVirtEng::OpenCfgInfoList(TCfgHandle cfg, uint32_t openMode, uint32_t configMode,
                                   const char* path, TBaseTable*& cursor) {
  return GuardOut(cursor, [&](TBaseTable*& opened) {
    std::string bare = RemoveServerPrefix(path != nullptr ? path : "");
    Session().OpenCfgInfoList(cfg, openMode, configMode, bare.c_str(), opened);
  });
}

uint16_t TVirtEng::SetPrivateDir(const char* dir) {
  if (currentSession_ == nullptr) return DBIERR_NONE;
  return Guard([&] { currentSession_->SetPrivateDir(dir); });
}

// ---- the last error ----

uint16_t TVirtEng::GetErrorEntry(uint16_t index, int32_t& nativeError, char* text) const {
  return vader::GetErrorEntry(errorStack_, index, nativeError, text);
}

uint16_t TVirtEng::GetErrorString(uint16_t code, char* text) const {
  return vader::GetErrorString(errorStack_, code, text);
}

}  // namespace vader
