#pragma once
// The table component of BseMain and its two companions: the blob stream through which blob,
// memo and graphic fields read and write one field of one record, and the batch move that
// transfers records from a source dataset into a destination table.
//
// The table names an engine table of its database, chooses the index that orders it (by
// index name or by field names), reads its field and index definitions also while closed,
// keeps a read-only clone on another index for locates and lookups, and follows a master
// dataset through a range on its own index. The engine-dependent hooks are bound in BtrMain.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/BseMain.h"
#include "engine/BseErrs.h"
#include "framework/DataLinks.h"

namespace vader {

class TttBatchMove;
class TttTable;

// Statuses the table, the blob stream and the batch move expect.
constexpr uint16_t kStatusTableReadOnly = 0x2A0B;
constexpr uint16_t kStatusNoTableRights = 0x2902;
constexpr uint16_t kStatusEndOfBlob = 0x2207;
constexpr uint16_t kStatusInvalidBlobOffset = 0x270E;
constexpr uint16_t kStatusKeyViolation = 0x2601;
// What the Btrieve driver reports for a duplicate key (its status 5).
constexpr uint16_t kStatusDuplicateKey = 0x2A10;
constexpr uint16_t kStatusCategoryRecordNotFound = 0x22;
// Cursor property that carries the update mode to an SQL cursor.
constexpr uint32_t kCursorUpdateModeProp = 0x4050000;
// Longest index name handed to the engine.
constexpr std::size_t kMaxIndexNameLength = 127;

// Runs a request made of an engine object directly (one the call layer does not offer) and
// turns its engine error into the component layer's.
template <class F>
void CallEngineObject(F&& call) {
  try {
    call();
  } catch (const EVaderEngineError& e) {
    // A driver's error carries its text as the native message, with the file or table named.
    std::string message = e.what();
    if (message.empty()) message = e.GetNativeMessage();
    if (!e.Context().empty() && message.find(e.Context()) == std::string::npos)
      message += message.empty() ? e.Context() : ": " + e.Context();
    throw ETDBEngineError(e.Code(), {TttError(e.Code(), e.NativeError(), message)}, message);
  }
}

// The value a blob stream writes through the field layer once it has put the bytes into the
// engine's blob itself: the table then only marks the record changed.
extern const std::string kBlobWrittenByStream;

enum class TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };
enum class TUpdateKind { ukModify, ukInsert, ukDelete };

// The abstract update object a table may apply its cached changes through.
class TTDataSetUpdateObject : public TComponent {
 public:
  explicit TTDataSetUpdateObject(TComponent* owner) : TComponent(owner) {}
  virtual TDataSet* GetDataSet() const = 0;
  virtual void SetDataSet(TDataSet* dataSet) = 0;
  virtual void Apply(TUpdateKind kind) = 0;
};

// A factory standing for a batch-move class.
using TBatchMoveClass = TttBatchMove* (*)(TComponent* owner);

// ---- the table ----

class TttTable : public TttDBDataset {
 public:
  ~TttTable() override;

  virtual TBatchMoveClass GetBatchMoveClass() const = 0;

