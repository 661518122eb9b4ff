#include "engine/BseCache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/BseErrs.h"
#include "platform/Bytes.h"

namespace vader {
namespace {

// String resource passed when a cache cursor refuses an operation.
constexpr int kCacheNotSupportedResource = 9041;
constexpr size_t kCounterBookmarkSize = sizeof(int32_t);

// Lends a data buffer to a source cursor for the calls of one scope and puts the source's own
// back afterwards, so that the source never keeps, nor writes into, a buffer that may be gone.
class LentDataBuffer {
 public:
  // Without a buffer to lend the source keeps its own.
  LentDataBuffer(TBaseTable& source, uint8_t* buffer)
      : source_(source), saved_(source.GetDataBuffer()) {
    if (buffer != nullptr) source_.SetDataBuffer(buffer);
  }
  ~LentDataBuffer() { source_.SetDataBuffer(saved_); }
  LentDataBuffer(const LentDataBuffer&) = delete;
  LentDataBuffer& operator=(const LentDataBuffer&) = delete;

 private:
  TBaseTable& source_;
  uint8_t* saved_;
};

}  // namespace

// ---- TMemTableRecord ----

TMemTableRecord::TMemTableRecord(TBapiListItem* owner, TVaderCollection* collection,
                                 const void* /*reserved*/, const void* data, const void* bookmark,
                                 uint16_t dataSize, uint16_t bookmarkSize)
    : TBapiListItem(owner, collection, DeferredRegistration{}),
      dataSize_(dataSize),
      bookmarkSize_(bookmarkSize) {
  if (bookmarkSize_ > 0) {
    bookmark_ = std::make_unique<uint8_t[]>(bookmarkSize_);  // zero-filled
    if (bookmark != nullptr) {
      std::memcpy(bookmark_.get(), bookmark, bookmarkSize_);
    } else {
      const int32_t number = collection != nullptr ? collection->Count() + 1 : 1;
      std::memcpy(bookmark_.get(), &number, std::min<size_t>(sizeof number, bookmarkSize_));
    }
  }
  if (dataSize_ > 0 && data != nullptr) SetData(data);
  // The sorted collection places the image by its bookmark, which exists only now.
  Register();
  if (Collection() != nullptr) Props.PhysRecNum = static_cast<uint32_t>(Collection()->Count());
}

TMemTableRecord::~TMemTableRecord() = default;

void TMemTableRecord::SetData(const void* src) {
  if (dataSize_ == 0 || src == nullptr) return;
  if (!data_) data_ = std::make_unique<uint8_t[]>(dataSize_);
  std::memcpy(data_.get(), src, dataSize_);
}

// ---- TMemTable: construction ----

uint16_t TMemTable::DefaultFieldLength(const FieldDesc& desc) {
  const int units1 = std::max<int>(desc.FieldUnits1, 0);
  switch (desc.FieldType) {
    case fldZSTRING:
      return static_cast<uint16_t>(units1 + 1);
    case fldDATE:
    case fldFLOAT:
    case fldTIME:
    case fldTIMESTAMP:
      return 8;
    case fldBOOL:
    case fldINT16:
    case fldUINT16:
      return 2;
    case fldINT32:
    case fldUINT32:
      return 4;
    case fldBCD:
      return static_cast<uint16_t>(std::abs(int{desc.FieldUnits2}));
    case fldFLOATIEEE:
      return 10;
    default:
      return static_cast<uint16_t>(units1);
  }
}

TMemTable::TMemTable(TBapiListItem* owner, TVaderCollection* collection, const char* tableName,
                     uint16_t fieldCount, uint16_t bookmarkLength, const FieldDesc* fieldDescs,
                     TBaseTable* source)
    : TBaseTable(owner, collection, tableName, nullptr, nullptr, kOpenReadWrite, kShareShared),
      bookmarkLength_(bookmarkLength),
      sourceTable_(source) {
  CheckCondition(fieldCount <= kMaxFieldDescs, DBIERR_INVALIDPARAM);
  if (fieldCount > 0) CheckParam(fieldDescs);
  // A stand-alone table numbers its images in the first 4 bytes of the bookmark.
  if (source == nullptr && bookmarkLength_ > 0 && bookmarkLength_ < kCounterBookmarkSize)
    bookmarkLength_ = kCounterBookmarkSize;
  uint32_t offset = 0;
  for (uint16_t i = 0; i < fieldCount; ++i) {
    FieldDesc desc = fieldDescs[i];
    if (desc.FieldLength == 0) desc.FieldLength = DefaultFieldLength(desc);
    CheckCondition(offset + desc.FieldLength <= 0xFFFF, DBIERR_INVALIDRECSTRUCT);
    desc.FieldOffset = static_cast<uint16_t>(offset);
    desc.NullOffset = 0;  // images carry no null indicators
    offset += desc.FieldLength;
    TFieldCacheItem::Create(FieldCache(), desc, static_cast<uint16_t>(i + 1), 0, 0);
  }
  uint16_t count = 0;
  uint16_t size = 0;
  GetRecordLayout(count, size);
  recordSize_ = size;
  // The images of a cache are the source's records: they take the source's size, whatever
  // the layout of its fields, so that they are neither cut when made nor over-read when shown.
  if (source != nullptr) {
    recordSize_ = source->GetRecordBufferSize();
    CheckCondition(recordSize_ <= 0xFFFF, DBIERR_INVALIDRECSTRUCT);
  }
}

TMemTable::~TMemTable() { FreeHandle(); }

TMemTable* TMemTable::CreateStandAlone(TBapiListItem* owner, TVaderCollection* collection,
                                       const char* tableName, uint16_t fieldCount,
                                       const FieldDesc* fieldDescs) {
  return TBaseTable::Create<TMemTable>(owner, collection, tableName, fieldCount, uint16_t{0},
                                       fieldDescs, static_cast<TBaseTable*>(nullptr));
}

void TMemTable::CreateHandle() { records_ = std::make_unique<TCacheCollection>(this); }

void TMemTable::FreeHandle() {
  current_ = nullptr;
  lastAdded_ = nullptr;
  position_ = 0;
  records_.reset();
}

TCacheCollection& TMemTable::Records() const { return *CheckHandle(records_.get()); }

TMemTableRecord* TMemTable::ImageAt(int32_t position) const {
  return static_cast<TMemTableRecord*>(Records().At(position - 1));
}

void TMemTable::GetCursorProps(CursorProps& props) {
  TBaseTable::GetCursorProps(props);
  props.RecSize = static_cast<uint16_t>(recordSize_);
  props.RecBufSize = static_cast<uint16_t>(recordSize_);
}

// ---- TMemTable: images ----

TMemTableRecord* TMemTable::NewImage(const uint8_t* data, const void* bookmark) {
  std::vector<uint8_t> counter;
  if (bookmark == nullptr && sourceTable_ == nullptr) {
    // The collection's count would repeat a number once an image has been deleted.
    counter.resize(GetBookmarkSize());
    std::memcpy(counter.data(), &nextBookmark_, kCounterBookmarkSize);
    ++nextBookmark_;
    bookmark = counter.data();
  }
  lastAdded_ = new TMemTableRecord(this, &Records(), nullptr, data, bookmark,
                                   static_cast<uint16_t>(recordSize_),
                                   static_cast<uint16_t>(GetBookmarkSize()));
  return lastAdded_;
}

void TMemTable::DestroyImage(TMemTableRecord* image) {
  const int index = Records().IndexOf(image);
  if (image == nullptr || index < 0) return;  // not an image of this table
  if (image == current_) current_ = nullptr;
  if (image == lastAdded_) lastAdded_ = nullptr;
  delete image;
  // Position keeps naming the same place: after the current image is destroyed, the image
  // that took its place is the next one.
  if (index < position_ - 1) --position_;
}

void TMemTable::MakeCurrent(TMemTableRecord* image) {
  current_ = image;
  position_ = Records().IndexOf(image) + 1;
}

void TMemTable::ReadPosition() { GetRecord(dbiNOLOCK, GetDataBuffer(), nullptr); }

// ---- TMemTable: moves and reads ----

void TMemTable::FirstPhysical() {
  if (Records().Count() == 0) RaiseEOF();
  position_ = 1;
  ReadPosition();
}

void TMemTable::LastPhysical() {
  if (Records().Count() == 0) RaiseBOF();
  position_ = Records().Count();
  ReadPosition();
}

void TMemTable::StepTo(int32_t target, void (*raiseBoundary)()) {
  if (target < 1 || target > Records().Count()) raiseBoundary();
  const int32_t saved = position_;
  try {
    position_ = target;
    ReadPosition();
  } catch (const EVaderEngineError&) {
    position_ = saved;
    raiseBoundary();
  }
}

void TMemTable::NextPhysical() {
  // At a crack left by a deletion the image now at Position is the next one.
  StepTo(current_ == nullptr && position_ >= 1 ? position_ : position_ + 1, RaiseEOF);
}

void TMemTable::PriorPhysical() {
  StepTo(std::min(position_, Records().Count() + 1) - 1, RaiseBOF);
}

void TMemTable::GetRecord(TLockType /*lock*/, uint8_t* record, RecordProps* props) {
  const int32_t count = Records().Count();
  if (count == 0) RaiseEOF();
  if (position_ <= 0) position_ = 1;
  if (position_ > count) RaiseEOF();
  current_ = CheckAssigned(ImageAt(position_), DBIERR_NOCURRREC);
  if (record != nullptr && current_->Data() != nullptr)
    std::memcpy(record, current_->Data(), std::min<uint32_t>(current_->DataSize(), recordSize_));
  GetRecordProps(props);
  MarkOnRecord();
}

void TMemTable::GetRecordProps(RecordProps* props) {
  if (props != nullptr && current_ != nullptr) *props = current_->Props;
}

// ---- TMemTable: bookmarks and numbers ----

void TMemTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) {
  if (sourceTable_ != nullptr) return sourceTable_->CompareBookMarks(bookmark1, bookmark2, result);
  const auto a = platform::Load<int32_t>(CheckParam(bookmark1));
  const auto b = platform::Load<int32_t>(CheckParam(bookmark2));
  result = a < b ? -1 : (b < a ? 1 : 0);
}

