// The dataset base of BseMain: the storage side of a framework dataset over an engine cursor.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "components/BseMain.h"
#include "engine/BseCache.h"
#include "engine/BseUtils.h"
#include "framework/DBConsts.h"
#include "framework/DBFilter.h"
#include "framework/Dialogs.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

namespace vader {

using S = TDataSetState;

namespace {

constexpr uint32_t kBlobReadOnly = kOpenReadOnly;
constexpr uint32_t kBlobReadWrite = kOpenReadWrite;
constexpr uint16_t DBIERR_ENDOFBLOB_STATUS = 0x2207;
// Room for one validity-check descriptor: its first words are the field number and whether
// the field is required; its default value follows at kVchkHasDefault.
constexpr std::size_t kVchkDescSize = 2048;
constexpr uint16_t kFixedCharSubType = 31;
constexpr uint16_t kStatusCategoryNotFound = 0x22;
constexpr const char* SRecordGone = "Record not found";

// Brackets a dataset's engine use with its session's lock.
class TEngineLock {
 public:
  explicit TEngineLock(TttSession* session) : session_(session) {
    if (session_) session_->LockSession();
  }
  ~TEngineLock() {
    if (session_) session_->UnlockSession();
  }
  TEngineLock(const TEngineLock&) = delete;
  TEngineLock& operator=(const TEngineLock&) = delete;

 private:
  TttSession* session_;
};

// A bookmark widened to the cursor's bookmark size, so the engine never reads past it.
std::vector<uint8_t> SizedBookmark(const TBookmark& bookmark, std::size_t size) {
  std::vector<uint8_t> bytes(std::max<std::size_t>(size, 1), 0);
  std::memcpy(bytes.data(), bookmark.data(), std::min(bookmark.size(), size));
  return bytes;
}

bool IsStringField(TFieldType type) {
  return type == TFieldType::ftString || type == TFieldType::ftFixedChar;
}

// Bytes GetField may write for a field: the larger of the field's native and engine sizes
// and the framework's value, with room for the closing NUL.
std::size_t ScratchSize(const FieldDesc& desc, std::size_t dataSize) {
  return std::max<std::size_t>({16, std::size_t{desc.FieldLength} + 2,
                                static_cast<std::size_t>(std::max<int>(desc.FieldUnits1, 0)) + 2,
                                dataSize + 1});
}

// A filter-text constant for a locate value compared with Field.
std::string FilterConstant(const TField* field, const TValue& value, bool partial) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "TRUE" : "FALSE";
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value)) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *d);
    return text;
  }
  std::string text = std::get<std::string>(value);
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  if (partial && IsStringField(field->DataType())) quoted += '*';
  return quoted + "'";
}

// A blob's contents as a stream; written contents go back into the record when the stream
// goes.
class TDataSetBlobStream : public TStream {
 public:
  TDataSetBlobStream(TttBDEDataset& dataSet, TField* field, std::string contents, bool writable)
      : dataSet_(dataSet), field_(field), data_(std::move(contents)), writable_(writable) {}
  ~TDataSetBlobStream() override {
    if (!modified_) return;
    try {
      dataSet_.WriteBlob(field_, data_);
    } catch (const std::exception&) {
      // a destructor cannot report; WriteBlob's checks ran when the stream was made
    }
  }
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = std::clamp<std::int64_t>(Size() - pos_, 0, count);
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (!writable_ || count <= 0) return 0;
    const auto end = static_cast<std::size_t>(pos_ + count);
    if (data_.size() < end) data_.resize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
    pos_ += count;
    modified_ = true;
    return count;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent ? pos_
                                                                 : Size();
    pos_ = std::max<std::int64_t>(0, base + offset);
    return pos_;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void Truncate() override {
    if (!writable_) return;
    data_.resize(static_cast<std::size_t>(std::min(pos_, Size())));
    modified_ = true;
  }

 private:
  TttBDEDataset& dataSet_;
  TField* field_;
  std::string data_;
  bool writable_;
  bool modified_ = false;
  std::int64_t pos_ = 0;
};

}  // namespace

// ---- the field-type mapping ----

TFieldType EngineFieldType(const FieldDesc& desc) {
  using T = TFieldType;
  const auto sized = [&](T type) { return desc.FieldUnits1 == 0 ? T::ftUnknown : type; };
  const auto byLength = [&](T type) {
    return desc.FieldLength == 1 ? T::ftSmallint : desc.FieldLength == 2 ? type : T::ftUnknown;
  };
  switch (desc.FieldType) {
    case fldZSTRING:
      return sized(desc.FieldSubType == kFixedCharSubType ? T::ftFixedChar : T::ftString);
    case fldDATE:
      return T::ftDate;
    case fldBLOB:
      switch (desc.FieldSubType) {
        case 22:
        case 33:
          return T::ftMemo;
        case 24:
          return T::ftFmtMemo;
        case 25:
          return T::ftParadoxOle;
        case 26:
          return T::ftGraphic;
        case 27:
          return T::ftDBaseOle;
        case 28:
          return T::ftTypedBinary;
        default:
          return T::ftBlob;
      }
    case fldBOOL:
      return T::ftBoolean;
    case fldINT16:
      return byLength(T::ftSmallint);
    case fldINT32:
      return desc.FieldSubType == fldstAUTOINC ? T::ftAutoInc : T::ftInteger;
    case fldFLOAT:
      return desc.FieldSubType == fldstMONEY ? T::ftCurrency : T::ftFloat;
    case fldBCD:
      return T::ftBCD;
    case fldBYTES:
      return sized(T::ftBytes);
    case fldTIME:
      return T::ftTime;
    case fldTIMESTAMP:
      return T::ftDateTime;
    case fldUINT16:
      return byLength(T::ftWord);
    case fldUINT32:
      return T::ftInteger;
    case 15:
      return sized(T::ftVarBytes);
    case fldINT64:
    case fldUINT64:
      return T::ftLargeint;
    default:
      // Object, array, reference and nested-table fields have no framework field class.
      return T::ftUnknown;
  }
}

// ---- lifetime ----

TttBDEDataset::TttBDEDataset(TComponent* owner) : TDataSet(owner) {}

TttBDEDataset::~TttBDEDataset() = default;

TRecInfo& TttBDEDataset::RecInfo(TRecordBuffer& buffer) const {
  if (buffer.data.size() < recInfoOffset_ + sizeof(TRecInfo))
    DatabaseError(dbconsts::SDataSetClosed, this);
  return *reinterpret_cast<TRecInfo*>(buffer.data.data() + recInfoOffset_);
}

const TRecInfo& TttBDEDataset::RecInfo(const TRecordBuffer& buffer) const {
  return RecInfo(const_cast<TRecordBuffer&>(buffer));
}

uint8_t* TttBDEDataset::FieldRecord(const TRecordBuffer& buffer) const {
  if (buffer.data.size() < static_cast<std::size_t>(recordSize_))
    DatabaseError(dbconsts::SDataSetClosed, this);
  return const_cast<uint8_t*>(buffer.data.data());
}

// ---- opening and closing ----

void TttBDEDataset::OpenCursorHandle() {
  handle_ = CreateHandle();
  if (!handle_) DatabaseError(dbconsts::SHandleError, this);
}

void TttBDEDataset::CloseCursorHandle() {
  if (handle_) DestroyHandle();
  handle_ = nullptr;
}

void TttBDEDataset::DestroyHandle() {
  TEngineLock lock(DBSession());
  Engine()->RelRecordLock(handle_, false);
  TBaseTable* cursor = handle_;
  handle_ = nullptr;
  Check(Engine()->CloseCursor(cursor));
}

