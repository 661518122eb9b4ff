#pragma once
// The SQL window of an open database: a statement editor, Run (also Ctrl+Return), the rows of
// a statement that gives rows in the data-aware grid with the navigator buttons and "Record N
// of M", editable where the engine can change them (a view of one table); for a statement
// without rows the number of rows it changed. The editor may hold a script of statements ended
// by ";": they run in turn, the first that fails stops the script and is named by its number
// and line, and selected in the editor. With text selected only that runs; a menu entry runs
// the statement at the cursor. Each run shows the time it took and is kept in a history of the
// database, offered in a list that a search box narrows. Errors are shown with the engine's
// texts; where the engine tells the place of an error, the word there is selected.

#include <memory>
#include <string>
#include <vector>

#include "AppForm.h"
#include "DataTransfer.h"
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
  // Runs the editor's statements, or only the selected text when some is selected; an error
  // is shown in a message and kept, and the statement that failed is selected. True when all
  // ran. Each run is kept in the database's history.
  bool Run();
  // Runs only the statement where the editor's cursor stands.
  bool RunStatementAtCursor();
  // Runs Statement and shows its rows for reading only, through the filter text Filter (empty:
  // all rows); another statement run afterwards is shown as usual.
  bool ShowRowsReadOnly(const std::string& statement, const std::string& filter);
  // The statements run before on this database, newest first.
  const std::vector<std::string>& History() const { return history_; }
  // Those of them the history list offers: the ones that contain the search box's text.
  const std::vector<std::string>& ListedHistory() const { return listed_; }
  // What the last run gave: the position among its rows, the rows it changed, or empty.
  std::string ResultText() const;
  // The error text of the last run, empty when it ran.
  const std::string& ErrorText() const { return error_; }
  // Writes the rows of the result to Path as Options say; false when there is no result, or
  // the export was stopped or failed.
  bool Export(const std::string& path, const TExportOptions& options);
  // Asks for the file and the choices, then exports the result.
  bool AskExport();
  // How many statements the last run ran and how long it took: "12 ms", "3 statements" above it.
  std::string RunText() const;

 protected:
  void FormCreate() override;
  void ShowState() override;

 private:
  void BuildMenu();
  void BuildControls();
  bool DeleteRecord();
  bool RunStatement(const std::string& statement);
  bool RunScript(std::size_t offset, std::string script);
  TMemo& Editor() const;
  void ShowHistory();
  void PickFromHistory();
  void RememberRun(const std::string& script);
  void MarkError(std::size_t begin, std::size_t length);
  TTransferWindow ExportWindow();
  std::string ResultTableName() const;

  TDatabaseForm* database_;
  TtbQuery* query_ = nullptr;
  TDataSource* source_ = nullptr;
  std::unique_ptr<TStateLink> link_;
  bool ranWithoutRows_ = false;
  int32_t rowsChanged_ = -1;  // by the statements without rows of the last run; -1: not known
  int statementsRun_ = 0;
  int64_t elapsedMs_ = -1;  // -1: nothing ran yet
  std::string error_;
  TStatementPosition errorPosition_;  // where the failed statement is wrong, when known
  std::vector<std::string> history_;
  std::vector<std::string> listed_;
  mutable TRecordCount count_;
  std::string readOnlyStatement_;  // the statement whose rows are shown for reading only
  bool cancelExport_ = false;
  std::string progress_;  // of the export that runs or ran last
};

}  // namespace vader::app