void TMemTable::GetBookMark(void* bookmark) {
  CheckParam(bookmark);
  if (current_ == nullptr || current_->Bookmark() == nullptr) RaiseEngineError(DBIERR_NOCURRREC);
  const uint32_t size = GetBookmarkSize();
  std::memset(bookmark, 0, size);
  std::memcpy(bookmark, current_->Bookmark(), std::min<uint32_t>(size, current_->BookmarkSize()));
}

void TMemTable::SetToBookMark(const void* bookmark) {
  CheckParam(bookmark);
  for (int32_t i = 1; i <= Records().Count(); ++i) {
    TMemTableRecord* image = ImageAt(i);
    // A cache's inserted image holds no bookmark of the source, only a number of its own.
    if (sourceTable_ != nullptr && image->Props.UpdateStatus == kUpdInserted) continue;
    if (image->Bookmark() == nullptr) continue;
    int result = 0;
    CompareBookMarks(image->Bookmark(), bookmark, result);
    if (result != 0) continue;
    current_ = image;
    position_ = i;
    MarkOnRecord();
    return;
  }
  RaiseEOF();
}

void TMemTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType) {
  SetToBookMark(bookmark);
  if (record != nullptr && current_->Data() != nullptr)
    std::memcpy(record, current_->Data(), std::min<uint32_t>(current_->DataSize(), recordSize_));
}

