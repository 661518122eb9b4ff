#pragma once
// Cursors over Btrieve-format records. TBtrBaseTable holds what every such table shares (options
// in the table name, native value comparison and conversion, bookmarks carrying the physical
// position, memo/binary/graphic fields kept inside the fixed record); TBtrTable is the cursor
// over one Btrieve file, mapping each cursor primitive onto record manager operations.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "btrieve/BtrBlob.h"
#include "btrieve/BtrTypes.h"
#include "btrieve/BtrWObj.h"
#include "engine/BseTable.h"

namespace vader {

constexpr uint16_t DBIERR_ENDOFBLOB = 0x2207;
constexpr uint16_t DBIERR_INVALIDBLOBOFFSET = 0x270E;
constexpr uint16_t DBIERR_INVALIDIDXDESC = 0x2727;
constexpr uint16_t DBIERR_INVALIDBLOBLEN = 0x272D;
constexpr uint16_t DBIERR_NOTABLOB = 0x2A01;

constexpr int kMaxBlobFields = 16;
constexpr size_t kMaxOwnerNameLength = 8;
constexpr uint32_t kBtrBookmarkSize = 260;
constexpr uint32_t kBtrDriverDataSize = 97;
// Bytes of a bookmark before its key: the physical position.
constexpr size_t kBookmarkKeyOffset = 4;
constexpr size_t kAcsTableSize = 265;

// The value of option `keyword` (";OWNER:", ";RES:") of a table name, found in any letter case,
// up to the next ";" or the end; nullopt when the name has none.
std::optional<std::string> TableNameOption(std::string_view name, const char* keyword);

class TBtrBaseTable : public TBaseTable {
 public:
  TBtrBaseTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
                const char* openIndexName, uint32_t openMode, uint32_t shareMode,
                const uint8_t* clientId);
  ~TBtrBaseTable() override;

  const uint8_t* ClientIDRef() const { return clientId_; }
  const char* OwnerName() const { return ownerName_; }
  bool HasResource() const { return hasResource_; }
  const char* ResourceName() const { return resourceName_; }
  // The table's FILE.DDF record: its 97 bytes of driver data.
  uint8_t* FileRecord() const { return DriverData(); }
  // The resource could not be read: the fields come from the dictionary after all.
  void DropResource() { hasResource_ = false; }
  int BlobCount() const { return blobCount_; }

  // Record length hooks used by the blob write-back.
  virtual int32_t GetRecordBufferLength() { return 0; }
  virtual void SetWriteLength(int32_t /*length*/) {}
  // Writes the record with a variable length ending `length` bytes into its last field.
  virtual void SetVariableTailLength(uint8_t* record, uint16_t field, int32_t length);

  void SetTableName(const char* name) override;
  void CloneCursor(bool readOnly, bool uniDirectional, TBaseTable*& newCursor) override;
  void NativeToLocal(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const uint8_t* src, void* dest, bool& blank) override;
  void LocalToNative(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const void* src, uint8_t* dest) override;
  void GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank) override;
  void PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) override;
  int CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                    bool caseInsensitive, const void* value1, const void* value2) override;
  const void* GetBookmarkKey(const void* bookmark) const override;
  void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) override;

  // Memo, binary and graphic fields.
  void RegisterBlobFields();
  void WriteBackBlobs(uint8_t* record);
  void OpenBlob(uint8_t* record, uint16_t field, uint32_t openMode) override;
  void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) override;
  void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* dest,
               uint32_t& read) override;
  void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
               const void* src) override;
  void FreeBlob(uint8_t* record, uint16_t field) override;

 private:
  struct BlobEntry {
    uint16_t Field = 0;
    bool Modified = false;
    std::unique_ptr<TMemoryStream> Stream;
  };
  // The entry of `field`; DBIERR_NOTABLOB when it has none.
  BlobEntry& EntryOf(uint16_t field);
  TMemoryStream& StreamOf(BlobEntry& entry);
  // The field bound to `record`, with a NUL in its last byte; returns the text length.
  size_t MeasureText(TFieldCacheItem& item);
  bool IsLastField(const TFieldCacheItem& item) {
    return item.FieldNumber() == FieldCache().Count();
  }
  void GetMemo(TFieldCacheItem& item, uint32_t offset, uint32_t length, void* dest, uint32_t& read);
  void PutMemo(TFieldCacheItem& item, uint8_t* record, uint32_t offset, uint32_t length,
               const void* src);
  void WriteBackBinary(BlobEntry& entry, TFieldCacheItem& item, uint8_t* record);
  void WriteBackMemo(TFieldCacheItem& item);

  const uint8_t* clientId_;
  int blobCount_ = 0;
  BlobEntry blobs_[kMaxBlobFields];
  char ownerName_[kMaxOwnerNameLength + 1] = {};
  bool hasResource_ = false;
  char resourceName_[kMaxTableNameLength] = {};
};

