#include "DataForm.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "AppTexts.h"
#include "LongWorks.h"
#include "DataTransfer.h"
#include "DatabaseForm.h"
#include "RecordForm.h"
#include "SqlForm.h"
#include "StructureForm.h"
#include "WindowLayout.h"
#include "framework/DBFilter.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/CodePage.h"
#include "platform/ProcessInfo.h"
#include "platform/ProgramFiles.h"
#include "platform/TextCase.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

std::string SettingsFile() { return platform::SettingsFilePath("Vader.INI"); }

// The position the filter compiler names in its message ("... at position N: ..."), 0: none.
std::size_t ErrorPosition(const std::string& message) {
  const std::string marker = "position ";
  const std::size_t at = message.find(marker);
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoul(message.c_str() + at + marker.size(), nullptr, 10));
}

}  // namespace

bool ConfirmDeletes() { return ReadIniString(SettingsFile(), "Options", "ConfirmDelete") != "0"; }

void SetConfirmDeletes(bool value) {
  WriteIniString(SettingsFile(), "Options", "ConfirmDelete", value ? "1" : "0");
}

TDataForm::TDataForm(TComponent* owner, TDatabaseForm* database, const std::string& table)
    : TAppForm(owner), database_(database), tableName_(table) {
  BeginLoading();
  SetName("DataForm");
  SetCaption("Table");
  SetHint("The records of the table");
  SetBounds(80, 60, 900, 580);
  table_ = new TBrowseTable(this);
  table_->SetName("Table");
  table_->SetDatabaseName(database->DatabaseName());
  table_->SetTableName(database->TableNameFor(table));
  readOnly_ = database->TableReadOnly(table);
  table_->SetReadOnly(readOnly_);
  source_ = new TDataSource(this);
  source_->SetName("DataSource");
  source_->SetDataSet(table_);
  BuildMenu();
  BuildControls();
  table_->Open();  // opens once loading has finished, before the window translates itself
}

void TDataForm::FormCreate() {
  TAppForm::FormCreate();
  FillIndexes();
  // Every move and state change of the table shows in the window's status line.
  link_ = std::make_unique<TStateLink>([this] { ShowState(); });
  link_->SetDataSource(source_);
  TrackChanges();
}

void TDataForm::RestoreLayout() {
  TAppForm::RestoreLayout();
  if (auto* grid = dynamic_cast<TwwDBGrid*>(FindComponent("Grid")))
    RestoreColumnWidths(*grid, tableName_);
}

void TDataForm::SaveLayout() {
  TAppForm::SaveLayout();
  if (auto* grid = dynamic_cast<TwwDBGrid*>(FindComponent("Grid")))
    SaveColumnWidths(*grid, tableName_);
}

