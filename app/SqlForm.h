#pragma once
// The SQL window of an open database: a statement editor, Run (also Ctrl+Return), the rows of
// a statement that gives rows in the data-aware grid with the navigator buttons and "Record N
// of M", editable where the engine can change them (a view of one table); for a statement
// without rows the number of rows it changed. Errors are shown with the engine's texts.

#include <memory>
#include <string>

#include "AppForm.h"
#include "components/BtrMainQuery.h"

namespace vader::app {

class TDatabaseForm;

class TSqlForm : public TAppForm {
 public:
  TSqlForm(TComponent* owner, TDatabaseForm* database);
  ~TSqlForm() override;

  TDatabaseForm* DatabaseForm() const { return database_; }
  TtbQuery& Query() const { return *query_; }
  TDataSource& Source() const { return *source_; }

  // The text of the statement editor.
  std::string Statement() const;
  void SetStatement(const std::string& text);
  // Runs the editor's statement; an error is shown in a message and kept. True when it ran.
  bool Run();
  // What the last run gave: the position among its rows, the rows it changed, or empty.
  std::string ResultText() const;
  // The error text of the last run, empty when it ran.
  const std::string& ErrorText() const { return error_; }

 protected:
  void FormCreate() override;
  void ShowState() override;

 private:
  void BuildMenu();
  void BuildControls();
  bool DeleteRecord();

  TDatabaseForm* database_;
  TtbQuery* query_ = nullptr;
  TDataSource* source_ = nullptr;
  std::unique_ptr<TStateLink> link_;
  bool ranWithoutRows_ = false;
  std::string error_;
  mutable TRecordCount count_;
};

}  // namespace vader::app
