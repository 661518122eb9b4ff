#include "btrieve/BtrTable.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrSess.h"
#include "engine/BseDbase.h"
#include "engine/BseUtils.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr int16_t B_KEY_VALUE_NOT_FOUND = 4;
constexpr int16_t B_INVALID_KEYNUMBER = 6;
constexpr int16_t B_FILE_IN_USE = 85;
constexpr uint16_t kKeyFlagDuplicates = 0x01;
constexpr uint16_t kKeyFlagModifiable = 0x02;
constexpr uint16_t kKeyFlagDescending = 0x40;
constexpr uint16_t kKeyFlagExtendedType = 0x100;
constexpr uint16_t kKeyFlagCaseInsensitive = 0x400;
constexpr int kStatSegmentCount = 119;
constexpr size_t kAcsTranslationOffset = 9;
// Room for any field's local value: the widest native field plus its NUL, and at least 8.
constexpr size_t kLocalScratchSize = 0x10000 + 8;
constexpr size_t kBlobLocalSize = 255;

bool IsBlobSubType(uint16_t subType) {
  return subType == fldstMEMO || subType == fldstBINARY || subType == fldstGRAPHIC;
}

// The value of option `keyword` in `name`, up to the next ";" or the end; nullopt when absent.
std::optional<std::string> OptionValue(const std::string& name, const std::string& upper,
                                       const char* keyword) {
  const size_t at = upper.find(keyword);
  if (at == std::string::npos) return std::nullopt;
  const size_t start = at + std::strlen(keyword);
  const size_t end = name.find(';', start);
  return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

KeySegmentSpec SegmentAt(const uint8_t* stat, int index) {
  KeySegmentSpec keySpec;
  std::memcpy(&keySpec, stat + sizeof(StatFileSpec) + index * sizeof(KeySegmentSpec), sizeof keySpec);
  return keySpec;
}

// A Drop Index that leaves the numbers of the other keys as they are.
constexpr int8_t kDropKeepingNumbers = static_cast<int8_t>(0x80);

// The numbers of the keys of an open file, each from its key's first segment.
std::vector<uint8_t> KeyNumbers(TWinBtr& btr) {
  uint8_t stat[kStatAreaSize];
  btr.GetStat(stat);
  const int keyCount = stat[offsetof(StatFileSpec, KeyCount)];
  std::vector<uint8_t> numbers;
  bool keyStarts = true;
  for (int s = 0; s < kStatSegmentCount && static_cast<int>(numbers.size()) < keyCount; ++s) {
    const KeySegmentSpec keySpec = SegmentAt(stat, s);
    if (keyStarts) numbers.push_back(keySpec.ManualKeyNumber);
    keyStarts = (keySpec.Flags & kKeyFlagSegmented) == 0;
  }
  return numbers;
}

// The number of the key a Create Index added: the one `after` has and `before` had not.
uint8_t AddedKeyNumber(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                       uint16_t requested) {
  for (uint8_t number : after)
    if (std::find(before.begin(), before.end(), number) == before.end()) return number;
  return static_cast<uint8_t>(requested);
}

// The FILE.DDF entry of `table` (zero when the dictionary has none).
DictionaryFile DictionaryEntry(const TBtrTable& table) {
  DictionaryFile entry{};
  std::memcpy(&entry, table.FileRecord(), sizeof entry);
  return entry;
}

// The database whose dictionary lists the keys of `table`; nullptr for a table without
// dictionary entries (opened by a file name the dictionary does not know, or described by a
// resource).
TBtrDatabase* DictionaryDatabase(TBtrTable& table) {
  auto* db = dynamic_cast<TBtrDatabase*>(table.Owner());
  return db != nullptr && !table.HasResource() && DictionaryEntry(table).TableId != 0 ? db
                                                                                      : nullptr;
}

// The INDEX.DDF parts of an index over the key fields of `desc`, with the flags its key gets.
std::vector<TIndexEntryPart> IndexEntryParts(TBtrTable& table, TBtrDatabase& db,
                                             const IndexDesc& desc, int count) {
  const std::vector<DictionaryField> fields =
      db.FieldEntries(table.GetTableName(), DictionaryEntry(table));
  uint16_t flags = tools::kIndexModifiable;
  if (desc.Unique == 0) flags |= tools::kIndexDuplicates;
  if (desc.Descending != 0) flags |= tools::kIndexDescending;
  if (desc.CaseInsensitive != 0) flags |= tools::kIndexNoCase;
  std::vector<TIndexEntryPart> parts;
  for (int i = 0; i < count; ++i) {
    const size_t field = desc.KeyFields[i];
    if (field < 1 || field > fields.size()) RaiseEngineError(DBIERR_INVALIDINDEXSTRUCT);
    parts.push_back({fields[field - 1].FieldId, flags});
  }
  return parts;
}

template <class T>
void PutValue(uint8_t* dest, size_t length, T value) {
  std::memcpy(dest, &value, std::min(length, sizeof value));
}

// The lowest or highest native value a key segment of `type` and `length` can hold.
void FillExtreme(uint8_t* dest, uint16_t type, size_t length, bool high) {
  std::memset(dest, high ? 0xFF : 0x00, length);
  switch (type) {
    case fldINT16:
      if (length == 1) return PutValue<int8_t>(dest, length, high ? INT8_MAX : INT8_MIN);
      return PutValue<int16_t>(dest, length, high ? INT16_MAX : INT16_MIN);
    case fldINT32:
      return PutValue<int32_t>(dest, length, high ? INT32_MAX : INT32_MIN + 1);
    case fldINT64:
      return PutValue<int64_t>(dest, length, high ? INT64_MAX : INT64_MIN);
    case fldFLOAT:
      // The most negative value sorts at or below every stored key.
      if (length == 4) return PutValue<float>(dest, length, high ? FLT_MAX : -FLT_MAX);
      return PutValue<double>(dest, length, high ? 1.7e308 : -DBL_MAX);
    default:
      return;
  }
}

// Puts the data buffer back when it goes out of scope.
class DataBufferGuard {
 public:
  DataBufferGuard(TBaseTable& table, uint8_t* saved) : table_(table), saved_(saved) {}
  ~DataBufferGuard() { table_.SetDataBuffer(saved_); }
  DataBufferGuard(const DataBufferGuard&) = delete;
  DataBufferGuard& operator=(const DataBufferGuard&) = delete;

 private:
  TBaseTable& table_;
  uint8_t* saved_;
};

}  // namespace

