#include "engine/BseTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>

#include "engine/BseCache.h"
#include "engine/BseDbase.h"
#include "engine/BseErrs.h"
#include "engine/BseRgtry.h"
#include "engine/BseUtils.h"
#include "framework/Forms.h"
#include "framework/LongWork.h"
#include "platform/Bytes.h"
#include "platform/Registry.h"

namespace vader {
namespace {

// String resource passed when a table class supplies no field descriptors.
constexpr int kLoadFieldDescResource = 9040;
constexpr int16_t kBlankFlag = -1;
constexpr int32_t kChangedFlag = -1;
constexpr size_t kScratchSize = 256;

using platform::Load;

template <class T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

template <class T>
int CompareAs(const void* a, const void* b) {
  return Sign(Load<T>(a), Load<T>(b));
}

int CompareStrings(const void* a, const void* b, uint32_t length, bool caseInsensitive) {
  const auto* s1 = static_cast<const unsigned char*>(a);
  const auto* s2 = static_cast<const unsigned char*>(b);
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c1 = s1[i];
    unsigned char c2 = s2[i];
    if (caseInsensitive) {
      c1 = static_cast<unsigned char>(std::toupper(c1));
      c2 = static_cast<unsigned char>(std::toupper(c2));
    }
    if (c1 != c2) return c1 < c2 ? -1 : 1;
    if (c1 == 0) return 0;
  }
  return 0;
}

bool ReadTruth(const void* p, uint32_t length) {
  switch (length) {
    case 1:
      return Load<uint8_t>(p) != 0;
    case 2:
      return Load<uint16_t>(p) != 0;
    default:
      return Load<uint32_t>(p) != 0;
  }
}

int CompareTruth(const void* a, const void* b, uint32_t length) {
  if (length != 1 && length != 2 && length != 4) return 0;
  return ReadTruth(a, length) == ReadTruth(b, length) ? 0 : 1;
}

// A fixed-width number compared over fewer bytes than its width would be read past the value,
// so such a value is compared as the bytes it has.
template <class T>
int CompareFixed(const void* a, const void* b, uint32_t length) {
  return length >= sizeof(T) ? CompareAs<T>(a, b) : CompareBytes(a, b, length);
}

}  // namespace

// ---- TFieldCacheItem ----

TFieldCacheItem::TFieldCacheItem(const FieldDesc& desc, uint16_t fieldNumber, uint16_t localType,
                                 uint16_t localSize)
    : desc_(desc) {
  desc_.FieldNumber = fieldNumber;
  desc_.LocalType = localType;
  desc_.LocalSize = localSize;
}

TFieldCacheItem& TFieldCacheItem::Create(TVaderFieldCache& cache, const FieldDesc& desc,
                                         uint16_t fieldNumber, uint16_t localType,
                                         uint16_t localSize) {
  cache.items_.push_back(std::unique_ptr<TFieldCacheItem>(
      new TFieldCacheItem(desc, fieldNumber, localType, localSize)));
  return *cache.items_.back();
}

std::string TFieldCacheItem::FieldName() const {
  // A copied descriptor may fill all 32 bytes; the name is never longer than 31 characters.
  return BoundedString(desc_.FieldName).substr(0, kMaxFieldNameLength);
}

void TFieldCacheItem::SetFieldName(std::string_view name) {
  CopyToBuffer(desc_.FieldName, name.substr(0, kMaxFieldNameLength));
}

void TFieldCacheItem::Bind(uint8_t* record) {
  boundRecord_ = record;
  fieldPtr_ = record ? record + desc_.FieldOffset : nullptr;
  nullPtr_ = record && desc_.NullOffset != 0 ? record + desc_.NullOffset : nullptr;
}

bool TFieldCacheItem::IsBlank() const {
  return nullPtr_ != nullptr && Load<int16_t>(nullPtr_) == kBlankFlag;
}

void TFieldCacheItem::SetBlankFlag(bool blank) {
  if (nullPtr_ == nullptr) return;
  const int16_t flag = blank ? kBlankFlag : 0;
  std::memcpy(nullPtr_, &flag, sizeof flag);
}

void TFieldCacheItem::SetChangedFlag(bool changed) {
  if (nullPtr_ == nullptr) return;
  const int32_t flag = changed ? kChangedFlag : 0;
  std::memcpy(nullPtr_ + kChangedFlagOffset, &flag, sizeof flag);
}

// ---- TVaderFieldCache ----

TFieldCacheItem& TVaderFieldCache::GetItem(int n) {
  if (n >= 1 && n <= Count()) return *items_[n - 1];
  // Only the field right after the last one can be appended in its own position; any other
  // number would put a field at the wrong place in the cache.
  if (n < 1 || n != Count() + 1 || table_ == nullptr) RaiseEngineError(DBIERR_INVALIDRECSTRUCT);
  FieldDesc desc{};
  uint16_t localType = 0;
  uint16_t localSize = 0;
  table_->LoadFieldDesc(static_cast<uint16_t>(n), nullptr, desc, localType, localSize);
  return TFieldCacheItem::Create(*this, desc, static_cast<uint16_t>(n), localType, localSize);
}

void TVaderFieldCache::AttachRecord(uint8_t* record) {
  for (auto& item : items_) {
    item->Bind(record);
    item->SetChangedFlag(false);
    item->SetBlankFlag(true);
  }
}

uint16_t TVaderFieldCache::FieldNumberByName(std::string_view name) const {
  for (const auto& item : items_)
    if (SameText(item->FieldName(), name)) return item->FieldNumber();
  return 0;
}

// ---- TBaseTable: construction ----

TBaseTable::TBaseTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
                       const char* openIndexName, const void* /*reserved*/, uint32_t openMode,
                       uint32_t shareMode)
    : TBapiListItem(owner, collection),
      openMode_(openMode),
      shareMode_(shareMode),
      fieldCache_(std::make_unique<TVaderFieldCache>(this)),
      filters_(std::make_unique<TVaderCollection>()),
      pendingTableName_(tableName ? std::optional<std::string>(tableName) : std::nullopt) {
  if (openIndexName != nullptr) CopyToBuffer(openIndexName_, openIndexName);
  // The name goes through SetTableName only in AfterConstruction, where a driver's override
  // can parse it; until then the plain name is kept.
  if (pendingTableName_) CopyToBuffer(tableName_, *pendingTableName_);
}

void TBaseTable::AfterConstruction() {
  if (pendingTableName_) SetTableName(pendingTableName_->c_str());
  pendingTableName_.reset();
  if (const uint32_t size = GetDriverDataSize(); size > 0) {
    driverData_ = std::make_unique<uint8_t[]>(size);  // value-initialised: zero-filled
  }
  CreateHandle();
}

TBaseTable::~TBaseTable() {
  FreeHandle();
  filters_.reset();
  fieldCache_.reset();
  driverData_.reset();
}

void TBaseTable::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (propId & 0xFFFF) {
    case 0: {
      const uint16_t answer = 20;
      PutPropValue(&answer, sizeof answer, value, maxLen, len);
      return;
    }
    case 1:
      len = 0;
      return;
    case 5: {
      const uint32_t answer = 0;
      PutPropValue(&answer, sizeof answer, value, maxLen, len);
      return;
    }
    default:
      TBapiListItem::GetProp(propId, value, maxLen, len);
  }
}

