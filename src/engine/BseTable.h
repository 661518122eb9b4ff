#pragma once
// The engine's cursor base: field descriptors, index descriptors, the field cache that binds
// fields to record buffers, and the field- and key-level operations of TBaseTable. Drivers
// supply descriptors and native/local conversions; the base keeps the bookkeeping and a generic
// comparison of values and keys.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/BseBapi.h"
#include "engine/BseColl.h"
#include "engine/BseErrs.h"
#include "engine/BseFilt.h"

namespace vader {

static_assert(std::endian::native == std::endian::little,
              "engine records are exchanged little-endian byte for byte");

// Engine field types (the logical type of a field, independent of the driver's native type).
constexpr uint16_t fldUNKNOWN = 0;
constexpr uint16_t fldZSTRING = 1;
constexpr uint16_t fldDATE = 2;
constexpr uint16_t fldBLOB = 3;
constexpr uint16_t fldBOOL = 4;
constexpr uint16_t fldINT16 = 5;
constexpr uint16_t fldINT32 = 6;
constexpr uint16_t fldFLOAT = 7;
constexpr uint16_t fldBCD = 8;
constexpr uint16_t fldBYTES = 9;
constexpr uint16_t fldTIME = 10;
constexpr uint16_t fldTIMESTAMP = 11;
constexpr uint16_t fldUINT16 = 12;
constexpr uint16_t fldUINT32 = 13;
constexpr uint16_t fldFLOATIEEE = 14;
constexpr uint16_t fldINT64 = 18;
constexpr uint16_t fldUINT64 = 19;

// Engine field subtypes.
constexpr uint16_t fldstNONE = 0;
constexpr uint16_t fldstMONEY = 21;
constexpr uint16_t fldstMEMO = 22;
constexpr uint16_t fldstBINARY = 23;
constexpr uint16_t fldstGRAPHIC = 26;
constexpr uint16_t fldstAUTOINC = 29;

// 16-bit booleans of the engine's records: written as -1, read as true when non-zero.
constexpr uint16_t kTrue16 = 0xFFFF;
constexpr uint16_t kFalse16 = 0;
constexpr uint16_t Bool16(bool value) { return value ? kTrue16 : kFalse16; }

constexpr size_t kMaxFieldNameLength = 31;
constexpr size_t kMaxTableNameLength = 260;
constexpr size_t kMaxFileNameLength = 255;
constexpr size_t kKeyBufferSize = 256;
constexpr int kMaxKeyFields = 16;
constexpr int kKeySegmentCount = 64;
// Most descriptors a GetFieldDescs caller's array holds.
constexpr int kMaxFieldDescs = 1057;
// Per-field null indicator of a record buffer with null flags: blank flag at 0, changed flag at 4.
constexpr size_t kNullIndicatorSize = 8;
constexpr size_t kChangedFlagOffset = 4;

#pragma pack(push, 1)
struct FieldDesc {
  uint16_t FieldNumber;
  char FieldName[32];
  uint16_t FieldType;
  uint16_t FieldSubType;
  int16_t FieldUnits1;
  int16_t FieldUnits2;
  uint16_t FieldOffset;
  uint16_t FieldLength;
  uint16_t NullOffset;
  uint32_t ValCheckKind;
  uint32_t FieldRights;
  uint16_t CalcField;
  uint16_t LocalType;
  uint16_t LocalSize;
};

struct IndexDesc {
  char IndexName[261];
  uint16_t IndexId;
  char TagName[32];
  uint8_t Reserved1[32];
  uint16_t Primary;
  uint16_t Unique;
  uint16_t Descending;
  uint16_t Maintained;
  uint16_t Reserved2;
  uint16_t ExpressionIndex;
  uint16_t Reserved3;
  uint16_t FieldsInKey;
  uint16_t KeyLength;
  uint8_t Reserved4[4];
  uint16_t KeyFields[kMaxKeyFields];
  char KeyExpression[221];
  uint8_t Reserved5[221];
  uint16_t CaseInsensitive;
  uint8_t Reserved6[4];
  uint16_t DescendingFields[kMaxKeyFields];
  uint8_t Reserved7[32];
};

struct KeySegmentInfo {
  uint8_t Descending;
  uint8_t Reserved1[3];
  uint32_t SegmentLength;
  uint32_t SegmentType;
  uint16_t RawPosition;
  uint16_t Reserved2;
};

struct RecordProps {
  uint32_t SeqNum;
  uint32_t PhysRecNum;
  uint16_t UpdateStatus;
  uint16_t SeqNumChanged;
  uint16_t DeletedFlag;
};

// What a cursor reports about itself; reserved bytes are zero.
struct CursorProps {
  char CursorTableName[261];
  uint8_t Reserved1[34];
  uint16_t FieldCount;
  uint16_t RecSize;
  uint16_t RecBufSize;
  uint16_t KeySize;
  uint16_t IndexCount;
  uint16_t ValCheckCount;
  uint8_t Reserved2[2];
  uint16_t BookmarkSize;
  uint16_t BookmarkStable;  // 16-bit boolean
  uint32_t CursorOpenMode;
  uint32_t CursorShareMode;
  uint8_t Reserved3[2];
  int16_t SeqNums;
  uint8_t Reserved4[6];
  uint32_t TranslateMode;
  uint8_t Reserved5[2];
  uint16_t CursorUniDirectional;  // 16-bit boolean
  uint16_t Rights;
  uint8_t Reserved6[46];
  uint16_t BlockSize;
  uint8_t Reserved7[2];
  uint16_t FilterCount;
  uint16_t TempTable;
  uint8_t Reserved8[32];
};
#pragma pack(pop)

static_assert(sizeof(FieldDesc) == 62);
static_assert(offsetof(FieldDesc, FieldName) == 2);
static_assert(offsetof(FieldDesc, FieldType) == 34);
static_assert(offsetof(FieldDesc, FieldSubType) == 36);
static_assert(offsetof(FieldDesc, FieldUnits1) == 38);
static_assert(offsetof(FieldDesc, FieldUnits2) == 40);
static_assert(offsetof(FieldDesc, FieldOffset) == 42);
static_assert(offsetof(FieldDesc, FieldLength) == 44);
static_assert(offsetof(FieldDesc, NullOffset) == 46);
static_assert(offsetof(FieldDesc, ValCheckKind) == 48);
static_assert(offsetof(FieldDesc, FieldRights) == 52);
static_assert(offsetof(FieldDesc, CalcField) == 56);
static_assert(offsetof(FieldDesc, LocalType) == 58);
static_assert(offsetof(FieldDesc, LocalSize) == 60);

static_assert(sizeof(IndexDesc) == 893);
static_assert(offsetof(IndexDesc, IndexId) == 261);
static_assert(offsetof(IndexDesc, TagName) == 263);
static_assert(offsetof(IndexDesc, Primary) == 327);
static_assert(offsetof(IndexDesc, Unique) == 329);
static_assert(offsetof(IndexDesc, Descending) == 331);
static_assert(offsetof(IndexDesc, Maintained) == 333);
static_assert(offsetof(IndexDesc, ExpressionIndex) == 337);
static_assert(offsetof(IndexDesc, FieldsInKey) == 341);
static_assert(offsetof(IndexDesc, KeyLength) == 343);
static_assert(offsetof(IndexDesc, KeyFields) == 349);
static_assert(offsetof(IndexDesc, KeyExpression) == 381);
static_assert(offsetof(IndexDesc, CaseInsensitive) == 823);
static_assert(offsetof(IndexDesc, DescendingFields) == 829);
static_assert(offsetof(IndexDesc, Reserved7) == 861);

static_assert(sizeof(KeySegmentInfo) == 16);
static_assert(offsetof(KeySegmentInfo, SegmentLength) == 4);
static_assert(offsetof(KeySegmentInfo, SegmentType) == 8);
static_assert(offsetof(KeySegmentInfo, RawPosition) == 12);

static_assert(sizeof(CursorProps) == 427);
static_assert(offsetof(CursorProps, FieldCount) == 295);
static_assert(offsetof(CursorProps, RecBufSize) == 299);
static_assert(offsetof(CursorProps, IndexCount) == 303);
static_assert(offsetof(CursorProps, BookmarkSize) == 309);
static_assert(offsetof(CursorProps, CursorOpenMode) == 313);
static_assert(offsetof(CursorProps, CursorShareMode) == 317);
static_assert(offsetof(CursorProps, SeqNums) == 323);
static_assert(offsetof(CursorProps, TranslateMode) == 331);
static_assert(offsetof(CursorProps, CursorUniDirectional) == 337);
static_assert(offsetof(CursorProps, Rights) == 339);
static_assert(offsetof(CursorProps, BlockSize) == 387);
static_assert(offsetof(CursorProps, FilterCount) == 391);
static_assert(offsetof(CursorProps, TempTable) == 393);

static_assert(sizeof(RecordProps) == 14);
static_assert(offsetof(RecordProps, PhysRecNum) == 4);
static_assert(offsetof(RecordProps, UpdateStatus) == 8);
static_assert(offsetof(RecordProps, SeqNumChanged) == 10);
static_assert(offsetof(RecordProps, DeletedFlag) == 12);

class TBaseTable;
class TVaderFieldCache;
class TRightsRegistry;

// One field of a table: its descriptor and, once bound, where its value and null indicator lie
// in a record buffer.
class TFieldCacheItem {
 public:
  // Adds a new item to `cache`: a copy of `desc` whose FieldNumber, LocalType and LocalSize are
  // taken from the arguments.
  static TFieldCacheItem& Create(TVaderFieldCache& cache, const FieldDesc& desc,
                                 uint16_t fieldNumber, uint16_t localType, uint16_t localSize);