void TMemTable::GetRecordCount(uint32_t& n) { n = static_cast<uint32_t>(Records().Count()); }

void TMemTable::GetSeqNo(uint32_t& n) {
  n = CheckAssigned(ImageAt(position_), DBIERR_NOCURRREC)->Props.SeqNum;
}

void TMemTable::SetToSeqNo(uint32_t n) {
  for (int32_t i = 1; i <= Records().Count(); ++i) {
    if (ImageAt(i)->Props.SeqNum != n) continue;
    current_ = ImageAt(i);
    position_ = i;
    MarkOnRecord();
    return;
  }
  RaiseEOF();
}

// ---- TMemTable: writes ----

void TMemTable::InsertRecord(TLockType, uint8_t* record) {
  CheckParam(record);
  const int32_t count = Records().Count();
  const bool positioned = position_ >= 1 && position_ <= count;
  TMemTableRecord* image = NewImage(record, nullptr);
  if (positioned) {
    // In front of the image at Position, which moves one place on with the current image.
    Records().Delete(image);
    Records().AtInsert(position_ - 1, image);
    ++position_;
  }
  image->Props.UpdateStatus = kUpdInserted;
}

void TMemTable::AppendRecord(uint8_t* record) {
  CheckParam(record);
  AddCachedRecord(record, nullptr);
  // An appended record is a new record, to be written when the cache is applied.
  if (lastAdded_ != nullptr) lastAdded_->Props.UpdateStatus = kUpdInserted;
}

void TMemTable::ModifyRecord(uint8_t* record, bool) { CacheModifiedRecord(record, nullptr); }

void TMemTable::DeleteRecord(uint8_t*) {
  if (current_ == nullptr) RaiseEngineError(DBIERR_NOCURRREC);
  DestroyImage(current_);
  state_ = TCursorState::AtCrack;
}

void TMemTable::UndeleteRecord() {
  CheckAssigned(ImageAt(position_), DBIERR_NOCURRREC)->Props.DeletedFlag = 0;
}

void TMemTable::EmptyTable() {
  ClearCachedUpdates();
  state_ = TCursorState::Unpositioned;
}

void TMemTable::NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t length, const uint8_t* src,
                              void* dest, bool& blank) {
  std::memcpy(CheckParam(dest), CheckParam(src), length);
  blank = false;
}

void TMemTable::LocalToNative(uint16_t, uint16_t, int16_t, uint16_t length, const void* src,
                              uint8_t* dest) {
  CheckParam(dest);
  if (src == nullptr)
    std::memset(dest, 0, length);
  else
    std::memcpy(dest, src, length);
}

// ---- TMemTable: the delayed-update store ----

bool TMemTable::IsUpdateKindVisible(uint8_t kinds, bool found) {
  if (!found) return (kinds & rtypUNMODIFIED) != 0;
  switch (current_ != nullptr ? current_->Props.UpdateStatus : kUpdUnmodified) {
    case kUpdModified:
      return (kinds & rtypMODIFIED) != 0;
    case kUpdInserted:
      return (kinds & rtypINSERTED) != 0;
    case kUpdDeleted:
      return (kinds & rtypDELETED) != 0;
    default:
      return true;
  }
}

void TMemTable::AddCachedRecord(const uint8_t* data, const void* bookmark) {
  TMemTableRecord* image = NewImage(data, bookmark);
  image->Props.UpdateStatus = kUpdUnmodified;
  MakeCurrent(image);
  MarkOnRecord();
}

TMemTableRecord& TMemTable::CachedImageFor(const uint8_t* data, const void* bookmark) {
  if (bookmark != nullptr) {
    try {
      SetToBookMark(bookmark);
    } catch (const EVaderEngineError&) {
      AddCachedRecord(data, bookmark);
      SetToBookMark(bookmark);
    }
  }
  return *CheckAssigned(current_, DBIERR_NOCURRREC);
}

void TMemTable::CacheModifiedRecord(const uint8_t* data, const void* bookmark) {
  TMemTableRecord& image = CachedImageFor(data, bookmark);
  image.SetData(data);
  // A record still to be inserted stays one: the insertion writes its latest data.
  if (image.Props.UpdateStatus != kUpdInserted) image.Props.UpdateStatus = kUpdModified;
}

void TMemTable::CacheDeletedRecord(const uint8_t* data, const void* bookmark) {
  TMemTableRecord& image = CachedImageFor(data, bookmark);
  image.Props.UpdateStatus = kUpdDeleted;
  image.Props.DeletedFlag = kTrue16;
}

