#include "engine/BseSess.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseRgtry.h"
#include "engine/BseUtils.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

#include "engine/BseCache.h"

namespace vader {
namespace {

constexpr char kDatabasesPrefix[] = "\\DATABASES\\";
constexpr char kDbInfoSuffix[] = "\\DB INFO";
constexpr char kDbOpenSuffix[] = "\\DB OPEN";
constexpr char kPathDbName[] = "PATH";
constexpr char kUserNameNode[] = "USER NAME";
constexpr uint16_t kCfgStringType = 1;

bool SameName(std::string_view a, std::string_view b) {
  return platform::CompareTextLocale(a, b) == 0;
}

std::string Text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }

// Reads an alias parameter string: pairs separated by ';', each a name, a colon and a value in
// double quotes. A pair counts only at its closing quote, so an unquoted value is dropped; ':'
// and ';' inside quotes belong to the value. Blanks around a name are not part of it.
void ParseAliasParams(const char* params,
                      const std::function<void(const std::string&, const std::string&)>& pair) {
  std::string name, value;
  bool inName = true, inQuotes = false;
  for (const char* p = params ? params : ""; *p != '\0'; ++p) {
    const char ch = *p;
    if (ch == '"') {
      inQuotes = !inQuotes;
      if (inQuotes) {
        inName = false;
        continue;
      }
      const size_t first = name.find_first_not_of(' ');
      const size_t last = name.find_last_not_of(' ');
      pair(first == std::string::npos ? std::string() : name.substr(first, last - first + 1),
           value);
      name.clear();
      value.clear();
      inName = true;
    } else if (ch == ':' && !inQuotes) {
      inName = false;
    } else if (ch == ';' && !inQuotes) {
      name.clear();
      value.clear();
      inName = true;
    } else {
      (inName ? name : value) += ch;
    }
  }
}

// The configuration record of exactly `path`, or nullptr.
TBaseCfgrecord* FindCfgRecord(TVaderCollection& records, std::string_view path) {
  for (int i = 0; i < records.Count(); ++i) {
    auto* record = dynamic_cast<TBaseCfgrecord*>(records.At(i));
    if (record != nullptr && record->Path() == path) return record;
  }
  return nullptr;
}

void AppendCfgRow(TBaseTable& list, std::string_view node, std::string_view value) {
  CfgInfoRecord row{};
  CopyToBuffer(row.NodeName, node);
  row.DataType = kCfgStringType;
  CopyToBuffer(row.Value, value);
  list.AppendRecord(reinterpret_cast<uint8_t*>(&row));
}

}  // namespace

TBaseSession::TBaseSession(TBapiListItem* engine, TVaderCollection* collection, const char* name,
                           const char* dir)
    : TBapiListItem(engine, collection) {
  if (name != nullptr)
    CopyToBuffer(sessionName_, std::string_view(name).substr(0, kMaxSessionNameLength));
  if (dir != nullptr) {
    CopyToBuffer(netDir_, dir);
    CopyToBuffer(privateDir_, dir);
  }
}

void TBaseSession::AfterConstruction() { InitRegistryRoot(); }

TBaseSession::~TBaseSession() {
  databases_.FreeAll();
  cfgRecords_.FreeAll();
  memTables_.FreeAll();
}

void TBaseSession::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (propId) {
    case kSessionCurrentDirProp: {
      std::vector<char> dir(4096);
      if (getcwd(dir.data(), dir.size()) == nullptr) dir[0] = '\0';
      PutPropText(dir.data(), value, maxLen, len);
      return;
    }
    case kSessionOptionProp:
    case kSessionOptionAliasProp:
      PutPropValue(&sessionOption_, sizeof sessionOption_, value, maxLen, len);
      return;
    default:
      TBapiListItem::GetProp(propId, value, maxLen, len);
  }
}

void TBaseSession::SetProp(uint32_t propId, int32_t value) {
  if (propId == kSessionOptionProp || propId == kSessionOptionAliasProp) sessionOption_ = value;
}

void TBaseSession::SetRegistry(uint32_t root, const char* path) {
  registry_ = RegistryLocation{};
  registry_.Root = root;
  CopyToBuffer(registry_.Path, Text(path));
}

std::string TBaseSession::RegistryPath() const { return BoundedString(registry_.Path); }

void TBaseSession::SetCharSetSwitches(bool ignoreOemAnsi, bool ignoreAnsiOem) {
  ignoreOemAnsi_ = ignoreOemAnsi;
  ignoreAnsiOem_ = ignoreAnsiOem;
}