  const FieldDesc& Desc() const { return desc_; }

  uint16_t FieldNumber() const { return desc_.FieldNumber; }
  void SetFieldNumber(uint16_t value) { desc_.FieldNumber = value; }
  std::string FieldName() const;
  // Stores at most the first 31 characters.
  void SetFieldName(std::string_view name);
  uint16_t FieldType() const { return desc_.FieldType; }
  void SetFieldType(uint16_t value) { desc_.FieldType = value; }
  uint16_t FieldSubType() const { return desc_.FieldSubType; }
  void SetFieldSubType(uint16_t value) { desc_.FieldSubType = value; }
  int16_t FieldUnits1() const { return desc_.FieldUnits1; }
  void SetFieldUnits1(int16_t value) { desc_.FieldUnits1 = value; }
  int16_t FieldUnits2() const { return desc_.FieldUnits2; }
  void SetFieldUnits2(int16_t value) { desc_.FieldUnits2 = value; }
  uint16_t FieldLength() const { return desc_.FieldLength; }
  void SetFieldLength(uint16_t value) { desc_.FieldLength = value; }
  uint16_t LocalType() const { return desc_.LocalType; }
  void SetLocalType(uint16_t value) { desc_.LocalType = value; }
  uint16_t LocalSize() const { return desc_.LocalSize; }
  void SetLocalSize(uint16_t value) { desc_.LocalSize = value; }