void TBaseTable::SetProp(uint32_t propId, int32_t value) {
  if ((propId & 0xFFFF) == 20)
    state_ = TCursorState::AtCrack;
  else
    TBapiListItem::SetProp(propId, value);
}

void TBaseTable::SetTableName(const char* name) {
  if (name != nullptr) CopyToBuffer(tableName_, name);
}

void TBaseTable::SetFileName(const char* name) {
  const std::string trimmed = name ? BufferToTrimmedString(name, std::strlen(name)) : "";
  CopyToBuffer(fileName_, std::string_view(trimmed).substr(0, kMaxFileNameLength));
}

const KeySegmentInfo& TBaseTable::KeySegment(int n) const {
  CheckCondition(n >= 1 && n <= kKeySegmentCount, DBIERR_INVALIDPARAM);
  return keySegments_[n - 1];
}

KeySegmentInfo& TBaseTable::MutableKeySegment(int n) {
  CheckCondition(n >= 1 && n <= kKeySegmentCount, DBIERR_INVALIDPARAM);
  return keySegments_[n - 1];
}

// ---- TBaseTable: record layout and descriptors ----

uint32_t TBaseTable::GetRecordSize() const { return static_cast<uint16_t>(recordSize_); }

uint32_t TBaseTable::GetRecordBufferSize() {
  uint32_t size = GetRecordSize();
  if (HasNullFlags()) size += kNullIndicatorSize * fieldCache_->Count() + 1;
  return size;
}

void TBaseTable::GetRecordLayout(uint16_t& fieldCount, uint16_t& recordSize) {
  const int count = fieldCache_->Count();
  CheckCondition(count > 0, DBIERR_INVALIDRECSTRUCT);
  if (recordSizeCache_ == 0) {
    uint32_t size = 0;
    for (int n = 1; n <= count; ++n) {
      const FieldDesc& d = fieldCache_->GetItem(n).Desc();
      size = std::max<uint32_t>(size, uint32_t{d.FieldOffset} + d.FieldLength);
    }
    // A descriptor reaching past 64 KB cannot describe a record.
    CheckCondition(size <= 0xFFFF, DBIERR_INVALIDRECSTRUCT);
    recordSizeCache_ = static_cast<uint16_t>(size);
  }
  fieldCount = static_cast<uint16_t>(count);
  recordSize = recordSizeCache_;
}

void TBaseTable::LoadFieldDesc(uint16_t, const void*, FieldDesc&, uint16_t&, uint16_t&) {
  RaiseNotSupported(kLoadFieldDescResource);
}

void TBaseTable::GetFieldDescs(FieldDesc* descs) {
  CheckParam(descs);
  const int count = std::min(fieldCache_->Count(), kMaxFieldDescs);
  for (int n = 1; n <= count; ++n) descs[n - 1] = fieldCache_->GetItem(n).Desc();
}

void TBaseTable::FindFieldDescByPos(uint16_t position, uint16_t length, FieldDesc& desc) {
  const TFieldCacheItem* candidate = nullptr;
  for (int n = 1; n <= fieldCache_->Count(); ++n) {
    const TFieldCacheItem& item = fieldCache_->GetItem(n);
    if (uint32_t{item.Desc().FieldOffset} + 1 != position) continue;
    candidate = &item;
    if (item.FieldLength() == length) break;
  }
  if (candidate == nullptr)
    RaiseEngineErrorContext(DBIERR_INVALIDRECSTRUCT, std::string("Table: ") + GetTableName());
  desc = candidate->Desc();
}

// ---- TBaseTable: field values ----

void TBaseTable::NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t, const uint8_t*, void*,
                               bool& blank) {
  blank = false;
}

void TBaseTable::LocalToNative(uint16_t, uint16_t, int16_t, uint16_t, const void*, uint8_t*) {}

int TBaseTable::CompareValues(uint16_t type, const TFieldCacheItem*, uint32_t length,
                              bool caseInsensitive, const void* value1, const void* value2) {
  switch (type) {
    case fldZSTRING:
      return CompareStrings(value1, value2, length, caseInsensitive);
    case fldBOOL:
      return CompareTruth(value1, value2, length);
    case fldINT16:
      if (length == 1) return CompareAs<int8_t>(value1, value2);
      return length == 2 ? CompareAs<int16_t>(value1, value2) : 0;
    case fldINT32:
      return CompareFixed<int32_t>(value1, value2, length);
    case fldFLOAT:
      return CompareFixed<double>(value1, value2, length);
    case fldTIMESTAMP:
      return CompareFixed<int64_t>(value1, value2, length);
    case fldUINT16:
      if (length == 1) return CompareAs<uint8_t>(value1, value2);
      return length == 2 ? CompareAs<uint16_t>(value1, value2) : 0;
    case fldUINT32:
      return CompareFixed<uint32_t>(value1, value2, length);
    default:
      return CompareBytes(value1, value2, length);
  }
}

void TBaseTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank) {
  CheckParam(record);
  item.Bind(record);
  blank = item.IsBlank();
  if (blank || dest == nullptr) return;
  const FieldDesc& d = item.Desc();
  NativeToLocal(d.LocalType, d.LocalSize, d.FieldUnits2, d.FieldLength, item.FieldPtr(), dest,
                blank);
}

void TBaseTable::PutFieldValue(TFieldCacheItem& item, uint8_t*, const void* src) {
  const FieldDesc& d = item.Desc();
  LocalToNative(d.LocalType, d.LocalSize, d.FieldUnits2, d.FieldLength, src, item.FieldPtr());
}

bool TBaseTable::ProbeBlank(TFieldCacheItem& item, uint8_t* record) {
  // The local form may be wider than the native bytes (a string gets its NUL), so the scratch
  // space covers every size the descriptor names.
  const FieldDesc& d = item.Desc();
  const size_t needed =
      std::max<size_t>({size_t{d.FieldLength}, size_t{d.LocalSize},
                        static_cast<size_t>(std::max<int16_t>(d.FieldUnits1, 0))});
  bool blank = false;
  if (needed < kScratchSize) {
    std::array<uint8_t, kScratchSize> scratch{};
    GetFieldValue(item, record, scratch.data(), blank);
  } else {
    std::vector<uint8_t> scratch(needed + 1);
    GetFieldValue(item, record, scratch.data(), blank);
  }
  return blank;
}

void TBaseTable::GetField(uint16_t n, uint8_t* record, void* dest, bool& blank) {
  CheckParam(record);
  TFieldCacheItem& item = fieldCache_->GetItem(n);
  item.Bind(record);
  if (dest != nullptr) {
    GetFieldValue(item, record, dest, blank);
  } else if (HasNullFlags()) {
    blank = item.IsBlank();
    return;
  } else {
    blank = ProbeBlank(item, record);
  }
  item.SetBlankFlag(blank);
}

void TBaseTable::PutField(uint16_t n, uint8_t* record, const void* src) {
  CheckParam(record);
  TFieldCacheItem& item = fieldCache_->GetItem(n);
  item.Bind(record);
  PutFieldValue(item, record, src);
  item.SetChangedFlag(true);
  item.SetBlankFlag(src == nullptr);
}