TDataForm::~TDataForm() {
  link_.reset();
  for (TDataForm* form : TAppWindows::Instance().OfKind<TDataForm>())
    if (form->master_ == this) {
      form->table_->SetMaster(nullptr, "", "");
      form->master_ = nullptr;
    }
  for (TRecordForm* form : TAppWindows::Instance().OfKind<TRecordForm>())
    if (form->DataForm() == this) TAppWindows::Instance().Close(form);
  // A window closing with an edit in progress drops the edit; nothing may escape from here.
  try {
    table_->Cancel();
    table_->SetMaster(nullptr, "", "");
    table_->Close();
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
}

void TDataForm::BuildMenu() {
  TMenuItem* file = AddMenuItem(nullptr, "FileMenu", "&File");
  AddMenuItem(
      file, "ExportItem", "&Export to CSV...",
      [this] {
        if (!Prompts().file) return;
        const std::string path = Prompts().file(Tr(texts::kExportToCsv), true);
        if (!path.empty()) ExportCsv(path);
      },
      "Write the shown records to a CSV file");
  AddMenuItem(
      file, "ExportNativeItem", "Export to CSV in the database's code page...",
      [this] {
        if (!Prompts().file) return;
        const std::string path = Prompts().file(Tr(texts::kExportToCsv), true);
        if (!path.empty()) ExportCsv(path, true);
      },
      "Write the shown records to a CSV file in the code page the database stores its texts in");
  AddMenuItem(
      file, "ExportAsItem", "Export &as...",
      [this] { AskAndExport(TransferWindow(), *table_, tableName_, RecordCount()); },
      "Write the shown records to a CSV, JSON or SQL file with the choices you make");
  if (!readOnly_)  // a table that cannot be written here takes no records
    AddMenuItem(
        file, "ImportItem", "&Import...",
        [this] { AskAndImport(TransferWindow(), *table_, tableName_); },
        "Add the records of a CSV or JSON file to the table");
  AddMenuItem(file, "CloseItem", "&Close", [this] { CloseWindow(); })->SetShortCut("Ctrl+W");
  TMenuItem* record = AddMenuItem(nullptr, "RecordMenu", "&Record");
  AddMenuItem(record, "InsertItem", "&Insert", [this] { Attempt([this] { InsertRecord(); }); })
      ->SetShortCut("Ins");
  AddMenuItem(record, "DeleteItem", "&Delete", [this] { Attempt([this] { DeleteRecord(); }); })
      ->SetShortCut("Ctrl+Del");
  AddMenuItem(record, "PostItem", "&Post", [this] { PostRecord(); })->SetShortCut("Ctrl+S");
  AddMenuItem(record, "CancelItem", "&Cancel", [this] { CancelRecord(); })
      ->SetShortCut("Ctrl+Backspace");
  AddMenuItem(
      record, "UndoItem", "&Undo last change", [this] { Attempt([this] { UndoLastChange(); }); },
      "Put back the values the last posted record had before");
  AddMenuItem(
      record, "RefreshItem", "&Refresh", [this] { Attempt([this] { table_->Refresh(); }); },
      "Read the records again as the file holds them now")
      ->SetShortCut("F5");
  AddMenuItem(
      record, "GoToRecordItem", "&Go to record...", [this] { AskGoToRecord(); },
      "Move to the record with the number you type")
      ->SetShortCut("Ctrl+G");
  AddMenuItem(
      record, "FindItem", "&Find...", [this] { AskFindText(); },
      "Find the next record that holds a text in any column")
      ->SetShortCut("Ctrl+F");
  AddMenuItem(
      record, "FindNextItem", "Find &next",
      [this] { findText_.empty() ? AskFindText() : void(FindText(findText_)); },
      "Find the next record that holds the same text")
      ->SetShortCut("F3");
  AddLanguageMenu();
  TMenuItem* view = AddMenuItem(nullptr, "ViewMenu", "&View");
  AddMenuItem(
      view, "FormViewItem", "&Form view", [this] { ShowFormView(); },
      "Show the current record in a form");
  AddMenuItem(view, "StructureItem", "&Structure",
              [this] { database_->ShowStructure(tableName_); });
  AddMenuItem(
      view, "DetailItem", "&Details",
      [this] {
        std::string masterField, detailField;
        const std::string detail = FindDetail(masterField, detailField);
        if (detail.empty()) {
          MessageDlg(Tr(texts::kNoOtherTableRefersToThis), TMsgDlgType::mtInformation, mbOK, 0);
          return;
        }
        Attempt([&] { OpenDetail(detail, masterField, detailField); });
      },
      "Show the records of another table that belong to the current record");
}

void TDataForm::BuildControls() {
  Place<TLabel>(this, "IndexLabel", 12, 10, 70, 24)->SetCaption("Index:");
  auto* index = Place<TComboBox>(this, "IndexCombo", 84, 8, 300, 26);
  index->SetHint("The index that orders the records");
  index->OnChange = [this, index](TComponent*) {
    Attempt([&] { ChooseIndex(index->ItemIndex()); });
  };
  Place<TLabel>(this, "SearchLabel", 400, 10, 70, 24)->SetCaption("Search:");
  auto* search = Place<TEdit>(this, "SearchEdit", 472, 8, 200, 26);
  search->SetHint("A value of the index's first field");
  search->OnEnter = [this](TComponent*) { Search(TextOf("SearchEdit")); };
  AddButton(
      this, "SearchButton", "&Go to", 680, 7, 90, [this] { Search(TextOf("SearchEdit")); },
      "Go to the nearest record");

  Place<TLabel>(this, "RangeLabel", 12, 44, 70, 24)->SetCaption("Range:");
  Place<TEdit>(this, "RangeFromEdit", 84, 42, 140, 26)->SetHint("From");
  Place<TEdit>(this, "RangeToEdit", 232, 42, 140, 26)->SetHint("To");
  AddButton(
      this, "RangeButton", "&Apply", 380, 41, 90,
      [this] { ApplyRange(TextOf("RangeFromEdit"), TextOf("RangeToEdit")); },
      "Show only the records between the two values");
  AddButton(
      this, "ClearRangeButton", "C&lear", 476, 41, 90, [this] { ClearRange(); },
      "Show all the records again");

  Place<TLabel>(this, "FilterLabel", 12, 78, 70, 24)->SetCaption("Filter:");
  auto* filter = Place<TEdit>(this, "FilterEdit", 84, 76, 480, 26);
  filter->SetAnchors({akLeft, akTop, akRight});
  filter->SetHint("For example: Country = 'France' and Balance > 100");
  auto* on = Place<TCheckBox>(this, "FilterCheck", 576, 76, 180, 26);
  on->SetAnchors({akTop, akRight});
  on->SetCaption("Filter on");
  on->SetHint("Switch the filter on and off");
  on->OnClick = [this, on](TComponent*) { ApplyFilter(TextOf("FilterEdit"), on->Checked()); };
  filter->OnEnter = [this, on](TComponent*) {
    on->SetChecked(true);
    ApplyFilter(TextOf("FilterEdit"), true);
  };
  auto* problem = Place<TLabel>(this, "FilterProblemLabel", 84, 104, 800, 34);
  problem->SetHint("Where the filter text is wrong");
  problem->SetAnchors({akLeft, akTop, akRight});

  AddButtonRow(this, 12, 140, 96,
               {
                   {"FirstButton", "First", [this] { table_->First(); }},
                   {"PriorButton", "Prior", [this] { table_->Prior(); }},
                   {"NextButton", "Next", [this] { table_->Next(); }},
                   {"LastButton", "Last", [this] { table_->Last(); }},
                   {"InsertButton", "Insert", [this] { InsertRecord(); }},
                   {"DeleteButton", "Delete", [this] { DeleteRecord(); }},
                   {"PostButton", "Post", [this] { PostRecord(); }},
                   {"CancelButton", "Cancel", [this] { CancelRecord(); }},
                   {"RefreshButton", "Refresh", [this] { table_->Refresh(); }},
               });
  // A table that cannot be written here offers no editing.
  if (readOnly_)
    for (const char* name : {"InsertButton", "DeleteButton", "PostButton", "CancelButton"})
      static_cast<TControl*>(FindComponent(name))->SetVisible(false);
  auto* grid = Place<TwwDBGrid>(this, "Grid", 12, 176, 876, 360);
  grid->SetAnchors({akLeft, akTop, akRight, akBottom});
  grid->SetDataSource(source_);
  grid->OnRowChange = [this](TComponent*) { ShowState(); };
  if (!readOnly_) grid->OnDeleteKey = [this](TComponent*) { Attempt([this] { DeleteRecord(); }); };
  grid->OnTitleClick = [this](TComponent*, const std::string& field) { SortByColumn(field); };
  grid->SetFilterRow(true);
  grid->OnFilterTextChange = [this](TComponent*, const std::string& field,
                                    const std::string& text) { SetQuickFilter(field, text); };
  Place<TLabel>(this, "PositionLabel", 12, 544, 400, 24)->SetAnchors({akLeft, akBottom});
  Place<TLabel>(this, "ProgressLabel", 420, 544, 300, 24)
      ->SetAnchors({akLeft, akRight, akBottom});
  auto* stopExport = AddButton(
      this, "CancelExportButton", "Stop e&xport", 730, 542, 150, [this] { CancelExport(); },
      "Stop the export that is running");
  stopExport->SetAnchors({akRight, akBottom});
  stopExport->SetVisible(false);  // shown while an export runs
  auto* stopImport = AddButton(
      this, "CancelImportButton", "Stop i&mport", 730, 542, 150, [this] { CancelExport(); },
      "Stop the import; the records imported so far stay");
  stopImport->SetAnchors({akRight, akBottom});
  stopImport->SetVisible(false);  // shown while an import runs
}

// An index as the list shows it: its key number as the engine names it, then its fields by
// the labels the grid shows them with.
std::string TDataForm::IndexCaption(const TIndexInfo& info) const {
  const std::size_t dash = info.name.find(" - ");
  std::string shown = dash == std::string::npos ? info.name + ": " : info.name.substr(0, dash + 3);
  for (std::size_t i = 0; i < info.fields.size(); ++i) {
    const TField* field = table_->FindField(info.fields[i]);
    shown += (i ? ", " : "") + (field ? field->DisplayLabel() : info.fields[i]);
  }
  return shown;
}

void TDataForm::FillIndexes() {
  auto* combo = static_cast<TComboBox*>(FindComponent("IndexCombo"));
  TStrings names;
  int current = -1;
  const std::vector<std::string> fields = table_->IndexFields();
  for (const TIndexInfo& info : table_->Indexes()) {
    if (info.fields == fields && current < 0) current = static_cast<int>(names.size());
    names.push_back(IndexCaption(info));
  }
  combo->SetItems(names);
  combo->SetItemIndex(current);
  indexLanguage_ = DictionaryFileName();
  // The column of the index's first field carries the order marker.
  const TSortOrder order = OrderOfIndex(table_->Indexes(), fields, table_->ReadBackwards());
  auto* grid = static_cast<TwwDBGrid*>(FindComponent("Grid"));
  if (grid->SortField() != order.field || grid->SortDescending() != order.descending)
    grid->SetSortMarker(order.field, order.descending);
}

std::string TDataForm::TextOf(const char* name) const {
  auto* edit = dynamic_cast<TEdit*>(FindComponent(name));
  return edit ? edit->Text() : std::string();
}

void TDataForm::Attempt(const std::function<void()>& action) { ui::Guarded(action); }

int TDataForm::RecordCount() const { return count_.Of(*table_); }

std::string TDataForm::PositionText() const {
  // The engine numbers records only in files read in physical order; otherwise the grid's row
  // (counted from the first row, or back from the last) is the position.
  if (!table_->Active()) return {};
  return RecordPositionText(*table_, dynamic_cast<TwwDBGrid*>(FindComponent("Grid")), RecordCount(),
                            [this] { return EstimatedPosition(); });
}

// The engine's estimate costs a look through the index: asked once per record and version of
// the rows, not at every repaint of the status line.
int TDataForm::EstimatedPosition() const {
  if (table_->State() != TDataSetState::dsBrowse) return -1;
  const TBookmark here = table_->GetBookmark();
  if (here != estimate_.at || table_->RowsVersion() != estimate_.version)
    estimate_ = {here, table_->RowsVersion(), table_->EstimatedPosition(RecordCount())};
  return estimate_.position;
}

void TDataForm::ShowState() {
  if (!table_) return;
  if (table_->Active() && indexLanguage_ != DictionaryFileName()) FillIndexes();  // new labels
  const std::string title =
      Format(texts::kTable, {tableName_}) +
      (master_ ? " - " + Format(texts::kDetailsOf, {master_->tableName_}) : std::string());
  if (Caption() != title) SetCaption(title);
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("PositionLabel"))) {
    std::string text = PositionText();
    if (table_->Filtered()) text += "  " + Tr(texts::kFiltered);
    if (table_->RangeSet()) text += "  " + Tr(texts::kRange);
    if (readOnly_) text += "  " + Tr(texts::kReadOnlyRows);
    if (label->Caption() != text) label->SetCaption(text);
  }
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("ProgressLabel")))
    if (label->Caption() != progress_) label->SetCaption(progress_);
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("FilterProblemLabel"))) {
    const std::string problems = filterProblem_.empty() ? quickProblem_ : filterProblem_;
    if (label->Caption() != problems) label->SetCaption(problems);
  }
}

