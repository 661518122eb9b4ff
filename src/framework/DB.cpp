#include "framework/DB.h"

#include <algorithm>
#include <cstring>

#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"
#include "platform/TextCase.h"

namespace vader {

using S = TDataSetState;

namespace {

bool IsEditing(TDataSetState state) { return state == S::dsEdit || state == S::dsInsert; }

bool IsWriteState(TDataSetState state) {
  switch (state) {
    case S::dsEdit:
    case S::dsInsert:
    case S::dsSetKey:
    case S::dsCalcFields:
    case S::dsFilter:
    case S::dsNewValue:
    case S::dsInternalCalc:
      return true;
    default:
      return false;
  }
}

double ValueNumber(const TValue& value) {
  if (auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&value)) return *d;
  return 0;
}

bool ValueMatches(const TField* field, const TValue& value, TLocateOptions options, bool last) {
  if (std::holds_alternative<std::monostate>(value)) return field->IsNull();
  if (field->IsNull()) return false;
  if (std::holds_alternative<std::string>(value)) {
    std::string have = field->AsString();
    std::string want = std::get<std::string>(value);
    if (options & loCaseInsensitive) {
      have = platform::LocaleFoldKey(have);
      want = platform::LocaleFoldKey(want);
    }
    if (last && (options & loPartialKey)) return have.compare(0, want.size(), want) == 0;
    return have == want;
  }
  if (field->DataType() == TFieldType::ftBoolean)
    return field->AsBoolean() == (ValueNumber(value) != 0);
  return field->AsFloat() == ValueNumber(value);
}

}  // namespace

// Puts the dataset in a state for the lifetime of the object and restores the old one.
class TDataSet::TempState {
 public:
  TempState(TDataSet& dataSet, TDataSetState state) : dataSet_(dataSet), saved_(dataSet.state_) {
    dataSet.state_ = state;
  }
  ~TempState() { dataSet_.state_ = saved_; }
  TempState(const TempState&) = delete;
  TempState& operator=(const TempState&) = delete;

 private:
  TDataSet& dataSet_;
  TDataSetState saved_;
};

// ---- lifetime and opening ----

TDataSet::~TDataSet() {
  // A descendant closes its storage in its own destructor; what is left is the base's part.
  // The links hear first, so none keeps a field that is about to go.
  state_ = S::dsInactive;
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) source->SetDataSet(nullptr);
  buffers_.clear();
  DestroyDefaultFields();
  for (TField* field : std::vector<TField*>(fields_)) field->SetDataSet(nullptr);
}

void TDataSet::SetActive(bool active) {
  if (Loading()) {
    streamedActive_ = active;
    return;
  }
  if (active == Active()) return;
  if (active) {
    if (BeforeOpen) BeforeOpen(this);
    OpenCursor();
    state_ = S::dsBrowse;
    RowsChanged();
    try {
      ReadFromStart();
    } catch (...) {
      state_ = S::dsInactive;  // a storage that cannot read its first rows is not open
      CloseCursor();
      throw;
    }
    DataEvent(TDataEvent::deUpdateState);
    if (AfterOpen) AfterOpen(this);
  } else {
    if (BeforeClose) BeforeClose(this);
    // An unposted edit is dropped (its lock released), never written behind the user's back.
    if (IsEditing(state_)) InternalCancel();
    modified_ = false;
    blockReadSize_ = 0;
    SetState(S::dsInactive);
    CloseCursor();
    if (AfterClose) AfterClose(this);
  }
}

void TDataSet::Loaded() {
  if (streamedActive_) SetActive(true);
}

void TDataSet::OpenCursor() {
  try {
    InternalOpen();
    if (fields_.empty()) CreateDefaultFields();
    BindFields();
    buffers_.clear();
    bufferCount_ = 0;
    SetBufferCount(1);
    UpdateBufferCount();
  } catch (...) {
    CloseCursor();
    throw;
  }
}

void TDataSet::CloseCursor() {
  buffers_.clear();
  bufferCount_ = 0;
  ClearBuffers();
  try {
    InternalClose();
  } catch (...) {
    DestroyDefaultFields();
    throw;
  }
  DestroyDefaultFields();
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbconsts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(dbconsts::SDataSetOpen, this);
}

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  if (!IsEditing(value)) oldBuffer_.reset();
  DataEvent(TDataEvent::deUpdateState);
}

// ---- fields ----

TField* TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) DatabaseError(dbconsts::SFieldIndexError, this);
  return fields_[static_cast<std::size_t>(index)];
}

TField* TDataSet::FindField(const std::string& name) const {
  for (TField* field : fields_)
    if (platform::EqualsIgnoringAsciiCase(field->FieldName(), name)) return field;
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
  if (TField* field = FindField(name)) return field;
  DatabaseError(FormatMessage(dbconsts::SFieldNotFound, name), this);
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
  std::vector<TField*> list;
  for (const std::string& name : SplitFieldNames(names)) list.push_back(FieldByName(name));
  return list;
}

