// The database and data windows driven in process over a copy of the sample database: opening
// (and refusing) databases, browsing with index, search, range and filter, editing with engine
// errors that keep the input, deleting with the prompt, master/detail, CSV export, and a
// language switch with a data window open; the SQL window over the relational engine; long
// work (a filter, a statement, a wait for another program) shown and stopped.

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <QTreeWidget>
#include <QTableWidget>
#include <map>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "DataForm.h"
#include "LongWorks.h"
#include "DatabaseForm.h"
#include "RecordForm.h"
#include "SqlForm.h"
#include "StructureForm.h"
#include "TableDesignForm.h"
#include "common/TempDir.h"
#include "legacy/Pre6Files.h"
#include "framework/DBCtrls.h"
#include "framework/Dialogs.h"
#include "framework/LongWork.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/CodePage.h"
#include "platform/ProcessInfo.h"
#include "platform/ProgramFiles.h"
#include "platform/Registry.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"
#include "tools/SampleDatabase.h"
#include "ui/FormWindow.h"
#include "ui/GridHeader.h"
#include "ui/QtEventLoop.h"

namespace vader::app {
namespace {

using vader::testing::TempDir;

class DataWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
    namespace fs = std::filesystem;
    fs::create_directory(dir.File("lang"));
    for (const char* file : {"French.txt", "German.txt"})
      fs::copy_file(std::string(VADER_LANG_DIR) + "/" + file, dir.File("lang/") + file);
    const fs::path bin = fs::path(VADER_CLIENT_LIBRARY).parent_path();
    for (const char* library : {"libwbtrv32.so", "libwssql32.so", "libwdbnm32.so"})
      fs::create_symlink(bin / library, dir.File(library));
    fs::copy(VADER_SAMPLE_DATABASE, dir.File("sample"));
    dir.Write("registry.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vader\\Btrieve\\Aliases\\SHOP]\r\n"
              "\"PhysicalName\"=\"" +
                  dir.File("sample") + "\"\r\n");
    setenv(platform::kRegistryEnvironmentVariable, dir.File("registry.reg").c_str(), 1);
    platform::SetMessageTableFile(dir.File("messages"));
    platform::SetExecutablePathForTesting(dir.File("vader"));
    modules.Startup();
    Application().SetEventLoop(&loop);
    SetMessageDialogHandler([this](const MessageDialogRequest& request) {
      messages.push_back(request.message);
      return answer;
    });
  }
  void TearDown() override {
    const std::size_t shown = messages.size();
    modules.Shutdown();  // as the application ends: the modules first, then the windows
    TAppWindows::Instance().CloseAll();
    EXPECT_EQ(messages.size(), shown) << LastMessage();  // they close quietly
    SetMessageDialogHandler(nullptr);
    Application().SetEventLoop(nullptr);
    platform::SetExecutablePathForTesting("");
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  TDataForm& Data(const std::string& table) {
    TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
    EXPECT_NE(database, nullptr);
    database->OpenTable(table);
    auto forms = TAppWindows::Instance().OfKind<TDataForm>();
    EXPECT_FALSE(forms.empty()) << (messages.empty() ? "" : messages.back());
    return *forms.back();
  }
  static std::string Field(TDataForm& form, const char* name) {
    return form.Table().FieldByName(name)->AsString();
  }
  static std::string Upper(TDataForm& form, const char* name) {
    std::string text = Field(form, name);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
  static std::string SqlResult(TSqlForm& form) {
    return static_cast<TLabel*>(form.FindComponent("ResultLabel"))->Caption();
  }
  std::string LastMessage() const { return messages.empty() ? "" : messages.back(); }
  // Counted as a program would, with the grid not following every step.
  static int Rows(TDataSet& table) {
    int rows = 0;
    table.DisableControls();
    for (table.First(); !table.Eof(); table.Next()) ++rows;
    table.First();
    table.EnableControls();
    return rows;
  }

  TempDir dir;
  TModuleTable modules = BuildModuleTable(false);
  ui::TQtEventLoop loop;
  std::vector<std::string> messages;
  TModalResult answer = mrYes;
};

TEST_F(DataWindows, DatabasesOpenByDirectoryOrAliasAndWrongOnesOpenNothing) {
  TDatabaseForm* sample = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(sample, nullptr);
  std::vector<std::string> names;
  for (const auto& entry : sample->Tables()) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Customers", "Employees", "OrderLines", "Orders",
                                             "Products", "Suppliers"}));
  EXPECT_EQ(TDatabaseForm::OpenDatabase(dir.File("sample") + "/"), sample);  // once only
  EXPECT_EQ(RecentDatabases().front(), dir.File("sample"));
  EXPECT_NE(TDatabaseForm::OpenDatabase("SHOP"), nullptr);

  const std::size_t windows = TAppWindows::Instance().Forms().size();
  EXPECT_EQ(TDatabaseForm::OpenDatabase(dir.File("nowhere")), nullptr);
  EXPECT_NE(LastMessage().find("does not exist"), std::string::npos) << LastMessage();
  std::filesystem::create_directory(dir.File("empty"));
  EXPECT_EQ(TDatabaseForm::OpenDatabase(dir.File("empty")), nullptr);
  EXPECT_NE(LastMessage().find("no data dictionary"), std::string::npos) << LastMessage();
  EXPECT_EQ(TDatabaseForm::OpenDatabase("NOSUCHALIAS"), nullptr);
  EXPECT_NE(LastMessage().find("Cannot open the database NOSUCHALIAS"), std::string::npos);
  EXPECT_EQ(TAppWindows::Instance().Forms().size(), windows);

  // A table that does not open leaves no window behind: an unknown one, or one that another
  // program holds exclusively.
  sample->OpenTable("NoSuchTable");
  EXPECT_NE(LastMessage().find("Cannot open the table NoSuchTable"), std::string::npos);
  EXPECT_EQ(TAppWindows::Instance().Forms().size(), windows);
  TtbSession other(nullptr);
  other.SetSessionName("Other");
  TtbTable held(nullptr);
  held.SetSessionName("Other");
  held.SetDatabaseName(dir.File("sample"));
  held.SetTableName("Customers");
  held.SetExclusive(true);
  held.Open();
  messages.clear();
  sample->OpenTable("Customers");
  EXPECT_NE(LastMessage().find("Cannot open the table Customers."), std::string::npos)
      << LastMessage();
  EXPECT_EQ(TAppWindows::Instance().Forms().size(), windows);
  held.Close();
  sample->OpenTable("Customers");
  EXPECT_EQ(TAppWindows::Instance().Forms().size(), windows + 1);
}

TEST_F(DataWindows, AWrongOwnerNameOpensNothingAndSaysSoInTheLanguage) {
  const std::string vbutil = std::filesystem::path(VADER_EXECUTABLE).parent_path() / "vbutil";
  ASSERT_EQ(
      std::system((vbutil + " owner set " + dir.File("sample/SUPPLIER.BTR") + " Secret").c_str()),
      0);
  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  TDatabaseForm* sample = TDatabaseForm::OpenDatabase(dir.File("sample"));
  const std::size_t windows = TAppWindows::Instance().Forms().size();
  for (const std::string name : {"", "Wrong", "Secret"}) {  // the right one opens at last
    dynamic_cast<TEdit*>(sample->FindComponent("OwnerEdit"))->SetText(name);
    messages.clear();
    sample->OpenTable("Suppliers");
    EXPECT_EQ(TAppWindows::Instance().Forms().size(), windows + (name == "Secret")) << name;
    EXPECT_EQ(LastMessage().find("Die Tabelle Suppliers kann nicht") == 0, name != "Secret");
  }
}

// A dictionary guarded by an owner name of its own opens once the name is given (a wrong one is
// asked for again), and the name then opens the tables guarded by it.
TEST_F(DataWindows, OwnerNamesAreAskedForWhereTheyAreNeeded) {
  const std::string vbutil = std::filesystem::path(VADER_EXECUTABLE).parent_path() / "vbutil";
  for (const char* file : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "SUPPLIER.BTR"}) {
    const std::string path = dir.File("sample/") + file;
    if (std::string(file).find(".DDF") != std::string::npos) {
      ASSERT_EQ(std::system((vbutil + " owner clear " + path + " --owner ..RV....").c_str()), 0);
    }
    ASSERT_EQ(std::system((vbutil + " owner set " + path + " Secret").c_str()), 0);
  }
  std::vector<std::string> answers = {"Wrong", "Secret"}, asked;
  Prompts().text = [&](const std::string&, const std::string& label) {
    asked.push_back(label);
    const std::string answer = answers.empty() ? "" : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return answer;
  };
  TDatabaseForm* sample = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(sample, nullptr) << LastMessage();
  EXPECT_EQ(sample->Tables().size(), 6u);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], "The files of " + dir.File("sample") + " are protected. Their owner name:");
  EXPECT_EQ(sample->OwnerName(), "Secret");
  sample->OpenTable("Suppliers");
  EXPECT_EQ(TAppWindows::Instance().OfKind<TDataForm>().size(), 1u) << LastMessage();
  EXPECT_EQ(asked.size(), 2u);
  // Without the name a table asks for it; no answer opens nothing.
  dynamic_cast<TEdit*>(sample->FindComponent("OwnerEdit"))->SetText("");
  messages.clear();
  sample->OpenTable("Customers");
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked.back(), "The files of Customers are protected. Their owner name:");
  EXPECT_EQ(LastMessage().find("Cannot open the table Customers."), 0u) << LastMessage();
  Prompts().text = nullptr;
}

// Files copied from DOS or Windows in another case than the dictionary names them are found.
TEST_F(DataWindows, FilesAreFoundWhateverTheCaseOfTheirNames) {
  namespace fs = std::filesystem;
  for (const char* file : {"FILE.DDF", "FIELD.DDF", "CUSTOMER.BTR"}) {
    std::string lower = file;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::rename(dir.File("sample/") + file, dir.File("sample/") + lower);
  }
  TDataForm& form = Data("Customers");
  EXPECT_GT(Rows(form.Table()), 0) << LastMessage();
}

// A database on a read-only folder, or a file without write permission, is browsed without
// writing anything: editing is not offered and the windows say "(read-only)".
TEST_F(DataWindows, ReadOnlyDatabasesAndTablesAreBrowsedWithoutWriting) {
  namespace fs = std::filesystem;
  const auto beside = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.File("sample")))
      names.insert(entry.path().filename().string());
    return names;
  };
  const std::set<std::string> files = beside();
  fs::permissions(dir.File("sample/SUPPLIER.BTR"), fs::perms::owner_write | fs::perms::group_write |
                                                       fs::perms::others_write,
                  fs::perm_options::remove);
  TDatabaseForm* sample = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(sample, nullptr) << LastMessage();
  EXPECT_FALSE(sample->ReadOnly());
  EXPECT_TRUE(sample->TableReadOnly("Suppliers"));
  EXPECT_FALSE(sample->TableReadOnly("Customers"));
  TAppWindows::Instance().CloseAll();

  fs::permissions(dir.File("sample"), fs::perms::owner_write | fs::perms::group_write |
                                          fs::perms::others_write,
                  fs::perm_options::remove);
  sample = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(sample, nullptr) << LastMessage();
  EXPECT_TRUE(sample->ReadOnly());
  EXPECT_NE(static_cast<TLabel*>(sample->FindComponent("PathLabel"))->Caption().find("(read-only)"),
            std::string::npos);
  TDataForm& form = Data("Customers");
  EXPECT_GT(Rows(form.Table()), 0);
  EXPECT_FALSE(static_cast<TControl*>(form.FindComponent("InsertButton"))->Visible());
  EXPECT_NE(static_cast<TLabel*>(form.FindComponent("PositionLabel"))->Caption().find("(read-only)"),
            std::string::npos);
  EXPECT_THROW(form.Table().Insert(), std::exception);
  TAppWindows::Instance().CloseAll();
  EXPECT_EQ(beside(), files);
  fs::permissions(dir.File("sample"), fs::perms::owner_write, fs::perm_options::add);
}

