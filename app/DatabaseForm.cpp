#include "DatabaseForm.h"

#include <sys/stat.h>

#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "AppTexts.h"
#include "DataForm.h"
#include "MainForm.h"
#include "SqlForm.h"
#include "StructureForm.h"
#include "TableDesignForm.h"
#include "btrieve/BtrDbase.h"
#include "components/BtrMainTable.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "microkernel/FileNames.h"
#include "platform/CodePage.h"
#include "platform/ProcessInfo.h"
#include "platform/ProgramFiles.h"
#include "tools/TableSchema.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

constexpr std::size_t kRecentCount = 8;

std::string SettingsFile() { return platform::SettingsFilePath("Vader.INI"); }

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// FILE.DDF in Dir, in whatever case the files were copied with.
bool HasDictionary(const std::string& dir) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    std::string name = entry.path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    if (name == "FILE.DDF") return true;
  }
  return false;
}

using microkernel::WritableHere;

bool LooksLikePath(const std::string& name) {
  return name.find('/') != std::string::npos || name == "." || name == "..";
}

void ShowError(const std::string& text) { MessageDlg(text, TMsgDlgType::mtError, mbOK, 0); }

// The engine refused a file because its owner name was not given (or was wrong).
bool NeedsOwnerName(const std::exception& error) {
  constexpr int32_t kInvalidOwner = 51;
  const auto* engine = dynamic_cast<const ETDBEngineError*>(&error);
  if (!engine) return false;
  for (int i = 0; i < engine->ErrorCount(); ++i)
    if (engine->Errors(i).NativeError == kInvalidOwner) return true;
  return false;
}

// Asks for the owner name of the files of `what`; false when none is given.
bool AskOwnerName(const std::string& what, std::string& ownerName) {
  if (!Prompts().text) return false;
  const std::string typed =
      Prompts().text(Tr(texts::kOwnerName), Format(texts::kTheFilesOfAreProtected, {what}));
  if (typed.empty()) return false;
  ownerName = typed;
  return true;
}

// Runs "vbutil import-db ARGUMENTS" with `input` as its standard input; `output` receives what
// it printed. False when it did not finish with success.
bool RunImport(const std::vector<std::string>& arguments, const std::string& input,
               std::string& output) {
  QStringList list{"import-db"};
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess import;
  import.setProcessChannelMode(QProcess::MergedChannels);
  import.start(QString::fromStdString(platform::ExecutableDirectory() + "vbutil"), list);
  import.write(input.data(), static_cast<qint64>(input.size()));
  import.closeWriteChannel();
  Screen().SetCursor(crHourGlass);
  const bool finished = import.waitForFinished(-1);
  Screen().SetCursor(crDefault);
  output = import.readAll().toStdString();
  return finished && import.exitStatus() == QProcess::NormalExit && import.exitCode() == 0;
}

// The owner-protected files that "import-db --check" listed ("  PATH: N records,
// owner-protected"), by their paths in the database directory `source`.
std::vector<std::string> ProtectedFiles(const std::string& checkOutput, const std::string& source) {
  const std::string marker = " records, owner-protected";
  const std::string prefix = source + (source.back() == '/' ? "" : "/");
  std::vector<std::string> files;
  std::istringstream lines(checkOutput);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t end = line.rfind(marker);
    const std::size_t colon = end == std::string::npos ? end : line.rfind(": ", end);
    if (colon == std::string::npos || line.rfind("  ", 0) != 0) continue;
    std::string path = line.substr(2, colon - 2);
    if (path.rfind(prefix, 0) == 0) path.erase(0, prefix.size());
    files.push_back(path);
  }
  return files;
}

