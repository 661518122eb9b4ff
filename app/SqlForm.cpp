#include "SqlForm.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
#include <vector>

#include "AppTexts.h"
#include "LongWorks.h"
#include "DataForm.h"
#include "DatabaseForm.h"
#include "SqlHistory.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "platform/TextCase.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

// The relational engine's status for a table the dictionary does not define.
constexpr int32_t kNoSuchTableStatus = 204;

bool TellsOfAMissingTable(const ETDBEngineError& error) {
  for (int i = 0; i < error.ErrorCount(); ++i)
    if (error.Errors(i).NativeError == kNoSuchTableStatus) return true;
  return false;
}

struct ScriptStatement {
  std::string text;
  std::size_t begin = 0;  // the offset of its first character in the script
  int line = 1;           // where the statement begins
};

// Where the quoted literal or comment that begins at `i` ends (its last character), else `i`.
size_t SkipQuotedOrComment(const std::string& s, size_t i) {
  const char c = s[i];
  const char next = i + 1 < s.size() ? s[i + 1] : '\0';
  size_t end = i;
  if (c == '\'' || c == '"') {
    end = s.find(c, i + 1);
  } else if (c == '-' && next == '-') {
    end = s.find('\n', i);
    if (end != std::string::npos) --end;  // the line end is read as a blank
  } else if (c == '/' && next == '*') {
    end = s.find("*/", i + 2);
    if (end != std::string::npos) ++end;
  }
  return std::min(end, s.size() - 1);
}

// A stored procedure's text may hold several statements: CREATE PROCEDURE takes the rest of
// the script. `start` is the statement's beginning.
bool TakesTheRest(const std::string& start) {
  std::string words;
  for (char c : start) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!words.empty() && words.back() != ' ') words += ' ';
    } else {
      words += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return words.rfind("CREATE PROCEDURE ", 0) == 0;
}

// The statements of a script, each ended by ";" outside quoted literals and comments; a piece
// with nothing but blanks and comments is no statement.
std::vector<ScriptStatement> ScriptStatements(const std::string& script) {
  std::vector<ScriptStatement> out;
  size_t begin = std::string::npos, last = 0;  // the statement's first and last characters
  int line = 1, beginLine = 1;
  const auto finish = [&] {
    if (begin != std::string::npos)
      out.push_back({script.substr(begin, last + 1 - begin), begin, beginLine});
    begin = std::string::npos;
  };
  for (size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    const size_t sofar = begin == std::string::npos ? 0 : std::min<size_t>(i - begin, 40);
    if (c == ';' && (sofar == 0 || !TakesTheRest(script.substr(begin, sofar)))) {
      finish();
      continue;
    }
    const size_t end = SkipQuotedOrComment(script, i);
    const bool comment = end > i && c != '\'' && c != '"';
    if (!comment && !std::isspace(static_cast<unsigned char>(c))) {
      if (begin == std::string::npos) begin = i, beginLine = line;
      last = end;
    }
    line += static_cast<int>(std::count(script.begin() + static_cast<long>(i),
                                        script.begin() + static_cast<long>(end) + 1, '\n'));
    i = end;
  }
  finish();
  return out;
}

// The statement the cursor stands in or right after (before its ";" or the blanks that follow
// it); before the first statement, the first.
const ScriptStatement* StatementAt(const std::vector<ScriptStatement>& script, std::size_t cursor) {
  const ScriptStatement* at = script.empty() ? nullptr : &script.front();
  for (const ScriptStatement& statement : script)
    if (statement.begin <= cursor) at = &statement;
  return at;
}

// The script from its first statement to the end of its last, without blanks around it.
std::string ScriptText(const std::string& script, const std::vector<ScriptStatement>& statements) {
  const std::size_t end = statements.back().begin + statements.back().text.size();
  return script.substr(statements.front().begin, end - statements.front().begin);
}

// The line and column (both from 1) of byte offset `at` in `text`; columns count characters.
std::pair<int, int> LineAndColumn(const std::string& text, std::size_t at) {
  at = std::min(at, text.size());
  const auto begin = text.begin(), end = text.begin() + static_cast<long>(at);
  const int line = 1 + static_cast<int>(std::count(begin, end, '\n'));
  const std::size_t lineStart = text.rfind('\n', at == 0 ? 0 : at - 1);
  const auto from =
      lineStart == std::string::npos || at == 0 ? begin : begin + static_cast<long>(lineStart) + 1;
  const auto startsCharacter = [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  };
  return {line, 1 + static_cast<int>(std::count_if(from, end, startsCharacter))};
}