std::string TBaseSession::AliasKeyPath(const std::string& name) const {
  std::string path = RegistryPath();
  if (path.empty() || path.front() != '\\') path.insert(path.begin(), '\\');
  return path + "\\Aliases\\" + name;
}

void TBaseSession::FillSesInfo(SessionInfo& info) {
  info = SessionInfo{};
  info.SessionIndex = static_cast<uint16_t>(std::max(IndexInCollection(), 0));
  CopyToBuffer(info.SessionName, BoundedString(sessionName_));
  info.DatabaseCount = static_cast<uint16_t>(databases_.Count());
  int cursors = 0;
  for (int i = 0; i < databases_.Count(); ++i)
    if (const auto* db = dynamic_cast<const TBaseDatabase*>(databases_.At(i)))
      cursors += db->Tables().Count();
  info.CursorCount = static_cast<uint16_t>(cursors);
  CopyToBuffer(info.NetDir, BoundedString(netDir_));
  CopyToBuffer(info.PrivateDir, BoundedString(privateDir_));
}

void TBaseSession::AdjustDbType(bool keepType, DatabaseDesc& desc) {
  if (!keepType) CopyToBuffer(desc.DbType, kStandardDbType);
}

void TBaseSession::GetDatabaseDesc(const char* name, DatabaseDesc& desc, bool keepType) {
  CheckParam(name);
  if (IsPathName(name, true)) {
    desc = DatabaseDesc{};
    CopyToBuffer(desc.DbName, kPathDbName);
    CopyToBuffer(desc.DbText, kPathDbName);
    CopyToBuffer(desc.PhysicalPath, AddBackslash(name));
    AdjustDbType(false, desc);
    return;
  }
  TTemporaryCursor list;
  OpenDatabaseList(list.cursor);
  DatabaseDesc entry{};
  try {
    for (;;) {
      list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&entry),
                                             nullptr);
      if (SameName(BoundedString(entry.DbName), name)) break;
    }
  } catch (const EVaderBoundryError&) {
    RaiseEngineErrorContext(DBIERR_UNKNOWNDB, name);
  }
  desc = entry;
  AdjustDbType(keepType, desc);
}

void TBaseSession::GetDatabaseDescStd(const char* name, DatabaseDesc& desc) {
  GetDatabaseDesc(name, desc, false);
}

void TBaseSession::SessionReserved12() { RaiseNotSupported(9081); }
void TBaseSession::SessionReserved13() { RaiseNotSupported(9082); }
void TBaseSession::SessionReserved14() { RaiseNotSupported(9083); }
void TBaseSession::SessionReserved15() { RaiseNotSupported(9084); }
void TBaseSession::SessionReserved16() { RaiseNotSupported(9085); }
void TBaseSession::SessionReserved17() { RaiseNotSupported(9086); }

void TBaseSession::CreateDatabase(const DatabaseDesc&, uint32_t, uint32_t, const char*, uint16_t,
                                  const FieldDesc*, const void*, TBaseDatabase*&) {
  RaiseNotSupported(9114);
}

void TBaseSession::OpenDatabase(const char* name, const char*, uint32_t openMode,
                                uint32_t shareMode, const char* password, uint16_t optCount,
                                const FieldDesc* optDescs, const void* optParams,
                                TBaseDatabase*& database) {
  CheckParam(name);
  DatabaseDesc desc{};
  CopyToBuffer(desc.DbName, name);
  CopyToBuffer(desc.DbType, GetDriverName());
  bool hasText = false, hasPath = false;
  if (optCount > 0 && optDescs != nullptr && optParams != nullptr) {
    for (uint16_t i = 0; i < optCount; ++i) {
      const std::string param = BoundedString(optDescs[i].FieldName);
      const char* value = static_cast<const char*>(optParams) + optDescs[i].FieldOffset;
      if (SameName(param, "Description")) {
        CopyToBuffer(desc.DbText, std::string_view(value).substr(0, kMaxSessionNameLength));
        hasText = true;
      } else if (SameName(param, "PhysicalName")) {
        CopyToBuffer(desc.PhysicalPath, value);
        hasPath = true;
      }
    }
  }
  if (!(hasText && hasPath)) GetDatabaseDesc(name, desc, true);
  CreateDatabase(desc, openMode, shareMode, password, optCount, optDescs, optParams, database);
}

