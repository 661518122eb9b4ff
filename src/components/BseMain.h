#pragma once
// The engine-neutral dataset components: the session list, sessions, databases, the
// component layer's engine error, and the dataset base that turns an engine cursor into a
// dataset of the framework.
//
// Everything that depends on the concrete engine is asked of a few virtual class hooks
// (which engine object, which session list, which default session, which classes to create,
// which lock to take); BtrMain binds them to the Btrieve engine. Every engine call goes
// through the one call layer object of the process and returns a 16-bit status; a non-zero
// status becomes an ETDBEngineError carrying the call layer's whole error stack.
//
// At start-up, in an executable, the module chains COM initialisation into the
// application-initialisation hook, so COM is up on the GUI thread before the first window
// exists; at shutdown it undoes what succeeded.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/BseEng.h"
#include "framework/Classes.h"
#include "framework/DB.h"
#include "framework/FrameworkErrors.h"

namespace vader {

// Set when this process's own COM initialisation succeeded.
extern bool ComInitialized;

// IsExecutable is false when the module is loaded as a library: then nothing is chained.
void BseMainStartup(bool isExecutable);
void BseMainShutdown();

// ---- errors ----

// One entry of an engine error: its code, the data manager's native status and its text.
class TttError {
 public:
  TttError(uint16_t errorCode, int32_t nativeError, std::string message)
      : ErrorCode(errorCode), NativeError(nativeError), Message(std::move(message)) {}
  uint16_t ErrorCode;
  int32_t NativeError;
  std::string Message;
};

// The component layer's exception for a non-zero engine status: the status's own text, then
// every entry of the call layer's error stack, its message the distinct texts joined by line
// breaks.
class ETDBEngineError : public EDatabaseError {
 public:
  ETDBEngineError(const TVirtEng* engine, uint16_t status);
  ETDBEngineError(uint16_t status, std::vector<TttError> errors, const std::string& message);

  uint16_t ErrorCode() const { return errors_.empty() ? 0 : errors_.front().ErrorCode; }
  int ErrorCount() const { return static_cast<int>(errors_.size()); }
  const TttError& Errors(int index) const { return errors_.at(static_cast<std::size_t>(index)); }
  // Where the statement that failed is wrong, when the engine told.
  const TStatementPosition& StatementPosition() const { return position_; }

 private:
  static ETDBEngineError FromEngine(const TVirtEng* engine, uint16_t status);
  std::vector<TttError> errors_;
  TStatementPosition position_;
};

// Raises ETDBEngineError for a non-zero status.
void Check(const TVirtEng* engine, uint16_t status);

// The status answered when the one call layer object exists already.
constexpr uint16_t DBIERR_MULTIPLEINIT = 0x2A07;
// The engine error status whose text does not repeat the entries.
constexpr uint16_t kErrorWithoutText = 0x2EC4;

// Engine properties the components use.
constexpr uint32_t kSessionConfigModeProp = 0x2000C;
constexpr uint32_t kDatabaseTypeProp = 0x40002;
constexpr uint32_t kCursorInsertModeProp = 0x50014;
constexpr uint32_t kCursorFieldFullNameProp = 0x50010;
constexpr uint32_t kCursorHiddenFieldsProp = 0x04050004;
constexpr uint32_t kCursorOldRecordProp = 0x05050004;
// Size of the environment record the call layer is created with, and its language field.
constexpr std::size_t kEngineEnvironmentSize = 588;
constexpr std::size_t kEngineLanguageOffset = 524;
// Bytes of the block-read buffer.
constexpr std::size_t kBlockBufferSize = 0x6000;

class TttSession;
class TttDatabase;
class TttDBDataset;

// ---- session list ----

class TttSessionlist {
 public:
  TttSessionlist() = default;
  // The sessions stay (their owners free them) but forget the list.
  virtual ~TttSessionlist();
  TttSessionlist(const TttSessionlist&) = delete;
  TttSessionlist& operator=(const TttSessionlist&) = delete;

  // Class hooks.
  virtual TVirtEng* Engine() const = 0;
  virtual TttSession* DefaultSession() const = 0;
  // A new session component of the binding's session class.
  virtual TttSession* CreateSession(TComponent* owner) = 0;
  virtual void CriticalSectionCreate() = 0;
  virtual void CriticalSectionFree() = 0;