// A field that joins an open dataset is unbound until the next open: it reads as null and
// refuses values. Links re-resolve their fields whenever the list changes.
void TDataSet::AddField(TField* field) {
  field->calcOffset_ = TField::kUnbound;
  if (Active()) field->fieldNo_ = 0;
  fields_.push_back(field);
  if (Active()) DataEvent(TDataEvent::deLayoutChange);
}

void TDataSet::RemoveField(TField* field) {
  fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
  if (Active()) DataEvent(TDataEvent::deLayoutChange);
}

// Fields made on opening are owned by the dataset and go again when it closes.
void TDataSet::CreateDefaultFields() {
  for (const TFieldDef& def : fieldDefs_) {
    if (def.attributes & faHiddenCol) continue;
    TField* field = CreateField(def.dataType, this);
    field->SetFieldName(def.name);
    if (def.size != 0) field->SetSize(def.size);
    if (auto* number = dynamic_cast<TFloatField*>(field)) {
      if (def.precision > 0) number->SetPrecision(def.precision);
      number->SetScale(def.scale);
      number->SetSinglePrecision(def.singlePrecision);
    }
    field->SetRequired(def.Required() && def.dataType != TFieldType::ftAutoInc);
    field->SetReadOnly((def.attributes & faReadonly) != 0);
    if (def.internalCalcField) field->SetFieldKind(TFieldKind::fkInternalCalc);
    field->SetDataSet(this);
  }
  defaultFields_ = true;
}

void TDataSet::DestroyDefaultFields() {
  if (!defaultFields_) return;
  defaultFields_ = false;
  for (TField* field : std::vector<TField*>(fields_))
    if (field->Owner() == this) delete field;
}

// Data fields take their numbers from the definitions; calculated and lookup fields get
// their place in the calculated area.
void TDataSet::BindFields() {
  calcFieldsSize_ = 0;
  hasCalcFields_ = false;
  for (TField* field : fields_) {
    if (field->Calculated()) {
      field->calcOffset_ = calcFieldsSize_;
      calcFieldsSize_ += 1 + field->DataSize();
      hasCalcFields_ = true;
      continue;
    }
    const int index = fieldDefs_.IndexOf(field->FieldName());
    if (index < 0) DatabaseError(FormatMessage(dbconsts::SFieldNotFound, field->FieldName()), this);
    const TFieldDef& def = fieldDefs_[static_cast<std::size_t>(index)];
    field->SetFieldNo(def.fieldNo > 0 ? def.fieldNo : index + 1);
  }
}

// ---- the record window ----

std::unique_ptr<TRecordBuffer> TDataSet::NewBuffer() const {
  auto buffer = std::make_unique<TRecordBuffer>();
  buffer->data.assign(RecordBufferSize(), 0);
  buffer->calc.assign(calcFieldsSize_, 0);
  return buffer;
}

TRecordBuffer* TDataSet::ActiveBuffer() const {
  return buffers_.empty() ? nullptr : buffers_[static_cast<std::size_t>(activeRecord_)].get();
}

void TDataSet::UpdateBufferCount() {
  if (buffers_.empty()) return;  // closed; opening sizes the window
  int wanted = 1;
  for (TDataSource* source : dataSources_)
    for (TDataLink* link : source->links_) wanted = std::max(wanted, link->bufferCount_);
  SetBufferCount(wanted);
}

// Changes the window size keeping the active record inside it; a larger window is filled
// from the storage (after the last row first, then before the first).
void TDataSet::SetBufferCount(int count) {
  count = std::max(count, 1);
  if (count == bufferCount_) return;
  if (count < recordCount_) {
    const int dropFront = std::max(0, activeRecord_ - count + 1);
    std::rotate(buffers_.begin(), buffers_.begin() + dropFront, buffers_.begin() + recordCount_);
    activeRecord_ -= dropFront;
    recordCount_ = count;
    currentRecord_ = -1;
  }
  const bool grows = count > bufferCount_;
  while (static_cast<int>(buffers_.size()) < count + 1) buffers_.push_back(NewBuffer());
  buffers_.resize(static_cast<std::size_t>(count) + 1);
  bufferCount_ = count;
  if (!grows || state_ != S::dsBrowse || recordCount_ == 0) return;
  const int before = recordCount_;
  FillForward();
  while (recordCount_ < bufferCount_ && FetchPrior()) ++activeRecord_;
  if (recordCount_ != before) DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::ClearBuffers() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
  bof_ = eof_ = false;
}

