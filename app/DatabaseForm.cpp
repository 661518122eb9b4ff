#include "DatabaseForm.h"

#include <sys/stat.h>

#include <QProcess>
#include <algorithm>
#include <filesystem>

#include "AppTexts.h"
#include "DataForm.h"
#include "MainForm.h"
#include "SqlForm.h"
#include "StructureForm.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

constexpr std::size_t kRecentCount = 8;

std::string SettingsFile() { return platform::ExecutableDirectory() + "Vader.INI"; }

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

bool LooksLikePath(const std::string& name) {
  return name.find('/') != std::string::npos || name == "." || name == "..";
}

void ShowError(const std::string& text) { MessageDlg(text, TMsgDlgType::mtError, mbOK, 0); }

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

std::string TDatabaseForm::SampleDatabase() { return platform::ExecutableDirectory() + "sample"; }

std::string TDatabaseForm::CheckDirectory(const std::string& database) {
  if (!LooksLikePath(database)) return {};  // an alias: the session knows it or says so
  if (!IsDirectory(database)) return Format(texts::kTheDirectoryDoesNotExist, {database});
  if (!HasDictionary(database))
    return Format(texts::kTheDirectoryHoldsNoDataDictionary, {database});
  return {};
}

TDatabaseForm* TDatabaseForm::OpenDatabase(const std::string& database) {
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
  try {
    TDatabaseForm* form = TAppWindows::Instance().Open<TDatabaseForm>(nullptr, name);
    RememberDatabase(name);
    return form;
  } catch (const std::exception& error) {
    ShowError(Format(texts::kCannotOpenTheDatabase, {name}) + "\n" +
              ui::ShownErrorText(error.what()));
    return nullptr;
  }
}

TDatabaseForm::TDatabaseForm(TComponent* owner, const std::string& database)
    : TAppForm(owner), databaseName_(database) {
  BeginLoading();
  SetName("DatabaseForm");
  SetCaption("Database");
  SetHint("The tables of the database");
  SetBounds(40, 40, 640, 520);
  BuildMenu();

  Place<TLabel>(this, "PathLabel", 12, 8, 610, 22);
  Place<TLabel>(this, "OwnerLabel", 12, 36, 150, 24)->SetCaption("Owner name:");
  auto* ownerEdit = Place<TEdit>(this, "OwnerEdit", 170, 34, 200, 26);
  ownerEdit->SetHint("The owner name of protected files");
  auto* tables = Place<TListView>(this, "TableList", 12, 68, 610, 340);
  tables->AddColumn("Table", 220);
  tables->AddColumn("File", 360);
  tables->OnDblClick = [this](TComponent*) { OpenTable(SelectedTable()); };
  AddButton(
      this, "OpenTableButton", "&Open", 12, 416, 110, [this] { OpenTable(SelectedTable()); },
      "Show the records of the table");
  AddButton(
      this, "StructureButton", "&Structure", 130, 416, 110,
      [this] { ShowStructure(SelectedTable()); }, "Show the fields and indexes");
  AddButton(
      this, "SqlButton", "S&QL...", 248, 416, 110, [this] { OpenSqlWindow(); },
      "Run SQL statements on the database");
  Place<TLabel>(this, "RecentLabel", 12, 456, 150, 24)->SetCaption("Recent databases:");
  auto* recent = Place<TComboBox>(this, "RecentCombo", 170, 454, 330, 26);
  recent->OnChange = [recent](TComponent*) {
    if (recent->ItemIndex() >= 0) OpenDatabase(recent->Items()[std::size_t(recent->ItemIndex())]);
  };
  Connect();
}

