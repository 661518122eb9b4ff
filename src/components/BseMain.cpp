#include "components/BseMain.h"

#include <algorithm>
#include <cstring>

#include "engine/BseErrs.h"
#include "engine/BseUtils.h"
#include "framework/DBConsts.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "platform/CodePage.h"
#include "platform/Com.h"
#include "platform/ProcessInfo.h"
#include "platform/TextCase.h"

namespace vader {

bool ComInitialized = false;

namespace {
std::function<void()> hookBeforeCom;  // what the COM step chained onto
bool comStepChained = false;

constexpr const char* SSessionActive = "Cannot perform this operation on an active session";
constexpr const char* SSessionNameMissing = "Session name missing";
constexpr const char* SDuplicateSessionName = "Duplicate session name '%s'";
constexpr const char* SAutoSessionActive =
    "Cannot modify SessionName while AutoSessionName is enabled";
constexpr const char* SAutoSessionExclusive =
    "Cannot enable AutoSessionName property with more than one session on a form or data-module";
constexpr const char* SAutoSessionExists =
    "Cannot add a session to the form or data-module while session '%s' has AutoSessionName "
    "enabled";
constexpr const char* SDatabaseNameMissing = "Database name missing";
constexpr const char* SDuplicateDatabaseName = "Duplicate database name '%s'";
constexpr const char* SLoginError = "Cannot connect to database '%s'";
constexpr const char* SHandleSharedError = "Database handle owned by a different session";
constexpr const char* SUserNameParam = "USER NAME";
constexpr const char* SPasswordParam = "PASSWORD";
constexpr const char* SCodePageParam = "CODE PAGE";
constexpr const char* SPathParam = "PATH";
// Database properties set to true on every open database.
constexpr uint32_t kDatabaseTrueProps[] = {0x40005, 0x40004, 0x04040011};
constexpr int32_t kConfigModeAll = 7;
constexpr int32_t kConfigModeSession = 4;
constexpr int kMaxErrorEntries = 64;

// Session and database names compare case-insensitively in the user's locale.
bool SameName(const std::string& a, const std::string& b) {
  return platform::CompareTextLocale(a, b) == 0;
}

std::string Trimmed(const char* text) {
  std::string s(text);
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string HexCode(uint16_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", status);
  return text;
}

// A name as the engine takes it: a path is the file system's own bytes and passes unchanged;
// any other name (an alias) is converted to the OEM code page.
std::string EngineName(const std::string& name) {
  return IsPathName(name, true) ? name : platform::CharToOem(name);
}

// A configuration value from the engine: a directory as it is, any other text converted from
// the OEM code page.
std::string DirectoryOrText(const std::string& node, const std::string& value) {
  return node == SPathParam ? value : platform::OemToChar(value);
}

// "NAME=VALUE" lines.
std::string LineName(const std::string& line) { return line.substr(0, line.find('=')); }
std::string LineValue(const std::string& line) {
  const auto at = line.find('=');
  return at == std::string::npos ? std::string() : line.substr(at + 1);
}
int FindLine(const std::vector<std::string>& list, const std::string& name) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (platform::EqualsIgnoringAsciiCase(LineName(list[i]), name)) return static_cast<int>(i);
  return -1;
}
std::string ListValue(const std::vector<std::string>& list, const std::string& name) {
  const int at = FindLine(list, name);
  return at < 0 ? std::string() : LineValue(list[static_cast<std::size_t>(at)]);
}

// Runs the lock's end whatever happens.
template <class End>
struct Finally {
  End end;
  ~Finally() { end(); }
};
template <class End>
Finally(End) -> Finally<End>;

// The error the engine gives for a database name that is neither a directory nor an alias.
[[noreturn]] void RaiseUnknownAlias(const std::string& alias) {
  const std::string text = GetErrorName(DBIERR_UNKNOWNDB) + "\r\n" + alias;
  throw ETDBEngineError(DBIERR_UNKNOWNDB,
                        {TttError(DBIERR_UNKNOWNDB, 0, text), TttError(DBIERR_UNKNOWNDB, 0, text)},
                        text);
}

}  // namespace

void BseMainStartup(bool isExecutable) {
  if (!isExecutable) return;
  auto previous = InitProc;
  hookBeforeCom = previous;
  comStepChained = true;
  InitProc = [previous] {
    if (previous) previous();
    ComInitialized = platform::Succeeded(platform::CoInitialize(nullptr));
  };
}

void BseMainShutdown() {
  if (ComInitialized) platform::CoUninitialize();
  ComInitialized = false;
  // Unchain the step, so a start-up that failed later leaves no COM step behind.
  if (comStepChained) InitProc = hookBeforeCom;
  comStepChained = false;
  hookBeforeCom = nullptr;
}

// ---- errors ----

ETDBEngineError::ETDBEngineError(uint16_t status, std::vector<TttError> errors,
                                 const std::string& message)
    : EDatabaseError(message), errors_(std::move(errors)) {
  if (errors_.empty()) errors_.emplace_back(status, 0, std::string());
}

namespace {
struct CollectedError {
  std::vector<TttError> errors;
  std::string message;
};

CollectedError CollectError(const TVirtEng* engine, uint16_t status) {
  CollectedError result;
  std::vector<std::string> lines;
  const auto addLine = [&](const std::string& line) {
    if (!line.empty() && std::find(lines.begin(), lines.end(), line) == lines.end())
      lines.push_back(line);
  };
  const auto textOf = [&](uint16_t code) {
    char text[kErrorTextSize] = {};
    engine->GetErrorString(code, text);
    return Trimmed(text);
  };
  if (engine) {
    result.errors.emplace_back(status, 0, textOf(status));
    if (status != kErrorWithoutText) addLine(result.errors.front().Message);
    for (uint16_t index = 1; index <= kMaxErrorEntries; ++index) {
      int32_t native = 0;
      char text[kErrorTextSize] = {};
      const uint16_t code = engine->GetErrorEntry(index, native, text);
      if (code == 0 || code == DBIERR_NOTINITIALIZED) break;
      result.errors.emplace_back(code, native, Trimmed(text));
      addLine(result.errors.back().Message);
      if (native == 0 && status != kErrorWithoutText) addLine(textOf(code));
    }
  }
  for (const std::string& line : lines)
    result.message += (result.message.empty() ? "" : "\n") + line;
  if (result.message.empty()) result.message = "Vader Interface Error: ( " + HexCode(status) + " )";
  return result;
}
}  // namespace

ETDBEngineError::ETDBEngineError(const TVirtEng* engine, uint16_t status)
    : ETDBEngineError(FromEngine(engine, status)) {}

ETDBEngineError ETDBEngineError::FromEngine(const TVirtEng* engine, uint16_t status) {
  CollectedError collected = CollectError(engine, status);
  ETDBEngineError error(status, std::move(collected.errors), collected.message);
  if (engine) error.position_ = engine->ErrorStack().StatementPosition();
  return error;
}

void Check(const TVirtEng* engine, uint16_t status) {
  if (status != 0) throw ETDBEngineError(engine, status);
}

// ---- session list ----

TttSessionlist::~TttSessionlist() {
  for (TttSession* session : sessions_) session->sessionList_ = nullptr;
}

TttSession* TttSessionlist::FindSession(const std::string& name) const {
  if (name.empty()) return DefaultSession();
  std::lock_guard lock(listLock_);
  for (TttSession* session : sessions_)
    if (SameName(session->SessionName(), name)) return session;
  return nullptr;
}

TttSession* TttSessionlist::GetSession(const std::string& name) const {
  if (TttSession* session = FindSession(name)) return session;
  DatabaseError(FormatMessage(dbconsts::SInvalidSessionName, name));
}

void TttSessionlist::AddSession(TttSession* session) {
  std::lock_guard lock(listLock_);
  if (std::find(sessions_.begin(), sessions_.end(), session) == sessions_.end())
    sessions_.push_back(session);
}

void TttSessionlist::RemoveSession(TttSession* session) {
  std::lock_guard lock(listLock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

void TttSessionlist::CloseAll() {
  for (;;) {
    TttSession* last = nullptr;
    {
      std::lock_guard lock(listLock_);
      if (sessions_.empty()) return;
      last = sessions_.back();
    }
    delete last;
    RemoveSession(last);  // a session that did not leave by itself
  }
}

int TttSessionlist::Count() const {
  std::lock_guard lock(listLock_);
  return static_cast<int>(sessions_.size());
}

TttSession* TttSessionlist::Sessions(int index) const {
  std::lock_guard lock(listLock_);
  return sessions_.at(static_cast<std::size_t>(index));
}

std::vector<TttSession*> TttSessionlist::List() const {
  std::lock_guard lock(listLock_);
  return sessions_;
}

TttSession* TttSessionlist::AutoNamedSession(const TComponent* owner) const {
  if (owner == nullptr) return nullptr;
  std::lock_guard lock(listLock_);
  for (TttSession* session : sessions_)
    if (session->Owner() == owner && session->AutoSessionName()) return session;
  return nullptr;
}

int TttSessionlist::TakeAutoNumber() {
  std::lock_guard lock(listLock_);
  auto free = std::find(autoNumbers_.begin(), autoNumbers_.end(), false);
  if (free == autoNumbers_.end()) free = autoNumbers_.insert(autoNumbers_.end(), false);
  *free = true;
  return static_cast<int>(free - autoNumbers_.begin());
}

void TttSessionlist::ReleaseAutoNumber(int number) {
  std::lock_guard lock(listLock_);
  if (number >= 0 && number < static_cast<int>(autoNumbers_.size()))
    autoNumbers_[static_cast<std::size_t>(number)] = false;
}

// ---- session ----

TttSession::TttSession(TComponent* owner) : TComponent(owner) {}

TttSession::~TttSession() {
  // A binding deactivates in its own destructor; here only the list is left.
  if (sessionList_) sessionList_->RemoveSession(this);
}

void TttSession::Register() {
  SetSessionList();
  if (!sessionList_) return;
  if (Owner())
    for (TttSession* other : sessionList_->List())
      if (other->Owner() == Owner() && other->autoSessionName_)
        DatabaseError(FormatMessage(SAutoSessionExists, other->SessionName()), this);
  defaultSession_ = sessionList_->Count() == 0;
  sessionList_->AddSession(this);
  registered_ = true;
}

void TttSession::Unregister() {
  if (!registered_) return;
  registered_ = false;
  // Databases this session owns go first, while the session they call back into still exists.
  for (int i = ComponentCount() - 1; i >= 0; --i)
    if (auto* database = dynamic_cast<TttDatabase*>(Components(i))) delete database;
  try {
    SetActive(false);
  } catch (const std::exception&) {
    // a session that cannot stop cleanly still goes
  }
  // Databases of a destroyed session fall back to the default session.
  TttSession* fallback = defaultSession_ ? nullptr : DefaultSession();
  for (TttDatabase* database : std::vector<TttDatabase*>(databases_)) {
    database->sessionName_.clear();
    database->AttachTo(fallback);
  }
  if (sessionList_) sessionList_->RemoveSession(this);
}

void TttSession::Loaded() {
  TComponent::Loaded();
  if (autoSessionName_) ApplyAutoName();
  if (streamedActive_) SetActive(true);
}

void TttSession::SetActive(bool value) {
  if (Loading()) {
    streamedActive_ = value;
    return;
  }
  if (value != Active()) ActivateSession(value);
}

void TttSession::StartEngine() {
  const bool hourGlass = platform::IsMainThread() && Screen().Cursor() == crDefault;
  if (hourGlass) Screen().SetCursor(crHourGlass);
  Finally restore{[hourGlass] {
    if (hourGlass && Screen().Cursor() == crHourGlass) Screen().SetCursor(crDefault);
  }};
  uint8_t environment[kEngineEnvironmentSize] = {};
  std::memcpy(environment + kEngineLanguageOffset, "0009", 4);
  uint16_t status = DBIERR_MULTIPLEINIT;
  if (!Engine()) {
    try {
      auto engine =
          std::make_unique<TVirtEng>(GetEngineClass(), nullptr, nullptr, 400, environment);
      status = engine->InitStatus();
      if (status != 0) {
        // An engine without its first session is of no use: raise with its texts and drop it.
        const ETDBEngineError error(engine.get(), status);
        throw error;
      }
      SetEngineObject(engine.release());
    } catch (const EVaderEngineError& e) {
      status = e.Code();
    }
  }
  if (status != 0 && status != DBIERR_MULTIPLEINIT) Check(status);
  TBaseSession* current = nullptr;
  Check(Engine()->GetCurrSession(current));
  handle_ = current;
}

void TttSession::ActivateSession(bool value) {
  CriticalSectionStart();
  Finally leave{[this] { CriticalSectionEnd(); }};
  if (value) {
    if (OnStartup) OnStartup(this);
    if (sessionName_.empty()) DatabaseError(SSessionNameMissing, this);
    TttSession* defaultSession = DefaultSession();
    if (!defaultSession_ && defaultSession) defaultSession->SetActive(true);
    if (defaultSession_) {
      StartEngine();
    } else {
      // A session outside any session list has no default session to bring the engine up.
      if (!Engine()) vader::Check(nullptr, DBIERR_NOTINITIALIZED);
      TBaseSession* session = nullptr;
      Check(Engine()->StartSession(nullptr, session, nullptr));
      handle_ = session;
    }
    try {
      if (!netFileDir_.empty()) SetNetFileDir(netFileDir_);
      if (!privateDir_.empty()) SetPrivateDir(privateDir_);
      Check(Engine()->SetProp(handle_, kSessionConfigModeProp, kConfigModeAll));
    } catch (...) {
      ActivateSession(false);
      throw;
    }
    return;
  }
  if (!handle_) return;
  TVirtEng* engine = Engine();
  engine->SetCurrSession(handle_);
  const std::vector<TttDatabase*> databases(databases_);
  for (auto it = databases.rbegin(); it != databases.rend(); ++it) {
    if (std::find(databases_.begin(), databases_.end(), *it) == databases_.end()) continue;
    if ((*it)->Temporary())
      delete *it;
    else
      (*it)->Close();
  }
  if (!defaultSession_) {
    TBaseSession* handle = handle_;
    handle_ = nullptr;
    Check(engine->CloseSession(handle));
    if (TttSession* defaultSession = DefaultSession(); defaultSession && defaultSession->handle_)
      engine->SetCurrSession(defaultSession->handle_);
  } else {
    // Freeing the engine frees every engine session: the other sessions stop first, so that
    // none keeps a handle into the freed engine.
    if (sessionList_)
      for (TttSession* other : sessionList_->List())
        if (other != this && other->Active()) other->ActivateSession(false);
    handle_ = nullptr;
    SetEngineObject(nullptr);
    delete engine;
  }
  handle_ = nullptr;
}

void TttSession::MakeCurrent() {
  if (handle_)
    Check(Engine()->SetCurrSession(handle_));
  else
    SetActive(true);
}

void TttSession::LockSession() {
  if (lockCount_ == 0) {
    CriticalSectionStart();
    try {
      MakeCurrent();
    } catch (...) {
      CriticalSectionEnd();
      throw;
    }
  }
  ++lockCount_;
}

void TttSession::UnlockSession() {
  if (lockCount_ > 0 && --lockCount_ == 0) CriticalSectionEnd();
}

TBaseSession* TttSession::GetHandle() {
  if (!handle_) SetActive(true);
  return handle_;
}

// ---- naming ----

void TttSession::SetSessionName(const std::string& value) {
  if (autoSessionName_ && !settingAutoName_) DatabaseError(SAutoSessionActive, this);
  if (Active()) DatabaseError(SSessionActive, this);
  if (!value.empty() && sessionList_)
    for (TttSession* other : sessionList_->List())
      if (other != this && SameName(other->sessionName_, value))
        DatabaseError(FormatMessage(SDuplicateSessionName, value), this);
  sessionName_ = value;
}

void TttSession::SetName(const std::string& name) {
  TComponent::SetName(name);
  if (autoSessionName_ && !Loading()) ApplyAutoName();
}

void TttSession::SetAutoSessionName(bool value) {
  if (value == autoSessionName_) return;
  if (value) {
    if (Active()) DatabaseError(SSessionActive, this);
    if (Owner() && sessionList_)
      for (TttSession* other : sessionList_->List())
        if (other != this && other->Owner() == Owner()) DatabaseError(SAutoSessionExclusive, this);
    CriticalSectionStart();
    Finally leave{[this] { CriticalSectionEnd(); }};
    autoNumber_ = sessionList_ ? sessionList_->TakeAutoNumber() : 0;
    autoSessionName_ = true;
    if (!Loading()) ApplyAutoName();
  } else {
    if (sessionList_) sessionList_->ReleaseAutoNumber(autoNumber_);
    autoNumber_ = -1;
    autoSessionName_ = false;
  }
}

void TttSession::ApplyAutoName() {
  char name[300];
  std::snprintf(name, sizeof name, "%s_%d", Name().c_str(), autoNumber_ + 1);
  settingAutoName_ = true;
  try {
    SetSessionName(name);
  } catch (...) {
    settingAutoName_ = false;
    throw;
  }
  settingAutoName_ = false;
  if (!Owner()) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    TComponent* component = Owner()->Components(i);
    if (auto* dataSet = dynamic_cast<TttDBDataset*>(component)) {
      if (!SameName(dataSet->SessionName(), sessionName_)) dataSet->SetSessionName(sessionName_);
    } else if (auto* database = dynamic_cast<TttDatabase*>(component)) {
      if (!SameName(database->SessionName(), sessionName_)) database->SetSessionName(sessionName_);
    }
  }
}

// ---- directories ----

std::string TttSession::NetFileDir() {
  if (Active() && !Loading()) {
    char dir[262] = {};
    uint16_t len = 0;
    if (Engine()->GetProp(handle_, kSessionCurrentDirProp, dir, 261, len) == 0)
      return platform::AsciiUpperCase(BoundedString(dir));
  }
  return platform::AsciiUpperCase(netFileDir_);
}

void TttSession::SetNetFileDir(const std::string& value) {
  // The engine's network directory is the process's and cannot be set per session; the
  // value is kept and reported while the session is inactive.
  netFileDir_ = value;
}

std::string TttSession::PrivateDir() {
  if (Active()) {
    TSessionLock lock(*this);
    SessionInfo info{};
    if (Engine()->GetSesInfo(info) == 0)
      return platform::AsciiUpperCase(BoundedString(info.PrivateDir));
  }
  return platform::AsciiUpperCase(privateDir_);
}

void TttSession::SetPrivateDir(const std::string& value) {
  if (Active()) {
    TSessionLock lock(*this);
    Check(Engine()->SetPrivateDir(value.substr(0, 260).c_str()));
  }
  privateDir_ = value;
}

// ---- databases ----

void TttSession::AddDatabase(TttDatabase* database) {
  if (std::find(databases_.begin(), databases_.end(), database) == databases_.end())
    databases_.push_back(database);
}

void TttSession::RemoveDatabase(TttDatabase* database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
}

TttDatabase* TttSession::FindDatabase(const std::string& databaseName) const {
  for (TttDatabase* database : databases_)
    if (SameName(database->DatabaseName(), databaseName)) return database;
  return nullptr;
}

TttDatabase* TttSession::AcquireDatabase(const std::string& databaseName, TComponent* owner) {
  TSessionLock lock(*this);
  TttDatabase* database = nullptr;
  if (owner)
    for (TttDatabase* d : databases_)
      if (d->Owner() == owner && d->HandleShared() && SameName(d->DatabaseName(), databaseName)) {
        database = d;
        break;
      }
  if (!database)
    for (TttDatabase* d : databases_)
      if (SameName(d->DatabaseName(), databaseName) &&
          (!d->DatabaseName().empty() || d->Temporary())) {
        database = d;
        break;
      }
  std::unique_ptr<TttDatabase> created;
  if (!database) {
    created.reset(CreateDatabase(this));
    created->SetDatabaseName(databaseName);
    created->SetKeepConnection(keepConnections_);
    created->temporary_ = true;
    database = created.get();
  }
  database->Open();
  ++database->refCount_;
  created.release();
  return database;
}

void TttSession::ReleaseDatabase(TttDatabase* database) {
  if (!database) return;
  if (database->refCount_ > 0) --database->refCount_;
  if (database->refCount_ != 0 || database->KeepConnection()) return;
  if (database->Temporary()) {
    if (!database->destroying_) delete database;
  } else {
    database->Close();
  }
}

// ---- configuration ----

void TttSession::ReadCfgList(const std::string& path, std::vector<std::string>& list) {
  TSessionLock lock(*this);
  TVirtEng* engine = Engine();
  TBaseTable* cursor = nullptr;
  Check(engine->OpenCfgInfoList(nullptr, kOpenReadOnly, 0, path.c_str(), cursor));
  Finally close{[&] { engine->CloseCursor(cursor); }};
  CfgInfoRecord record{};
  while (engine->GetNextRecord(cursor, dbiNOLOCK, reinterpret_cast<uint8_t*>(&record), nullptr) ==
         0) {
    list.push_back(BoundedString(record.NodeName) + "=" +
                   DirectoryOrText(BoundedString(record.NodeName), BoundedString(record.Value)));
    record = {};
  }
}

void TttSession::GetAliasParams(const std::string& alias, std::vector<std::string>& list) {
  list.clear();
  const std::string name = EngineName(alias).substr(0, kMaxPathLength);
  ReadCfgList("\\DATABASES\\" + name + "\\DB OPEN", list);
}

void TttSession::GetDriverParams(const std::string& driver, std::vector<std::string>& list) {
  list.clear();
  if (platform::EqualsIgnoringAsciiCase(driver, kStandardDbType)) {
    list.push_back("PATH=");
    return;
  }
  ReadCfgList("\\DRIVERS\\" + platform::CharToOem(driver) + "\\DB OPEN", list);
}

void TttSession::AddSessionAlias(const std::string& name, const std::string& driver,
                                 const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& line : list) {
    const auto equals = line.find('=');
    if (equals == std::string::npos || equals + 1 >= line.size() + 1) continue;
    text += line.substr(0, equals) + ":\"" + line.substr(equals + 1, 255) + "\";";
  }
  text = platform::CharToOem(text);
  if (!text.empty()) text.pop_back();
  std::string driverName = ListValue(list, "DEFAULT DRIVER");
  if (driverName.empty() && !platform::EqualsIgnoringAsciiCase(driver, kStandardDbType))
    driverName = driver;
  TSessionLock lock(*this);
  TVirtEng* engine = Engine();
  int32_t mode = 0;
  uint16_t len = 0;
  engine->GetProp(handle_, kSessionConfigModeProp, &mode, sizeof mode, len);
  Check(engine->SetProp(handle_, kSessionConfigModeProp, kConfigModeSession));
  Finally restore{[&] { engine->SetProp(handle_, kSessionConfigModeProp, mode); }};
  Check(engine->AddAlias(nullptr, platform::CharToOem(name).c_str(),
                         platform::CharToOem(driverName).c_str(), text.c_str(), false));
}

void TttSession::DeleteSessionAlias(const std::string& name) {
  TSessionLock lock(*this);
  Check(Engine()->DeleteAlias(nullptr, name.c_str()));
}

// ---- database ----

TttDatabase::TttDatabase(TComponent* owner) : TComponent(owner) {}

TttDatabase::~TttDatabase() {
  if (session_) session_->RemoveDatabase(this);
}

void TttDatabase::Register() {
  loginPrompt_ = LoginPromptDefault();
  SetSessionList();
  TttSession* session = dynamic_cast<TttSession*>(Owner());
  // A database placed beside a session that names itself belongs to that session.
  if (!session && sessionList_) session = sessionList_->AutoNamedSession(Owner());
  if (!session) session = DefaultSession();
  if (session) {
    sessionName_ = session->SessionName();
    AttachTo(session);
  }
}

void TttDatabase::Unregister() {
  destroying_ = true;
  try {
    Close();
  } catch (const std::exception&) {
    // the database goes whatever the engine says
  }
  AttachTo(nullptr);
  for (TttDBDataset* dataSet : std::vector<TttDBDataset*>(dataSets_)) dataSet->database_ = nullptr;
  dataSets_.clear();
}

void TttDatabase::Loaded() {
  TComponent::Loaded();
  if (streamedConnected_) {
    Open();
  } else if (sessionList_) {
    if (TttSession* session = sessionList_->FindSession(sessionName_)) AttachTo(session);
  }
}

void TttDatabase::AttachTo(TttSession* session) {
  if (session == session_) return;
  if (session_) session_->RemoveDatabase(this);
  session_ = session;
  if (session_) session_->AddDatabase(this);
}

void TttDatabase::CheckInactive() const {
  if (Connected()) DatabaseError(dbconsts::SDatabaseOpen, this);
}

void TttDatabase::SetAliasName(const std::string& value) {
  CheckInactive();
  aliasName_ = value;
  isAlias_ = !value.empty();
}

void TttDatabase::SetConnected(bool value) {
  if (Loading()) {
    streamedConnected_ = value;
    return;
  }
  value ? Open() : Close();
}

void TttDatabase::SetDatabaseName(const std::string& value) {
  if (value == databaseName_) return;
  CheckInactive();
  if (session_ && !value.empty()) {
    for (TttDatabase* other : std::vector<TttDatabase*>(session_->databases_)) {
      if (other == this || !SameName(other->databaseName_, value)) continue;
      if (handleShared_ && other->handleShared_) continue;
      if (other->temporary_ && other->refCount_ == 0) {
        delete other;  // an unused temporary database gives way
        continue;
      }
      DatabaseError(FormatMessage(SDuplicateDatabaseName, value), this);
    }
  }
  databaseName_ = value;
}

void TttDatabase::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TttDatabase::SetHandleShared(bool value) {
  CheckInactive();
  handleShared_ = value;
}

void TttDatabase::SetKeepConnection(bool value) {
  if (value == keepConnection_) return;
  keepConnection_ = value;
  if (!value && refCount_ == 0 && Connected()) Close();
}

void TttDatabase::SetParams(const std::vector<std::string>& value) {
  CheckInactive();
  params_ = value;
}

void TttDatabase::SetReadOnly(bool value) {
  CheckInactive();
  readOnly_ = value;
}

void TttDatabase::SetSessionName(const std::string& value) {
  CheckInactive();
  sessionName_ = value;
  if (sessionList_ && !Loading())
    if (TttSession* session = sessionList_->FindSession(value)) AttachTo(session);
}

std::string TttDatabase::CodePage() const {
  const std::string chosen = platform::CodePageName(ParamValue(SCodePageParam));
  return chosen.empty() ? platform::OemCodePage() : chosen;
}

std::string TttDatabase::ParamValue(const std::string& name) const {
  return ListValue(params_, name);
}

void TttDatabase::SetParamValue(const std::string& name, const std::string& value) {
  const int at = FindLine(params_, name);
  if (at < 0)
    params_.push_back(name + "=" + value);
  else
    params_[static_cast<std::size_t>(at)] =
        LineName(params_[static_cast<std::size_t>(at)]) + "=" + value;
}

std::string TttDatabase::GetLoginParams() {
  std::vector<std::string> configured;
  session_->GetAliasParams(aliasName_.empty() ? databaseName_ : aliasName_, configured);
  // An alias with no configuration would open through a session alias of nothing.
  if (!aliasName_.empty() && aliasName_ != databaseName_ && configured.empty())
    RaiseUnknownAlias(aliasName_);
  for (const std::string& line : configured) {
    const int at = FindLine(params_, LineName(line));
    if (at < 0)
      params_.push_back(line);
    else if (LineValue(params_[static_cast<std::size_t>(at)]).empty())
      params_[static_cast<std::size_t>(at)] = line;
  }
  std::string password;
  if (FindLine(configured, SUserNameParam) >= 0) {
    if (loginPrompt_) {
      if (ParamValue(SUserNameParam).empty())
        SetParamValue(SUserNameParam, ListValue(configured, SUserNameParam));
      std::vector<std::string> login{std::string(SUserNameParam) + "=" +
                                     ParamValue(SUserNameParam)};
      if (OnLogin) {
        OnLogin(this, login);
      } else {
        std::string user = ParamValue(SUserNameParam);
        std::string typed;
        if (!LoginDialog(databaseName_, user, typed))
          DatabaseError(FormatMessage(SLoginError, databaseName_), this);
        login = {std::string(SUserNameParam) + "=" + user,
                 std::string(SPasswordParam) + "=" + typed};
      }
      password = ListValue(login, SPasswordParam);
      SetParamValue(SUserNameParam, ListValue(login, SUserNameParam));
    } else {
      password = ParamValue(SPasswordParam);
    }
  }
  // A session-only alias carries an alias under another name, or values that differ from the
  // configured ones.
  bool needAlias = !aliasName_.empty() && aliasName_ != databaseName_;
  for (const std::string& line : params_) {
    if (std::find(configured.begin(), configured.end(), line) != configured.end()) continue;
    const std::string name = LineName(line);
    const int at = FindLine(configured, name);
    if (at < 0 || platform::EqualsIgnoringAsciiCase(name, SPasswordParam)) continue;
    configured[static_cast<std::size_t>(at)] = line;
    needAlias = true;
  }
  if (needAlias) {
    session_->AddSessionAlias(databaseName_, "", configured);
    aliasAdded_ = true;
  }
  return password;
}

void TttDatabase::ReadDatabaseType() {
  char type[33] = {};
  uint16_t len = 0;
  Engine()->GetProp(handle_, kDatabaseTypeProp, type, 32, len);
  isSQLBased_ = !platform::EqualsIgnoringAsciiCase(BoundedString(type), kStandardDbType);
}

void TttDatabase::UseSharedHandle(TttDatabase& other) {
  TBapiListItem* owner = nullptr;
  Engine()->GetObjFromObj(other.handle_, objOWNER, owner);
  if (owner != session_->Handle()) DatabaseError(SHandleSharedError, this);
  handle_ = other.handle_;
  ReadDatabaseType();
}

void TttDatabase::Open() {
  if (handle_) return;
  if (databaseName_.empty() && !temporary_) DatabaseError(SDatabaseNameMissing, this);
  if (!sessionList_)
    DatabaseError(FormatMessage(dbconsts::SInvalidSessionName, sessionName_), this);
  TttSession* session = sessionList_->GetSession(sessionName_);
  session->SetActive(true);
  AttachTo(session);
  if (handleShared_)
    for (TttDatabase* other : session_->databases_)
      if (other != this && other->handleShared_ && other->handle_ &&
          SameName(other->databaseName_, databaseName_)) {
        TSessionLock lock(*session_);
        UseSharedHandle(*other);
        return;
      }
  TSessionLock lock(*session_);
  TVirtEng* engine = Engine();
  int32_t mode = 0;
  uint16_t len = 0;
  engine->GetProp(session_->Handle(), kSessionConfigModeProp, &mode, sizeof mode, len);
  Finally restore{[&] { engine->SetProp(session_->Handle(), kSessionConfigModeProp, mode); }};
  const std::string password = platform::CharToOem(GetLoginParams());
  const std::string name = EngineName(databaseName_);
  // The parameters as engine optional parameters: one NUL-terminated text value each.
  std::vector<FieldDesc> descs;
  std::string values;
  for (const std::string& line : params_) {
    FieldDesc desc{};
    desc.FieldNumber = static_cast<uint16_t>(descs.size() + 1);
    CopyToBuffer(desc.FieldName, platform::CharToOem(LineName(line)));
    const std::string value = (platform::EqualsIgnoringAsciiCase(LineName(line), SPathParam)
                                   ? LineValue(line)
                                   : EngineName(LineValue(line)))
                                  .substr(0, kAliasValueBufferSize - 1);
    desc.FieldType = fldZSTRING;
    desc.FieldOffset = static_cast<uint16_t>(values.size());
    desc.FieldLength = static_cast<uint16_t>(value.size() + 1);
    if (values.size() + value.size() + 1 > UINT16_MAX) break;
    values += value;
    values.push_back('\0');
    descs.push_back(desc);
  }
  TBaseDatabase* database = nullptr;
  const uint16_t status = engine->OpenDatabase(
      name.c_str(), nullptr, readOnly_ ? kOpenReadOnly : kOpenReadWrite,
      exclusive_ ? kShareExclusive : kShareShared, password.c_str(),
      static_cast<uint16_t>(descs.size()), descs.data(), values.data(), database);
  if (status != 0) {
    const ETDBEngineError error(engine, status);
    if (aliasAdded_) {
      aliasAdded_ = false;
      try {
        session_->DeleteSessionAlias(databaseName_);
      } catch (const std::exception&) {
        // the open's error is the one to report
      }
    }
    throw error;
  }
  handle_ = database;
  if (databaseName_.empty()) Check(engine, engine->SetDirectory(handle_, name.c_str()));
  for (uint32_t prop : kDatabaseTrueProps) engine->SetProp(handle_, prop, 1);
  ReadDatabaseType();
}

void TttDatabase::Close() {
  if (!handle_) return;
  CloseDatasets();
  bool sharedElsewhere = false;
  if (session_)
    for (TttDatabase* other : session_->databases_)
      sharedElsewhere = sharedElsewhere || (other != this && other->handle_ == handle_);
  TBaseDatabase* database = handle_;
  handle_ = nullptr;
  isSQLBased_ = false;
  refCount_ = 0;
  uint16_t status = 0;
  if (!sharedElsewhere && session_) {
    TSessionLock lock(*session_);
    status = Engine()->CloseDatabase(database);
  }
  if (aliasAdded_) {
    aliasAdded_ = false;
    session_->DeleteSessionAlias(databaseName_);
  }
  Check(Engine(), status);
}

void TttDatabase::CloseDatasets() {
  while (!dataSets_.empty()) {
    TttDBDataset* last = dataSets_.back();
    last->CloseFromDatabase();
    RemoveDataSet(last);  // a dataset that stayed attached
  }
}

void TttDatabase::AddDataSet(TttDBDataset* dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end())
    dataSets_.push_back(dataSet);
}

void TttDatabase::RemoveDataSet(TttDBDataset* dataSet) {
  dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
}

}  // namespace vader
