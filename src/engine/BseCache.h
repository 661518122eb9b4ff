#pragma once
// Cursors whose records live in memory. TMemTable keeps a list of record images: standing alone
// it is an in-memory table that can be browsed, bookmarked and edited; tied to a source cursor it
// is the store of a delayed-update cache, one image per changed record with its update status and
// the source's bookmark. TBaseCacheTable is that cache: it wraps a cursor, reads through it and
// shows each record merged with its cached image, and keeps inserts, changes and deletions in a
// TMemTable until they are applied to the source or thrown away.

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "engine/BseColl.h"
#include "engine/BseTable.h"

namespace vader {

// Update status of a record image (RecordProps::UpdateStatus).
constexpr uint16_t kUpdUnmodified = 0;
constexpr uint16_t kUpdModified = 1;
constexpr uint16_t kUpdInserted = 2;
constexpr uint16_t kUpdDeleted = 3;

// Update record types of a cache: which records browsing shows.
constexpr uint8_t rtypMODIFIED = 1;
constexpr uint8_t rtypINSERTED = 2;
constexpr uint8_t rtypDELETED = 4;
constexpr uint8_t rtypUNMODIFIED = 8;
constexpr uint8_t kDefaultUpdateRecordTypes = rtypMODIFIED | rtypINSERTED | rtypUNMODIFIED;

// Commands of ApplyDelayedUpdates.
constexpr uint32_t dbiDelayedUpdCommit = 0;
constexpr uint32_t dbiDelayedUpdCancel = 1;
constexpr uint32_t dbiDelayedUpdCancelCurrent = 2;
constexpr uint32_t dbiDelayedUpdPrepare = 3;

// Property numbers (low word) of a cache cursor.
constexpr uint16_t kPropUpdateRecordTypes = 3;
constexpr uint16_t kPropGetOldRecord = 4;
constexpr uint16_t kPropCachedRecordCount = 5;

// One record image of a memory table.
class TMemTableRecord : public TBapiListItem {
 public:
  // `bookmark` (bookmarkSize bytes) is copied into a zero-filled block; without one the block's
  // first 4 bytes get the collection's count + 1 (1 without a collection). The image then joins
  // `collection`, placed by its bookmark. `data` (dataSize bytes) is copied when given.
  TMemTableRecord(TBapiListItem* owner, TVaderCollection* collection, const void* reserved,
                  const void* data, const void* bookmark, uint16_t dataSize, uint16_t bookmarkSize);
  ~TMemTableRecord() override;

  RecordProps Props{};

  // Nullptr when the image was made without data.
  uint8_t* Data() const { return data_.get(); }
  uint16_t DataSize() const { return dataSize_; }
  // Copies DataSize bytes from `src` over the image, creating it when it had none.
  void SetData(const void* src);
  const uint8_t* Bookmark() const { return bookmark_.get(); }
  uint16_t BookmarkSize() const { return bookmarkSize_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint16_t dataSize_ = 0;
  std::unique_ptr<uint8_t[]> bookmark_;
  uint16_t bookmarkSize_ = 0;
};

// A table of record images in memory.
//
// A stand-alone table is made with CreateStandAlone (or TBaseTable::Create<TMemTable> with no
// source). Its fields are laid out end to end in the order given (a FieldLength of 0 takes the
// size of the field's type) and its values are stored in local form, byte for byte. Like every
// cursor it starts closed: OpenCursor or SetToBegin puts it before the first image. Images are
// added with InsertRecord (in front of the current image, or at the end when there is none) or
// AppendRecord (at the end); each gets a bookmark of 4 bytes that no other image of the table
// has, which GetBookMark / SetToBookMark use.
class TMemTable : public TBaseTable {
 public:
  TMemTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
            uint16_t fieldCount, uint16_t bookmarkLength, const FieldDesc* fieldDescs,
            TBaseTable* source);
  ~TMemTable() override;

  // A stand-alone table of `fieldCount` fields, registered in `collection` under `owner`.
  static TMemTable* CreateStandAlone(TBapiListItem* owner, TVaderCollection* collection,
                                     const char* tableName, uint16_t fieldCount,
                                     const FieldDesc* fieldDescs);

  // The size of a field of `desc`'s type when its descriptor gives no length.
  static uint16_t DefaultFieldLength(const FieldDesc& desc);