void TDataSet::InitRecord(TRecordBuffer& buffer) {
  InternalInitRecord(buffer);
  std::fill(buffer.calc.begin(), buffer.calc.end(), 0);
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord_ == index) return;
  TRecordBuffer& buffer = *buffers_[static_cast<std::size_t>(index)];
  if (GetBookmarkFlag(buffer) == TBookmarkFlag::bfCurrent) InternalSetToRecord(buffer);
  currentRecord_ = index;
}

// Appends the record after the last buffered one; a full window drops its first row.
bool TDataSet::FetchNext() {
  if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
  TRecordBuffer& target = *buffers_[static_cast<std::size_t>(recordCount_)];
  if (GetRecord(target, TGetMode::gmNext, true) != TGetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  CalculateFields(target);
  if (recordCount_ == bufferCount_)
    std::rotate(buffers_.begin(), buffers_.begin() + 1, buffers_.end());
  else
    ++recordCount_;
  currentRecord_ = recordCount_ - 1;
  return true;
}

// Puts the record before the first buffered one in front; a full window drops its last row.
bool TDataSet::FetchPrior() {
  if (recordCount_ > 0) SetCurrentRecord(0);
  TRecordBuffer& target = *buffers_.back();
  if (GetRecord(target, TGetMode::gmPrior, true) != TGetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  CalculateFields(target);
  std::rotate(buffers_.begin(), buffers_.end() - 1, buffers_.end());
  if (recordCount_ < bufferCount_) ++recordCount_;
  currentRecord_ = 0;
  return true;
}

void TDataSet::ReadFromStart() {
  ClearBuffers();
  InternalFirst();
  FillForward();
  bof_ = true;
  eof_ = recordCount_ == 0;
}

void TDataSet::FillForward() {
  while (recordCount_ < bufferCount_ && FetchNext()) {
  }
}

// The record at the storage position, else the one after it, else the one before it.
bool TDataSet::ReadCurrentInto(TRecordBuffer& buffer) {
  for (TGetMode mode : {TGetMode::gmCurrent, TGetMode::gmNext, TGetMode::gmPrior}) {
    if (GetRecord(buffer, mode, false) == TGetResult::grOK) {
      CalculateFields(buffer);
      return true;
    }
  }
  return false;
}

void TDataSet::ResyncFromStorage(bool center) {
  const int keepBefore = center ? (bufferCount_ - 1) / 2 : activeRecord_;
  ClearBuffers();
  if (!ReadCurrentInto(*buffers_[0])) {
    InternalFirst();
    bof_ = eof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    return;
  }
  recordCount_ = 1;
  currentRecord_ = 0;
  for (int i = 0; i < keepBefore && FetchPrior(); ++i) ++activeRecord_;
  FillForward();
  while (recordCount_ < bufferCount_ && FetchPrior()) ++activeRecord_;
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::Resync() {
  CheckActive();
  RowsChanged();
  if (recordCount_ == 0) {
    InternalFirst();
  } else if (const TBookmark active = GetBookmarkData(*ActiveBuffer()); BookmarkValid(active)) {
    currentRecord_ = -1;
    SetCurrentRecord(activeRecord_);
  }
  // A row removed from the storage meanwhile: the storage stays where it is, and the
  // window is read around its nearest record.
  ResyncFromStorage(false);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  InternalRefresh();
  Resync();
}

// ---- navigation ----

void TDataSet::First() {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(this);
  ReadFromStart();
  DataEvent(TDataEvent::deDataSetChange);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::Last() {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(this);
  ClearBuffers();
  InternalLast();
  while (recordCount_ < bufferCount_ && FetchPrior()) {
  }
  activeRecord_ = std::max(recordCount_ - 1, 0);
  eof_ = true;
  bof_ = recordCount_ == 0;
  DataEvent(TDataEvent::deDataSetChange);
  if (AfterScroll) AfterScroll(this);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if ((distance <= 0 || eof_) && (distance >= 0 || bof_)) return 0;
  if (BeforeScroll) BeforeScroll(this);
  bof_ = eof_ = false;
  const int oldActive = activeRecord_;
  int moved = 0;
  int shift = 0;  // rows the window moved: positive forwards
  for (; distance > 0; --distance, ++moved) {
    if (activeRecord_ < recordCount_ - 1) {
      ++activeRecord_;
      continue;
    }
    const bool full = recordCount_ == bufferCount_;
    if (!FetchNext()) {
      eof_ = true;
      break;
    }
    full ? ++shift : ++activeRecord_;
  }
  for (; distance < 0; ++distance, --moved) {
    if (activeRecord_ > 0) {
      --activeRecord_;
      continue;
    }
    if (!FetchPrior()) {
      bof_ = true;
      break;
    }
    --shift;
  }
  if (shift != 0 || activeRecord_ != oldActive)
    DataEvent(TDataEvent::deDataSetScroll, nullptr, shift);
  if (AfterScroll) AfterScroll(this);
  return moved;
}

// ---- editing ----

void TDataSet::Edit() {
  if (IsEditing(state_)) return;
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbconsts::SDataSetReadOnly, this);
  if (recordCount_ == 0) return Insert();
  if (BeforeEdit) BeforeEdit(this);
  SetCurrentRecord(activeRecord_);
  InternalEdit();
  oldBuffer_ = std::make_unique<TRecordBuffer>(*ActiveBuffer());
  modified_ = false;
  SetState(S::dsEdit);
  DataEvent(TDataEvent::deRecordChange);
  if (AfterEdit) AfterEdit(this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbconsts::SDataSetReadOnly, this);
  if (BeforeInsert) BeforeInsert(this);
  if (BeforeScroll) BeforeScroll(this);
}

void TDataSet::EndInsertAppend() {
  InternalInsert();
  bof_ = eof_ = false;
  SetState(S::dsInsert);
  if (OnNewRecord) OnNewRecord(this);
  modified_ = false;
  DataEvent(TDataEvent::deDataSetChange);
  if (AfterInsert) AfterInsert(this);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::Insert() {
  BeginInsertAppend();
  if (recordCount_ == 0) {
    activeRecord_ = 0;
    recordCount_ = 1;
  } else {
    // The storage stays on the active record, before which the new one will be written;
    // the rows from the active one move down and the spare buffer takes the active place.
    SetCurrentRecord(activeRecord_);
    std::rotate(buffers_.begin() + activeRecord_, buffers_.end() - 1, buffers_.end());
    if (recordCount_ < bufferCount_) ++recordCount_;
    currentRecord_ = -1;
  }
  InitRecord(*ActiveBuffer());
  SetBookmarkFlag(*ActiveBuffer(), TBookmarkFlag::bfInserted);
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  InternalLast();
  while (recordCount_ < bufferCount_ - 1 && FetchPrior()) {
  }
  TRecordBuffer& buffer = *buffers_[static_cast<std::size_t>(recordCount_)];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfEOF);
  activeRecord_ = recordCount_++;
  currentRecord_ = -1;
  EndInsertAppend();
}

void TDataSet::AddRecord(const std::vector<TValue>& values, bool append) {
  append ? Append() : Insert();
  try {
    for (std::size_t i = 0; i < values.size(); ++i)
      Fields(static_cast<int>(i))->SetValue(values[i]);
    Post();
  } catch (...) {
    Cancel();
    throw;
  }
}

TValue TDataSet::FieldValueIn(const TField* field, TDataSetState state) {
  TempState temp(*this, state);
  return field->Value();
}

void TDataSet::SetFieldValueIn(TField* field, TDataSetState state, const TValue& value) {
  // Outside an edit there is no new value: writing would change a browsed row in place.
  if (!IsEditing(state_) && state_ != state) DatabaseError(dbconsts::SNotEditing, this);
  TempState temp(*this, state);
  field->SetValue(value);
}

void TDataSet::UpdateRecord() {
  if (!IsWriteState(state_)) DatabaseError(dbconsts::SNotEditing, this);
  DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields_)
    if (field->Required() && field->FieldKind() == TFieldKind::fkData && field->IsNull())
      DatabaseError(FormatMessage(dbconsts::SFieldRequired, field->DisplayLabel()), this);
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ == S::dsSetKey) {
    PostKeyBuffer(true);
    SetState(S::dsBrowse);
    return;
  }
  if (!IsEditing(state_)) return;
  if (BeforePost) BeforePost(this);
  CheckRequiredFields();
  InternalPost();
  RowsChanged();
  modified_ = false;
  state_ = S::dsBrowse;
  oldBuffer_.reset();
  ResyncFromStorage(false);
  DataEvent(TDataEvent::deUpdateState);
  if (AfterPost) AfterPost(this);
}

// Takes the active buffer out of the window (an inserted row that is given up).
void TDataSet::RemoveActiveBuffer() {
  std::rotate(buffers_.begin() + activeRecord_, buffers_.begin() + activeRecord_ + 1,
              buffers_.end());
  --recordCount_;
  activeRecord_ = std::max(std::min(activeRecord_, recordCount_ - 1), 0);
  currentRecord_ = -1;
}

void TDataSet::Cancel() {
  if (state_ == S::dsSetKey) {
    PostKeyBuffer(false);
    SetState(S::dsBrowse);
    return;
  }
  if (!IsEditing(state_)) return;
  if (BeforeCancel) BeforeCancel(this);
  const bool wasInsert = state_ == S::dsInsert;
  InternalCancel();
  modified_ = false;
  state_ = S::dsBrowse;
  oldBuffer_.reset();
  if (wasInsert) RemoveActiveBuffer();
  if (recordCount_ == 0) {
    InternalFirst();
  } else {
    currentRecord_ = -1;
    SetCurrentRecord(activeRecord_);
  }
  ResyncFromStorage(false);
  DataEvent(TDataEvent::deUpdateState);
  if (AfterCancel) AfterCancel(this);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == S::dsInsert) return Cancel();
  if (recordCount_ == 0) DatabaseError(dbconsts::SDataSetEmpty, this);
  if (!CanModify()) DatabaseError(dbconsts::SDataSetReadOnly, this);
  if (state_ == S::dsEdit) Cancel();
  if (BeforeDelete) BeforeDelete(this);
  if (BeforeScroll) BeforeScroll(this);
  currentRecord_ = -1;
  SetCurrentRecord(activeRecord_);
  InternalDelete();
  RowsChanged();
  currentRecord_ = -1;
  ResyncFromStorage(false);
  if (AfterDelete) AfterDelete(this);
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode);
  if (IsEditing(state_)) {
    UpdateRecord();
    modified_ ? Post() : Cancel();
  } else if (state_ == S::dsSetKey) {
    Post();
  }
}