void TttBDEDataset::ReadCursorProps() {
  CursorProps props{};
  Check(Engine()->GetCursorProps(handle_, props));
  recordSize_ = props.RecBufSize;
  bookmarkSize_ = props.BookmarkSize;
  canModify_ = props.CursorOpenMode == kOpenReadWrite && props.TempTable == 0;
  recNoStatus_ = props.SeqNums;
  recInfoOffset_ = static_cast<std::size_t>(recordSize_);
  bookmarkOffset_ = recInfoOffset_ + sizeof(TRecInfo);
}

void TttBDEDataset::InternalOpen() {
  TEngineLock lock(DBSession());
  OpenCursorHandle();
  try {
    if (cachedUpdates_) Check(Engine()->BeginDelayedUpdates(handle_));
    ReadCursorProps();
    // Room for the bookmarks of a caching cursor too, so that switching cached updates on
    // and off keeps the record buffers.
    bookmarkCapacity_ = bookmarkSize_ + (cachedUpdates_ ? 0 : sizeof(int32_t));
    cursorRecord_.assign(RecordBufferSize(), 0);
    InitCursorRecord(handle_, cursorRecord_.data());
    InternalInitFieldDefs();
    GetIndexInfo();
    AllocKeyBuffers();
    Check(Engine()->SetToBegin(handle_));
    PrepareCursor();
    pendingFilters_ = true;
  } catch (...) {
    exprFilter_ = funcFilter_ = nullptr;
    FreeKeyBuffers();
    if (cachedUpdates_ && handle_) Engine()->EndDelayedUpdates(handle_);
    CloseCursorHandle();
    throw;
  }
}

// The filters need the fields, which exist only once the framework has bound them.
void TttBDEDataset::SetupFilters() {
  if (!pendingFilters_) return;
  pendingFilters_ = false;
  if (!Filter().empty()) exprFilter_ = AddExpressionFilter(Filter(), FilterOptions(), 0);
  if (OnFilterRecord()) funcFilter_ = AddCallbackFilter();
  if (Filtered()) ActivateFilters();
}

void TttBDEDataset::InternalClose() {
  TEngineLock lock(DBSession());
  exprFilter_ = funcFilter_ = nullptr;
  pendingFilters_ = false;
  FreeKeyBuffers();
  blobCache_.clear();
  cachedRecord_ = TRecordBuffer{};
  uint16_t status = 0;
  if (cachedUpdates_ && handle_) status = Engine()->EndDelayedUpdates(handle_);
  CloseCursorHandle();
  cursorRecord_.clear();
  expIndex_ = caseInsIndex_ = false;
  keySize_ = 0;
  keyFields_.clear();
  keyLength_ = 0;
  canModify_ = false;
  fieldDescs_.clear();
  Check(status);
}

void TttBDEDataset::InternalInitFieldDefs() {
  TVirtEng* engine = Engine();
  CursorProps props{};
  Check(engine->GetCursorProps(handle_, props));
  const uint16_t count = props.FieldCount;
  // Fields that must have a value: those a validity check marks required without a default.
  std::vector<bool> required(std::size_t{count} + 1, false);
  for (uint16_t check = 1; check <= props.ValCheckCount; ++check) {
    uint8_t desc[kVchkDescSize] = {};
    if (engine->GetVchkDesc(handle_, check, desc) != 0) continue;
    uint16_t words[5] = {};
    std::memcpy(words, desc, sizeof words);
    const uint16_t fieldNo = words[0];
    if (words[1] != 0 && words[4] == 0 && fieldNo >= 1 && fieldNo <= count)
      required[fieldNo] = true;
  }
  fieldDescs_.assign(count, FieldDesc{});
  if (count > 0) Check(engine->GetFieldDescs(handle_, fieldDescs_.data()));
  AddFieldDefs(TextCodePage(), fieldDescs_, required, FieldDefs());
}

void AddFieldDefs(const std::string& codePage, const std::vector<FieldDesc>& descs,
                  const std::vector<bool>& required, TFieldDefs& defs) {
  defs.clear();
  for (const FieldDesc& desc : descs) {
    TFieldDef def;
    def.name = defs.UniqueName(platform::NativeTextToAnsi(BoundedString(desc.FieldName), codePage));
    def.dataType = EngineFieldType(desc);
    // Texts, bytes and blobs are sized by the descriptor's first units, BCD by its second.
    const TFieldType t = def.dataType;
    if (IsStringField(t) || t == TFieldType::ftBytes || t == TFieldType::ftVarBytes ||
        IsBlobType(t)) {
      def.size = std::max<int>(desc.FieldUnits1, 0);
    } else if (t == TFieldType::ftBCD) {
      def.size = std::abs(desc.FieldUnits2);
      def.precision = desc.FieldUnits1;
    } else if (t == TFieldType::ftFloat || t == TFieldType::ftCurrency) {
      // Money and decimals show their dictionary's decimals; a 4-byte float its own digits.
      if (desc.FieldUnits2 > 0) def.scale = desc.FieldUnits2;
      def.singlePrecision = desc.FieldLength == sizeof(float);
    }
    if (desc.FieldNumber < required.size() && required[desc.FieldNumber] &&
        def.dataType != TFieldType::ftAutoInc)
      def.attributes |= faRequired;
    if (desc.FieldRights == 1) def.attributes |= faReadonly;
    def.internalCalcField = desc.CalcField != 0;
    def.fieldNo = desc.FieldNumber;
    defs.push_back(def);
  }
}

const FieldDesc* TttBDEDataset::DescOf(int fieldNo) const {
  for (const FieldDesc& desc : fieldDescs_)
    if (desc.FieldNumber == fieldNo) return &desc;
  return nullptr;
}

void TttBDEDataset::GetIndexInfo() {
  if (!handle_) return;
  IndexDesc desc = handle_->CurrentIndex();
  IndexDesc described{};
  if (Engine()->GetIndexDesc(handle_, desc.IndexId, described) == 0)
    desc = described;
  else if (desc.FieldsInKey == 0 && desc.IndexName[0] == '\0')
    return;
  expIndex_ = desc.ExpressionIndex != 0;
  caseInsIndex_ = desc.CaseInsensitive != 0;
  keyFields_.clear();
  keySize_ = 0;
  if (!expIndex_) {
    keySize_ = std::min<int>(desc.FieldsInKey, kMaxKeyFields);
    keyFields_.assign(desc.KeyFields, desc.KeyFields + keySize_);
  }
  keyLength_ = desc.KeyLength;
}

// ---- key buffers ----

// The cursor keeps the last buffer it initialised a record in and reads the records of its key
// seeks there, so a buffer of the dataset that comes and goes must not stay the last one: the
// dataset's own cursor record takes that place again at once.
void TttBDEDataset::InitCursorRecord(TBaseTable* cursor, uint8_t* record) {
  Check(Engine()->InitRecord(cursor, record));
  if (cursor != handle_ || record == cursorRecord_.data()) return;
  if (cursorRecord_.size() < RecordBufferSize()) cursorRecord_.assign(RecordBufferSize(), 0);
  Check(Engine()->InitRecord(handle_, cursorRecord_.data()));
}

void TttBDEDataset::InitKeyRecord(TKeyBuffer& key) {
  key.Record.data.assign(RecordBufferSize(), 0);
  key.Record.calc.clear();
  InitCursorRecord(handle_, key.Record.data.data());
  key.Modified = key.Exclusive = false;
  key.FieldCount = 0;
}

void TttBDEDataset::AllocKeyBuffers() {
  keyBuffers_.assign(kKeyBufferCount, TKeyBuffer{});
  for (TKeyBuffer& key : keyBuffers_) InitKeyRecord(key);
  keyBuffer_ = &keyBuffers_[0].Record;
}