// The import asks the owner names of the protected files in one dialog, and the utility
// protects each copy with the name given for it.
TEST_F(DataWindows, ImportAsksTheOwnerNamesOfProtectedFiles) {
  namespace fs = std::filesystem;
  using legacy::testing::FileRow;
  using legacy::testing::Pre6File;
  fs::create_symlink(fs::path(VADER_EXECUTABLE).parent_path() / "vbutil", dir.File("vbutil"));
  TempDir src;
  for (const char* file : {"TEST.DAT", "TESTE.DAT"}) {
    std::string bytes = TempDir::Read(std::string(VADER_LEGACY_DATA) + "/" + file);
    legacy::testing::PutWord(bytes, 0x06, 0xFD00);  // owner-protected
    src.Write(file, bytes);
  }
  src.Write("FILE.DDF", Pre6File(87, {FileRow(1, "X$File", "file.ddf", 0x10).substr(0, 87),
                                      FileRow(4, "Test", "test.dat", 0).substr(0, 87),
                                      FileRow(5, "Teste", "teste.dat", 0).substr(0, 87)}));
  const std::string copy = dir.File("copy");
  std::vector<std::string> directories = {src.Path(), copy};
  Prompts().directory = [&](const std::string&) {
    const std::string next = directories.front();
    directories.erase(directories.begin());
    return next;
  };
  std::vector<std::string> asked;
  Prompts().ownerNames = [&](TOwnerNames& owners) {
    asked = owners.files;
    owners.names = {"", "Two"};
    owners.forAll = "One";
    return true;
  };
  TDatabaseForm::ImportDatabase();
  EXPECT_EQ(asked, (std::vector<std::string>{"TEST.DAT", "TESTE.DAT"}));
  const std::string vbutil = dir.File("vbutil") + " save ";
  const auto readable = [&](const std::string& file, const std::string& owner) {
    const std::string command = vbutil + copy + "/" + file + " " + dir.File("out.seq") +
                                " --quiet --owner " + owner + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
  };
  EXPECT_TRUE(readable("test.dat", "One"));
  EXPECT_TRUE(readable("teste.dat", "Two"));
  EXPECT_FALSE(readable("teste.dat", "One"));
  Prompts().directory = nullptr;
  Prompts().ownerNames = nullptr;
  messages.clear();  // the copy's dictionary, without keys, cannot be opened
}

TEST_F(DataWindows, IndexSearchRangeAndFilter) {
  TDataForm& form = Data("Customers");
  loop.Show(&form);
  QApplication::processEvents();
  const int all = Rows(form.Table());
  EXPECT_EQ(form.PositionText(), "Record 1 of " + std::to_string(all));
  // The grid reads only the rows near the last one, and numbers them back from it.
  form.Table().Last();
  QApplication::processEvents();
  EXPECT_EQ(form.PositionText(), "Record " + std::to_string(all) + " of " + std::to_string(all));
  form.Table().Prior();
  EXPECT_EQ(form.PositionText(), "Record " + std::to_string(all - 1) + " of " + std::to_string(all));
  form.Table().First();
  EXPECT_EQ(form.PositionText(), "Record 1 of " + std::to_string(all));

  form.ChooseIndex(1);  // by name, ignoring case
  EXPECT_EQ(form.Table().IndexFields(), std::vector<std::string>{"Name"});
  form.Search("c");
  EXPECT_TRUE(messages.empty()) << LastMessage();
  EXPECT_GE(Upper(form, "Name"), std::string("C"));
  form.Table().Prior();
  EXPECT_LT(Upper(form, "Name"), std::string("C"));
  form.Search("zzzz");  // past the end: the last row
  form.Table().Next();
  EXPECT_TRUE(form.Table().Eof());

  form.ApplyRange("B", "D");
  const int inRange = Rows(form.Table());
  EXPECT_GT(inRange, 0);
  EXPECT_LT(inRange, all);
  for (form.Table().First(); !form.Table().Eof(); form.Table().Next()) {
    EXPECT_GE(Upper(form, "Name"), std::string("B"));
    EXPECT_LE(Upper(form, "Name").substr(0, 1), std::string("D"));
  }
  form.Search("C");  // a search keeps the range
  EXPECT_EQ(Rows(form.Table()), inRange);
  form.ClearRange();
  EXPECT_EQ(Rows(form.Table()), all);

  EXPECT_FALSE(form.ApplyFilter("Country = 'France' and (", true));
  EXPECT_NE(form.FilterProblem().find("position"), std::string::npos) << form.FilterProblem();
  EXPECT_NE(form.FilterProblem().find(">>"), std::string::npos);
  EXPECT_FALSE(form.Table().Filtered());
  EXPECT_TRUE(form.ApplyFilter("Country = 'France'", true));
  EXPECT_TRUE(form.FilterProblem().empty());
  const int french = Rows(form.Table());
  EXPECT_GT(french, 0);
  EXPECT_LT(french, all);
  for (form.Table().First(); !form.Table().Eof(); form.Table().Next())
    EXPECT_EQ(Field(form, "Country"), "France");
  EXPECT_TRUE(form.ApplyFilter("Country = 'France'", false));
  EXPECT_EQ(Rows(form.Table()), all);
}

TEST_F(DataWindows, EditingPostsAndAnEngineErrorKeepsTheInput) {
  TDataForm& form = Data("Products");
  TDataSet& table = form.Table();
  table.Edit();
  table.FieldByName("Name")->SetAsString("Renamed product");
  EXPECT_TRUE(form.PostRecord());
  table.Refresh();
  EXPECT_EQ(Field(form, "Name"), "Renamed product");

  const std::string taken = Field(form, "Code");
  const int before = table.RecordCount();
  form.InsertRecord();
  table.FieldByName("Code")->SetAsString(taken);
  table.FieldByName("Name")->SetAsString("Duplicate");
  EXPECT_FALSE(form.PostRecord());
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().find("DBIERR_"), std::string::npos) << messages.back();
  EXPECT_EQ(messages.back().find("Status"), std::string::npos) << messages.back();
  EXPECT_EQ(table.State(), TDataSetState::dsInsert);  // still the person's record
  EXPECT_EQ(Field(form, "Name"), "Duplicate");
  table.FieldByName("Code")->SetAsString("P-NEW-1");
  EXPECT_TRUE(form.PostRecord());
  EXPECT_EQ(table.RecordCount(), before + 1);

  SetConfirmDeletes(true);
  answer = mrNo;
  messages.clear();
  EXPECT_FALSE(form.DeleteRecord());
  EXPECT_EQ(messages.size(), 1u);  // asked
  EXPECT_EQ(table.RecordCount(), before + 1);
  answer = mrYes;
  EXPECT_TRUE(form.DeleteRecord());
  EXPECT_EQ(table.RecordCount(), before);
  SetConfirmDeletes(false);
  messages.clear();
  EXPECT_TRUE(form.DeleteRecord());  // no prompt
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(table.RecordCount(), before - 1);
}

// The grid's cells as the person sees them, and whether each fits its column.
struct Column {
  QTableView* view;
  int column;
  QString Cell(int row) const {
    return view->model()->data(view->model()->index(row, column), Qt::DisplayRole).toString();
  }
  bool Fits(int row) const {
    return view->fontMetrics().horizontalAdvance(Cell(row)) < view->columnWidth(column);
  }
};

Column GridColumn(ui::TQtEventLoop& loop, TForm& form, const QString& title) {
  auto* view = loop.WindowOf(&form)->findChild<QTableView*>("Grid");
  for (int column = 0; view && column < view->model()->columnCount(); ++column)
    if (view->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() == title)
      return {view, column};
  ADD_FAILURE() << "no column " << title.toStdString();
  return {view, 0};
}

TEST_F(DataWindows, TheGridShowsNumbersWithTheirDigitsAndDecimalsInColumnsWideEnough) {
  TDataForm& lines = Data("OrderLines");
  const Column discount = GridColumn(loop, lines, "Discount");
  const Column price = GridColumn(loop, lines, "UnitPrice");
  const QRegularExpression twoDecimals("^-?[0-9]+\\.[0-9]{2}$");
  for (int row = 0; row < 40; ++row) {
    // A 4-byte float: the digits it holds (0.15), reading back to the same stored value.
    const QString shown = discount.Cell(row);
    EXPECT_LE(shown.size(), 4) << shown.toStdString();
    EXPECT_EQ(shown.toFloat(), static_cast<float>(lines.Table().FieldByName("Discount")->AsFloat()))
        << shown.toStdString();
    EXPECT_TRUE(discount.Fits(row)) << shown.toStdString();
    EXPECT_TRUE(twoDecimals.match(price.Cell(row)).hasMatch()) << price.Cell(row).toStdString();
    EXPECT_TRUE(price.Fits(row)) << price.Cell(row).toStdString();
    lines.Table().Next();
  }
  TDataForm& orders = Data("Orders");
  const Column total = GridColumn(loop, orders, "Total");
  const Column date = GridColumn(loop, orders, "OrderDate");
  for (int row = 0; row < 40; ++row) {
    EXPECT_TRUE(QRegularExpression("^-?[0-9]+\\.[0-9]{2,4}$").match(total.Cell(row)).hasMatch())
        << total.Cell(row).toStdString();
    EXPECT_TRUE(total.Fits(row) && date.Fits(row)) << date.Cell(row).toStdString();
  }
}

TEST_F(DataWindows, TheGridShowsLongTextsWholeAndLogicalValuesAsCheckBoxes) {
  // A name as long as its field holds: the column widens for it as it is posted, and a
  // window opened later is as wide from the start.
  const std::string longName = "Consolidated International Trading 00001";
  TDataForm& customers = Data("Customers");
  customers.Table().Edit();
  customers.Table().FieldByName("Name")->SetAsString(longName);
  ASSERT_TRUE(customers.PostRecord());
  const Column name = GridColumn(loop, customers, "Name");
  ASSERT_EQ(name.Cell(0).toStdString(), longName);
  EXPECT_TRUE(name.Fits(0));
  TDataForm& later = Data("Customers");
  EXPECT_TRUE(GridColumn(loop, later, "Name").Fits(0));

  TDataForm& orders = Data("Orders");
  const Column paid = GridColumn(loop, orders, "Paid");
  QAbstractItemModel* model = paid.view->model();
  const QModelIndex first = model->index(0, paid.column);
  const bool stored = orders.Table().FieldByName("Paid")->AsBoolean();
  EXPECT_EQ(model->data(first, Qt::CheckStateRole), stored ? Qt::Checked : Qt::Unchecked);
  ASSERT_TRUE(model->setData(first, stored ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole));
  ASSERT_TRUE(orders.PostRecord());
  EXPECT_EQ(orders.Table().FieldByName("Paid")->AsBoolean(), !stored);
}

