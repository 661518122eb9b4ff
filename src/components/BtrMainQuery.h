#pragma once
// The Btrieve binding of the query component: every class hook answers with the Btrieve
// engine of BtrMain.

#include "components/BseMainQuery.h"
#include "components/BtrMain.h"

namespace vader {

class TtbQuery : public TttQuery {
 public:
  explicit TtbQuery(TComponent* owner = nullptr);
  ~TtbQuery() override;

  TVirtEng* Engine() const override;
  void SetSessionList() override;
  TttSession* DefaultSession() const override;
};

}  // namespace vader