std::optional<std::string> TableNameOption(std::string_view name, const char* keyword) {
  const std::string text(name);
  return OptionValue(text, platform::AsciiUpperCase(text), keyword);
}

// ---- TBtrBaseTable ----

TBtrBaseTable::TBtrBaseTable(TBapiListItem* owner, TVaderCollection* collection,
                             const char* tableName, const char* openIndexName, uint32_t openMode,
                             uint32_t shareMode, const uint8_t* clientId)
    : TBaseTable(owner, collection, tableName, openIndexName, nullptr, openMode, shareMode),
      clientId_(clientId) {}

TBtrBaseTable::~TBtrBaseTable() = default;

void TBtrBaseTable::SetTableName(const char* name) {
  if (name == nullptr) return;
  const std::string text(name);
  const std::string upper = platform::AsciiUpperCase(text);
  if (auto owner = OptionValue(text, upper, ";OWNER:"))
    CopyToBuffer(ownerName_, std::string_view(*owner).substr(0, kMaxOwnerNameLength));
  if (auto resource = OptionValue(text, upper, ";RES:")) {
    hasResource_ = true;
    CopyToBuffer(resourceName_, *resource);
  }
  TBaseTable::SetTableName(text.substr(0, text.find(';')).c_str());
}

void TBtrBaseTable::CloneCursor(bool /*readOnly*/, bool uniDirectional, TBaseTable*& newCursor) {
  auto* database = CheckParam(dynamic_cast<TBaseDatabase*>(Owner()));
  std::string name = GetTableName();
  if (hasResource_) name += std::string(";RES:") + resourceName_;
  if (ownerName_[0] != '\0') name += std::string(";OWNER:") + ownerName_;
  database->OpenTable(name.c_str(), nullptr, OpenIndexName(), nullptr, 0, OpenMode(), ShareMode(),
                      0, uniDirectional, nullptr, newCursor);
  CursorProps props{};
  CheckParam(newCursor)->GetCursorProps(props);
}

void TBtrBaseTable::NativeToLocal(uint16_t localType, uint16_t localSize, int16_t units2,
                                  uint16_t length, const uint8_t* src, void* dest, bool& blank) {
  ConvertNativeToLocal(localType, localSize, units2, length, src, dest, blank);
}

void TBtrBaseTable::LocalToNative(uint16_t localType, uint16_t localSize, int16_t units2,
                                  uint16_t length, const void* src, uint8_t* dest) {
  ConvertLocalToNative(localType, localSize, units2, length, src, dest);
}

void TBtrBaseTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank) {
  CheckParam(record);
  item.Bind(record);
  const FieldDesc& d = item.Desc();
  std::vector<uint8_t> scratch;
  void* target = dest;
  if (target == nullptr) {
    scratch.resize(std::max<size_t>({kBlobLocalSize + 1, size_t{d.LocalSize} + 1, 8}));
    target = scratch.data();
  }
  blank = false;
  ConvertNativeToLocal(d.LocalType, d.LocalSize, d.FieldUnits2, d.FieldLength, item.FieldPtr(),
                       target, blank);
  if (!blank || dest == nullptr) return;
  const size_t clear = d.FieldType == fldBLOB    ? kBlobLocalSize
                       : d.FieldType == fldFLOAT ? sizeof(double)
                                                 : d.FieldLength;
  std::memset(dest, 0, clear);
}

void TBtrBaseTable::PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) {
  if (record != nullptr) item.Bind(record);
  const FieldDesc& d = item.Desc();
  uint8_t* field = CheckParam(item.FieldPtr());
  if (src == nullptr) {
    std::memset(field, 0, d.LocalSize);
    return;
  }
  ConvertLocalToNative(d.LocalType, d.LocalSize, d.FieldUnits2, d.FieldLength, src, field);
}

int TBtrBaseTable::CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                                 bool caseInsensitive, const void* value1, const void* value2) {
  const auto* a = static_cast<const uint8_t*>(value1);
  const auto* b = static_cast<const uint8_t*>(value2);
  const auto sign = [](int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); };
  if (type == fldZSTRING && item != nullptr && item->LocalType() == BT_LSTRING) {
    if (length == 0) return 0;
    return TBaseTable::CompareValues(type, item, length - 1, caseInsensitive, a + 1, b + 1);
  }
  if (type == fldDATE && length >= 4) {
    int16_t year1 = 0, year2 = 0;
    std::memcpy(&year1, a + 2, 2);
    std::memcpy(&year2, b + 2, 2);
    if (year1 != year2) return year1 < year2 ? -1 : 1;
    if (a[1] != b[1]) return a[1] < b[1] ? -1 : 1;
    return sign(int{a[0]} - int{b[0]});
  }
  if (type == fldTIME && length >= 4) {
    for (int i = 3; i >= 0; --i)
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
  }
  if (type == fldFLOAT && item != nullptr) {
    const auto toDouble = [&](const uint8_t* native) {
      double value = 0;
      bool blank = false;
      try {
        ConvertNativeToLocal(item->LocalType(), item->LocalSize(), item->FieldUnits2(),
                             item->FieldLength(), native, &value, blank);
      } catch (const std::exception&) {
        value = 0;
      }
      return value;
    };
    const double x = toDouble(a), y = toDouble(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return TBaseTable::CompareValues(type, item, length, caseInsensitive, value1, value2);
}

const void* TBtrBaseTable::GetBookmarkKey(const void* bookmark) const {
  return static_cast<const uint8_t*>(bookmark) + kBookmarkKeyOffset;
}

void TBtrBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) {
  CheckParam(bookmark1);
  CheckParam(bookmark2);
  uint32_t p1 = 0, p2 = 0;
  std::memcpy(&p1, bookmark1, 4);
  std::memcpy(&p2, bookmark2, 4);
  if (p1 != 0 && p2 != 0 && p1 == p2) {
    result = 0;
    return;
  }
  TBaseTable::CompareBookMarks(bookmark1, bookmark2, result);
  if (result == 0 && p1 != 0 && p2 != 0 && CurrentIndex().Unique == 0) result = p1 < p2 ? -1 : 1;
}

void TBtrBaseTable::SetVariableTailLength(uint8_t* /*record*/, uint16_t field, int32_t length) {
  TFieldCacheItem& item = FieldCache().GetItem(field);
  SetWriteLength(GetRecordBufferLength() - item.FieldLength() + length);
}

// ---- TBtrBaseTable: memo, binary and graphic fields ----

