// The table component of BseMain: opening a table of a database, its definitions, index
// selection, key searches and ranges, the lookup cursor and master/detail ranges.

#include "components/BseMainTable.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

#include "engine/BseUtils.h"
#include "framework/DBConsts.h"
#include "platform/CodePage.h"

namespace vader {

using S = TDataSetState;

const std::string kBlobWrittenByStream;

namespace {

constexpr uint16_t kDescendingKeyFieldOffset = 829;
constexpr uint32_t kTranslateNativeAnsi = 2;
constexpr uint16_t kNoDefaultIndex = 0xFFFF;
// Bytes of one validity-check record: field number, required flag, ..., has-default flag.
constexpr std::size_t kVchkWords = 5;

// The text after the last backslash or colon.
std::string FilePart(const std::string& name) {
  const std::size_t at = name.find_last_of("\\:");
  return at == std::string::npos ? name : name.substr(at + 1);
}

// Reads the records of a list cursor, each into a T (larger records are cut, shorter padded).
template <class T>
std::vector<T> ReadList(TVirtEng* engine, TBaseTable* list, uint32_t limit) {
  CursorProps props{};
  std::vector<T> items;
  // A list that does not describe itself holds records of exactly T.
  if (engine->GetCursorProps(list, props) != 0) props.RecBufSize = 0;
  std::vector<uint8_t> record(std::max<std::size_t>(props.RecBufSize, sizeof(T)), 0);
  while (items.size() < limit) {
    std::fill(record.begin(), record.end(), 0);
    if (engine->GetNextRecord(list, dbiNOLOCK, record.data(), nullptr) != 0) break;
    T item{};
    std::memcpy(&item, record.data(), sizeof(T));
    items.push_back(item);
  }
  return items;
}

}  // namespace

TttTable::TttTable(TComponent* owner) : TttDBDataset(owner), masterLink_(this) {
  masterLink_.OnMasterChange = [this] { MasterChanged(); };
  masterLink_.OnMasterDisable = [this] { MasterDisabled(); };
}

TttTable::~TttTable() = default;

void TttTable::Unregister() {
  try {
    Close();
  } catch (const std::exception&) {
    // the table goes whatever the engine says
  }
  masterLink_.SetDataSource(nullptr);
  SetUpdateObject(nullptr);
  TttDBDataset::Unregister();
}

// ---- properties ----

void TttTable::SetTableName(const std::string& value) {
  if (!Loading()) CheckInactive();
  if (value == tableName_) return;
  tableName_ = value;
  indexDefs_.updated = false;
  fieldDefsRead_ = false;
  DataEvent(TDataEvent::dePropertyChange);
}

void TttTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TttTable::SetReadOnly(bool value) {
  CheckInactive();
  readOnly_ = value;
}

void TttTable::SetMasterSource(TDataSource* source) {
  masterLink_.SetMasterSource(source);
  if (Active() && !masterLink_.Active()) MasterDisabled();
}

void TttTable::SetMasterFields(const std::string& value) {
  masterLink_.SetFieldNames(value);
  if (Active()) CheckMasterRange();
}

void TttTable::SetUpdateMode(TUpdateMode value) {
  updateMode_ = value;
  ApplyUpdateMode();
}

void TttTable::ApplyUpdateMode() {
  if (!Handle() || !Database() || !Database()->IsSQLBased() || !CanModify()) return;
  TSessionLock lock(*DBSession());
  Check(Engine()->SetProp(Handle(), kCursorUpdateModeProp, static_cast<int32_t>(updateMode_)));
}

void TttTable::SetUpdateObject(TTDataSetUpdateObject* value) {
  if (value == updateObject_) return;
  if (updateObject_ && updateObject_->GetDataSet() == this) updateObject_->SetDataSet(nullptr);
  if (value) {
    if (auto* other = dynamic_cast<TttTable*>(value->GetDataSet()); other && other != this)
      other->updateObject_ = nullptr;
    value->SetDataSet(this);
  }
  updateObject_ = value;
}

void TttTable::Notification(TComponent* component, TOperation operation) {
  TttDBDataset::Notification(component, operation);
  if (operation == TOperation::opRemove && component == updateObject_) updateObject_ = nullptr;
}

bool TttTable::CanModify() const { return TttDBDataset::CanModify() && !readOnly_; }

// ---- opening ----

uint16_t TttTable::RetryForRights(const std::function<uint16_t()>& open) {
  for (;;) {
    const uint16_t status = open();
    if (status != kStatusNoTableRights) return status;
    TttSession* session = DBSession();
    bool retry = false;
    // No prompt can hand a password to the engine; without a handler the open fails.
    if (session && session->OnPassword) session->OnPassword(session, retry);
    if (!retry) return status;
  }
}

TBaseTable* TttTable::OpenCursor(const std::string& indexName, bool readOnly) {
  TSessionLock lock(*DBSession());
  TBaseTable* cursor = nullptr;
  const auto open = [&](bool asReadOnly) {
    return Engine()->OpenTable(
        DBHandle(), EngineTableName().c_str(), nullptr,
        indexName.empty() ? nullptr : indexName.c_str(), nullptr,
        defaultIndex_ ? 0 : kNoDefaultIndex, asReadOnly ? kOpenReadOnly : kOpenReadWrite,
        exclusive_ ? kShareExclusive : kShareShared, kTranslateNativeAnsi, false, nullptr, cursor);
  };
  Check(RetryForRights([&] {
    uint16_t status = open(readOnly);
    if (status == kStatusTableReadOnly && !readOnly) status = open(true);
    return status;
  }));
  return cursor;
}

TBaseTable* TttTable::CreateHandle() {
  if (tableName_.empty()) DatabaseError(dbconsts::SNoTableName, this);
  indexDefs_.updated = false;
  const bool readOnly = readOnly_ || (CachedUpdates() && (OnUpdateRecord || updateObject_));
  if (Database() && Database()->IsSQLBased())
    return OpenCursor(EngineIndexName(indexValue_, indexIsFields_), readOnly);
  TBaseTable* cursor = OpenCursor("", readOnly);
  try {
    const std::string index = EngineIndexName(indexValue_, indexIsFields_);
    if (!index.empty()) {
      TSessionLock lock(*DBSession());
      Check(Engine()->SwitchToIndex(cursor, index.c_str(), nullptr, 0, false));
    }
  } catch (...) {
    Engine()->CloseCursor(cursor);
    throw;
  }
  return cursor;
}

void TttTable::DestroyHandle() {
  DestroyLookupCursor();
  TttDBDataset::DestroyHandle();
}

void TttTable::InternalOpen() {
  TttDBDataset::InternalOpen();
  try {
    ApplyUpdateMode();
  } catch (...) {
    InternalClose();
    throw;
  }
}

void TttTable::InternalClose() {
  modifiedBlobs_.clear();
  TttDBDataset::InternalClose();
}

// The master range needs the fields, which exist once the framework reads the first rows.
void TttTable::PrepareCursor() { masterRangePending_ = true; }

void TttTable::InternalFirst() {
  TttDBDataset::InternalFirst();
  if (!masterRangePending_ || State() != S::dsBrowse) return;
  masterRangePending_ = false;
  CheckMasterRange();
}

std::string TttTable::EngineTableName() const {
  // A file path is the file system's own bytes; a dictionary name is stored in the database's
  // code page. Options after ';' (";OWNER:...") stay as they are.
  const std::size_t options = tableName_.find(';');
  const std::string name = tableName_.substr(0, options);
  if (name.find_first_of("/\\") != std::string::npos) return tableName_;
  const platform::EncodedText native = platform::AnsiTextToNative(name, TextCodePage());
  if (!native.ok) return tableName_;  // no such name can be in the dictionary
  return native.bytes + (options == std::string::npos ? std::string() : tableName_.substr(options));
}

bool TttTable::OpenForTranslation() {
  if (Active()) return true;
  if (!Database()) return false;
  TttSession* session = Database()->Session() ? Database()->Session() : DefaultSession();
  if (!session) return false;
  Open();
  return true;
}

// ---- definitions ----

TFieldDefs& TttTable::FieldDefs() {
  if (!Active() && !fieldDefsRead_ && !tableName_.empty()) UpdateFieldDefs();
  return TDataSet::FieldDefs();
}

void TttTable::UpdateFieldDefs() {
  if (Active()) return;
  const bool previous = SetDBFlag(dbfFieldList, true);
  TBaseTable* list = nullptr;
  TBaseTable* checks = nullptr;
  TVirtEng* engine = Engine();
  try {
    if (tableName_.empty()) DatabaseError(dbconsts::SNoTableName, this);
    TSessionLock lock(*DBSession());
    Check(RetryForRights([&] {
      return engine->OpenFieldList(DBHandle(), EngineTableName().c_str(), nullptr, false, list);
    }));
    uint32_t count = 0;
    Check(engine->GetRecordCount(list, count));
    const std::vector<FieldDesc> descs = ReadList<FieldDesc>(engine, list, count);
    std::size_t bits = descs.size();
    if (!descs.empty()) bits = std::max<std::size_t>(bits, descs.back().FieldNumber);
    std::vector<bool> required(bits + 1, false);
    // Without a validity-check list no field is required.
    if (RetryForRights([&] {
          return engine->OpenVchkList(DBHandle(), EngineTableName().c_str(), nullptr, checks);
        }) == 0) {
      using Words = std::array<uint16_t, kVchkWords>;
      for (const Words& check : ReadList<Words>(engine, checks, UINT32_MAX)) {
        if (check[1] == 0 || check[4] != 0) continue;
        if (check[0] >= required.size()) required.resize(check[0] + std::size_t{100}, false);
        required[check[0]] = true;
      }
    }
    AddFieldDefs(TextCodePage(), descs, required, TDataSet::FieldDefs());
  } catch (...) {
    if (list) engine->CloseCursor(list);
    if (checks) engine->CloseCursor(checks);
    SetDBFlag(dbfFieldList, previous);
    throw;
  }
  engine->CloseCursor(list);
  if (checks) engine->CloseCursor(checks);
  SetDBFlag(dbfFieldList, previous);
  fieldDefsRead_ = true;
}

void TttTable::AddIndexDef(const IndexDesc& desc) {
  const std::string codePage = TextCodePage();
  const auto fromEngine = [&](const std::string& native) {
    return platform::NativeTextToAnsi(native, codePage);
  };
  TIndexDef def;
  const std::string tag = BoundedString(desc.TagName);
  const std::string name = FilePart(fromEngine(BoundedString(desc.IndexName)));
  if (!tag.empty()) {
    def.name = FilePart(fromEngine(tag));
    def.source = name;
  } else {
    def.name = name;
  }
  if (desc.Primary) def.options |= ixPrimary;
  if (desc.Unique) def.options |= ixUnique;
  if (desc.Descending) def.options |= ixDescending;
  if (desc.CaseInsensitive) def.options |= ixCaseInsensitive;
  if (!desc.Maintained) def.options |= ixNonMaintained;
  if (desc.ExpressionIndex) {
    def.options |= ixExpression;
    def.fields = fromEngine(BoundedString(desc.KeyExpression));
  } else {
    const TFieldDefs& fields = TDataSet::FieldDefs();
    const auto* raw = reinterpret_cast<const uint8_t*>(&desc);
    for (int i = 0; i < std::min<int>(desc.FieldsInKey, kMaxKeyFields); ++i) {
      const int number = desc.KeyFields[i];
      if (number < 1 || number > static_cast<int>(fields.size())) continue;
      const std::string& field = fields[static_cast<std::size_t>(number - 1)].name;
      def.fields += (def.fields.empty() ? "" : ";") + field;
      uint16_t descending = 0;
      std::memcpy(&descending, raw + kDescendingKeyFieldOffset + 2 * i, sizeof descending);
      if (descending != 0) def.descFields += (def.descFields.empty() ? "" : ";") + field;
    }
    if (desc.Descending && def.descFields == def.fields) def.descFields.clear();
  }
  indexDefs_.push_back(def);
}

void TttTable::UpdateIndexDefs() {
  const bool previous = SetDBFlag(dbfIndexList, true);
  TVirtEng* engine = Engine();
  TBaseTable* temporary = nullptr;
  TBaseTable* list = nullptr;
  try {
    FieldDefs();
    indexDefs_.clear();
    TSessionLock lock(*DBSession());
    if (Handle() || !Database()->IsSQLBased()) {
      TBaseTable* cursor = Handle();
      if (!cursor) cursor = temporary = OpenCursor("", readOnly_);
      CursorProps props{};
      Check(engine->GetCursorProps(cursor, props));
      if (props.IndexCount != 0) {
        std::vector<IndexDesc> descs(props.IndexCount);
        Check(engine->GetIndexDescs(cursor, descs.data()));
        for (const IndexDesc& desc : descs) AddIndexDef(desc);
      }
    } else {
      Check(RetryForRights([&] {
        return engine->OpenIndexList(DBHandle(), EngineTableName().c_str(), nullptr, list);
      }));
      for (const IndexDesc& desc : ReadList<IndexDesc>(engine, list, UINT32_MAX))
        if (desc.Maintained) AddIndexDef(desc);
    }
  } catch (...) {
    if (temporary) engine->CloseCursor(temporary);
    if (list) engine->CloseCursor(list);
    SetDBFlag(dbfIndexList, previous);
    throw;
  }
  if (temporary) engine->CloseCursor(temporary);
  if (list) engine->CloseCursor(list);
  SetDBFlag(dbfIndexList, previous);
  indexDefs_.updated = true;
}

// ---- index selection ----

std::string TttTable::EngineIndexName(const std::string& value, bool isFields) {
  if (value.empty()) return {};
  if (!indexDefs_.updated) UpdateIndexDefs();
  const std::string name = isFields ? indexDefs_.FindIndexForFields(value).name : value;
  platform::EncodedText native = platform::AnsiTextToNative(name, TextCodePage());
  std::string result = native.ok ? std::move(native.bytes) : name;
  if (result.size() > kMaxIndexNameLength) result.resize(kMaxIndexNameLength);
  return result;
}

void TttTable::SetIndex(const std::string& value, bool isFields) {
  if (Active()) CheckBrowseMode();
  if (value == indexValue_ && isFields == indexIsFields_) return;
  if (Active()) {
    DestroyLookupCursor();
    SwitchToIndex(EngineIndexName(value, isFields), "");
    indexValue_ = value;
    indexIsFields_ = isFields;
    CheckMasterRange();
    Resync();
    return;
  }
  indexValue_ = value;
  indexIsFields_ = isFields;
}

// ---- lookup cursor ----

TBaseTable* TttTable::GetLookupCursor(const std::string& keyFields, bool caseInsensitive) {
  if (lookupCursor_ && keyFields == lookupKeyFields_ && caseInsensitive == lookupCaseInsensitive_)
    return lookupCursor_;
  DestroyLookupCursor();
  if (KeyBuffer(TKeyIndex::kiCurRangeStart).Modified || KeyBuffer(TKeyIndex::kiCurRangeEnd).Modified)
    return nullptr;
  if (!indexDefs_.updated) UpdateIndexDefs();
  const TIndexDef* def = indexDefs_.GetIndexForFields(keyFields, caseInsensitive);
  if (def && def->Has(ixCaseInsensitive) == caseInsensitive &&
      keyFields.size() < kMaxIndexNameLength) {
    TSessionLock lock(*DBSession());
    TBaseTable* clone = nullptr;
    Check(Engine()->CloneCursor(Handle(), true, false, clone));
    const std::string index = EngineIndexName(def->name, false);
    if (const uint16_t status = Engine()->SwitchToIndex(clone, index.c_str(), nullptr, 0, false)) {
      Engine()->CloseCursor(clone);
      Check(status);
    }
    lookupCursor_ = clone;
  }
  lookupKeyFields_ = keyFields;
  lookupCaseInsensitive_ = caseInsensitive;
  return lookupCursor_;
}

void TttTable::DestroyLookupCursor() {
  if (lookupCursor_) {
    TSessionLock lock(*DBSession());
    Engine()->CloseCursor(lookupCursor_);
  }
  lookupCursor_ = nullptr;
  lookupKeyFields_.clear();
}

// ---- the table itself ----

bool TttTable::CreateTableLike(TttBDEDataset& source) {
  CheckInactive();
  if (!source.Handle()) DatabaseError(dbconsts::SDataSetClosed, &source);
  bool created = false;
  WithDatabase([&](TBaseDatabase& database) {
    // The name proper, without the options (";OWNER:...") a table name may carry.
    const std::string fullName = EngineTableName();
    const std::string name = fullName.substr(0, fullName.find(';'));
    bool exists = false;
    database.TableExists(name.c_str(), exists);
    if (exists) return;
    database.CreateTableLike(source.Handle(), name.c_str(), nullptr);
    created = true;
  });
  return created;
}

void TttTable::AddIndex(const std::string& name, const std::string& fields, unsigned options) {
  if (Active()) CheckBrowseMode();
  const IndexDesc desc = NewIndexDesc(name, fields, options);
  WithDatabase([&](TBaseDatabase& database) {
    database.AddIndex(Handle(), EngineTableName().c_str(), nullptr, desc, nullptr);
  });
  indexDefs_.updated = false;
}

void TttTable::DeleteIndex(const std::string& name) {
  if (Active()) CheckBrowseMode();
  platform::EncodedText native = platform::AnsiTextToNative(name, TextCodePage());
  const std::string engineName = native.ok ? std::move(native.bytes) : name;
  WithDatabase([&](TBaseDatabase& database) {
    database.DeleteIndex(Handle(), EngineTableName().c_str(), nullptr, engineName.c_str(),
                         nullptr, 0);
  });
  indexDefs_.updated = false;
}

IndexDesc TttTable::NewIndexDesc(const std::string& name, const std::string& fields,
                                 unsigned options) {
  IndexDesc desc{};
  platform::EncodedText native = platform::AnsiTextToNative(name, TextCodePage());
  CopyToBuffer(desc.IndexName, native.ok ? native.bytes : name);
  const TFieldDefs& defs = FieldDefs();
  for (const std::string& field : SplitFieldNames(fields)) {
    const int at = defs.IndexOf(field);
    if (at < 0) DatabaseError(FormatMessage(dbconsts::SFieldNotFound, field), this);
    if (desc.FieldsInKey == kMaxKeyFields)
      DatabaseError(FormatMessage(dbconsts::SNoFieldIndexes, fields), this);
    desc.KeyFields[desc.FieldsInKey++] = static_cast<uint16_t>(at + 1);
  }
  if (desc.FieldsInKey == 0) DatabaseError(FormatMessage(dbconsts::SNoFieldIndexes, fields), this);
  desc.Primary = (options & ixPrimary) != 0;
  desc.Unique = (options & (ixPrimary | ixUnique)) != 0;
  desc.Descending = (options & ixDescending) != 0;
  desc.CaseInsensitive = (options & ixCaseInsensitive) != 0;
  desc.Maintained = 1;
  return desc;
}

void TttTable::WithDatabase(const std::function<void(TBaseDatabase&)>& work) {
  const bool attach = !Active();
  if (attach) SetDBFlag(dbfOpened, true);
  try {
    TSessionLock lock(*DBSession());
    CallEngineObject([&] { work(*DBHandle()); });
  } catch (...) {
    if (attach) SetDBFlag(dbfOpened, false);
    throw;
  }
  if (attach) SetDBFlag(dbfOpened, false);
}

// ---- keys and ranges ----

bool TttTable::GotoKey() {
  CheckBrowseMode();
  CursorPosChanged();
  TKeyBuffer& key = KeyBuffer(TKeyIndex::kiLookup);
  TSessionLock lock(*DBSession());
  std::vector<uint8_t> record(key.Record.data.size(), 0);
  const uint16_t status = Engine()->GetRecordForKey(Handle(), false, key.FieldCount, 0,
                                                    key.Record.data.data(), record.data());
  if (status != 0) {
    if ((status >> 8) == kStatusCategoryRecordNotFound) return false;
    Check(status);
  }
  ResyncFromStorage(true);
  return true;
}

void TttTable::GotoNearest() {
  CheckBrowseMode();
  CursorPosChanged();
  TKeyBuffer& key = KeyBuffer(TKeyIndex::kiLookup);
  TSessionLock lock(*DBSession());
  CallEngineObject(
      [&] { Handle()->SetToKey(keyCONDGEQ, false, key.FieldCount, 0, key.Record.data.data()); });
  // Nothing at or after the key: the last record is the nearest.
  if (Engine()->GetRecord(Handle(), dbiNOLOCK, nullptr, nullptr) != 0) {
    Last();
    return;
  }
  ResyncFromStorage(true);
}

bool TttTable::FindKey(const std::vector<TValue>& keyValues) {
  CheckBrowseMode();
  SetKeyFields(TKeyIndex::kiLookup, keyValues);
  return GotoKey();
}

void TttTable::FindNearest(const std::vector<TValue>& keyValues) {
  CheckBrowseMode();
  SetKeyFields(TKeyIndex::kiLookup, keyValues);
  GotoNearest();
}

void TttTable::ApplyRange() {
  CheckBrowseMode();
  SetCursorRange();
}

void TttTable::CancelRange() {
  CheckBrowseMode();
  if (ResetCursorRange()) First();
}

void TttTable::SetRange(const std::vector<TValue>& startValues,
                        const std::vector<TValue>& endValues) {
  CheckBrowseMode();
  SetKeyFields(TKeyIndex::kiRangeStart, startValues);
  SetKeyFields(TKeyIndex::kiRangeEnd, endValues);
  ApplyRange();
}

// ---- master/detail ----

std::vector<TValue> TttTable::MasterValues() const {
  std::vector<TValue> values;
  for (const TField* field : masterLink_.Fields()) values.push_back(field->Value());
  return values;
}

TField* TttTable::KeyField(int position) const {
  for (int f = 0; f < FieldCount(); ++f)
    if (Fields(f)->FieldNo() == KeyFieldNumber(position) && !Fields(f)->Calculated())
      return Fields(f);
  return nullptr;
}

void TttTable::CheckMasterRange() {
  if (!Active() || !masterLink_.Active() || masterLink_.Fields().empty()) return;
  SetMasterRange(MasterValues());
}

void TttTable::SetMasterRange(const std::vector<TValue>& masterValues) {
  SetKeyFields(TKeyIndex::kiRangeStart, masterValues);
  SetCursorRange();
}

void TttTable::MasterChanged() {
  if (!Active()) return;
  CheckBrowseMode();
  CheckMasterRange();
}

void TttTable::MasterDisabled() {
  if (!Active()) return;
  CheckBrowseMode();
  if (ResetCursorRange()) First();
}

void TttTable::InternalInsert() {
  TttDBDataset::InternalInsert();
  if (!masterLink_.Active() || masterLink_.Fields().empty()) return;
  // The link's key fields take the master's values before the new-record event.
  SetState(S::dsInsert);
  const std::vector<TValue> values = MasterValues();
  for (std::size_t i = 0; i < values.size() && static_cast<int>(i) < KeyFieldCount(); ++i)
    if (TField* field = KeyField(static_cast<int>(i))) field->SetValue(values[i]);
}

void TttTable::GetDetailLinkFields(std::vector<TField*>& masterFields,
                                   std::vector<TField*>& detailFields) {
  masterFields.clear();
  detailFields.clear();
  TDataSource* source = masterLink_.DataSource();
  if (!source || !source->DataSet() || MasterFields().empty()) return;
  masterFields = source->DataSet()->GetFieldList(MasterFields());
  UpdateIndexDefs();
  const TIndexDef* index = nullptr;
  if (!IndexName().empty())
    index = indexDefs_.Find(IndexName());
  else if (!IndexFieldNames().empty())
    index = indexDefs_.GetIndexForFields(IndexFieldNames(), false);
  for (std::size_t i = 0; !index && i < indexDefs_.size(); ++i)
    if (indexDefs_[i].Has(ixPrimary)) index = &indexDefs_[i];
  if (index) detailFields = GetFieldList(index->fields);
}

// ---- posting and blobs ----

void TttTable::FreeModifiedBlobs() {
  if (modifiedBlobs_.empty()) return;
  if (Handle() && BufferedRecords() > 0) {
    TSessionLock lock(*DBSession());
    uint8_t* record = FieldRecord(*ActiveBuffer());
    for (const TField* field : modifiedBlobs_)
      Engine()->FreeBlob(Handle(), record, static_cast<uint16_t>(field->FieldNo()));
  }
  modifiedBlobs_.clear();
}

void TttTable::InternalPost() {
  TttDBDataset::InternalPost();
  FreeModifiedBlobs();
}

void TttTable::InternalCancel() {
  FreeModifiedBlobs();
  TttDBDataset::InternalCancel();
}

bool TttTable::GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const {
  if (IsBlobType(field->DataType()) && Handle() && &buffer == CurrentRecordBuffer()) {
    auto stream = const_cast<TttTable*>(this)->CreateBlobStream(const_cast<TField*>(field),
                                                               TBlobStreamMode::bmRead);
    return stream && stream->Size() > 0;
  }
  return TttDBDataset::GetFieldData(field, buffer, dest);
}

void TttTable::SetFieldData(TField* field, TRecordBuffer& buffer, const void* source) {
  if (source == &kBlobWrittenByStream) return;
  TttDBDataset::SetFieldData(field, buffer, source);
}

}  // namespace vader
