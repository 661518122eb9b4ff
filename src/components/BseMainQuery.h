#pragma once
// The query component of BseMain: a dataset over the result of an SQL statement of its
// database. The statement is prepared and run through the call layer; a statement that gives
// rows opens the dataset on its result table, which can be edited where the engine can change
// the rows (a view of one table) and is read-only otherwise. A statement without rows (INSERT,
// UPDATE, DELETE, ...) runs through ExecSQL and tells how many rows it changed. The
// engine-dependent hooks are bound in BtrMain.

#include <string>

#include "components/BseMain.h"

namespace vader {

// Database-use flag of a query running a statement without opening.
constexpr int dbfExecSQL = 2;

class TttQuery : public TttDBDataset {
 public:
  ~TttQuery() override;

  // The statement text; a new text closes the query first.
  const std::string& SQL() const { return sql_; }
  void SetSQL(const std::string& text);

  // Runs a statement that gives no rows. One that gives rows runs too; its rows are dropped.
  void ExecSQL();
  // Runs the statement: true with the dataset open on its rows when it gives rows, false with
  // the dataset closed when it gives none.
  bool Execute();
  // The rows the last statement run inserted, updated or deleted; -1 when it gave rows or the
  // engine cannot tell.
  int RowsAffected() const { return rowsAffected_; }
  // Rows offered for reading only, whatever the engine would allow.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool CanModify() const override { return TttDBDataset::CanModify() && !readOnly_; }

 protected:
  explicit TttQuery(TComponent* owner) : TttDBDataset(owner) {}
  // First destruction step of a binding: closes while the hooks exist.
  void Unregister();

  TBaseTable* CreateHandle() override;

 private:
  // Prepares and runs the statement on the attached database; its result cursor or nullptr.
  TBaseTable* RunStatement();
  // Runs `action` with the database attached for a statement of its own.
  template <class F>
  auto WithDatabase(F&& action);
  void DropPending();

  std::string sql_;
  // The result of a statement that Execute ran, taken over by the opening that follows.
  TBaseTable* pending_ = nullptr;
  int rowsAffected_ = -1;
  bool readOnly_ = false;
};

}  // namespace vader