void TBaseSession::SessionReserved21(uint32_t, void* record) {
  std::memset(CheckParam(record), 0, 156);
}

void TBaseSession::OpenDatabaseList(TBaseTable*& cursor) {
  std::unique_ptr<TBaseTable> list(TBaseTable::Create<TRegDBListTable>(
      this, &memTables_, &cfgRecords_, GetDriverName(), &registry_));
  list->OpenCursor();
  cursor = list.release();
}

void TBaseSession::CloseList(TBaseTable*& cursor) {
  delete cursor;
  cursor = nullptr;
}

void TBaseSession::SessionReserved25(uint32_t, void*& address) { address = &sessionReservedWord_; }

void TBaseSession::SessionReserved26() { RaiseNotSupported(9087); }

void TBaseSession::GetTableOpenCount(bool all, const char* name, const char* driverType,
                                     uint32_t& count) {
  count = 0;
  if (!all) return;
  for (int i = 0; i < databases_.Count(); ++i) {
    auto* db = dynamic_cast<TBaseDatabase*>(databases_.At(i));
    if (db == nullptr) continue;
    uint32_t open = 0;
    db->GetTableOpenCount(name, driverType, open);
    count += open;
  }
}

void TBaseSession::SessionReserved28() { RaiseNotSupported(9088); }
void TBaseSession::SessionReserved29() { RaiseNotSupported(9089); }
void TBaseSession::SessionReserved30() { RaiseNotSupported(9090); }
void TBaseSession::SessionReserved31() { RaiseNotSupported(9091); }
void TBaseSession::SessionReserved32() { RaiseNotSupported(9092); }
void TBaseSession::SessionReserved33() { RaiseNotSupported(9093); }

namespace {

void ConvertText(char* dest, const char* source, uint32_t length, uint32_t& dataLoss, bool copy,
                 std::string (*convert)(std::string_view)) {
  dataLoss = 0;
  if (length == 0) return;
  CheckParam(dest);
  CheckParam(source);
  if (copy) {
    std::memmove(dest, source, length);
    return;
  }
  const std::string converted = convert(std::string_view(source, length));
  std::memcpy(dest, converted.data(), std::min<size_t>(converted.size(), length));
}

}  // namespace

void TBaseSession::NativeToAnsi(const void*, char* dest, const char* source, uint32_t length,
                                uint32_t& dataLoss) {
  ConvertText(dest, source, length, dataLoss, ignoreOemAnsi_, &platform::OemToChar);
}

void TBaseSession::AnsiToNative(const void*, char* dest, const char* source, uint32_t length,
                                uint32_t& dataLoss) {
  ConvertText(dest, source, length, dataLoss, ignoreAnsiOem_, &platform::CharToOem);
}

void TBaseSession::RegisterCallBack(TBaseTable* cursor, uint32_t kind, uintptr_t clientData,
                                    uint16_t bufferLength, void* buffer, void* callback) {
  if (cursor == nullptr) RaiseNotSupported(9094);
  cursor->RegisterCallBack(kind, clientData, bufferLength, buffer, callback);
}

void TBaseSession::SessionReserved37(TBaseTable* cursor, uint32_t, uintptr_t, uint16_t, void*,
                                     void*) {
  // Cursors leave that registration unsupported.
  RaiseNotSupported(cursor != nullptr ? kCursorNotSupportedResource : 9095);
}

void TBaseSession::SessionReserved38() { RaiseNotSupported(9096); }
void TBaseSession::SessionReserved39() { RaiseNotSupported(9097); }
void TBaseSession::SessionReserved40() { RaiseNotSupported(9098); }

void TBaseSession::SessionReserved42(void* record) { std::memset(CheckParam(record), 0, 32); }

void TBaseSession::SessionReserved43(void* record) {
  auto* bytes = static_cast<uint8_t*>(CheckParam(record));
  std::memset(bytes, 0, 346);
  const uint16_t minusOne = 0xFFFF;
  std::memcpy(bytes, &minusOne, 2);
  std::memcpy(bytes + 4, &minusOne, 2);
}

void TBaseSession::GetClientInfo(ClientInfo& info) {
  info = ClientInfo{};
  info.SessionCount = static_cast<uint16_t>(Collection() ? Collection()->Count() : 0);
  CopyToBuffer(info.WorkingDir, BoundedString(netDir_));
}

void TBaseSession::SessionReserved45() { RaiseEngineError(DBIERR_DRIVERLIMIT); }