// The code pages a database's texts may be stored in, as the window offers them; the first,
// empty one is the installation's OEM code page.
struct TCodePageChoice {
  const char* caption;
  const char* codePage;
};
constexpr TCodePageChoice kCodePages[] = {
    {"Default", ""},
    {"437 United States", "437"},
    {"850 Western European", "850"},
    {"852 Central European", "852"},
    {"866 Cyrillic", "866"},
    {"737 Greek", "737"},
    {"857 Turkish", "857"},
    {"862 Hebrew", "862"},
    {"775 Baltic", "775"},
    {"1250 Central European (Windows)", "1250"},
    {"1251 Cyrillic (Windows)", "1251"},
    {"1252 Western European (Windows)", "1252"},
    {"UTF-8", "UTF-8"},
};

constexpr const char* kCodePageSection = "Code pages";

}  // namespace

TAppPrompts& Prompts() {
  static TAppPrompts prompts;
  return prompts;
}

std::vector<std::string> RecentDatabases() {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < kRecentCount; ++i) {
    const std::string value =
        ReadIniString(SettingsFile(), "Recent", "Database" + std::to_string(i + 1));
    if (!value.empty()) out.push_back(value);
  }
  return out;
}

void RememberDatabase(const std::string& database) {
  std::vector<std::string> list = RecentDatabases();
  list.erase(std::remove(list.begin(), list.end(), database), list.end());
  list.insert(list.begin(), database);
  list.resize(std::min(list.size(), kRecentCount));
  for (std::size_t i = 0; i < kRecentCount; ++i)
    WriteIniString(SettingsFile(), "Recent", "Database" + std::to_string(i + 1),
                   i < list.size() ? list[i] : "");
}

std::string ChosenCodePage(const std::string& database) {
  return ReadIniString(SettingsFile(), kCodePageSection, database);
}

void RememberCodePage(const std::string& database, const std::string& codePage) {
  WriteIniString(SettingsFile(), kCodePageSection, database, codePage);
}

std::string TDatabaseForm::SampleDatabase() { return platform::SampleDatabaseDirectory(); }

std::string TDatabaseForm::CheckDirectory(const std::string& database) {
  if (!LooksLikePath(database)) return {};  // an alias: the session knows it or says so
  if (!IsDirectory(database)) return Format(texts::kTheDirectoryDoesNotExist, {database});
  if (!HasDictionary(database))
    return Format(texts::kTheDirectoryHoldsNoDataDictionary, {database});
  return {};
}

TDatabaseForm* TDatabaseForm::OpenDatabase(const std::string& database,
                                           const std::string& owner) {
  std::string name = database;
  if (LooksLikePath(name)) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(name, error);
    if (!error) name = absolute.lexically_normal().string();
    while (name.size() > 1 && name.back() == '/') name.pop_back();
  }
  for (TDatabaseForm* open : TAppWindows::Instance().OfKind<TDatabaseForm>())
    if (open->DatabaseName() == name) return open;
  const std::string problem = CheckDirectory(name);
  if (!problem.empty()) {
    ShowError(problem);
    return nullptr;
  }
  // A dictionary guarded by an owner name opens once the name is given.
  for (std::string ownerName = owner;;) {
    try {
      TDatabaseForm* form = TAppWindows::Instance().Open<TDatabaseForm>(nullptr, name, ownerName);
      RememberDatabase(name);
      return form;
    } catch (const std::exception& error) {
      if (NeedsOwnerName(error) && AskOwnerName(name, ownerName)) continue;
      ShowError(Format(texts::kCannotOpenTheDatabase, {name}) + "\n" +
                ui::ShownErrorText(error.what()));
      return nullptr;
    }
  }
}

