#pragma once
// The engine call layer: the one object through which the dataset components use the engine.
// Its operations take engine objects as handles and plain buffers, forward to the session,
// database or cursor concerned and return a 16-bit status: 0, or the code of the engine error
// the request raised. The last engine error stays on the call layer's error stack so that the
// components can fetch its text (GetErrorEntry, GetErrorString). Exceptions that are not engine
// errors pass through unchanged.
//
// The call layer keeps the current session (the target of the session-level operations) and
// remembers the last database and cursor handed to the operations that record them. The
// operation set is deliberately flat and small: relative moves, block writes, transactions and
// table or index creation are not reachable through it; SQL statements are prepared, executed
// and freed.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "engine/BseBapi.h"
#include "engine/BseColl.h"
#include "engine/BseDbase.h"
#include "engine/BseErrs.h"
#include "engine/BseFilt.h"
#include "engine/BseSess.h"
#include "engine/BseStmt.h"
#include "engine/BseTable.h"

namespace vader {

// The call layer's own property: a 32-bit value the components may set and read back.
constexpr uint32_t kEngineProperty = 0xFF070002;
// Entries the call layer's error stack keeps.
constexpr uint16_t kEngineErrorStackCapacity = 10;
// GetObjFromObj: the object type that asks for an object's owner.
constexpr uint32_t objOWNER = 2;

// Removes a bracketed server name: the text from the first "[" through the next "]" and the one
// character after it ("[SERVER]:/data/db" becomes "/data/db"); other texts are unchanged.
std::string RemoveServerPrefix(std::string_view text);

class TVirtEng : public TBapiListItem {
 public:
  // `sessionClass` is the class StartSession creates (ClassOf<T>() of a TBaseSession
  // descendant). `value` and `environment` are accepted and not used. The constructor opens the
  // first session, which becomes current; its status is kept in InitStatus (an engine error
  // there does not raise).
  explicit TVirtEng(TBapiListItemClass sessionClass, TBapiListItem* owner = nullptr,
                    TVaderCollection* collection = nullptr, int32_t value = 0,
                    const void* environment = nullptr);
  // Frees every session and, through them, every database, cursor and statement.
  ~TVirtEng() override;

  // kEngineProperty reads and writes the engine property (4 bytes); others as the base.
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  void SetProp(uint32_t propId, int32_t value) override;

  // ---- sessions ----
  uint16_t StartSession(const char* name, TBaseSession*& session, const char* netDir);
  // Frees `session`; the first remaining session becomes current. Freeing the last one returns
  // DBIERR_INVALIDHNDL, and there is no current session until the next Start/SetCurrSession.
  uint16_t CloseSession(TBaseSession* session);
  uint16_t SetCurrSession(TBaseSession* session);
  // Not guarded; always 0.
  uint16_t GetCurrSession(TBaseSession*& session);

  // ---- databases ----
  // The current session's OpenDatabase with the name prepared: `name` without its server
  // prefix, or, when `name` and `dbType` are both nullptr, the value of the optional parameter
  // "PATH" without its prefix, which is also written back over that parameter's value in
  // `optParams` (it never grows).
  uint16_t OpenDatabase(const char* name, const char* dbType, uint32_t openMode, uint32_t shareMode,
                        const char* password, uint16_t optCount, const FieldDesc* optDescs,
                        void* optParams, TBaseDatabase*& database);
  uint16_t CloseDatabase(TBaseDatabase*& database);
  uint16_t SetDirectory(TBaseDatabase* database, const char* dir);
  uint16_t OpenTable(TBaseDatabase* database, const char* name, const char* driverType,
                     const char* indexName, const char* indexTagName, uint16_t indexId,
                     uint32_t openMode, uint32_t shareMode, uint32_t translateMode,
                     bool uniDirectional, const void* optParams, TBaseTable*& cursor);
  uint16_t OpenFieldList(TBaseDatabase* database, const char* tableName, const char* driverType,
                         bool physTypes, TBaseTable*& cursor);
  uint16_t OpenIndexList(TBaseDatabase* database, const char* tableName, const char* driverType,
                         TBaseTable*& cursor);
  // No database provides validity-check lists: DBIERR_NOTSUPPORTED.
  uint16_t OpenVchkList(TBaseDatabase* database, const char* tableName, const char* driverType,
                        TBaseTable*& cursor);

  // ---- SQL statements ----
  // A statement of `database` holding `query` (SQL), not yet run.
  uint16_t QPrepare(TBaseDatabase* database, const char* query, TSqlStmt*& stmt);
  // Runs the statement; `cursor` receives its result, or nullptr when it gives no rows.
  uint16_t QExec(TSqlStmt* stmt, TBaseTable*& cursor);
  // Frees the statement; a result cursor it gave stays open until it is closed.
  uint16_t QFree(TSqlStmt*& stmt);