TEST_F(DataWindows, AResizedWindowGrowsItsGridAndKeepsItsControlsAtTheirEdges) {
  TDataForm& form = Data("Customers");
  ui::TFormWindow* window = loop.WindowOf(&form);
  QWidget* client = window->centralWidget();
  const auto widget = [&](const char* name) { return window->findChild<QWidget*>(name); };
  const QRect grid = widget("Grid")->geometry(), next = widget("NextButton")->geometry();
  const auto fromRight = [&](const char* name) {
    return client->width() - widget(name)->geometry().right();
  };
  const auto fromBottom = [&](const char* name) {
    return client->height() - widget(name)->geometry().bottom();
  };
  const int checkFromRight = fromRight("FilterCheck");
  const int stopFromRight = fromRight("CancelExportButton");
  const int positionFromBottom = fromBottom("PositionLabel");
  const QSize before = client->size();
  window->resize(window->size() + QSize(500, 300));
  QApplication::processEvents();
  ASSERT_EQ(client->size(), before + QSize(500, 300));
  EXPECT_EQ(widget("Grid")->geometry(), grid.adjusted(0, 0, 500, 300));
  EXPECT_EQ(widget("NextButton")->geometry(), next);
  EXPECT_EQ(fromRight("FilterCheck"), checkFromRight);
  EXPECT_EQ(fromRight("CancelExportButton"), stopFromRight);
  EXPECT_EQ(fromBottom("PositionLabel"), positionFromBottom);
}

TEST_F(DataWindows, WindowSizesSplittersAndColumnWidthsSurviveARestart) {
  TDataForm& form = Data("Customers");
  ui::TFormWindow* window = loop.WindowOf(&form);
  window->resize(640, 420);
  QApplication::processEvents();
  const QSize client = window->centralWidget()->size();
  const Column name = GridColumn(loop, form, "Name");
  name.view->horizontalHeader()->resizeSection(name.column, 333);  // as the person drags it
  const auto tableList = [&] {
    TDatabaseForm* database = TAppWindows::Instance().OfKind<TDatabaseForm>().back();
    return loop.WindowOf(database)->findChild<QTreeWidget*>("TableList");
  };
  tableList()->header()->resizeSection(0, 275);
  TSqlForm* sql = TAppWindows::Instance().OfKind<TDatabaseForm>().back()->OpenSqlWindow();
  auto* splitter = dynamic_cast<TSplitter*>(sql->FindComponent("Splitter"));
  ASSERT_NE(splitter, nullptr);
  splitter->DragBy(60);
  const int position = splitter->Position();
  // Everything closes, as the application does when it ends; what the next windows find
  // comes from the settings file alone.
  TAppWindows::Instance().CloseAll();
  const std::string settings = platform::SettingsFilePath("Vader.INI");
  EXPECT_EQ(ReadIniString(settings, "Columns Customers", "Name"), "333");

  TDataForm& again = Data("Customers");
  EXPECT_EQ(loop.WindowOf(&again)->centralWidget()->size(), client);
  const Column nameAgain = GridColumn(loop, again, "Name");
  EXPECT_EQ(nameAgain.view->columnWidth(nameAgain.column), 333);
  EXPECT_EQ(tableList()->columnWidth(0), 275);
  const Column otherTable = GridColumn(loop, Data("Products"), "Name");
  EXPECT_NE(otherTable.view->columnWidth(otherTable.column), 333);
  sql = TAppWindows::Instance().OfKind<TDatabaseForm>().back()->OpenSqlWindow();
  EXPECT_EQ(dynamic_cast<TSplitter*>(sql->FindComponent("Splitter"))->Position(), position);
}

TEST_F(DataWindows, TheDeleteKeyAndTheMenuShortcutsWorkOnTheGrid) {
  TDataForm& form = Data("Products");
  TDataSet& table = form.Table();
  ui::TFormWindow* window = loop.WindowOf(&form);
  for (const char* item : {"InsertItem", "DeleteItem", "PostItem", "CancelItem", "RefreshItem",
                           "CloseItem", "GoToRecordItem", "FindItem", "FindNextItem"})
    EXPECT_FALSE(window->findChild<QAction*>(item)->shortcut().isEmpty()) << item;
  EXPECT_EQ(window->findChild<QAction*>("FindItem")->shortcut(), QKeySequence("Ctrl+F"));

  auto* grid = window->findChild<QTableView*>("Grid");
  const int before = Rows(table);
  const std::string first = Field(form, "Code");
  SetConfirmDeletes(true);
  answer = mrNo;
  messages.clear();
  QTest::keyClick(grid, Qt::Key_Delete);
  ASSERT_EQ(messages.size(), 1u);  // asked, and kept
  EXPECT_EQ(messages[0], "Delete the current record?");
  EXPECT_EQ(Rows(table), before);
  answer = mrYes;
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_EQ(Rows(table), before - 1);
  EXPECT_NE(Field(form, "Code"), first);
}

TEST_F(DataWindows, GoToRecordAndFindTextInAnyColumn) {
  TDataForm& form = Data("Products");
  TDataSet& table = form.Table();
  const int count = Rows(table);
  std::vector<std::string> codes, names;
  table.DisableControls();
  for (table.First(); !table.Eof(); table.Next()) {
    codes.push_back(Field(form, "Code"));
    names.push_back(Field(form, "Name"));
  }
  table.First();
  table.EnableControls();

  ASSERT_GE(count, 5);
  EXPECT_TRUE(form.GoToRecord(5));
  EXPECT_EQ(Field(form, "Code"), codes[4]);
  EXPECT_EQ(GridColumn(loop, form, "Code").view->currentIndex().row(), 4);
  messages.clear();
  EXPECT_FALSE(form.GoToRecord(count + 1));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(std::to_string(count + 1)), std::string::npos) << messages[0];
  EXPECT_EQ(Field(form, "Code"), codes[4]);  // stays

  // A word of a later record's name, typed in another case: found after the current record,
  // then Find next goes on to the next record holding it, round from the first.
  const std::string word = names[count - 1].substr(0, names[count - 1].find(' '));
  std::string typed = word;
  for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<int> holding;
  for (int i = 0; i < count; ++i)
    if (names[static_cast<std::size_t>(i)].find(word) != std::string::npos) holding.push_back(i);
  ASSERT_TRUE(form.GoToRecord(holding.back() + 1));
  ASSERT_TRUE(form.FindText(typed));
  EXPECT_EQ(Field(form, "Code"), codes[static_cast<std::size_t>(holding.front())]);
  messages.clear();
  EXPECT_FALSE(form.FindText("no product is named like this"));
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(Field(form, "Code"), codes[static_cast<std::size_t>(holding.front())]);  // stays
}