  // Binds the item to `record` (nullptr unbinds).
  void Bind(uint8_t* record);
  uint8_t* BoundRecord() const { return boundRecord_; }
  uint8_t* FieldPtr() const { return fieldPtr_; }
  uint8_t* NullPtr() const { return nullPtr_; }

  // True when the bound null indicator says blank.
  bool IsBlank() const;
  // Write the bound null indicator; no effect without one.
  void SetBlankFlag(bool blank);
  void SetChangedFlag(bool changed);

 private:
  TFieldCacheItem(const FieldDesc& desc, uint16_t fieldNumber, uint16_t localType,
                  uint16_t localSize);

  FieldDesc desc_;
  uint8_t* boundRecord_ = nullptr;
  uint8_t* fieldPtr_ = nullptr;
  uint8_t* nullPtr_ = nullptr;
};

// The field descriptors of one table, in field-number order; owned by the table.
class TVaderFieldCache {
 public:
  explicit TVaderFieldCache(TBaseTable* table) : table_(table) {}

  TBaseTable* Table() const { return table_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // The item of field `n` (1-based); a field just past the end is asked from the table.
  TFieldCacheItem& GetItem(int n);
  // Binds every item to `record`, marking each field blank and unchanged.
  void AttachRecord(uint8_t* record);
  // FieldNumber of the first field named `name` ignoring case; 0 when there is none.
  uint16_t FieldNumberByName(std::string_view name) const;
  void Clear() { items_.clear(); }

 private:
  friend class TFieldCacheItem;

  TBaseTable* table_;
  std::vector<std::unique_ptr<TFieldCacheItem>> items_;
};

// Position of a cursor.
enum class TCursorState : uint8_t {
  Unpositioned = 0,
  OnRecord = 1,
  AtBegin = 2,
  AtEnd = 3,
  AtCrack = 4,
  Closed = 5,
};

// Direction of the last move; filters skip records in this direction.
enum class TMoveDirection : uint8_t { None = 0, Forward = 1, Backward = 2 };

constexpr uint32_t kOpenReadWrite = 0;
constexpr uint32_t kOpenReadOnly = 1;
constexpr uint32_t kShareShared = 0;
constexpr uint32_t kShareExclusive = 1;

// Lock requests of the reading operations.
enum TLockType : uint32_t { dbiNOLOCK = 0, dbiWRITELOCK = 1, dbiREADLOCK = 2 };

// Search modes of SeekKey.
constexpr uint16_t keySEARCHEQ = 0;
constexpr uint16_t keySEARCHGEQ = 1;
constexpr uint16_t keySEARCHGT = 2;
constexpr uint16_t keySEARCHLT = 3;
constexpr uint16_t keySEARCHLEQ = 4;

// Conditions of SetToKey.
constexpr uint16_t keyCONDEQ = 0;
constexpr uint16_t keyCONDGT = 1;
constexpr uint16_t keyCONDGEQ = 2;

// String resource passed when a cursor class does not support an operation.
constexpr int kCursorNotSupportedResource = 9041;

// Most names a field list of FindIndexForFields resolves.
constexpr int kMaxIndexFieldNames = 16;

// One end of a cursor's key range.
struct RangeBound {
  bool KeyIsPacked = false;  // given as a key, else as a record the key is built from
  bool Active = false;
  uint16_t FieldCount = 0;     // key fields covered, 0 = all
  uint16_t PartialLength = 0;  // bytes of the last covered field that count, 0 = whole field
  // The bound's own Key when packed; the caller's record buffer otherwise, which the caller keeps
  // unchanged while the range is set.
  const uint8_t* KeyPtr = nullptr;
  bool Inclusive = false;
  uint8_t Key[kKeyBufferSize] = {};
};

// One open table seen through one current index. Drivers derive from it and supply the
// primitives (descriptors, conversions, key building, record access).
//
// Construction runs in two steps so that the driver's overrides take part: create tables with
// TBaseTable::Create<T>(...), which calls AfterConstruction (table name, driver data, handle)
// once the object is complete. Destruction cannot reach overrides, so a driver releases its
// handle in its own destructor.
class TBaseTable : public TBapiListItem {
 public:
  TBaseTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
             const char* openIndexName, const void* reserved, uint32_t openMode,
             uint32_t shareMode);
  ~TBaseTable() override;