  // An empty name gives the default session; otherwise the first session of that name
  // (case-insensitive in the user's locale); nullptr when absent.
  TttSession* FindSession(const std::string& name) const;
  // As FindSession; raises "Invalid session name %s" when absent.
  TttSession* GetSession(const std::string& name) const;
  void AddSession(TttSession* session);
  void RemoveSession(TttSession* session);
  // Frees every session, the last first.
  void CloseAll();
  int Count() const;
  TttSession* Sessions(int index) const;
  std::vector<TttSession*> List() const;

  // The session of `owner` with AutoSessionName on, nullptr when it has none.
  TttSession* AutoNamedSession(const TComponent* owner) const;
  // The lowest free automatic session number, now taken; and giving one back.
  int TakeAutoNumber();
  void ReleaseAutoNumber(int number);

 private:
  mutable std::recursive_mutex listLock_;
  std::vector<TttSession*> sessions_;
  std::vector<bool> autoNumbers_;
};

// ---- session ----

class TttSession : public TComponent {
 public:
  ~TttSession() override;

  // Class hooks.
  virtual TVirtEng* Engine() const = 0;
  virtual void SetEngineObject(TVirtEng* engine) = 0;
  virtual void CriticalSectionStart() = 0;
  virtual void CriticalSectionEnd() = 0;
  virtual void SetSessionList() = 0;
  virtual TBapiListItemClass GetEngineClass() const = 0;
  virtual TttSession* DefaultSession() const = 0;
  // A new database component of the binding's database class, owned by Owner.
  virtual TttDatabase* CreateDatabase(TComponent* owner) = 0;
  virtual void ActivateSession(bool value);

  // With AutoSessionName on, the session name follows the component's name.
  void SetName(const std::string& name) override;

  // ---- properties ----
  bool Active() const { return handle_ != nullptr; }
  void SetActive(bool value);
  bool AutoSessionName() const { return autoSessionName_; }
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool value) { keepConnections_ = value; }
  // Upper case; read from the engine while active.
  std::string NetFileDir();
  void SetNetFileDir(const std::string& value);
  std::string PrivateDir();
  void SetPrivateDir(const std::string& value);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(const std::string& value);
  bool SQLHourGlass() const { return sqlHourGlass_; }
  void SetSQLHourGlass(bool value) { sqlHourGlass_ = value; }
  bool IsDefault() const { return defaultSession_; }
  int AutoSessionNumber() const { return autoNumber_; }
  std::function<void(TttSession*, bool& retry)> OnPassword;
  std::function<void(TttSession*)> OnStartup;

  // ---- databases ----
  // An open database of that name for the dataset's owner, created (temporary) when none.
  TttDatabase* AcquireDatabase(const std::string& databaseName, TComponent* owner);
  void ReleaseDatabase(TttDatabase* database);
  TttDatabase* FindDatabase(const std::string& databaseName) const;
  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  TttDatabase* Databases(int index) const { return databases_.at(static_cast<std::size_t>(index)); }

  // ---- configuration ----
  // The configured parameters of an alias (a database name) as NAME=VALUE lines.
  void GetAliasParams(const std::string& alias, std::vector<std::string>& list);
  void GetDriverParams(const std::string& driver, std::vector<std::string>& list);
  // A session-only alias from NAME=VALUE lines.
  void AddSessionAlias(const std::string& name, const std::string& driver,
                       const std::vector<std::string>& list);
  void DeleteSessionAlias(const std::string& name);

  // ---- engine use ----
  // The first lock enters the process lock and makes this session the engine's current one
  // (activating it when needed); nested locks only count.
  void LockSession();
  void UnlockSession();
  // Activates the session when needed.
  TBaseSession* GetHandle();
  TBaseSession* Handle() const { return handle_; }
  // Raises ETDBEngineError for a non-zero status of this session's engine.
  void Check(uint16_t status) const { vader::Check(Engine(), status); }
  TttSessionlist* SessionList() const { return sessionList_; }

 protected:
  explicit TttSession(TComponent* owner);
  // Second construction step of a binding (after its hooks exist): joins the session list.
  void Register();
  // First destruction step of a binding (while its hooks still exist): deactivates, hands
  // its databases to the default session and leaves the session list.
  void Unregister();
  void Loaded() override;
  void SetSessionListObject(TttSessionlist* list) { sessionList_ = list; }