void TBtrBaseTable::RegisterBlobFields() {
  blobCount_ = 0;
  for (BlobEntry& entry : blobs_) entry = BlobEntry{};
  for (int n = 1; n <= FieldCache().Count(); ++n) {
    if (!IsBlobSubType(FieldCache().GetItem(n).FieldSubType())) continue;
    // The blob table has a fixed number of entries; a table needing more cannot be served.
    if (blobCount_ == kMaxBlobFields)
      RaiseEngineErrorContext(DBIERR_DRIVERLIMIT,
                              std::string("Table: ") + GetTableName() +
                                  ": more than 16 memo, binary and graphic fields");
    blobs_[blobCount_++].Field = static_cast<uint16_t>(n);
  }
}

TBtrBaseTable::BlobEntry& TBtrBaseTable::EntryOf(uint16_t field) {
  for (int i = 0; i < blobCount_; ++i)
    if (blobs_[i].Field == field) return blobs_[i];
  RaiseEngineError(DBIERR_NOTABLOB);
}

TMemoryStream& TBtrBaseTable::StreamOf(BlobEntry& entry) {
  if (!entry.Stream) entry.Stream = std::make_unique<TMemoryStream>();
  return *entry.Stream;
}

size_t TBtrBaseTable::MeasureText(TFieldCacheItem& item) {
  const uint16_t size = item.FieldLength();
  uint8_t* text = CheckParam(item.FieldPtr());
  CheckCondition(size > 0, DBIERR_INVALIDPARAM);
  text[size - 1] = '\0';
  return std::strlen(reinterpret_cast<const char*>(text));
}

void TBtrBaseTable::OpenBlob(uint8_t* /*record*/, uint16_t field, uint32_t /*openMode*/) {
  StreamOf(EntryOf(field)).Clear();
}

// A freed blob has no pending value: a change not yet written back is dropped with its stream,
// so the next read decodes the field text again instead of finding an empty stream.
void TBtrBaseTable::FreeBlob(uint8_t* /*record*/, uint16_t field) {
  BlobEntry& entry = EntryOf(field);
  entry.Stream.reset();
  entry.Modified = false;
}

void TBtrBaseTable::GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) {
  size = 0;
  TFieldCacheItem& item = FieldCache().GetItem(field);
  item.Bind(CheckParam(record));
  if (item.FieldSubType() == fldstMEMO) {
    size = static_cast<uint32_t>(MeasureText(item));
    return;
  }
  CheckCondition(IsBlobSubType(item.FieldSubType()), DBIERR_INVALIDPARAM);
  BlobEntry& entry = EntryOf(field);
  TMemoryStream& stream = StreamOf(entry);
  if (entry.Modified) {
    size = static_cast<uint32_t>(stream.Size());
    return;
  }
  stream.Clear();
  const size_t length = MeasureText(item);
  if (length == 0) return;
  TMemoryStream text;
  text.Write(item.FieldPtr(), length);
  try {
    DecodeBlob(text, stream);
  } catch (const EConvertError&) {
    stream.Clear();  // a damaged text reads as an empty value
  }
  size = static_cast<uint32_t>(stream.Size());
}

void TBtrBaseTable::GetMemo(TFieldCacheItem& item, uint32_t offset, uint32_t length, void* dest,
                            uint32_t& read) {
  const char* text = reinterpret_cast<const char*>(item.FieldPtr()) + offset;
  const size_t n = std::min<size_t>(strnlen(text, item.FieldLength() - offset), length);
  std::memcpy(dest, text, n);
  std::memset(static_cast<uint8_t*>(dest) + n, 0, length - n);
  read = static_cast<uint32_t>(n);
  RaiseEngineError(DBIERR_ENDOFBLOB);
}

void TBtrBaseTable::GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                            void* dest, uint32_t& read) {
  read = 0;
  TFieldCacheItem& item = FieldCache().GetItem(field);
  item.Bind(CheckParam(record));
  CheckCondition(dest != nullptr && static_cast<int32_t>(length) > 0, DBIERR_INVALIDPARAM);
  CheckCondition(offset <= item.FieldLength(), DBIERR_INVALIDBLOBOFFSET);
  if (item.FieldSubType() == fldstMEMO) return GetMemo(item, offset, length, dest, read);
  CheckCondition(IsBlobSubType(item.FieldSubType()), DBIERR_INVALIDPARAM);
  std::memset(dest, 0, length);
  BlobEntry& entry = EntryOf(field);
  TMemoryStream& stream = StreamOf(entry);
  if (!entry.Modified && stream.Size() == 0) {
    uint32_t size = 0;
    GetBlobSize(record, field, size);
  }
  stream.Seek(offset);
  read = static_cast<uint32_t>(stream.Read(dest, length));
  if (stream.Position() >= stream.Size()) RaiseEngineError(DBIERR_ENDOFBLOB);
}

void TBtrBaseTable::PutMemo(TFieldCacheItem& item, uint8_t* record, uint32_t offset,
                            uint32_t length, const void* src) {
  const uint32_t size = item.FieldLength();
  // The text always ends with a NUL inside the field.
  if (offset >= size) RaiseEngineError(DBIERR_INVALIDPARAM);
  if (src == nullptr) {
    // A write without data is a truncation: the text keeps its first offset + length bytes.
    const uint64_t keep = uint64_t{offset} + length;
    const size_t text = MeasureText(item);
    if (keep < text) std::memset(item.FieldPtr() + keep, 0, text - keep);
  } else {
    if (uint64_t{offset} + length >= size) length = size - offset - 1;
    uint8_t* at = item.FieldPtr() + offset;
    std::memmove(at, src, length);
    at[length] = '\0';
  }
  if (IsLastField(item)) {
    const size_t text = MeasureText(item);
    SetVariableTailLength(record, item.FieldNumber(), text > 0 ? int32_t(text) + 1 : 0);
  }
}

void TBtrBaseTable::PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                            const void* src) {
  TFieldCacheItem& item = FieldCache().GetItem(field);
  item.Bind(CheckParam(record));
  CheckCondition(IsBlobSubType(item.FieldSubType()), DBIERR_INVALIDPARAM);
  BlobEntry& entry = EntryOf(field);
  if (item.FieldSubType() == fldstMEMO) {
    entry.Modified = true;
    try {
      PutMemo(item, record, offset, length, src);
    } catch (const std::exception&) {
      RaiseEngineError(DBIERR_INVALIDPARAM);
    }
    return;
  }
  TMemoryStream& stream = StreamOf(entry);
  if (src == nullptr && uint64_t{offset} + length > 0) {
    // A truncation: the value is cut (or zero-extended) to offset + length bytes, so the stored
    // value has to be loaded first.
    if (!entry.Modified && stream.Size() == 0) {
      uint32_t size = 0;
      GetBlobSize(record, field, size);
    }
    entry.Modified = true;
    stream.Resize(size_t{offset} + length);
    return;
  }
  entry.Modified = true;
  if (uint64_t{offset} + length < 1) {
    stream.Clear();
    return;
  }
  stream.Seek(offset);
  stream.Write(src, length);
}