TEST_F(DataWindows, TypedTextGoesToTheChosenCodePageOrIsRefusedAndExportsInUtf8) {
  const std::string ansi = platform::AnsiCodePage();
  platform::SetAnsiCodePage("UTF-8");  // as in a UTF-8 locale
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  auto* codePages = static_cast<TComboBox*>(database->FindComponent("CodePageCombo"));
  const auto& items = codePages->Items();
  codePages->Chosen(
      static_cast<int>(std::find(items.begin(), items.end(), "866 Cyrillic") - items.begin()));
  EXPECT_EQ(ChosenCodePage(dir.File("sample")), "866");
  database->OpenTable("Customers");
  TDataForm& form = *TAppWindows::Instance().OfKind<TDataForm>().back();
  loop.Show(&form);
  QAbstractItemModel* grid = loop.WindowOf(&form)->findChild<QTableView*>("Grid")->model();
  const int name = form.Table().FieldByName("Name")->Index();
  ASSERT_TRUE(grid->setData(grid->index(0, name), QString::fromUtf8("\u0416\u0443\u043A")));
  EXPECT_EQ(grid->data(grid->index(0, name)).toString().toStdString(), "\u0416\u0443\u043A");
  ASSERT_TRUE(form.PostRecord());
  messages.clear();
  EXPECT_FALSE(grid->setData(grid->index(0, name), QString::fromUtf8("\u0416\u0443\u043A \u4E2D")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("\"\u4E2D\" (U+4E2D)"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("Name"), std::string::npos) << messages[0];
  form.CancelRecord();
  EXPECT_EQ(Field(form, "Name"), "\u0416\u0443\u043A");  // nothing was stored

  // Another code page reopens the database: not while something typed waits to be posted.
  form.Table().Edit();
  form.Table().FieldByName("City")->SetAsString("typed");
  messages.clear();
  codePages->Chosen(static_cast<int>(std::find(items.begin(), items.end(), "852 Central European") -
                                     items.begin()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(ChosenCodePage(dir.File("sample")), "866");
  EXPECT_EQ(items[static_cast<std::size_t>(codePages->ItemIndex())], "866 Cyrillic");
  EXPECT_EQ(Field(form, "City"), "typed");
  form.Table().Cancel();

  form.Table().First();
  ASSERT_TRUE(form.ExportCsv(dir.File("utf8.csv")));
  ASSERT_TRUE(form.ExportCsv(dir.File("oem.csv"), true));
  EXPECT_NE(TempDir::Read(dir.File("utf8.csv")).find("\u0416\u0443\u043A"), std::string::npos);
  EXPECT_NE(TempDir::Read(dir.File("oem.csv")).find("\x86\xE3\xAA"), std::string::npos);
  platform::SetAnsiCodePage(ansi);
}

TEST_F(DataWindows, ARowTypedIntoIsTakenBackWholeUndoneAndClosingAsks) {
  TDataForm& form = Data("Products");
  TDataSet& table = form.Table();
  QAbstractItemModel* grid = loop.WindowOf(&form)->findChild<QTableView*>("Grid")->model();
  int name = -1, code = -1;
  for (int column = 0; column < grid->columnCount(); ++column) {
    const QString title = grid->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    if (title == "Name") name = column;
    if (title == "Code") code = column;
  }
  ASSERT_GE(name, 0);
  ASSERT_GE(code, 0);
  const auto stored = [&] {
    table.Refresh();
    return Field(form, "Name") + "|" + Field(form, "Code");
  };
  const std::string original = stored();

  // Two cells typed (as Tab would leave them), then Cancel: the row and the file as they were.
  ASSERT_TRUE(grid->setData(grid->index(0, name), "Typed name", Qt::EditRole));
  ASSERT_TRUE(grid->setData(grid->index(0, code), "P-TYPED", Qt::EditRole));
  EXPECT_EQ(table.State(), TDataSetState::dsEdit);
  form.CancelRecord();
  EXPECT_EQ(grid->data(grid->index(0, name), Qt::DisplayRole).toString().toStdString(),
            Field(form, "Name"));
  EXPECT_EQ(stored(), original);

  // Leaving the row posts it; Undo last change puts the old values back, once.
  ASSERT_TRUE(grid->setData(grid->index(0, name), "Renamed", Qt::EditRole));
  table.Next();
  table.First();
  EXPECT_EQ(Field(form, "Name"), "Renamed");
  EXPECT_TRUE(form.UndoLastChange());
  EXPECT_EQ(stored(), original);
  EXPECT_FALSE(form.UndoLastChange());
  EXPECT_NE(LastMessage().find("no posted change"), std::string::npos) << LastMessage();

  // A record changed again after the post is not undone.
  table.Edit();
  table.FieldByName("Name")->SetAsString("First change");
  ASSERT_TRUE(form.PostRecord());
  {
    TBrowseTable other(nullptr);  // another program writes the record
    other.SetDatabaseName(form.DatabaseForm()->DatabaseName());
    other.SetTableName(form.DatabaseForm()->TableNameFor("Products"));
    other.Open();
    other.Edit();
    other.FieldByName("Name")->SetAsString("Second change");
    other.Post();
  }
  EXPECT_FALSE(form.UndoLastChange());
  EXPECT_NE(LastMessage().find("changed since"), std::string::npos) << LastMessage();
  EXPECT_EQ(Field(form, "Name"), "Second change");

  // Closing with an unposted edit asks: Cancel keeps the window and the edit, Discard drops
  // it, Post writes it.
  table.Edit();
  table.FieldByName("Name")->SetAsString("Kept while asked");
  messages.clear();
  answer = mrCancel;
  EXPECT_FALSE(TAppWindows::Instance().CanCloseAll());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("is not posted"), std::string::npos) << messages[0];
  EXPECT_EQ(Field(form, "Name"), "Kept while asked");
  answer = mrNo;
  EXPECT_TRUE(form.CanClose());
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Field(form, "Name"), "Second change");
  table.Edit();
  table.FieldByName("Name")->SetAsString("Posted on closing");
  answer = mrYes;
  EXPECT_TRUE(form.DatabaseForm()->CanClose());
  EXPECT_EQ(stored().substr(0, 17), "Posted on closing");
  messages.clear();
  EXPECT_TRUE(form.CanClose());  // nothing left to ask about
  EXPECT_TRUE(messages.empty());
}

TEST_F(DataWindows, KeysAndTheThumbReachTheEndOfABigTableAndThePositionIsANumber) {
  constexpr int kCustomers = 100000;
  tools::GenerateSampleDatabase(
      dir.File("big"),
      {.customers = kCustomers, .suppliers = 1, .products = 1, .employees = 1, .orders = 1});
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("big"));
  ASSERT_NE(database, nullptr);
  database->OpenTable("Customers");
  TDataForm& form = *TAppWindows::Instance().OfKind<TDataForm>().back();
  auto* grid = loop.WindowOf(&form)->findChild<QTableView*>("Grid");
  ASSERT_NE(grid, nullptr);
  const std::string last = "Record 100000 of 100000";
  EXPECT_EQ(form.PositionText(), "Record 1 of 100000");

  QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(form.PositionText(), last);
  QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(form.PositionText(), "Record 1 of 100000");
  QScrollBar* bar = grid->verticalScrollBar();
  bar->setSliderDown(true);
  bar->setSliderPosition(bar->maximum());
  bar->setSliderDown(false);
  EXPECT_EQ(form.PositionText(), last);
  QTest::keyClick(grid, Qt::Key_Up);
  EXPECT_EQ(form.PositionText(), "Record 99999 of 100000");
  unsigned number = 0;
  // Let go in the middle, the thumb goes to the middle of the table.
  bar->setSliderDown(true);
  bar->setSliderPosition((bar->minimum() + bar->maximum()) / 2);
  bar->setSliderDown(false);
  const std::string dragged = form.PositionText();
  ASSERT_EQ(std::sscanf(dragged.c_str(), "Record about %u of 100000", &number), 1) << dragged;
  EXPECT_NEAR(number, kCustomers / 2, kCustomers / 50) << dragged;

  // A search lands in the middle, far from both ends: the position is still a number.
  form.Search(std::to_string(kCustomers / 2));
  const std::string middle = form.PositionText();
  ASSERT_EQ(std::sscanf(middle.c_str(), "Record about %u of 100000", &number), 1) << middle;
  EXPECT_NEAR(number, kCustomers / 2, kCustomers / 100) << middle;

  // So it is with a range, and with a filter.
  form.ApplyRange("20001", "60000");
  form.Search(std::to_string(kCustomers / 2));
  const std::string inRange = form.PositionText();
  ASSERT_EQ(std::sscanf(inRange.c_str(), "Record about %u of 40000", &number), 1) << inRange;
  EXPECT_NEAR(number, 30000, kCustomers / 100) << inRange;
  form.ClearRange();
  ASSERT_TRUE(form.ApplyFilter("Id > 50000", true)) << form.FilterProblem();
  form.Search(std::to_string(kCustomers * 3 / 4));
  const std::string filtered = form.PositionText();
  ASSERT_EQ(std::sscanf(filtered.c_str(), "Record about %u of 50000", &number), 1) << filtered;
  EXPECT_NEAR(number, 25000, kCustomers / 50) << filtered;
}

TEST_F(DataWindows, AFilterTakesTheFieldLabelsAndTellsItsProblemsInTheLanguage) {
  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  TDataForm& form = Data("OrderLines");
  ASSERT_EQ(form.Table().FieldByName("Quantity")->DisplayLabel(), "Menge");
  const TStrings indexes = static_cast<TComboBox*>(form.FindComponent("IndexCombo"))->Items();
  EXPECT_NE(std::find(indexes.begin(), indexes.end(), " 1 - Artikel"), indexes.end())
      << (indexes.empty() ? "" : indexes.back());
  EXPECT_TRUE(form.ApplyFilter("Quantity > 5", true)) << form.FilterProblem();
  const int byName = form.RecordCount();
  EXPECT_TRUE(form.ApplyFilter("menge > 5", true)) << form.FilterProblem();
  EXPECT_EQ(form.RecordCount(), byName);
  EXPECT_GT(byName, 0);
  EXPECT_FALSE(form.ApplyFilter("Menge > 5 and (Menge < 9", true));
  EXPECT_EQ(form.FilterProblem().find("Fehler im Filterausdruck an Position 25: ')' erwartet"), 0u)
      << form.FilterProblem();
  EXPECT_FALSE(form.ApplyFilter("Gewicht > 5", true));
  EXPECT_NE(form.FilterProblem().find("Feld 'Gewicht' nicht gefunden"), std::string::npos)
      << form.FilterProblem();
  SetLanguageFile("");
}

// Clicks Stop in the window of long work as soon as it shows; remembers its title.
class StopWhenShown {
 public:
  StopWhenShown() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* stop = window->findChild<QPushButton*>("StopButton");
        if (window->objectName() != "LongWorkDialog" || !window->isVisible() || !stop) continue;
        title_ = window->windowTitle().toStdString();
        stop->click();
        timer_.stop();
      }
    });
    timer_.start(0);
    TLongWork::SetShowDelay(std::chrono::milliseconds(0));
  }
  ~StopWhenShown() { TLongWork::SetShowDelay(std::chrono::milliseconds(500)); }
  const std::string& Title() const { return title_; }

 private:
  QTimer timer_;
  std::string title_;
};

TEST_F(DataWindows, ALongFilterAndALongStatementAreStoppedLeavingTheDataAsItWas) {
  TDataForm& form = Data("OrderLines");
  const int all = form.RecordCount();
  {
    StopWhenShown stopper;
    EXPECT_FALSE(form.ApplyFilter("Quantity < 0", true));  // no row passes: every one is read
    EXPECT_EQ(stopper.Title(), "Filtering OrderLines");
  }
  EXPECT_NE(form.FilterProblem().find("The filter was stopped"), std::string::npos)
      << form.FilterProblem();
  EXPECT_FALSE(form.Table().Filtered());
  EXPECT_FALSE(static_cast<TCheckBox*>(form.FindComponent("FilterCheck"))->Checked());
  EXPECT_EQ(form.RecordCount(), all);

  TSqlForm& sql = *form.DatabaseForm()->OpenSqlWindow();
  const auto total = [&] {
    sql.SetStatement("SELECT SUM(Quantity) FROM OrderLines");
    EXPECT_TRUE(sql.Run()) << sql.ErrorText();
    return sql.Query().Fields(0)->AsString();
  };
  const std::string before = total();
  {
    StopWhenShown stopper;
    sql.SetStatement("UPDATE OrderLines SET Quantity = Quantity + 1");
    EXPECT_FALSE(sql.Run());
    EXPECT_EQ(stopper.Title(), "Running the statement");
  }
  EXPECT_EQ(LastMessage(), "The statement was stopped. Nothing it changed was kept.");
  EXPECT_EQ(total(), before);
}

// Another program writing a file: it holds the file's write lock until it is ended.
class OtherWriter {
 public:
  explicit OtherWriter(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      sqlite3* db = nullptr;
      const bool held =
          sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
          sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
      const char answer = held ? '1' : '0';
      if (write(ready[1], &answer, 1) == 1) pause();  // until it is ended
      _exit(0);
    }
    close(ready[1]);
    char answer = 0;
    holds_ = pid_ > 0 && read(ready[0], &answer, 1) == 1 && answer == '1';
    close(ready[0]);
  }
  ~OtherWriter() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool Holds() const { return holds_; }

 private:
  pid_t pid_ = -1;
  bool holds_ = false;
};

TEST_F(DataWindows, AWaitForAFileAnotherProgramWritesShowsProgressAndIsStopped) {
  setenv("VADER_BTRV_WAIT_MS", "20000", 1);
  ShowLockWaits();
  TDataForm& form = Data("Products");
  TDataSet& table = form.Table();
  const std::string name = Field(form, "Name");
  table.Edit();
  table.FieldByName("Name")->SetAsString("Renamed while another program writes");
  {
    OtherWriter other(dir.File("sample/PRODUCT.BTR"));
    ASSERT_TRUE(other.Holds());
    StopWhenShown stopper;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(form.PostRecord());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(stopper.Title(), "Waiting for a record or file another program is using");
  }
  SetLockWaitWorkFactory(nullptr);
  unsetenv("VADER_BTRV_WAIT_MS");
  EXPECT_EQ(table.State(), TDataSetState::dsEdit);  // what was typed stays, to post again
  table.Cancel();
  table.Refresh();
  EXPECT_EQ(Field(form, "Name"), name);
}