TDatabaseForm::~TDatabaseForm() {
  // The data and SQL windows of this database go first; then the database closes.
  for (TDataForm* form : TAppWindows::Instance().OfKind<TDataForm>())
    if (form->DatabaseForm() == this) TAppWindows::Instance().Close(form);
  for (TSqlForm* form : TAppWindows::Instance().OfKind<TSqlForm>())
    if (form->DatabaseForm() == this) TAppWindows::Instance().Close(form);
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
  TBrowseTable list(nullptr);
  try {
    database->Open();
    // The dictionary's own description of its files lists the tables.
    list.SetDatabaseName(databaseName_);
    list.SetTableName("X$File");
    list.SetReadOnly(true);
    list.Open();
    for (list.First(); !list.Eof(); list.Next()) {
      const std::string table = list.FieldByName("Xf$Name")->AsString();
      if (table.rfind("X$", 0) == 0) continue;
      tables_.push_back({table, list.FieldByName("Xf$Loc")->AsString()});
    }
    list.Close();
  } catch (const std::exception& error) {
    list.Close();
    database->Close();
    delete database;
    throw;
  }
  database_ = database;
  std::sort(tables_.begin(), tables_.end(),
            [](const TTableEntry& a, const TTableEntry& b) { return a.name < b.name; });
  auto* view = static_cast<TListView*>(FindComponent("TableList"));
  for (const auto& entry : tables_) view->AddRow({entry.name, entry.file});
  if (!tables_.empty()) view->SetSelected(0);
}

void TDatabaseForm::BuildMenu() {
  TMenuItem* file = AddMenuItem(nullptr, "FileMenu", "&File");
  AddMenuItem(
      file, "OpenDatabaseItem", "&Open database...", [this] { AskAndOpenDatabase(); },
      "Open a directory with a DDF dictionary");
  AddMenuItem(
      file, "OpenAliasItem", "Open &alias...", [this] { AskAndOpenAlias(); },
      "Open a database by its alias");
  AddMenuItem(
      file, "ImportItem", "&Import a Btrieve database...", [this] { ImportDatabase(); },
      "Copy the files of a real Btrieve database and open the copy");
  AddMenuItem(
      file, "CloseItem", "&Close", [this] { CloseWindow(); }, "Close the database");
  TMenuItem* table = AddMenuItem(nullptr, "TableMenu", "&Table");
  AddMenuItem(table, "OpenTableItem", "&Open", [this] { OpenTable(SelectedTable()); });
  AddMenuItem(table, "StructureItem", "&Structure", [this] { ShowStructure(SelectedTable()); });
  AddMenuItem(
      table, "SqlItem", "S&QL...", [this] { OpenSqlWindow(); },
      "Run SQL statements on the database");
  AddLanguageMenu();
}

void TDatabaseForm::ShowState() {
  if (auto* path = dynamic_cast<TLabel*>(FindComponent("PathLabel")))
    path->SetCaption(Format(texts::kDatabase, {databaseName_}) + "   " +
                     Format(texts::kTables, {std::to_string(tables_.size())}));
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

std::string TDatabaseForm::SelectedTable() const {
  auto* view = dynamic_cast<TListView*>(FindComponent("TableList"));
  const int row = view ? view->Selected() : -1;
  return row >= 0 && row < static_cast<int>(tables_.size()) ? tables_[std::size_t(row)].name
                                                            : std::string();
}

template <typename Form>
void TDatabaseForm::OpenWindow(const std::string& table) {
  if (table.empty()) return;
  try {
    TAppWindows::Instance().Open<Form>(nullptr, this, table);
  } catch (const std::exception& error) {
    ShowError(Format(texts::kCannotOpenTheTable, {table}) + "\n" +
              ui::ShownErrorText(error.what()));
  }
}

void TDatabaseForm::OpenTable(const std::string& table) { OpenWindow<TDataForm>(table); }

void TDatabaseForm::ShowStructure(const std::string& table) { OpenWindow<TStructureForm>(table); }

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
  if (source.empty()) return;
  const std::string dest = Prompts().directory(Tr(texts::kDirectoryForTheCopy));
  if (dest.empty()) return;
  // The utility's own command does the import, so its checks and messages are the same.
  QProcess import;
  import.setProcessChannelMode(QProcess::MergedChannels);
  import.start(QString::fromStdString(platform::ExecutableDirectory() + "vbutil"),
               {"import-db", QString::fromStdString(source), QString::fromStdString(dest)});
  Screen().SetCursor(crHourGlass);
  const bool finished = import.waitForFinished(-1);
  Screen().SetCursor(crDefault);
  if (!finished || import.exitStatus() != QProcess::NormalExit || import.exitCode() != 0) {
    ShowError(Format(texts::kTheImportOfFailed, {source}) + "\n" + import.readAll().toStdString());
    return;
  }
  OpenDatabase(dest);
}

}  // namespace vader::app
