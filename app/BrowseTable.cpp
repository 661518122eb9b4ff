#include "BrowseTable.h"

#include <algorithm>

#include "AppForm.h"
#include "AppTexts.h"
#include "framework/FrameworkErrors.h"

namespace vader::app {

std::vector<TIndexInfo> TBrowseTable::Indexes() {
  UpdateIndexDefs();
  std::vector<TIndexInfo> out;
  for (const TIndexDef& def : IndexDefs())
    out.push_back({def.name, SplitFieldNames(def.fields), def.Has(ixUnique) || def.Has(ixPrimary),
                   def.Has(ixDescending)});
  return out;
}

std::vector<std::string> TBrowseTable::IndexFields() {
  std::vector<std::string> fields;
  for (int k = 0; k < KeyFieldCount(); ++k)
    for (int f = 0; f < FieldCount(); ++f)
      if (Fields(f)->FieldNo() == KeyFieldNumber(k)) fields.push_back(Fields(f)->FieldName());
  return fields;
}

void TBrowseTable::ChooseIndex(const std::string& name, bool backwards) {
  if (rangeSet_) CancelFieldRange();
  SetIndexName(name);
  SetReadBackwards(backwards);
}

std::string TBrowseTable::FirstKeyField() {
  const std::vector<std::string> fields = IndexFields();
  if (fields.empty()) DatabaseError("The table has no index to search", this);
  return fields.front();
}

void TBrowseTable::PutKey(const std::string& fieldName, const std::string& text) {
  // The field converts the text as it would a typed value; the lookup key buffer takes it.
  SetKey();
  try {
    FieldByName(fieldName)->SetAsString(text);
  } catch (...) {
    Cancel();
    throw;
  }
}

TValue TBrowseTable::ValueFor(const std::string& fieldName, const std::string& text) {
  PutKey(fieldName, text);
  TValue value = FieldByName(fieldName)->Value();
  Cancel();
  return value;
}

void TBrowseTable::SearchNearest(const std::string& text) {
  PutKey(FirstKeyField(), text);
  GotoNearest();
}

std::string TBrowseTable::RangeField() {
  if (!MasterSource()) return FirstKeyField();
  const std::vector<std::string> fields = IndexFields();
  const std::size_t linked = MasterLinkFields().size();
  if (fields.size() <= linked) DatabaseError(Tr(texts::kNoFieldAfterTheMasterLink), this);
  return fields[linked];
}

void TBrowseTable::SetFieldRange(const std::string& from, const std::string& to) {
  CheckBrowseMode();
  const bool hasFrom = !from.empty(), hasTo = !to.empty();
  if (!hasFrom && !hasTo) {
    CancelFieldRange();
    return;
  }
  const std::string field = RangeField();
  const TValue low = hasFrom ? ValueFor(field, from) : TValue{};
  const TValue high = hasTo ? ValueFor(field, to) : TValue{};
  if (MasterSource()) {
    detailLow_ = low;
    detailHigh_ = high;
    rangeSet_ = true;
    CheckMasterRange();
    return;
  }
  SetKeyFields(TKeyIndex::kiRangeStart, {hasFrom ? low : high});
  if (hasTo) SetKeyFields(TKeyIndex::kiRangeEnd, {high});
  // An open side is a bound that is not set.
  for (auto [open, side] :
       {std::pair{!hasFrom, TKeyIndex::kiRangeStart}, std::pair{!hasTo, TKeyIndex::kiRangeEnd}})
    if (open) {
      TKeyBuffer& key = KeyBuffer(side);
      key.Modified = false;
      key.FieldCount = 0;
    }
  ApplyRange();
  rangeSet_ = true;
}

void TBrowseTable::SetMasterRange(const std::vector<TValue>& masterValues) {
  if (!rangeSet_) return TtbTable::SetMasterRange(masterValues);
  // An open side keeps only the master's values: every row of the master on that side.
  const auto bound = [&](const TValue& value) {
    std::vector<TValue> values = masterValues;
    if (!std::holds_alternative<std::monostate>(value)) values.push_back(value);
    return values;
  };
  SetKeyFields(TKeyIndex::kiRangeStart, bound(detailLow_));
  SetKeyFields(TKeyIndex::kiRangeEnd, bound(detailHigh_));
  ApplyRange();
}

void TBrowseTable::CancelFieldRange() {
  const bool wasSet = rangeSet_;
  rangeSet_ = false;
  detailLow_ = detailHigh_ = TValue{};
  if (!MasterSource())
    CancelRange();
  else if (wasSet)
    CheckMasterRange();
}

int TBrowseTable::EstimatedPosition(int shown) {
  if (State() != TDataSetState::dsBrowse) return -1;
  const TBookmark active = GetBookmark();
  if (active.empty() || !Handle() || !DBSession()) return -1;
  TSessionLock lock(*DBSession());
  CursorPosChanged();  // the cursor leaves the row it stood on
  try {
    if (!Filtered() && !rangeSet_ && !MasterSource()) {
      if (Engine()->SetToBookMark(Handle(), active.data()) != 0) return -1;
      uint32_t number = 0;
      Handle()->GetSeqNo(number);
      if (number == 0) return -1;
      // Read backwards, the rows are numbered from the other end of the index.
      if (ReadBackwards()) return shown > 0 ? std::max(1, shown - static_cast<int>(number) + 1) : -1;
      return static_cast<int>(number);
    }
    // The rows shown are taken as spread evenly between the first and the last of them.
    const double first = FileShareAt(EndBookmark(true));
    const double last = FileShareAt(EndBookmark(false));
    const double here = FileShareAt(active);
    if (Engine()->SetToBookMark(Handle(), active.data()) != 0) return -1;
    if (shown < 1 || first < 0 || here < 0 || last <= first) return -1;
    double part = std::clamp((here - first) / (last - first), 0.0, 1.0);
    if (ReadBackwards()) part = 1.0 - part;
    return 1 + static_cast<int>(part * (shown - 1) + 0.5);
  } catch (const std::exception&) {
    return -1;  // a cursor that cannot tell its share of the file
  }
}

void TBrowseTable::SetRecNo(int value) {
  if (IsSequenced() || Filtered() || rangeSet_ || MasterSource()) return TtbTable::SetRecNo(value);
  CheckBrowseMode();
  if (value < 1 || !Handle() || !DBSession()) return;
  TSessionLock lock(*DBSession());
  CursorPosChanged();  // the cursor leaves the row it stood on
  if (Engine()->SetToSeqNo(Handle(), static_cast<uint32_t>(value)) == 0) ResyncFromStorage(true);
}

TBookmark TBrowseTable::EndBookmark(bool first) {
  TBaseTable& cursor = *Handle();
  std::vector<uint8_t> record(cursor.GetRecordBufferSize());
  if (first) {
    cursor.SetToBegin();
    cursor.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  } else {
    cursor.SetToEnd();
    cursor.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  }
  TBookmark mark(cursor.GetBookmarkSize(), '\0');
  cursor.GetBookMark(mark.data());
  return mark;
}

// A cursor of its own on the table, without filter or range, in the same order, tells the
// share; the file's record count then costs nothing.
double TBrowseTable::FileShareAt(const TBookmark& bookmark) {
  if (!plain_ || plain_->IndexName() != IndexName()) {
    plain_ = std::make_unique<TBrowseTable>(nullptr);
    plain_->SetDatabaseName(DatabaseName());
    plain_->SetTableName(TableName());
    plain_->SetIndexName(IndexName());
    plain_->SetReadOnly(true);
    plain_->Open();
  }
  TBaseTable* cursor = plain_->Handle();
  uint32_t number = 0, count = 0;
  if (!cursor || Engine()->SetToBookMark(cursor, bookmark.data()) != 0) return -1;
  cursor->GetSeqNo(number);
  if (Engine()->GetRecordCount(cursor, count) != 0 || count == 0 || number == 0) return -1;
  return (number - 1.0) / count;
}

int TBrowseTable::StoredSize(const TField& field) {
  if (!Handle() || !DBSession()) return -1;
  std::vector<FieldDesc> descs(kMaxFieldDescs);
  TSessionLock lock(*DBSession());
  if (Engine()->GetFieldDescs(Handle(), descs.data()) != 0) return -1;
  for (const FieldDesc& desc : descs)
    if (desc.FieldNumber == field.FieldNo()) return desc.FieldLength;
  return -1;
}

void TBrowseTable::SetMaster(TDataSource* master, const std::string& masterField,
                             const std::string& detailField) {
  if (!master) {
    rangeSet_ = false;
    detailLow_ = detailHigh_ = TValue{};
    SetMasterSource(nullptr);
    SetMasterFields("");
    return;
  }
  if (rangeSet_) CancelFieldRange();
  const std::vector<std::string> fields = IndexFields();
  if (fields.empty() || fields.front() != detailField) {
    for (const TIndexInfo& info : Indexes())
      if (!info.fields.empty() && info.fields.front() == detailField) {
        SetIndexName(info.name);
        break;
      }
  }
  SetMasterFields(masterField);
  SetMasterSource(master);
}

}  // namespace vader::app
