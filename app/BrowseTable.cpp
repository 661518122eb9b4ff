#include "BrowseTable.h"

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

int TBrowseTable::EstimatedPosition() {
  if (State() != TDataSetState::dsBrowse || Filtered() || rangeSet_ || MasterSource() ||
      ReadBackwards())
    return -1;
  const TBookmark active = GetBookmark();
  if (active.empty() || !Handle() || !DBSession()) return -1;
  TSessionLock lock(*DBSession());
  CursorPosChanged();  // the cursor leaves the row it stood on
  if (Engine()->SetToBookMark(Handle(), active.data()) != 0) return -1;
  uint32_t number = 0;
  try {
    Handle()->GetSeqNo(number);
  } catch (const std::exception&) {
    return -1;  // a cursor that cannot tell its share of the file
  }
  return number > 0 ? static_cast<int>(number) : -1;
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
