#include "engine/BseTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "engine/BseErrs.h"
#include "engine/BseUtils.h"

namespace vader {
namespace {

// String resource passed when a table class supplies no field descriptors.
constexpr int kLoadFieldDescResource = 9040;
constexpr int16_t kBlankFlag = -1;
constexpr int32_t kChangedFlag = -1;
constexpr size_t kScratchSize = 256;

template <class T>
T Load(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

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

}  // namespace vader
