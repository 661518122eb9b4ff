#pragma once
// The Btrieve bindings of the table component, the blob stream and the batch move: every
// class hook answers with the Btrieve engine of BtrMain.

#include "components/BseMainTable.h"
#include "components/BtrMain.h"

namespace vader {

class TtbTable : public TttTable {
 public:
  explicit TtbTable(TComponent* owner = nullptr);
  ~TtbTable() override;

  TVirtEng* Engine() const override;
  void SetSessionList() override;
  TttSession* DefaultSession() const override;
  TBatchMoveClass GetBatchMoveClass() const override;
  // Blob fields stream through a TtbBlobStream.
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
};

class TtbBlobStream : public TttBlobStream {
 public:
  TtbBlobStream(TField* field, TBlobStreamMode mode);
  TVirtEng* Engine() const override;
};

class TtbBatchMove : public TttBatchMove {
 public:
  explicit TtbBatchMove(TComponent* owner = nullptr) : TttBatchMove(owner) {}
  TVirtEng* Engine() const override;
  TttTable* CreateTable(TComponent* owner) const override { return new TtbTable(owner); }
};

}  // namespace vader