  template <class T, class... Args>
  static T* Create(Args&&... args) {
    std::unique_ptr<T> table(new T(std::forward<Args>(args)...));
    static_cast<TBaseTable*>(table.get())->AfterConstruction();
    return table.release();
  }

  // Property protocol: low word 0 answers 20 (2 bytes), 1 answers nothing, 5 answers 0 (4 bytes);
  // setting low word 20 puts the cursor at a crack.
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  void SetProp(uint32_t propId, int32_t value) override;

  virtual uint32_t GetDriverDataSize() const { return 0; }
  virtual uint8_t* GetDataBuffer() const { return dataBuffer_; }
  virtual void SetDataBuffer(uint8_t* buffer) { dataBuffer_ = buffer; }
  virtual uint8_t* GetRecordBuffer() const { return recordBuffer_; }
  virtual void SetRecordBuffer(uint8_t* buffer) { recordBuffer_ = buffer; }
  virtual const char* GetTableName() const { return tableName_; }
  // Copies at most 260 characters; nullptr is ignored.
  virtual void SetTableName(const char* name);
  virtual const char* GetFileName() const { return fileName_; }
  // Stores the name without surrounding blanks and control characters, at most 255 characters.
  virtual void SetFileName(const char* name);

  // Record layout.
  virtual uint32_t GetRecordSize() const;
  virtual uint32_t GetRecordBufferSize();
  virtual bool HasNullFlags() const { return false; }
  // Whether SeekKey positions on the current index in its own key order, so a walk may start
  // and stop at key bounds taken from the filters.
  virtual bool SeeksInKeyOrder() const { return false; }
  virtual void GetRecordLayout(uint16_t& fieldCount, uint16_t& recordSize);
  virtual uint32_t GetBookmarkSize() const { return 256; }

  // Field descriptors.
  virtual void LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc,
                             uint16_t& localType, uint16_t& localSize);
  // Copies every cached descriptor into `descs` (room for kMaxFieldDescs).
  virtual void GetFieldDescs(FieldDesc* descs);
  virtual void FindFieldDescByPos(uint16_t position, uint16_t length, FieldDesc& desc);

