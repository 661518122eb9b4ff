#include "engine/BseDbase.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/BseCache.h"
#include "engine/BseErrs.h"
#include "engine/BseStmt.h"
#include "engine/BseUtils.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr uint16_t kDbLevelProp = 0;
constexpr uint16_t kDbTypeProp = 2;
constexpr uint16_t kDatabaseLevel = 27;
constexpr char kUserNameParam[] = "USER NAME";
constexpr char kCodePageParam[] = "CODE PAGE";

// Names of tables, files and parameters compare as the user's locale does, case ignored.
bool SameName(std::string_view a, std::string_view b) {
  return platform::CompareTextLocale(a, b) == 0;
}

}  // namespace

TBaseDatabase::TBaseDatabase(TBapiListItem* session, TVaderCollection* collection,
                             const DatabaseDesc* desc, uint32_t openMode, uint32_t shareMode,
                             const char* password, uint16_t optParamCount,
                             const FieldDesc* optParamDescs, const void* optParams)
    : TBapiListItem(session, collection),
      pending_{openMode, shareMode, optParamCount, optParamDescs, optParams, std::nullopt} {
  if (desc != nullptr) desc_ = *desc;
  if (password != nullptr) {
    CopyToBuffer(password_, std::string_view(password).substr(0, kMaxPasswordLength));
    pending_.password = password;
  }
}

void TBaseDatabase::AfterConstruction() {
  Pending pending = std::move(pending_);
  pending_ = Pending{};
  SetParams(pending.paramCount, pending.paramDescs, pending.params);
  if (pending.password)
    CopyToBuffer(password_, std::string_view(*pending.password).substr(0, kMaxPasswordLength));
  SetModes(pending.openMode, pending.shareMode);
}

TBaseDatabase::~TBaseDatabase() {
  tables_.FreeAll();
  TBaseDatabase::Disconnect();
}

void TBaseDatabase::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (PropLowWord(propId)) {
    case kDbLevelProp:
      PutPropValue(&kDatabaseLevel, sizeof kDatabaseLevel, value, maxLen, len);
      return;
    case kDbTypeProp:
      PutPropText(GetDatabaseType(), value, maxLen, len);
      return;
    default:
      TBapiListItem::GetProp(propId, value, maxLen, len);
  }
}

void TBaseDatabase::CheckProp(uint32_t propId, bool forWrite) {
  const uint16_t id = PropLowWord(propId);
  if (forWrite && (id == kDbLevelProp || id == kDbTypeProp)) RaiseEngineError(DBIERR_NOTSUPPORTED);
  TBapiListItem::CheckProp(propId, forWrite);
}

void TBaseDatabase::SetModes(uint32_t openMode, uint32_t shareMode) {
  openMode_ = openMode;
  shareMode_ = shareMode;
}

void TBaseDatabase::SetParam(const char* name, const char* value) {
  if (name == nullptr || !SameName(name, kUserNameParam)) return;
  CopyToBuffer(userName_, std::string_view(value ? value : "").substr(0, kMaxUserNameLength));
}

void TBaseDatabase::SetParams(uint16_t count, const FieldDesc* descs, const void* values) {
  if (count == 0) return;
  CheckParam(descs);
  CheckParam(values);
  for (uint16_t i = 0; i < count; ++i) {
    const std::string name = BoundedString(descs[i].FieldName);
    const char* value = static_cast<const char*>(values) + descs[i].FieldOffset;
    if (SameName(name.c_str(), kCodePageParam)) codePage_ = platform::CodePageName(value);
    SetParam(name.c_str(), value);
  }
}

std::string TBaseDatabase::TextCodePage() const {
  return codePage_.empty() ? platform::OemCodePage() : codePage_;
}

void TBaseDatabase::FindOpenTable(const char* name, TBaseTable*& cursor) {
  CheckParam(name);
  if (tables_.Count() > 0) {
    const bool byPath = IsPathName(name, true);
    for (int i = 0; i < tables_.Count(); ++i) {
      auto* table = dynamic_cast<TBaseTable*>(tables_.At(i));
      if (table == nullptr) continue;
      const char* own = byPath ? table->GetFileName() : table->GetTableName();
      if (SameName(name, own) && table->GetFileName()[0] != '\0') {
        cursor = table;
        return;
      }
    }
  }
  RaiseEngineErrorContext(DBIERR_NOSUCHTABLE, name);
}

void TBaseDatabase::SetDirectory(const char* dir) {
  CopyToBuffer(desc_.PhysicalPath, dir ? dir : "");
}

void TBaseDatabase::GetDirectory(char* dir) {
  CopyBounded(CheckParam(dir), kMaxPathLength + 1, BoundedString(desc_.PhysicalPath));
}