  TCacheCollection& Records() const;
  int32_t Position() const { return position_; }
  TMemTableRecord* Current() const { return current_; }
  uint16_t BookmarkLength() const { return bookmarkLength_; }
  TBaseTable* SourceTable() const { return sourceTable_; }
  // The image made most recently by this table (nullptr once it is gone).
  TMemTableRecord* LastAdded() const { return lastAdded_; }
  // Destroys one image of this table (anything else is left alone); Position keeps naming the
  // same place.
  void DestroyImage(TMemTableRecord* image);
  // The image at 1-based `position`, nullptr outside the list.
  TMemTableRecord* ImageAt(int32_t position) const;
  // Writes every changed image to the source, last to first, and answers the images written
  // (still in the cache); `refusal` gets the first engine error, whose image was not written.
  std::vector<TMemTableRecord*> WriteImagesToSource(std::exception_ptr& refusal);

  uint32_t GetRecordSize() const override { return recordSize_; }
  uint32_t GetBookmarkSize() const override { return bookmarkLength_ ? bookmarkLength_ : 4; }
  void GetCursorProps(CursorProps& props) override;
  void NativeToLocal(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const uint8_t* src, void* dest, bool& blank) override;
  void LocalToNative(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const void* src, uint8_t* dest) override;
  void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) override;
  void FirstPhysical() override;
  void LastPhysical() override;
  void NextPhysical() override;
  void PriorPhysical() override;
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;
  void GetRecordProps(RecordProps* props) override;
  void GetRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void InsertRecord(TLockType lock, uint8_t* record) override;
  void AppendRecord(uint8_t* record) override;
  void ModifyRecord(uint8_t* record, bool freeLock) override;
  void DeleteRecord(uint8_t* record) override;
  void UndeleteRecord() override;
  void EmptyTable() override;
  void GetSeqNo(uint32_t& n) override;
  void SetToSeqNo(uint32_t n) override;
  void GetRecordCount(uint32_t& n) override;

  // Operations of the delayed-update store, in slot order after those of TBaseTable.
  // Whether a record passes the update record types `kinds`: without an image (`found` false)
  // the unmodified bit decides, otherwise the status of the current image.
  virtual bool IsUpdateKindVisible(uint8_t kinds, bool found);
  // A new unmodified image of `data` with `bookmark` (nullptr: an automatic one); it becomes
  // the current image.
  virtual void AddCachedRecord(const uint8_t* data, const void* bookmark);
  // Marks the image of `bookmark` (nullptr: the current image) modified with `data`, creating
  // it when there is none.
  virtual void CacheModifiedRecord(const uint8_t* data, const void* bookmark);
  // Marks the image of `bookmark` (nullptr: the current image) deleted, creating it when there
  // is none.
  virtual void CacheDeletedRecord(const uint8_t* data, const void* bookmark);
  // Writes every changed image to the source, last to first. Written images leave the cache;
  // a refused one stays, so that it can be corrected or cancelled, and the first refusal is
  // raised once every image has been tried.
  virtual void ApplyCachedUpdates();
  // Destroys every image.
  virtual void ClearCachedUpdates();

 protected:
  void CreateHandle() override;
  void FreeHandle() override;

 private:
  // Writes one changed image to the source.
  static void WriteImage(TBaseTable& source, const TMemTableRecord& image);
  // Puts the source on the record of `image`'s bookmark; raises DBIERR_RECDELETED when that
  // record is gone and the lookup landed on another one.
  static void PositionOnImage(TBaseTable& source, const TMemTableRecord& image);
  // Makes an image and makes it current. Stand-alone images without a bookmark get the next
  // number of the table's own counter, so no two images ever share one.
  TMemTableRecord* NewImage(const uint8_t* data, const void* bookmark);
  // Reads the image at Position into the data buffer.
  void ReadPosition();
  // Moves to the image at 1-based `target` and reads it; no image there, or a failed read,
  // leaves Position as it was and raises the boundary error.
  void StepTo(int32_t target, void (*raiseBoundary)());
  void MakeCurrent(TMemTableRecord* image);
  // The image of `bookmark`, or the current one without a bookmark, made current; an image is
  // created when the bookmark has none.
  TMemTableRecord& CachedImageFor(const uint8_t* data, const void* bookmark);

  std::unique_ptr<TCacheCollection> records_;
  int32_t position_ = 0;
  TMemTableRecord* current_ = nullptr;
  TMemTableRecord* lastAdded_ = nullptr;
  uint16_t bookmarkLength_;
  TBaseTable* sourceTable_;
  uint32_t recordSize_ = 0;
  int32_t nextBookmark_ = 1;
};