void TBtrBaseTable::WriteBackMemo(TFieldCacheItem& item) {
  size_t n = MeasureText(item);
  if (n < item.FieldLength()) ++n;  // the NUL that ends the text
  if (IsLastField(item))
    SetWriteLength(GetRecordBufferLength() - item.FieldLength() + static_cast<int32_t>(n));
}

void TBtrBaseTable::WriteBackBinary(BlobEntry& entry, TFieldCacheItem& item, uint8_t* record) {
  TMemoryStream& stream = StreamOf(entry);
  size_t n = 0;
  if (stream.Size() == 0) {
    // An emptied value clears the field's text, so the previous value does not survive.
    item.FieldPtr()[0] = '\0';
  } else {
    TMemoryStream text;
    EncodeBlob(stream, text);
    const uint8_t nul = 0;
    text.Write(&nul, 1);
    n = text.Size();
    CheckCondition(n <= item.FieldLength(), DBIERR_INVALIDBLOBLEN);
    std::memcpy(item.FieldPtr(), text.Data(), n);
  }
  if (IsLastField(item)) SetVariableTailLength(record, item.FieldNumber(), static_cast<int32_t>(n));
}

void TBtrBaseTable::WriteBackBlobs(uint8_t* record) {
  for (int i = 0; i < blobCount_; ++i) {
    BlobEntry& entry = blobs_[i];
    TFieldCacheItem& item = FieldCache().GetItem(entry.Field);
    item.Bind(CheckParam(record));
    if (item.FieldSubType() == fldstMEMO) {
      WriteBackMemo(item);
      continue;
    }
    if (entry.Modified) WriteBackBinary(entry, item, record);
    StreamOf(entry).Clear();
    entry.Modified = false;
  }
}

// ---- TBtrTable ----

TBtrTable::TBtrTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
                     const char* openIndexName, uint32_t openMode, uint32_t shareMode,
                     const uint8_t* clientId)
    : TBtrBaseTable(owner, collection, tableName, openIndexName, openMode, shareMode, clientId) {}

TBtrTable::~TBtrTable() { FreeHandle(); }

void TBtrTable::CreateHandle() { btr_ = std::make_unique<TWinBtr>(ClientIDRef()); }

void TBtrTable::FreeHandle() {
  if (!btr_) return;
  try {
    if (state_ != TCursorState::Closed) CloseCursor();
  } catch (const EVaderEngineError&) {
    // Freeing cannot report a failed close (it runs from destructors); the record manager
    // releases the file when the client stops.
  }
  btr_.reset();
}

void TBtrTable::LoadFields(const std::vector<DictionaryField>& fields) {
  FieldCache().Clear();
  uint16_t n = 0;
  for (const DictionaryField& entry : fields) {
    FieldDesc desc{};
    uint16_t localType = 0, localSize = 0;
    LoadFieldDesc(++n, &entry, desc, localType, localSize);
    TFieldCacheItem::Create(FieldCache(), desc, n, localType, localSize);
  }
  RegisterBlobFields();
}

uint32_t TBtrTable::GetRecordSize() const {
  return btr_ ? static_cast<uint32_t>(std::max(btr_->BufferSize(), 0)) : 0;
}

void TBtrTable::SetDataBuffer(uint8_t* buffer) {
  currentData_ = buffer;
  // Without a buffer the object's own is named explicitly: that also ends a redirection to a
  // buffer handed in earlier, so the next read lands where GetDataBuffer points.
  btr_->UseDataBuffer(buffer != nullptr ? buffer : btr_->Buffer());
}

uint8_t* TBtrTable::GetDataBuffer() const { return currentData_ ? currentData_ : btr_->Buffer(); }

void TBtrTable::LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc,
                              uint16_t& localType, uint16_t& localSize) {
  // Fields come from dictionary records only; a field past the loaded ones has none.
  if (fieldRecord == nullptr) RaiseEngineError(DBIERR_INVALIDRECSTRUCT);
  DictionaryField entry{};
  std::memcpy(&entry, fieldRecord, sizeof entry);
  BuildFieldDesc(entry, n, &desc);
  localType = entry.DataType;
  localSize = entry.Size;
}

void TBtrTable::OpenCursor() {
  TBaseTable::OpenCursor();
  state_ = TCursorState::Closed;
  int8_t mode = OpenNormal;
  if (ShareMode() == kShareExclusive)
    mode = OpenExclusive;
  else if (OpenMode() == kOpenReadOnly)
    mode = OpenReadOnly;
  btr_->Open(GetFileName(), OwnerName(), mode);
  currentData_ = nullptr;
  state_ = TCursorState::Unpositioned;
  if (FieldCache().Count() == 0) return;
  CursorProps props{};
  GetCursorProps(props);  // sizes the record buffer to the field layout
  if (btr_->KeyCount() == 0) return;
  const char* index = OpenIndexName();
  SwitchToIndex(index[0] != '\0' ? index : nullptr, nullptr, 0, false);
}

void TBtrTable::CloseCursor() {
  TBaseTable::CloseCursor();
  try {
    btr_->Close();
  } catch (const EBtrieveEngineError& e) {
    if (e.NativeError() != B_FILE_NOT_OPEN) throw;
  }
}

TWinBtr& TBtrTable::Bound() {
  btr_->UseDataBuffer(currentData_ != nullptr ? currentData_ : btr_->Buffer());
  return *btr_;
}

void TBtrTable::FirstPhysical() { Bound().GetFirst(); }
void TBtrTable::LastPhysical() { Bound().GetLast(); }
void TBtrTable::NextPhysical() { Bound().GetNext(); }
void TBtrTable::PriorPhysical() { Bound().GetPrev(); }

// ---- TBtrTable: keys ----