void TBaseDatabase::Reserved14() { RaiseNotSupported(9023); }

void TBaseDatabase::OpenFileList(const char* wild, TBaseTable*& cursor) {
  OpenTableList(false, false, wild, cursor);
}

void TBaseDatabase::Reserved19() { RaiseNotSupported(9029); }

void TBaseDatabase::IndexListFrom(TBaseTable& table, TBaseTable*& cursor) {
  CursorProps props{};
  table.GetCursorProps(props);
  const uint16_t count = props.IndexCount;  // a packed member is copied before it is passed on
  if (count == 0) RaiseEngineError(DBIERR_NOTINDEXED);
  std::vector<IndexDesc> descs(count);
  table.GetIndexDescs(descs.data());
  cursor = TBaseTable::Create<TIndexListTable>(this, &tables_, descs.data(), count);
}

void TBaseDatabase::OpenIndexList(const char* tableName, const char*, TBaseTable*& cursor) {
  TBaseTable* open = nullptr;
  try {
    FindOpenTableByName(tableName, open);
  } catch (const EVaderEngineError&) {
    open = nullptr;  // not open here: the table is opened for the list below
  }
  if (open != nullptr && open->State() != TCursorState::Closed) {
    IndexListFrom(*open, cursor);
    return;
  }
  TTemporaryCursor temporary;
  OpenTable(tableName, nullptr, nullptr, nullptr, 0, kOpenReadOnly, kShareShared, 0, false,
            nullptr, temporary.cursor);
  IndexListFrom(*temporary, cursor);
  temporary.cursor->CloseCursor();
}

void TBaseDatabase::Reserved21() { RaiseNotSupported(9024); }
void TBaseDatabase::Reserved22(const char*, const char*, TBaseTable*&) { RaiseNotSupported(9025); }
void TBaseDatabase::Reserved23() { RaiseNotSupported(9026); }
void TBaseDatabase::Reserved24() { RaiseNotSupported(9027); }
void TBaseDatabase::Reserved25() { RaiseNotSupported(9028); }

void TBaseDatabase::OpenSPList(bool, bool, const char*, TBaseTable*&) { RaiseNotSupported(9021); }

void TBaseDatabase::Reserved27() { RaiseNotSupported(9022); }
void TBaseDatabase::Reserved28() { RaiseNotSupported(9000); }
void TBaseDatabase::Reserved29() { RaiseNotSupported(9001); }

void TBaseDatabase::TableExists(const char* name, bool& exists) {
  exists = false;
  CheckParam(name);
  TTemporaryCursor list;
  OpenTableList(false, true, nullptr, list.cursor);
  std::vector<uint8_t> record(list->GetRecordBufferSize());
  TFieldCacheItem& first = list->FieldCache().GetItem(1);
  std::vector<char> tableName(size_t{std::max(first.LocalSize(), first.FieldLength())} + 1);
  try {
    for (;;) {
      list->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
      bool blank = false;
      std::fill(tableName.begin(), tableName.end(), '\0');
      list->GetField(1, record.data(), tableName.data(), blank);
      if (SameName(std::string_view(tableName.data(), strnlen(tableName.data(), tableName.size())),
                   name)) {
        exists = true;
        return;
      }
    }
  } catch (const EVaderBoundryError&) {
    // The whole list was read.
  }
}

void TBaseDatabase::GetTableOpenCount(const char* name, const char*, uint32_t& count) {
  CheckParam(name);
  const std::string_view wanted = std::string_view(name).substr(0, kMaxFieldNameLength);
  count = 0;
  for (int i = 0; i < tables_.Count(); ++i) {
    const auto* table = dynamic_cast<const TBaseTable*>(tables_.At(i));
    if (table != nullptr &&
        SameName(std::string_view(table->GetTableName()).substr(0, kMaxFieldNameLength), wanted))
      ++count;
  }
  if (count == 0) RaiseEngineErrorContext(DBIERR_NOSUCHTABLE, name);
}

void TBaseDatabase::FindOpenTableByName(const char* name, TBaseTable*& cursor) {
  std::string cut(std::string_view(CheckParam(name)).substr(0, kMaxTableNameLength));
  cut = cut.substr(0, cut.find(';'));
  FindOpenTable(cut.c_str(), cursor);
}

namespace {

// Runs `operation` on `cursor`, or on table `name` opened exclusively for it.
template <class Operation>
void OnCursorOrTable(TBaseDatabase& database, TBaseTable* cursor, const char* name,
                     const char* indexName, uint16_t indexId, Operation operation) {
  if (cursor != nullptr) {
    operation(*cursor);
    return;
  }
  TTemporaryCursor temporary;
  database.OpenTable(name, nullptr, indexName, nullptr, indexId, kOpenReadWrite, kShareExclusive,
                     0, true, nullptr, temporary.cursor);
  operation(*temporary);
}

}  // namespace