void TMemTable::ApplyCachedUpdates() {
  std::exception_ptr refusal;
  for (TMemTableRecord* image : WriteImagesToSource(refusal)) DestroyImage(image);
  if (refusal) std::rethrow_exception(refusal);
}

std::vector<TMemTableRecord*> TMemTable::WriteImagesToSource(std::exception_ptr& refusal) {
  TBaseTable* source = CheckHandle(sourceTable_);
  // Positioning the source reads the record into its data buffer: give it one of its own.
  std::vector<uint8_t> scratch(std::max<uint32_t>(recordSize_, 1));
  LentDataBuffer lent(*source, scratch.data());
  std::vector<TMemTableRecord*> written;
  for (int32_t i = Records().Count(); i >= 1; --i) {
    TMemTableRecord* image = ImageAt(i);
    if (image == nullptr || image->Props.UpdateStatus == kUpdUnmodified) continue;
    try {
      WriteImage(*source, *image);
      written.push_back(image);
    } catch (const EVaderEngineError&) {
      // The other images are still written; the first refusal is reported.
      if (!refusal) refusal = std::current_exception();
    }
  }
  return written;
}

void TMemTable::WriteImage(TBaseTable& source, const TMemTableRecord& image) {
  switch (image.Props.UpdateStatus) {
    case kUpdModified:
      PositionOnImage(source, image);
      source.ModifyRecord(image.Data(), true);
      break;
    case kUpdInserted:
      source.AppendRecord(image.Data());
      break;
    case kUpdDeleted:
      PositionOnImage(source, image);
      source.DeleteRecord(image.Data());
      break;
    default:
      break;
  }
}

constexpr const char* kRecordGoneContext = "The record was deleted by another user.";

// A source looks a bookmark up by its record, else by its key; a record another user removed
// is then the neighbour, which must not be changed or deleted in its place.
void TMemTable::PositionOnImage(TBaseTable& source, const TMemTableRecord& image) {
  source.SetToBookMark(image.Bookmark());
  std::vector<uint8_t> here(std::max<size_t>(source.GetBookmarkSize(), image.BookmarkSize()), 0);
  source.GetBookMark(here.data());
  int result = 1;
  source.CompareBookMarks(here.data(), image.Bookmark(), result);
  if (result != 0) RaiseEngineErrorContext(DBIERR_RECDELETED, kRecordGoneContext);
}

void TMemTable::ClearCachedUpdates() {
  current_ = nullptr;
  lastAdded_ = nullptr;
  position_ = 0;
  Records().FreeAll();
}

}  // namespace vader

namespace vader {

// ---- TBaseCacheTable: construction ----

TBaseCacheTable::SourceModes TBaseCacheTable::ReadSourceModes(TBaseTable* source) {
  SourceModes modes;
  CursorProps props{};
  try {
    CheckParam(source)->GetCursorProps(props);
    modes.openMode = props.CursorOpenMode;
    modes.shareMode = props.CursorShareMode;
  } catch (const EVaderEngineError&) {
    // An unreadable source leaves both modes 0.
  }
  return modes;
}

TBaseCacheTable::TBaseCacheTable(TBaseTable* source)
    : TBaseCacheTable(CheckParam(source), ReadSourceModes(source)) {}

// The wrapper answers every name question from the source, so it keeps no name of its own:
// giving one here would have construction set it on the source again.
TBaseCacheTable::TBaseCacheTable(TBaseTable* source, SourceModes modes)
    : TBaseTable(source->Owner(), source->Collection(), nullptr, nullptr, nullptr, modes.openMode,
                 modes.shareMode),
      source_(source) {}

TBaseCacheTable::~TBaseCacheTable() { FreeHandle(); }

void TBaseCacheTable::CreateHandle() {
  CursorProps props{};
  source_->GetCursorProps(props);
  std::vector<FieldDesc> descs(kMaxFieldDescs);
  source_->GetFieldDescs(descs.data());
  sourceBookmarkSize_ = source_->GetBookmarkSize();
  // Room for the number that follows the source's bookmark in the wrapper's own.
  CheckCondition(sourceBookmarkSize_ <= 0xFFFF - sizeof(uint32_t), DBIERR_INVALIDPARAM);
  const uint16_t sourceFields = props.FieldCount;  // a copy: the record is packed
  const auto fieldCount = std::min<uint16_t>(sourceFields, kMaxFieldDescs);
  cache_.reset(TBaseTable::Create<TMemTable>(
      this, static_cast<TVaderCollection*>(nullptr), source_->GetTableName(), fieldCount,
      static_cast<uint16_t>(sourceBookmarkSize_), descs.data(), source_));
  bookmarkScratch_.assign(sourceBookmarkSize_ ? sourceBookmarkSize_ : 1, 0);
}

void TBaseCacheTable::FreeHandle() {
  ForgetInserted();
  cache_.reset();
}

TMemTable& TBaseCacheTable::Cache() const { return *CheckHandle(cache_.get()); }

const uint8_t* TBaseCacheTable::TakeSourceBookmark() {
  std::fill(bookmarkScratch_.begin(), bookmarkScratch_.end(), 0);
  source_->GetBookMark(bookmarkScratch_.data());
  return bookmarkScratch_.data();
}

// ---- TBaseCacheTable: properties ----

void TBaseCacheTable::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (propId & 0xFFFF) {
    case kPropUpdateRecordTypes:
      return PutPropValue(&updateRecordTypes_, 1, value, maxLen, len);
    case kPropGetOldRecord: {
      const uint8_t old = getOldRecord_ ? 1 : 0;
      return PutPropValue(&old, 1, value, maxLen, len);
    }
    case kPropCachedRecordCount: {
      const auto count = static_cast<uint32_t>(Cache().Records().Count());
      return PutPropValue(&count, sizeof count, value, maxLen, len);
    }
    default:
      source_->GetProp(propId, value, maxLen, len);
  }
}