// ---- bookmarks ----

TBookmark TDataSet::GetBookmark() const {
  if (!Active() || recordCount_ == 0) return {};
  const TRecordBuffer& buffer = *ActiveBuffer();
  if (GetBookmarkFlag(buffer) != TBookmarkFlag::bfCurrent) return {};
  return GetBookmarkData(buffer);
}

TBookmarkFlag TDataSet::ActiveBookmarkFlag() const {
  if (!Active() || (recordCount_ == 0 && state_ != S::dsInsert)) return TBookmarkFlag::bfBOF;
  return GetBookmarkFlag(*ActiveBuffer());
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(this);
  InternalGotoBookmark(bookmark);
  ResyncFromStorage(true);
  if (AfterScroll) AfterScroll(this);
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active() || bookmark.empty()) return false;
  const bool valid = InternalBookmarkValid(bookmark);
  CursorPosChanged();
  return valid;
}

bool TDataSet::InternalBookmarkValid(const TBookmark&) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.empty() || b.empty()) return a.empty() ? (b.empty() ? 0 : -1) : 1;
  const int r = a.compare(b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

// ---- the storage of the base class: no records, not modifiable ----

TGetResult TDataSet::GetRecord(TRecordBuffer&, TGetMode mode, bool) {
  return mode == TGetMode::gmPrior ? TGetResult::grBOF : TGetResult::grEOF;
}

void TDataSet::InternalInitRecord(TRecordBuffer& buffer) {
  std::fill(buffer.data.begin(), buffer.data.end(), 0);
}

void TDataSet::InternalGotoBookmark(const TBookmark&) { DatabaseError("Record not found", this); }

bool TDataSet::GetFieldData(const TField*, const TRecordBuffer&, void*) const { return false; }

void TDataSet::SetFieldData(TField*, TRecordBuffer&, const void*) {
  DatabaseError(dbconsts::SDataSetReadOnly, this);
}

void TDataSet::InternalPost() { DatabaseError(dbconsts::SDataSetReadOnly, this); }
void TDataSet::InternalDelete() { DatabaseError(dbconsts::SDataSetReadOnly, this); }

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode) {
  DatabaseError(FormatMessage(dbconsts::SNotABlobField, field->DisplayLabel()), this);
}