void TBaseSession::GetSysInfo(SysInfo& info) {
  info = SysInfo{};
  info.Sessions = static_cast<uint16_t>(Collection() ? Collection()->Count() : 0);
}

void TBaseSession::GetSesInfo(SessionInfo& info) {
  FillSesInfo(info);
  info.LockWait = static_cast<uint16_t>(lockWait_);
}

std::string TBaseSession::GetNetUserName() { return vader::GetNetUserName(); }

void TBaseSession::AddAlias(TCfgHandle cfg, const char* name, const char*, const char* params,
                            bool) {
  CheckParam(name);
  std::vector<FieldDesc> descs;
  uint8_t values[kAliasValueBufferSize] = {};
  size_t used = 0;
  ParseAliasParams(params, [&](const std::string& param, const std::string& value) {
    if (descs.size() == kMaxAliasParams || used + value.size() + 1 > sizeof values)
      throw ERangeError("Range check error");
    FieldDesc desc{};
    desc.FieldNumber = static_cast<uint16_t>(descs.size() + 1);
    CopyToBuffer(desc.FieldName, param);
    desc.FieldOffset = static_cast<uint16_t>(used);
    desc.FieldLength = static_cast<uint16_t>(value.size() + 1);
    std::memcpy(values + used, value.data(), value.size());
    used += value.size() + 1;
    descs.push_back(desc);
  });
  SetCfgRecord(cfg, (std::string(kDatabasesPrefix) + name + kDbInfoSuffix).c_str(),
               static_cast<int32_t>(descs.size()), descs.data(), values);
}

void TBaseSession::DeleteAlias(TCfgHandle cfg, const char* name) {
  // Only the records of this alias: "\DATABASES\<name>\" begins each of its paths, while a bare
  // name would also match other aliases (and every path for names such as "DB").
  const std::string prefix = std::string(kDatabasesPrefix) + CheckParam(name) + "\\";
  try {
    DeleteCfgRecords(cfg, prefix.c_str());
  } catch (const EVaderBoundryError&) {
    // The alias had no run-time record.
  }
}

void TBaseSession::WriteAliasParams(TRightsRegistry& registry, const char* params) {
  ParseAliasParams(params, [&](const std::string& param, const std::string& value) {
    registry.WriteString(param, value);
  });
}

void TBaseSession::AddAliasToRegistry(const char* name, const char* params) {
  TRightsRegistry registry;
  registry.SetRootKey(RegistryRoot());
  if (registry.OpenKey(AliasKeyPath(CheckParam(name)), true)) WriteAliasParams(registry, params);
}

void TBaseSession::DeleteAliasFromRegistry(const char* name) {
  TRightsRegistry registry;
  registry.SetRootKey(RegistryRoot());
  const std::string key = AliasKeyPath(CheckParam(name));
  if (registry.KeyExists(key)) registry.DeleteKey(key);
}

void TBaseSession::ReadCfgInfo(TBaseTable* list) {
  CheckParam(list);
  if (list->GetRecordSize() != sizeof(CfgInfoRecord)) RaiseEngineError(DBIERR_INVALIDRECSTRUCT);
  const std::string path = list->GetTableName();
  const size_t prefix = path.find(kDatabasesPrefix);
  if (prefix == std::string::npos) return;
  std::string name = path.substr(prefix + std::strlen(kDatabasesPrefix));
  size_t cut = name.find(kDbOpenSuffix);
  if (cut == std::string::npos) cut = name.find(kDbInfoSuffix);
  if (cut != std::string::npos) name.resize(cut);

  if (IsPathName(name, true)) {
    AppendCfgRow(*list, kPathDbName, name);
    AppendCfgRow(*list, kUserNameNode, "");
    return;
  }
  TRightsRegistry registry;
  registry.SetRootKey(RegistryRoot());
  registry.Access = platform::KEY_READ;
  if (!registry.OpenKey(AliasKeyPath(name), false)) return;
  bool sawUser = false;
  for (const std::string& value : registry.GetValueNames()) {
    std::string text;
    switch (registry.GetDataType(value)) {
      case TRegDataType::rdString:
        text = registry.ReadString(value);
        break;
      case TRegDataType::rdInteger:
        text = std::to_string(registry.ReadInteger(value));
        break;
      default:
        continue;  // values of other kinds are not shown
    }
    std::string node = value;
    if (!sawUser && SameName(value, "USER")) {
      node = kUserNameNode;
      sawUser = true;
    }
    AppendCfgRow(*list, node, text);
  }
  if (!sawUser) AppendCfgRow(*list, kUserNameNode, "");
}