 private:
  friend class TttDatabase;
  friend class TttSessionlist;
  void StartEngine();
  void MakeCurrent();
  void ApplyAutoName();
  void ReadCfgList(const std::string& path, std::vector<std::string>& list);
  void AddDatabase(TttDatabase* database);
  void RemoveDatabase(TttDatabase* database);

  TBaseSession* handle_ = nullptr;
  std::vector<TttDatabase*> databases_;
  bool streamedActive_ = false;
  bool keepConnections_ = true;
  bool defaultSession_ = false;
  bool sqlHourGlass_ = true;
  bool autoSessionName_ = false;
  bool settingAutoName_ = false;
  std::string sessionName_;
  int autoNumber_ = -1;
  std::string netFileDir_;
  std::string privateDir_;
  int lockCount_ = 0;
  bool registered_ = false;
  TttSessionlist* sessionList_ = nullptr;
};

// Locks a session for the lifetime of the object.
class TSessionLock {
 public:
  explicit TSessionLock(TttSession& session) : session_(session) { session.LockSession(); }
  ~TSessionLock() { session_.UnlockSession(); }
  TSessionLock(const TSessionLock&) = delete;
  TSessionLock& operator=(const TSessionLock&) = delete;

 private:
  TttSession& session_;
};

// ---- database ----

enum class TTransIsolation { tiDirtyRead, tiReadCommitted, tiRepeatableRead };

using TLoginEvent = std::function<void(TttDatabase*, std::vector<std::string>& loginParams)>;

class TttDatabase : public TComponent {
 public:
  ~TttDatabase() override;

  // Class hooks.
  virtual bool LoginPromptDefault() const { return true; }
  virtual TVirtEng* Engine() const = 0;
  virtual void SetSessionList() = 0;
  virtual TttSession* DefaultSession() const = 0;

  // ---- properties ----
  const std::string& AliasName() const { return aliasName_; }
  void SetAliasName(const std::string& value);
  bool Connected() const { return handle_ != nullptr; }
  void SetConnected(bool value);
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& value);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool value);
  bool KeepConnection() const { return keepConnection_; }
  void SetKeepConnection(bool value);
  bool LoginPrompt() const { return loginPrompt_; }
  void SetLoginPrompt(bool value) { loginPrompt_ = value; }
  // NAME=VALUE lines.
  const std::vector<std::string>& Params() const { return params_; }
  void SetParams(const std::vector<std::string>& value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(const std::string& value);
  TTransIsolation TransIsolation() const { return transIsolation_; }
  void SetTransIsolation(TTransIsolation value) { transIsolation_ = value; }
  TLoginEvent OnLogin;

  bool IsSQLBased() const { return isSQLBased_; }
  // The code page of the texts stored in the database: its "CODE PAGE" parameter (an alias
  // may carry it too), else the installation's OEM code page.
  std::string CodePage() const;
  bool Temporary() const { return temporary_; }
  int RefCount() const { return refCount_; }
  TBaseDatabase* Handle() const { return handle_; }
  TttSession* Session() const { return session_; }

  void Open();
  void Close();
  // The password for opening; may add a temporary session alias.
  std::string GetLoginParams();
  // Closes every attached dataset, the last first.
  void CloseDatasets();
  int DataSetCount() const { return static_cast<int>(dataSets_.size()); }
  TttDBDataset* DataSets(int index) const { return dataSets_.at(static_cast<std::size_t>(index)); }

 protected:
  explicit TttDatabase(TComponent* owner);
  // Second construction step of a binding: the login default, and the session that owns
  // the database (else the default session) with its name.
  void Register();
  void Unregister();
  void Loaded() override;
  void SetSessionListObject(TttSessionlist* list) { sessionList_ = list; }

 private:
  friend class TttSession;
  friend class TttDBDataset;
  void CheckInactive() const;
  void AttachTo(TttSession* session);
  void UseSharedHandle(TttDatabase& other);
  void ReadDatabaseType();
  std::string ParamValue(const std::string& name) const;
  void SetParamValue(const std::string& name, const std::string& value);
  void AddDataSet(TttDBDataset* dataSet);
  void RemoveDataSet(TttDBDataset* dataSet);

  TTransIsolation transIsolation_ = TTransIsolation::tiReadCommitted;
  bool loginPrompt_ = true;
  bool keepConnection_ = true;
  bool streamedConnected_ = false;
  bool isAlias_ = false;
  bool isSQLBased_ = false;
  bool handleShared_ = false;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool aliasAdded_ = false;
  std::vector<TttDBDataset*> dataSets_;
  TttSession* session_ = nullptr;
  TBaseDatabase* handle_ = nullptr;
  int refCount_ = 0;
  std::vector<std::string> params_;
  std::string sessionName_;
  std::string databaseName_;
  std::string aliasName_;
  bool temporary_ = false;
  bool destroying_ = false;
  TttSessionlist* sessionList_ = nullptr;
};

