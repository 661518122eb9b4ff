#include "components/BtrMainTable.h"

namespace vader {

// ---- TtbTable ----

TtbTable::TtbTable(TComponent* owner) : TttTable(owner) { SetSessionList(); }

TtbTable::~TtbTable() { Unregister(); }

TVirtEng* TtbTable::Engine() const { return BtrEngine(); }
void TtbTable::SetSessionList() { SetSessionListObject(BtrSessionList()); }
TttSession* TtbTable::DefaultSession() const { return BtrDefaultSession(); }

TBatchMoveClass TtbTable::GetBatchMoveClass() const {
  return [](TComponent* owner) -> TttBatchMove* { return new TtbBatchMove(owner); };
}

std::unique_ptr<TStream> TtbTable::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (!IsBlobType(field->DataType())) return TttTable::CreateBlobStream(field, mode);
  return std::make_unique<TtbBlobStream>(field, mode);
}

// ---- TtbBlobStream ----

TtbBlobStream::TtbBlobStream(TField* field, TBlobStreamMode mode) : TttBlobStream(field, mode) {
  Open();
}

TVirtEng* TtbBlobStream::Engine() const { return BtrEngine(); }

// ---- TtbBatchMove ----

TVirtEng* TtbBatchMove::Engine() const { return BtrEngine(); }

}  // namespace vader