void TBaseSession::SessionReserved55() { RaiseNotSupported(9102); }
void TBaseSession::SessionReserved56() { RaiseNotSupported(9103); }
void TBaseSession::SessionReserved57() { RaiseNotSupported(9104); }
void TBaseSession::SessionReserved58() { RaiseNotSupported(9105); }

void TBaseSession::FindCfgPath(TCfgHandle, const char* text) {
  const std::string_view wanted = CheckParam(text);
  for (int i = 0; i < cfgRecords_.Count(); ++i) {
    const auto* record = dynamic_cast<const TBaseCfgrecord*>(cfgRecords_.At(i));
    if (record != nullptr && record->Path().find(wanted) != std::string::npos) return;
  }
  RaiseEOF();
}

void TBaseSession::SessionReserved60() { RaiseNotSupported(9107); }

void TBaseSession::GetCfgRecord(TCfgHandle, const char* path, int32_t& count, FieldDesc* descs,
                                void* values) {
  const TBaseCfgrecord* record = FindCfgRecord(cfgRecords_, CheckParam(path));
  if (record == nullptr) RaiseEOF();
  count = record->FieldCount();
  if (descs != nullptr && count > 0)
    std::memcpy(descs, record->FieldDescs(), sizeof(FieldDesc) * static_cast<size_t>(count));
  if (values != nullptr && record->Values() != nullptr)
    std::memcpy(values, record->Values(), record->ValuesSize());
}

void TBaseSession::SetCfgRecord(TCfgHandle cfg, const char* path, int32_t count,
                                const FieldDesc* descs, const void* values) {
  try {
    UpdateCfgRecord(cfg, path, count, descs, values);
  } catch (const EVaderBoundryError&) {
    new TBaseCfgrecord(this, &cfgRecords_, path, count, descs, values);
  }
}

void TBaseSession::UpdateCfgRecord(TCfgHandle, const char* path, int32_t count,
                                   const FieldDesc* descs, const void* values) {
  TBaseCfgrecord* record = FindCfgRecord(cfgRecords_, CheckParam(path));
  if (record == nullptr) RaiseEOF();
  record->SetFields(count, descs, values);
}

void TBaseSession::DeleteCfgRecords(TCfgHandle, const char* text) {
  const std::string_view wanted = CheckParam(text);
  bool deleted = false;
  for (int i = cfgRecords_.Count() - 1; i >= 0; --i) {
    auto* record = dynamic_cast<TBaseCfgrecord*>(cfgRecords_.At(i));
    if (record != nullptr && record->Path().find(wanted) != std::string::npos) {
      delete record;
      deleted = true;
    }
  }
  if (!deleted) RaiseEOF();
}

void TBaseSession::SessionReserved65() { RaiseNotSupported(9108); }
void TBaseSession::SessionReserved66() { RaiseNotSupported(9109); }
void TBaseSession::SessionReserved67() { RaiseNotSupported(9110); }
void TBaseSession::SessionReserved68() { RaiseNotSupported(9111); }
void TBaseSession::SessionReserved69() { RaiseNotSupported(9112); }
void TBaseSession::SessionReserved70() { RaiseNotSupported(9113); }

void TBaseSession::SetPrivateDir(const char* dir) { CopyToBuffer(privateDir_, Text(dir)); }

void TBaseSession::OpenCfgInfoList(TCfgHandle, uint32_t, uint32_t, const char* path,
                                   TBaseTable*& list) {
  FieldDesc fields[5] = {};
  const struct {
    const char* name;
    uint16_t type;
    int16_t units1;
  } kFields[5] = {{"szNodeName", fldZSTRING, 31},
                  {"szDescription", fldZSTRING, 127},
                  {"iDataType", fldUINT16, 0},
                  {"szValue", fldZSTRING, 127},
                  {"bHasSubNodes", fldBOOL, 0}};
  for (int i = 0; i < 5; ++i) {
    fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
    CopyToBuffer(fields[i].FieldName, kFields[i].name);
    fields[i].FieldType = kFields[i].type;
    fields[i].FieldUnits1 = kFields[i].units1;
  }
  std::unique_ptr<TBaseTable> table(
      TMemTable::CreateStandAlone(this, &memTables_, path, 5, fields));
  ReadCfgInfo(table.get());
  // Reading starts at the first row.
  table->OpenCursor();
  list = table.release();
}

}  // namespace vader