void TDataForm::ChooseIndex(int index) {
  const std::vector<TIndexInfo> indexes = table_->Indexes();
  if (index < 0 || index >= static_cast<int>(indexes.size())) return;
  table_->ChooseIndex(indexes[std::size_t(index)].name);
  FillIndexes();
  ShowState();
}

bool TDataForm::SortByColumn(const std::string& field) {
  if (master_ || field.empty()) return false;  // a detail keeps the index of its link
  const std::vector<TIndexInfo> indexes = table_->Indexes();
  const TSortOrder wanted = ClickedOrder(
      OrderOfIndex(indexes, table_->IndexFields(), table_->ReadBackwards()), field);
  const TSortWay way = WayTo(indexes, wanted);
  if (way.index.empty()) {
    OfferOrderThroughSql(wanted);
    return false;
  }
  bool ordered = false;
  Attempt([&] {
    table_->CheckBrowseMode();
    table_->ChooseIndex(way.index, way.backwards);
    ordered = true;
  });
  FillIndexes();
  ShowState();
  return ordered;
}

void TDataForm::OfferOrderThroughSql(const TSortOrder& order) {
  const TField* field = table_->FindField(order.field);
  const std::string label = field ? field->DisplayLabel() : order.field;
  if (!ConfirmPrompt(Format(texts::kNoIndexOrdersBy, {label}))) return;
  // The rows the window shows: with its filter, in the order asked for.
  TSqlForm* rows = database_->OpenSqlWindow();
  rows->ShowRowsReadOnly(OrderedSelect(tableName_, order),
                         table_->Filtered() ? table_->Filter() : std::string());
}