void TBaseCacheTable::SetProp(uint32_t propId, int32_t value) {
  switch (propId & 0xFFFF) {
    case kPropUpdateRecordTypes:
      updateRecordTypes_ = static_cast<uint8_t>(value);
      return;
    case kPropGetOldRecord:
      getOldRecord_ = value > 0;
      return;
    default:
      source_->SetProp(propId, value);
  }
}

void TBaseCacheTable::CheckProp(uint32_t propId, bool forWrite) {
  source_->CheckProp(propId, forWrite);
}

// ---- TBaseCacheTable: inserted records ----

void TBaseCacheTable::ShowInserted(size_t index, uint8_t* record, RecordProps* props) {
  const TMemTableRecord* image = inserted_.at(index).image;
  if (record != nullptr && image->Data() != nullptr)
    std::memcpy(record, image->Data(), image->DataSize());
  if (props != nullptr) *props = image->Props;
  insertedPos_ = static_cast<int32_t>(index);
  insertedCrack_ = false;
  atEnd_ = false;
}

void TBaseCacheTable::LeaveInserted() {
  insertedPos_ = -1;
  insertedCrack_ = false;
  atEnd_ = false;
}

void TBaseCacheTable::DropCurrentInserted() {
  CheckCondition(OnInserted(), DBIERR_NOCURRREC);
  const auto at = inserted_.begin() + insertedPos_;
  Cache().DestroyImage(at->image);
  inserted_.erase(at);
  insertedCrack_ = true;
}

void TBaseCacheTable::ForgetInserted() {
  inserted_.clear();
  LeaveInserted();
}

void TBaseCacheTable::WriteCacheToSource() {
  TMemTable& cache = Cache();
  std::exception_ptr refusal;
  const std::vector<TMemTableRecord*> written = cache.WriteImagesToSource(refusal);
  for (TMemTableRecord* image : written) {
    std::erase_if(inserted_, [image](const InsertedImage& entry) { return entry.image == image; });
    cache.DestroyImage(image);
  }
  // The cursor may have stood on an inserted record that now belongs to the source.
  if (!written.empty()) LeaveInserted();
  if (refusal) std::rethrow_exception(refusal);
}

uint32_t TBaseCacheTable::BookmarkTag(const void* bookmark) const {
  return platform::Load<uint32_t>(static_cast<const uint8_t*>(CheckParam(bookmark)) +
                                  sourceBookmarkSize_);
}

// ---- TBaseCacheTable: reading through the cache ----

bool TBaseCacheTable::MergeImageOf(const void* bookmark, uint8_t* record, RecordProps* props) {
  TMemTable& cache = Cache();
  bool found = bookmark != nullptr;
  if (found) {
    try {
      cache.SetToBookMark(bookmark);
    } catch (const EVaderEngineError&) {
      found = false;  // the record has no image
    }
  }
  if (!cache.IsUpdateKindVisible(updateRecordTypes_, found)) return false;
  if (found) {
    const TMemTableRecord* image = cache.Current();
    if (!getOldRecord_ && record != nullptr && image->Data() != nullptr)
      std::memcpy(record, image->Data(), image->DataSize());
    if (props != nullptr) *props = image->Props;
  } else if (props != nullptr) {
    *props = RecordProps{};
  }
  return true;
}

bool TBaseCacheTable::MergeCachedRecord(uint8_t* record, RecordProps* props) {
  const uint8_t* bookmark = nullptr;
  try {
    bookmark = TakeSourceBookmark();
  } catch (const EVaderEngineError&) {
    // No bookmark, no image.
  }
  return MergeImageOf(bookmark, record, props);
}

void TBaseCacheTable::GoFirstInRange() {
  LeaveInserted();
  {
    LentDataBuffer lent(*source_, GetDataBuffer());
    source_->GoFirstInRange();
  }
  if (!MergeCachedRecord(GetDataBuffer(), nullptr))
    GetNextRecord(dbiNOLOCK, GetDataBuffer(), nullptr);
}

void TBaseCacheTable::GoLastInRange() {
  LeaveInserted();
  {
    LentDataBuffer lent(*source_, GetDataBuffer());
    source_->GoLastInRange();
  }
  if (!MergeCachedRecord(GetDataBuffer(), nullptr))
    GetPriorRecord(dbiNOLOCK, GetDataBuffer(), nullptr);
}

void TBaseCacheTable::GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  if (insertedPos_ >= 0) {
    const size_t next = insertedCrack_ ? insertedPos_ : insertedPos_ + 1;
    if (!InsertedVisible() || next >= inserted_.size()) RaiseEOF();
    return ShowInserted(next, record, props);
  }
  if (atEnd_) RaiseEOF();
  try {
    do {
      source_->GetNextRecord(lock, record, props);
    } while (!MergeCachedRecord(record, props));
  } catch (const EVaderEOFError&) {
    // After the source's last record come the inserted ones.
    if (!InsertedVisible() || inserted_.empty()) throw;
    ShowInserted(0, record, props);
  }
}

