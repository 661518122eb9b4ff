// The blob stream of BseMain: one blob field of one record read and written through the
// engine's blob operations, with complete reads of the active row kept in its blob cache.

#include <algorithm>
#include <cstring>

#include "components/BseMainTable.h"
#include "framework/DBConsts.h"
#include "framework/Dialogs.h"

namespace vader {

using S = TDataSetState;

TttBlobStream::TttBlobStream(TField* field, TBlobStreamMode mode)
    : field_(field), dataSet_(dynamic_cast<TttBDEDataset*>(field->DataSet())), mode_(mode) {
  if (!dataSet_) DatabaseError(dbconsts::SDataSetClosed);
}

void TttBlobStream::Open() {
  buffer_ = dataSet_->CurrentRecordBuffer();
  fieldNo_ = static_cast<uint16_t>(field_->FieldNo());
  if (!buffer_ || !dataSet_->Handle()) return;  // no record: reads and writes move nothing
  if (dataSet_->State() == S::dsFilter)
    DatabaseError(FormatMessage(dbconsts::SNoFieldAccess, field_->DisplayLabel()), dataSet_);
  if (!FieldModified()) {
    if (mode_ == TBlobStreamMode::bmRead) {
      cached_ = buffer_ == dataSet_->ActiveBuffer() && HasCacheEntry() && !CacheEntry().empty();
    } else {
      ClearCacheEntry();
      if (field_->ReadOnly())
        DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, field_->DisplayLabel()), dataSet_);
      if (dataSet_->State() != S::dsEdit && dataSet_->State() != S::dsInsert)
        DatabaseError(dbconsts::SNotEditing, dataSet_);
    }
    if (!cached_) {
      TSessionLock lock(*dataSet_->DBSession());
      TVirtEng* engine = Engine();
      if (dataSet_->State() == S::dsBrowse) {
        dataSet_->SyncCursor();
        const uint16_t status = engine->GetRecord(dataSet_->Handle(), dbiNOLOCK, Record(), nullptr);
        if (status != 0 && ReadRecordFirst()) return;
      }
      dataSet_->Check(engine->OpenBlob(dataSet_->Handle(), Record(), fieldNo_,
                                       mode_ == TBlobStreamMode::bmRead ? kOpenReadOnly
                                                                        : kOpenReadWrite));
    }
  }
  opened_ = true;
  if (mode_ == TBlobStreamMode::bmWrite) Truncate();
}

TttBlobStream::~TttBlobStream() {
  if (!opened_) return;
  try {
    if (modified_) MarkFieldModified();
    // The binding is gone by now; the dataset reaches the same engine.
    if (!FieldModified() && !cached_ && dataSet_->Handle()) {
      TSessionLock lock(*dataSet_->DBSession());
      dataSet_->Engine()->FreeBlob(dataSet_->Handle(), Record(), fieldNo_);
    }
    if (!modified_) return;
    // Through the field layer, so the record counts as changed and the controls hear of it.
    if (dynamic_cast<TttTable*>(dataSet_))
      dataSet_->WriteFieldData(field_, &kBlobWrittenByStream);
    else
      dataSet_->DataEvent(TDataEvent::deFieldChange, field_);
  } catch (const std::exception& e) {
    MessageDlg(e.what(), TMsgDlgType::mtError, mbOK, 0);
  }
}

uint8_t* TttBlobStream::Record() const { return dataSet_->FieldRecord(*buffer_); }

bool TttBlobStream::IsMemo() const {
  return field_->DataType() == TFieldType::ftMemo || field_->DataType() == TFieldType::ftFmtMemo;
}

std::string& TttBlobStream::CacheEntry() const { return dataSet_->blobCache_[buffer_][fieldNo_]; }

bool TttBlobStream::HasCacheEntry() const {
  auto row = dataSet_->blobCache_.find(buffer_);
  return row != dataSet_->blobCache_.end() && row->second.count(fieldNo_) != 0;
}

void TttBlobStream::ClearCacheEntry() const {
  auto row = dataSet_->blobCache_.find(buffer_);
  if (row != dataSet_->blobCache_.end()) row->second.erase(fieldNo_);
}

bool TttBlobStream::FieldModified() const {
  const auto* table = dynamic_cast<const TttTable*>(dataSet_);
  return table && std::find(table->modifiedBlobs_.begin(), table->modifiedBlobs_.end(), field_) !=
                      table->modifiedBlobs_.end();
}

