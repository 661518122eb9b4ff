#include "components/BtrMain.h"

#include <memory>

#include "sql/SqlSess.h"

namespace vader {

namespace {
TVirtEng* engineObject = nullptr;
TtbSessionList* sessionList = nullptr;
TtbSession* defaultSession = nullptr;
std::unique_ptr<std::recursive_mutex> criticalSection;
// Used while no session list exists (a session made outside start-up and shutdown).
std::recursive_mutex spareSection;

std::recursive_mutex& Section() { return criticalSection ? *criticalSection : spareSection; }
}  // namespace

TVirtEng* BtrEngine() { return engineObject; }
TtbSessionList* BtrSessionList() { return sessionList; }
TtbSession* BtrDefaultSession() { return defaultSession; }

// ---- TtbSessionList ----

TtbSessionList::TtbSessionList() { CriticalSectionCreate(); }

TtbSessionList::~TtbSessionList() { CriticalSectionFree(); }

TVirtEng* TtbSessionList::Engine() const { return engineObject; }
TttSession* TtbSessionList::DefaultSession() const { return defaultSession; }
TttSession* TtbSessionList::CreateSession(TComponent* owner) { return new TtbSession(owner); }

void TtbSessionList::CriticalSectionCreate() {
  if (!criticalSection) criticalSection = std::make_unique<std::recursive_mutex>();
}

void TtbSessionList::CriticalSectionFree() { criticalSection.reset(); }

// ---- TtbSession ----

TtbSession::TtbSession(TComponent* owner) : TttSession(owner) { Register(); }

TtbSession::~TtbSession() { Unregister(); }

TVirtEng* TtbSession::Engine() const { return engineObject; }
void TtbSession::SetEngineObject(TVirtEng* engine) { engineObject = engine; }
void TtbSession::CriticalSectionStart() { Section().lock(); }
void TtbSession::CriticalSectionEnd() { Section().unlock(); }
void TtbSession::SetSessionList() { SetSessionListObject(sessionList); }
// The Scalable SQL session is a Btrieve session that can also reach named SQL databases.
TBapiListItemClass TtbSession::GetEngineClass() const { return ClassOf<TBtrSqlSession>(); }
TttSession* TtbSession::DefaultSession() const { return defaultSession; }
TttDatabase* TtbSession::CreateDatabase(TComponent* owner) { return new TtbDatabase(owner); }

// ---- TtbDatabase ----

TtbDatabase::TtbDatabase(TComponent* owner) : TttDatabase(owner) { Register(); }

TtbDatabase::~TtbDatabase() { Unregister(); }

TVirtEng* TtbDatabase::Engine() const { return engineObject; }
void TtbDatabase::SetSessionList() { SetSessionListObject(sessionList); }
TttSession* TtbDatabase::DefaultSession() const { return defaultSession; }

// ---- start-up and shutdown ----

void BtrMainStartup() {
  sessionList = new TtbSessionList;
  defaultSession = new TtbSession(nullptr);
  defaultSession->SetSessionName(kDefaultSessionName);
}

void BtrMainShutdown() {
  delete defaultSession;
  defaultSession = nullptr;
  delete sessionList;
  sessionList = nullptr;
}

}  // namespace vader