void TttBDEDataset::FreeKeyBuffers() {
  keyBuffers_.clear();
  keyBuffer_ = nullptr;
}

TKeyBuffer& TttBDEDataset::KeyBuffer(TKeyIndex index) {
  CheckActive();
  return keyBuffers_.at(static_cast<std::size_t>(index));
}

void TttBDEDataset::SetKeyBuffer(TKeyIndex index, bool clear) {
  CheckBrowseMode();
  TEngineLock lock(DBSession());
  keyIndex_ = index;
  TKeyBuffer& key = KeyBuffer(index);
  keyBuffers_[static_cast<std::size_t>(TKeyIndex::kiSave)] = key;
  if (clear) InitKeyRecord(key);
  keyBuffer_ = &key.Record;
  SetState(S::dsSetKey);
  DataEvent(TDataEvent::deDataSetChange);
}

TRecordBuffer* TttBDEDataset::KeyRecordBuffer() const { return keyBuffer_; }

void TttBDEDataset::PostKeyBuffer(bool commit) {
  if (keyBuffers_.empty()) return;
  TKeyBuffer& key = keyBuffers_[static_cast<std::size_t>(keyIndex_)];
  if (commit)
    key.Modified = true;
  else
    key = keyBuffers_[static_cast<std::size_t>(TKeyIndex::kiSave)];
}

void TttBDEDataset::SetKeyFields(TKeyIndex index, const std::vector<TValue>& values) {
  SetKeyBuffer(index, true);
  try {
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (static_cast<int>(i) >= keySize_) DatabaseError(dbconsts::SFieldIndexError, this);
      TField* field = nullptr;
      for (int f = 0; f < FieldCount() && !field; ++f)
        if (Fields(f)->FieldNo() == keyFields_[i] && !Fields(f)->Calculated()) field = Fields(f);
      if (!field) {
        const FieldDesc* desc = DescOf(keyFields_[i]);
        DatabaseError(FormatMessage(dbconsts::SIndexFieldMissing,
                                    desc ? BoundedString(desc->FieldName) : std::string()),
                      this);
      }
      field->SetValue(values[i]);
    }
  } catch (...) {
    PostKeyBuffer(false);
    SetState(S::dsBrowse);
    throw;
  }
  TKeyBuffer& key = KeyBuffer(index);
  key.Modified = true;
  key.FieldCount = static_cast<uint16_t>(values.size());
  if (index == TKeyIndex::kiRangeStart) KeyBuffer(TKeyIndex::kiRangeEnd) = key;
  SetState(S::dsBrowse);
}

namespace {
bool SameKey(const TKeyBuffer& a, const TKeyBuffer& b) {
  return a.Modified == b.Modified && a.Exclusive == b.Exclusive && a.FieldCount == b.FieldCount &&
         a.Record.data == b.Record.data;
}
}  // namespace

bool TttBDEDataset::SetCursorRange() {
  CheckBrowseMode();
  TKeyBuffer& start = KeyBuffer(TKeyIndex::kiRangeStart);
  TKeyBuffer& end = KeyBuffer(TKeyIndex::kiRangeEnd);
  if (SameKey(start, KeyBuffer(TKeyIndex::kiCurRangeStart)) &&
      SameKey(end, KeyBuffer(TKeyIndex::kiCurRangeEnd)))
    return false;
  TEngineLock lock(DBSession());
  const std::size_t keyRoom = std::max<std::size_t>(2u * keyLength_, kKeyBufferSize);
  std::vector<uint8_t> startKey(keyRoom), endKey(keyRoom);
  bool extracted = true;
  if (start.Modified)
    extracted = Engine()->ExtractKey(handle_, start.Record.data.data(), startKey.data()) == 0;
  if (end.Modified)
    extracted =
        extracted && Engine()->ExtractKey(handle_, end.Record.data.data(), endKey.data()) == 0;
  const void* key1 = !start.Modified ? nullptr
                     : extracted     ? static_cast<const void*>(startKey.data())
                                     : start.Record.data.data();
  const void* key2 = !end.Modified ? nullptr
                     : extracted   ? static_cast<const void*>(endKey.data())
                                   : end.Record.data.data();
  Check(Engine()->SetRange(handle_, extracted, start.FieldCount, 0, key1, !start.Exclusive,
                           end.FieldCount, 0, key2, !end.Exclusive));
  KeyBuffer(TKeyIndex::kiCurRangeStart) = start;
  KeyBuffer(TKeyIndex::kiCurRangeEnd) = end;
  DestroyLookupCursor();
  RowsChanged();
  First();
  return true;
}

bool TttBDEDataset::ResetCursorRange() {
  if (!Active()) return false;
  TKeyBuffer& start = KeyBuffer(TKeyIndex::kiCurRangeStart);
  TKeyBuffer& end = KeyBuffer(TKeyIndex::kiCurRangeEnd);
  if (!start.Modified && !end.Modified) return false;
  TEngineLock lock(DBSession());
  Check(Engine()->ResetRange(handle_));
  InitKeyRecord(start);
  InitKeyRecord(end);
  DestroyLookupCursor();
  RowsChanged();
  return true;
}

void TttBDEDataset::SwitchToIndex(const std::string& indexName, const std::string& tagName) {
  CheckBrowseMode();
  TEngineLock lock(DBSession());
  ResetCursorRange();
  SyncCursor();
  const char* tag = tagName.empty() ? nullptr : tagName.c_str();
  uint16_t status = Engine()->SwitchToIndex(handle_, indexName.c_str(), tag, 0, true);
  if (status == DBIERR_NOCURRREC)
    status = Engine()->SwitchToIndex(handle_, indexName.c_str(), tag, 0, false);
  Check(status);
  GetIndexInfo();
  RowsChanged();
  ResyncFromStorage(true);
}

// ---- positioning and fetching ----

void TttBDEDataset::SyncCursor() {
  if (!Active() || BufferedRecords() == 0) return;
  TRecordBuffer& active = *ActiveBuffer();
  if (GetBookmarkFlag(active) == TBookmarkFlag::bfCurrent)
    InternalGotoBookmark(GetBookmarkData(active));
  CursorPosChanged();
}

void TttBDEDataset::InternalFirst() {
  TEngineLock lock(DBSession());
  SetupFilters();
  Check(backwards_ ? Engine()->SetToEnd(handle_) : Engine()->SetToBegin(handle_));
}

void TttBDEDataset::InternalLast() {
  TEngineLock lock(DBSession());
  SetupFilters();
  Check(backwards_ ? Engine()->SetToBegin(handle_) : Engine()->SetToEnd(handle_));
}

void TttBDEDataset::SetReadBackwards(bool value) {
  if (value == backwards_) return;
  if (Active()) CheckBrowseMode();
  backwards_ = value;
  if (!Active()) return;
  RowsChanged();
  Resync();  // the rows around the current record, in the new direction
}

void TttBDEDataset::ClearBlobCache(const TRecordBuffer& buffer) { blobCache_.erase(&buffer); }

// ---- block reading ----

int TttBDEDataset::BlockReadRows(int blockReadSize, int recordSize) {
  if (recordSize <= 0) return blockReadSize;
  return std::max(1, std::min<int>(blockReadSize, static_cast<int>(kBlockBufferSize) / recordSize));
}

void TttBDEDataset::SetBlockReadSize(int value) {
  if (value > 0) {
    CheckActive();
    if (blockBuffer_.empty()) blockBuffer_.assign(kBlockBufferSize, 0);
    blockRows_ = BlockReadRows(value, recordSize_);
    blockCount_ = blockPos_ = 0;
    TDataSet::SetBlockReadSize(value);
    return;
  }
  const bool wasReading = State() == S::dsBlockRead;
  blockCount_ = blockPos_ = 0;
  if (wasReading && value < 0 && BufferedRecords() > 0) {
    // Leave on the row after the active one.
    TDataSet::SetBlockReadSize(0);
    Next();
    return;
  }
  TDataSet::SetBlockReadSize(0);
}