void TBaseTable::VerifyField(uint16_t n, uint8_t* record, bool& blank) {
  GetField(n, record, nullptr, blank);
}

void TBaseTable::InitRecord(uint8_t* record) {
  CheckParam(record);
  std::memset(record, 0, GetRecordBufferSize());
  if (HasNullFlags()) fieldCache_->AttachRecord(record);
  SetRecordBuffer(record);
}

// ---- TBaseTable: keys ----

namespace {

// Swaps a field's LocalType for the duration of one comparison of a raw key segment.
class LocalTypeOverride {
 public:
  LocalTypeOverride(TFieldCacheItem& item, bool active, uint16_t type)
      : item_(item), saved_(item.LocalType()), active_(active) {
    if (active_) item_.SetLocalType(type);
  }
  ~LocalTypeOverride() {
    if (active_) item_.SetLocalType(saved_);
  }
  LocalTypeOverride(const LocalTypeOverride&) = delete;
  LocalTypeOverride& operator=(const LocalTypeOverride&) = delete;

 private:
  TFieldCacheItem& item_;
  uint16_t saved_;
  bool active_;
};

}  // namespace

void TBaseTable::CompareKeys(const void* key1, const void* key2, uint16_t fieldCount,
                             uint16_t partialLength, int& result) {
  result = 0;
  CheckParam(key1);
  if (key2 == nullptr) key2 = CheckParam(GetDataBuffer());
  int segments = fieldCount;
  if (fieldCount == 0 && partialLength == 0) segments = currentIndex_.FieldsInKey;
  segments = std::min(segments, kMaxKeyFields);

  const auto* part1 = static_cast<const uint8_t*>(key1);
  const auto* part2 = static_cast<const uint8_t*>(key2);
  size_t offset = 0;
  for (int i = 0; i < segments; ++i) {
    TFieldCacheItem& item = fieldCache_->GetItem(currentIndex_.KeyFields[i]);
    const KeySegmentInfo& segment = keySegments_[i];
    const bool raw = segment.RawPosition != 0;
    uint32_t length = raw ? segment.SegmentLength : item.LocalSize();
    if (partialLength != 0 && i == segments - 1) length = partialLength;
    // A key is at most one key buffer long; segments describing more are malformed.
    CheckCondition(offset + length <= kKeyBufferSize, DBIERR_INVALIDINDEXSTRUCT);

    int r = 0;
    {
      LocalTypeOverride override(item, raw, static_cast<uint16_t>(segment.SegmentType));
      r = CompareValues(item.FieldType(), &item, length, currentIndex_.CaseInsensitive != 0,
                        part1 + offset, part2 + offset);
    }
    offset += length;
    if (r != 0) {
      if (segment.Descending != 0) r = r <= 0 ? 1 : -1;
      result = r;
      return;
    }
  }
}

void TBaseTable::ExtractKeyFields(const uint8_t*, uint8_t*, uint16_t, uint16_t, uint16_t&) {
  RaiseEngineError(DBIERR_NA);
}

void TBaseTable::ExtractKey(const uint8_t* record, uint8_t* key) {
  uint16_t keyLength = 0;
  ExtractKeyFields(record, key, 0, 0, keyLength);
}

void TBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) {
  const void* key1 = CheckParam(GetBookmarkKey(bookmark1));
  const void* key2 = CheckParam(GetBookmarkKey(bookmark2));
  int r = 0;
  CompareKeys(key1, key2, 0, 0, r);
  result = r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// ---- TBaseTable: navigation ----

namespace {

// Puts a value back when the scope ends unless told to keep the new one.
template <class T>
class RestoreOnExit {
 public:
  explicit RestoreOnExit(T& target) : target_(target), saved_(target) {}
  ~RestoreOnExit() {
    if (!keep_) target_ = saved_;
  }
  RestoreOnExit(const RestoreOnExit&) = delete;
  RestoreOnExit& operator=(const RestoreOnExit&) = delete;
  void Keep() { keep_ = true; }

 private:
  T& target_;
  T saved_;
  bool keep_ = false;
};

// Scratch record buffers are handed to drivers as the data buffer; the caller's buffer is put
// back afterwards so that the cursor never keeps a pointer to freed memory.
class DataBufferScope {
 public:
  explicit DataBufferScope(TBaseTable& table) : table_(table), saved_(table.GetDataBuffer()) {}
  ~DataBufferScope() { table_.SetDataBuffer(saved_); }
  DataBufferScope(const DataBufferScope&) = delete;
  DataBufferScope& operator=(const DataBufferScope&) = delete;

 private:
  TBaseTable& table_;
  uint8_t* saved_;
};

std::vector<uint8_t> ZeroedBlock(uint32_t size) { return std::vector<uint8_t>(size ? size : 1); }

}  // namespace

void TBaseTable::SetToBegin() { state_ = TCursorState::AtBegin; }

void TBaseTable::SetToEnd() { state_ = TCursorState::AtEnd; }

void TBaseTable::SetToCursor(TBaseTable* dest) {
  CheckParam(dest);
  // A bookmark of the destination's size is read whole, also where the destination's bookmarks
  // are longer than this cursor's (a cache cursor's carry 4 more bytes, zero for a record of
  // the source).
  std::vector<uint8_t> bookmark = ZeroedBlock(std::max(GetBookmarkSize(), dest->GetBookmarkSize()));
  GetBookMark(bookmark.data());
  dest->SetToBookMark(bookmark.data());
}

void TBaseTable::GetBookMark(void*) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::SetToBookMark(const void*) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::ReadAtBookmark(const void*, uint8_t*, TLockType) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::GetRecordProps(RecordProps*) {}

void TBaseTable::GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  Move(TMoveDirection::Forward, lock, record, props);
}

void TBaseTable::GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  Move(TMoveDirection::Backward, lock, record, props);
}

void TBaseTable::Move(TMoveDirection direction, TLockType lock, uint8_t* record,
                      RecordProps* props) {
  RestoreOnExit<TCursorState> state(state_);
  const bool forward = direction == TMoveDirection::Forward;
  direction_ = direction;
  SetDataBuffer(record);
  switch (state_) {
    case TCursorState::Unpositioned:
      forward ? GoFirstInRange() : GoLastInRange();
      break;
    case TCursorState::AtBegin:
      if (!forward) RaiseBOF();
      GoFirstInRange();
      break;
    case TCursorState::AtEnd:
      if (forward) RaiseEOF();
      GoLastInRange();
      break;
    case TCursorState::OnRecord:
    case TCursorState::AtCrack:
      forward ? NextPhysical() : PriorPhysical();
      break;
    default:
      forward ? RaiseEOF() : RaiseBOF();
  }
  FinishMove(lock, record, props);
  state.Keep();
}

void TBaseTable::FinishMove(TLockType lock, uint8_t* record, RecordProps* props) {
  ApplyRangeAndFilters(record);
  // The cursor is on the record before a locked re-read, which needs a current record.
  state_ = TCursorState::OnRecord;
  if (lock != dbiNOLOCK)
    GetRecord(lock, record, props);
  else
    GetRecordProps(props);
}