void TBaseCacheTable::GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  if (insertedPos_ >= 0) {
    const size_t count = inserted_.size();
    if (InsertedVisible() && insertedPos_ >= 1 && static_cast<size_t>(insertedPos_) <= count)
      return ShowInserted(insertedPos_ - 1, record, props);
    // Before the first inserted record comes the source's last one.
    source_->SetToEnd();
  } else if (atEnd_ && InsertedVisible() && !inserted_.empty()) {
    return ShowInserted(inserted_.size() - 1, record, props);
  }
  do {
    source_->GetPriorRecord(lock, record, props);
  } while (!MergeCachedRecord(record, props));
  LeaveInserted();
}

void TBaseCacheTable::GetRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  if (insertedPos_ >= 0 && InsertedVisible()) {
    // At the crack of a deleted inserted record: the next one, else the prior one.
    if (static_cast<size_t>(insertedPos_) < inserted_.size())
      return ShowInserted(insertedPos_, record, props);
    if (!inserted_.empty()) return ShowInserted(inserted_.size() - 1, record, props);
  }
  if (insertedPos_ >= 0) {
    LeaveInserted();
    source_->SetToEnd();
    return GetPriorRecord(lock, record, props);
  }
  source_->GetRecord(lock, record, props);
  if (!MergeCachedRecord(record, props)) RaiseEngineError(DBIERR_NOCURRREC);
}

// ---- TBaseCacheTable: writing into the cache ----

void TBaseCacheTable::InsertRecord(TLockType lock, uint8_t* record) {
  Cache().InsertRecord(lock, record);
  inserted_.push_back(InsertedImage{Cache().LastAdded(), nextInsertedNumber_++});
  // The cursor stays on the record just inserted while it can be seen.
  if (InsertedVisible()) ShowInserted(inserted_.size() - 1, nullptr, nullptr);
}

void TBaseCacheTable::AppendRecord(uint8_t* record) {
  Cache().AppendRecord(record);
  inserted_.push_back(InsertedImage{Cache().LastAdded(), nextInsertedNumber_++});
  if (InsertedVisible()) ShowInserted(inserted_.size() - 1, nullptr, nullptr);
}

void TBaseCacheTable::ModifyRecord(uint8_t* record, bool) {
  if (insertedPos_ >= 0) {
    CheckCondition(OnInserted(), DBIERR_NOCURRREC);
    // Still a record to insert, now with the new data.
    return inserted_[insertedPos_].image->SetData(CheckParam(record));
  }
  Cache().CacheModifiedRecord(record, TakeSourceBookmark());
}

void TBaseCacheTable::DeleteRecord(uint8_t* record) {
  // An inserted record deleted before it was applied is never written.
  if (insertedPos_ >= 0) return DropCurrentInserted();
  Cache().CacheDeletedRecord(record, TakeSourceBookmark());
}

void TBaseCacheTable::SwitchToIndex(const char*, const char*, uint16_t, bool) {
  // The cached images are found by the source's bookmarks, which belong to its current index.
  RaiseEngineError(DBIERR_NOSUCHINDEX);
}

void TBaseCacheTable::BeginDelayedUpdates(TBaseTable*&) {
  RaiseNotSupported(kCacheNotSupportedResource);  // caches do not nest
}

void TBaseCacheTable::EndDelayedUpdates(TBaseTable*& cursor) {
  cursor = source_;
  delete this;
}

void TBaseCacheTable::ApplyDelayedUpdates(uint32_t command) {
  TMemTable& cache = Cache();
  switch (command) {
    case dbiDelayedUpdCommit:
      ForgetInserted();
      cache.ClearCachedUpdates();
      break;
    case dbiDelayedUpdCancel:
      ForgetInserted();
      cache.EmptyTable();
      break;
    case dbiDelayedUpdCancelCurrent:
      if (insertedPos_ >= 0) {
        if (OnInserted()) DropCurrentInserted();
        return;
      }
      try {
        cache.SetToBookMark(TakeSourceBookmark());
      } catch (const EVaderEngineError&) {
        return;  // the current record has no image
      }
      cache.DestroyImage(cache.Current());
      break;
    case dbiDelayedUpdPrepare:
      WriteCacheToSource();
      break;
    default:
      break;
  }
}

// ---- TBaseCacheTable: bookmarks ----

uint32_t TBaseCacheTable::GetBookmarkSize() const { return sourceBookmarkSize_ + sizeof(uint32_t); }

void TBaseCacheTable::GetBookMark(void* bookmark) {
  CheckParam(bookmark);
  std::memset(bookmark, 0, GetBookmarkSize());
  if (insertedPos_ < 0) return source_->GetBookMark(bookmark);
  CheckCondition(OnInserted(), DBIERR_NOCURRREC);
  const uint32_t number = inserted_[insertedPos_].number;
  std::memcpy(static_cast<uint8_t*>(bookmark) + sourceBookmarkSize_, &number, sizeof number);
}