  // ---- cursors ----
  // Closes and frees `cursor`.
  uint16_t CloseCursor(TBaseTable* cursor);
  uint16_t CloneCursor(TBaseTable* cursor, bool readOnly, bool uniDirectional, TBaseTable*& clone);
  // Not guarded: every exception propagates; otherwise 0.
  uint16_t SetToBegin(TBaseTable* cursor);
  uint16_t SetToEnd(TBaseTable* cursor);
  // Puts `dest` on `source`'s record.
  uint16_t SetToCursor(TBaseTable* dest, TBaseTable* source);
  uint16_t GetBookMark(TBaseTable* cursor, void* bookmark);
  uint16_t SetToBookMark(TBaseTable* cursor, const void* bookmark);
  uint16_t CompareBookMarks(TBaseTable* cursor, const void* bookmark1, const void* bookmark2,
                            int& result);
  uint16_t GetRecord(TBaseTable* cursor, TLockType lock, uint8_t* record, RecordProps* props);
  uint16_t GetNextRecord(TBaseTable* cursor, TLockType lock, uint8_t* record, RecordProps* props);
  // The beginning reads as DBIERR_BOF also when the cursor reports it as DBIERR_EOF; the error
  // stack keeps the cursor's own entry.
  uint16_t GetPriorRecord(TBaseTable* cursor, TLockType lock, uint8_t* record, RecordProps* props);
  uint16_t GetRecordForKey(TBaseTable* cursor, bool directKey, uint16_t fieldCount,
                           uint16_t keyLength, const void* key, uint8_t* record);
  uint16_t GetVchkDesc(TBaseTable* cursor, uint16_t seqNo, void* desc);
  uint16_t RelRecordLock(TBaseTable* cursor, bool all);
  uint16_t InitRecord(TBaseTable* cursor, uint8_t* record);
  uint16_t InsertRecord(TBaseTable* cursor, TLockType lock, uint8_t* record);
  uint16_t AppendRecord(TBaseTable* cursor, uint8_t* record);
  uint16_t ModifyRecord(TBaseTable* cursor, uint8_t* record, bool freeLock);
  uint16_t DeleteRecord(TBaseTable* cursor, uint8_t* record);
  uint16_t ReadBlock(TBaseTable* cursor, uint32_t& count, uint8_t* records);
  uint16_t SetToSeqNo(TBaseTable* cursor, uint32_t seqNo);
  uint16_t GetField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, void* dest,
                    bool& blank);
  uint16_t PutField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, const void* source);
  uint16_t VerifyField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* source, bool& blank);

  // ---- blobs ----
  uint16_t OpenBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber, uint32_t openMode);
  uint16_t GetBlobSize(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber, uint32_t& size);
  uint16_t GetBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber, uint32_t offset,
                   uint32_t length, void* dest, uint32_t& read);
  uint16_t PutBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber, uint32_t offset,
                   uint32_t length, const void* source);
  uint16_t TruncateBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber, uint32_t length);
  uint16_t FreeBlob(TBaseTable* cursor, uint8_t* record, uint16_t fieldNumber);

  // ---- descriptions and counts ----
  uint16_t GetCursorProps(TBaseTable* cursor, CursorProps& props);
  // `descs` has room for every field of the cursor.
  uint16_t GetFieldDescs(TBaseTable* cursor, FieldDesc* descs);
  uint16_t GetRecordCount(TBaseTable* cursor, uint32_t& count);
  uint16_t GetExactRecordCount(TBaseTable* cursor, uint32_t& count);
  uint16_t ForceReread(TBaseTable* cursor);
  uint16_t ForceRecordReread(TBaseTable* cursor, uint8_t* record);

  // ---- ranges, keys and indexes ----
  uint16_t SetRange(TBaseTable* cursor, bool keyItself, uint16_t fieldCount1, uint16_t length1,
                    const void* key1, bool include1, uint16_t fieldCount2, uint16_t length2,
                    const void* key2, bool include2);
  uint16_t ResetRange(TBaseTable* cursor);
  uint16_t SwitchToIndex(TBaseTable* cursor, const char* indexName, const char* tagName,
                         uint16_t indexId, bool currentRecord);
  uint16_t ExtractKey(TBaseTable* cursor, const uint8_t* record, uint8_t* keyBuffer);
  uint16_t GetIndexDesc(TBaseTable* cursor, uint16_t seqNo, IndexDesc& desc);
  // `descs` has room for every index of the cursor.
  uint16_t GetIndexDescs(TBaseTable* cursor, IndexDesc* descs);

  // ---- filters ----
  uint16_t AddFilter(TBaseTable* cursor, uintptr_t clientData, uint16_t priority, bool canAbort,
                     const void* expression, TFilterProc filterProc, TFilterListItem*& filter);
  uint16_t DropFilter(TBaseTable* cursor, TFilterListItem* filter);
  uint16_t ActivateFilter(TBaseTable* cursor, TFilterListItem* filter);
  uint16_t DeactivateFilter(TBaseTable* cursor, TFilterListItem* filter);

  // ---- cached updates ----
  // `cursor` becomes the caching cursor over it, and the caller uses that from then on.
  uint16_t BeginDelayedUpdates(TBaseTable*& cursor);
  // `cursor` (a caching cursor) is freed with its cached changes; the cursor it cached comes
  // back in `cursor`.
  uint16_t EndDelayedUpdates(TBaseTable*& cursor);
  // Applies or discards the cached changes of a caching cursor, as `command` says.
  uint16_t ApplyDelayedUpdates(TBaseTable* cursor, uint32_t command);

  // ---- properties and objects ----
  // `len` is 0 first; a nullptr object returns DBIERR_INVALIDPARAM without touching the stack.
  uint16_t GetProp(TBapiListItem* object, uint32_t propId, void* value, uint16_t maxLen,
                   uint16_t& len);
  uint16_t SetProp(TBapiListItem* object, uint32_t propId, int32_t value);
  // objOWNER gives the object's owner and 0; any other type gives nullptr and
  // DBIERR_INVALIDPARAM. Not guarded.
  uint16_t GetObjFromObj(TBapiListItem* object, uint32_t objectType, TBapiListItem*& result);

  // ---- the current session's services ----
  uint16_t NativeToAnsi(const void* ldObj, char* dest, const char* source, uint32_t length,
                        uint32_t& dataLoss);
  uint16_t AnsiToNative(const void* ldObj, char* dest, const char* source, uint32_t length,
                        uint32_t& dataLoss);
  uint16_t RegisterCallBack(TBaseTable* cursor, uint32_t kind, uintptr_t clientData,
                            uint16_t bufferLength, void* buffer, void* callback);
  // Dataset callbacks are not available: DBIERR_NA, nothing done.
  uint16_t RegisterDatasetCallback(uint32_t value, void* callback);
  uint16_t UnregisterDatasetCallback();
  uint16_t GetSesInfo(SessionInfo& info);
  uint16_t AddAlias(TCfgHandle cfg, const char* name, const char* driverType, const char* params,
                    bool persist);
  uint16_t DeleteAlias(TCfgHandle cfg, const char* name);
  // The configuration list of `path` (its server prefix removed).
  uint16_t OpenCfgInfoList(TCfgHandle cfg, uint32_t openMode, uint32_t configMode, const char* path,
                           TBaseTable*& cursor);
  // Without a current session nothing is done and 0 returned.
  uint16_t SetPrivateDir(const char* dir);

  // ---- the last error ----
  // Entry `index` (1 = newest) of the error stack formatted into `text` (kErrorTextSize bytes);
  // its code, or 0 with both outputs untouched when there is no such entry.
  uint16_t GetErrorEntry(uint16_t index, int32_t& nativeError, char* text) const;
  // 0 with the text of the newest entry of `code`, else `code` with `text` empty.
  uint16_t GetErrorString(uint16_t code, char* text) const;

  TBapiListItemClass SessionClass() const { return sessionClass_; }
  const TErrorStack& ErrorStack() const { return errorStack_; }
  TVaderCollection& Sessions() { return sessions_; }
  TBaseSession* CurrentSession() const { return currentSession_; }
  TBaseTable* CurrentCursor() const { return currentCursor_; }
  // The last database recorded; the call layer itself until the first one.
  TBapiListItem* CurrentDatabase() const { return currentDatabase_; }
  uint16_t InitStatus() const { return initStatus_; }
  int32_t EngineProperty() const { return engineProperty_; }

 private:
  // Runs `call` under the guard: 0, or the code of the engine error it raised, which then is
  // the only entry of the error stack.
  template <class F>
  uint16_t Guard(F&& call) {
    return GuardEngineCall(errorStack_, std::forward<F>(call));
  }
  // Guard for an operation that hands out an object: `out` receives it only when the request
  // succeeds and is nullptr otherwise, so a failed request never leaves a stale handle.
  template <class T, class F>
  uint16_t GuardOut(T*& out, F&& call) {
    out = nullptr;
    T* result = nullptr;
    uint16_t status = Guard([&] { call(result); });
    if (status == DBIERR_NONE) out = result;
    return status;
  }
  TBaseSession& Session() const;
  void RecordDatabase(TBaseDatabase* database);
  void RecordCursor(TBaseTable* cursor);
  // Before an object is freed: the current database and cursor are forgotten when they are
  // that object or lie under it, so that the call layer never keeps a freed object.
  void Forget(const TBapiListItem* item);
  void ForgetDatabase(TBaseDatabase& database);
  void ForgetSession(TBaseSession& session);

  TBapiListItemClass sessionClass_;
  TErrorStack errorStack_{kEngineErrorStackCapacity};
  TVaderCollection sessions_;
  TBaseSession* currentSession_ = nullptr;
  TBaseTable* currentCursor_ = nullptr;
  TBapiListItem* currentDatabase_ = nullptr;
  uint16_t initStatus_ = 0;
  int32_t engineProperty_ = 0;
};

}  // namespace vader