uint16_t TBtrTable::SegmentLength(int i) {
  const KeySegmentInfo& segment = KeySegment(i + 1);
  if (segment.RawPosition != 0) return static_cast<uint16_t>(segment.SegmentLength);
  return FieldCache().GetItem(CurrentIndex().KeyFields[i]).LocalSize();
}

size_t TBtrTable::SegmentOffset(int i) {
  size_t offset = 0;
  for (int k = 0; k < i; ++k) offset += SegmentLength(k);
  return offset;
}

void TBtrTable::ExtractSegment(int i, const uint8_t* record, uint8_t* key, uint16_t length,
                               uint16_t partialLength) {
  const KeySegmentInfo& segment = KeySegment(i + 1);
  std::memset(key, 0, length);
  if (segment.RawPosition != 0) {
    const size_t start = segment.RawPosition - 1u;
    CheckCondition(start + length <= GetRecordBufferSize(), DBIERR_INVALIDINDEXSTRUCT);
    std::memcpy(key, record + start, partialLength ? std::min(partialLength, length) : length);
    return;
  }
  TFieldCacheItem& item = FieldCache().GetItem(CurrentIndex().KeyFields[i]);
  std::vector<uint8_t> local(kLocalScratchSize);
  bool blank = false;
  GetFieldValue(item, const_cast<uint8_t*>(record), local.data(), blank);
  if (blank) return;
  if (partialLength != 0) local[partialLength] = 0;
  try {
    LocalToNative(item.LocalType(), item.LocalSize(), item.FieldUnits2(), item.FieldLength(),
                  local.data(), key);
  } catch (const EBtrieveEngineError&) {
    std::memset(key, 0, length);
  }
}

void TBtrTable::ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                                 uint16_t partialLength, uint16_t& keyLength) {
  keyLength = 0;
  CheckParam(key);
  if (record == nullptr) record = CheckParam(GetRecordBuffer());
  const IndexDesc& index = CurrentIndex();
  int segments = fieldCount;
  if (fieldCount == 0) segments = partialLength == 0 ? index.FieldsInKey : 1;
  segments = std::min<int>({segments, index.FieldsInKey, kMaxKeyFields});
  size_t offset = 0;
  for (int i = 0; i < segments; ++i) {
    const uint16_t length = SegmentLength(i);
    CheckCondition(offset + length < kKeyBufferSize, DBIERR_INVALIDINDEXSTRUCT);
    const bool partial = partialLength != 0 && i == segments - 1;
    ExtractSegment(i, record, key + offset, length, partial ? partialLength : 0);
    offset += length;
  }
  keyLength = static_cast<uint16_t>(offset);
}

void TBtrTable::FillKeyTail(uint8_t* key, uint16_t fieldCount, bool forward) {
  const IndexDesc& index = CurrentIndex();
  const int segments = std::min<int>(index.FieldsInKey, kMaxKeyFields);
  size_t offset = SegmentOffset(std::min<int>(fieldCount, segments));
  for (int i = fieldCount; i < segments; ++i) {
    const KeySegmentInfo& segment = KeySegment(i + 1);
    const uint16_t length = SegmentLength(i);
    CheckCondition(offset + length < kKeyBufferSize, DBIERR_INVALIDINDEXSTRUCT);
    const bool high = forward == (segment.Descending != 0);
    FillExtreme(key + offset, static_cast<uint16_t>(segment.SegmentType), length, high);
    offset += length;
  }
  if (offset < kKeyBufferSize) key[offset] = 0;
}

void TBtrTable::CopyPackedKey(const void* source, uint8_t* key, uint16_t fieldCount) {
  const int all = std::min<int>(CurrentIndex().FieldsInKey, kMaxKeyFields);
  const int count = fieldCount == 0 ? all : std::min<int>(fieldCount, all);
  const size_t length = SegmentOffset(count);
  CheckCondition(length < kKeyBufferSize, DBIERR_INVALIDINDEXSTRUCT);
  std::memcpy(key, CheckParam(source), length);
}

namespace {

uint16_t SearchOperation(uint16_t mode) {
  switch (mode) {
    case keySEARCHGEQ:
      return B_GET_GE;
    case keySEARCHGT:
      return B_GET_GT;
    case keySEARCHLT:
      return B_GET_LT;
    case keySEARCHLEQ:
      return B_GET_LE;
    default:
      return B_GET_EQUAL;
  }
}

}  // namespace

void TBtrTable::SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount,
                        uint16_t partialLength, const void* key, uint8_t* recordOut) {
  uint8_t built[kKeyBufferSize] = {};
  FillKeyTail(built, fieldCount, mode == keySEARCHGEQ || mode == keySEARCHGT);
  if (keyIsPacked) {
    CopyPackedKey(key, built, fieldCount);
  } else {
    uint16_t length = 0;
    ExtractKeyFields(static_cast<const uint8_t*>(CheckParam(key)), built, fieldCount, partialLength,
                     length);
  }
  // The caller's record, else the object's own buffer: never a record buffer remembered from
  // an earlier call, which its owner may have freed since.
  SetDataBuffer(recordOut);
  const uint16_t keyLength = CurrentIndex().KeyLength;
  btr_->ClearKey(keyLength);
  Bound().GetByKey(SearchOperation(mode), built, btr_->KeyNumber(), keyLength);
  // The record read lies in the data buffer: the caller's record buffer, else the object's own.
  if (recordOut != nullptr && recordOut != GetDataBuffer())
    std::memmove(recordOut, GetDataBuffer(), GetRecordSize());
  MarkOnRecord();
}

void TBtrTable::GetRecordForKey(bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                                const void* key, uint8_t* record) {
  const IndexDesc& index = CurrentIndex();
  uint8_t built[kKeyBufferSize] = {};
  int32_t keyLength = index.KeyLength;
  if (keyIsPacked) {
    keyLength = partialLength != 0 ? partialLength : index.KeyLength;
    CheckCondition(keyLength < static_cast<int32_t>(kKeyBufferSize), DBIERR_INVALIDPARAM);
    std::memcpy(built, CheckParam(key), static_cast<size_t>(keyLength));
  } else {
    FillKeyTail(built, fieldCount, true);
    uint16_t length = 0;
    ExtractKeyFields(static_cast<const uint8_t*>(CheckParam(key)), built, fieldCount, partialLength,
                     length);
  }
  if (record != nullptr) SetDataBuffer(record);
  const bool partial = (fieldCount > 0 && fieldCount < index.FieldsInKey) || partialLength > 0;
  const uint16_t operation = partial ? B_GET_GE : B_GET_EQUAL;
  btr_->ClearKey(index.KeyLength);
  Bound().GetByKey(operation, built, btr_->KeyNumber(), keyLength);
  CheckKeyMatch(operation, fieldCount, record, built, partialLength);
  direction_ = TMoveDirection::Forward;
  ApplyRangeAndFilters(record);
  MarkOnRecord();
}