void TDataForm::Search(const std::string& text) {
  Attempt([&] { table_->SearchNearest(text); });
}

void TDataForm::ApplyRange(const std::string& from, const std::string& to) {
  Attempt([&] { table_->SetFieldRange(from, to); });
  ShowState();
}

void TDataForm::ClearRange() {
  Attempt([&] { table_->CancelFieldRange(); });
  ShowState();
}

bool TDataForm::ApplyFilter(const std::string& text, bool on) {
  filterProblem_.clear();
  bool applied = false;
  // Reading up to the first rows that pass, and counting them, may read the whole table.
  std::unique_ptr<TLongWork> work = FilterWork(tableName_);
  try {
    if (on && !text.empty()) BuildFilterExpression(text, 0, table_);  // errors before any change
    // The text with field names, which mean the same in every language.
    expression_ = FilterTextWithFieldNames(text, *table_);
    expressionOn_ = on && !text.empty();
    ApplyFilters();
    ShowState();
    applied = true;
  } catch (const std::exception& error) {
    const std::string message = error.what();
    const std::size_t position = ErrorPosition(message);
    filterProblem_ = TranslateFormatted(
        message, {std::begin(texts::kFilterProblems), std::end(texts::kFilterProblems)});
    if (position > 0)
      filterProblem_ += "\n" + text.substr(0, position - 1) + " >>" +
                        text.substr(std::min(text.size(), position - 1));
    SwitchFilterOff();
  }
  if (work->Stopped()) {
    // The rows shown would be those found before the stop: the filter goes off instead.
    work.reset();  // the quick filters are applied again without the stopped work
    filterProblem_ = Tr(texts::kFilterStopped);
    SwitchFilterOff();
    applied = false;
  }
  ShowState();
  return applied;
}