// ---- field data ----

TRecordBuffer* TDataSet::CurrentRecordBuffer() const {
  switch (state_) {
    case S::dsOldValue:
      if (oldBuffer_) return oldBuffer_.get();
      return recordCount_ == 0 ? nullptr : ActiveBuffer();
    case S::dsBrowse:
    case S::dsBlockRead:
    case S::dsCurValue:
    case S::dsNewValue:
      return recordCount_ == 0 ? nullptr : ActiveBuffer();
    case S::dsEdit:
    case S::dsInsert:
      return ActiveBuffer();
    case S::dsCalcFields:
    case S::dsInternalCalc:
      return calcBuffer_;
    case S::dsFilter:
      return filterBuffer_;
    case S::dsSetKey:
      return KeyRecordBuffer();
    default:
      return nullptr;
  }
}

// True when Field has its place in the calculated area of Buffer.
static bool InCalcArea(const TField* field, std::size_t at, const TRecordBuffer& buffer) {
  return at < buffer.calc.size() && buffer.calc.size() - at >= 1 + field->DataSize();
}

bool TDataSet::ReadFieldData(const TField* field, void* dest) const {
  const TRecordBuffer* buffer = CurrentRecordBuffer();
  if (!buffer) return false;
  if (!field->Calculated()) return field->FieldNo() >= 1 && GetFieldData(field, *buffer, dest);
  const std::size_t at = field->calcOffset_;
  if (!InCalcArea(field, at, *buffer) || buffer->calc[at] == 0) return false;
  if (dest) std::memcpy(dest, &buffer->calc[at + 1], field->DataSize());
  return true;
}