  // Field values.
  virtual void NativeToLocal(uint16_t localType, uint16_t localSize, int16_t units2,
                             uint16_t length, const uint8_t* src, void* dest, bool& blank);
  virtual void LocalToNative(uint16_t localType, uint16_t localSize, int16_t units2,
                             uint16_t length, const void* src, uint8_t* dest);
  virtual int CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                            bool caseInsensitive, const void* value1, const void* value2);
  virtual void GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank);
  virtual void PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src);
  virtual void GetField(uint16_t n, uint8_t* record, void* dest, bool& blank);
  // Writes field `n`; a nullptr `src` makes it blank.
  virtual void PutField(uint16_t n, uint8_t* record, const void* src);
  virtual void VerifyField(uint16_t n, uint8_t* record, bool& blank);
  virtual void InitRecord(uint8_t* record);

  // Keys of the current index.
  virtual void CompareKeys(const void* key1, const void* key2, uint16_t fieldCount,
                           uint16_t partialLength, int& result);
  virtual void ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                                uint16_t partialLength, uint16_t& keyLength);
  virtual void ExtractKey(const uint8_t* record, uint8_t* key);

  // Bookmarks: the base compares the key part of two bookmarks over the whole current key.
  virtual const void* GetBookmarkKey(const void* bookmark) const { return bookmark; }
  virtual void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result);

  virtual void OpenCursor() { state_ = TCursorState::Unpositioned; }
  virtual void CloseCursor() { state_ = TCursorState::Closed; }
  // A new cursor on this table from the owning database (a TBaseDatabase), with this cursor's
  // modes.
  virtual void CloneCursor(bool readOnly, bool uniDirectional, TBaseTable*& newCursor);

  // Physical moves over the current index; drivers read the record into the data buffer.
  virtual void FirstPhysical() { RaiseBOF(); }
  virtual void LastPhysical() { RaiseEOF(); }
  virtual void NextPhysical() { RaiseEOF(); }
  virtual void PriorPhysical() { RaiseBOF(); }

  // Positioning.
  virtual void SetToBegin();
  virtual void SetToEnd();
  // Puts `dest` on this cursor's record.
  virtual void SetToCursor(TBaseTable* dest);
  virtual void GetBookMark(void* bookmark);
  virtual void SetToBookMark(const void* bookmark);
  virtual void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock);
  virtual void GoFirstInRange();
  virtual void GoLastInRange();
  virtual void GetRecordProps(RecordProps* props);

  // Navigation. A failed move leaves the state as it was.
  virtual void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props);
  virtual void GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props);
  virtual void LockCurrentRecord(TLockType lock, uint8_t* record);
  virtual void GetRecord(TLockType lock, uint8_t* record, RecordProps* props);
  virtual void GetRelativeRecord(int32_t offset, TLockType lock, uint8_t* record,
                                 RecordProps* props);
  virtual void GetRecordForKey(bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                               const void* key, uint8_t* record);
  virtual void GetVchkDesc(uint16_t n, void* desc);

  // Locks.
  virtual void AcqTableLock(TLockType lock);
  virtual void RelTableLock(TLockType lock);
  virtual void ReleaseRecordLocks() {}
  virtual void RelRecordLock(bool all);
  virtual void SetLockMode(uint32_t /*mode*/) {}

  // Writing records.
  virtual void InsertRecord(TLockType /*lock*/, uint8_t* /*record*/) {}
  virtual void AppendRecord(uint8_t* record) { InsertRecord(dbiNOLOCK, record); }
  virtual void ModifyRecord(uint8_t* /*record*/, bool /*freeLock*/) {}
  virtual void DeleteRecord(uint8_t* /*record*/) {}
  virtual void UndeleteRecord();
  // Move up to `count` records between the cursor and the caller's block of record buffers;
  // `count` then says how many were moved, also when an error (normally the end) stops the loop.
  virtual void ReadBlock(uint32_t& count, uint8_t* records);
  virtual void WriteBlock(uint32_t& count, uint8_t* records);
  virtual void DeleteAllRecords();
  virtual void EmptyTable();

  // Sequence and record numbers.
  virtual void GetSeqNo(uint32_t& n);
  virtual void SetToSeqNo(uint32_t n);
  virtual void GetRecordNo(uint32_t& n);
  virtual void SetToRecordNo(uint32_t n);

  // Counting walks the range through the filters and puts the cursor back where it was.
  virtual void GetRecordCount(uint32_t& n);
  virtual void GetExactRecordCount(uint32_t& n) { GetRecordCount(n); }
  virtual void GetCursorProps(CursorProps& props);
  virtual void ForceReread() { rereadPending_ = true; }
  virtual void ForceRecordReread(uint8_t* record);

  // Ranges and key search.
  virtual void CheckRange(const uint8_t* record);
  virtual uint16_t GetSearchMode(bool inclusive, bool isStart) const;
  virtual void SetRange(bool keyIsPacked, uint16_t fieldCount1, uint16_t partialLength1,
                        const void* key1, bool inclusive1, uint16_t fieldCount2,
                        uint16_t partialLength2, const void* key2, bool inclusive2);
  virtual void ResetRange();
  virtual void SetToKey(uint16_t condition, bool directKey, uint16_t fieldCount,
                        uint16_t partialLength, const void* key);
  virtual void SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                       const void* key, uint8_t* recordOut);

  // Indexes. FindIndexForFields resolves a field list ("@NAME@CITY"); `indexName`, when given,
  // receives up to 31 characters and a NUL.
  virtual void FindIndexForFields(const char* name, uint16_t& indexNo, char* indexName);
  virtual void SwitchToIndex(const char* name, const char* tag, uint16_t indexNo,
                             bool keepPosition);
  virtual void GetIndexDesc(uint16_t n, IndexDesc& desc);
  // Fills one descriptor per index (IndexCount of the cursor properties).
  virtual void GetIndexDescs(IndexDesc* descs);
  virtual void AddIndex(const IndexDesc& desc, const char* keyViolName);
  virtual void DeleteIndex(const char* name, const char* tag, uint16_t indexNo);

  // Wraps this cursor in a new delayed-update cursor (TBaseCacheTable, registered beside this
  // one), which callers use in its place until its EndDelayedUpdates hands this one back.
  virtual void BeginDelayedUpdates(TBaseTable*& cursor);
  // Ending and applying delayed updates are the cache table's.
  virtual void EndDelayedUpdates(TBaseTable*& cursor);
  virtual void ApplyDelayedUpdates(uint32_t command);

  // Blobs.
  virtual void OpenBlob(uint8_t* record, uint16_t field, uint32_t openMode);
  virtual void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size);
  virtual void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                       void* dest, uint32_t& read);
  virtual void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                       const void* src);
  virtual void TruncateBlob(uint8_t* record, uint16_t field, uint32_t length);
  virtual void FreeBlob(uint8_t* /*record*/, uint16_t /*field*/) {}

  // Filters.
  virtual void UpdateFilterState();
  virtual void AddFilter(uintptr_t clientData, uint16_t priority, bool canAbort,
                         const void* expression, TFilterProc callback, TFilterListItem*& filter);
  // nullptr drops every filter; a filter that is not in the list is left alone.
  virtual void DropFilter(TFilterListItem* filter);
  // nullptr (de)activates every filter; a filter that is not in the list raises NOSUCHFILTER.
  virtual void ActivateFilter(TFilterListItem* filter);
  virtual void DeactivateFilter(TFilterListItem* filter);
  virtual void GetFilterInfo(TFilterListItem* filter, FilterInfo& info);

  // Cursors accept no callbacks.
  virtual void RegisterCallBack(uint32_t kind, uintptr_t clientData, uint16_t bufferLength,
                                void* buffer, void* callback);

  // Range check, then skip the records the active filters refuse in the direction of the last
  // move; nothing without a record.
  void ApplyRangeAndFilters(uint8_t* record);
  bool RecordPassesFilters(uint8_t* record);
  bool RangeActive() const { return rangeStart_.Active || rangeEnd_.Active; }

  TCursorState State() const { return state_; }
  TMoveDirection Direction() const { return direction_; }
  // Every successful positioning primitive of a driver ends here.
  void MarkOnRecord() { state_ = TCursorState::OnRecord; }
  TVaderFieldCache& FieldCache() { return *fieldCache_; }
  TVaderCollection& Filters() { return *filters_; }
  bool FiltersActive() const { return filtersActive_; }
  const RangeBound& RangeStart() const { return rangeStart_; }
  const RangeBound& RangeEnd() const { return rangeEnd_; }
  bool RangeSameShape() const { return rangeSameShape_; }
  bool RereadPending() const { return rereadPending_; }
  bool ReadingIndexList() const { return readingIndexList_; }
  const IndexDesc& CurrentIndex() const { return currentIndex_; }
  // Entry `n` (1 to 64) of the current index's segment table.
  const KeySegmentInfo& KeySegment(int n) const;
  const char* OpenIndexName() const { return openIndexName_; }
  uint32_t OpenMode() const { return openMode_; }
  uint32_t ShareMode() const { return shareMode_; }

 protected:
  // Second construction step, run once the object is complete (see the class comment).
  void AfterConstruction() override;
  virtual void CreateHandle() {}
  virtual void FreeHandle() {}

  uint8_t* DriverData() const { return driverData_.get(); }
  IndexDesc& MutableCurrentIndex() { return currentIndex_; }
  KeySegmentInfo& MutableKeySegment(int n);
  void SetRecordSize(int16_t size) { recordSize_ = size; }

  bool uniDirectional_ = true;
  TCursorState state_ = TCursorState::Closed;
  TMoveDirection direction_ = TMoveDirection::None;
  uint32_t openMode_;
  uint32_t shareMode_;
  bool tableLocked_ = false;
  bool readingIndexList_ = false;
  bool rereadPending_ = false;

 private:
  // Reads field `n` into scratch space only to learn whether it is blank.
  bool ProbeBlank(TFieldCacheItem& item, uint8_t* record);
  // GetNextRecord / GetPriorRecord: the first step by state, then FinishMove.
  void Move(TMoveDirection direction, TLockType lock, uint8_t* record, RecordProps* props);
  // The moves of GetNextRecord / GetPriorRecord after the first step.
  void FinishMove(TLockType lock, uint8_t* record, RecordProps* props);
  // GetRecord on a current record, with the recovery of a pending reread.
  void RereadCurrent(TLockType lock, uint8_t* record, RecordProps* props);
  // GetRecord at a crack: the next record, else the prior one, else the first of the range.
  void ResolveCrack(TLockType lock, uint8_t* record, RecordProps* props);
  void FillBound(RangeBound& bound, bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                 const void* key, bool inclusive);
  // The bounds the active filter expressions put on the current index's leading field, as key
  // bounds: a walk starts at the lower one and stops past the upper one instead of reading
  // every record. Left open wherever the index order might not be the filters' number order.
  void FindFilterBounds();
  bool FilterBoundsApply(uint16_t& field);
  void MakeFilterBound(RangeBound& bound, std::vector<uint8_t>& record, uint16_t field,
                       const std::optional<long double>& value, bool inclusive);
  // Whether `record` lies past the filter bound ahead in the direction of the last move.
  bool PastFilterBound(const uint8_t* record);
  // Lowers a packed bound's field count by its blank key fields.
  void CountPackedFields(RangeBound& bound);
  // Steps from the record in the data buffer past the records whose key equals an exclusive
  // `bound`, in `direction`.
  void SkipBoundEquals(const RangeBound& bound, TMoveDirection direction);
  bool PackedKeyFieldBlank(TFieldCacheItem& item, const uint8_t* keyPart, size_t available);
  // Deletes the records of the range once; the boundary of the range ends the pass.
  void DeleteRangeOnce();
  // Index number of the index keyed exactly on `fields` (`count` entries).
  uint16_t FindIndexByFieldNumbers(const uint16_t* fields, int count, char* indexName);
  // Position of `filter` in the list; raises NOSUCHFILTER when it is not there.
  int CheckFilter(TFilterListItem* filter) const;
  TFilterListItem* FilterAt(int index) const;

  uint16_t recordSizeCache_ = 0;
  int16_t recordSize_ = 0;
  uint8_t* recordBuffer_ = nullptr;
  uint8_t* dataBuffer_ = nullptr;
  RangeBound rangeStart_;
  RangeBound rangeEnd_;
  RangeBound filterLow_;
  RangeBound filterHigh_;
  std::vector<uint8_t> filterLowRecord_;
  std::vector<uint8_t> filterHighRecord_;
  bool filtersActive_ = false;
  bool rangeSameShape_ = false;
  std::unique_ptr<uint8_t[]> driverData_;
  IndexDesc currentIndex_{};
  KeySegmentInfo keySegments_[kKeySegmentCount]{};
  std::unique_ptr<TVaderFieldCache> fieldCache_;
  std::unique_ptr<TVaderCollection> filters_;
  std::optional<std::string> pendingTableName_;
  char openIndexName_[kMaxTableNameLength + 1] = {};
  char tableName_[kMaxTableNameLength + 1] = {};
  char fileName_[kMaxTableNameLength + 1] = {};
};