void TBaseCacheTable::SetToBookMark(const void* bookmark) {
  const uint32_t number = BookmarkTag(bookmark);
  if (number == 0) {
    source_->SetToBookMark(bookmark);
    return LeaveInserted();
  }
  for (size_t i = 0; i < inserted_.size(); ++i) {
    if (inserted_[i].number != number) continue;
    return ShowInserted(i, nullptr, nullptr);
  }
  RaiseEngineError(DBIERR_RECDELETED);  // applied, cancelled or deleted since
}

void TBaseCacheTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) {
  const uint32_t number = BookmarkTag(bookmark);
  if (number == 0) {
    source_->ReadAtBookmark(bookmark, record, lock);
    if (!MergeImageOf(bookmark, record, nullptr)) RaiseEngineError(DBIERR_RECDELETED);
    return;
  }
  for (const InsertedImage& entry : inserted_) {
    if (entry.number != number) continue;
    if (record != nullptr && entry.image->Data() != nullptr)
      std::memcpy(record, entry.image->Data(), entry.image->DataSize());
    return;
  }
  RaiseEngineError(DBIERR_RECDELETED);
}

void TBaseCacheTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) {
  const uint32_t number1 = BookmarkTag(bookmark1);
  const uint32_t number2 = BookmarkTag(bookmark2);
  if (number1 == 0 && number2 == 0) return source_->CompareBookMarks(bookmark1, bookmark2, result);
  // Inserted records come after the source's, in the order they were inserted.
  result = number1 < number2 ? -1 : (number2 < number1 ? 1 : 0);
}

void TBaseCacheTable::GetCursorProps(CursorProps& props) {
  source_->GetCursorProps(props);
  props.BookmarkSize = static_cast<uint16_t>(GetBookmarkSize());
}

void TBaseCacheTable::GetRecordCount(uint32_t& n) {
  source_->GetRecordCount(n);
  if (InsertedVisible()) n += static_cast<uint32_t>(inserted_.size());
}

void TBaseCacheTable::GetExactRecordCount(uint32_t& n) {
  source_->GetExactRecordCount(n);
  if (InsertedVisible()) n += static_cast<uint32_t>(inserted_.size());
}

// ---- TBaseCacheTable: positioning on the source's records ----

void TBaseCacheTable::SetToBegin() { Reposition(&TBaseTable::SetToBegin); }

void TBaseCacheTable::SetToEnd() {
  Reposition(&TBaseTable::SetToEnd);
  atEnd_ = true;
}

void TBaseCacheTable::OpenCursor() { Reposition(&TBaseTable::OpenCursor); }
void TBaseCacheTable::CloseCursor() { Reposition(&TBaseTable::CloseCursor); }
void TBaseCacheTable::FirstPhysical() { Reposition(&TBaseTable::FirstPhysical); }
void TBaseCacheTable::LastPhysical() { Reposition(&TBaseTable::LastPhysical); }
void TBaseCacheTable::NextPhysical() { Reposition(&TBaseTable::NextPhysical); }
void TBaseCacheTable::PriorPhysical() { Reposition(&TBaseTable::PriorPhysical); }
void TBaseCacheTable::EmptyTable() { Reposition(&TBaseTable::EmptyTable); }
void TBaseCacheTable::SetToSeqNo(uint32_t n) { Reposition(&TBaseTable::SetToSeqNo, n); }
void TBaseCacheTable::SetToRecordNo(uint32_t n) { Reposition(&TBaseTable::SetToRecordNo, n); }
void TBaseCacheTable::ResetRange() { Reposition(&TBaseTable::ResetRange); }

void TBaseCacheTable::GetRecordForKey(bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
                                      const void* key, uint8_t* record) {
  Reposition(&TBaseTable::GetRecordForKey, keyIsPacked, fieldCount, partialLength, key, record);
}

void TBaseCacheTable::SetRange(bool keyIsPacked, uint16_t fieldCount1, uint16_t partialLength1,
                               const void* key1, bool inclusive1, uint16_t fieldCount2,
                               uint16_t partialLength2, const void* key2, bool inclusive2) {
  Reposition(&TBaseTable::SetRange, keyIsPacked, fieldCount1, partialLength1, key1, inclusive1,
             fieldCount2, partialLength2, key2, inclusive2);
}

void TBaseCacheTable::SetToKey(uint16_t condition, bool directKey, uint16_t fieldCount,
                               uint16_t partialLength, const void* key) {
  Reposition(&TBaseTable::SetToKey, condition, directKey, fieldCount, partialLength, key);
}

void TBaseCacheTable::SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount,
                              uint16_t partialLength, const void* key, uint8_t* recordOut) {
  Reposition(&TBaseTable::SeekKey, mode, keyIsPacked, fieldCount, partialLength, key, recordOut);
}

// ---- TBaseCacheTable: everything else is the source's ----