void TBaseTable::LockCurrentRecord(TLockType lock, uint8_t* record) {
  std::vector<uint8_t> bookmark = ZeroedBlock(GetBookmarkSize());
  GetBookMark(bookmark.data());
  ReadAtBookmark(bookmark.data(), record, lock);
}

void TBaseTable::GetRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  SetDataBuffer(record);
  switch (state_) {
    case TCursorState::OnRecord:
      return RereadCurrent(lock, record, props);
    case TCursorState::AtBegin:
      RaiseEOF();
    case TCursorState::AtEnd:
      RaiseBOF();
    case TCursorState::AtCrack:
      return ResolveCrack(lock, record, props);
    default:
      RaiseEngineError(DBIERR_NOCURRREC);
  }
}

void TBaseTable::RereadCurrent(TLockType lock, uint8_t* record, RecordProps* props) {
  try {
    LockCurrentRecord(lock, record);
    ApplyRangeAndFilters(record);
  } catch (const EVaderEngineError&) {
    if (!rereadPending_) {
      if (lock == dbiWRITELOCK) RelRecordLock(false);
      throw;
    }
    // The record changed under a pending reread: answer with the first record that passes.
    rereadPending_ = false;
    state_ = TCursorState::Unpositioned;
    GetNextRecord(lock, record, props);
    return;
  }
  GetRecordProps(props);
}

void TBaseTable::ResolveCrack(TLockType lock, uint8_t* record, RecordProps* props) {
  try {
    GetNextRecord(lock, record, props);
    return;
  } catch (const EVaderEngineError&) {
  }
  try {
    GetPriorRecord(lock, record, props);
    return;
  } catch (const EVaderEngineError&) {
  }
  state_ = TCursorState::Unpositioned;
  GetNextRecord(lock, record, props);
}

void TBaseTable::GetRelativeRecord(int32_t offset, TLockType lock, uint8_t* record,
                                   RecordProps* props) {
  CheckCondition(offset != 0, DBIERR_INVALIDPARAM);
  const int64_t steps = offset < 0 ? -int64_t{offset} : int64_t{offset};
  for (int64_t i = 1; i <= steps; ++i) {
    const TLockType stepLock = i == steps ? lock : dbiNOLOCK;
    if (offset > 0)
      GetNextRecord(stepLock, record, props);
    else
      GetPriorRecord(stepLock, record, props);
  }
}

void TBaseTable::GetRecordForKey(bool, uint16_t, uint16_t, const void*, uint8_t*) {
  RaiseEngineError(DBIERR_INVALIDHNDL);
}

void TBaseTable::GetVchkDesc(uint16_t, void*) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::AcqTableLock(TLockType) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::RelTableLock(TLockType) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::RelRecordLock(bool) { ReleaseRecordLocks(); }

