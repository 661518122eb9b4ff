#include "sql/SqlSess.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/BseUtils.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "sql/SQLDbase.h"
#include "sql/Sqlapi.h"

namespace vader {
namespace {

constexpr uint16_t kDbNameSize = 20;

bool HasAt(const char* text) { return std::string_view(text).find('@') != std::string_view::npos; }

}  // namespace

// ---- TSSQLDatabaseTable ----

TSSQLDatabaseTable::TSSQLDatabaseTable(TBaseSession* session, TVaderCollection* collection)
    : TBaseTable(session, collection, nullptr, nullptr, nullptr, kOpenReadOnly, kShareShared) {}

void TSSQLDatabaseTable::CreateHandle() {
  items_.clear();
  auto* session = CheckParam(dynamic_cast<TBaseSession*>(Owner()));
  RegistryLocation location{platform::HKEY_LOCAL_MACHINE, {}};
  CopyToBuffer(location.Path, kBtrieveRegistryPath);
  {
    std::unique_ptr<TRegDBListTable> registered(TBaseTable::Create<TRegDBListTable>(
        session, nullptr, &session->CfgRecords(), kBtrieveDriverName, &location));
    registered->OpenCursor();
    try {
      for (;;) {
        DatabaseDesc desc{};
        registered->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
        items_.emplace_back(desc);
      }
    } catch (const EVaderBoundryError&) {
    }
  }
  AddNamedDatabases(false);
  AddNamedDatabases(true);
}

void TSSQLDatabaseTable::AddNamedDatabases(bool remote) {
  int16_t count = 0;
  if (sqlapi::GetCountDatabaseNames(remote, count) != 0 || count <= 0) return;
  for (int16_t i = 0; i < count; ++i) {
    char name[kDbNameSize + 1] = {};
    const int16_t status = sqlapi::GetDatabaseNames(remote, name, kDbNameSize, int16_t(i + 1));
    const std::string trimmed = BufferToTrimmedString(name, kDbNameSize);
    if (!trimmed.empty()) {
      DatabaseDesc desc{};
      CopyToBuffer(desc.DbName, "@" + trimmed);
      CopyToBuffer(desc.DbText, remote ? "REMOTE" : "LOCAL");
      CopyToBuffer(desc.PhysicalPath, "@" + trimmed);
      CopyToBuffer(desc.DbType, kBtrieveDriverName);
      items_.emplace_back(desc);
    }
    if (status != 0) break;
  }
}

void TSSQLDatabaseTable::OpenCursor() {
  TBaseTable::OpenCursor();
  next_ = 0;
}

void TSSQLDatabaseTable::SetToBegin() {
  TBaseTable::SetToBegin();
  next_ = 0;
}

void TSSQLDatabaseTable::GetNextRecord(TLockType /*lock*/, uint8_t* record, RecordProps* props) {
  if (next_ >= items_.size()) {
    state_ = TCursorState::AtEnd;
    RaiseEOF();
  }
  if (record != nullptr) std::memcpy(record, &items_[next_].Desc, sizeof(DatabaseDesc));
  ++next_;
  state_ = TCursorState::OnRecord;
  if (props != nullptr) *props = RecordProps{};
}

// ---- TBtrSqlSession ----

TBtrSqlSession::TBtrSqlSession(TBapiListItem* engine, TVaderCollection* collection,
                               const char* name, const char* dir)
    : TBtrSession(engine, collection, name, dir) {}

TBtrSqlSession::~TBtrSqlSession() {
  // The databases log out while the engine is still there; the engine stops before the Btrieve
  // client it works through.
  Databases().FreeAll();
  if (Collection() != nullptr) Collection()->Delete(this);
  const bool lastSession = Collection() == nullptr || Collection()->Count() == 0;
  if (!lastSession || SQLLibraryHandle() == SQL_LIBRARY_NOT_LOADED) return;
  if (platform::IsMainThread()) {
    sqlapi::Stop();
    UnloadSQLLibrary();
  }
  ClearSQLLoaded();
}

void TBtrSqlSession::AdjustDbType(bool keepType, DatabaseDesc& desc) {
  if (desc.DbType[0] != '@') return TBtrSession::AdjustDbType(keepType, desc);
  std::error_code error;
  const std::filesystem::path dir(BoundedString(desc.PhysicalPath));
  if (!HasAt(desc.DbName) && !std::filesystem::exists(dir / "USER.DDF", error))
    return TBtrSession::AdjustDbType(keepType, desc);
}

void TBtrSqlSession::CreateDatabase(const DatabaseDesc& desc, uint32_t openMode,
                                    uint32_t shareMode, const char* password, uint16_t optCount,
                                    const FieldDesc* optDescs, const void* optParams,
                                    TBaseDatabase*& database) {
  // Without parameters, those of the database's run-time configuration record.
  const TBaseCfgrecord* config = nullptr;
  if (optCount == 0) {
    const std::string path = "\\DATABASES\\" + BoundedString(desc.DbName) + "\\DB INFO";
    for (int i = 0; i < CfgRecords().Count() && config == nullptr; ++i) {
      const auto* record = dynamic_cast<const TBaseCfgrecord*>(CfgRecords().At(i));
      if (record != nullptr && SameText(record->Path(), path)) config = record;
    }
  }
  if (config != nullptr && config->FieldCount() > 0) {
    optCount = static_cast<uint16_t>(config->FieldCount());
    optDescs = config->FieldDescs();
    optParams = config->Values();
  }
  database = TBaseDatabase::Create<TBtrSqlDatabase>(this, &Databases(), &desc, openMode,
                                                    shareMode, password, optCount, optDescs,
                                                    optParams, ClientID());
  MarkDatabasesOpened();
}

void TBtrSqlSession::OpenDatabaseList(TBaseTable*& cursor) {
  TBtrSettings& settings = BtrSettings();
  if (!settings.IgnoreSQLDatabases && SQLAvailable()) {
    if (SQLLoaded() && DbNamesLibraryLoaded()) {
      cursor = nullptr;
      std::unique_ptr<TSSQLDatabaseTable> list(
          TBaseTable::Create<TSSQLDatabaseTable>(this, &MemTables()));
      list->OpenCursor();
      cursor = list.release();
      return;
    }
    settings.IgnoreSQLDatabases = true;
  }
  TBtrSession::OpenDatabaseList(cursor);
}

}  // namespace vader