// ---- dataset base ----

// The record-info block at the end of every record buffer's engine part.
#pragma pack(push, 1)
struct TRecInfo {
  int32_t RecordNumber;
  uint8_t UpdateStatus;
  uint8_t BookmarkFlag;
  uint8_t Reserved[2];
};
#pragma pack(pop)
static_assert(sizeof(TRecInfo) == 8);

// A key buffer: an 8-byte header (modified, exclusive, field count) and a record.
struct TKeyBuffer {
  bool Modified = false;
  bool Exclusive = false;
  uint16_t FieldCount = 0;
  TRecordBuffer Record;
};

enum class TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
constexpr int kKeyBufferCount = 6;

// The framework's field type of an engine field descriptor.
TFieldType EngineFieldType(const FieldDesc& desc);
// Replaces Defs by one definition per descriptor (names decoded from CodePage); Required is
// indexed by field number.
void AddFieldDefs(const std::string& codePage, const std::vector<FieldDesc>& descs,
                  const std::vector<bool>& required, TFieldDefs& defs);

class TttBDEDataset : public TDataSet {
  friend class TttBlobStream;

 public:
  ~TttBDEDataset() override;

  // Class hooks.
  virtual TVirtEng* Engine() const = 0;
  virtual void SetSessionList() = 0;
  virtual TttSession* DefaultSession() const = 0;
  // The dataset's cursor; the base has none.
  virtual TBaseTable* CreateHandle() { return nullptr; }
  virtual void DestroyHandle();
  virtual void DestroyLookupCursor() {}
  virtual TBaseTable* GetLookupCursor(const std::string& /*keyFields*/, bool /*caseInsensitive*/) {
    return nullptr;
  }
  virtual void PrepareCursor() {}
  // The session whose lock brackets this dataset's engine use.
  virtual TttSession* DBSession() const { return DefaultSession(); }

  TBaseTable* Handle() const { return handle_; }
  // Raises ETDBEngineError for a non-zero status.
  void Check(uint16_t status) const { vader::Check(Engine(), status); }

  // ---- properties ----
  bool CachedUpdates() const { return cachedUpdates_; }
  void SetCachedUpdates(bool value);
  bool ObjectView() const { return objectView_; }
  void SetObjectView(bool value) { objectView_ = value; }
  // Reads the current index from its last record to its first: First, Next and the reads of
  // controls go the other way; the current record stays.
  bool ReadBackwards() const { return backwards_; }
  void SetReadBackwards(bool value);
  std::function<void(TDataSet*, TUpdateStatus, bool& applied)> OnUpdateRecord;
  std::function<void(TDataSet*, const std::exception&, bool& handled)> OnUpdateError;

  // ---- cached updates ----
  // Writes the cached changes to the table: prepare, then commit.
  void ApplyUpdates();
  // Clears the cached changes after they were applied.
  void CommitUpdates();
  // Throws the cached changes away.
  void CancelUpdates();

  // ---- framework overrides ----
  bool CanModify() const override { return canModify_; }
  TUpdateStatus UpdateStatus() const override;
  int RecordCount() override;
  int RecNo() const override;
  void SetRecNo(int value) override;
  bool IsSequenced() const override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override;
  bool InternalBookmarkValid(const TBookmark& bookmark) override;
  void SetFiltered(bool value) override;
  void SetFilterText(const std::string& value) override;
  void SetFilterOptions(TFilterOptions value) override;
  void SetOnFilterRecord(TFilterRecordEvent handler) override;
  bool Locate(const std::string& keyFields, const std::vector<TValue>& values,
              TLocateOptions options) override;
  std::vector<TValue> Lookup(const std::string& keyFields, const std::vector<TValue>& values,
                             const std::string& resultFields) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

  // ---- the current index ----
  bool ExpressionIndex() const { return expIndex_; }
  bool CaseInsensitiveIndex() const { return caseInsIndex_; }
  int KeyFieldCount() const { return keySize_; }
  uint16_t KeyFieldNumber(int index) const {
    return keyFields_.at(static_cast<std::size_t>(index));
  }
  // Reads the current index's information again from the cursor.
  void GetIndexInfo();
  void SwitchToIndex(const std::string& indexName, const std::string& tagName);