TGetResult TttBDEDataset::NextFromBlock(TRecordBuffer& buffer) {
  TVirtEng* engine = Engine();
  const auto recordSize = static_cast<std::size_t>(recordSize_);
  if (blockPos_ >= blockCount_) {
    if (recordSize == 0 || static_cast<std::size_t>(blockRows_) * recordSize > blockBuffer_.size())
      DatabaseError(dbconsts::SNotSupported, this);
    engine->SetProp(handle_, kCursorInsertModeProp, 0);
    uint32_t count = static_cast<uint32_t>(blockRows_);
    const uint16_t status = engine->ReadBlock(handle_, count, blockBuffer_.data());
    blockCount_ = std::min<uint32_t>(count, static_cast<uint32_t>(blockRows_));
    blockPos_ = 0;
    if (status != 0 && status != DBIERR_EOF) Check(status);
    if (blockCount_ == 0) return TGetResult::grEOF;
    ReadBlockBookmarks();
  }
  std::memcpy(FieldRecord(buffer), blockBuffer_.data() + blockPos_ * recordSize, recordSize);
  ++blockPos_;
  TRecInfo& info = RecInfo(buffer);
  info.RecordNumber = -1;
  info.UpdateStatus = 0;
  info.BookmarkFlag = static_cast<uint8_t>(TBookmarkFlag::bfCurrent);
  if (buffer.data.size() >= bookmarkOffset_ + bookmarkSize_ &&
      blockBookmarks_.size() >= blockPos_ * bookmarkSize_)
    std::memcpy(buffer.data.data() + bookmarkOffset_,
                blockBookmarks_.data() + (blockPos_ - 1) * bookmarkSize_, bookmarkSize_);
  return TGetResult::grOK;
}

// The cursor stands on the block's last row: the bookmarks of the others are read going back
// from it, and the cursor returns there for the next block.
void TttBDEDataset::ReadBlockBookmarks() {
  TVirtEng* engine = Engine();
  blockBookmarks_.assign(std::size_t{blockCount_} * bookmarkSize_, 0);
  if (bookmarkSize_ == 0) return;
  uint8_t* last = blockBookmarks_.data() + (blockCount_ - 1) * bookmarkSize_;
  Check(engine->GetBookMark(handle_, last));
  std::vector<uint8_t> scratch(static_cast<std::size_t>(std::max(recordSize_, 1)));
  for (uint32_t i = blockCount_ - 1; i-- > 0;) {
    Check(engine->GetPriorRecord(handle_, dbiNOLOCK, scratch.data(), nullptr));
    Check(engine->GetBookMark(handle_, blockBookmarks_.data() + i * bookmarkSize_));
  }
  Check(engine->SetToBookMark(handle_, last));
}

TGetResult TttBDEDataset::GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) {
  TEngineLock lock(DBSession());
  SetupFilters();
  // Read backwards, the next record is the cursor's prior one; blocks are read forwards only.
  if (backwards_ && mode != TGetMode::gmCurrent)
    return Backwards(GetForwards(buffer, Backwards(mode), doCheck));
  return GetForwards(buffer, mode, doCheck);
}

TGetMode TttBDEDataset::Backwards(TGetMode mode) {
  return mode == TGetMode::gmNext ? TGetMode::gmPrior : TGetMode::gmNext;
}

TGetResult TttBDEDataset::Backwards(TGetResult result) {
  if (result == TGetResult::grBOF) return TGetResult::grEOF;
  return result == TGetResult::grEOF ? TGetResult::grBOF : result;
}

TGetResult TttBDEDataset::GetForwards(TRecordBuffer& buffer, TGetMode mode, bool doCheck) {
  if (State() == S::dsBlockRead && mode == TGetMode::gmNext && !backwards_) {
    ClearBlobCache(buffer);
    return NextFromBlock(buffer);
  }
  TVirtEng* engine = Engine();
  uint8_t* record = FieldRecord(buffer);
  ClearBlobCache(buffer);
  recProps_ = RecordProps{};
  uint16_t status = 0;
  switch (mode) {
    case TGetMode::gmCurrent:
      status = engine->GetRecord(handle_, dbiNOLOCK, record, &recProps_);
      break;
    case TGetMode::gmNext:
      status = engine->GetNextRecord(handle_, dbiNOLOCK, record, &recProps_);
      break;
    case TGetMode::gmPrior:
      status = engine->GetPriorRecord(handle_, dbiNOLOCK, record, &recProps_);
      break;
  }
  if (status == DBIERR_BOF) return TGetResult::grBOF;
  if (status == DBIERR_EOF) return TGetResult::grEOF;
  if (status != 0) {
    if (doCheck) Check(status);
    return TGetResult::grError;
  }
  TRecInfo& info = RecInfo(buffer);
  info.RecordNumber = -1;
  info.UpdateStatus = static_cast<uint8_t>(recProps_.UpdateStatus);
  info.BookmarkFlag = static_cast<uint8_t>(TBookmarkFlag::bfCurrent);
  if (buffer.data.size() >= bookmarkOffset_ + bookmarkSize_)
    Check(engine->GetBookMark(handle_, buffer.data.data() + bookmarkOffset_));
  return TGetResult::grOK;
}

void TttBDEDataset::InternalInitRecord(TRecordBuffer& buffer) {
  TEngineLock lock(DBSession());
  ClearBlobCache(buffer);
  std::fill(buffer.data.begin(), buffer.data.end(), 0);
  InitCursorRecord(handle_, FieldRecord(buffer));
  TRecInfo& info = RecInfo(buffer);
  info.RecordNumber = -1;
  info.UpdateStatus = static_cast<uint8_t>(TUpdateStatus::usInserted);
  info.BookmarkFlag = static_cast<uint8_t>(TBookmarkFlag::bfInserted);
}

// ---- bookmarks ----

TBookmark TttBDEDataset::GetBookmarkData(const TRecordBuffer& buffer) const {
  if (buffer.data.size() < bookmarkOffset_ + bookmarkSize_) return {};
  return TBookmark(reinterpret_cast<const char*>(buffer.data.data() + bookmarkOffset_),
                   bookmarkSize_);
}

void TttBDEDataset::SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) {
  if (buffer.data.size() < bookmarkOffset_ + bookmarkSize_) return;
  uint8_t* at = buffer.data.data() + bookmarkOffset_;
  std::memset(at, 0, bookmarkSize_);
  std::memcpy(at, bookmark.data(), std::min(bookmark.size(), bookmarkSize_));
}

TBookmarkFlag TttBDEDataset::GetBookmarkFlag(const TRecordBuffer& buffer) const {
  return static_cast<TBookmarkFlag>(RecInfo(buffer).BookmarkFlag);
}

void TttBDEDataset::SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) {
  RecInfo(buffer).BookmarkFlag = static_cast<uint8_t>(flag);
}

void TttBDEDataset::InternalGotoBookmark(const TBookmark& bookmark) {
  TEngineLock lock(DBSession());
  Check(Engine()->SetToBookMark(handle_, SizedBookmark(bookmark, bookmarkSize_).data()));
}

int TttBDEDataset::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.empty() || b.empty()) return a.empty() ? (b.empty() ? 0 : -1) : 1;
  TEngineLock lock(DBSession());
  int result = 0;
  Check(Engine()->CompareBookMarks(handle_, SizedBookmark(a, bookmarkSize_).data(),
                                   SizedBookmark(b, bookmarkSize_).data(), result));
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