void TDataForm::SwitchFilterOff() {
  if (auto* check = dynamic_cast<TCheckBox*>(FindComponent("FilterCheck")))
    check->SetChecked(false);
  expressionOn_ = false;
  try {
    ApplyFilters();
  } catch (const std::exception&) {
    table_->SetFiltered(false);
  }
}

bool TDataForm::SetQuickFilter(const std::string& field, const std::string& text) {
  quick_.Set(field, text);
  bool taken = false;
  std::unique_ptr<TLongWork> work = FilterWork(tableName_);
  Attempt([&] {
    ApplyFilters();
    taken = quickProblem_.empty();
  });
  if (work->Stopped()) {
    // The rows found before the stop would be a wrong answer: this column's filter goes off.
    work.reset();
    quick_.Set(field, "");
    Attempt([&] { ApplyFilters(); });
    quickProblem_ = Tr(texts::kFilterStopped);
    taken = false;
  }
  ShowState();
  return taken;
}

void TDataForm::ApplyFilters() {
  std::string problem;
  const std::string quick = quick_.FilterText(*table_, problem);
  // The compiler's message without the place in the term it was given, which nobody typed.
  const std::string::size_type told = problem.find(": ");
  if (told != std::string::npos) problem.erase(0, told + 2);
  quickProblem_ = TranslateFormatted(
      problem, {std::begin(texts::kFilterProblems), std::end(texts::kFilterProblems)});
  const std::string text = AllOf({expressionOn_ ? expression_ : std::string(), quick});
  if (text == table_->Filter() && table_->Filtered() == !text.empty()) return;
  table_->SetFiltered(false);
  table_->SetFilterText(text);
  table_->SetFiltered(!text.empty());
}

void TDataForm::InsertRecord() { table_->Insert(); }

bool TDataForm::DeleteRecord() {
  if (table_->IsEmpty()) return false;
  if (ConfirmDeletes() && !ConfirmPrompt(Tr(texts::kDeleteTheCurrentRecord))) return false;
  table_->Delete();
  return true;
}