// A cursor with delayed updates over another cursor (the source, not owned).
//
// Reading goes to the source and shows each record merged with its cached image; inserts,
// modifications and deletions go into the cache only, until ApplyDelayedUpdates writes them to
// the source (prepare, then commit) or throws them away (cancel). Records inserted through the
// wrapper follow the source's records while browsing, in the order they were inserted, until
// they are applied or cancelled. So that they can be bookmarked too, the wrapper's bookmarks are
// the source's followed by a 4-byte number: 0 for a record of the source, otherwise the number
// of the inserted record.
class TBaseCacheTable : public TBaseTable {
 public:
  explicit TBaseCacheTable(TBaseTable* source);
  ~TBaseCacheTable() override;

  TBaseTable* Source() const { return source_; }
  TMemTable& Cache() const;
  uint8_t UpdateRecordTypes() const { return updateRecordTypes_; }
  bool GetOldRecord() const { return getOldRecord_; }

  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  void SetProp(uint32_t propId, int32_t value) override;
  void CheckProp(uint32_t propId, bool forWrite) override;

  const char* GetTableName() const override;
  void SetTableName(const char* name) override;
  const char* GetFileName() const override;
  void SetFileName(const char* name) override;
  uint32_t GetRecordSize() const override;
  // The source's, so that blocks of records are laid out as the source's buffers are.
  uint32_t GetRecordBufferSize() override;
  bool HasNullFlags() const override;
  void GetRecordLayout(uint16_t& fieldCount, uint16_t& recordSize) override;
  // The source's bookmark size + 4.
  uint32_t GetBookmarkSize() const override;
  void LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc, uint16_t& localType,
                     uint16_t& localSize) override;
  void GetFieldDescs(FieldDesc* descs) override;
  void FindFieldDescByPos(uint16_t position, uint16_t length, FieldDesc& desc) override;
  void GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank) override;
  void PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) override;
  void GetField(uint16_t n, uint8_t* record, void* dest, bool& blank) override;
  void PutField(uint16_t n, uint8_t* record, const void* src) override;
  void VerifyField(uint16_t n, uint8_t* record, bool& blank) override;
  void InitRecord(uint8_t* record) override;
  void CompareKeys(const void* key1, const void* key2, uint16_t fieldCount, uint16_t partialLength,
                   int& result) override;
  void ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                        uint16_t partialLength, uint16_t& keyLength) override;
  void ExtractKey(const uint8_t* record, uint8_t* key) override;
  void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) override;
  void OpenCursor() override;
  void CloseCursor() override;
  void CloneCursor(bool readOnly, bool uniDirectional, TBaseTable*& newCursor) override;
  void FirstPhysical() override;
  void LastPhysical() override;
  void NextPhysical() override;
  void PriorPhysical() override;
  void SetToBegin() override;
  void SetToEnd() override;
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;
  void GoFirstInRange() override;
  void GoLastInRange() override;
  void GetRecordProps(RecordProps* props) override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetRecordForKey(bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                       const void* key, uint8_t* record) override;
  void GetVchkDesc(uint16_t n, void* desc) override;
  void AcqTableLock(TLockType lock) override;
  void RelTableLock(TLockType lock) override;
  void RelRecordLock(bool all) override;
  void SetLockMode(uint32_t mode) override;
  void InsertRecord(TLockType lock, uint8_t* record) override;
  void AppendRecord(uint8_t* record) override;
  void ModifyRecord(uint8_t* record, bool freeLock) override;
  void DeleteRecord(uint8_t* record) override;
  void UndeleteRecord() override;
  void EmptyTable() override;
  void GetSeqNo(uint32_t& n) override;
  void SetToSeqNo(uint32_t n) override;
  void SetToRecordNo(uint32_t n) override;
  void GetRecordCount(uint32_t& n) override;
  void GetExactRecordCount(uint32_t& n) override;
  void GetCursorProps(CursorProps& props) override;
  void ForceReread() override;
  uint16_t GetSearchMode(bool inclusive, bool isStart) const override;
  void SetRange(bool keyIsPacked, uint16_t fieldCount1, uint16_t partialLength1, const void* key1,
                bool inclusive1, uint16_t fieldCount2, uint16_t partialLength2, const void* key2,
                bool inclusive2) override;
  void ResetRange() override;
  void SetToKey(uint16_t condition, bool directKey, uint16_t fieldCount, uint16_t partialLength,
                const void* key) override;
  void SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
               const void* key, uint8_t* recordOut) override;
  void SwitchToIndex(const char* name, const char* tag, uint16_t indexNo,
                     bool keepPosition) override;
  void GetIndexDesc(uint16_t n, IndexDesc& desc) override;
  void GetIndexDescs(IndexDesc* descs) override;
  void AddIndex(const IndexDesc& desc, const char* keyViolName) override;
  void DeleteIndex(const char* name, const char* tag, uint16_t indexNo) override;
  void BeginDelayedUpdates(TBaseTable*& cursor) override;
  void EndDelayedUpdates(TBaseTable*& cursor) override;
  void ApplyDelayedUpdates(uint32_t command) override;
  void OpenBlob(uint8_t* record, uint16_t field, uint32_t openMode) override;
  void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) override;
  void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* dest,
               uint32_t& read) override;
  void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
               const void* src) override;
  void TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) override;
  void FreeBlob(uint8_t* record, uint16_t field) override;
  void AddFilter(uintptr_t clientData, uint16_t priority, bool canAbort, const void* expression,
                 TFilterProc callback, TFilterListItem*& filter) override;
  void DropFilter(TFilterListItem* filter) override;
  void ActivateFilter(TFilterListItem* filter) override;
  void DeactivateFilter(TFilterListItem* filter) override;
  void GetFilterInfo(TFilterListItem* filter, FilterInfo& info) override;

  // New operation after those of TBaseTable: whether the source record just read is visible,
  // showing its cached image in `record` and `props`.
  virtual bool MergeCachedRecord(uint8_t* record, RecordProps* props);

 protected:
  void CreateHandle() override;
  void FreeHandle() override;

 private:
  struct SourceModes {
    uint32_t openMode = 0;
    uint32_t shareMode = 0;
  };
  // A record inserted through the wrapper and the number its bookmark carries.
  struct InsertedImage {
    TMemTableRecord* image;
    uint32_t number;
  };
  TBaseCacheTable(TBaseTable* source, SourceModes modes);
  static SourceModes ReadSourceModes(TBaseTable* source);
  // The source's bookmark of its current record into the scratch block.
  const uint8_t* TakeSourceBookmark();
  // Shows the image of the source record with bookmark `bookmark` (nullptr: none) in `record`
  // and `props`; false when the update record types hide that record.
  bool MergeImageOf(const void* bookmark, uint8_t* record, RecordProps* props);
  // Inserted records are shown while their update type is.
  bool InsertedVisible() const { return (updateRecordTypes_ & rtypINSERTED) != 0; }
  bool OnInserted() const {
    return insertedPos_ >= 0 && !insertedCrack_ &&
           static_cast<size_t>(insertedPos_) < inserted_.size();
  }
  void ShowInserted(size_t index, uint8_t* record, RecordProps* props);
  // Back to the source's records, at no particular end.
  void LeaveInserted();
  // Takes the current inserted record out of the cache; the position becomes a crack.
  void DropCurrentInserted();
  void ForgetInserted();
  // Prepare: writes the cache to the source; what was written leaves the cache, a refusal is
  // raised and its image stays.
  void WriteCacheToSource();
  uint32_t BookmarkTag(const void* bookmark) const;
  // A positioning operation of the source: afterwards the cursor is on the source's records.
  template <class... Params, class... Args>
  void Reposition(void (TBaseTable::*operation)(Params...), Args&&... args) {
    LeaveInserted();
    (source_->*operation)(std::forward<Args>(args)...);
  }

  TBaseTable* source_;
  std::unique_ptr<TMemTable> cache_;
  uint8_t updateRecordTypes_ = kDefaultUpdateRecordTypes;
  bool getOldRecord_ = false;
  std::vector<uint8_t> bookmarkScratch_;
  uint32_t sourceBookmarkSize_ = 0;
  std::vector<InsertedImage> inserted_;
  uint32_t nextInsertedNumber_ = 1;
  // Place among the inserted records: -1 while on the source's records; otherwise the index of
  // the current inserted record, or with insertedCrack_ of the one after a deleted one.
  int32_t insertedPos_ = -1;
  bool insertedCrack_ = false;
  // Put after the last record by SetToEnd: reading backwards starts with the inserted records.
  bool atEnd_ = false;
};

}  // namespace vader