void TBaseDatabase::EmptyTable(TBaseTable* cursor, const char* name, const char*) {
  OnCursorOrTable(*this, cursor, name, nullptr, 0, [](TBaseTable& t) { t.EmptyTable(); });
}

void TBaseDatabase::CreateTableLike(TBaseTable* /*source*/, const char* /*name*/,
                                    const char* /*location*/) {
  RaiseNotSupported(9005);
}
void TBaseDatabase::Reserved35() { RaiseNotSupported(9006); }
void TBaseDatabase::Reserved36() { RaiseNotSupported(9007); }
void TBaseDatabase::Reserved37() { RaiseNotSupported(9008); }

void TBaseDatabase::CreateInMemTable(const char* name, uint16_t fieldCount, const FieldDesc* descs,
                                     TBaseTable*& cursor) {
  if (descs == nullptr || fieldCount == 0)
    RaiseEngineErrorContext(DBIERR_INVALIDPARAM, name ? name : "");
  TMemTable* table = nullptr;
  try {
    table = TMemTable::CreateStandAlone(this, &tables_, name, fieldCount, descs);
  } catch (const EVaderEngineError&) {
    table = nullptr;  // fields the table cannot lay out
  }
  if (table == nullptr) RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, name ? name : "");
  // Handed out ready to be filled and read, as every opened cursor is.
  table->OpenCursor();
  cursor = table;
}

void TBaseDatabase::Reserved39() { RaiseNotSupported(9010); }
void TBaseDatabase::Reserved40() { RaiseNotSupported(9011); }
void TBaseDatabase::RenameTable(const char*, const char*) { RaiseNotSupported(9012); }
void TBaseDatabase::DeleteTable(const char*) { RaiseNotSupported(9013); }

void TBaseDatabase::AddIndex(TBaseTable* cursor, const char* name, const char*,
                             const IndexDesc& desc, const char* keyViolName) {
  OnCursorOrTable(*this, cursor, name, nullptr, desc.IndexId,
                  [&](TBaseTable& t) { t.AddIndex(desc, keyViolName); });
}

void TBaseDatabase::DeleteIndex(TBaseTable* cursor, const char* name, const char*,
                                const char* indexName, const char* indexTagName, uint16_t indexId) {
  OnCursorOrTable(*this, cursor, name, indexName, indexId,
                  [&](TBaseTable& t) { t.DeleteIndex(indexName, indexTagName, indexId); });
}

void TBaseDatabase::BeginTran(uint32_t, TTranHandle&) { RaiseNotSupported(9002); }
void TBaseDatabase::EndTran(TTranHandle, uint32_t) { RaiseNotSupported(9003); }

void TBaseDatabase::GetTranInfo(TTranHandle, TranInfo& info) {
  info = TranInfo{};
  info.TranState = tranState_;
  info.Isolation = tranIsolation_;
}

void TBaseDatabase::Reserved48() { RaiseNotSupported(9004); }

void TBaseDatabase::Connect() {
  connected_ = false;
  RaiseNotSupported(9014);
}

void TBaseDatabase::Reserved51() { RaiseNotSupported(9015); }
void TBaseDatabase::Reserved52() { RaiseNotSupported(9016); }

void TBaseDatabase::QExecDirect(uint16_t language, const char* query, TBaseTable** cursor) {
  TSqlStmt* stmt = nullptr;
  struct FreeStatement {
    TSqlStmt*& stmt;
    ~FreeStatement() { delete stmt; }
  } freeStatement{stmt};
  QAlloc(language, stmt);
  QPrepare(stmt, query);
  if (stmt != nullptr) stmt->Execute(cursor);
}

void TBaseDatabase::QAlloc(uint16_t, TSqlStmt*&) { RaiseNotSupported(9017); }

void TBaseDatabase::QPrepare(TSqlStmt*& stmt, const char* query) {
  QPrepareExt(qrylangSQL, query, 0, stmt);
}

void TBaseDatabase::QPrepareExt(uint16_t, const char*, uint32_t, TSqlStmt*&) {
  RaiseNotSupported(9018);
}

void TBaseDatabase::Reserved57() { RaiseNotSupported(9019); }

void TBaseDatabase::QPrepareProc(const char*, uint16_t, const FieldDesc*, void*, TSqlStmt*&) {
  RaiseNotSupported(9020);
}

void TBaseDatabase::Reserved59() { RaiseEngineError(DBIERR_NA); }

}  // namespace vader
