#pragma once
// The Btrieve bindings of the dataset components: every class hook of the session list,
// sessions and databases answers with the Btrieve engine. The module keeps the process-wide
// engine object, the session list, the default session "Btrieve" and the one lock that
// serialises engine use; its start-up creates the list and the default session, its shutdown
// frees them in the reverse order.

#include <mutex>

#include "components/BseMain.h"

namespace vader {

constexpr const char* kDefaultSessionName = "Btrieve";

class TtbSessionList : public TttSessionlist {
 public:
  TtbSessionList();
  ~TtbSessionList() override;

  TVirtEng* Engine() const override;
  TttSession* DefaultSession() const override;
  TttSession* CreateSession(TComponent* owner) override;
  void CriticalSectionCreate() override;
  void CriticalSectionFree() override;
};

class TtbSession : public TttSession {
 public:
  explicit TtbSession(TComponent* owner);
  ~TtbSession() override;

  TVirtEng* Engine() const override;
  void SetEngineObject(TVirtEng* engine) override;
  void CriticalSectionStart() override;
  void CriticalSectionEnd() override;
  void SetSessionList() override;
  // The driver's session class. The Scalable SQL session class is not part of the driver
  // yet, so the Btrieve session class serves.
  TBapiListItemClass GetEngineClass() const override;
  TttSession* DefaultSession() const override;
  TttDatabase* CreateDatabase(TComponent* owner) override;
};

class TtbDatabase : public TttDatabase {
 public:
  explicit TtbDatabase(TComponent* owner);
  ~TtbDatabase() override;

  bool LoginPromptDefault() const override { return false; }
  TVirtEng* Engine() const override;
  void SetSessionList() override;
  TttSession* DefaultSession() const override;
};

// The process-wide values (none before start-up and after shutdown).
TVirtEng* BtrEngine();
TtbSessionList* BtrSessionList();
TtbSession* BtrDefaultSession();

void BtrMainStartup();
void BtrMainShutdown();

}  // namespace vader