bool TDataForm::PostRecord() {
  try {
    table_->Post();
    return true;
  } catch (const std::exception& error) {
    // The record stays in edit with what the person typed; they may correct it or cancel.
    ui::ShowException(error);
    ShowState();
    return false;
  }
}

void TDataForm::CancelRecord() { table_->Cancel(); }

std::vector<TValue> TDataForm::StoredValues() const {
  std::vector<TValue> values;
  for (int f = 0; f < table_->FieldCount(); ++f)
    if (table_->Fields(f)->FieldKind() == TFieldKind::fkData)
      values.push_back(table_->Fields(f)->Value());
  return values;
}

void TDataForm::PutValues(const std::vector<TValue>& values) {
  std::size_t next = 0;
  for (int f = 0; f < table_->FieldCount() && next < values.size(); ++f)
    if (TField* field = table_->Fields(f); field->FieldKind() == TFieldKind::fkData) {
      const TValue& value = values[next++];
      if (field->Value() != value) field->SetValue(value);
    }
}

void TDataForm::TrackChanges() {
  table_->BeforeEdit = [this](TDataSet*) { pending_ = {{}, false, StoredValues(), {}}; };
  table_->BeforeInsert = [this](TDataSet*) { pending_ = {{}, true, {}, {}}; };
  table_->AfterPost = [this](TDataSet*) {
    if (undoing_) return;
    pending_.bookmark = table_->GetBookmark();
    pending_.after = StoredValues();
    posted_ = std::move(pending_);
    pending_ = {};
  };
}

bool TDataForm::UndoLastChange() {
  const auto refuse = [](const char* text) {
    MessageDlg(Tr(text), TMsgDlgType::mtInformation, mbOK, 0);
    return false;
  };
  if (!posted_) return refuse(texts::kNoChangeToUndo);
  if (table_->State() == TDataSetState::dsEdit || table_->State() == TDataSetState::dsInsert)
    return refuse(texts::kPostOrCancelBeforeUndo);
  if (!table_->BookmarkValid(posted_->bookmark)) return refuse(texts::kUndoRecordGone);
  table_->GotoBookmark(posted_->bookmark);  // reads the record as the file holds it now
  if (StoredValues() != posted_->after) return refuse(texts::kUndoRecordChangedSince);
  undoing_ = true;
  try {
    if (posted_->inserted) {
      table_->Delete();
    } else {
      table_->Edit();
      PutValues(posted_->before);
      table_->Post();
    }
  } catch (...) {
    undoing_ = false;
    if (table_->State() == TDataSetState::dsEdit) table_->Cancel();
    throw;
  }
  undoing_ = false;
  posted_.reset();
  return true;
}

bool TDataForm::CanClose() {
  const TDataSetState state = table_->State();
  if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) return true;
  if (!table_->Modified()) {
    table_->Cancel();  // nothing typed: nothing to lose
    return true;
  }
  const TModalResult answer = MessageDlg(
      Format(texts::kPostBeforeClosing, {tableName_}), TMsgDlgType::mtConfirmation,
      {{mbYes, Tr(texts::kPost)}, {mbNo, Tr(texts::kDiscard)}, {mbCancel, Tr(texts::kCancel)}});
  if (answer == mrYes) return PostRecord();
  if (answer != mrNo) return false;
  CancelRecord();
  return true;
}

bool TDataForm::ExportCsv(const std::string& path, bool inDatabaseCodePage) {
  TExportOptions options;
  options.databaseCodePage = inDatabaseCodePage;
  return Export(path, options);
}

bool TDataForm::Export(const std::string& path, const TExportOptions& options) {
  TExportOptions named = options;
  if (named.tableName.empty()) named.tableName = tableName_;
  return RunExport(TransferWindow(), *table_, path, named, RecordCount());
}

bool TDataForm::Import(const TImportChoice& choice) {
  if (readOnly_) return false;
  TImportChoice named = choice;
  if (named.tableName.empty()) named.tableName = tableName_;
  return RunImport(TransferWindow(), *table_, named);
}

TTransferWindow TDataForm::TransferWindow() {
  return {*this, cancelExport_, progress_, [this] { ShowState(); }};
}

