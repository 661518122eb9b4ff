#include "SqlForm.h"

#include "AppTexts.h"
#include "DataForm.h"
#include "DatabaseForm.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {

TSqlForm::TSqlForm(TComponent* owner, TDatabaseForm* database)
    : TAppForm(owner), database_(database) {
  BeginLoading();
  SetName("SqlForm");
  SetCaption("SQL");
  SetHint("SQL statements on the database");
  SetBounds(100, 80, 900, 640);
  query_ = new TtbQuery(this);
  query_->SetName("Query");
  query_->SetDatabaseName(database->DatabaseName());
  source_ = new TDataSource(this);
  source_->SetName("DataSource");
  source_->SetDataSet(query_);
  BuildMenu();
  BuildControls();
}

TSqlForm::~TSqlForm() {
  link_.reset();
  // A window closing with an edit in progress drops the edit; nothing may escape from here.
  try {
    query_->Cancel();
    query_->Close();
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
}

void TSqlForm::FormCreate() {
  TAppForm::FormCreate();
  link_ = std::make_unique<TStateLink>([this] { ShowState(); });
  link_->SetDataSource(source_);
}

void TSqlForm::BuildMenu() {
  TMenuItem* file = AddMenuItem(nullptr, "FileMenu", "&File");
  AddMenuItem(file, "CloseItem", "&Close", [this] { TAppWindows::Instance().Close(this); });
  TMenuItem* statement = AddMenuItem(nullptr, "StatementMenu", "&Statement");
  AddMenuItem(
      statement, "RunItem", "&Run", [this] { Run(); }, "Run the statement")
      ->SetShortCut("Ctrl+Return");
  AddLanguageMenu();
}

void TSqlForm::BuildControls() {
  Place<TLabel>(this, "StatementLabel", 12, 8, 400, 22)->SetCaption("SQL statement:");
  auto* editor = Place<TMemo>(this, "StatementMemo", 12, 32, 770, 110);
  editor->SetHint("For example: SELECT * FROM Customers WHERE Country = 'France'");
  AddButton(
      this, "RunButton", "&Run", 790, 32, 98, [this] { Run(); }, "Run the statement (Ctrl+Return)");
  AddButtonRow(this, 12, 150, 96,
               {
                   {"FirstButton", "First", [this] { query_->First(); }},
                   {"PriorButton", "Prior", [this] { query_->Prior(); }},
                   {"NextButton", "Next", [this] { query_->Next(); }},
                   {"LastButton", "Last", [this] { query_->Last(); }},
                   {"InsertButton", "Insert", [this] { query_->Insert(); }},
                   {"DeleteButton", "Delete", [this] { DeleteRecord(); }},
                   {"PostButton", "Post", [this] { query_->Post(); }},
                   {"CancelButton", "Cancel", [this] { query_->Cancel(); }},
               });
  auto* grid = Place<TwwDBGrid>(this, "Grid", 12, 186, 876, 380);
  grid->SetDataSource(source_);
  grid->OnRowChange = [this](TComponent*) { ShowState(); };
  Place<TLabel>(this, "ResultLabel", 12, 574, 876, 44);
}

std::string TSqlForm::Statement() const {
  auto* editor = dynamic_cast<TMemo*>(FindComponent("StatementMemo"));
  return editor ? editor->Text() : std::string();
}

void TSqlForm::SetStatement(const std::string& text) {
  if (auto* editor = dynamic_cast<TMemo*>(FindComponent("StatementMemo"))) editor->SetText(text);
}

bool TSqlForm::Run() {
  error_.clear();
  ranWithoutRows_ = false;
  try {
    query_->Cancel();
    query_->Close();
    query_->SetSQL(Statement());
    ranWithoutRows_ = !query_->Execute();
  } catch (const std::exception& error) {
    error_ = error.what();
    ShowState();
    MessageDlg(ui::ShownErrorText(error_), TMsgDlgType::mtError, mbOK, 0);
    return false;
  }
  ShowState();
  return true;
}

bool TSqlForm::DeleteRecord() {
  if (!query_->Active() || query_->IsEmpty()) return false;
  if (ConfirmDeletes() && !ConfirmPrompt(Tr(texts::kDeleteTheCurrentRecord))) return false;
  query_->Delete();
  return true;
}

std::string TSqlForm::ResultText() const {
  if (ranWithoutRows_)
    return query_->RowsAffected() < 0
               ? Tr(texts::kTheStatementRan)
               : Format(texts::kRowsAffected, {std::to_string(query_->RowsAffected())});
  if (!query_->Active()) return {};
  std::string text = RecordPositionText(*query_, dynamic_cast<TwwDBGrid*>(FindComponent("Grid")),
                                        count_.Of(*query_));
  if (!query_->CanModify()) text += "  " + Tr(texts::kReadOnlyRows);
  return text;
}

void TSqlForm::ShowState() {
  if (!query_) return;
  const std::string title = Format(texts::kSqlOn, {database_->DatabaseName()});
  if (Caption() != title) SetCaption(title);
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("ResultLabel"))) {
    const std::string text = error_.empty() ? ResultText() : ui::ShownErrorText(error_);
    if (label->Caption() != text) label->SetCaption(text);
  }
}

}  // namespace vader::app