TEST_F(DataWindows, DetailsFollowTheMasterAndExportHonoursTheFilter) {
  TDataForm& orders = Data("Orders");
  std::string masterField, detailField;
  ASSERT_EQ(orders.FindDetail(masterField, detailField), "OrderLines");
  EXPECT_EQ(detailField, "OrderId");
  TDataForm* lines = orders.OpenDetail("OrderLines", masterField, detailField);
  for (int step = 0; step < 3; ++step) {
    const std::string id = Field(orders, "Id");
    EXPECT_GT(Rows(lines->Table()), 0);
    for (lines->Table().First(); !lines->Table().Eof(); lines->Table().Next())
      EXPECT_EQ(Field(*lines, "OrderId"), id);
    orders.Table().Next();
  }
  orders.Table().First();  // a range of the detail's own, on the field after the link
  lines->ApplyRange("2", "3");
  std::vector<std::string> seen;  // orders 1 to 3 have one, three and three lines
  for (int step = 0; step < 3; ++step, orders.Table().Next())
    for (lines->Table().First(); !lines->Table().Eof(); lines->Table().Next())
      seen.push_back(Field(*lines, "OrderId") + "/" + Field(*lines, "LineNo"));
  EXPECT_EQ(seen, (std::vector<std::string>{"2/2", "2/3", "3/2", "3/3"})) << LastMessage();

  ASSERT_TRUE(orders.ApplyFilter("Paid = True", true));
  const int paid = Rows(orders.Table());
  const std::string csv = dir.File("orders.csv");
  ASSERT_TRUE(orders.ExportCsv(csv));
  std::ifstream in(csv);
  std::string header, line;
  std::getline(in, header);
  EXPECT_EQ(header.substr(0, 15), "Id,CustomerId,E");
  int count = 0;
  while (std::getline(in, line)) ++count;
  EXPECT_EQ(count, paid);
  EXPECT_EQ(CsvField("a,\"b\""), "\"a,\"\"b\"\"\"");

  // Stopped from the event loop while it runs: no half-written file stays.
  orders.ApplyFilter("", false);
  loop.Show(&orders);
  auto* stop = loop.WindowOf(&orders)->findChild<QWidget*>("CancelExportButton");
  EXPECT_TRUE(stop->isHidden());  // shown only while an export runs
  bool shownWhileExporting = false;
  QTimer::singleShot(0, [&] { shownWhileExporting = !stop->isHidden(), orders.CancelExport(); });
  EXPECT_FALSE(orders.ExportCsv(dir.File("stopped.csv")));
  EXPECT_TRUE(shownWhileExporting);
  EXPECT_FALSE(std::filesystem::exists(dir.File("stopped.csv")));
}

TEST_F(DataWindows, LanguageSwitchFollowsInPlaceKeepingPositionAndEdit) {
  TDataForm& form = Data("Orders");
  loop.Show(&form);
  QAbstractItemModel* grid = loop.WindowOf(&form)->findChild<QTableView*>("Grid")->model();
  const int paid = form.Table().FieldByName("Paid")->Index();
  const auto logicals = [&] {  // the logical values the grid shows
    std::set<std::string> seen;
    for (int row = 0; row < grid->rowCount(); ++row)
      seen.insert(grid->data(grid->index(row, paid)).toString().toStdString());
    return std::vector<std::string>(seen.begin(), seen.end());
  };
  EXPECT_EQ(logicals(), (std::vector<std::string>{"False", "True"}));
  form.Table().MoveBy(2);
  const std::string id = Field(form, "Id");
  form.Table().Edit();
  form.Table().FieldByName("Status")->SetAsString("typed");
  TAppWindows::Instance().OfKind<TDatabaseForm>().back()->ShowStructure("Orders");
  auto* indexes = dynamic_cast<TListView*>(
      TAppWindows::Instance().OfKind<TStructureForm>().back()->FindComponent("IndexList"));
  ASSERT_TRUE(indexes && !indexes->Rows().empty());
  EXPECT_EQ(indexes->Rows()[0][2], "Yes");  // Orders by Id is unique
  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  QApplication::processEvents();
  platform::DeliverPostedMessages();
  const QStringList shown = ui::DescribeWidgets(loop.WindowOf(&form));
  EXPECT_TRUE(shown.contains("label IndexLabel: Index:")) << shown.join("\n").toStdString();
  EXPECT_TRUE(shown.contains("button NextButton: Weiter")) << shown.join("\n").toStdString();
  EXPECT_EQ(form.Caption(), "Tabelle Orders");
  EXPECT_EQ(form.Table().FieldByName("CustomerId")->DisplayLabel(), "Kunde");
  EXPECT_EQ(logicals(), (std::vector<std::string>{"Falsch", "Wahr"}));
  EXPECT_EQ(indexes->Rows()[0][2], "Ja");
  EXPECT_EQ(Field(form, "Id"), id);
  EXPECT_EQ(form.Table().State(), TDataSetState::dsEdit);
  EXPECT_EQ(Field(form, "Status"), "typed");
  form.Table().Cancel();
  ASSERT_TRUE(grid->setData(grid->index(0, paid), "falsch"));  // typed in the language
  EXPECT_EQ(grid->data(grid->index(0, paid)).toString(), "Falsch");
}

TEST_F(DataWindows, FormViewEditsMemoAndPictureFieldsThroughTheRecord) {
  TDataForm& form = Data("Employees");
  form.ShowFormView();
  auto views = TAppWindows::Instance().OfKind<TRecordForm>();
  ASSERT_EQ(views.size(), 1u);
  TRecordForm& view = *views.front();
  EXPECT_NE(view.FindComponent("Field1Edit"), nullptr);  // LastName
  auto* photo = dynamic_cast<TImage*>(view.FindComponent("Picture"));
  ASSERT_NE(photo, nullptr) << "the photo field shows as a picture";
  const std::string bytes = "\x89PNG not really a picture";
  dir.Write("photo.bin", bytes);
  ASSERT_TRUE(view.LoadBlob(dir.File("photo.bin"))) << LastMessage();
  EXPECT_EQ(form.Table().State(), TDataSetState::dsEdit);
  EXPECT_TRUE(form.PostRecord());
  EXPECT_EQ(photo->Picture(), bytes);
  ASSERT_TRUE(view.SaveBlob(dir.File("saved.bin")));
  std::ifstream saved(dir.File("saved.bin"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), bytes);
  form.Table().Next();  // the view follows the window's row
  EXPECT_NE(photo->Picture(), bytes);
  EXPECT_FALSE(view.LoadBlob(dir.File("missing.bin")));
  EXPECT_NE(LastMessage().find("Cannot read"), std::string::npos);
  // A picture larger than the field is refused as it is loaded; the record stays as it was.
  const std::string shown = photo->Picture();
  std::string large(693, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 % 251);
  dir.Write("large.png", large);
  EXPECT_FALSE(view.LoadBlob(dir.File("large.png")));
  EXPECT_NE(LastMessage().find("is too large for the field"), std::string::npos) << LastMessage();
  EXPECT_EQ(form.Table().State(), TDataSetState::dsBrowse);
  EXPECT_EQ(photo->Picture(), shown);

  // An order's employee is chosen by name and stored as the employee's id.
  TDataForm& orders = Data("Orders");
  orders.ShowFormView();
  TRecordForm& order = *TAppWindows::Instance().OfKind<TRecordForm>().back();
  auto* employee = dynamic_cast<TComboBox*>(order.FindComponent("Field2Lookup"));
  ASSERT_NE(employee, nullptr);
  EXPECT_EQ(employee->Items().size(), 30u);
  EXPECT_EQ(employee->ItemIndex(), std::stoi(Field(orders, "EmployeeId")) - 1);
  employee->Chosen(3);
  EXPECT_EQ(Field(orders, "EmployeeId"), "4");
  ASSERT_TRUE(orders.PostRecord());
  orders.Table().Next();
  EXPECT_EQ(employee->ItemIndex(), std::stoi(Field(orders, "EmployeeId")) - 1);

  TDataForm& suppliers = Data("Suppliers");
  suppliers.ShowFormView();
  TRecordForm& notes = *TAppWindows::Instance().OfKind<TRecordForm>().back();
  auto* memo = dynamic_cast<TMemo*>(notes.FindComponent("MemoPane"));
  ASSERT_NE(memo, nullptr) << "the notes field shows in the memo pane";
  memo->TypedText("Line one\nLine two");
  notes.StoreMemo();
  EXPECT_TRUE(suppliers.PostRecord());
  suppliers.Table().Refresh();
  EXPECT_EQ(Field(suppliers, "Notes"), "Line one\nLine two");
}


// A form view's picker of the named field (a framework control) and its widget on screen.
std::pair<TDBDateTimePicker*, QDateTimeEdit*> PickerOf(TRecordForm& view, QWidget* window,
                                                        const char* field) {
  for (int i = 0; i < view.ComponentCount(); ++i)
    if (auto* picker = dynamic_cast<TDBDateTimePicker*>(view.Components(i)))
      if (picker->DataField() == field)
        return {picker, window->findChild<QDateTimeEdit*>(QString::fromStdString(picker->Name()))};
  return {nullptr, nullptr};
}

TEST_F(DataWindows, FormViewPicksDatesAndTimesAndKeepsNullsUntilPicked) {
  TDataForm& form = Data("Employees");
  form.ShowFormView();
  TRecordForm& view = *TAppWindows::Instance().OfKind<TRecordForm>().back();
  auto [birth, birthEdit] = PickerOf(view, loop.WindowOf(&view), "BirthDate");
  auto [start, startEdit] = PickerOf(view, loop.WindowOf(&view), "StartTime");
  ASSERT_TRUE(birth && start && birthEdit && startEdit);
  EXPECT_EQ(birthEdit->date().toString("yyyy-MM-dd").toStdString(), Field(form, "BirthDate"));
  birthEdit->setDate(QDate(1971, 2, 28));  // as picked on screen
  startEdit->setTime(QTime(7, 15));
  EXPECT_EQ(form.Table().State(), TDataSetState::dsEdit);
  ASSERT_TRUE(form.PostRecord());
  form.Table().Refresh();
  EXPECT_EQ(Field(form, "BirthDate") + " " + Field(form, "StartTime"), "1971-02-28 07:15:00");
  // A null shows blank and stays null; its calendar opens on today's month, picking nothing.
  form.Table().Edit();
  form.Table().FieldByName("BirthDate")->Clear();
  EXPECT_TRUE(!birth->Value() && birthEdit->text().trimmed().isEmpty());
  QCalendarWidget* calendar = birthEdit->calendarWidget();
  calendar->window()->show();
  EXPECT_EQ(calendar->yearShown(), QDate::currentDate().year());
  ASSERT_TRUE(form.PostRecord());
  form.Table().Next();
  EXPECT_EQ(birthEdit->date().toString("yyyy-MM-dd").toStdString(), Field(form, "BirthDate"));

  TDataForm& orders = Data("Orders");
  orders.ShowFormView();
  TRecordForm& order = *TAppWindows::Instance().OfKind<TRecordForm>().back();
  auto date = PickerOf(order, loop.WindowOf(&order), "OrderDate").first;
  auto time = PickerOf(order, loop.WindowOf(&order), "OrderTime").first;
  ASSERT_TRUE(date && time && date->Value());
  const std::string ordered = Field(orders, "OrderDate");
  ASSERT_TRUE(date->SetValue(*TextToDateTime("2024-12-31 18:00")));  // the day part only
  EXPECT_FALSE(orders.PostRecord());  // a key the engine keeps unmodifiable
  orders.CancelRecord();
  EXPECT_EQ(DateToText(*date->Value()), ordered);
  ASSERT_TRUE(time->SetValue(*TextToDateTime("13:45:10")));
  ASSERT_TRUE(orders.PostRecord());
  orders.Table().Refresh();
  EXPECT_EQ(Field(orders, "OrderDate") + " " + Field(orders, "OrderTime"), ordered + " 13:45:10");
}