void TDataSet::WriteFieldData(TField* field, const void* source) {
  TRecordBuffer* buffer = IsWriteState(state_) ? CurrentRecordBuffer() : nullptr;
  if (!buffer) DatabaseError(dbconsts::SNotEditing, this);
  if (field->Calculated()) {
    if (state_ == S::dsSetKey)
      DatabaseError(FormatMessage(dbconsts::SNotIndexField, field->DisplayLabel()), this);
    const std::size_t at = field->calcOffset_;
    if (!InCalcArea(field, at, *buffer))
      DatabaseError(FormatMessage(dbconsts::SFieldNotFound, field->FieldName()), this);
    buffer->calc[at] = source ? 1 : 0;
    if (source)
      std::memcpy(&buffer->calc[at + 1], source, field->DataSize());
    else
      std::fill_n(buffer->calc.begin() + static_cast<std::ptrdiff_t>(at + 1), field->DataSize(), 0);
  } else {
    if (field->FieldNo() < 1)
      DatabaseError(FormatMessage(dbconsts::SFieldNotFound, field->FieldName()), this);
    if (state_ == S::dsCalcFields) DatabaseError(dbconsts::SNotEditing, this);
    if (field->ReadOnly() && state_ != S::dsSetKey && state_ != S::dsFilter)
      DatabaseError(FormatMessage(dbconsts::SFieldReadOnly, field->DisplayLabel()), this);
    SetFieldData(field, *buffer, source);
  }
  if (IsEditing(state_)) modified_ = true;
  if (state_ != S::dsCalcFields && state_ != S::dsFilter && state_ != S::dsNewValue)
    DataEvent(TDataEvent::deFieldChange, field);
}

void TDataSet::CalculateFields(TRecordBuffer& buffer) {
  if (!hasCalcFields_) return;
  TempState calc(*this, S::dsCalcFields);
  calcBuffer_ = &buffer;
  std::fill(buffer.calc.begin(), buffer.calc.end(), 0);
  try {
    for (TField* field : fields_) {
      if (field->FieldKind() != TFieldKind::fkLookup || !field->LookupDataSet ||
          !field->LookupDataSet->Active())
        continue;
      std::vector<TValue> keys;
      for (TField* key : GetFieldList(field->KeyFields)) keys.push_back(key->Value());
      field->SetValue(
          field->LookupDataSet->Lookup(field->LookupKeyFields, keys, field->LookupResultField)
              .at(0));
    }
    if (OnCalcFields) OnCalcFields(this);
  } catch (...) {
    calcBuffer_ = nullptr;
    throw;
  }
  calcBuffer_ = nullptr;
}

void TDataSet::RecalculateActive() {
  if (TRecordBuffer* buffer = ActiveBuffer()) CalculateFields(*buffer);
}

bool TDataSet::FilterAccepts(TRecordBuffer& buffer) {
  if (!onFilterRecord_) return true;
  CalculateFields(buffer);
  TempState filter(*this, S::dsFilter);
  TRecordBuffer* saved = filterBuffer_;
  filterBuffer_ = &buffer;
  bool accept = true;
  try {
    onFilterRecord_(this, accept);
  } catch (...) {
    filterBuffer_ = saved;
    throw;
  }
  filterBuffer_ = saved;
  return accept;
}

// ---- filters and searches ----

void TDataSet::RefreshAfterFilterChange() {
  if (!Active()) return;
  RowsChanged();
  First();
}

void TDataSet::SetFiltered(bool value) {
  if (value == filtered_) return;
  if (Active()) CheckBrowseMode();
  filtered_ = value;
  RefreshAfterFilterChange();
}

void TDataSet::SetFilterText(const std::string& value) {
  if (value == filterText_) return;
  if (Active()) CheckBrowseMode();
  filterText_ = value;
  if (filtered_) RefreshAfterFilterChange();
}

void TDataSet::SetFilterOptions(TFilterOptions value) {
  if (value == filterOptions_) return;
  if (Active()) CheckBrowseMode();
  filterOptions_ = value;
  if (filtered_) RefreshAfterFilterChange();
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  if (Active()) CheckBrowseMode();
  onFilterRecord_ = std::move(handler);
  if (filtered_) RefreshAfterFilterChange();
}

bool TDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(this);
  if (restart || recordCount_ == 0) {
    goForward ? InternalFirst() : InternalLast();
  } else {
    currentRecord_ = -1;
    SetCurrentRecord(activeRecord_);
  }
  TRecordBuffer& candidate = *buffers_.back();
  for (;;) {
    const TGetMode mode = goForward ? TGetMode::gmNext : TGetMode::gmPrior;
    if (GetRecord(candidate, mode, true) != TGetResult::grOK) {
      CursorPosChanged();
      return false;
    }
    if (filtered_ || FilterAccepts(candidate)) break;
  }
  ResyncFromStorage(true);
  if (AfterScroll) AfterScroll(this);
  return true;
}