void TBaseTable::UndeleteRecord() { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::ForceRecordReread(uint8_t* record) {
  ForceReread();
  GetRecord(dbiNOLOCK, record, nullptr);
}

// ---- TBaseTable: blocks, counting, emptying ----

void TBaseTable::ReadBlock(uint32_t& count, uint8_t* records) {
  const uint32_t wanted = count;
  count = 0;
  CheckParam(records);
  const size_t size = GetRecordBufferSize();
  for (; count < wanted; ++count) GetNextRecord(dbiNOLOCK, records + count * size, nullptr);
}

void TBaseTable::WriteBlock(uint32_t& count, uint8_t* records) {
  const uint32_t wanted = count;
  count = 0;
  CheckParam(records);
  const size_t size = GetRecordBufferSize();
  for (; count < wanted; ++count) InsertRecord(dbiNOLOCK, records + count * size);
}

void TBaseTable::GetRecordCount(uint32_t& n) {
  n = 0;
  DataBufferScope dataBuffer(*this);
  std::vector<uint8_t> record = ZeroedBlock(GetRecordBufferSize());
  std::vector<uint8_t> bookmark = ZeroedBlock(GetBookmarkSize());
  bool marked = true;
  try {
    GetBookMark(bookmark.data());
  } catch (const EVaderEngineError&) {
    marked = false;  // nothing to go back to
  }
  const auto restore = [&] {
    if (marked)
      SetToBookMark(bookmark.data());
    else
      SetToBegin();
  };
  try {
    SetToBegin();
    try {
      for (;;) {
        GetNextRecord(dbiNOLOCK, record.data(), nullptr);
        if (++n % 16 != 0) continue;
        if (!LongWorkRunning()) {
          Application().ProcessMessages();
        } else if (!LongWorkGoesOn(16)) {
          break;  // stopped: the count so far
        }
      }
    } catch (const EVaderBoundryError&) {
    }
  } catch (...) {
    try {
      restore();
    } catch (const EVaderEngineError&) {
    }
    throw;
  }
  restore();
}

void TBaseTable::DeleteRangeOnce() {
  DataBufferScope dataBuffer(*this);
  std::vector<uint8_t> record = ZeroedBlock(GetRecordBufferSize());
  SetDataBuffer(record.data());
  try {
    for (;;) {
      GoFirstInRange();
      // A first record past the end of the range is not the range's to delete.
      if (RangeActive()) CheckRange(record.data());
      DeleteRecord(nullptr);
      Application().ProcessMessages();
    }
  } catch (const EVaderEngineError&) {
  }
}

void TBaseTable::DeleteAllRecords() {
  constexpr int kPasses = 5;
  for (int pass = 0; pass < kPasses; ++pass) {
    DeleteRangeOnce();
    uint32_t remaining = 0;
    GetRecordCount(remaining);
    if (remaining == 0) break;
  }
  SetToBegin();
}

void TBaseTable::EmptyTable() {
  const uint32_t savedShare = shareMode_;
  const bool wasOpen = state_ != TCursorState::Closed;
  if (!wasOpen || savedShare != kShareExclusive) {
    CloseCursor();
    shareMode_ = kShareExclusive;
    OpenCursor();
  }
  CursorProps props{};
  const auto reopen = [&] {
    shareMode_ = savedShare;
    if (!wasOpen) return;
    OpenCursor();
    GetCursorProps(props);
  };
  try {
    GetCursorProps(props);
    DeleteAllRecords();
    shareMode_ = savedShare;
    CloseCursor();
  } catch (...) {
    if (state_ != TCursorState::Closed) CloseCursor();
    reopen();
    throw;
  }
  reopen();
}

void TBaseTable::GetSeqNo(uint32_t&) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::SetToSeqNo(uint32_t) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::GetRecordNo(uint32_t&) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::SetToRecordNo(uint32_t) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::GetCursorProps(CursorProps& props) {
  props = CursorProps{};
  uint16_t fieldCount = 0;
  uint16_t recordSize = 0;
  GetRecordLayout(fieldCount, recordSize);
  props.FieldCount = fieldCount;
  props.RecSize = recordSize;
  props.RecBufSize = HasNullFlags() ? static_cast<uint16_t>(GetRecordBufferSize()) : recordSize;
  props.KeySize = currentIndex_.KeyLength;
  props.BookmarkSize = static_cast<uint16_t>(GetBookmarkSize());
  props.BookmarkStable = Bool16(shareMode_ == kShareExclusive);
  props.CursorOpenMode = openMode_;
  props.CursorShareMode = shareMode_;
  props.SeqNums = -1;
  props.CursorUniDirectional = Bool16(uniDirectional_);
  props.Rights = 0x00FF;
  props.FilterCount = static_cast<uint16_t>(filters_->Count());
}

void TBaseTable::CloneCursor(bool /*readOnly*/, bool uniDirectional, TBaseTable*& newCursor) {
  auto* database = CheckParam(dynamic_cast<TBaseDatabase*>(Owner()));
  database->OpenTable(GetTableName(), nullptr, openIndexName_, nullptr, 0, openMode_, shareMode_, 0,
                      uniDirectional, nullptr, newCursor);
}

// ---- TBaseTable: indexes ----

void TBaseTable::SwitchToIndex(const char*, const char*, uint16_t, bool) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::GetIndexDesc(uint16_t, IndexDesc& desc) {
  desc = IndexDesc{};
  RaiseEngineError(DBIERR_INVALIDHNDL);
}

void TBaseTable::GetIndexDescs(IndexDesc* descs) {
  CursorProps props{};
  GetCursorProps(props);
  if (props.IndexCount == 0) return;
  CheckParam(descs);
  RestoreOnExit<bool> reading(readingIndexList_);
  readingIndexList_ = true;
  for (uint16_t i = 0; i < props.IndexCount; ++i) {
    descs[i] = IndexDesc{};
    GetIndexDesc(i, descs[i]);
  }
  readingIndexList_ = false;
  reading.Keep();
}

void TBaseTable::AddIndex(const IndexDesc&, const char*) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::DeleteIndex(const char*, const char*, uint16_t) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::FindIndexForFields(const char* name, uint16_t& indexNo, char* indexName) {
  CheckParam(name);
  const std::string_view text(name);
  if (text.find('@') == std::string_view::npos) {
    if (indexName != nullptr) CopyBounded(indexName, kMaxFieldNameLength + 1, text);
    return;
  }
  uint16_t fields[kMaxIndexFieldNames] = {};
  int count = 0;
  bool anyKnown = false;
  size_t at = text.find('@');
  while (at != std::string_view::npos && count < kMaxIndexFieldNames) {
    const size_t next = text.find('@', at + 1);
    const std::string_view field = text.substr(at + 1, next == text.npos ? next : next - at - 1);
    fields[count] = fieldCache_->FieldNumberByName(field);
    anyKnown = anyKnown || fields[count] != 0;
    ++count;
    at = next;
  }
  CheckCondition(anyKnown, DBIERR_INVALIDINDEXNAME);
  indexNo = FindIndexByFieldNumbers(fields, count, indexName);
}

uint16_t TBaseTable::FindIndexByFieldNumbers(const uint16_t* fields, int count, char* indexName) {
  IndexDesc desc{};
  for (uint32_t n = 0; n <= 0xFFFF; ++n) {
    GetIndexDesc(static_cast<uint16_t>(n), desc);
    // Compared bytewise: the descriptor is packed, its members may be misaligned.
    bool match = desc.FieldsInKey >= count &&
                 std::memcmp(fields, desc.KeyFields, count * sizeof(uint16_t)) == 0;
    // The key must end with the listed fields; a full list has no entry after it to check.
    if (count < kMaxKeyFields) match = match && desc.KeyFields[count] == 0;
    if (!match) continue;
    if (indexName != nullptr)
      CopyBounded(indexName, kMaxFieldNameLength + 1,
                  BoundedString(desc.IndexName).substr(0, kMaxFieldNameLength));
    return static_cast<uint16_t>(n);
  }
  RaiseEngineError(DBIERR_INVALIDINDEXNAME);
}

// ---- TBaseTable: ranges and key search ----

uint16_t TBaseTable::GetSearchMode(bool inclusive, bool isStart) const {
  if (isStart) return inclusive ? keySEARCHGEQ : keySEARCHGT;
  return inclusive ? keySEARCHLEQ : keySEARCHLT;
}

void TBaseTable::CheckRange(const uint8_t* record) {
  if (!RangeActive()) return;
  uint8_t key[kKeyBufferSize] = {};
  uint16_t length = 0;
  int r = 0;
  if (rangeStart_.Active) {
    ExtractKeyFields(record, key, rangeStart_.FieldCount, rangeStart_.PartialLength, length);
    CompareKeys(key, rangeStart_.Key, rangeStart_.FieldCount, rangeStart_.PartialLength, r);
    if (r < 0 || (r == 0 && !rangeStart_.Inclusive)) RaiseBOF();
  }
  if (rangeEnd_.Active) {
    if (!rangeSameShape_) {
      std::memset(key, 0, sizeof key);
      ExtractKeyFields(record, key, rangeEnd_.FieldCount, rangeEnd_.PartialLength, length);
    }
    CompareKeys(key, rangeEnd_.Key, rangeEnd_.FieldCount, rangeEnd_.PartialLength, r);
    if (r > 0 || (r == 0 && !rangeEnd_.Inclusive)) RaiseEOF();
  }
}

// A search past a bound on the leading fields of a longer key is made with the key's other
// fields at their lowest (start) or highest (end) values, so it can land on records whose
// leading fields still equal the bound; those are stepped over.
void TBaseTable::GoFirstInRange() {
  FindFilterBounds();
  const RangeBound& start = rangeStart_.Active ? rangeStart_ : filterLow_;
  if (!start.Active) return FirstPhysical();
  SeekKey(GetSearchMode(start.Inclusive, true), start.KeyIsPacked, start.FieldCount,
          start.PartialLength, start.KeyPtr, GetDataBuffer());
  if (!start.Inclusive) SkipBoundEquals(start, TMoveDirection::Forward);
}

void TBaseTable::GoLastInRange() {
  FindFilterBounds();
  const RangeBound& end = rangeEnd_.Active ? rangeEnd_ : filterHigh_;
  if (!end.Active) return LastPhysical();
  SeekKey(GetSearchMode(end.Inclusive, false), end.KeyIsPacked, end.FieldCount, end.PartialLength,
          end.KeyPtr, GetDataBuffer());
  if (!end.Inclusive) SkipBoundEquals(end, TMoveDirection::Backward);
}

void TBaseTable::SkipBoundEquals(const RangeBound& bound, TMoveDirection direction) {
  const uint8_t* record = GetDataBuffer();
  if (record == nullptr) return;
  for (;;) {
    uint8_t key[kKeyBufferSize] = {};
    uint16_t length = 0;
    int r = 0;
    ExtractKeyFields(record, key, bound.FieldCount, bound.PartialLength, length);
    CompareKeys(key, bound.Key, bound.FieldCount, bound.PartialLength, r);
    if (r != 0) return;
    direction == TMoveDirection::Forward ? NextPhysical() : PriorPhysical();
  }
}

void TBaseTable::ApplyRangeAndFilters(uint8_t* record) {
  if (record == nullptr) return;
  CheckRange(record);
  // Records passed over are counted for the long work they may be part of; once the person
  // stops it, the cursor is at the end as if no further record passed.
  constexpr unsigned kStep = 256;
  unsigned passedOver = 0;
  if (filtersActive_) FindFilterBounds();
  while (filtersActive_ && !RecordPassesFilters(record)) {
    if (PastFilterBound(record)) {
      if (direction_ == TMoveDirection::Backward) RaiseBOF();
      RaiseEOF();
    }
    if (++passedOver % kStep == 0 && !LongWorkGoesOn(kStep)) {
      if (direction_ == TMoveDirection::Backward) RaiseBOF();
      RaiseEOF();
    }
    SetDataBuffer(record);
    if (direction_ == TMoveDirection::Backward)
      PriorPhysical();
    else
      NextPhysical();
    CheckRange(record);
  }
}

void TBaseTable::FindFilterBounds() {
  filterLow_.Active = false;
  filterHigh_.Active = false;
  uint16_t field = 0;
  if (!FilterBoundsApply(field)) return;
  FilterFieldInterval interval;
  for (int i = 0; i < filters_->Count(); ++i) {
    const TFilterListItem* filter = FilterAt(i);
    if (filter->Active() && filter->Expression() != nullptr)
      NarrowByFilterExpression(*this, filter->Expression(), filter->ExpressionSize(), field,
                               interval);
  }

  MakeFilterBound(filterLow_, filterLowRecord_, field, interval.Low, interval.LowInclusive);
  MakeFilterBound(filterHigh_, filterHighRecord_, field, interval.High, interval.HighInclusive);
}

// Integer fields on an ascending leading segment sort in number order, as the filters compare
// them. Null values and other types (collations, letter case, float rounding) could sort
// otherwise, and so could drivers whose seeks do not follow the key order (cached edits merged
// into the walk, say); they keep the full walk.
bool TBaseTable::FilterBoundsApply(uint16_t& field) {
  const IndexDesc& index = currentIndex_;
  if (!filtersActive_ || index.FieldsInKey == 0 || index.ExpressionIndex != 0 ||
      index.Descending != 0 || index.DescendingFields[0] != 0 || KeySegment(1).Descending != 0 ||
      HasNullFlags() || !SeeksInKeyOrder())
    return false;
  field = index.KeyFields[0];
  if (field == 0 || field > fieldCache_->Count()) return false;
  // The segment must hold the whole field as the field's own type: a part of it, or the same
  // bytes read as another type (signed as unsigned, say), sorts in another order.
  const uint16_t type = fieldCache_->GetItem(field).Desc().FieldType;
  const KeySegmentInfo& segment = KeySegment(1);
  if (segment.RawPosition != 0 || segment.SegmentType != type) return false;
  switch (type) {
    case fldINT16:
    case fldUINT16:
    case fldINT32:
    case fldUINT32:
    case fldINT64:
    case fldUINT64:
      return true;
    default:
      return false;
  }
}

namespace {

// `value` in the field's local integer type; nothing when it is not a whole number in range.
template <class T>
bool StoreWhole(long double value, uint8_t* out) {
  if (!(value >= static_cast<long double>(std::numeric_limits<T>::min()) &&
        value <= static_cast<long double>(std::numeric_limits<T>::max())))
    return false;
  const T whole = static_cast<T>(value);
  if (static_cast<long double>(whole) != value) return false;
  std::memcpy(out, &whole, sizeof whole);
  return true;
}

bool StoreInteger(uint16_t type, long double value, uint8_t* out) {
  switch (type) {
    case fldINT16:
      return StoreWhole<int16_t>(value, out);
    case fldUINT16:
      return StoreWhole<uint16_t>(value, out);
    case fldINT32:
      return StoreWhole<int32_t>(value, out);
    case fldUINT32:
      return StoreWhole<uint32_t>(value, out);
    case fldINT64:
      return StoreWhole<int64_t>(value, out);
    case fldUINT64:
      return StoreWhole<uint64_t>(value, out);
    default:
      return false;
  }
}

}  // namespace

void TBaseTable::MakeFilterBound(RangeBound& bound, std::vector<uint8_t>& record, uint16_t field,
                                 const std::optional<long double>& value, bool inclusive) {
  bound.Active = false;
  if (!value) return;
  TFieldCacheItem& item = fieldCache_->GetItem(field);
  uint8_t number[sizeof(uint64_t)] = {};
  if (!StoreInteger(item.Desc().FieldType, *value, number)) return;
  record.assign(GetRecordBufferSize() + 1, 0);
  try {
    item.Bind(record.data());
    PutFieldValue(item, record.data(), number);
    item.Bind(nullptr);
    FillBound(bound, false, 1, 0, record.data(), inclusive);
  } catch (const EVaderEngineError&) {
    item.Bind(nullptr);
    bound.Active = false;
  }
}

bool TBaseTable::PastFilterBound(const uint8_t* record) {
  const bool forward = direction_ != TMoveDirection::Backward;
  const RangeBound& bound = forward ? filterHigh_ : filterLow_;
  if (!bound.Active) return false;
  uint8_t key[kKeyBufferSize] = {};
  uint16_t length = 0;
  int r = 0;
  ExtractKeyFields(record, key, 1, 0, length);
  CompareKeys(key, bound.Key, 1, 0, r);
  if (forward) return r > 0 || (r == 0 && !bound.Inclusive);
  return r < 0 || (r == 0 && !bound.Inclusive);
}

bool TBaseTable::RecordPassesFilters(uint8_t* record) {
  if (!filtersActive_) return true;
  for (int i = 0; i < filters_->Count(); ++i) {
    TFilterListItem* filter = FilterAt(i);
    if (filter->Active() && !filter->TestRecord(record)) return false;
  }
  return true;
}

void TBaseTable::ResetRange() {
  rangeStart_.Active = false;
  rangeEnd_.Active = false;
  rangeSameShape_ = false;
}

void TBaseTable::SetRange(bool keyIsPacked, uint16_t fieldCount1, uint16_t partialLength1,
                          const void* key1, bool inclusive1, uint16_t fieldCount2,
                          uint16_t partialLength2, const void* key2, bool inclusive2) {
  ResetRange();
  FillBound(rangeStart_, keyIsPacked, fieldCount1, partialLength1, key1, inclusive1);
  FillBound(rangeEnd_, keyIsPacked, fieldCount2, partialLength2, key2, inclusive2);
  rangeSameShape_ = rangeStart_.Active && rangeEnd_.Active &&
                    rangeStart_.FieldCount == rangeEnd_.FieldCount &&
                    rangeStart_.PartialLength == rangeEnd_.PartialLength;
}

void TBaseTable::FillBound(RangeBound& bound, bool keyIsPacked, uint16_t fieldCount,
                           uint16_t partialLength, const void* key, bool inclusive) {
  bound = RangeBound{};
  bound.KeyIsPacked = keyIsPacked;
  bound.Active = key != nullptr;
  bound.FieldCount = fieldCount;
  bound.PartialLength = partialLength;
  bound.Inclusive = inclusive;
  if (keyIsPacked) {
    bound.KeyPtr = bound.Key;
    const size_t length = std::min<size_t>(currentIndex_.KeyLength, kKeyBufferSize);
    if (key != nullptr) std::memcpy(bound.Key, key, length);
    if (bound.Active && bound.FieldCount == 0) CountPackedFields(bound);
    return;
  }
  bound.KeyPtr = static_cast<const uint8_t*>(key);
  if (!bound.Active) return;
  try {
    uint16_t length = 0;
    ExtractKeyFields(bound.KeyPtr, bound.Key, fieldCount, partialLength, length);
  } catch (const EVaderEngineError&) {
    bound.Active = false;  // the range stays open on this side
  }
}

void TBaseTable::CountPackedFields(RangeBound& bound) {
  const int fields = std::min<int>(currentIndex_.FieldsInKey, kMaxKeyFields);
  bound.FieldCount = static_cast<uint16_t>(fields);
  size_t position = 0;
  for (int i = 0; i < fields && position < kKeyBufferSize; ++i) {
    TFieldCacheItem& item = fieldCache_->GetItem(currentIndex_.KeyFields[i]);
    const bool blank = PackedKeyFieldBlank(item, bound.Key + position, kKeyBufferSize - position);
    position += item.LocalSize();
    if (!blank) continue;
    if (--bound.FieldCount == 0) {
      bound.Active = false;
      return;
    }
  }
}

bool TBaseTable::PackedKeyFieldBlank(TFieldCacheItem& item, const uint8_t* keyPart,
                                     size_t available) {
  // The key part is read as the field of a scratch record: the field's bytes at its offset and
  // no null indicator set.
  const FieldDesc& d = item.Desc();
  const size_t size =
      std::max<size_t>(GetRecordBufferSize(), size_t{d.FieldOffset} + d.FieldLength);
  std::vector<uint8_t> record(size + 1);
  const size_t length = std::min({size_t{item.LocalSize()}, size_t{d.FieldLength}, available});
  std::memcpy(record.data() + d.FieldOffset, keyPart, length);
  const bool blank = ProbeBlank(item, record.data());
  item.Bind(nullptr);
  return blank;
}

void TBaseTable::SeekKey(uint16_t, bool, uint16_t, uint16_t, const void*, uint8_t*) {
  RaiseEngineError(DBIERR_NA);
}

void TBaseTable::SetToKey(uint16_t condition, bool directKey, uint16_t fieldCount,
                          uint16_t partialLength, const void* key) {
  uint16_t mode = keySEARCHEQ;
  if (condition == keyCONDGT) mode = keySEARCHGT;
  if (condition == keyCONDGEQ) mode = keySEARCHGEQ;
  DataBufferScope dataBuffer(*this);
  std::vector<uint8_t> record = ZeroedBlock(GetRecordBufferSize());
  try {
    SeekKey(mode, directKey, fieldCount, partialLength, key, record.data());
  } catch (const EVaderEngineError&) {
    if (condition == keyCONDEQ) throw;
    // Nothing at or after the key: the cursor is at the end, with no record to check.
    SetToEnd();
    return;
  }
  direction_ = TMoveDirection::Forward;
  ApplyRangeAndFilters(record.data());
}

// ---- TBaseTable: filters ----

TFilterListItem* TBaseTable::FilterAt(int index) const {
  return static_cast<TFilterListItem*>(filters_->At(index));
}

int TBaseTable::CheckFilter(TFilterListItem* filter) const {
  const int index = filters_->IndexOf(filter);
  CheckCondition(index >= 0, DBIERR_NOSUCHFILTER);
  return index;
}

void TBaseTable::UpdateFilterState() {
  filtersActive_ = false;
  for (int i = 0; i < filters_->Count(); ++i)
    filtersActive_ = filtersActive_ || FilterAt(i)->Active();
}

void TBaseTable::AddFilter(uintptr_t clientData, uint16_t priority, bool canAbort,
                           const void* expression, TFilterProc callback, TFilterListItem*& filter) {
  filter = new TFilterListItem(this, clientData, priority, canAbort, expression, callback);
  UpdateFilterState();
}

void TBaseTable::DropFilter(TFilterListItem* filter) {
  if (filter == nullptr) {
    filters_->FreeAll();
    return;
  }
  if (filters_->IndexOf(filter) < 0) return;
  delete filter;  // leaves the list on its own
  UpdateFilterState();
}

void TBaseTable::ActivateFilter(TFilterListItem* filter) {
  if (filter != nullptr) {
    CheckFilter(filter);
    filter->SetActive(true);
    filtersActive_ = true;
    return;
  }
  for (int i = 0; i < filters_->Count(); ++i) FilterAt(i)->SetActive(true);
  if (filters_->Count() > 0) filtersActive_ = true;
}

void TBaseTable::DeactivateFilter(TFilterListItem* filter) {
  if (filter == nullptr) {
    for (int i = 0; i < filters_->Count(); ++i) FilterAt(i)->SetActive(false);
    filtersActive_ = false;
    return;
  }
  CheckFilter(filter);
  filter->SetActive(false);
  UpdateFilterState();
}

void TBaseTable::GetFilterInfo(TFilterListItem* filter, FilterInfo& info) {
  info = FilterInfo{};
  const int position = filter == nullptr ? 0 : filters_->IndexOf(filter);
  if (TFilterListItem* found = FilterAt(position)) {
    found->FillFilterInfo(static_cast<uint16_t>(position), info);
  }
}

// ---- TBaseTable: operations left to other cursor classes ----

void TBaseTable::BeginDelayedUpdates(TBaseTable*& cursor) {
  cursor = TBaseTable::Create<TBaseCacheTable>(this);
}

void TBaseTable::EndDelayedUpdates(TBaseTable*&) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::ApplyDelayedUpdates(uint32_t) { RaiseNotSupported(kCursorNotSupportedResource); }

void TBaseTable::OpenBlob(uint8_t*, uint16_t, uint32_t) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::GetBlobSize(uint8_t*, uint16_t, uint32_t&) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::GetBlob(uint8_t*, uint16_t, uint32_t, uint32_t, void*, uint32_t&) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::PutBlob(uint8_t*, uint16_t, uint32_t, uint32_t, const void*) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

void TBaseTable::TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) {
  PutBlob(record, field, 0, length, nullptr);
}