bool TttBDEDataset::InternalBookmarkValid(const TBookmark& bookmark) {
  if (!handle_) return false;
  TEngineLock lock(DBSession());
  if (Engine()->SetToBookMark(handle_, SizedBookmark(bookmark, bookmarkSize_).data()) != 0)
    return false;
  std::vector<uint8_t> scratch(static_cast<std::size_t>(std::max(recordSize_, 1)));
  // The lookup of a removed record lands on a neighbour, which is not the bookmarked row.
  return Engine()->GetRecord(handle_, dbiNOLOCK, scratch.data(), nullptr) == 0 &&
         CursorOnBookmark(bookmark);
}

// ---- record numbers and counts ----

int TttBDEDataset::RecordCount() {
  CheckActive();
  TEngineLock lock(DBSession());
  uint32_t count = 0;
  if (Engine()->GetExactRecordCount(handle_, count) == 0) return static_cast<int>(count);
  if (Engine()->GetRecordCount(handle_, count) == 0) return static_cast<int>(count);
  return -1;
}

int TttBDEDataset::RecNo() const {
  TRecordBuffer* buffer = ActiveBuffer();
  if (!Active() || !buffer || BufferedRecords() == 0) return -1;
  return RecInfo(*buffer).RecordNumber;
}

void TttBDEDataset::SetRecNo(int value) {
  CheckBrowseMode();
  if (recNoStatus_ != 1 || value == RecNo() || value < 1) return;
  TEngineLock lock(DBSession());
  if (Engine()->SetToSeqNo(handle_, static_cast<uint32_t>(value)) == 0) ResyncFromStorage(true);
}

bool TttBDEDataset::IsSequenced() const {
  return recNoStatus_ == 1 && !Filtered() && !backwards_;
}

TUpdateStatus TttBDEDataset::UpdateStatus() const {
  TRecordBuffer* buffer = ActiveBuffer();
  if (!cachedUpdates_ || !buffer || !Active()) return TUpdateStatus::usUnmodified;
  return static_cast<TUpdateStatus>(RecInfo(*buffer).UpdateStatus);
}

// ---- field values ----

TRecordBuffer* TttBDEDataset::CurrentRecordBuffer() const {
  if (searchBuffer_) return searchBuffer_;
  switch (State()) {
    case S::dsOldValue:
    case S::dsNewValue:
      if (!cachedUpdates_) DatabaseError(dbconsts::SNoCachedUpdates, this);
      if (State() == S::dsNewValue) return BufferedRecords() == 0 ? nullptr : ActiveBuffer();
      return OldValueRecord();
    default:
      return TDataSet::CurrentRecordBuffer();
  }
}

// The record as the cursor had it before the cached changes, into the cached-update area.
TRecordBuffer* TttBDEDataset::OldValueRecord() const {
  if (!handle_ || BufferedRecords() == 0) return nullptr;
  TEngineLock lock(DBSession());
  TVirtEng* engine = Engine();
  const_cast<TttBDEDataset*>(this)->SyncCursor();
  if (engine->SetProp(handle_, kCursorOldRecordProp, 1) != 0) return nullptr;
  cachedRecord_.data.assign(RecordBufferSize(), 0);
  cachedRecord_.calc.assign(ActiveBuffer()->calc.size(), 0);
  const uint16_t status = engine->GetRecord(handle_, dbiNOLOCK, cachedRecord_.data.data(), nullptr);
  engine->SetProp(handle_, kCursorOldRecordProp, 0);
  Check(status);
  return &cachedRecord_;
}

bool TttBDEDataset::GetFieldData(const TField* field, const TRecordBuffer& buffer,
                                 void* dest) const {
  if (!handle_) return false;
  if (IsBlobType(field->DataType())) return !ReadBlobFrom(field, buffer).empty();
  const FieldDesc* desc = DescOf(field->FieldNo());
  if (!desc) return false;
  TEngineLock lock(DBSession());
  // Most values fit the stack; long texts and bytes take the heap.
  uint8_t small[512];
  std::vector<uint8_t> large;
  const std::size_t size = ScratchSize(*desc, field->DataSize());
  uint8_t* value = small;
  if (size > sizeof small) {
    large.assign(size, 0);
    value = large.data();
  } else {
    std::memset(small, 0, size);
  }
  bool blank = true;
  Check(Engine()->GetField(handle_, desc->FieldNumber, FieldRecord(buffer), value, blank));
  if (blank) return false;
  if (dest) {
    std::memcpy(dest, value, field->DataSize());
    if (IsStringField(field->DataType()) && field->DataSize() > 0)
      static_cast<char*>(dest)[field->DataSize() - 1] = '\0';
  }
  return true;
}

void TttBDEDataset::SetFieldData(TField* field, TRecordBuffer& buffer, const void* source) {
  if (!handle_) DatabaseError(dbconsts::SDataSetClosed, this);
  if (State() == S::dsSetKey && keySize_ > 0 &&
      std::find(keyFields_.begin(), keyFields_.end(), field->FieldNo()) == keyFields_.end())
    DatabaseError(FormatMessage(dbconsts::SNotIndexField, field->DisplayLabel()), this);
  if (field->FieldKind() == TFieldKind::fkInternalCalc) return;
  if (IsBlobType(field->DataType())) return PutBlobContents(field, buffer, source);
  const FieldDesc* desc = DescOf(field->FieldNo());
  if (!desc) DatabaseError(FormatMessage(dbconsts::SFieldNotFound, field->FieldName()), this);
  TEngineLock lock(DBSession());
  ClearBlobCache(buffer);
  if (source == nullptr) {
    Check(Engine()->PutField(handle_, desc->FieldNumber, FieldRecord(buffer), nullptr));
    return;
  }
  // The engine may read its full value size: give it the framework's value in a buffer of
  // that size.
  std::vector<uint8_t> value(ScratchSize(*desc, field->DataSize()), 0);
  std::memcpy(value.data(), source, field->DataSize());
  Check(Engine()->PutField(handle_, desc->FieldNumber, FieldRecord(buffer), value.data()));
}

// ---- field texts ----

std::string TttBDEDataset::TextCodePage() const { return platform::OemCodePage(); }

// The driver settings may switch either conversion off; texts then pass as they are.
bool TttBDEDataset::ConvertsTexts(bool toNative) const {
  const TttSession* session = DBSession();
  const TBaseSession* handle = session ? session->Handle() : nullptr;
  if (!handle) return true;
  return toNative ? !handle->IgnoreAnsiOem() : !handle->IgnoreOemAnsi();
}

std::string TttBDEDataset::FieldTextFromNative(const TField&, std::string native) const {
  if (!ConvertsTexts(false)) return native;
  return platform::NativeTextToAnsi(native, TextCodePage());
}

std::string TttBDEDataset::FieldTextToNative(const TField& field, const std::string& text) const {
  if (!ConvertsTexts(true)) return text;
  platform::EncodedText encoded = platform::AnsiTextToNative(text, TextCodePage());
  if (encoded.ok) return std::move(encoded.bytes);
  const std::string character = "\"" + platform::Utf8ToAnsi(encoded.refused) + "\" (" +
                                platform::CharacterCodeText(encoded.refused) + ")";
  throw ECharacterNotStored(
      FormatMessage(FormatMessage(dbconsts::SCharacterNotStored, character), field.DisplayLabel()),
      character, field.DisplayLabel());
}

// ---- blobs ----

