// The SQL window driven in process over a copy of the sample database through the real record
// manager and relational engine: rows in the grid, read-only computed rows, rows changed by a
// statement, an engine error in a message, Run from its shortcut, and a language switch.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <filesystem>

#include "DatabaseForm.h"
#include "SqlForm.h"
#include "common/TempDir.h"
#include "framework/Dialogs.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"
#include "ui/FormWindow.h"
#include "ui/QtEventLoop.h"

namespace vader::app {
namespace {

class SqlWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
    namespace fs = std::filesystem;
    fs::create_directory(dir.File("lang"));
    fs::copy_file(std::string(VADER_LANG_DIR) + "/German.txt", dir.File("lang/German.txt"));
    const fs::path bin = fs::path(VADER_CLIENT_LIBRARY).parent_path();
    for (const char* library : {"libwbtrv32.so", "libwssql32.so", "libwdbnm32.so"})
      fs::create_symlink(bin / library, dir.File(library));
    fs::copy(VADER_SAMPLE_DATABASE, dir.File("sample"));
    setenv(platform::kRegistryEnvironmentVariable, dir.File("registry.reg").c_str(), 1);
    platform::SetMessageTableFile(dir.File("messages"));
    platform::SetExecutablePathForTesting(dir.File("vader"));
    modules.Startup();
    Application().SetEventLoop(&loop);
    SetMessageDialogHandler([this](const MessageDialogRequest& request) {
      messages.push_back(request.message);
      return mrOk;
    });
  }
  void TearDown() override {
    TAppWindows::Instance().CloseAll();
    SetMessageDialogHandler(nullptr);
    Application().SetEventLoop(nullptr);
    modules.Shutdown();
    platform::SetExecutablePathForTesting("");
    unsetenv(platform::kRegistryEnvironmentVariable);
  }
  std::string Label(TSqlForm& form) const {
    return static_cast<TLabel*>(form.FindComponent("ResultLabel"))->Caption();
  }

  testing::TempDir dir;
  TModuleTable modules = BuildModuleTable(false);
  ui::TQtEventLoop loop;
  std::vector<std::string> messages;
};

TEST_F(SqlWindow, RunsStatementsShowsTheirResultsAndErrorsAndFollowsALanguageSwitch) {
  TDatabaseForm* database = TDatabaseForm::OpenDatabase(dir.File("sample"));
  ASSERT_NE(database, nullptr);
  TSqlForm& form = *database->OpenSqlWindow();
  EXPECT_EQ(form.Caption(), "SQL on " + dir.File("sample"));

  form.SetStatement("SELECT Id, Name FROM Customers WHERE Id < 4 ORDER BY Id DESC");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_EQ(form.Query().FieldByName("Id")->AsInteger(), 3);
  EXPECT_EQ(Label(form), "Record 1 of 3");
  EXPECT_TRUE(form.Query().CanModify());

  form.SetStatement("SELECT Country, COUNT(*) FROM Customers GROUP BY Country");
  ASSERT_TRUE(form.Run()) << form.ErrorText();
  EXPECT_NE(Label(form).find("(read-only)"), std::string::npos) << Label(form);

  // Run from the menu entry's keys, as Ctrl+Return in the editor chooses it.
  form.SetStatement("UPDATE Customers SET City = 'Ebbw Vale' WHERE Id IN (1, 2)");
  auto* run = loop.WindowOf(&form)->findChild<QAction*>("RunItem");
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->shortcut(), QKeySequence("Ctrl+Return"));
  run->trigger();
  QApplication::processEvents();
  EXPECT_EQ(Label(form), "Rows affected: 2");
  EXPECT_FALSE(form.Query().Active());

  form.SetStatement("SELEC Id FROM Customers");
  EXPECT_FALSE(form.Run());
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().find("The SQL statement contains invalid syntax"), std::string::npos)
      << messages.back();
  EXPECT_EQ(Label(form), form.ErrorText());

  form.SetStatement("DELETE FROM Customers WHERE Id = 400");
  ASSERT_TRUE(form.Run());
  SetLanguageFile(platform::ExecutableDirectory() + "lang/German.txt");
  QApplication::processEvents();
  platform::DeliverPostedMessages();
  EXPECT_EQ(form.Caption(), "SQL auf " + dir.File("sample"));
  EXPECT_EQ(Label(form), "Betroffene Zeilen: 1");
  const QStringList shown = ui::DescribeWidgets(loop.WindowOf(&form));
  EXPECT_TRUE(shown.contains("button RunButton: A&usführen [Die Anweisung ausführen (Strg+Eingabe)]")) << shown.join("\n").toStdString();
  EXPECT_EQ(form.Statement(), "DELETE FROM Customers WHERE Id = 400");  // kept as typed
}

}  // namespace
}  // namespace vader::app
