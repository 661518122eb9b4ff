#pragma once
// The data window of one table: the data-aware grid with the translated field labels, the
// record count and position, the index that orders the rows, a search on that index, a range,
// a filter expression switched on and off, editing (insert, delete with the prompt, post,
// cancel), CSV export with progress and cancel, the form view, the structure, and a detail
// window linked to the current row.

#include <atomic>
#include <optional>
#include <string>

#include "AppForm.h"
#include "BrowseTable.h"
#include "GridSort.h"
#include "QuickFilter.h"
#include "DataTransfer.h"
#include "framework/DBCtrls.h"

namespace vader::app {

class TDatabaseForm;

class TDataForm : public TAppForm {
 public:
  TDataForm(TComponent* owner, TDatabaseForm* database, const std::string& table);
  ~TDataForm() override;

  TDatabaseForm* DatabaseForm() const { return database_; }
  const std::string& TableName() const { return tableName_; }
  TBrowseTable& Table() const { return *table_; }
  TDataSource& Source() const { return *source_; }

  // What the window's controls do, callable as the person would.
  void ChooseIndex(int index);
  void Search(const std::string& text);
  void ApplyRange(const std::string& from, const std::string& to);
  void ClearRange();
  // Compiles Text as the filter; a text that does not parse is refused with its position.
  // A filter that reads long shows its progress; stopped, it is switched off (false).
  bool ApplyFilter(const std::string& text, bool on);
  // The quick filter of Field's column, as typed in the filter row (blank: none); it holds
  // together with the filter expression. A text that is no value of the field is refused with
  // a problem shown, the other quick filters staying. True when taken.
  bool SetQuickFilter(const std::string& field, const std::string& text);
  void InsertRecord();
  // Asks first when the setting says so; true when the record went.
  bool DeleteRecord();
  // Posts the edit; an engine error is shown and the edit stays as typed. True when posted.
  bool PostRecord();
  void CancelRecord();
  // Puts back the values the last record posted from this window had before (removes it,
  // when it was new); refused with a message when the record changed since. True when done.
  bool UndoLastChange();
  // With an unposted edit or insert, asks whether to post it, discard it or keep the window.
  bool CanClose() override;
  // Writes the shown records (filter and range in effect) to Path as CSV in UTF-8, or in the
  // database's code page; false when stopped or failed.
  bool ExportCsv(const std::string& path, bool inDatabaseCodePage = false);
  // Writes the shown records to Path as Options say (the SQL script names this table unless
  // the options name another); false when stopped or failed.
  bool Export(const std::string& path, const TExportOptions& options);
  // Adds the records of a CSV or JSON file as Choice says, and tells what went in and what
  // was refused; false when nothing could be imported or it was stopped.
  bool Import(const TImportChoice& choice);
  // Stops the export or import that runs.
  void CancelExport() { cancelExport_ = true; }
  // Opens a window on the table linked to this one by the first field of the current index.
  TDataForm* OpenDetail(const std::string& table, const std::string& masterField,
                        const std::string& detailField);
  // The detail table of the sample kind: a table with an index led by a field of this
  // table's first index; empty when none is.
  std::string FindDetail(std::string& masterField, std::string& detailField);
  void ShowFormView();
  // Moves to the Number-th of the records shown (from 1); a number with no record is refused
  // with a message. True when moved.
  bool GoToRecord(int number);
  // Moves to the next record after the current one (going round from the first) that holds
  // Text in any column, letter case aside; says so when none does. True when found.
  bool FindText(const std::string& text);

  // Orders the rows by Field as a click on its column title does: through an index led by
  // the field, the reverse on a second click (an index read backwards where none is in that
  // direction); where no index is led by the field, asks whether to show the rows in that
  // order through the SQL engine, for reading only. True when ordered here.
  bool SortByColumn(const std::string& field);

  // "Record N of M".
  std::string PositionText() const;
  // The records of the table with the range and filter in effect.
  int RecordCount() const;
  // The filter's error with a caret under its position, empty when the filter is fine.
  const std::string& FilterProblem() const { return filterProblem_; }
  // What is wrong with a quick filter's text, empty when they are all fine.
  const std::string& QuickFilterProblem() const { return quickProblem_; }

 protected:
  void FormCreate() override;
  void ShowState() override;
  // The column widths too, kept per table.
  void RestoreLayout() override;
  void SaveLayout() override;

 private:
  void BuildControls();
  void BuildMenu();
  void FillIndexes();
  void SwitchFilterOff();
  int EstimatedPosition() const;
  std::string IndexCaption(const TIndexInfo& info) const;
  std::string TextOf(const char* name) const;
  void Attempt(const std::function<void()>& action);
  // Keeps the record's values as an edit begins, and after each post the change it made.
  void TrackChanges();
  std::vector<TValue> StoredValues() const;
  void PutValues(const std::vector<TValue>& values);
  void OfferOrderThroughSql(const TSortOrder& order);
  // Gives the table the filter expression (while it is on) and the quick filters; the quick
  // filters' problem, if any, in QuickProblem.
  void ApplyFilters();
  void AskGoToRecord();
  void AskFindText();
  TTransferWindow TransferWindow();
  // Whether a column of the record being read holds Folded (a text folded for comparing).
  bool RecordHolds(const std::string& folded) const;

  TDatabaseForm* database_;
  std::string tableName_;
  TBrowseTable* table_ = nullptr;
  TDataSource* source_ = nullptr;
  std::unique_ptr<TStateLink> link_;
  std::string filterProblem_;
  std::string expression_;     // the filter expression, fields by name
  bool expressionOn_ = false;  // ... and whether it is on
  TQuickFilter quick_;
  std::string quickProblem_;   // what is wrong with a quick filter text
  std::string indexLanguage_;  // the dictionary the index list was shown in
  std::string progress_;
  bool cancelExport_ = false;
  mutable TRecordCount count_;
  struct TEstimate {
    TBookmark at;
    std::uint64_t version = 0;
    int position = -1;
  };
  mutable TEstimate estimate_;  // the last estimate of the current record's number
  TDataForm* master_ = nullptr;
  bool readOnly_ = false;  // the table cannot be written here
  // The last change posted from this window: the record, and its values before and after.
  struct TPostedChange {
    TBookmark bookmark;
    bool inserted = false;
    std::vector<TValue> before, after;
  };
  TPostedChange pending_;                // the edit or insert in progress
  std::optional<TPostedChange> posted_;  // what Undo last change takes back
  bool undoing_ = false;
  std::string findText_;  // what Find next looks for
};

// Whether deleting asks first ("Confirm before deleting records"); kept in the settings file.
bool ConfirmDeletes();
void SetConfirmDeletes(bool value);

}  // namespace vader::app