std::string TttBDEDataset::ReadBlobFrom(const TField* field, const TRecordBuffer& buffer) const {
  const bool cacheable = &buffer == ActiveBuffer();
  if (cacheable) {
    auto row = blobCache_.find(&buffer);
    if (row != blobCache_.end()) {
      auto cached = row->second.find(field->FieldNo());
      if (cached != row->second.end()) return cached->second;
    }
  }
  TEngineLock lock(DBSession());
  TVirtEng* engine = Engine();
  uint8_t* record = FieldRecord(buffer);
  const auto fieldNo = static_cast<uint16_t>(field->FieldNo());
  Check(engine->OpenBlob(handle_, record, fieldNo, kBlobReadOnly));
  std::string contents;
  uint16_t status = 0;
  uint32_t size = 0;
  status = engine->GetBlobSize(handle_, record, fieldNo, size);
  if (status == 0 && size > 0) {
    contents.resize(size + size / 4);
    uint32_t read = 0;
    status = engine->GetBlob(handle_, record, fieldNo, 0, static_cast<uint32_t>(contents.size()),
                             contents.data(), read);
    if (status == DBIERR_ENDOFBLOB_STATUS) status = 0;  // the whole blob was read
    contents.resize(std::min<std::size_t>(read, contents.size()));
  }
  engine->FreeBlob(handle_, record, fieldNo);
  if (State() == S::dsBlockRead && status != 0) return {};
  Check(status);
  if (cacheable) blobCache_[&buffer][field->FieldNo()] = contents;
  return contents;
}

std::string TttBDEDataset::ReadBlob(const TField* field) {
  TRecordBuffer* buffer = CurrentRecordBuffer();
  return buffer ? ReadBlobFrom(field, *buffer) : std::string();
}

// Through the framework's field write, so that the edit counts as a change like any other.
void TttBDEDataset::WriteBlob(TField* field, const std::string& contents) {
  if (State() != S::dsEdit && State() != S::dsInsert) DatabaseError(dbconsts::SNotEditing, this);
  WriteFieldData(field, &contents);
}

// A blob's new contents (a std::string; nullptr empties it) into the record of Buffer.
void TttBDEDataset::PutBlobContents(TField* field, TRecordBuffer& buffer, const void* source) {
  static const std::string kEmpty;
  const std::string& contents = source ? *static_cast<const std::string*>(source) : kEmpty;
  TEngineLock lock(DBSession());
  TVirtEng* engine = Engine();
  uint8_t* record = FieldRecord(buffer);
  const auto fieldNo = static_cast<uint16_t>(field->FieldNo());
  ClearBlobCache(buffer);
  Check(engine->OpenBlob(handle_, record, fieldNo, kBlobReadWrite));
  Check(engine->TruncateBlob(handle_, record, fieldNo, 0));
  if (!contents.empty())
    Check(engine->PutBlob(handle_, record, fieldNo, 0, static_cast<uint32_t>(contents.size()),
                          contents.data()));
}

std::unique_ptr<TStream> TttBDEDataset::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (!IsBlobType(field->DataType())) return TDataSet::CreateBlobStream(field, mode);
  const bool writable = mode != TBlobStreamMode::bmRead;
  if (writable && State() != S::dsEdit && State() != S::dsInsert)
    DatabaseError(dbconsts::SNotEditing, this);
  if (writable && field->ReadOnly())
    DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, field->DisplayLabel()), this);
  TRecordBuffer* buffer = CurrentRecordBuffer();
  if (!buffer) return nullptr;
  std::string contents =
      mode == TBlobStreamMode::bmWrite ? std::string() : ReadBlobFrom(field, *buffer);
  auto stream = std::make_unique<TDataSetBlobStream>(*this, field, std::move(contents), writable);
  if (mode == TBlobStreamMode::bmWrite) stream->Truncate();
  return stream;
}

// ---- editing ----

// Whether the cursor stands on the record Buffer holds. A cursor sent to the bookmark of a
// record someone else removed goes on to the next record, which must not be edited or
// deleted in its place.
bool TttBDEDataset::CursorOnRecord(const TRecordBuffer& buffer) {
  return CursorOnBookmark(GetBookmarkData(buffer));
}

bool TttBDEDataset::CursorOnBookmark(const TBookmark& wanted) {
  if (wanted.empty()) return false;
  std::vector<uint8_t> here(std::max<std::size_t>(bookmarkSize_, 1), 0);
  if (Engine()->GetBookMark(handle_, here.data()) != 0) return false;
  int result = 1;
  return Engine()->CompareBookMarks(handle_, here.data(),
                                    SizedBookmark(wanted, bookmarkSize_).data(), result) == 0 &&
         result == 0;
}

void TttBDEDataset::InternalEdit() {
  TEngineLock lock(DBSession());
  TRecordBuffer& active = *ActiveBuffer();
  if (!CursorOnRecord(active)) DatabaseError(SRecordGone, this);
  ClearBlobCache(active);
  Check(Engine()->GetRecord(handle_, dbiWRITELOCK, FieldRecord(active), &recProps_));
}

void TttBDEDataset::InternalInsert() {
  TEngineLock lock(DBSession());
  Check(Engine()->SetProp(handle_, kCursorInsertModeProp, 1));
}

void TttBDEDataset::InternalCancel() {
  if (State() != S::dsEdit || !handle_) return;
  TEngineLock lock(DBSession());
  Check(Engine()->RelRecordLock(handle_, false));
}

void TttBDEDataset::InternalPost() {
  TEngineLock lock(DBSession());
  TRecordBuffer& active = *ActiveBuffer();
  ClearBlobCache(active);
  if (State() == S::dsEdit)
    Check(Engine()->ModifyRecord(handle_, FieldRecord(active), true));
  else
    Check(Engine()->InsertRecord(handle_, dbiNOLOCK, FieldRecord(active)));
}

void TttBDEDataset::InternalDelete() {
  TEngineLock lock(DBSession());
  TRecordBuffer& active = *ActiveBuffer();
  ClearBlobCache(active);
  if (!CursorOnRecord(active)) return;  // removed by someone else: gone as asked
  const uint16_t status = Engine()->DeleteRecord(handle_, FieldRecord(active));
  // A record another user removed meanwhile is gone as asked.
  if (status != 0 && (status >> 8) != kStatusCategoryNotFound) Check(status);
}

void TttBDEDataset::InternalRefresh() {
  TEngineLock lock(DBSession());
  blobCache_.clear();
  Check(Engine()->ForceReread(handle_));
}

// ---- filters ----

TFilterListItem* TttBDEDataset::AddExpressionFilter(const std::string& text, TFilterOptions options,
                                                    uint16_t priority) {
  const std::vector<uint8_t> expression = BuildFilterExpression(text, options, this);
  TFilterListItem* filter = nullptr;
  Check(Engine()->AddFilter(handle_, 0, priority, false, expression.data(), nullptr, filter));
  return filter;
}

TFilterListItem* TttBDEDataset::AddCallbackFilter() {
  TFilterListItem* filter = nullptr;
  Check(Engine()->AddFilter(handle_, reinterpret_cast<uintptr_t>(this), 1, false, nullptr,
                            &TttBDEDataset::FilterCallback, filter));
  return filter;
}

int16_t TttBDEDataset::FilterCallback(uintptr_t clientData, uint8_t* record, int32_t) {
  auto* self = reinterpret_cast<TttBDEDataset*>(clientData);
  if (!self || !record) return 1;
  TRecordBuffer& candidate = self->filterRecord_;
  candidate.data.assign(self->RecordBufferSize(), 0);
  std::memcpy(candidate.data.data(), record, static_cast<std::size_t>(self->recordSize_));
  const TRecordBuffer* active = self->ActiveBuffer();
  candidate.calc.assign(active ? active->calc.size() : 0, 0);
  bool accept = true;
  try {
    accept = self->FilterAccepts(candidate);
  } catch (const std::exception& e) {
    // The handler's error is shown, and the record is kept.
    MessageDlg(e.what(), TMsgDlgType::mtError, mbOK, 0);
    accept = true;
  }
  self->ClearBlobCache(candidate);
  return accept ? 1 : 0;
}