TEST_F(DataWindows, SqlWindowRunsStatementsShowsErrorsAndFollowsALanguageSwitch) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm& form = *database->OpenSqlWindow();
  EXPECT_EQ(form.Caption(), "SQL on " + dir.File("sample"));

  form.SetStatement("SELECT Id, Name FROM Customers WHERE Id < 4 ORDER BY Id DESC");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(form.Query().FieldByName("Id")->AsInteger(), 3);
  EXPECT_EQ(SqlResult(form), "Record 1 of 3");

  // Ctrl+Return typed in the editor runs the statement (the editor does not take the keys).
  form.SetStatement("UPDATE Customers SET City = 'Ebbw Vale' WHERE Id IN (1, 2)");
  QWidget* window = loop.WindowOf(&form);
  auto* editor = window->findChild<QPlainTextEdit*>();
  ASSERT_NE(editor, nullptr);
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(SqlResult(form), "Rows affected: 2");
  EXPECT_EQ(form.Statement(), "UPDATE Customers SET City = 'Ebbw Vale' WHERE Id IN (1, 2)");

  form.SetStatement("SELEC Id FROM Customers");
  EXPECT_FALSE(form.Run());
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().find("The SQL statement contains invalid syntax"), std::string::npos)
      << messages.back();
  EXPECT_EQ(SqlResult(form), form.ErrorText());

  form.SetStatement("DELETE FROM Customers WHERE Id = 400");
  ASSERT_TRUE(form.Run());
  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  QApplication::processEvents();
  platform::DeliverPostedMessages();
  EXPECT_EQ(form.Caption(), "SQL auf " + dir.File("sample"));
  EXPECT_EQ(SqlResult(form), "Betroffene Zeilen: 1");
  const QStringList shown = ui::DescribeWidgets(loop.WindowOf(&form));
  const QString run = "button RunButton: A&usführen [Die Anweisung ausführen (Strg+Eingabe)]";
  EXPECT_TRUE(shown.contains(run)) << shown.join("\n").toStdString();
  EXPECT_EQ(form.Statement(), "DELETE FROM Customers WHERE Id = 400");  // kept as typed
  // The engine's status line is shown in the language too.
  form.SetStatement("SELEC Id FROM Customers");
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(messages.back().find("Btrieve-Status 202 - Die SQL-Anweisung"), 0u) << messages.back();
  // So is a value the column refuses.
  form.SetStatement("UPDATE Suppliers SET Rating = 70000 WHERE Id = 10");
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(messages.back().find("Btrieve-Status 807 - Der Wert liegt"), 0u) << messages.back();
}

TEST_F(DataWindows, TheSqlResultExportsAndAnImportListsTheLinesItRefused) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm& sql = *database->OpenSqlWindow();
  sql.SetStatement("SELECT Id, Name, Balance FROM Customers WHERE Id <= 3");
  ASSERT_TRUE(sql.Run());
  Prompts().exportChoice = [&](TExportChoice& choice) {
    EXPECT_EQ(choice.options.tableName, "Customers");  // the table the SELECT reads
    choice.path = dir.File("three");
    choice.options.header = false;
    choice.options.lineEnd = "\n";
    return true;
  };
  static_cast<TMenuItem*>(sql.FindComponent("ExportItem"))->Click();
  Prompts().exportChoice = nullptr;
  const std::string csv = TempDir::Read(dir.File("three.csv"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
  EXPECT_EQ(csv.rfind("1,", 0), 0u) << csv;
  EXPECT_NE(SqlResult(sql).find("Exported 3 records, text in UTF-8"), std::string::npos);

  TDataForm& form = Data("Customers");
  dir.Write("new.csv", "Id,Name,Since\n501,New,2024-01-31\n1,Taken,2024-01-31\n502,Bad,31.01.2024\n");
  TImportChoice choice;
  choice.path = dir.File("new.csv");
  messages.clear();
  EXPECT_TRUE(form.Import(choice));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Imported 1 of 3 records into Customers.", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("Line 3: a record with the same key exists"), std::string::npos);
  EXPECT_NE(messages[0].find("Line 4: "), std::string::npos) << messages[0];
  EXPECT_EQ(form.RecordCount(), 401);
}

TEST_F(DataWindows, SqlWindowRunsAScriptStatementByStatementUntilOneFails) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm& form = *database->OpenSqlWindow();
  EXPECT_EQ(form.RunText(), "");
  // Semicolons in literals and comments end nothing; the third statement fails, the first two
  // have run and the fourth has not.
  form.SetStatement("UPDATE Customers SET City = 'A;b' WHERE Id = 1;\n"
                    "-- the next one; two rows\n"
                    "UPDATE Customers SET City = 'Two' /* ; */ WHERE Id IN (2, 3);\n\n"
                    "  SELEC Id\n  FROM Customers;\n"
                    "UPDATE Customers SET City = 'Never' WHERE Id = 4;");
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(form.ErrorText().rfind("Statement 3 (line 5) failed:\n", 0), 0u) << form.ErrorText();
  EXPECT_NE(form.ErrorText().find("The SQL statement contains invalid syntax"), std::string::npos);
  EXPECT_EQ(form.RunText().rfind("2 statements\n", 0), 0u) << form.RunText();
  // A script that ends with rows shows them, and the time of the whole run.
  form.SetStatement("UPDATE Customers SET Country = Country WHERE Id = 1;\n"
                    "SELECT Id, City FROM Customers WHERE Id <= 4 ORDER BY Id;");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(SqlResult(form), "Record 1 of 4");
  std::vector<std::string> cities;
  for (form.Query().First(); !form.Query().Eof(); form.Query().Next())
    cities.push_back(form.Query().FieldByName("City")->AsString());
  EXPECT_EQ(cities[0], "A;b");
  EXPECT_EQ(cities[1], "Two");
  EXPECT_EQ(cities[2], "Two");
  EXPECT_NE(cities[3], "Never");
  const std::string run = form.RunText();
  EXPECT_EQ(run.rfind("2 statements\n", 0), 0u) << run;
  EXPECT_EQ(run.substr(run.size() - 3), " ms") << run;
  // A procedure keeps every statement of its text; they run when it is called.
  form.SetStatement("CREATE PROCEDURE Moves AS UPDATE Customers SET City = 'P' WHERE Id = 5;\n"
                    "UPDATE Customers SET City = 'Q' WHERE Id = 6;");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(form.RunText().find("statements"), std::string::npos) << form.RunText();
  form.SetStatement("SELECT City FROM Customers WHERE Id IN (5, 6) ORDER BY Id");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_NE(form.Query().FieldByName("City")->AsString(), "P");
  form.SetStatement("CALL Moves(); SELECT City FROM Customers WHERE Id IN (5, 6) ORDER BY Id");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(form.Query().FieldByName("City")->AsString(), "P");
  form.Query().Next();
  EXPECT_EQ(form.Query().FieldByName("City")->AsString(), "Q");
  // The rows a script changed are added up.
  form.SetStatement("UPDATE Customers SET City = 'X' WHERE Id = 1; UPDATE Customers SET City = 'Y' WHERE Id IN (2, 3)");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(SqlResult(form), "Rows affected: 3");
}

TEST_F(DataWindows, SqlWindowMarksTheFailingStatementAndRunsTheSelectionOrTheOneAtTheCursor) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm& form = *database->OpenSqlWindow();
  QWidget* window = loop.WindowOf(&form);
  auto* editor = window->findChild<QPlainTextEdit*>();
  ASSERT_NE(editor, nullptr);
  const auto city = [&](int id) {
    form.SetStatement("SELECT City FROM Customers WHERE Id = " + std::to_string(id));
    EXPECT_TRUE(form.Run()) << form.ErrorText();
    return form.Query().FieldByName("City")->AsString();
  };
  const auto select = [&](int from, int to) {
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
  };

  // The third statement fails: the first two have run and the word the engine stopped at is
  // selected on screen.
  const std::string first = "UPDATE Customers SET City = 'First' WHERE Id = 1;\n";
  const std::string script = first + "UPDATE Customers SET City = 'Two' WHERE Id = 2;\n"
                             "SELEC Id FROM Customers;\nUPDATE Customers SET City = 'Four' WHERE Id = 4;";
  form.SetStatement(script);
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(form.ErrorText().rfind("Statement 3 (line 3) failed:\n", 0), 0u) << form.ErrorText();
  EXPECT_NE(form.ErrorText().find("\nNear \"SELEC\" at line 3, column 1"), std::string::npos);
  EXPECT_EQ(editor->textCursor().selectedText(), "SELEC");
  EXPECT_EQ(city(2), "Two");
  EXPECT_NE(city(4), "Four");
  // A table the dictionary does not have is named, and marked where it stands.
  form.SetStatement(
      "UPDATE Customers SET City = 'Eight' WHERE Id = 8;\n  DELETE FROM Custmers WHERE Id = 1;");
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(form.ErrorText().rfind("Statement 2 (line 2) failed:\n"
                                   "Table 'Custmers' is not defined in the dictionary\n",
                                   0),
            0u)
      << form.ErrorText();
  EXPECT_NE(form.ErrorText().find("\nNear \"Custmers\" at line 2, column 15"), std::string::npos);
  EXPECT_EQ(editor->textCursor().selectedText(), "Custmers");
  EXPECT_EQ(city(8), "Eight");

  // Text selected on screen runs alone; a failure in it is counted from the editor's first line.
  form.SetStatement(script);
  select(static_cast<int>(first.size()), editor->toPlainText().indexOf("SELEC") + 8);
  EXPECT_FALSE(form.Run());
  EXPECT_EQ(form.ErrorText().rfind("Statement 2 (line 3) failed:\n", 0), 0u) << form.ErrorText();
  EXPECT_EQ(form.RunText().find("statements"), std::string::npos) << form.RunText();
  EXPECT_EQ(editor->textCursor().selectedText(), "SELEC");
  form.SetStatement("UPDATE Customers SET City = 'One' WHERE Id = 1; UPDATE Customers SET City = "
                    "'Sel' WHERE Id = 3");
  select(editor->toPlainText().indexOf("UPDATE", 1), editor->toPlainText().size());
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(SqlResult(form), "Rows affected: 1");
  EXPECT_EQ(city(3), "Sel");
  EXPECT_EQ(city(1), "First");

  // Ctrl+Shift+Return runs the statement the cursor stands in, and only that one.
  form.SetStatement("UPDATE Customers SET City = 'Never' WHERE Id = 5;\n"
                    "UPDATE Customers SET City = 'Cursor' WHERE Id = 6;\n"
                    "UPDATE Customers SET City = 'Never' WHERE Id = 7;");
  select(60, 60);
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  QApplication::processEvents();
  EXPECT_EQ(SqlResult(form), "Rows affected: 1") << form.ErrorText();
  EXPECT_EQ(city(6), "Cursor");
  EXPECT_NE(city(5), "Never");
  EXPECT_NE(city(7), "Never");
}