  // ---- properties ----
  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& value);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  bool DefaultIndex() const { return defaultIndex_; }
  void SetDefaultIndex(bool value) { defaultIndex_ = value; }
  bool StoreDefs() const { return storeDefs_; }
  void SetStoreDefs(bool value) { storeDefs_ = value; }
  // The value only when it is of that kind; setting one clears the other.
  std::string IndexName() const { return indexIsFields_ ? std::string() : indexValue_; }
  void SetIndexName(const std::string& value) { SetIndex(value, false); }
  std::string IndexFieldNames() const { return indexIsFields_ ? indexValue_ : std::string(); }
  void SetIndexFieldNames(const std::string& value) { SetIndex(value, true); }
  TDataSource* MasterSource() const { return masterLink_.DataSource(); }
  // Refuses a source that leads back here ("Circular datalinks are not allowed").
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return masterLink_.FieldNames(); }
  void SetMasterFields(const std::string& value);
  TUpdateMode UpdateMode() const { return updateMode_; }
  void SetUpdateMode(TUpdateMode value);
  TTDataSetUpdateObject* UpdateObject() const { return updateObject_; }
  void SetUpdateObject(TTDataSetUpdateObject* value);
  TDataSource* DataSource() const override { return masterLink_.DataSource(); }

  // ---- definitions ----
  // Field definitions: from the cursor while open, from the engine's field list while closed.
  TFieldDefs& FieldDefs();
  void UpdateFieldDefs();
  TIndexDefs& IndexDefs() { return indexDefs_; }
  void UpdateIndexDefs();
  // The master dataset's link fields and this table's index fields that match them.
  void GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields);

  // ---- the table itself ----
  // Creates this table (closed) with the structure of the open dataset `source`, unless its
  // database already defines it; true when it was created.
  bool CreateTableLike(TttBDEDataset& source);
  // Adds an index over `fields` (names separated by ";") with `options` (TIndexOption bits) to
  // the table, open or closed; the engine decides its name. A Btrieve table's dictionary is
  // changed with its file.
  void AddIndex(const std::string& name, const std::string& fields, unsigned options);
  // Removes the index named `name` (as IndexDefs names it) from the table, open or closed.
  void DeleteIndex(const std::string& name);

  // ---- keys and ranges ----
  void SetKey() { EditKeyBuffer(TKeyIndex::kiLookup, true); }
  void EditKey() { EditKeyBuffer(TKeyIndex::kiLookup, false); }
  // Whether the key being edited excludes its own value from a range.
  bool KeyExclusive() { return KeyBuffer(editedKey_).Exclusive; }
  void SetKeyExclusive(bool value) { KeyBuffer(editedKey_).Exclusive = value; }
  // Moves to the record with exactly the lookup key; false (not moved) when there is none.
  bool GotoKey();
  // Moves to the first record at or after the lookup key (the last one when none is).
  void GotoNearest();
  bool FindKey(const std::vector<TValue>& keyValues);
  void FindNearest(const std::vector<TValue>& keyValues);
  void SetRangeStart() { EditKeyBuffer(TKeyIndex::kiRangeStart, true); }
  void SetRangeEnd() { EditKeyBuffer(TKeyIndex::kiRangeEnd, true); }
  void EditRangeStart() { EditKeyBuffer(TKeyIndex::kiRangeStart, false); }
  void EditRangeEnd() { EditKeyBuffer(TKeyIndex::kiRangeEnd, false); }
  // Applies the range buffers; the table moves to its first row when the range changed.
  void ApplyRange();
  void CancelRange();
  void SetRange(const std::vector<TValue>& startValues, const std::vector<TValue>& endValues);

  // ---- framework and dataset hooks ----
  bool CanModify() const override;
  bool OpenForTranslation() override;
  // The table name as the engine takes it.
  std::string EngineTableName() const;
  void DestroyLookupCursor() override;
  TBaseTable* GetLookupCursor(const std::string& keyFields, bool caseInsensitive) override;

 protected:
  explicit TttTable(TComponent* owner);
  // First destruction step of a binding: closes while the hooks exist.
  void Unregister();

  TBaseTable* CreateHandle() override;
  void DestroyHandle() override;
  void PrepareCursor() override;
  void InternalFirst() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  bool GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const override;
  void SetFieldData(TField* field, TRecordBuffer& buffer, const void* source) override;
  // A removed update object is forgotten.
  void Notification(TComponent* component, TOperation operation) override;
  // Applies the master link's range when the link is active (after opening, an index switch
  // or a master move).
  void CheckMasterRange();
  // Sets the range of the master link from the master's values on the leading key fields; a
  // binding may narrow it on the key fields that follow them.
  virtual void SetMasterRange(const std::vector<TValue>& masterValues);
  // The master link's fields (empty without a link).
  const std::vector<TField*>& MasterLinkFields() const { return masterLink_.Fields(); }

 private:
  friend class TttBlobStream;
  void EditKeyBuffer(TKeyIndex index, bool clear) {
    SetKeyBuffer(index, clear);
    editedKey_ = index;
  }
  void SetIndex(const std::string& value, bool isFields);
  // The engine's name of the index an index value stands for (empty: no index).
  std::string EngineIndexName(const std::string& value, bool isFields);
  // OpenTable, retried read-only for a read-only table and after the session's password
  // handler for a table refused for lack of rights.
  TBaseTable* OpenCursor(const std::string& indexName, bool readOnly);
  // Repeats an open while it fails for lack of rights and the session's handler says to.
  uint16_t RetryForRights(const std::function<uint16_t()>& open);
  void AddIndexDef(const IndexDesc& desc);
  // Runs `work` on the database of the table, attached for it while the table is closed; its
  // engine error becomes the component layer's.
  void WithDatabase(const std::function<void(TBaseDatabase&)>& work);
  // The engine's descriptor of a new index over `fields` with `options`.
  IndexDesc NewIndexDesc(const std::string& name, const std::string& fields, unsigned options);
  void MasterChanged();
  void MasterDisabled();
  std::vector<TValue> MasterValues() const;
  TField* KeyField(int position) const;
  void ApplyUpdateMode();
  void FreeModifiedBlobs();

  bool storeDefs_ = false;
  TIndexDefs indexDefs_;
  bool defaultIndex_ = true;
  bool exclusive_ = false;
  bool readOnly_ = false;
  std::string tableName_;
  TMasterDataLink masterLink_;
  std::string indexValue_;
  bool indexIsFields_ = false;
  TBaseTable* lookupCursor_ = nullptr;
  std::string lookupKeyFields_;
  bool lookupCaseInsensitive_ = false;
  TUpdateMode updateMode_ = TUpdateMode::upWhereAll;
  TTDataSetUpdateObject* updateObject_ = nullptr;
  bool fieldDefsRead_ = false;
  bool masterRangePending_ = false;
  TKeyIndex editedKey_ = TKeyIndex::kiLookup;
  // Blob fields whose blob a stream changed: their engine blobs stay open until post or cancel.
  std::vector<const TField*> modifiedBlobs_;
};