// A cursor an operation opens for its own use, freed however the operation ends. Opening
// operations write it through `cursor`, which a driver sets even when the open fails half way.
struct TTemporaryCursor {
  TBaseTable* cursor = nullptr;
  TTemporaryCursor() = default;
  TTemporaryCursor(const TTemporaryCursor&) = delete;
  TTemporaryCursor& operator=(const TTemporaryCursor&) = delete;
  ~TTemporaryCursor() { delete cursor; }
  TBaseTable* operator->() const { return CheckParam(cursor); }
  TBaseTable& operator*() const { return *CheckParam(cursor); }
};

// A read-only, forward-only cursor over its own copy of an array of fixed-size records.
class TBaseListTable : public TBaseTable {
 public:
  // `items` (count records of the cursor's record size) is copied; without items the list is
  // empty whatever the count. `recordSize` is the record size when the class names none.
  TBaseListTable(TBapiListItem* database, TVaderCollection* collection, const void* items,
                 uint16_t count, uint16_t recordSize = 0);

  uint16_t ItemCount() const { return itemCount_; }
  uint16_t NextItem() const { return nextItem_; }

  void SetToBegin() override;
  // Copies the next record; lock and props are not used and the state does not change.
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 protected:
  void AfterConstruction() override;

 private:
  const void* pendingItems_;
  std::vector<uint8_t> itemBuffer_;
  uint16_t itemCount_;
  uint16_t nextItem_ = 0;
};