const char* TBaseCacheTable::GetTableName() const { return source_->GetTableName(); }
void TBaseCacheTable::SetTableName(const char* name) { source_->SetTableName(name); }
const char* TBaseCacheTable::GetFileName() const { return source_->GetFileName(); }
void TBaseCacheTable::SetFileName(const char* name) { source_->SetFileName(name); }
uint32_t TBaseCacheTable::GetRecordSize() const { return source_->GetRecordSize(); }
uint32_t TBaseCacheTable::GetRecordBufferSize() { return source_->GetRecordBufferSize(); }
bool TBaseCacheTable::HasNullFlags() const { return source_->HasNullFlags(); }
void TBaseCacheTable::GetRecordLayout(uint16_t& fieldCount, uint16_t& recordSize) {
  source_->GetRecordLayout(fieldCount, recordSize);
}
void TBaseCacheTable::LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc,
                                    uint16_t& localType, uint16_t& localSize) {
  source_->LoadFieldDesc(n, fieldRecord, desc, localType, localSize);
}
void TBaseCacheTable::GetFieldDescs(FieldDesc* descs) { source_->GetFieldDescs(descs); }
void TBaseCacheTable::FindFieldDescByPos(uint16_t position, uint16_t length, FieldDesc& desc) {
  source_->FindFieldDescByPos(position, length, desc);
}
void TBaseCacheTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest,
                                    bool& blank) {
  source_->GetFieldValue(item, record, dest, blank);
}
void TBaseCacheTable::PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) {
  source_->PutFieldValue(item, record, src);
}
void TBaseCacheTable::GetField(uint16_t n, uint8_t* record, void* dest, bool& blank) {
  source_->GetField(n, record, dest, blank);
}
void TBaseCacheTable::PutField(uint16_t n, uint8_t* record, const void* src) {
  source_->PutField(n, record, src);
}
void TBaseCacheTable::VerifyField(uint16_t n, uint8_t* record, bool& blank) {
  source_->VerifyField(n, record, blank);
}
void TBaseCacheTable::InitRecord(uint8_t* record) { source_->InitRecord(record); }
void TBaseCacheTable::CompareKeys(const void* key1, const void* key2, uint16_t fieldCount,
                                  uint16_t partialLength, int& result) {
  source_->CompareKeys(key1, key2, fieldCount, partialLength, result);
}
void TBaseCacheTable::ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                                       uint16_t partialLength, uint16_t& keyLength) {
  source_->ExtractKeyFields(record, key, fieldCount, partialLength, keyLength);
}
void TBaseCacheTable::ExtractKey(const uint8_t* record, uint8_t* key) {
  source_->ExtractKey(record, key);
}
void TBaseCacheTable::CloneCursor(bool readOnly, bool uniDirectional, TBaseTable*& newCursor) {
  source_->CloneCursor(readOnly, uniDirectional, newCursor);
}
void TBaseCacheTable::GetRecordProps(RecordProps* props) { source_->GetRecordProps(props); }
void TBaseCacheTable::GetVchkDesc(uint16_t n, void* desc) { source_->GetVchkDesc(n, desc); }
void TBaseCacheTable::AcqTableLock(TLockType lock) { source_->AcqTableLock(lock); }
void TBaseCacheTable::RelTableLock(TLockType lock) { source_->RelTableLock(lock); }
void TBaseCacheTable::RelRecordLock(bool all) { source_->RelRecordLock(all); }
void TBaseCacheTable::SetLockMode(uint32_t mode) { source_->SetLockMode(mode); }
void TBaseCacheTable::UndeleteRecord() { source_->UndeleteRecord(); }
void TBaseCacheTable::GetSeqNo(uint32_t& n) { source_->GetSeqNo(n); }
void TBaseCacheTable::ForceReread() { source_->ForceReread(); }
uint16_t TBaseCacheTable::GetSearchMode(bool inclusive, bool isStart) const {
  return source_->GetSearchMode(inclusive, isStart);
}
void TBaseCacheTable::GetIndexDesc(uint16_t n, IndexDesc& desc) { source_->GetIndexDesc(n, desc); }
void TBaseCacheTable::GetIndexDescs(IndexDesc* descs) { source_->GetIndexDescs(descs); }
void TBaseCacheTable::AddIndex(const IndexDesc& desc, const char* keyViolName) {
  source_->AddIndex(desc, keyViolName);
}
void TBaseCacheTable::DeleteIndex(const char* name, const char* tag, uint16_t indexNo) {
  source_->DeleteIndex(name, tag, indexNo);
}
void TBaseCacheTable::OpenBlob(uint8_t* record, uint16_t field, uint32_t openMode) {
  source_->OpenBlob(record, field, openMode);
}
void TBaseCacheTable::GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) {
  source_->GetBlobSize(record, field, size);
}
void TBaseCacheTable::GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                              void* dest, uint32_t& read) {
  source_->GetBlob(record, field, offset, length, dest, read);
}
void TBaseCacheTable::PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                              const void* src) {
  source_->PutBlob(record, field, offset, length, src);
}
void TBaseCacheTable::TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) {
  source_->TruncateBlob(record, field, length);
}
void TBaseCacheTable::FreeBlob(uint8_t* record, uint16_t field) {
  source_->FreeBlob(record, field);
}
void TBaseCacheTable::AddFilter(uintptr_t clientData, uint16_t priority, bool canAbort,
                                const void* expression, TFilterProc callback,
                                TFilterListItem*& filter) {
  source_->AddFilter(clientData, priority, canAbort, expression, callback, filter);
}
void TBaseCacheTable::DropFilter(TFilterListItem* filter) { source_->DropFilter(filter); }
void TBaseCacheTable::ActivateFilter(TFilterListItem* filter) { source_->ActivateFilter(filter); }
void TBaseCacheTable::DeactivateFilter(TFilterListItem* filter) {
  source_->DeactivateFilter(filter);
}
void TBaseCacheTable::GetFilterInfo(TFilterListItem* filter, FilterInfo& info) {
  source_->GetFilterInfo(filter, info);
}

}  // namespace vader