void TBtrTable::CheckKeyMatch(uint16_t operation, uint16_t fieldCount, const uint8_t* /*record*/,
                              const uint8_t* key, uint16_t partialLength) {
  if (operation != B_GET_GE || (fieldCount == 0 && partialLength == 0)) return;
  const uint16_t count = fieldCount == 0 ? 1 : fieldCount;
  int result = 0;
  CompareKeys(btr_->KeyBuffer(), key, count, partialLength, result);
  if (result != 0) BtrieveError(B_KEY_VALUE_NOT_FOUND);
}

// ---- TBtrTable: bookmarks ----

void TBtrTable::GetBookMark(void* bookmark) {
  auto* out = static_cast<uint8_t*>(CheckParam(bookmark));
  std::memset(out, 0, kBtrBookmarkSize);
  std::memcpy(out + kBookmarkKeyOffset, btr_->KeyBuffer(), kBtrKeyBufferSize);
  const int32_t position = btr_->GetPosition();
  std::memcpy(out, &position, sizeof position);
  if (RereadPending()) btr_->GetDirectClean(position);
}

void TBtrTable::SeekBookmarkKey(const uint8_t* bookmark) {
  std::vector<uint8_t> scratch(std::max<uint32_t>(GetRecordBufferSize(), 1));
  const uint8_t* key = bookmark + kBookmarkKeyOffset;
  try {
    SeekKey(keySEARCHGEQ, true, 0, 0, key, scratch.data());
  } catch (const EVaderBoundryError&) {
    try {
      SeekKey(keySEARCHLEQ, true, 0, 0, key, scratch.data());
    } catch (const EVaderBoundryError&) {
      SetToBegin();
      return;
    }
  }
  if (RangeActive() || FiltersActive()) {
    direction_ = TMoveDirection::Forward;
    ApplyRangeAndFilters(scratch.data());
  }
}

void TBtrTable::SetToBookMark(const void* bookmark) {
  const auto* in = static_cast<const uint8_t*>(CheckParam(bookmark));
  int32_t position = 0;
  std::memcpy(&position, in, sizeof position);
  if (position != 0) {
    try {
      btr_->GetDirectClean(position);
      std::memcpy(btr_->KeyBuffer(), in + kBookmarkKeyOffset, kBtrKeyBufferSize);
      MarkOnRecord();
      return;
    } catch (const EBtrieveEngineError&) {
      // The record is gone: continue from its key.
    }
  }
  SeekBookmarkKey(in);
}

void TBtrTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) {
  const auto* in = static_cast<const uint8_t*>(CheckParam(bookmark));
  int32_t position = 0;
  std::memcpy(&position, in, sizeof position);
  const auto read = [&] {
    SetDataBuffer(record);
    SetLockMode(lock);
    Bound().GetDirect(position);
    std::memcpy(btr_->KeyBuffer(), in + kBookmarkKeyOffset, kBtrKeyBufferSize);
  };
  try {
    read();
  } catch (const EBtrieveEngineError&) {
    if (lock == dbiNOLOCK) {
      SetToKey(keyCONDGEQ, true, 0, 0, in + kBookmarkKeyOffset);
      return;
    }
    // A locked read is tried once more; it still reports the first failure.
    const std::exception_ptr first = std::current_exception();
    read();
    std::rethrow_exception(first);
  }
  MarkOnRecord();
}

// ---- TBtrTable: locks and writes ----

void TBtrTable::AcqTableLock(TLockType lock) {
  if (lock == dbiNOLOCK) return;
  if (tableLocked_) BtrieveError(B_FILE_IN_USE);
  btr_->BeginTransaction(true);
  tableLocked_ = true;
}

void TBtrTable::RelTableLock(TLockType lock) {
  if (lock != dbiNOLOCK && tableLocked_) btr_->EndTransaction();
  tableLocked_ = false;
}

void TBtrTable::SetLockMode(uint32_t mode) {
  if (mode == dbiWRITELOCK) btr_->LockNext();
}

void TBtrTable::PadBlankStrings(uint8_t* record) {
  // Sized to the texts met, not to the largest value there can be: this runs for every insert.
  std::vector<uint8_t> local;
  for (int n = 1; n <= FieldCache().Count(); ++n) {
    TFieldCacheItem& item = FieldCache().GetItem(n);
    if (item.LocalType() != BT_STRING) continue;
    const size_t needed = std::max<size_t>({8, item.Desc().LocalSize + 1u, item.FieldLength()});
    if (local.size() < needed) local.resize(needed);
    bool blank = false;
    GetFieldValue(item, record, local.data(), blank);
    if (blank) PutFieldValue(item, record, "");
  }
}

void TBtrTable::InsertRecord(TLockType lock, uint8_t* record) {
  SetDataBuffer(CheckParam(record));
  if (ConversionOptions().StringPaddedSpaces) PadBlankStrings(record);
  if (BlobCount() > 0) WriteBackBlobs(record);
  Bound().Insert();
  MarkOnRecord();
  if (lock == dbiWRITELOCK) LockCurrentRecord(dbiWRITELOCK, record);
}

void TBtrTable::ModifyRecord(uint8_t* record, bool freeLock) {
  SetDataBuffer(CheckParam(record));
  if (BlobCount() > 0) WriteBackBlobs(record);
  Bound().Update();
  if (!freeLock) GetRecord(dbiWRITELOCK, nullptr, nullptr);
}

void TBtrTable::DeleteRecord(uint8_t* record) {
  SetDataBuffer(record);
  Bound().Delete();
  state_ = TCursorState::AtCrack;
}

// ---- TBtrTable: record numbers and properties ----

void TBtrTable::GetSeqNo(uint32_t& n) {
  n = 0;
  DataBufferGuard guard(*this, currentData_);
  const int32_t percentage = std::clamp(btr_->FindPercentage(true), 0, 10000);
  uint32_t count = 0;
  GetRecordCount(count);
  uint64_t before = uint64_t{static_cast<uint32_t>(percentage)} * count / 10000;
  // At the last record the percentage is 100 %: the record number stays within the count.
  if (count > 0 && before >= count) before = count - 1;
  n = static_cast<uint32_t>(before + 1);
}