void TttBDEDataset::ActivateFilters() {
  TVirtEng* engine = Engine();
  const auto activate = [&](TFilterListItem*& filter, bool expression) {
    if (!filter || engine->ActivateFilter(handle_, filter) == 0) return;
    engine->DropFilter(handle_, filter);
    filter = nullptr;
    filter = expression ? AddExpressionFilter(Filter(), FilterOptions(), 0) : AddCallbackFilter();
    Check(engine->ActivateFilter(handle_, filter));
  };
  activate(exprFilter_, true);
  activate(funcFilter_, false);
}

void TttBDEDataset::DeactivateFilters() {
  if (exprFilter_) Check(Engine()->DeactivateFilter(handle_, exprFilter_));
  if (funcFilter_) Check(Engine()->DeactivateFilter(handle_, funcFilter_));
}

void TttBDEDataset::SetFiltered(bool value) {
  if (Active() && value != Filtered()) {
    CheckBrowseMode();
    TEngineLock lock(DBSession());
    SetupFilters();
    value ? ActivateFilters() : DeactivateFilters();
    DestroyLookupCursor();
    Check(Engine()->SetToBegin(handle_));
  }
  TDataSet::SetFiltered(value);
}

void TttBDEDataset::ReplaceFilter(TFilterListItem*& handle, TFilterListItem* replacement) {
  TVirtEng* engine = Engine();
  if (Filtered()) {
    DestroyLookupCursor();
    Check(engine->SetToBegin(handle_));
  }
  if (handle) engine->DropFilter(handle_, handle);
  handle = replacement;
  if (Filtered() && handle) Check(engine->ActivateFilter(handle_, handle));
}

void TttBDEDataset::SetFilterText(const std::string& value) {
  if (Active() && value != Filter()) {
    CheckBrowseMode();
    TEngineLock lock(DBSession());
    SetupFilters();
    ReplaceFilter(exprFilter_,
                  value.empty() ? nullptr : AddExpressionFilter(value, FilterOptions(), 0));
  }
  TDataSet::SetFilterText(value);
}

void TttBDEDataset::SetFilterOptions(TFilterOptions value) {
  if (Active() && value != FilterOptions()) {
    CheckBrowseMode();
    TEngineLock lock(DBSession());
    SetupFilters();
    ReplaceFilter(exprFilter_,
                  Filter().empty() ? nullptr : AddExpressionFilter(Filter(), value, 0));
  }
  TDataSet::SetFilterOptions(value);
}

void TttBDEDataset::SetOnFilterRecord(TFilterRecordEvent handler) {
  if (Active()) {
    CheckBrowseMode();
    TEngineLock lock(DBSession());
    SetupFilters();
    ReplaceFilter(funcFilter_, handler ? AddCallbackFilter() : nullptr);
  }
  TDataSet::SetOnFilterRecord(std::move(handler));
}

bool TttBDEDataset::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  if (backwards_) goForward = !goForward;
  if (BeforeScroll) BeforeScroll(this);
  TEngineLock lock(DBSession());
  TVirtEng* engine = Engine();
  if (!restart) SyncCursor();
  CursorPosChanged();
  if (!Filtered()) ActivateFilters();
  if (restart) Check(goForward ? engine->SetToBegin(handle_) : engine->SetToEnd(handle_));
  std::vector<uint8_t> scratch(RecordBufferSize());
  const uint16_t status = goForward
                              ? engine->GetNextRecord(handle_, dbiNOLOCK, scratch.data(), nullptr)
                              : engine->GetPriorRecord(handle_, dbiNOLOCK, scratch.data(), nullptr);
  if (!Filtered()) DeactivateFilters();
  if (status != 0) {
    if (status != DBIERR_EOF && status != DBIERR_BOF) Check(status);
    return false;
  }
  ResyncFromStorage(true);
  if (AfterScroll) AfterScroll(this);
  return true;
}

// ---- locate and lookup ----

TBaseTable* TttBDEDataset::SearchCursor(const std::vector<TField*>& fields,
                                        TLocateOptions options) {
  if (cachedUpdates_) return nullptr;
  bool leading = !expIndex_ && fields.size() <= static_cast<std::size_t>(keySize_);
  bool hasText = false;
  for (std::size_t i = 0; leading && i < fields.size(); ++i) {
    leading = !fields[i]->Calculated() && fields[i]->FieldNo() == keyFields_[i];
    hasText = hasText || IsStringField(fields[i]->DataType());
  }
  if (leading && (!hasText || caseInsIndex_ == ((options & loCaseInsensitive) != 0)))
    return handle_;
  std::string names;
  for (TField* field : fields) names += (names.empty() ? "" : ";") + field->FieldName();
  return GetLookupCursor(names, (options & loCaseInsensitive) != 0);
}

bool TttBDEDataset::LocateRecord(const std::vector<TField*>& fields,
                                 const std::vector<TValue>& values, TLocateOptions options,
                                 bool moveCursor, TRecordBuffer& found) {
  if (fields.size() != values.size() || fields.empty())
    DatabaseError(dbconsts::SFieldCountMismatch, this);
  TEngineLock lock(DBSession());
  TVirtEng* engine = Engine();
  found.data.assign(RecordBufferSize(), 0);
  found.calc.assign(ActiveBuffer() ? ActiveBuffer()->calc.size() : 0, 0);
  TBaseTable* cursor = SearchCursor(fields, options);
  const bool partial = (options & loPartialKey) != 0;
  if (cursor) {
    InitCursorRecord(cursor, found.data.data());
    searchBuffer_ = &found;
    SetState(S::dsFilter);
    try {
      for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(values[i]);
    } catch (...) {
      searchBuffer_ = nullptr;
      SetState(S::dsBrowse);
      throw;
    }
    searchBuffer_ = nullptr;
    SetState(S::dsBrowse);
    auto fieldCount = static_cast<uint16_t>(fields.size());
    uint16_t partialLength = 0;
    if (partial && IsStringField(fields.back()->DataType())) {
      --fieldCount;
      const auto* text = std::get_if<std::string>(&values.back());
      partialLength = static_cast<uint16_t>(text ? std::min<std::size_t>(text->size(), 255) : 0);
    }
    const uint16_t status = engine->GetRecordForKey(cursor, false, fieldCount, partialLength,
                                                    found.data.data(), found.data.data());
    if (status != 0) {
      if ((status >> 8) != kStatusCategoryNotFound) Check(status);
      return false;
    }
    if (cursor != handle_ && moveCursor) Check(engine->SetToCursor(handle_, cursor));
    return true;
  }
  // No index serves the fields: a temporary filter of equality comparisons finds the record.
  std::string text;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string name = "[" + fields[i]->FieldName() + "]";
    if (!text.empty()) text += " and ";
    if (std::holds_alternative<std::monostate>(values[i]))
      text += name + " is null";
    else
      text +=
          name + " = " + FilterConstant(fields[i], values[i], partial && i + 1 == fields.size());
  }
  TFilterOptions filterOptions = partial ? 0u : static_cast<TFilterOptions>(foNoPartialCompare);
  if (options & loCaseInsensitive) filterOptions |= foCaseInsensitive;
  Check(engine->SetToBegin(handle_));
  TFilterListItem* filter = AddExpressionFilter(text, filterOptions, 2);
  uint16_t status = engine->ActivateFilter(handle_, filter);
  if (status == 0) status = engine->GetNextRecord(handle_, dbiNOLOCK, found.data.data(), nullptr);
  engine->DropFilter(handle_, filter);
  if (status == DBIERR_EOF || status == DBIERR_BOF) return false;
  Check(status);
  return true;
}