TEST_F(DataWindows, SqlWindowKeepsAHistoryPerDatabaseThatSurvivesARestart) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm* form = database->OpenSqlWindow();
  EXPECT_TRUE(form->History().empty());
  // Line ends, backslashes and quotes come back as typed; a repeated statement moves up.
  const std::string multiLine = "SELECT Id\n  FROM Customers\n WHERE City <> '\\n\"x\"'";
  form->SetStatement("  " + multiLine + ";  ");
  ASSERT_TRUE(form->Run()) << form->ErrorText();
  form->SetStatement("SELEC 1");
  EXPECT_FALSE(form->Run());
  form->SetStatement(multiLine);
  ASSERT_TRUE(form->Run()) << form->ErrorText();
  EXPECT_EQ(form->History(), (std::vector<std::string>{multiLine, "SELEC 1"}));
  const TStrings items = static_cast<TComboBox*>(form->FindComponent("HistoryBox"))->Items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].find('\n'), std::string::npos) << items[0];

  // A restart: every window closes, the history is read back from the settings file.
  TAppWindows::Instance().CloseAll();
  database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  form = database->OpenSqlWindow();
  EXPECT_EQ(form->History(), (std::vector<std::string>{multiLine, "SELEC 1"}));
  static_cast<TComboBox*>(form->FindComponent("HistoryBox"))->Chosen(1);
  EXPECT_EQ(form->Statement(), "SELEC 1");
  static_cast<TComboBox*>(form->FindComponent("HistoryBox"))->Chosen(0);
  EXPECT_EQ(form->Statement(), multiLine);
  // The search box lists the statements that contain its text, case ignored; a choice picks
  // among those listed.
  auto* search = static_cast<TEdit*>(form->FindComponent("HistorySearch"));
  search->TypedText("selec 1");
  EXPECT_EQ(form->ListedHistory(), std::vector<std::string>{"SELEC 1"});
  form->SetStatement("");
  static_cast<TComboBox*>(form->FindComponent("HistoryBox"))->Chosen(0);
  EXPECT_EQ(form->Statement(), "SELEC 1");
  search->TypedText("FROM customers");
  EXPECT_EQ(form->ListedHistory(), std::vector<std::string>{multiLine});
  search->TypedText("");
  EXPECT_EQ(form->ListedHistory().size(), 2u);

  // Another database has its own.
  std::filesystem::copy(VADER_SAMPLE_DATABASE, dir.File("other"));
  database = TDatabaseForm::OpenDatabase(dir.File("other"));
  ASSERT_NE(database, nullptr);
  EXPECT_TRUE(database->OpenSqlWindow()->History().empty());
}

TEST_F(DataWindows, StructureSpeaksBtrieveAndTheDesignerRestructuresKeepingTheRecords) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  const auto structure = [&] {
    database->ShowStructure("Customers");
    return TAppWindows::Instance().OfKind<TStructureForm>().back();
  };
  const auto rows = [](TForm* form, const char* list) {
    return dynamic_cast<TListView*>(form->FindComponent(list))->Rows();
  };
  TStructureForm* before = structure();
  const auto fields = rows(before, "FieldList");
  ASSERT_EQ(fields.size(), 10u);
  EXPECT_EQ(fields[3][1], "ZSTRING");  // City
  EXPECT_EQ(fields[4][1], "LSTRING");  // Country
  EXPECT_EQ(fields[7][1], "DECIMAL");  // Balance
  EXPECT_EQ(fields[7][4], "2");
  EXPECT_EQ(rows(before, "IndexList")[1][3], "duplicates, modifiable, case-insensitive");
  EXPECT_EQ(dynamic_cast<TLabel*>(before->FindComponent("FactsLabel"))->Caption(),
            "Page size 4096, record length 161, 400 records");

  database->RestructureTable("Customers");
  TTableDesignForm* designer = TAppWindows::Instance().OfKind<TTableDesignForm>().back();
  std::string text = dynamic_cast<TMemo*>(designer->FindComponent("DefinitionMemo"))->Text();
  const std::size_t name = text.find("type=string offset=4 size=40");
  ASSERT_NE(name, std::string::npos) << text;
  text.replace(name, 28, "type=string offset=4 size=50");
  designer->SetDefinition(text);
  answer = mrYes;  // restructure: yes
  ASSERT_TRUE(designer->Apply()) << LastMessage();
  const auto after = rows(structure(), "FieldList");
  EXPECT_EQ(after[1][3], "50");
  EXPECT_EQ(after[2][2], "54");  // the fields after Name moved along
  EXPECT_EQ(dynamic_cast<TLabel*>(TAppWindows::Instance().OfKind<TStructureForm>().back()
                                      ->FindComponent("FactsLabel"))
                ->Caption(),
            "Page size 4096, record length 171, 400 records");
}

// The structure view tells what the owner name of the table's file guards, as the file's Stat
// tells it: the levels with encryption too, and for a file that cannot be written here.
TEST_F(DataWindows, TheStructureViewTellsTheOwnerLevel) {
  namespace fs = std::filesystem;
  const std::string vbutil = fs::path(VADER_EXECUTABLE).parent_path() / "vbutil";
  const auto owner = [&](const char* file, const char* name, const char* level) {
    return std::system((vbutil + " owner set " + dir.File("sample/") + file + " " + name +
                        " --level " + level + " >/dev/null 2>&1").c_str());
  };
  ASSERT_EQ(owner("SUPPLIER.BTR", "Secret", "1"), 0);
  ASSERT_EQ(owner("EMPLOYEE.BTR", "Secret", "0"), 0);
  ASSERT_EQ(owner("ORDERS.BTR", "Secret", "2"), 0);
  ASSERT_EQ(owner("PRODUCT.BTR", "Other", "3"), 0);
  fs::permissions(dir.File("sample/SUPPLIER.BTR"), fs::perms::owner_write | fs::perms::group_write |
                                                       fs::perms::others_write,
                  fs::perm_options::remove);
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  const auto level = [&](const char* table) {
    database->ShowStructure(table);
    return dynamic_cast<TLabel*>(
               TAppWindows::Instance().OfKind<TStructureForm>().back()->FindComponent("OwnerLabel"))
        ->Caption();
  };
  EXPECT_EQ(level("Customers"), "Owner name: none");
  EXPECT_EQ(level("Suppliers"), "Owner name: needed to change the records; read-only without it");
  EXPECT_EQ(level("Employees"), "Owner name: needed to read or change the records");
  EXPECT_EQ(level("Orders"), "Owner name: needed to read or change the records");
  // With the name, the file itself tells its level; a name that does not fit still lets a file
  // that reads without one tell it.
  dynamic_cast<TEdit*>(database->FindComponent("OwnerEdit"))->SetText("Secret");
  EXPECT_EQ(level("Orders"), "Owner name: needed to read or change the records (set with encryption)");
  EXPECT_EQ(level("Products"),
            "Owner name: needed to change the records; read-only without it (set with encryption)");
  fs::permissions(dir.File("sample/SUPPLIER.BTR"), fs::perms::owner_write, fs::perm_options::add);
}

// The designer's grids as the person fills them: a cell typed or chosen.
void Edit(TTableDesignForm& designer, const char* grid, int row, int column,
          const std::string& text) {
  dynamic_cast<TStringGrid*>(designer.FindComponent(grid))->EditedOnScreen(row, column, text);
}
const std::vector<TStrings>& GridRows(TTableDesignForm& designer, const char* grid) {
  return dynamic_cast<TStringGrid*>(designer.FindComponent(grid))->Rows();
}

TEST_F(DataWindows, ATableMadeInTheGridDesignerIsCreatedAndReadBack) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  database->NewTable();
  TTableDesignForm& designer = *TAppWindows::Instance().OfKind<TTableDesignForm>().back();
  dynamic_cast<TEdit*>(designer.FindComponent("TableNameEdit"))->SetText("Parts");
  dynamic_cast<TEdit*>(designer.FindComponent("FileEdit"))->SetText("PARTS.BTR");
  designer.AddField();
  Edit(designer, "FieldGrid", 2, fcName, "Price");
  Edit(designer, "FieldGrid", 2, fcType, "DECIMAL");  // the type's own size and decimals
  EXPECT_EQ(GridRows(designer, "FieldGrid")[2][fcSize], "8");
  EXPECT_EQ(GridRows(designer, "FieldGrid")[2][fcDecimals], "2");
  designer.AddField();
  Edit(designer, "FieldGrid", 3, fcName, "Qty");
  Edit(designer, "FieldGrid", 3, fcType, "INTEGER");
  Edit(designer, "FieldGrid", 3, fcSize, "3");  // no integer has 3 bytes: told at the row
  auto* fields = dynamic_cast<TStringGrid*>(designer.FindComponent("FieldGrid"));
  EXPECT_EQ(fields->Rows()[3][fcProblem], "A field of type INTEGER has a size of 1, 2, 4, 8 bytes.");
  EXPECT_EQ(fields->MarkedColumn(3), fcSize);
  EXPECT_EQ(fields->MarkedColumn(2), -1);
  EXPECT_FALSE(designer.Apply());
  EXPECT_EQ(LastMessage(), "Correct the rows whose problem is shown beside them first.");
  Edit(designer, "FieldGrid", 3, fcSize, "2");
  EXPECT_EQ(fields->Rows()[3][fcProblem], "");
  // An index on Name (duplicates allowed) and Price, the price descending.
  designer.AddIndex();
  Edit(designer, "IndexGrid", 1, icField, "Name");
  Edit(designer, "IndexGrid", 1, icDuplicates, "1");
  designer.AddSegment();
  ASSERT_EQ(GridRows(designer, "IndexGrid").size(), 3u);
  EXPECT_EQ(GridRows(designer, "IndexGrid")[2][icField], "Price");
  EXPECT_EQ(GridRows(designer, "IndexGrid")[2][icDuplicates], "1");
  Edit(designer, "IndexGrid", 2, icDescending, "1");
  ASSERT_TRUE(designer.Apply()) << LastMessage();

  database->ShowStructure("Parts");
  auto* structure = TAppWindows::Instance().OfKind<TStructureForm>().back();
  const auto& indexes = dynamic_cast<TListView*>(structure->FindComponent("IndexList"))->Rows();
  ASSERT_EQ(indexes.size(), 2u);
  EXPECT_EQ(indexes[1][1], "Name + Price");
  EXPECT_EQ(indexes[1][3], "duplicates, modifiable, descending");
  TDataForm& parts = Data("Parts");
  parts.Table().Insert();
  parts.Table().FieldByName("Name")->SetAsString("Bolt");
  parts.Table().FieldByName("Price")->SetAsString("1.25");
  parts.Table().FieldByName("Qty")->SetAsString("700");
  parts.Table().Post();
  parts.CloseWindow();
  TDataForm& again = Data("Parts");
  again.Table().First();
  EXPECT_EQ(Field(again, "Name"), "Bolt");
  EXPECT_EQ(again.Table().FieldByName("Price")->AsFloat(), 1.25);
  EXPECT_EQ(Field(again, "Qty"), "700");
  EXPECT_EQ(Field(again, "Id"), "1");
}

TEST_F(DataWindows, AFieldRenamedOrMovedInTheGridKeepsItsValues) {
  TDataForm& before = Data("Customers");
  std::map<std::string, std::pair<std::string, std::string>> stored;  // Id: Name, City
  for (before.Table().First(); !before.Table().Eof(); before.Table().Next())
    stored[Field(before, "Id")] = {Field(before, "Name"), Field(before, "City")};
  TDatabaseForm* database = TAppWindows::Instance().OfKind<TDatabaseForm>().back();
  database->RestructureTable("Customers");
  TTableDesignForm& designer = *TAppWindows::Instance().OfKind<TTableDesignForm>().back();
  ASSERT_EQ(GridRows(designer, "FieldGrid")[1][fcName], "Name");
  ASSERT_EQ(GridRows(designer, "FieldGrid")[3][fcName], "City");
  Edit(designer, "FieldGrid", 1, fcName, "FullName");
  // The index on Name follows the new name.
  EXPECT_EQ(GridRows(designer, "IndexGrid")[1][icField], "FullName");
  auto* fields = dynamic_cast<TStringGrid*>(designer.FindComponent("FieldGrid"));
  fields->SetSelected(3);
  designer.MoveField(-1);  // City before Address
  ASSERT_EQ(GridRows(designer, "FieldGrid")[2][fcName], "City");
  answer = mrYes;
  ASSERT_TRUE(designer.Apply()) << LastMessage();

  TDataForm& after = Data("Customers");
  std::size_t same = 0;
  for (after.Table().First(); !after.Table().Eof(); after.Table().Next()) {
    const auto& old = stored[Field(after, "Id")];
    same += Field(after, "FullName") == old.first && Field(after, "City") == old.second;
  }
  EXPECT_EQ(same, stored.size());
  EXPECT_EQ(after.Table().FindField("Name"), nullptr);
}