TDatabaseForm::TDatabaseForm(TComponent* owner, const std::string& database,
                             const std::string& ownerName)
    : TAppForm(owner), databaseName_(database) {
  // A dictionary written by a real Btrieve engine: its files are read in place, read-only.
  inPlace_ = LooksLikePath(database) && microkernel::IsRealBtrieveFile(DataFilePath("FILE.DDF"));
  BeginLoading();
  SetName("DatabaseForm");
  SetCaption("Database");
  SetHint("The tables of the database");
  // Beside the main window, which opens at the left of the screen.
  SetBounds(640, 24, 640, 524);
  BuildMenu();

  Place<TLabel>(this, "PathLabel", 12, 8, 610, 22)->SetAnchors({akLeft, akTop, akRight});
  Place<TLabel>(this, "OwnerLabel", 12, 36, 150, 24)->SetCaption("Owner name:");
  auto* ownerEdit = Place<TEdit>(this, "OwnerEdit", 170, 34, 200, 26);
  ownerEdit->SetHint("The owner name of protected files");
  ownerEdit->SetText(ownerName);
  auto* tables = Place<TListView>(this, "TableList", 12, 68, 616, 340);
  tables->SetAnchors({akLeft, akTop, akRight, akBottom});
  tables->AddColumn("Table", 220);
  tables->AddColumn("File", 360);
  tables->OnDblClick = [this](TComponent*) { OpenTable(SelectedTable()); };
  AddButton(
      this, "OpenTableButton", "&Open", 12, 416, 110, [this] { OpenTable(SelectedTable()); },
      "Show the records of the table")
      ->SetAnchors({akLeft, akBottom});
  AddButton(
      this, "StructureButton", "&Structure", 130, 416, 110,
      [this] { ShowStructure(SelectedTable()); }, "Show the fields and indexes")
      ->SetAnchors({akLeft, akBottom});
  AddButton(
      this, "SqlButton", "S&QL...", 248, 416, 110, [this] { OpenSqlWindow(); },
      "Run SQL statements on the database")
      ->SetAnchors({akLeft, akBottom});
  auto* recentLabel = Place<TLabel>(this, "RecentLabel", 12, 456, 150, 24);
  recentLabel->SetCaption("Recent databases:");
  recentLabel->SetAnchors({akLeft, akBottom});
  auto* recent = Place<TComboBox>(this, "RecentCombo", 170, 454, 458, 26);
  recent->SetAnchors({akLeft, akRight, akBottom});
  recent->OnChange = [recent](TComponent*) {
    if (recent->ItemIndex() >= 0) OpenDatabase(recent->Items()[std::size_t(recent->ItemIndex())]);
  };
  PlaceCodePageChoice();
  Connect();
}

void TDatabaseForm::PlaceCodePageChoice() {
  auto* label = Place<TLabel>(this, "CodePageLabel", 12, 488, 150, 24);
  label->SetCaption("Code page of the texts:");
  label->SetAnchors({akLeft, akBottom});
  auto* codePages = Place<TComboBox>(this, "CodePageCombo", 170, 486, 330, 26);
  codePages->SetAnchors({akLeft, akBottom});
  codePages->SetHint("The code page in which the database stores its texts");
  TStrings captions;
  for (const TCodePageChoice& choice : kCodePages) captions.push_back(choice.caption);
  codePages->SetItems(captions);
  PlaceChosenCodePage();
  codePages->OnChange = [this, codePages](TComponent*) {
    const int index = codePages->ItemIndex();
    if (index >= 0 && index < static_cast<int>(std::size(kCodePages)))
      ChangeCodePage(kCodePages[index].codePage);
  };
}

void TDatabaseForm::PlaceChosenCodePage() {
  auto* codePages = dynamic_cast<TComboBox*>(FindComponent("CodePageCombo"));
  if (!codePages) return;
  const std::string chosen = ChosenCodePage(databaseName_);
  int index = 0;
  for (std::size_t i = 0; i < std::size(kCodePages); ++i)
    if (chosen == kCodePages[i].codePage) index = static_cast<int>(i);
  codePages->SetItemIndex(index);
}