// The history's entries on one line each, as a drop-down list shows them.
std::vector<std::string> OneLineEach(const std::vector<std::string>& statements) {
  std::vector<std::string> out;
  for (std::string text : statements) {
    const auto lineBreak = [](char c) { return c == '\n' || c == '\r' || c == '\t'; };
    std::replace_if(text.begin(), text.end(), lineBreak, ' ');
    out.push_back(std::move(text));
  }
  return out;
}

}  // namespace

TSqlForm::TSqlForm(TComponent* owner, TDatabaseForm* database)
    : TAppForm(owner), database_(database) {
  BeginLoading();
  SetName("SqlForm");
  SetCaption("SQL");
  SetHint("SQL statements on the database");
  SetBounds(100, 80, 900, 616);
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
  AddMenuItem(
      file, "ExportItem", "&Export...", [this] { AskExport(); },
      "Write the rows of the result to a CSV, JSON or SQL file");
  AddMenuItem(file, "CloseItem", "&Close", [this] { TAppWindows::Instance().Close(this); });
  TMenuItem* statement = AddMenuItem(nullptr, "StatementMenu", "&Statement");
  AddMenuItem(
      statement, "RunItem", "&Run", [this] { Run(); }, "Run the statement")
      ->SetShortCut("Ctrl+Return");
  AddMenuItem(
      statement, "RunAtCursorItem", "Run the statement at the &cursor",
      [this] { RunStatementAtCursor(); }, "Run only the statement where the cursor stands")
      ->SetShortCut("Ctrl+Shift+Return");
  AddLanguageMenu();
}