void TBaseTable::RegisterCallBack(uint32_t, uintptr_t, uint16_t, void*, void*) {
  RaiseNotSupported(kCursorNotSupportedResource);
}

}  // namespace vader

namespace vader {

// ---- TBaseListTable ----

TBaseListTable::TBaseListTable(TBapiListItem* database, TVaderCollection* collection,
                               const void* items, uint16_t count, uint16_t recordSize)
    : TBaseTable(database, collection, nullptr, nullptr, nullptr, kOpenReadOnly, kShareShared),
      pendingItems_(items),
      itemCount_(items != nullptr ? count : 0) {
  SetRecordSize(static_cast<int16_t>(recordSize));
}

void TBaseListTable::AfterConstruction() {
  TBaseTable::AfterConstruction();
  // The copy takes the record size of the finished object, which a descendant may name.
  const size_t size = size_t{itemCount_} * GetRecordBufferSize();
  const auto* items = static_cast<const uint8_t*>(pendingItems_);
  if (items != nullptr) itemBuffer_.assign(items, items + size);
  pendingItems_ = nullptr;
  SetToBegin();
}

void TBaseListTable::SetToBegin() {
  TBaseTable::SetToBegin();
  nextItem_ = 0;
}

void TBaseListTable::GetNextRecord(TLockType, uint8_t* record, RecordProps*) {
  if (nextItem_ >= itemCount_) RaiseEOF();
  const size_t size = GetRecordBufferSize();
  std::memcpy(CheckParam(record), itemBuffer_.data() + size_t{nextItem_} * size, size);
  ++nextItem_;
}

// ---- TBaseCfgrecord ----

TBaseCfgrecord::TBaseCfgrecord(TBapiListItem* session, TVaderCollection* collection,
                               std::string path, int32_t count, const FieldDesc* descs,
                               const void* values)
    : TBapiListItem(session, collection), path_(std::move(path)) {
  SetFields(count, descs, values);
}

TBaseCfgrecord::~TBaseCfgrecord() { SetFields(0, nullptr, nullptr); }

size_t TBaseCfgrecord::ValuesSize() const {
  size_t size = 0;
  for (const FieldDesc& d : fieldDescs_) size += d.FieldLength;
  return size;
}

void TBaseCfgrecord::SetFields(int32_t count, const FieldDesc* descs, const void* values) {
  fieldDescs_.clear();
  values_.clear();
  if (count < 1 || descs == nullptr) return;
  fieldDescs_.assign(descs, descs + count);
  const auto* bytes = static_cast<const uint8_t*>(values);
  if (bytes != nullptr) values_.assign(bytes, bytes + ValuesSize());
}

namespace {

// The NUL-terminated text at `p`, reading no more than `size` bytes.
std::string BoundedText(const char* p, size_t size) { return std::string(p, strnlen(p, size)); }

}  // namespace

std::string TBaseCfgrecord::TextValue(std::initializer_list<std::string_view> names) const {
  for (const FieldDesc& d : fieldDescs_) {
    const std::string name = BoundedText(d.FieldName, sizeof d.FieldName);
    if (std::find(names.begin(), names.end(), name) == names.end()) continue;
    // A value placed outside the value buffer reads as empty.
    if (size_t{d.FieldOffset} + d.FieldLength > values_.size()) return {};
    return BoundedText(reinterpret_cast<const char*>(values_.data()) + d.FieldOffset,
                       d.FieldLength);
  }
  return {};
}

// ---- TBaseDBListTable ----

TBaseDBListTable::TBaseDBListTable(TBapiListItem* session, TVaderCollection* collection,
                                   TVaderCollection* cfgRecords, const char* driverName,
                                   const void* registryRef)
    : TBaseTable(session, collection, driverName, nullptr, nullptr, kOpenReadOnly, kShareExclusive),
      registryRef_(registryRef),
      cfgRecords_(cfgRecords) {
  if (driverName != nullptr) CopyToBuffer(driverName_, driverName);
}

TBaseDBListTable::~TBaseDBListTable() { TBaseDBListTable::FreeHandle(); }

uint32_t TBaseDBListTable::GetRecordSize() const { return sizeof(DatabaseDesc); }

void TBaseDBListTable::NextConfigDatabase(uint8_t* record) {
  DatabaseDesc desc{};
  const TBaseCfgrecord* found = nullptr;
  while (found == nullptr && cfgRecords_ != nullptr && cfgIndex_ < cfgRecords_->Count()) {
    const auto* cfg = dynamic_cast<const TBaseCfgrecord*>(cfgRecords_->At(cfgIndex_++));
    if (cfg != nullptr && cfg->Path().find("DB INFO") != std::string::npos) found = cfg;
  }
  std::memcpy(CheckParam(record), &desc, sizeof desc);
  if (found == nullptr) RaiseEOF();
  // The path reads "\DATABASES\<name>\DB INFO".
  constexpr size_t kNameStart = 11;
  const std::string& path = found->Path();
  const std::string name = path.size() > kNameStart ? path.substr(kNameStart) : std::string();
  CopyToBuffer(desc.DbName, std::string_view(name).substr(0, name.find('\\')));
  CopyToBuffer(desc.PhysicalPath, found->TextValue({"PATH", "PhysicalName"}));
  CopyToBuffer(desc.DbType, driverName_);
  std::memcpy(record, &desc, sizeof desc);
}

void TBaseDBListTable::GetNextRecord(TLockType, uint8_t* record, RecordProps*) {
  NextConfigDatabase(record);
}

}  // namespace vader

