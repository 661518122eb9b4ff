#include "sql/Sqlapi.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string_view>

#include "btrieve/BtrSess.h"
#include "framework/Dialogs.h"
#include "framework/LongWork.h"
#include "platform/DynamicLibrary.h"
#include "sqlengine/XqlApi.h"

namespace vader {
namespace {

// Every export of the engine library, in the order they are resolved.
constexpr std::array kSqlExports = {
    "_xGetSessionID", "_xPutSessionID", "_XQLCallback", "_xShareSessionID", "_XQLCursor",
    "_XQLCompile",    "XQLDescribe",    "XQLExec",      "_XQLFetch",        "XQLFormat",
    "_XQLFree",       "_XQLLogin",      "_XQLLogout",   "XQLSPUtility",     "XQLStatus",
    "_XQLStop",       "XQLSubst",       "XQLVersion",   "XQLConvert",       "XQLValidate",
    "XQLMask",        "xCompute",       "xDescribe",    "xMovefld",         "xFetch",
    "xField",         "xFree",          "xInsert",      "xJoin",            "xLogin",
    "xLogout",        "xNew",           "xOrder",       "xRemall",          "xRemove",
    "xReset",         "xRestrict",      "xStop",        "xTrans",           "xStore",
    "xRecall",        "xUpdate",        "xUpdall",      "xDD",              "xDDAttr",
    "xDDModify",      "xDDCreate",      "xDDDrop",      "xDDField",         "xDDFile",
    "xDDIndex",       "xDDPath",        "xDDView",      "xAccess",          "xPassword",
    "xSecurity",      "xUser",          "xChar",        "xVersion",         "xStatus",
    "xConvert",       "xValidate",      "xMask"};

constexpr std::array kNamesExports = {"SQLGetCountDatabaseNames", "SQLGetCountRemoteDatabaseNames",
                                      "SQLGetDatabaseNames", "SQLGetRemoteDatabaseNames",
                                      "SQLUnloadDBNames"};

// Positions of the called exports in the tables above.
constexpr size_t ExportIndex(std::string_view name) {
  for (size_t i = 0; i < kSqlExports.size(); ++i)
    if (name == kSqlExports[i]) return i;
  for (size_t i = 0; i < kNamesExports.size(); ++i)
    if (name == kNamesExports[i]) return i;
  return SIZE_MAX;
}

struct Library {
  std::atomic<platform::HMODULE> module{nullptr};
  std::string file;
};

Library gSql;
Library gNames;
std::array<std::atomic<void*>, kSqlExports.size()> gSqlEntries{};
std::array<std::atomic<void*>, kNamesExports.size()> gNamesEntries{};
std::atomic<bool> gStopResolving{false};
std::atomic<bool> gSqlLoaded{false};
std::atomic<bool> gVersionChecked{false};
std::atomic<bool> gAvailable{false};

// Resolves every export of `names` from `module` in order. The first one missing is reported
// and ends the resolving: it and the rest stay empty. True when all were found.
template <size_t N, size_t M>
bool ResolveExports(platform::HMODULE module, const std::array<const char*, N>& names,
                    std::array<std::atomic<void*>, M>& entries, const char* libraryName) {
  static_assert(N == M);
  bool all = true;
  for (size_t i = 0; i < N; ++i) {
    void* entry = gStopResolving ? nullptr : platform::GetProcAddress(module, names[i]);
    if (entry == nullptr && !gStopResolving) {
      MessageDlg(std::string("Error Loading Dynamic Function ") + names[i] + " from " +
                     libraryName,
                 TMsgDlgType::mtError, mbOK, 0);
      gStopResolving = true;
    }
    if (entry == nullptr) all = false;
    entries[i] = entry;
  }
  return all;
}

template <size_t N>
void ClearEntries(std::array<std::atomic<void*>, N>& entries) {
  for (auto& entry : entries) entry = nullptr;
}

bool Loaded(const Library& library) {
  return reinterpret_cast<uintptr_t>(library.module.load()) > SQL_LIBRARY_NOT_LOADED;
}

uintptr_t HandleOf(const Library& library) {
  return Loaded(library) ? reinterpret_cast<uintptr_t>(library.module.load())
                         : SQL_LIBRARY_NOT_LOADED;
}

std::string FileOf(const Library& library, const char* windowsName) {
  return library.file.empty() ? std::string(windowsName) : library.file;
}

template <class Fn>
Fn Entry(size_t index) {
  return reinterpret_cast<Fn>(gSqlEntries[index].load());
}

template <class Fn>
Fn NamesEntry(size_t index) {
  return reinterpret_cast<Fn>(gNamesEntries[index].load());
}

// Calls export `name` of the engine library, typed as the engine declares it; 200 when it is
// not resolved.
#define SQL_CALL(name, ...)                                        \
  do {                                                             \
    constexpr size_t index = ExportIndex(#name);                   \
    static_assert(index < kSqlExports.size());                     \
    const auto fn = Entry<decltype(&::name)>(index);               \
    if (fn == nullptr) return SQL_NOT_LOADED;                      \
    const int16_t status = fn(__VA_ARGS__);                        \
    LockWaitEnded(); /* a wait of the engine's has ended */        \
    return status;                                                 \
  } while (false)

// The engine's progress callback: non-zero once the person stopped the running work.
int16_t StopAsked() { return LongWorkGoesOn(1) ? 0 : 1; }

}  // namespace

int16_t LoadSQLLibrary() {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (Loaded(gSql)) return 0;
  platform::HMODULE module = platform::LoadLibrary(FileOf(gSql, kSqlLibraryName));
  if (module == nullptr) return SQL_NOT_LOADED;
  gStopResolving = false;
  const bool complete = ResolveExports(module, kSqlExports, gSqlEntries, kSqlLibraryName);
  gSql.module = module;
  // A statement that runs long shows its progress, and a Stop there stops it.
  sqlapi::Callback(sqlengine::kCallbackProgress, reinterpret_cast<void*>(&StopAsked));
  TBtrSettings& settings = BtrSettings();
  if (complete && !settings.IgnoreSQLDatabases && !Loaded(gNames)) {
    platform::HMODULE names = platform::LoadLibrary(FileOf(gNames, kDbNamesLibraryName));
    if (names == nullptr) {
      settings.IgnoreSQLDatabases = true;
    } else {
      ResolveExports(names, kNamesExports, gNamesEntries, kDbNamesLibraryName);
      gNames.module = names;
    }
  }
  return 0;
}

void UnloadSQLLibrary() {
  std::lock_guard lock(platform::LibraryLoadLock());
  // The entries go first, so that a late call answers 200 instead of calling released code.
  ClearEntries(gSqlEntries);
  ClearEntries(gNamesEntries);
  if (Loaded(gSql)) platform::FreeLibrary(gSql.module);
  if (Loaded(gNames)) platform::FreeLibrary(gNames.module);
  gSql.module = nullptr;
  gNames.module = nullptr;
}

bool SQLLoaded() {
  if (!gSqlLoaded && LoadSQLLibrary() == 0) gSqlLoaded = true;
  return gSqlLoaded;
}

void ClearSQLLoaded() { gSqlLoaded = false; }

bool SQLAvailable() {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (gVersionChecked) return gAvailable;
  if (LoadSQLLibrary() != 0) return false;
  gVersionChecked = true;
  uint8_t version[22] = {};
  std::memcpy(version, "XVER", 4);
  const uint16_t size = sizeof version;
  std::memcpy(version + 4, &size, 2);
  uint16_t major = 0;
  if (sqlapi::Version(version) == 0) std::memcpy(&major, version + 12, 2);
  if (major == 4) {
    gAvailable = true;
    const char zero = '\0';
    sqlapi::XReset(&zero);
  }
  return gAvailable;
}

uintptr_t SQLLibraryHandle() { return HandleOf(gSql); }
uintptr_t DbNamesLibraryHandle() { return HandleOf(gNames); }
bool DbNamesLibraryLoaded() { return Loaded(gNames); }

void SetSQLLibraryFiles(const std::string& sqlLibrary, const std::string& namesLibrary) {
  std::lock_guard lock(platform::LibraryLoadLock());
  gSql.file = sqlLibrary;
  gNames.file = namesLibrary;
}

void ResetSQLVersionCheck() {
  gVersionChecked = false;
  gAvailable = false;
}

namespace sqlapi {

int16_t GetSessionID(int16_t& sessionId) { SQL_CALL(_xGetSessionID, &sessionId); }
int16_t PutSessionID(int16_t sessionId) { SQL_CALL(_xPutSessionID, sessionId); }
int16_t Cursor(int16_t& cursorId) { SQL_CALL(_XQLCursor, &cursorId); }

int16_t Compile(int16_t cursorId, uint16_t length, const char* statement) {
  int16_t size = static_cast<int16_t>(length);
  SQL_CALL(_XQLCompile, cursorId, &size, statement);
}

int16_t Describe(int16_t cursorId, int16_t position, int16_t& type, int16_t& size,
                 int16_t& decimals, int16_t& nameLength, char* name) {
  int16_t displayWidth = 0;
  SQL_CALL(XQLDescribe, cursorId, position, &type, &size, &decimals, &displayWidth, &nameLength,
           name);
}

int16_t Exec(int16_t cursorId) { SQL_CALL(XQLExec, cursorId); }

int16_t Status(int16_t cursorId, int16_t option, int32_t& value) {
  // Room for whatever an engine writes; the value is the first 4 bytes.
  char buffer[64] = {};
  const int16_t status = [&]() -> int16_t { SQL_CALL(XQLStatus, cursorId, option, buffer); }();
  std::memcpy(&value, buffer, sizeof value);
  return status;
}

int16_t Fetch(int16_t cursorId, int16_t option, uint16_t& length, void* buffer, int32_t& count,
              int16_t asciiFlag, int16_t spacing) {
  SQL_CALL(_XQLFetch, cursorId, option, &length, buffer, &count, asciiFlag, spacing);
}

int16_t Free(int16_t cursorId) { SQL_CALL(_XQLFree, cursorId); }

int16_t Login(const char* user, const char* password, const char* dictPath, const char* dataPath,
              const char* server, int16_t features) {
  SQL_CALL(_XQLLogin, user, password, dictPath, dataPath, server, features);
}

int16_t Logout() { SQL_CALL(_XQLLogout); }
int16_t Stop() { SQL_CALL(_XQLStop); }

int16_t Callback(int16_t function, void* callback) {
  SQL_CALL(_XQLCallback, function, 0, callback, nullptr);
}

int16_t Subst(int16_t cursorId, int16_t count, int16_t nameLength, const char* names,
              int16_t valueLength, const char* values) {
  SQL_CALL(XQLSubst, cursorId, count, nameLength, names, valueLength, values);
}

int16_t Version(void* buffer) { SQL_CALL(XQLVersion, buffer); }

int16_t XFetch(int16_t cursorId, int16_t option, uint16_t& length, void* buffer, int32_t& count,
               int32_t& rejectCount) {
  SQL_CALL(xFetch, cursorId, &length, option, &count, &rejectCount, buffer);
}

int16_t XInsert(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count,
                const void* buffer) {
  SQL_CALL(xInsert, cursorId, fieldCount, fieldNames, count, buffer);
}

int16_t XUpdate(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count,
                const void* buffer) {
  SQL_CALL(xUpdate, cursorId, fieldCount, fieldNames, count, buffer);
}

int16_t XRemove(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count) {
  SQL_CALL(xRemove, cursorId, fieldCount, fieldNames, count);
}

int16_t XReset(const char* reserved) { SQL_CALL(xReset, reserved); }

int16_t GetCountDatabaseNames(bool remote, int16_t& count) {
  const auto fn = NamesEntry<decltype(&::SQLGetCountDatabaseNames)>(
      ExportIndex(remote ? "SQLGetCountRemoteDatabaseNames" : "SQLGetCountDatabaseNames"));
  return fn == nullptr ? SQL_NOT_LOADED : fn(&count);
}

int16_t GetDatabaseNames(bool remote, char* buffer, int16_t length, int16_t sequence) {
  const auto fn = NamesEntry<decltype(&::SQLGetDatabaseNames)>(
      ExportIndex(remote ? "SQLGetRemoteDatabaseNames" : "SQLGetDatabaseNames"));
  return fn == nullptr ? SQL_NOT_LOADED : fn(&length, buffer, sequence);
}

}  // namespace sqlapi

}  // namespace vader