void TDatabaseForm::ChangeCodePage(const std::string& codePage) {
  if (codePage == ChosenCodePage(databaseName_)) return;
  if (HasEditInProgress()) {
    // Reopening would drop what was typed: the choice waits until it is posted or cancelled.
    MessageDlg(Tr(texts::kPostOrCancelFirst), TMsgDlgType::mtInformation, mbOK, 0);
    PlaceChosenCodePage();
    return;
  }
  RememberCodePage(databaseName_, codePage);
  // The database opens again with the new code page; windows on it close first.
  CloseWindowsOfDatabase();
  if (database_) database_->Close();
  delete database_;
  database_ = nullptr;
  tables_.clear();
  if (auto* view = dynamic_cast<TListView*>(FindComponent("TableList"))) view->ClearRows();
  try {
    Connect();
  } catch (const std::exception& error) {
    ShowError(Format(texts::kCannotOpenTheDatabase, {databaseName_}) + "\n" +
              ui::ShownErrorText(error));
  }
  ShowState();
}

bool TDatabaseForm::HasEditInProgress() const {
  const auto editing = [](const TDataSet& dataSet) {
    return dataSet.State() == TDataSetState::dsEdit || dataSet.State() == TDataSetState::dsInsert;
  };
  for (TDataForm* form : TAppWindows::Instance().OfKind<TDataForm>())
    if (form->DatabaseForm() == this && editing(form->Table())) return true;
  for (TSqlForm* form : TAppWindows::Instance().OfKind<TSqlForm>())
    if (form->DatabaseForm() == this && editing(form->Query())) return true;
  return false;
}

void TDatabaseForm::CloseWindowsOfDatabase() {
  for (TDataForm* form : TAppWindows::Instance().OfKind<TDataForm>())
    if (form->DatabaseForm() == this) TAppWindows::Instance().Close(form);
  for (TSqlForm* form : TAppWindows::Instance().OfKind<TSqlForm>())
    if (form->DatabaseForm() == this) TAppWindows::Instance().Close(form);
}

TDatabaseForm::~TDatabaseForm() {
  // The data and SQL windows of this database go first; then the database closes.
  CloseWindowsOfDatabase();
  if (database_) database_->Close();
}

bool TDatabaseForm::CanClose() {
  for (TDataForm* form : TAppWindows::Instance().OfKind<TDataForm>())
    if (form->DatabaseForm() == this && !form->CanClose()) return false;
  return true;
}

void TDatabaseForm::Connect() {
  auto* database = new TtbDatabase(this);
  database->SetName("Database");
  database->SetDatabaseName(databaseName_);
  if (const std::string codePage = ChosenCodePage(databaseName_); !codePage.empty())
    database->SetParams({"CODE PAGE=" + codePage});
  try {
    database->Open();
    database_ = database;
    ReadTables();
  } catch (const std::exception& error) {
    database_ = nullptr;
    database->Close();
    delete database;
    throw;
  }
  readOnly_ =
      inPlace_ || (LooksLikePath(databaseName_) && !WritableHere(DataFilePath("FILE.DDF")));
}

void TDatabaseForm::ReadTables() {
  tables_.clear();
  TBrowseTable list(nullptr);
  try {
    // The dictionary's own description of its files lists the tables.
    list.SetDatabaseName(databaseName_);
    list.SetTableName(TableNameFor("X$File"));
    list.SetReadOnly(true);
    list.Open();
    for (list.First(); !list.Eof(); list.Next()) {
      const std::string table = list.FieldByName("Xf$Name")->AsString();
      // The dictionary's own tables, and a restructure's hidden one, are not the person's.
      if (table.rfind("X$", 0) == 0 || (list.FieldByName("Xf$Flags")->AsInteger() & 0x10))
        continue;
      tables_.push_back({table, list.FieldByName("Xf$Loc")->AsString()});
    }
    list.Close();
  } catch (const std::exception&) {
    list.Close();
    throw;
  }
  std::sort(tables_.begin(), tables_.end(),
            [](const TTableEntry& a, const TTableEntry& b) { return a.name < b.name; });
  auto* view = static_cast<TListView*>(FindComponent("TableList"));
  view->ClearRows();
  for (const auto& entry : tables_) view->AddRow({entry.name, entry.file});
  if (!tables_.empty()) view->SetSelected(0);
}