std::string TDataForm::FindDetail(std::string& masterField, std::string& detailField) {
  const std::vector<TIndexInfo> own = table_->Indexes();
  if (own.empty() || own.front().fields.empty()) return {};
  const std::string key = own.front().fields.front();
  for (const TTableEntry& entry : database_->Tables()) {
    if (entry.name == tableName_) continue;
    TBrowseTable other(nullptr);
    other.SetDatabaseName(database_->DatabaseName());
    other.SetTableName(database_->TableNameFor(entry.name));
    other.SetReadOnly(true);
    try {
      // The detail's field is named after this table ("Orders" + "Id": "OrderId"), or it is
      // this table's own key field name in an index that allows repeats.
      std::string named = tableName_;
      if (!named.empty() && named.back() == 's') named.pop_back();
      named += key;
      for (const TIndexInfo& info : other.Indexes()) {
        if (info.fields.empty()) continue;
        const std::string& first = info.fields.front();
        if (first == named || (first == key && !info.unique)) {
          masterField = key;
          detailField = first;
          return entry.name;
        }
      }
    } catch (const std::exception&) {
      // A table that does not open cannot be a detail.
    }
  }
  return {};
}

TDataForm* TDataForm::OpenDetail(const std::string& table, const std::string& masterField,
                                 const std::string& detailField) {
  TDataForm* detail = TAppWindows::Instance().Open<TDataForm>(nullptr, database_, table);
  detail->table_->SetMaster(source_, masterField, detailField);
  detail->master_ = this;
  detail->FillIndexes();
  detail->ShowState();
  return detail;
}

void TDataForm::AskGoToRecord() {
  if (!Prompts().text) return;
  const std::string typed = Prompts().text(Tr(texts::kGoToRecord), Tr(texts::kRecordNumber));
  if (typed.empty()) return;
  char* end = nullptr;
  const long number = std::strtol(typed.c_str(), &end, 10);
  if (end == typed.c_str() || *end != '\0' || number < 1 || number > INT_MAX) {
    MessageDlg(Format(texts::kThereIsNoRecord, {typed}), TMsgDlgType::mtInformation, mbOK, 0);
    return;
  }
  GoToRecord(static_cast<int>(number));
}

bool TDataForm::GoToRecord(int number) {
  bool moved = false;
  Attempt([&] {
    table_->CheckBrowseMode();
    if (number < 1 || number > RecordCount()) {
      MessageDlg(Format(texts::kThereIsNoRecord, {std::to_string(number)}),
                 TMsgDlgType::mtInformation, mbOK, 0);
      return;
    }
    // The grid follows once, at the record reached, not at every step on the way.
    table_->DisableControls();
    try {
      table_->First();
      table_->MoveBy(number - 1);
    } catch (...) {
      table_->EnableControls();
      throw;
    }
    table_->EnableControls();
    moved = true;
  });
  ShowState();
  return moved;
}

void TDataForm::AskFindText() {
  if (!Prompts().text) return;
  const std::string typed = Prompts().text(Tr(texts::kFind), Tr(texts::kTextToFind));
  if (!typed.empty()) FindText(typed);
}

bool TDataForm::RecordHolds(const std::string& folded) const {
  for (int f = 0; f < table_->FieldCount(); ++f) {
    const TField* field = table_->Fields(f);
    if (!field->Visible() || IsBlobType(field->DataType())) continue;
    if (platform::LocaleFoldKey(field->DisplayText()).find(folded) != std::string::npos)
      return true;
  }
  return false;
}

bool TDataForm::FindText(const std::string& text) {
  findText_ = text;
  const std::string folded = platform::LocaleFoldKey(text);
  TBookmark found;
  Attempt([&] {
    table_->CheckBrowseMode();
    const TBookmark start = table_->GetBookmark();
    const auto visit = [&](bool round) {
      return [&, round] {
        if (round && table_->ReadingBookmark() == start) return false;  // all seen
        if (!RecordHolds(folded)) return true;
        found = table_->ReadingBookmark();
        return false;
      };
    };
    table_->ReadRecords(start, visit(false));
    if (found.empty() && !start.empty()) table_->ReadRecords(TBookmark(), visit(true));
    // The current record itself, last: it is found again only when no other one holds it.
    if (found.empty() && !start.empty() && RecordHolds(folded)) found = start;
    if (!found.empty()) table_->GotoBookmark(found);
  });
  if (found.empty())
    MessageDlg(Format(texts::kNoRecordHolds, {text}), TMsgDlgType::mtInformation, mbOK, 0);
  ShowState();
  return !found.empty();
}

void TDataForm::ShowFormView() { TAppWindows::Instance().Open<TRecordForm>(nullptr, this); }

}  // namespace vader::app