bool TDataSet::RecordMatches(const std::vector<TField*>& fields, const std::vector<TValue>& values,
                             TLocateOptions options) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (!ValueMatches(fields[i], values[i], options, i + 1 == fields.size())) return false;
  return true;
}

bool TDataSet::ReadRecords(const TBookmark& after, const std::function<bool()>& visit) {
  return ReadRecordsFrom(after, TGetMode::gmNext, visit);
}

bool TDataSet::ReadRecordsBefore(const TBookmark& before, const std::function<bool()>& visit) {
  return ReadRecordsFrom(before, TGetMode::gmPrior, visit);
}

// Reads the storage from `from` (its first or last record when empty) in the direction of
// `mode` into the spare buffer until Visit stops; the storage stays on the record read last.
bool TDataSet::ReadRecordsFrom(const TBookmark& from, TGetMode mode,
                               const std::function<bool()>& visit) {
  if (state_ != S::dsBrowse) DatabaseError(dbconsts::SNotBrowsing, this);
  TRecordBuffer& candidate = *buffers_.back();
  CursorPosChanged();
  if (!from.empty())
    InternalGotoBookmark(from);
  else if (mode == TGetMode::gmNext)
    InternalFirst();
  else
    InternalLast();
  while (GetRecord(candidate, mode, true) == TGetResult::grOK) {
    CalculateFields(candidate);
    TempState filter(*this, S::dsFilter);
    TRecordBuffer* saved = filterBuffer_;
    filterBuffer_ = &candidate;
    bool more = true;
    try {
      more = visit();
    } catch (...) {
      filterBuffer_ = saved;
      throw;
    }
    filterBuffer_ = saved;
    if (!more) return true;
  }
  return false;
}

TBookmark TDataSet::ReadingBookmark() const {
  return state_ == S::dsFilter && filterBuffer_ ? GetBookmarkData(*filterBuffer_) : TBookmark();
}

// Reads from the first record until one matches; the storage stays on that record.
bool TDataSet::ScanFor(const std::vector<TField*>& fields, const std::vector<TValue>& values,
                       TLocateOptions options, const std::function<void()>& onMatch) {
  if (fields.size() != values.size()) DatabaseError(dbconsts::SFieldCountMismatch, this);
  return ReadRecords({}, [&] {
    if (!RecordMatches(fields, values, options)) return true;
    if (onMatch) onMatch();
    return false;
  });
}

bool TDataSet::Locate(const std::string& keyFields, const std::vector<TValue>& values,
                      TLocateOptions options) {
  CheckBrowseMode();
  const auto fields = GetFieldList(keyFields);
  if (BeforeScroll) BeforeScroll(this);
  if (!ScanFor(fields, values, options, nullptr)) {
    CursorPosChanged();
    return false;
  }
  ResyncFromStorage(true);
  if (AfterScroll) AfterScroll(this);
  return true;
}

std::vector<TValue> TDataSet::Lookup(const std::string& keyFields,
                                     const std::vector<TValue>& values,
                                     const std::string& resultFields) {
  CheckBrowseMode();
  const auto keys = GetFieldList(keyFields);
  const auto results = GetFieldList(resultFields);
  std::vector<TValue> found(results.size());
  ScanFor(keys, values, 0, [&] {
    for (std::size_t i = 0; i < results.size(); ++i) found[i] = results[i]->Value();
  });
  CursorPosChanged();  // the active record is unchanged; the storage is re-positioned on use
  return found;
}

// ---- controls and events ----

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls() {
  if (disableCount_ == 0 || --disableCount_ > 0 || !pendingChange_) return;
  pendingChange_ = false;
  Notify(TDataEvent::deDataSetChange, nullptr, 0);
}

void TDataSet::SetBlockReadSize(int value) {
  if (value == blockReadSize_) return;
  if (value > 0) {
    CheckBrowseMode();
    blockReadSize_ = value;
    SetState(S::dsBlockRead);
    return;
  }
  blockReadSize_ = 0;
  if (state_ != S::dsBlockRead) return;
  SetState(S::dsBrowse);
  Resync();
}

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
  for (int depth = 0; source && depth < 1000; ++depth) {
    const TDataSet* dataSet = source->DataSet();
    if (!dataSet) return false;
    if (dataSet == this) return true;
    source = dataSet->DataSource();
  }
  return source != nullptr;  // a chain that long is a loop elsewhere
}