void TBtrTable::SetToSeqNo(uint32_t n) {
  DataBufferGuard guard(*this, currentData_);
  uint32_t count = 0;
  GetRecordCount(count);
  const int32_t percentage = n < count ? static_cast<int32_t>(10000.0 / count * n) : 10000;
  Bound().GetByPercentage(true, percentage);
  MarkOnRecord();
}

void TBtrTable::GetRecordNo(uint32_t& n) { n = static_cast<uint32_t>(btr_->GetPosition()); }

void TBtrTable::SetToRecordNo(uint32_t n) {
  btr_->GetDirectClean(static_cast<int32_t>(n));
  MarkOnRecord();
}

void TBtrTable::GetCursorProps(CursorProps& props) {
  TBaseTable::GetCursorProps(props);
  CopyToBuffer(props.CursorTableName, GetTableName());
  const int32_t fileLength = btr_->GetRecordLength();
  if (props.RecSize > fileLength)
    btr_->SetBufferSize(props.RecSize);
  else
    props.RecSize = static_cast<uint16_t>(fileLength);
  props.RecBufSize = props.RecSize;
  props.IndexCount = static_cast<uint16_t>(btr_->KeyCount());
  props.BlockSize = static_cast<uint16_t>(btr_->GetPageSize());
  props.SeqNums = -1;
}

void TBtrTable::GetRecordCount(uint32_t& n) {
  if (BtrSettings().TrueRecordCount && (RangeActive() || FiltersActive()))
    return TBaseTable::GetRecordCount(n);
  n = static_cast<uint32_t>(std::max(btr_->RecordCount(), 0));
}

int TBtrTable::CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                             bool caseInsensitive, const void* value1, const void* value2) {
  if (type != fldZSTRING || !usesACS_ || length > kKeyBufferSize)
    return TBtrBaseTable::CompareValues(type, item, length, caseInsensitive, value1, value2);
  uint8_t a[kKeyBufferSize], b[kKeyBufferSize];
  std::memcpy(a, value1, length);
  std::memcpy(b, value2, length);
  const uint8_t* table = acsTable_ + kAcsTranslationOffset;
  const size_t first = item != nullptr && item->LocalType() == BT_LSTRING ? 1 : 0;
  for (size_t i = first; i < length; ++i) {
    a[i] = table[a[i]];
    b[i] = table[b[i]];
  }
  return TBtrBaseTable::CompareValues(type, item, length, caseInsensitive, a, b);
}

// ---- TBtrTable: indexes ----

void TBtrTable::FindIndexForFields(const char* name, uint16_t& indexNo, char* indexName) {
  CheckParam(name);
  if (std::strchr(name, '@') != nullptr)
    return TBaseTable::FindIndexForFields(name, indexNo, indexName);
  std::string number;
  for (size_t i = 0; i < 2 && name[i] != '\0'; ++i)
    if (std::isdigit(static_cast<unsigned char>(name[i])) || std::strchr("+-.", name[i]))
      number += name[i];
  const bool hasDigit = number.find_first_of("0123456789") != std::string::npos;
  const long value = hasDigit ? std::strtol(number.c_str(), nullptr, 10) : -1;
  if (value < 0 || value > 0xFFFF) RaiseEngineError(DBIERR_INVALIDINDEXNAME);
  indexNo = static_cast<uint16_t>(value);
  if (indexName != nullptr) CopyBounded(indexName, kMaxFieldNameLength + 1, name);
}

void TBtrTable::SelectKey(uint16_t keyNumber) {
  // Key numbers run from 0 to the key count - 1.
  const uint16_t keyCount = static_cast<uint16_t>(btr_->KeyCount());
  if (keyNumber >= keyCount) BtrieveErrorText(B_INVALID_KEYNUMBER, std::to_string(keyNumber));
  btr_->SetKeyNumber(static_cast<int8_t>(keyNumber));
  usesACS_ = btr_->KeyUsesACS();
  if (usesACS_) btr_->GetACS(acsTable_);
  KeySegmentInfo segments[kKeySegmentCount] = {};
  DescribeKey(keyNumber, MutableCurrentIndex(), segments);
  for (int i = 0; i < kKeySegmentCount; ++i) MutableKeySegment(i + 1) = segments[i];
}

void TBtrTable::SwitchToIndex(const char* name, const char* /*tag*/, uint16_t indexNo,
                              bool keepPosition) {
  uint16_t keyNumber = indexNo;
  if (name != nullptr && name[0] != '\0') FindIndexForFields(name, keyNumber, nullptr);
  uint8_t bookmark[kBtrBookmarkSize] = {};
  if (keepPosition) {
    try {
      GetBookMark(bookmark);
    } catch (const EBtrieveEngineError&) {
      RaiseEngineError(DBIERR_NOCURRREC);
    }
  }
  ResetRange();
  SelectKey(keyNumber);
  if (keepPosition) SetToBookMark(bookmark);
}

void TBtrTable::GetIndexDesc(uint16_t n, IndexDesc& desc) { DescribeKey(n, desc, nullptr); }

TFieldCacheItem* TBtrTable::FieldForSegment(uint16_t position, uint16_t length, bool& raw) {
  raw = false;
  TVaderFieldCache& cache = FieldCache();
  const auto startingAt = [&](uint32_t at) -> TFieldCacheItem* {
    TFieldCacheItem* candidate = nullptr;
    for (int n = 1; n <= cache.Count(); ++n) {
      TFieldCacheItem& item = cache.GetItem(n);
      if (uint32_t{item.Desc().FieldOffset} + 1 != at) continue;
      if (item.FieldLength() == length) return &item;
      candidate = &item;  // without an exact match the last field starting here describes it
    }
    return candidate;
  };
  if (TFieldCacheItem* item = startingAt(position)) return item;
  if (TFieldCacheItem* item = startingAt(uint32_t{position} + 1)) return item;
  // A segment over part of a field: the field that covers its first byte.
  raw = true;
  for (int n = 1; n <= cache.Count(); ++n) {
    TFieldCacheItem& item = cache.GetItem(n);
    const uint32_t start = uint32_t{item.Desc().FieldOffset} + 1;
    if (start < position && start + item.FieldLength() > position) return &item;
  }
  RaiseEngineErrorContext(DBIERR_INVALIDIDXDESC, std::string("Table: ") + GetTableName());
}