// On screen: a cell typed into reaches the grid, the type column offers the types, a cell
// with a problem is marked; a wrong text definition is told in the person's language.
TEST_F(DataWindows, TheDesignerGridOnScreenAndItsProblemsInTheLanguage) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  database->NewTable();
  TTableDesignForm& designer = *TAppWindows::Instance().OfKind<TTableDesignForm>().back();
  loop.Show(&designer);
  QApplication::processEvents();
  auto* grid = loop.WindowOf(&designer)->findChild<QTableWidget*>("FieldGrid");
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_NE(grid->itemDelegateForColumn(fcType), nullptr);
  grid->item(1, fcSize)->setText("0");
  QApplication::processEvents();
  EXPECT_EQ(GridRows(designer, "FieldGrid")[1][fcSize], "0");
  EXPECT_EQ(grid->item(1, fcProblem)->text().toStdString(),
            "A field of type ZSTRING has a size of 2 - 65535 bytes.");
  EXPECT_NE(grid->item(1, fcSize)->background(), grid->item(1, fcName)->background());

  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  designer.Retranslate();
  const std::string problem = GridRows(designer, "FieldGrid")[1][fcProblem];
  EXPECT_EQ(problem.rfind("Ein Feld vom Typ ZSTRING hat eine Gr", 0), 0u) << problem;
  dynamic_cast<TPageControl*>(designer.FindComponent("DesignPages"))->ChosenOnScreen(1);
  designer.SetDefinition("table name=T file=T.BTR\nfield name=A type=integer size=4\n");
  dynamic_cast<TMemo*>(designer.FindComponent("DefinitionMemo"))
      ->SetText("table name=T file=T.BTR\nfield name=A type=intger size=4\n");
  EXPECT_FALSE(designer.Apply());
  EXPECT_EQ(LastMessage(), "Die Definition ist fehlerhaft: Zeile 2: unbekannter Typ 'intger'");
  SetLanguageFile("");
}

}  // namespace
}  // namespace vader::app

namespace vader::app {
namespace {

// Clicks the title of the grid's column headed Title.
void ClickTitle(ui::TQtEventLoop& loop, TForm& form, const QString& title) {
  const Column column = GridColumn(loop, form, title);
  QHeaderView* header = column.view->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(column.column) + 4, 4));
}

TEST_F(DataWindows, ATitleClickOrdersByAnIndexOfThatFieldOrOffersTheSqlEngine) {
  TDataForm& form = Data("Customers");
  loop.Show(&form);
  QApplication::processEvents();
  QHeaderView* header = GridColumn(loop, form, "Name").view->horizontalHeader();
  const auto names = [&] {
    std::vector<std::string> shown;
    form.Table().DisableControls();
    for (form.Table().First(); !form.Table().Eof(); form.Table().Next())
      shown.push_back(Upper(form, "Name"));
    form.Table().First();
    form.Table().EnableControls();
    return shown;
  };
  const std::vector<std::string> byId = names();
  ASSERT_FALSE(std::is_sorted(byId.begin(), byId.end()));
  ClickTitle(loop, form, "Name");
  EXPECT_EQ(form.Table().IndexFields(), std::vector<std::string>{"Name"});
  std::vector<std::string> upwards = names();
  EXPECT_TRUE(std::is_sorted(upwards.begin(), upwards.end()));
  EXPECT_EQ(header->sortIndicatorSection(), GridColumn(loop, form, "Name").column);
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  // Again: the same index read from its end, the grid's first row the highest name.
  ClickTitle(loop, form, "Name");
  EXPECT_TRUE(messages.empty()) << LastMessage();
  std::reverse(upwards.begin(), upwards.end());
  EXPECT_EQ(names(), upwards);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(Column(GridColumn(loop, form, "Name")).Cell(0).toUpper().toStdString(),
            upwards.front());
  form.Table().Last();
  EXPECT_EQ(Upper(form, "Name"), upwards.back());

  // No index is led by City: asked, and refused, the order stays.
  answer = mrNo;
  messages.clear();
  ClickTitle(loop, form, "City");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("SQL"), std::string::npos) << messages[0];
  EXPECT_EQ(form.Table().IndexFields(), std::vector<std::string>{"Name"});
  // Accepted: the SQL engine's rows, in that order and through the window's filter, read-only.
  ASSERT_TRUE(form.ApplyFilter("Country = 'France'", true));
  answer = mrYes;
  ClickTitle(loop, form, "City");
  auto sql = TAppWindows::Instance().OfKind<TSqlForm>();
  ASSERT_EQ(sql.size(), 1u) << LastMessage();
  TtbQuery& rows = sql[0]->Query();
  ASSERT_TRUE(rows.Active()) << sql[0]->ErrorText();
  std::vector<std::string> cities;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    EXPECT_EQ(rows.FieldByName("Country")->AsString(), "France");
    cities.push_back(rows.FieldByName("City")->AsString());
  }
  EXPECT_EQ(static_cast<int>(cities.size()), Rows(form.Table()));
  EXPECT_TRUE(std::is_sorted(cities.begin(), cities.end()));
  EXPECT_FALSE(rows.CanModify());
  TAppWindows::Instance().Close(sql[0]);

  // A descending index read backwards gives the prices upwards, read forwards downwards.
  TDataForm& products = Data("Products");
  loop.Show(&products);
  QApplication::processEvents();
  const auto price = [&] { return products.Table().FieldByName("UnitPrice")->AsFloat(); };
  for (const bool down : {false, true}) {
    ClickTitle(loop, products, "UnitPrice");
    EXPECT_EQ(products.Table().IndexFields(), std::vector<std::string>{"UnitPrice"});
    EXPECT_EQ(products.Table().ReadBackwards(), !down);
    products.Table().First();
    const double first = price();
    products.Table().Next();
    EXPECT_TRUE(down ? first >= price() : first <= price()) << first << " " << price();
  }
}

}  // namespace
}  // namespace vader::app

namespace vader::app {
namespace {

TEST_F(DataWindows, QuickFiltersNarrowTheRowsAsTypedAndHoldWithTheFilterExpression) {
  TDataForm& form = Data("Customers");
  loop.Show(&form);
  QApplication::processEvents();
  TDataSet& table = form.Table();
  // The rows counted here, as a person would check them one by one.
  int french = 0, frenchAbove = 0;
  table.DisableControls();
  for (table.First(); !table.Eof(); table.Next()) {
    std::string country = Upper(form, "Country");
    const bool isFrench = country.find("RANC") != std::string::npos;
    const bool isAbove = table.FieldByName("Balance")->AsFloat() > 100;
    french += isFrench;
    frenchAbove += isFrench && isAbove;
  }
  table.First();
  table.EnableControls();
  ASSERT_GT(french, 0);
  ASSERT_GT(frenchAbove, 0);
  ASSERT_LT(frenchAbove, french);

  // Typed into the box under the Country title, in any case: live, a letter at a time.
  const Column country = GridColumn(loop, form, "Country");
  auto* header = static_cast<ui::TGridHeader*>(country.view->horizontalHeader());
  QLineEdit* box = header->FilterBox(country.column);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  QTest::keyClicks(box, "rAn");
  EXPECT_GE(Rows(table), french);
  QTest::keyClicks(box, "c");
  EXPECT_EQ(Rows(table), french);
  EXPECT_EQ(form.RecordCount(), french);
  EXPECT_EQ(country.view->model()->rowCount(), french);

  // With the expression filter, both hold; the expression off, the quick filter stays.
  ASSERT_TRUE(form.ApplyFilter("Balance > 100", true));
  EXPECT_EQ(Rows(table), frenchAbove);
  ASSERT_TRUE(form.ApplyFilter("Balance > 100", false));
  EXPECT_EQ(Rows(table), french);
  // A comparison in a column of numbers; a text that is no number is refused and said so.
  EXPECT_TRUE(form.SetQuickFilter("Balance", " >100"));
  EXPECT_EQ(Rows(table), frenchAbove);
  EXPECT_FALSE(form.SetQuickFilter("Balance", ">a lot"));
  EXPECT_NE(form.QuickFilterProblem().find("a lot"), std::string::npos);
  EXPECT_EQ(Rows(table), french);
  EXPECT_TRUE(messages.empty()) << LastMessage();
  EXPECT_TRUE(form.SetQuickFilter("Balance", ""));
  EXPECT_TRUE(form.QuickFilterProblem().empty());
  box->clear();
  EXPECT_FALSE(table.Filtered());
  EXPECT_GT(Rows(table), french);
}

}  // namespace
}  // namespace vader::app

namespace vader::app {
namespace {

TEST_F(DataWindows, CellsCopiedAsTabSeparatedTextPasteIntoANewRowAndTooLongIsRefused) {
  TDataForm& form = Data("Customers");
  loop.Show(&form);
  QApplication::processEvents();
  TDataSet& table = form.Table();
  const Column name = GridColumn(loop, form, "Name");
  QTableView* view = name.view;
  QAbstractItemModel* grid = view->model();
  const int last = grid->columnCount() - 1;
  const int before = Rows(table);
  // The whole first row; pasted as a new record, it gets an Id of its own.
  view->selectionModel()->select(QItemSelection(grid->index(0, 0), grid->index(0, last)),
                                 QItemSelectionModel::ClearAndSelect);
  QStringList cells;
  for (int column = 0; column <= last; ++column) cells << grid->index(0, column).data().toString();
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), cells.join('\t') + '\n');
  ASSERT_EQ(name.column, 1);
  cells.removeFirst();

  form.InsertRecord();
  QApplication::processEvents();
  const int added = view->currentIndex().row();  // the new row, selected where it is shown
  view->setCurrentIndex(grid->index(added, 0));
  QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(messages.empty()) << LastMessage();
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Rows(table), before + 1);
  table.Last();
  QApplication::processEvents();
  QStringList pasted;
  for (int column = name.column; column <= last; ++column)
    pasted << grid->index(view->currentIndex().row(), column).data().toString();
  EXPECT_EQ(pasted, cells);

  // A name longer than the field holds is refused whole, with a message; the row stays.
  table.First();
  const std::string kept = Field(form, "Name");
  QApplication::clipboard()->setText(QString(41, QLatin1Char('x')));
  view->setCurrentIndex(grid->index(0, name.column));
  QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("too large"), std::string::npos) << messages[0];
  table.First();
  EXPECT_EQ(Field(form, "Name"), kept);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  messages.clear();
}

}  // namespace
}  // namespace vader::app