  // ---- key buffers and ranges ----
  TKeyBuffer& KeyBuffer(TKeyIndex index);
  // Enters set-key state on the buffer and starts it from an empty record.
  void SetKeyBuffer(TKeyIndex index, bool clear);
  // Key values by position into the range-start buffer, copied to the range end.
  void SetKeyFields(TKeyIndex index, const std::vector<TValue>& values);
  // Applies the range-start and range-end buffers; false when they equal the current range.
  bool SetCursorRange();
  // Drops the current range; false when none was set.
  bool ResetCursorRange();
  int RecordSize() const { return recordSize_; }

  // Block reading: rows come from a block the cursor fills in one call.
  void SetBlockReadSize(int value) override;
  // Rows of one block for a block-read size and a record size.
  static int BlockReadRows(int blockReadSize, int recordSize);

  // Texts of string and memo fields: stored in the code page of the dataset's texts, shown
  // and typed in the system's.
  virtual std::string TextCodePage() const;
  std::string FieldTextFromNative(const TField& field, std::string native) const override;
  std::string FieldTextToNative(const TField& field, const std::string& text) const override;
  bool ConvertsTexts(bool toNative) const;

  // The contents of a blob field in the current record (cached for the active row).
  std::string ReadBlob(const TField* field);
  // Replaces the contents of a blob field of the record being edited.
  void WriteBlob(TField* field, const std::string& contents);

 protected:
  explicit TttBDEDataset(TComponent* owner);