// The list of a table's index descriptors.
class TIndexListTable : public TBaseListTable {
 public:
  using TBaseListTable::TBaseListTable;
  uint32_t GetRecordSize() const override { return sizeof(IndexDesc); }
};

// One configuration record of a session: a path and a set of named values.
class TBaseCfgrecord : public TBapiListItem {
 public:
  TBaseCfgrecord(TBapiListItem* session, TVaderCollection* collection, std::string path,
                 int32_t count, const FieldDesc* descs, const void* values);
  ~TBaseCfgrecord() override;

  const std::string& Path() const { return path_; }
  int32_t FieldCount() const { return static_cast<int32_t>(fieldDescs_.size()); }
  const FieldDesc* FieldDescs() const { return fieldDescs_.data(); }
  // Nullptr when the record has no values.
  const uint8_t* Values() const { return values_.empty() ? nullptr : values_.data(); }
  // Sum of the descriptors' FieldLength.
  size_t ValuesSize() const;
  // Replaces descriptors and values; a count below 1 leaves the record without fields.
  void SetFields(int32_t count, const FieldDesc* descs, const void* values);
  // The text of the first value named exactly one of `names`; empty when there is none.
  std::string TextValue(std::initializer_list<std::string_view> names) const;

 private:
  std::string path_;
  std::vector<FieldDesc> fieldDescs_;
  std::vector<uint8_t> values_;
};

