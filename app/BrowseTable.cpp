#include "BrowseTable.h"

#include <cstring>

#include "framework/DataLinks.h"
#include "framework/FrameworkErrors.h"

namespace vader::app {

namespace {
// The table may only be read (0x2A0B).
constexpr uint16_t kStatusTableReadOnly = 0x2A0B;

std::string Bounded(const char* text, std::size_t size) {
  return std::string(text, strnlen(text, size));
}
}  // namespace

// Follows the master's moves and edits that change its link field.
class TBrowseTable::MasterLink : public TDataLink {
 public:
  explicit MasterLink(TBrowseTable& detail) : detail_(detail) {}

 protected:
  void ActiveChanged() override { Follow(); }
  void RecordChanged(TField* field) override {
    if (!field || field->FieldName() == detail_.masterField_) Follow();
  }

 private:
  void Follow() {
    if (detail_.Active()) detail_.ApplyMasterRange();
  }
  TBrowseTable& detail_;
};

TBrowseTable::TBrowseTable(TComponent* owner) : TttDBDataset(owner) { SetSessionList(); }

TBrowseTable::~TBrowseTable() {
  masterLink_.reset();
  Unregister();
}

void TBrowseTable::SetTableName(const std::string& name) {
  CheckInactive();
  tableName_ = name;
}

void TBrowseTable::SetReadOnly(bool value) {
  CheckInactive();
  readOnly_ = value;
}

void TBrowseTable::SetIndexName(const std::string& name) {
  if (!Active()) {
    indexName_ = name;
    return;
  }
  CheckBrowseMode();
  const bool hadRange = rangeSet_;
  rangeSet_ = false;
  SwitchToIndex(name, "");
  indexName_ = name;
  if (master_) ApplyMasterRange();
  if (hadRange) First();
}

TBaseTable* TBrowseTable::CreateHandle() {
  if (tableName_.empty()) DatabaseError("Missing TableName property", this);
  TBaseTable* cursor = nullptr;
  const bool readOnly = readOnly_ || Database()->ReadOnly();
  const char* index = indexName_.empty() ? nullptr : indexName_.c_str();
  auto open = [&](uint32_t mode) {
    return Engine()->OpenTable(DBHandle(), tableName_.c_str(), nullptr, index, nullptr, 0, mode,
                               Database()->Exclusive() ? kShareExclusive : kShareShared, 2,
                               false, nullptr, cursor);
  };
  uint16_t status = open(readOnly ? kOpenReadOnly : kOpenReadWrite);
  // A file the person may only read opens for reading instead.
  if (status == kStatusTableReadOnly && !readOnly) status = open(kOpenReadOnly);
  Check(status);
  return cursor;
}

void TBrowseTable::PrepareCursor() {
  rangeSet_ = false;
  if (master_) ApplyMasterRange();
}

void TBrowseTable::Notification(TComponent* component, TOperation operation) {
  TttDBDataset::Notification(component, operation);
  if (operation == TOperation::opRemove && component == master_) SetMaster(nullptr, "", "");
}

std::vector<TIndexInfo> TBrowseTable::Indexes() {
  CheckActive();
  TSessionLock lock(*DBSession());
  CursorProps props{};
  Check(Engine()->GetCursorProps(Handle(), props));
  std::vector<IndexDesc> descs(props.IndexCount);
  if (!descs.empty()) Check(Engine()->GetIndexDescs(Handle(), descs.data()));
  std::vector<TIndexInfo> out;
  for (const IndexDesc& desc : descs) {
    TIndexInfo info;
    info.name = Bounded(desc.IndexName, sizeof desc.IndexName);
    info.unique = desc.Unique != 0;
    for (int k = 0; k < desc.FieldsInKey && k < kMaxKeyFields; ++k)
      for (int f = 0; f < FieldCount(); ++f)
        if (Fields(f)->FieldNo() == desc.KeyFields[k]) info.fields.push_back(Fields(f)->FieldName());
    out.push_back(std::move(info));
  }
  return out;
}

std::vector<std::string> TBrowseTable::IndexFields() {
  std::vector<std::string> fields;
  for (int k = 0; k < KeyFieldCount(); ++k)
    for (int f = 0; f < FieldCount(); ++f)
      if (Fields(f)->FieldNo() == KeyFieldNumber(k)) fields.push_back(Fields(f)->FieldName());
  return fields;
}

TValue TBrowseTable::ValueFor(const std::string& fieldName, const std::string& text) {
  // The field converts the text as it would a typed value; the scratch key buffer takes it.
  SetKeyBuffer(TKeyIndex::kiLookup, true);
  try {
    FieldByName(fieldName)->SetAsString(text);
  } catch (...) {
    Cancel();
    throw;
  }
  TValue value = FieldByName(fieldName)->Value();
  Cancel();
  return value;
}

void TBrowseTable::SearchNearest(const std::string& text) {
  CheckBrowseMode();
  const std::vector<std::string> fields = IndexFields();
  if (fields.empty()) DatabaseError("The table has no index to search", this);
  const TValue value = ValueFor(fields.front(), text);
  // The nearest row is the first of the range that starts at the value and ends where the
  // range in force ends; then the range in force comes back and the row is made current.
  const TKeyBuffer savedStart = KeyBuffer(TKeyIndex::kiCurRangeStart);
  const TKeyBuffer savedEnd = KeyBuffer(TKeyIndex::kiCurRangeEnd);
  const bool hadRange = savedStart.Modified || savedEnd.Modified;
  TBookmark found;
  DisableControls();
  try {
    SetKeyFields(TKeyIndex::kiRangeStart, {value});
    KeyBuffer(TKeyIndex::kiRangeEnd) = savedEnd;
    SetCursorRange();
    if (!IsEmpty()) found = GetBookmark();
    if (hadRange) {
      KeyBuffer(TKeyIndex::kiRangeStart) = savedStart;
      KeyBuffer(TKeyIndex::kiRangeEnd) = savedEnd;
      SetCursorRange();
    } else {
      ResetCursorRange();
      First();
    }
    if (found.empty())
      Last();
    else
      GotoBookmark(found);
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

void TBrowseTable::SetFieldRange(const std::string& from, const std::string& to) {
  CheckBrowseMode();
  const std::vector<std::string> fields = IndexFields();
  if (fields.empty()) DatabaseError("The table has no index to search", this);
  const bool hasFrom = !from.empty(), hasTo = !to.empty();
  const TValue low = hasFrom ? ValueFor(fields.front(), from) : TValue{};
  const TValue high = hasTo ? ValueFor(fields.front(), to) : TValue{};
  if (!hasFrom && !hasTo) {
    CancelFieldRange();
    return;
  }
  SetKeyFields(TKeyIndex::kiRangeStart, {hasFrom ? low : high});
  if (hasTo) SetKeyFields(TKeyIndex::kiRangeEnd, {high});
  if (!hasFrom) {
    TKeyBuffer& start = KeyBuffer(TKeyIndex::kiRangeStart);
    start.Modified = false;
    start.FieldCount = 0;
  }
  if (!hasTo) {
    TKeyBuffer& end = KeyBuffer(TKeyIndex::kiRangeEnd);
    end.Modified = false;
    end.FieldCount = 0;
  }
  SetCursorRange();
  rangeSet_ = true;
}

void TBrowseTable::CancelFieldRange() {
  CheckBrowseMode();
  rangeSet_ = false;
  if (ResetCursorRange()) First();
  if (master_) ApplyMasterRange();
}

void TBrowseTable::SetMaster(TDataSource* master, const std::string& masterField,
                             const std::string& detailField) {
  masterLink_.reset();
  master_ = master;
  masterField_ = masterField;
  detailField_ = detailField;
  if (!master_) return;
  masterLink_ = std::make_unique<MasterLink>(*this);
  masterLink_->SetDataSource(master_);
  if (Active()) ApplyMasterRange();
}

void TBrowseTable::ApplyMasterRange() {
  TDataSet* masterSet = master_ ? master_->DataSet() : nullptr;
  if (!masterSet) return;
  CheckBrowseMode();
  TValue key;
  if (masterSet->Active() && !masterSet->IsEmpty())
    key = masterSet->FieldByName(masterField_)->Value();
  const std::vector<std::string> fields = IndexFields();
  if (fields.empty() || fields.front() != detailField_)
    DatabaseError("The detail table's index does not begin with " + detailField_, this);
  SetKeyFields(TKeyIndex::kiRangeStart, {key});
  SetCursorRange();
}

}  // namespace vader::app
