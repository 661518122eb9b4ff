#include "btrieve/BtrSess.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrIntrf.h"
#include "btrieve/BtrWObj.h"
#include "engine/BseRgtry.h"
#include "engine/BseUtils.h"
#include "platform/CodePage.h"
#include "platform/ProcessInfo.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr char kConfigurationKey[] = "\\Software\\Vader\\Btrieve\\Configuration";

// One settings group, opened for reading; a missing key or value leaves the default.
class SettingsGroup {
 public:
  explicit SettingsGroup(const char* group) {
    registry_.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    registry_.Access = platform::KEY_READ;
    open_ = registry_.OpenKey(std::string(kConfigurationKey) + "\\" + group, false);
  }

  void Text(const char* name, std::string& value) const {
    if (open_ && registry_.GetDataType(name) == TRegDataType::rdString)
      value = registry_.ReadString(name);
  }

  // A text, or a DWORD as its decimal digits (a code page written as a number).
  void TextOrNumber(const char* name, std::string& value) const {
    Text(name, value);
    if (open_ && registry_.GetDataType(name) == TRegDataType::rdInteger)
      value = std::to_string(registry_.ReadInteger(name));
  }

  void Flag(const char* name, bool& value) const {
    if (!open_) return;
    switch (registry_.GetDataType(name)) {
      case TRegDataType::rdInteger:
        value = registry_.ReadInteger(name) != 0;
        return;
      case TRegDataType::rdString: {
        const std::string text = platform::AsciiUpperCase(registry_.ReadString(name));
        if (text == "1" || text == "TRUE" || text == "YES" || text == "ON") value = true;
        if (text == "0" || text == "FALSE" || text == "NO" || text == "OFF") value = false;
        return;
      }
      default:
        return;
    }
  }

 private:
  TRightsRegistry registry_;
  bool open_ = false;
};

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The installation's choice of code pages ("866", "1251", "utf-8" ...), over the locale's; a
// value iconv does not know leaves the code page as it was.
void UseIntlCodePages(const SettingsGroup& intl) {
  std::string ansi, oem;
  intl.TextOrNumber("AnsiCodePage", ansi);
  intl.TextOrNumber("OemCodePage", oem);
  if (const std::string name = platform::CodePageName(ansi); !name.empty())
    platform::SetAnsiCodePage(name);
  if (const std::string name = platform::CodePageName(oem); !name.empty())
    platform::SetOemCodePage(name);
}

// Reads the groups that only the main thread reads and starts the client library.
void StartLibrary() {
  TBtrSettings& settings = BtrSettings();
  const SettingsGroup client("Btrieve Client");
  std::string options, dllName;
  bool ignoreSql = false;
  client.Text("Options", options);
  client.Text("DLLName", dllName);
  client.Flag("IgnoreSQLDatabases", ignoreSql);
  settings.Options = options.substr(0, kMaxClientOptionsLength);
  settings.DllName = LowerCase(dllName);
  settings.IgnoreSQLDatabases = ignoreSql;

  const int16_t status = LoadBtrieveLibrary(settings.Options.c_str(), settings.DllName);
  if (status != B_NO_ERROR && status != B_ALREADY_INITIALIZED)
    BtrieveErrorText(status, settings.Options);

  const SettingsGroup intl("Intl");
  bool ignoreOemAnsi = false, ignoreAnsiOem = false;
  intl.Flag("IgnoreOemAnsi", ignoreOemAnsi);
  intl.Flag("IgnoreAnsiOem", ignoreAnsiOem);
  settings.IgnoreOemAnsi = ignoreOemAnsi;
  settings.IgnoreAnsiOem = ignoreAnsiOem;
  UseIntlCodePages(intl);

  TConversionOptions& conversion = ConversionOptions();
  const SettingsGroup fields("Fields");
  fields.Flag("Read", conversion.Read);
  fields.Flag("Write", conversion.Write);
  fields.Flag("SmallIntAsByte", conversion.SmallIntAsByte);
  fields.Flag("StringPaddedSpaces", conversion.StringPaddedSpaces);
  fields.Flag("IntegersShowAsZero", conversion.IntegersShowAsZero);
  SettingsGroup("Records").Flag("TrueRecordCount", settings.TrueRecordCount);
}