namespace vader {

// ---- TRegDBListTable ----

TRegDBListTable::TRegDBListTable(TBapiListItem* session, TVaderCollection* collection,
                                 TVaderCollection* cfgRecords, const char* driverName,
                                 const void* registryRef)
    : TBaseDBListTable(session, collection, cfgRecords, driverName, registryRef) {}

TRegDBListTable::~TRegDBListTable() { TRegDBListTable::CloseCursor(); }

std::string TRegDBListTable::AliasesPath() const {
  const auto* location = static_cast<const RegistryLocation*>(RegistryRef());
  // Made absolute, so that it does not depend on the key the registry object has open.
  std::string path = BoundedText(location->Path, sizeof location->Path);
  if (path.empty() || path.front() != '\\') path.insert(path.begin(), '\\');
  return path + "\\Aliases";
}

void TRegDBListTable::OpenCursor() {
  regIndex_ = 0;
  ResetConfigWalk();
  keyNames_.clear();
  const auto* location = static_cast<const RegistryLocation*>(RegistryRef());
  if (location == nullptr) RaiseEngineError(DBIERR_NOSUCHTABLE);
  registry_ = std::make_unique<TRightsRegistry>();
  registry_->SetRootKey(location->Root);
  registry_->Access = platform::KEY_READ;
  // A missing "Aliases" key simply gives no registry entries.
  if (registry_->OpenKey(AliasesPath(), false)) keyNames_ = registry_->GetKeyNames();
  state_ = TCursorState::Unpositioned;
}

void TRegDBListTable::CloseCursor() {
  if (state_ == TCursorState::Closed) return;
  state_ = TCursorState::Closed;
  registry_.reset();
}

bool TRegDBListTable::ReadAlias(const std::string& name, uint8_t* record) const {
  if (!registry_ || !registry_->OpenKey(AliasesPath() + "\\" + name, false)) return false;
  DatabaseDesc desc{};
  CopyToBuffer(desc.DbName, name);
  // Values of another kind read as absent.
  auto text = [&](const char* value) {
    return registry_->GetDataType(value) == TRegDataType::rdString ? registry_->ReadString(value)
                                                                   : std::string();
  };
  CopyToBuffer(desc.DbText, text("Description"));
  std::string path = text("PhysicalName");
  if (!path.empty() && path.back() != '\\') path += '\\';
  CopyToBuffer(desc.PhysicalPath, path);
  CopyToBuffer(desc.DbType, DriverName());
  std::memcpy(record, &desc, sizeof desc);
  return true;
}

void TRegDBListTable::GetNextRecord(TLockType, uint8_t* record, RecordProps*) {
  CheckParam(record);
  if (regIndex_ == 0) {
    try {
      NextConfigDatabase(record);
      return;
    } catch (const EVaderEOFError&) {
      // The configuration databases are done; the registry aliases follow.
    }
  }
  if (!registry_ || regIndex_ >= static_cast<int32_t>(keyNames_.size())) RaiseEOF();
  std::memset(record, 0, sizeof(DatabaseDesc));
  // An alias whose key disappeared since the cursor was opened ends the list.
  if (!ReadAlias(keyNames_[regIndex_], record)) RaiseEOF();
  ++regIndex_;
}

}  // namespace vader