// The databases described by a session's configuration records.
class TBaseDBListTable : public TBaseTable {
 public:
  TBaseDBListTable(TBapiListItem* session, TVaderCollection* collection,
                   TVaderCollection* cfgRecords, const char* driverName, const void* registryRef);
  ~TBaseDBListTable() override;

  // Records are DatabaseDesc records.
  uint32_t GetRecordSize() const override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 protected:
  void FreeHandle() override { CloseCursor(); }
  // The next configuration database into `record`; EVaderEOFError when none is left.
  void NextConfigDatabase(uint8_t* record);
  const char* DriverName() const { return driverName_; }
  const void* RegistryRef() const { return registryRef_; }
  void ResetConfigWalk() { cfgIndex_ = 0; }

 private:
  const void* registryRef_;
  char driverName_[32] = {};
  TVaderCollection* cfgRecords_;
  uint16_t cfgIndex_ = 0;
};

// Where a database list finds registry aliases: a root key and a key path below it.
#pragma pack(push, 1)
struct RegistryLocation {
  uint32_t Root;
  char Path[256];
};
#pragma pack(pop)

// The configuration databases, then the aliases registered under the location's "Aliases" key.
class TRegDBListTable : public TBaseDBListTable {
 public:
  // `registryRef` points at a RegistryLocation.
  TRegDBListTable(TBapiListItem* session, TVaderCollection* collection,
                  TVaderCollection* cfgRecords, const char* driverName, const void* registryRef);
  ~TRegDBListTable() override;

  const std::vector<std::string>& KeyNames() const { return keyNames_; }

  void OpenCursor() override;
  void CloseCursor() override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 private:
  std::string AliasesPath() const;
  // The registry alias `name` into `record`; false when its key cannot be opened.
  bool ReadAlias(const std::string& name, uint8_t* record) const;

  int32_t regIndex_ = 0;
  std::vector<std::string> keyNames_;
  // The registry while the cursor is open.
  std::unique_ptr<TRightsRegistry> registry_;
};

}  // namespace vader