std::atomic<uint32_t> gSessionsCreated{0};

}  // namespace

TBtrSettings& BtrSettings() {
  static TBtrSettings settings;
  return settings;
}

void BuildClientID(uint8_t (&id)[kClientIdSize]) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  std::memset(id, 0, sizeof id);
  const uint32_t count = ++gSessionsCreated;
  const uint32_t pid = static_cast<uint32_t>(::getpid());
  std::memcpy(id, &count, sizeof count);
  std::memcpy(id + 4, &pid, sizeof pid);
  id[12] = static_cast<uint8_t>('A' + millis % 26);
  id[13] = static_cast<uint8_t>('A' + local.tm_sec % 26);
  id[14] = static_cast<uint8_t>(local.tm_hour);
  id[15] = static_cast<uint8_t>(local.tm_min);
}

TBtrSession::StartValues TBtrSession::Start(const char* name, const char* dir) {
  if (platform::IsMainThread()) StartLibrary();
  StartValues start;
  const SettingsGroup defaults("Default Session");
  start.hasName = name != nullptr;
  start.hasDir = dir != nullptr;
  if (start.hasName)
    start.name = name;
  else
    defaults.Text("Name", start.name);
  if (start.hasDir)
    start.dir = dir;
  else
    defaults.Text("Directory", start.dir);
  return start;
}

TBtrSession::TBtrSession(TBapiListItem* engine, TVaderCollection* collection, const char* name,
                         const char* dir)
    : TBtrSession(engine, collection, Start(name, dir)) {}

TBtrSession::TBtrSession(TBapiListItem* engine, TVaderCollection* collection,
                         const StartValues& start)
    : TBaseSession(engine, collection,
                   start.hasName || !start.name.empty() ? start.name.c_str() : nullptr,
                   start.hasDir || !start.dir.empty() ? start.dir.c_str() : nullptr) {
  SetCharSetSwitches(BtrSettings().IgnoreOemAnsi, BtrSettings().IgnoreAnsiOem);
  BuildClientID(clientId_);
}

TBtrSession::~TBtrSession() {
  // The databases and their cursors close first, and the session leaves the engine's list, so
  // that the client is stopped with nothing of it left open.
  Databases().FreeAll();
  if (Collection() != nullptr) Collection()->Delete(this);
  if (databasesOpened_) TWinBtr(clientId_).StopClient();
  const bool lastSession = Collection() == nullptr || Collection()->Count() == 0;
  if (lastSession && platform::IsMainThread()) UnloadBtrieveLibrary();
}

void TBtrSession::InitRegistryRoot() {
  SetRegistry(platform::HKEY_LOCAL_MACHINE, kBtrieveRegistryPath);
}

void TBtrSession::CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                                 const char* password, uint16_t optCount, const FieldDesc* optDescs,
                                 const void* optParams, TBaseDatabase*& database) {
  database =
      TBaseDatabase::Create<TBtrDatabase>(this, &Databases(), &desc, openMode, shareMode, password,
                                          optCount, optDescs, optParams, clientId_);
  databasesOpened_ = true;
}

void TBtrSession::OpenDatabase(const char* name, const char* dbType, uint32_t openMode,
                               uint32_t shareMode, const char* password, uint16_t optCount,
                               const FieldDesc* optDescs, const void* optParams,
                               TBaseDatabase*& database) {
  CheckParam(name);
  if (!IsBtrievePath(name))
    return TBaseSession::OpenDatabase(name, dbType, openMode, shareMode, password, optCount,
                                      optDescs, optParams, database);
  DatabaseDesc desc{};
  CopyToBuffer(desc.DbName, kBtrieveDirectoryDbName);
  CopyToBuffer(desc.PhysicalPath, WithSeparator(name));
  CopyToBuffer(desc.DbType, kBtrieveDriverName);
  CreateDatabase(desc, openMode, shareMode, password, optCount, optDescs, optParams, database);
}

}  // namespace vader