void TBtrTable::AddKeySegment(IndexDesc& desc, KeySegmentInfo* segments, const KeySegmentSpec& keySpec,
                              std::string& names) {
  CheckCondition(desc.FieldsInKey < kMaxKeyFields, DBIERR_INVALIDIDXDESC);
  bool raw = false;
  TFieldCacheItem* field = FieldForSegment(keySpec.Position, keySpec.Length, raw);
  const int i = desc.FieldsInKey++;
  desc.KeyFields[i] = field->FieldNumber();
  if (!names.empty()) names += "+";
  names += (raw ? ">" : "") + field->FieldName();
  if ((keySpec.Flags & kKeyFlagCaseInsensitive) != 0) desc.CaseInsensitive = kTrue16;
  // The key built for a search holds the field's native bytes, or the segment's for a part.
  desc.KeyLength = static_cast<uint16_t>(desc.KeyLength + (raw ? keySpec.Length : field->LocalSize()));
  if (segments == nullptr) return;
  KeySegmentInfo& info = segments[i];
  info.SegmentLength = keySpec.Length;
  uint16_t type = 0, subType = 0, engineSize = 0;
  int16_t units = 0;
  MapFieldType(keySpec.ExtendedType, keySpec.Length, type, subType, units, engineSize);
  info.SegmentType = type;
  info.Descending = (keySpec.Flags & kKeyFlagDescending) != 0 ? 1 : 0;
  if (raw) info.RawPosition = keySpec.Position;
}

void TBtrTable::DescribeKey(uint16_t n, IndexDesc& desc, KeySegmentInfo* segments) {
  desc = IndexDesc{};
  if (segments != nullptr) std::fill_n(segments, kKeySegmentCount, KeySegmentInfo{});
  if (!btr_->IsOpen()) BtrieveErrorText(B_FILE_NOT_OPEN, GetTableName());
  if (n == 0 && !ReadingIndexList())
    n = static_cast<uint16_t>(std::max<int8_t>(btr_->KeyNumber(), 0));
  uint8_t stat[kStatAreaSize];
  btr_->GetStat(stat);
  const int keyCount = stat[offsetof(StatFileSpec, KeyCount)];
  std::string names;
  int key = 0;
  uint8_t keyNumberByte = 0;
  for (int s = 0; s < kStatSegmentCount && key < keyCount; ++s) {
    const KeySegmentSpec keySpec = SegmentAt(stat, s);
    if (key == n) {
      if (desc.FieldsInKey == 0) {
        keyNumberByte = keySpec.ManualKeyNumber;
        desc.Unique = Bool16((keySpec.Flags & kKeyFlagDuplicates) == 0);
        desc.Descending = Bool16((keySpec.Flags & kKeyFlagDescending) != 0);
      }
      AddKeySegment(desc, segments, keySpec, names);
    }
    if ((keySpec.Flags & kKeyFlagSegmented) == 0) ++key;
  }
  if (desc.FieldsInKey == 0) RaiseEngineError(DBIERR_NOSUCHINDEX);
  desc.IndexId = n;
  desc.Primary = Bool16(n == 0);
  desc.Maintained = kTrue16;
  std::memcpy(desc.Reserved6, &desc.KeyLength, sizeof desc.KeyLength);
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%2d - ", keyNumberByte);
  CopyToBuffer(desc.IndexName, std::string(prefix) + names);
}

void TBtrTable::AddIndex(const IndexDesc& desc, const char* /*keyViolName*/) {
  const int count = std::min<int>(desc.FieldsInKey, kMaxKeyFields);
  CheckCondition(count > 0, DBIERR_INVALIDINDEXSTRUCT);
  KeySegmentSpec segmentLayouts[kMaxKeyFields] = {};
  for (int i = 0; i < count; ++i) {
    const TFieldCacheItem& item = FieldCache().GetItem(desc.KeyFields[i]);
    KeySegmentSpec& keySpec = segmentLayouts[i];
    keySpec.Position = static_cast<uint16_t>(item.Desc().FieldOffset + 1);
    keySpec.Length = item.LocalSize();
    keySpec.Flags = kKeyFlagModifiable | kKeyFlagExtendedType;
    if (i < count - 1) keySpec.Flags |= kKeyFlagSegmented;
    if (desc.Unique == 0) keySpec.Flags |= kKeyFlagDuplicates;
    if (desc.Descending != 0) keySpec.Flags |= kKeyFlagDescending;
    if (desc.CaseInsensitive != 0) keySpec.Flags |= kKeyFlagCaseInsensitive;
    keySpec.ExtendedType = static_cast<uint8_t>(item.LocalType());
  }
  // The key and its INDEX.DDF entries change together: entries that cannot be written take
  // the new key away again.
  TBtrDatabase* db = DictionaryDatabase(*this);
  std::vector<TIndexEntryPart> parts;
  if (db != nullptr) parts = IndexEntryParts(*this, *db, desc, count);
  const std::vector<uint8_t> before = KeyNumbers(*btr_);
  btr_->CreateIndex(segmentLayouts, count, static_cast<int8_t>(desc.IndexId));
  if (db == nullptr) return;
  const uint8_t number = AddedKeyNumber(before, KeyNumbers(*btr_), desc.IndexId);
  try {
    AddIndexEntries(*db, DictionaryEntry(*this).TableId, number, parts);
  } catch (...) {
    try {
      btr_->DropIndex(static_cast<int8_t>(number | kDropKeepingNumbers));
    } catch (const EVaderEngineError&) {
      // the dictionary's failure is the one reported
    }
    throw;
  }
}

void TBtrTable::DeleteIndex(const char* name, const char* /*tag*/, uint16_t indexNo) {
  uint16_t keyNumber = indexNo;
  if (name != nullptr && name[0] != '\0') FindIndexForFields(name, keyNumber, nullptr);
  TBtrDatabase* db = DictionaryDatabase(*this);
  if (db == nullptr) return btr_->DropIndex(static_cast<int8_t>(keyNumber));
  // The entries go first: a key dropped renumbers the later ones and could not be put back
  // under its number, while the entries can.
  const uint16_t tableId = DictionaryEntry(*this).TableId;
  const std::vector<DictionaryIndexSegment> entries = IndexEntriesOf(*db, tableId);
  DropIndexEntries(*db, tableId, keyNumber);
  try {
    btr_->DropIndex(static_cast<int8_t>(keyNumber));
  } catch (...) {
    try {
      RestoreIndexEntries(*db, tableId, entries);
    } catch (const EVaderEngineError&) {
      // the file's refusal is the one reported
    }
    throw;
  }
}

}  // namespace vader