class TBtrTable : public TBtrBaseTable {
 public:
  TBtrTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
            const char* openIndexName, uint32_t openMode, uint32_t shareMode,
            const uint8_t* clientId);
  ~TBtrTable() override;

  TWinBtr& Btr() { return *btr_; }
  bool UsesACS() const { return usesACS_; }

  // Fills the field cache from FIELD.DDF records, numbering the fields 1, 2, 3 ... in the
  // order given, and registers the blob fields.
  void LoadFields(const std::vector<DictionaryField>& fields);

  int32_t GetRecordBufferLength() override { return btr_->BufferSize(); }
  void SetWriteLength(int32_t length) override { btr_->SetDataLength(length); }
  // Raises status 4 when the key found differs from the key searched over the covered part.
  virtual void CheckKeyMatch(uint16_t operation, uint16_t fieldCount, const uint8_t* record,
                             const uint8_t* key, uint16_t partialLength);

  uint32_t GetDriverDataSize() const override { return kBtrDriverDataSize; }
  uint32_t GetBookmarkSize() const override { return kBtrBookmarkSize; }
  uint32_t GetRecordSize() const override;
  uint8_t* GetDataBuffer() const override;
  void SetDataBuffer(uint8_t* buffer) override;
  void LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc, uint16_t& localType,
                     uint16_t& localSize) override;

  void OpenCursor() override;
  void CloseCursor() override;
  void FirstPhysical() override;
  void LastPhysical() override;
  void NextPhysical() override;
  void PriorPhysical() override;

  void ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                        uint16_t partialLength, uint16_t& keyLength) override;
  bool SeeksInKeyOrder() const override { return true; }
  void SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
               const void* key, uint8_t* recordOut) override;
  void GetRecordForKey(bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                       const void* key, uint8_t* record) override;
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;

  void AcqTableLock(TLockType lock) override;
  void RelTableLock(TLockType lock) override;
  void ReleaseRecordLocks() override { btr_->Unlock(); }
  void SetLockMode(uint32_t mode) override;

  void InsertRecord(TLockType lock, uint8_t* record) override;
  void ModifyRecord(uint8_t* record, bool freeLock) override;
  void DeleteRecord(uint8_t* record) override;

  void GetSeqNo(uint32_t& n) override;
  void SetToSeqNo(uint32_t n) override;
  void GetRecordNo(uint32_t& n) override;
  void SetToRecordNo(uint32_t n) override;
  void GetCursorProps(CursorProps& props) override;
  void GetRecordCount(uint32_t& n) override;

  int CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                    bool caseInsensitive, const void* value1, const void* value2) override;
  void FindIndexForFields(const char* name, uint16_t& indexNo, char* indexName) override;
  void SwitchToIndex(const char* name, const char* tag, uint16_t indexNo,
                     bool keepPosition) override;
  void GetIndexDesc(uint16_t n, IndexDesc& desc) override;
  void AddIndex(const IndexDesc& desc, const char* keyViolName) override;
  void DeleteIndex(const char* name, const char* tag, uint16_t indexNo) override;

 protected:
  void CreateHandle() override;
  void FreeHandle() override;

 private:
  // Describes Btrieve key `n` into `desc` and, when given, the segment table.
  void DescribeKey(uint16_t n, IndexDesc& desc, KeySegmentInfo* segments);
  // Fills the segments after the first `fieldCount` with their lowest or highest values.
  void FillKeyTail(uint8_t* key, uint16_t fieldCount, bool forward);
  // Segment `i` of a key built from `record`; a non-zero `partialLength` cuts its value.
  void ExtractSegment(int i, const uint8_t* record, uint8_t* key, uint16_t length,
                      uint16_t partialLength);
  // The field a Stat segment lies on; `raw` when the segment covers only part of it.
  TFieldCacheItem* FieldForSegment(uint16_t position, uint16_t length, bool& raw);
  void AddKeySegment(IndexDesc& desc, KeySegmentInfo* segments, const KeySegmentSpec& layout,
                     std::string& names);
  // Blank space-padded strings are written again as empty values, so that they get their pad.
  void PadBlankStrings(uint8_t* record);
  // Copies the first `fieldCount` segments (all when 0) of a packed key.
  void CopyPackedKey(const void* source, uint8_t* key, uint16_t fieldCount);
  void SelectKey(uint16_t keyNumber);
  void SeekBookmarkKey(const uint8_t* bookmark);
  size_t SegmentOffset(int i);
  uint16_t SegmentLength(int i);
  // The next record manager call reads into or writes from the current data buffer (the
  // record manager object falls back to its own buffer after every call).
  TWinBtr& Bound();

  std::unique_ptr<TWinBtr> btr_;
  uint8_t* currentData_ = nullptr;
  bool usesACS_ = false;
  uint8_t acsTable_[kAcsTableSize] = {};
};

}  // namespace vader