  // ---- framework storage hooks ----
  void InternalOpen() override;
  void InternalClose() override;
  std::size_t RecordBufferSize() const override { return bookmarkOffset_ + bookmarkCapacity_; }
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) override;
  // The record in the cursor's own direction.
  TGetResult GetForwards(TRecordBuffer& buffer, TGetMode mode, bool doCheck);
  static TGetMode Backwards(TGetMode mode);
  static TGetResult Backwards(TGetResult result);
  void InternalInitRecord(TRecordBuffer& buffer) override;
  TBookmark GetBookmarkData(const TRecordBuffer& buffer) const override;
  void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) override;
  TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override;
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override;
  void InternalGotoBookmark(const TBookmark& bookmark) override;
  bool GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const override;
  void SetFieldData(TField* field, TRecordBuffer& buffer, const void* source) override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  bool FindRecord(bool restart, bool goForward) override;
  TRecordBuffer* KeyRecordBuffer() const override;
  void PostKeyBuffer(bool commit) override;
  TRecordBuffer* CurrentRecordBuffer() const override;

  // Opens the cursor (CreateHandle); closing it is DestroyHandle.
  virtual void OpenCursorHandle();
  virtual void CloseCursorHandle();
  // Fills FieldDefs from the open cursor.
  void InternalInitFieldDefs();
  void SetHandle(TBaseTable* handle) { handle_ = handle; }
  TRecInfo& RecInfo(TRecordBuffer& buffer) const;
  const TRecInfo& RecInfo(const TRecordBuffer& buffer) const;
  // The engine part of a buffer that field reads and writes use, by state.
  uint8_t* FieldRecord(const TRecordBuffer& buffer) const;

 private:
  void ReadCursorProps();
  void AllocKeyBuffers();
  void FreeKeyBuffers();
  void InitKeyRecord(TKeyBuffer& key);
  void InitCursorRecord(TBaseTable* cursor, uint8_t* record);
  void ClearBlobCache(const TRecordBuffer& buffer);
  void SetupFilters();
  const FieldDesc* DescOf(int fieldNo) const;
  std::string ReadBlobFrom(const TField* field, const TRecordBuffer& buffer) const;
  void PutBlobContents(TField* field, TRecordBuffer& buffer, const void* source);
  TRecordBuffer* OldValueRecord() const;
  void ApplyDelayed(uint32_t command);
  // Filters.
  TFilterListItem* AddExpressionFilter(const std::string& text, TFilterOptions options,
                                       uint16_t priority);
  TFilterListItem* AddCallbackFilter();
  void ActivateFilters();
  void DeactivateFilters();
  static int16_t FilterCallback(uintptr_t clientData, uint8_t* record, int32_t recordNumber);
  void ReplaceFilter(TFilterListItem*& handle, TFilterListItem* replacement);
  void RestartAfterFilterChange();
  // Locate and lookup.
  // Finds the record into Found; MoveCursor puts the dataset's cursor on it.
  bool LocateRecord(const std::vector<TField*>& fields, const std::vector<TValue>& values,
                    TLocateOptions options, bool moveCursor, TRecordBuffer& found);
  TBaseTable* SearchCursor(const std::vector<TField*>& fields, TLocateOptions options);
  void SyncCursor();
  bool CursorOnRecord(const TRecordBuffer& buffer);
  // Whether the cursor stands on the record of `bookmark`.
  bool CursorOnBookmark(const TBookmark& bookmark);

  TBaseTable* handle_ = nullptr;
  RecordProps recProps_{};
  bool backwards_ = false;
  TFilterListItem* exprFilter_ = nullptr;
  TFilterListItem* funcFilter_ = nullptr;
  std::vector<TKeyBuffer> keyBuffers_;
  TKeyIndex keyIndex_ = TKeyIndex::kiLookup;
  TRecordBuffer* keyBuffer_ = nullptr;
  mutable TRecordBuffer cachedRecord_;  // the cached-update area: the record of an old value
  mutable TRecordBuffer* searchBuffer_ = nullptr;  // the record a search writes or reads
  std::vector<FieldDesc> fieldDescs_;
  std::vector<uint8_t> cursorRecord_;  // the cursor's own record buffer while it is open
  bool pendingFilters_ = false;
  bool canModify_ = false;
  bool expIndex_ = false;
  bool caseInsIndex_ = false;
  int keySize_ = 0;
  std::vector<uint16_t> keyFields_;
  uint16_t keyLength_ = 0;
  int16_t recNoStatus_ = 0;
  int recordSize_ = 0;
  std::size_t recInfoOffset_ = 0;
  std::size_t bookmarkOffset_ = 0;
  std::size_t bookmarkSize_ = 0;
  std::size_t bookmarkCapacity_ = 0;
  bool cachedUpdates_ = false;
  bool objectView_ = false;
  // The blob cache: per record buffer, the contents read for each blob field number.
  mutable std::map<const TRecordBuffer*, std::map<int, std::string>> blobCache_;
  // The block-read buffer: rows filled, rows per block and the next row to hand out.
  std::vector<uint8_t> blockBuffer_;
  uint32_t blockCount_ = 0;
  int blockRows_ = 0;
  uint32_t blockPos_ = 0;
  std::vector<uint8_t> blockBookmarks_;  // the bookmark of each row of the block
  TGetResult NextFromBlock(TRecordBuffer& buffer);
  void ReadBlockBookmarks();
  // The candidate record the callback filter shows to OnFilterRecord.
  TRecordBuffer filterRecord_;
};

class TttDBDataset : public TttBDEDataset {
 public:
  ~TttDBDataset() override;

  // Closes the dataset; called by its database while that closes.
  virtual void CloseFromDatabase() { Close(); }
  // Database-use flags: setting the first attaches the dataset to its database, clearing
  // the last detaches it. Returns the flag's previous value.
  virtual bool SetDBFlag(int flag, bool value);

  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& value);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(const std::string& value);
  TttDatabase* Database() const { return database_; }
  std::string TextCodePage() const override;
  TBaseDatabase* DBHandle() const { return database_ ? database_->Handle() : nullptr; }
  TttSession* DBSession() const override;
  uint16_t DBFlags() const { return dbFlags_; }

 protected:
  explicit TttDBDataset(TComponent* owner) : TttBDEDataset(owner) {}
  void OpenCursorHandle() override;
  void CloseCursorHandle() override;
  // First destruction step of a binding: closes and detaches while the hooks exist.
  void Unregister();
  // Joins `list`; on an owner whose session names itself, the dataset takes that session.
  void SetSessionListObject(TttSessionlist* list);

 private:
  friend class TttSession;
  friend class TttDatabase;
  TttSessionlist* sessionList_ = nullptr;
  uint16_t dbFlags_ = 0;
  TttDatabase* database_ = nullptr;
  std::string databaseName_;
  std::string sessionName_;
};

// Database-use flags of a dataset.
constexpr int dbfOpened = 0;
constexpr int dbfFieldList = 4;
constexpr int dbfIndexList = 5;

}  // namespace vader