void TttBlobStream::MarkFieldModified() {
  auto* table = dynamic_cast<TttTable*>(dataSet_);
  if (table && !FieldModified()) table->modifiedBlobs_.push_back(field_);
}

std::int64_t TttBlobStream::Read(void* buffer, std::int64_t count) {
  if (!opened_ || count <= 0) return 0;
  if (cached_) {
    const std::string& contents = CacheEntry();
    const std::int64_t n =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(contents.size()) - position_, 0, count);
    if (n > 0) std::memcpy(buffer, contents.data() + position_, static_cast<std::size_t>(n));
    position_ += static_cast<int32_t>(n);
    return n;
  }
  const auto length = static_cast<uint32_t>(std::min<std::int64_t>(count, INT32_MAX));
  TSessionLock lock(*dataSet_->DBSession());
  TVirtEng* engine = Engine();
  uint32_t read = 0;
  const uint16_t status = engine->GetBlob(dataSet_->Handle(), Record(), fieldNo_,
                                          static_cast<uint32_t>(std::max(position_, 0)), length,
                                          buffer, read);
  if (status == kStatusInvalidBlobOffset) return 0;
  if (status != 0 && status != kStatusEndOfBlob) dataSet_->Check(status);
  read = std::min(read, length);
  auto* bytes = static_cast<char*>(buffer);
  if (buffer_ == dataSet_->ActiveBuffer() && mode_ == TBlobStreamMode::bmRead && !FieldModified() &&
      position_ == accumulated_) {
    accumulator_.append(bytes, read);
    accumulated_ += static_cast<int32_t>(read);
    uint32_t size = 0;
    if (engine->GetBlobSize(dataSet_->Handle(), Record(), fieldNo_, size) == 0 &&
        static_cast<uint32_t>(accumulated_) >= size) {
      CacheEntry() = std::move(accumulator_);
      accumulator_.clear();
      cached_ = true;
      engine->FreeBlob(dataSet_->Handle(), Record(), fieldNo_);
    }
  }
  position_ += static_cast<int32_t>(read);
  return read;
}

std::int64_t TttBlobStream::Write(const void* buffer, std::int64_t count) {
  if (!opened_ || count <= 0) return 0;
  const auto length = static_cast<uint32_t>(std::min<std::int64_t>(count, INT32_MAX));
  TSessionLock lock(*dataSet_->DBSession());
  TVirtEng* engine = Engine();
  dataSet_->Check(engine->PutBlob(dataSet_->Handle(), Record(), fieldNo_,
                                  static_cast<uint32_t>(std::max(position_, 0)), length, buffer));
  // A memo lives in the record and keeps what fits its field: report only the bytes it kept,
  // so a text cut short is not taken for written.
  uint32_t stored = length;
  if (IsMemo()) {
    uint32_t size = 0;
    dataSet_->Check(engine->GetBlobSize(dataSet_->Handle(), Record(), fieldNo_, size));
    stored = static_cast<uint32_t>(
        std::clamp<int64_t>(int64_t{size} - std::max(position_, 0), 0, length));
  }
  position_ += static_cast<int32_t>(stored);
  modified_ = true;
  ClearCacheEntry();
  return stored;
}

std::int64_t TttBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = position_;
  if (origin == TSeekOrigin::soEnd) base = Size();
  position_ = static_cast<int32_t>(std::clamp<std::int64_t>(base + offset, 0, INT32_MAX));
  return position_;
}

std::int64_t TttBlobStream::Size() {
  if (!opened_) return 0;
  if (cached_) return static_cast<std::int64_t>(CacheEntry().size());
  TSessionLock lock(*dataSet_->DBSession());
  uint32_t size = 0;
  dataSet_->Check(Engine()->GetBlobSize(dataSet_->Handle(), Record(), fieldNo_, size));
  return size;
}

void TttBlobStream::Truncate() {
  if (!opened_) return;
  TSessionLock lock(*dataSet_->DBSession());
  dataSet_->Check(Engine()->TruncateBlob(dataSet_->Handle(), Record(), fieldNo_,
                                         static_cast<uint32_t>(std::max(position_, 0))));
  modified_ = true;
  ClearCacheEntry();
}

}  // namespace vader
