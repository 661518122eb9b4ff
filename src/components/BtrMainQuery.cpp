#include "components/BtrMainQuery.h"

namespace vader {

TtbQuery::TtbQuery(TComponent* owner) : TttQuery(owner) { SetSessionList(); }

TtbQuery::~TtbQuery() { Unregister(); }

TVirtEng* TtbQuery::Engine() const { return BtrEngine(); }
void TtbQuery::SetSessionList() { SetSessionListObject(BtrSessionList()); }
TttSession* TtbQuery::DefaultSession() const { return BtrDefaultSession(); }

}  // namespace vader