void TDataSet::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == TDataEvent::deFieldChange && autoCalcFields_ && hasCalcFields_ && field &&
      !field->Calculated() && IsEditing(state_))
    RecalculateActive();
  const bool always = event == TDataEvent::deUpdateState || event == TDataEvent::deUpdateRecord ||
                      event == TDataEvent::deCheckBrowseMode;
  if (!always && (disableCount_ > 0 || state_ == S::dsBlockRead)) {
    pendingChange_ = pendingChange_ || disableCount_ > 0;
    return;
  }
  Notify(event, field, info);
}

void TDataSet::Notify(TDataEvent event, TField* field, int info) {
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_))
    source->DataEvent(event, field, info);
}

// ---- TDataSource ----

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) {
    auto& list = dataSet_->dataSources_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  dataSet_ = dataSet;
  if (dataSet_) {
    dataSet_->dataSources_.push_back(this);
    dataSet_->UpdateBufferCount();
  }
  DataEvent(TDataEvent::deUpdateState, nullptr, 0);
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  DataEvent(TDataEvent::deUpdateState, nullptr, 0);
}

TDataSetState TDataSource::State() const {
  return dataSet_ && enabled_ ? dataSet_->State() : S::dsInactive;
}

void TDataSource::Edit() {
  if (autoEdit_ && dataSet_ && dataSet_->State() == S::dsBrowse) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  return dataSet && dataSet->IsLinkedTo(this);
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == dataSet_) SetDataSet(nullptr);
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == TDataEvent::deUpdateState) {
    const TDataSetState now = State();
    for (TDataLink* link : std::vector<TDataLink*>(links_)) link->UpdateState();
    if (now == state_) return;
    state_ = now;
    if (OnStateChange) OnStateChange(this);
    return;
  }
  if (!enabled_) return;
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->DataEvent(event, field, info);
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange:
      if (OnDataChange) OnDataChange(this, event == TDataEvent::deFieldChange ? field : nullptr);
      break;
    case TDataEvent::deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

// ---- TDataLink ----

TDataLink::~TDataLink() {
  if (!dataSource_) return;
  auto& list = dataSource_->links_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  if (TDataSet* dataSet = dataSource_->dataSet_) dataSet->UpdateBufferCount();
}

TDataSet* TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSource_) {
    auto& list = dataSource_->links_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    TDataSet* old = dataSource_->dataSet_;
    dataSource_ = nullptr;
    if (old) old->UpdateBufferCount();
  }
  dataSource_ = source;
  if (dataSource_) {
    dataSource_->links_.push_back(this);
    if (TDataSet* dataSet = dataSource_->dataSet_) dataSet->UpdateBufferCount();
  }
  UpdateState();
}

void TDataLink::SetReadOnly(bool value) {
  readOnly_ = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  bufferCount_ = std::max(value, 1);
  if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
  if (active_) UpdateRange();
}

void TDataLink::UpdateState() {
  const TDataSetState state = dataSource_ ? dataSource_->State() : S::dsInactive;
  const bool active = state != S::dsInactive;
  const bool editing = IsEditing(state) && !readOnly_;
  if (active != active_) {
    active_ = active;
    firstRecord_ = 0;
    if (active_) UpdateRange();
    ActiveChanged();
  }
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

// Keeps the dataset's active record inside this link's window.
void TDataLink::UpdateRange() {
  const TDataSet* dataSet = DataSet();
  if (!dataSet) return;
  const int active = dataSet->activeRecord_;
  if (active < firstRecord_) firstRecord_ = active;
  if (active >= firstRecord_ + bufferCount_) firstRecord_ = active - bufferCount_ + 1;
  firstRecord_ = std::max(0, std::min(firstRecord_, dataSet->recordCount_ - bufferCount_));
  firstRecord_ = std::max(firstRecord_, active - bufferCount_ + 1);
}

int TDataLink::ActiveRecord() const {
  const TDataSet* dataSet = DataSet();
  return dataSet && active_ ? dataSet->activeRecord_ - firstRecord_ : 0;
}

int TDataLink::RecordCount() const {
  const TDataSet* dataSet = DataSet();
  if (!dataSet || !active_) return 0;
  return std::max(0, std::min(bufferCount_, dataSet->recordCount_ - firstRecord_));
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int info) {
  if (!active_) return;
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (!updating_) RecordChanged(field);
      break;
    case TDataEvent::deDataSetChange:
      UpdateRange();
      DataSetChanged();
      break;
    case TDataEvent::deDataSetScroll:
      firstRecord_ -= info;
      UpdateRange();
      DataSetScrolled(info);
      break;
    case TDataEvent::deLayoutChange:
      UpdateRange();
      LayoutChanged();
      break;
    case TDataEvent::deUpdateRecord:
      UpdateRecord();
      break;
    case TDataEvent::deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case TDataEvent::deFocusControl:
      FocusControl(field);
      break;
    default:
      break;
  }
}

}  // namespace vader