void TDatabaseForm::BuildMenu() {
  TMenuItem* file = AddMenuItem(nullptr, "FileMenu", "&File");
  AddMenuItem(
      file, "OpenDatabaseItem", "&Open database...", [] { AskAndOpenDatabase(); },
      "Open a directory with a DDF dictionary");
  AddMenuItem(
      file, "OpenAliasItem", "Open &alias...", [] { AskAndOpenAlias(); },
      "Open a database by its alias");
  AddMenuItem(
      file, "ImportItem", "&Import a Btrieve database...", [] { ImportDatabase(); },
      "Copy the files of a real Btrieve database and open the copy");
  if (inPlace_)
    AddMenuItem(
        file, "ImportToEditItem", "Import to &edit...",
        [this] { ImportDatabaseFrom(databaseName_); },
        "Copy these files into a database that can be edited, and open the copy");
  AddMenuItem(
      file, "CloseItem", "&Close", [this] { CloseWindow(); }, "Close the database");
  TMenuItem* table = AddMenuItem(nullptr, "TableMenu", "&Table");
  AddMenuItem(table, "OpenTableItem", "&Open", [this] { OpenTable(SelectedTable()); });
  AddMenuItem(table, "StructureItem", "&Structure", [this] { ShowStructure(SelectedTable()); });
  if (!readOnly_ && !inPlace_) {
    AddMenuItem(
        table, "NewTableItem", "&New table...", [this] { NewTable(); },
        "Create a table: its fields, indexes and data file");
    AddMenuItem(
        table, "RestructureItem", "&Restructure...",
        [this] { RestructureTable(SelectedTable()); },
        "Change the fields and indexes of the table, keeping its records");
    AddMenuItem(
        table, "CopyTableItem", "&Copy table...", [this] { CopyTable(SelectedTable()); },
        "Make a new table with the structure and the records of this one");
    AddMenuItem(
        table, "RenameTableItem", "Re&name table...", [this] { RenameTable(SelectedTable()); },
        "Give the table another name in the dictionary");
    AddMenuItem(
        table, "DeleteTableItem", "&Delete table...", [this] { DeleteTable(SelectedTable()); },
        "Remove the table from the dictionary; its data file stays");
  }
  AddMenuItem(
      table, "SqlItem", "S&QL...", [this] { OpenSqlWindow(); },
      "Run SQL statements on the database");
  AddLanguageMenu();
}

void TDatabaseForm::ShowState() {
  if (auto* path = dynamic_cast<TLabel*>(FindComponent("PathLabel")))
    path->SetCaption(Format(texts::kDatabase, {databaseName_}) + "   " +
                     Format(texts::kTables, {std::to_string(tables_.size())}) +
                     (readOnly_ ? "   " + Tr(texts::kReadOnlyRows) : std::string()));
  if (auto* recent = dynamic_cast<TComboBox*>(FindComponent("RecentCombo")))
    recent->SetItems(RecentDatabases());
}

std::string TDatabaseForm::OwnerName() const {
  auto* owner = dynamic_cast<TEdit*>(FindComponent("OwnerEdit"));
  return owner ? owner->Text() : std::string();
}

std::string TDatabaseForm::TableNameFor(const std::string& table) const {
  const std::string owner = OwnerName();
  return owner.empty() ? table : table + ";OWNER:" + owner;
}

std::string TDatabaseForm::DataFilePath(const std::string& location) const {
  std::string path = location;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || path[0] != '/') path = databaseName_ + "/" + path;
  return microkernel::FindIgnoringCase(path);
}

bool TDatabaseForm::TableReadOnly(const std::string& table) const {
  if (readOnly_) return true;
  if (!LooksLikePath(databaseName_)) return false;  // an alias: the record manager decides
  for (const TTableEntry& entry : tables_)
    if (entry.name == table) return !WritableHere(DataFilePath(entry.file));
  return false;
}

std::string TDatabaseForm::SelectedTable() const {
  auto* view = dynamic_cast<TListView*>(FindComponent("TableList"));
  const int row = view ? view->Selected() : -1;
  return row >= 0 && row < static_cast<int>(tables_.size()) ? tables_[std::size_t(row)].name
                                                            : std::string();
}