void TSqlForm::BuildControls() {
  // The statement above, its rows below; the border between them is dragged as one likes.
  TPanel* top = AddPane(this, "StatementPane", alTop, 150);
  AddSplitter(this, "Splitter", alTop);
  TPanel* bottom = AddPane(this, "ResultPane", alClient);
  Place<TLabel>(top, "StatementLabel", 12, 8, 300, 22)->SetCaption("SQL statement:");
  Place<TLabel>(top, "HistoryLabel", 330, 8, 80, 22)->SetCaption("History:");
  auto* history = Place<TComboBox>(top, "HistoryBox", 410, 4, 210, 26);
  history->SetHint("Statements run before on this database: choose one to edit it");
  history->SetAnchors({akLeft, akTop, akRight});
  history->OnChange = [this](TComponent*) { PickFromHistory(); };
  auto* searchLabel = Place<TLabel>(top, "SearchLabel", 628, 8, 74, 22);
  searchLabel->SetCaption("Search:");
  searchLabel->SetAnchors({akTop, akRight});
  auto* search = Place<TEdit>(top, "HistorySearch", 702, 4, 80, 26);
  search->SetAnchors({akTop, akRight});
  search->SetHint("Search the history: only the statements that contain this text are listed");
  search->OnChange = [this](TComponent*) { ShowHistory(); };
  ShowHistory();
  auto* editor = Place<TMemo>(top, "StatementMemo", 12, 32, 770, 112);
  editor->SetHint("For example: SELECT * FROM Customers WHERE Country = 'France'");
  editor->SetSyntax(TMemoSyntax::Sql);
  editor->SetLineNumbers(true);
  editor->SetAnchors({akLeft, akTop, akRight, akBottom});
  AddButton(
      top, "RunButton", "&Run", 790, 32, 98, [this] { Run(); }, "Run the statement (Ctrl+Return)")
      ->SetAnchors({akTop, akRight});
  Place<TLabel>(top, "RunLabel", 790, 72, 98, 70)->SetAnchors({akTop, akRight});
  AddButton(
      bottom, "ExportButton", "E&xport...", 790, 4, 98, [this] { AskExport(); },
      "Write the rows of the result to a CSV, JSON or SQL file");
  AddButtonRow(bottom, 12, 4, 96,
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
  const int rows = bottom->Height();
  auto* grid = Place<TwwDBGrid>(bottom, "Grid", 12, 40, 876, rows - 96);
  grid->SetAnchors({akLeft, akTop, akRight, akBottom});
  grid->SetDataSource(source_);
  grid->OnRowChange = [this](TComponent*) { ShowState(); };
  Place<TLabel>(bottom, "ResultLabel", 12, rows - 50, 720, 44)
      ->SetAnchors({akLeft, akRight, akBottom});
  auto* stop = AddButton(
      bottom, "CancelExportButton", "Stop e&xport", 738, rows - 50, 150,
      [this] { cancelExport_ = true; }, "Stop the export that is running");
  stop->SetAnchors({akRight, akBottom});
  stop->SetVisible(false);  // shown while an export runs
}

bool TSqlForm::Export(const std::string& path, const TExportOptions& options) {
  if (!query_->Active()) return false;
  return RunExport(ExportWindow(), *query_, path, options, count_.Of(*query_));
}

bool TSqlForm::AskExport() {
  if (!query_->Active()) return false;
  return AskAndExport(ExportWindow(), *query_, ResultTableName(), count_.Of(*query_));
}

TTransferWindow TSqlForm::ExportWindow() {
  return {*this, cancelExport_, progress_, [this] { ShowState(); }};
}

// The table a plain SELECT of one table reads, which an SQL script of its rows names.
std::string TSqlForm::ResultTableName() const {
  std::istringstream words(query_->SQL());
  std::string word;
  const auto isFrom = [](std::string w) {
    std::transform(w.begin(), w.end(), w.begin(), [](unsigned char c) { return std::toupper(c); });
    return w == "FROM";
  };
  while (words >> word)
    if (isFrom(word) && words >> word) {
      const std::size_t end = word.find_first_of(",;()");
      return word.substr(0, end);
    }
  return "Result";
}

TMemo& TSqlForm::Editor() const { return *static_cast<TMemo*>(FindComponent("StatementMemo")); }

std::string TSqlForm::Statement() const { return Editor().Text(); }

void TSqlForm::SetStatement(const std::string& text) { Editor().SetText(text); }

bool TSqlForm::Run() {
  const TMemo& editor = Editor();
  if (editor.SelLength() > 0) return RunScript(editor.SelStart(), editor.SelText());
  return RunScript(0, editor.Text());
}

bool TSqlForm::RunStatementAtCursor() {
  const std::string& text = Editor().Text();
  const std::vector<ScriptStatement> script = ScriptStatements(text);
  const ScriptStatement* at = StatementAt(script, Editor().SelStart());
  if (!at) return RunScript(0, text);  // nothing but blanks: the engine says what is missing
  return RunScript(at->begin, at->text);
}

bool TSqlForm::ShowRowsReadOnly(const std::string& statement, const std::string& filter) {
  readOnlyStatement_ = statement;
  query_->Close();
  query_->SetFiltered(false);
  query_->SetFilterText(filter);
  SetStatement(statement);
  return Run();
}

// Lists the history's statements that contain the search text, case ignored.
void TSqlForm::ShowHistory() {
  history_ = SqlHistory(database_->DatabaseName());
  const std::string wanted =
      platform::Utf8FoldKey(static_cast<TEdit*>(FindComponent("HistorySearch"))->Text());
  listed_.clear();
  for (const std::string& statement : history_)
    if (platform::Utf8FoldKey(statement).find(wanted) != std::string::npos)
      listed_.push_back(statement);
  auto* box = static_cast<TComboBox*>(FindComponent("HistoryBox"));
  box->SetItems(OneLineEach(listed_));
  box->SetItemIndex(-1);
}

void TSqlForm::PickFromHistory() {
  const int index = static_cast<TComboBox*>(FindComponent("HistoryBox"))->ItemIndex();
  if (index >= 0 && index < static_cast<int>(listed_.size()))
    SetStatement(listed_[static_cast<std::size_t>(index)]);
}

// Kept even when it failed, so that it can be picked and put right.
void TSqlForm::RememberRun(const std::string& script) {
  try {
    RememberSqlStatement(database_->DatabaseName(), script);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  ShowHistory();
}

// Runs the statements of `script`, which stands at `offset` in the editor; the statement that
// fails is selected in the editor.
bool TSqlForm::RunScript(std::size_t offset, std::string script) {
  error_.clear();
  ranWithoutRows_ = false;
  rowsChanged_ = -1;
  statementsRun_ = 0;
  std::vector<ScriptStatement> statements = ScriptStatements(script);
  if (statements.empty())
    statements.push_back({script, 0, 1});  // the engine says what is missing
  else
    RememberRun(ScriptText(script, statements));
  const std::string& text = Editor().Text();
  const int linesBefore = static_cast<int>(std::count(
      text.begin(), text.begin() + static_cast<long>(std::min(offset, text.size())), '\n'));
  const auto started = std::chrono::steady_clock::now();
  {  // the progress window closes before a message is shown
    const std::unique_ptr<TLongWork> work = StatementWork();
    for (const ScriptStatement& statement : statements) {
      if (!RunStatement(statement.text)) {
        if (work->Stopped()) error_ = Tr(texts::kStatementStopped);
        // In a script the message names the statement that failed; those before it have run.
        if (statements.size() > 1)
          error_ = Format(texts::kStatementFailed, {std::to_string(statementsRun_ + 1),
                                                    std::to_string(statement.line + linesBefore)}) +
                   "\n" + error_;
        MarkError(offset + statement.begin, statement.text.size());
        break;
      }
      ++statementsRun_;
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - started;
  elapsedMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  ShowState();
  if (error_.empty()) return true;
  MessageDlg(ui::ShownErrorText(error_), TMsgDlgType::mtError, mbOK, 0);
  return false;
}

// Selects where the statement at `begin` in the editor (`length` bytes) went wrong: the word
// the engine named, with its line and column in the message; without one, the statement.
void TSqlForm::MarkError(std::size_t begin, std::size_t length) {
  if (!errorPosition_.Known() || static_cast<std::size_t>(errorPosition_.offset) > length) {
    Editor().SetSelection(begin, length);
    return;
  }
  const std::size_t at = begin + static_cast<std::size_t>(errorPosition_.offset);
  const std::string& token = errorPosition_.token;
  const auto [line, column] = LineAndColumn(Editor().Text(), at);
  error_ += "\n" + (token.empty() ? Format(texts::kAtLineColumn,
                                           {std::to_string(line), std::to_string(column)})
                                  : Format(texts::kNearAtLineColumn,
                                           {token, std::to_string(line), std::to_string(column)}));
  Editor().SetSelection(at, std::min(token.size(), begin + length - at));
}

// One statement of the script; its rows are shown, or the rows it changed are counted.
bool TSqlForm::RunStatement(const std::string& statement) {
  errorPosition_ = {};
  try {
    progress_.clear();
    query_->Cancel();
    query_->Close();
    const bool readOnly = !readOnlyStatement_.empty() && statement == readOnlyStatement_;
    if (!readOnly) query_->SetFilterText("");
    query_->SetFiltered(readOnly && !query_->Filter().empty());
    query_->SetReadOnly(readOnly);
    query_->SetSQL(statement);
    ranWithoutRows_ = !query_->Execute();
  } catch (const ETDBEngineError& error) {
    error_ = error.what();
    errorPosition_ = error.StatementPosition();
    // A table the dictionary does not have is named.
    if (errorPosition_.Known() && TellsOfAMissingTable(error))
      error_ = Format(texts::kTableNotDefined, {errorPosition_.token}) + "\n" + error_;
    return false;
  } catch (const std::exception& error) {
    error_ = error.what();
    return false;
  }
  if (ranWithoutRows_ && query_->RowsAffected() >= 0)
    rowsChanged_ = std::max(rowsChanged_, 0) + query_->RowsAffected();
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
    return rowsChanged_ < 0 ? Tr(texts::kTheStatementRan)
                            : Format(texts::kRowsAffected, {std::to_string(rowsChanged_)});
  if (!query_->Active()) return {};
  std::string text = RecordPositionText(*query_, dynamic_cast<TwwDBGrid*>(FindComponent("Grid")),
                                        count_.Of(*query_));
  if (!query_->CanModify()) text += "  " + Tr(texts::kReadOnlyRows);
  return text;
}

std::string TSqlForm::RunText() const {
  if (elapsedMs_ < 0) return {};
  const std::string time = Format(texts::kMilliseconds, {std::to_string(elapsedMs_)});
  if (statementsRun_ < 2) return time;
  return Format(texts::kStatementsRun, {std::to_string(statementsRun_)}) + "\n" + time;
}

void TSqlForm::ShowState() {
  if (!query_) return;
  const std::string title = Format(texts::kSqlOn, {database_->DatabaseName()});
  if (Caption() != title) SetCaption(title);
  const auto show = [this](const char* name, const std::string& text) {
    auto* label = dynamic_cast<TLabel*>(FindComponent(name));
    if (label && label->Caption() != text) label->SetCaption(text);
  };
  const std::string result = error_.empty() ? ResultText() : ui::ShownErrorText(error_);
  show("ResultLabel", progress_.empty() ? result : result + "\n" + progress_);
  show("RunLabel", RunText());
}

}  // namespace vader::app