bool TttBDEDataset::Locate(const std::string& keyFields, const std::vector<TValue>& values,
                           TLocateOptions options) {
  CheckBrowseMode();
  const auto fields = GetFieldList(keyFields);
  if (BeforeScroll) BeforeScroll(this);
  CursorPosChanged();
  TRecordBuffer found;
  if (!LocateRecord(fields, values, options, true, found)) return false;
  ResyncFromStorage(true);
  if (AfterScroll) AfterScroll(this);
  return true;
}

std::vector<TValue> TttBDEDataset::Lookup(const std::string& keyFields,
                                          const std::vector<TValue>& values,
                                          const std::string& resultFields) {
  CheckBrowseMode();
  const auto keys = GetFieldList(keyFields);
  const auto results = GetFieldList(resultFields);
  CursorPosChanged();  // the active row stays; the cursor is put back on it before next use
  std::vector<TValue> answer(results.size());
  TRecordBuffer found;
  if (!LocateRecord(keys, values, 0, false, found)) return answer;
  CalculateFields(found);
  searchBuffer_ = &found;
  try {
    for (std::size_t i = 0; i < results.size(); ++i) answer[i] = results[i]->Value();
  } catch (...) {
    searchBuffer_ = nullptr;
    throw;
  }
  searchBuffer_ = nullptr;
  ClearBlobCache(found);
  return answer;
}

// ---- cached updates ----

void TttBDEDataset::SetCachedUpdates(bool value) {
  if (value == cachedUpdates_) return;
  if (!Active()) {
    cachedUpdates_ = value;
    return;
  }
  CheckBrowseMode();
  TEngineLock lock(DBSession());
  // The row shown stays the current row on the new cursor.
  const TBookmark row = GetBookmark();
  SyncCursor();
  Check(value ? Engine()->BeginDelayedUpdates(handle_) : Engine()->EndDelayedUpdates(handle_));
  cachedUpdates_ = value;
  // The filters and the key buffers belonged to the cursor that was replaced.
  exprFilter_ = funcFilter_ = nullptr;
  pendingFilters_ = true;
  const std::size_t capacity = bookmarkCapacity_;
  ReadCursorProps();
  blobCache_.clear();
  if (bookmarkSize_ > capacity) {
    // The record buffers cannot hold the new bookmarks: open again.
    Close();
    Open();
    if (!row.empty() && BookmarkValid(row)) ResyncFromStorage(true);
    return;
  }
  bookmarkSize_ = std::min(bookmarkSize_, capacity);
  cursorRecord_.assign(RecordBufferSize(), 0);
  InitCursorRecord(handle_, cursorRecord_.data());
  GetIndexInfo();
  AllocKeyBuffers();
  cachedRecord_ = TRecordBuffer{};
  RowsChanged();
  SetupFilters();
  if (row.empty() || !BookmarkValid(row)) Check(Engine()->SetToBegin(handle_));
  ResyncFromStorage(true);
}

void TttBDEDataset::ApplyDelayed(uint32_t command) {
  CheckActive();
  if (!cachedUpdates_) DatabaseError(dbconsts::SNoCachedUpdates, this);
  TEngineLock lock(DBSession());
  Check(Engine()->ApplyDelayedUpdates(handle_, command));
}

void TttBDEDataset::ApplyUpdates() {
  CheckBrowseMode();
  try {
    ApplyDelayed(dbiDelayedUpdPrepare);
  } catch (...) {
    // The changes that were written show as written; the refused ones stay cached.
    blobCache_.clear();
    Resync();
    throw;
  }
  ApplyDelayed(dbiDelayedUpdCommit);
  blobCache_.clear();
  Resync();
}

void TttBDEDataset::CommitUpdates() {
  CheckBrowseMode();
  ApplyDelayed(dbiDelayedUpdCommit);
  Resync();
}

void TttBDEDataset::CancelUpdates() {
  CheckActive();
  if (State() == S::dsEdit || State() == S::dsInsert) Cancel();
  ApplyDelayed(dbiDelayedUpdCancel);
  blobCache_.clear();
  RowsChanged();
  First();
}

// ---- TttDBDataset ----

TttDBDataset::~TttDBDataset() = default;

void TttDBDataset::Unregister() {
  try {
    Close();
  } catch (const std::exception&) {
    // the dataset goes whatever the engine says
  }
  if (database_) {
    database_->RemoveDataSet(this);
    database_ = nullptr;
  }
  dbFlags_ = 0;
}

void TttDBDataset::SetSessionListObject(TttSessionlist* list) {
  sessionList_ = list;
  if (TttSession* session = list ? list->AutoNamedSession(Owner()) : nullptr)
    sessionName_ = session->SessionName();
}

std::string TttDBDataset::TextCodePage() const {
  return database_ ? database_->CodePage() : TttBDEDataset::TextCodePage();
}

TttSession* TttDBDataset::DBSession() const {
  if (database_ && database_->Session()) return database_->Session();
  if (sessionList_)
    if (TttSession* session = sessionList_->FindSession(sessionName_)) return session;
  return DefaultSession();
}

bool TttDBDataset::SetDBFlag(int flag, bool value) {
  const auto bit = static_cast<uint16_t>(1u << flag);
  const bool previous = (dbFlags_ & bit) != 0;
  if (value == previous) return previous;
  if (value) {
    if (dbFlags_ == 0) {
      if (!sessionList_)
        DatabaseError(FormatMessage(dbconsts::SInvalidSessionName, sessionName_), this);
      // A database component of the default session that names this dataset's session moves
      // there first.
      if (!sessionName_.empty() && !databaseName_.empty())
        if (TttSession* named = sessionList_->FindSession(sessionName_);
            named && !named->FindDatabase(databaseName_))
          if (TttSession* fallback = DefaultSession(); fallback && fallback != named)
            if (TttDatabase* database = fallback->FindDatabase(databaseName_);
                database && platform::CompareTextLocale(database->SessionName(), sessionName_) == 0)
              database->AttachTo(named);
      TttSession* session = sessionList_->GetSession(sessionName_);
      database_ = session->AcquireDatabase(databaseName_, Owner());
      database_->AddDataSet(this);
    }
    dbFlags_ |= bit;
  } else {
    dbFlags_ &= static_cast<uint16_t>(~bit);
    if (dbFlags_ == 0 && database_) {
      TttDatabase* database = database_;
      database_ = nullptr;
      database->RemoveDataSet(this);
      if (TttSession* session = database->Session()) session->ReleaseDatabase(database);
    }
  }
  return previous;
}

void TttDBDataset::OpenCursorHandle() {
  SetDBFlag(dbfOpened, true);
  try {
    TttBDEDataset::OpenCursorHandle();
  } catch (...) {
    SetDBFlag(dbfOpened, false);
    throw;
  }
}

void TttDBDataset::CloseCursorHandle() {
  try {
    TttBDEDataset::CloseCursorHandle();
  } catch (...) {
    SetDBFlag(dbfOpened, false);
    throw;
  }
  SetDBFlag(dbfOpened, false);
}

void TttDBDataset::SetDatabaseName(const std::string& value) {
  if (database_) DatabaseError(dbconsts::SDatabaseOpen, this);
  CheckInactive();
  databaseName_ = value;
  DataEvent(TDataEvent::dePropertyChange);
}

void TttDBDataset::SetSessionName(const std::string& value) {
  CheckInactive();
  sessionName_ = value;
  DataEvent(TDataEvent::dePropertyChange);
}

}  // namespace vader