template <typename Form>
void TDatabaseForm::OpenWindow(const std::string& table) {
  if (table.empty()) return;
  for (;;) {
    try {
      TAppWindows::Instance().Open<Form>(nullptr, this, table);
      return;
    } catch (const std::exception& error) {
      std::string ownerName = OwnerName();
      if (NeedsOwnerName(error) && AskOwnerName(table, ownerName)) {
        dynamic_cast<TEdit*>(FindComponent("OwnerEdit"))->SetText(ownerName);
        continue;
      }
      ShowError(Format(texts::kCannotOpenTheTable, {table}) + "\n" +
                ui::ShownErrorText(error.what()));
      return;
    }
  }
}

void TDatabaseForm::OpenTable(const std::string& table) { OpenWindow<TDataForm>(table); }

void TDatabaseForm::ShowStructure(const std::string& table) { OpenWindow<TStructureForm>(table); }

// ---- table operations ----

void TDatabaseForm::RefreshTables() {
  try {
    ReadTables();
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  ShowState();
}

bool TDatabaseForm::CloseWindowsOfTable(const std::string& /*table*/) {
  // A table's file may be open through any window of the database (details, SQL): all close.
  if (HasEditInProgress()) {
    MessageDlg(Tr(texts::kPostOrCancelFirst), TMsgDlgType::mtInformation, mbOK, 0);
    return false;
  }
  // At once, the last opened first (details before their masters): the table's file must be
  // closed before it changes, which happens in this same event.
  const auto closeNow = [this](auto forms) {
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
      if ((*it)->DatabaseForm() == this) TAppWindows::Instance().CloseNow(*it);
  };
  closeNow(TAppWindows::Instance().OfKind<TSqlForm>());
  closeNow(TAppWindows::Instance().OfKind<TDataForm>());
  return true;
}

bool TDatabaseForm::RunTableOperation(const std::function<void(TBtrDatabase&)>& operation) {
  try {
    auto* btrieve = database_ ? dynamic_cast<TBtrDatabase*>(database_->Handle()) : nullptr;
    if (btrieve == nullptr) throw std::invalid_argument(Tr(texts::kOnlyBtrieveTables));
    TSessionLock lock(*database_->Session());
    CallEngineObject([&] { operation(*btrieve); });
  } catch (const std::exception& error) {
    ui::ShowException(error);
    return false;
  }
  RefreshTables();
  return true;
}

void TDatabaseForm::NewTable() {
  try {
    TAppWindows::Instance().Open<TTableDesignForm>(nullptr, this, std::string());
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
}

void TDatabaseForm::RestructureTable(const std::string& table) {
  if (table.empty()) return;
  try {
    TAppWindows::Instance().Open<TTableDesignForm>(nullptr, this, table);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
}

void TDatabaseForm::CopyTable(const std::string& table) {
  if (table.empty() || !Prompts().text) return;
  const std::string name = Prompts().text(Format(texts::kCopyTable, {table}), Tr(texts::kNameOfTheCopy));
  if (name.empty()) return;
  const bool exists = std::any_of(tables_.begin(), tables_.end(), [&](const TTableEntry& entry) {
    return tools::SameName(entry.name, name);
  });
  // A copy onto a table that exists replaces its records.
  if (exists && !ConfirmPrompt(Format(texts::kReplaceRecordsOf, {name, table}))) return;
  if (exists && !CloseWindowsOfTable(name)) return;
  try {
    TtbTable source(nullptr), copy(nullptr);
    source.SetDatabaseName(databaseName_);
    source.SetTableName(TableNameFor(table));
    copy.SetDatabaseName(databaseName_);
    copy.SetTableName(TableNameFor(name));
    TtbBatchMove move(nullptr);
    move.SetSource(&source);
    move.SetDestination(&copy);
    move.Mode = TBatchMode::batCopy;
    move.CommitCount = 2000;
    move.Execute();
    RefreshTables();
    MessageDlg(Format(texts::kCopiedRecordsInto, {std::to_string(move.MovedCount()), name}),
               TMsgDlgType::mtInformation, mbOK, 0);
  } catch (const std::exception& error) {
    ui::ShowException(error);
    RefreshTables();
  }
}

void TDatabaseForm::RenameTable(const std::string& table) {
  if (table.empty() || !Prompts().text) return;
  const std::string name = Prompts().text(Format(texts::kRenameTable, {table}), Tr(texts::kNewName));
  if (name.empty() || name == table) return;
  if (!CloseWindowsOfTable(table)) return;
  RunTableOperation([&](TBtrDatabase& db) {
    const std::string codePage = db.TextCodePage();
    db.RenameTable(platform::AnsiTextToNative(table, codePage).bytes.c_str(),
                   platform::AnsiTextToNative(name, codePage).bytes.c_str());
  });
}

void TDatabaseForm::DeleteTable(const std::string& table) {
  if (table.empty()) return;
  std::string file;
  for (const TTableEntry& entry : tables_)
    if (entry.name == table) file = entry.file;
  if (!ConfirmPrompt(Format(texts::kDeleteTableConfirm, {table, file}))) return;
  if (!CloseWindowsOfTable(table)) return;
  RunTableOperation([&](TBtrDatabase& db) {
    db.DeleteTable(platform::AnsiTextToNative(table, db.TextCodePage()).bytes.c_str());
  });
}

TSqlForm* TDatabaseForm::OpenSqlWindow() {
  return TAppWindows::Instance().Open<TSqlForm>(nullptr, this);
}

void TDatabaseForm::AskAndOpenDatabase() {
  if (!Prompts().directory) return;
  const std::string dir = Prompts().directory(Tr(texts::kOpenDatabase));
  if (!dir.empty()) OpenDatabase(dir);
}

void TDatabaseForm::AskAndOpenAlias() {
  if (!Prompts().text) return;
  const std::string alias = Prompts().text(Tr(texts::kOpenAlias), Tr(texts::kAliasName));
  if (!alias.empty()) OpenDatabase(alias);
}

void TDatabaseForm::ImportDatabase() {
  if (!Prompts().directory) return;
  const std::string source = Prompts().directory(Tr(texts::kBtrieveDatabaseToImport));
  if (!source.empty()) ImportDatabaseFrom(source);
}

void TDatabaseForm::ImportDatabaseFrom(const std::string& source) {
  if (!Prompts().directory) return;
  const std::string dest = Prompts().directory(Tr(texts::kDirectoryForTheCopy));
  if (dest.empty()) return;
  // The utility's own command does the import, so its checks and messages are the same; it
  // first says which files are owner-protected, whose names are then asked for.
  std::string output;
  if (!RunImport({"--check", source, dest}, "", output)) {
    ShowError(Format(texts::kTheImportOfFailed, {source}) + "\n" + output);
    return;
  }
  const std::vector<std::string> files = ProtectedFiles(output, source);
  TOwnerNames owners;
  owners.files = files;
  owners.names.resize(files.size());
  if (!files.empty() && (!Prompts().ownerNames || !Prompts().ownerNames(owners))) return;
  std::string ownerLines;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!owners.names[i].empty()) ownerLines += files[i] + "=" + owners.names[i] + "\n";
  std::vector<std::string> arguments = {source, dest, "--owner-file", "-"};
  if (!owners.forAll.empty()) arguments.insert(arguments.end(), {"--owner", owners.forAll});
  if (!RunImport(arguments, ownerLines, output)) {
    ShowError(Format(texts::kTheImportOfFailed, {source}) + "\n" + output);
    return;
  }
  const auto named = std::find_if(owners.names.begin(), owners.names.end(),
                                  [](const std::string& n) { return !n.empty(); });
  const bool oneName = !owners.forAll.empty() || named == owners.names.end();
  OpenDatabase(dest, oneName ? owners.forAll : *named);
}

}  // namespace vader::app