// ---- the blob stream ----

// The bytes of one blob field of one record, read from and written to the engine's blob;
// a complete read of the active row is kept in the row's blob cache.
class TttBlobStream : public TStream {
 public:
  TttBlobStream(TField* field, TBlobStreamMode mode);
  ~TttBlobStream() override;
  TttBlobStream(const TttBlobStream&) = delete;
  TttBlobStream& operator=(const TttBlobStream&) = delete;

  virtual TVirtEng* Engine() const = 0;
  // True: opening for reading first re-reads the current record, and stays unopened when
  // that fails.
  virtual bool ReadRecordFirst() const { return false; }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  void Truncate() override;

  bool Opened() const { return opened_; }
  bool Cached() const { return cached_; }

 protected:
  // Second construction step of a binding (its Engine hook exists then).
  void Open();

 private:
  // A memo lives in the record; its text is converted whole by its field (TMemoField), so the
  // stream carries the stored bytes.
  bool IsMemo() const;
  std::string& CacheEntry() const;
  bool HasCacheEntry() const;
  void ClearCacheEntry() const;
  bool FieldModified() const;
  void MarkFieldModified();
  uint8_t* Record() const;

  TField* field_;
  TttBDEDataset* dataSet_;
  TRecordBuffer* buffer_ = nullptr;
  TBlobStreamMode mode_;
  uint16_t fieldNo_ = 0;
  bool opened_ = false;
  bool modified_ = false;
  int32_t position_ = 0;
  std::string accumulator_;
  bool cached_ = false;
  int32_t accumulated_ = 0;
};

// ---- the batch move ----

enum class TBatchMode { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

// Moves the records of Source into Destination by Mode. Mappings pair destination and source
// fields ("DEST=SOURCE" or one name for both); without mappings fields pair by position.
// Records the destination refuses for a duplicate key go to the key-violation table, records
// whose values do not fit the destination to the problem table, and destination records an
// update overwrites to the changed table; each side table is a table of the destination's
// database, named by its table or file name. CommitCount > 0 commits the destination's
// database every that many records.
class TttBatchMove : public TComponent {
 public:
  explicit TttBatchMove(TComponent* owner);
  ~TttBatchMove() override;

  virtual TVirtEng* Engine() const = 0;
  // A table component of the binding, for the side tables.
  virtual TttTable* CreateTable(TComponent* owner) const = 0;

  // ---- properties ----
  bool AbortOnKeyViol = true;
  bool AbortOnProblem = true;
  std::string ChangedTableName;
  int CommitCount = 0;
  std::string KeyViolTableName;
  TBatchMode Mode = TBatchMode::batAppend;
  std::string ProblemTableName;
  // Records to move; 0: all from the first, else that many from the current one.
  int RecordCount = 0;
  bool Transliterate = true;
  const std::vector<std::string>& Mappings() const { return mappings_; }
  void SetMappings(const std::vector<std::string>& lines) { mappings_ = lines; }
  // Any dataset: a table, a query, or rows read from a file.
  TDataSet* Source() const;
  void SetSource(TDataSet* source);
  TttTable* Destination() const;
  void SetDestination(TttTable* destination);
  // Called every ProgressInterval records and at the end; setting Abort stops the move
  // after the records so far.
  std::function<void(TttBatchMove*, int processed, bool& abort)> OnProgress;
  int ProgressInterval = 100;
  // Called for each record refused, while the source stands on it: whether for a duplicate
  // key (else for a value that does not fit), and the reason.
  std::function<void(TttBatchMove*, bool keyViolation, const std::string& reason)> OnRefused;

  // ---- the move ----
  void Execute();
  int MovedCount() const { return movedCount_; }
  int KeyViolCount() const { return keyViolCount_; }
  int ProblemCount() const { return problemCount_; }
  int ChangedCount() const { return changedCount_; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  struct Pairing {
    TField* destination;
    TField* source;
  };
  class Run;
  std::vector<Pairing> Pairings(TDataSet& source, TDataSet& destination) const;

  std::vector<std::string> mappings_;
  // References that clear themselves when their dataset goes.
  TDataSource sourceRef_{nullptr};
  TDataSource destinationRef_{nullptr};
  int movedCount_ = 0;
  int keyViolCount_ = 0;
  int problemCount_ = 0;
  int changedCount_ = 0;
};

}  // namespace vader
