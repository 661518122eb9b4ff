// The Language menu of the main window, driven in process: a switch stores the dictionary
// in Language.INI and replaces the window by one built in the new language.

#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>

#include "MainWindowKeeper.h"
#include "common/TempDir.h"
#include "framework/Controls.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"
#include "ui/FormWindow.h"

namespace vader::app {
namespace {

using vader::testing::TempDir;

class LanguageMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
    std::filesystem::create_directory(dir.File("lang"));
    for (const char* file : {"French.txt", "German.txt"})
      std::filesystem::copy_file(std::string(VADER_LANG_DIR) + "/" + file,
                                 dir.File("lang/") + file);
    platform::SetMessageTableFile(dir.File("messages"));
    platform::SetExecutablePathForTesting(dir.File("vader"));
    modules.Startup();
  }
  void TearDown() override {
    modules.Shutdown();
    platform::SetExecutablePathForTesting("");
  }

  QStringList Shown(TForm* form) { return ui::DescribeWidgets(loop.WindowOf(form)); }
  bool Shows(TForm* form, const char* line) { return Shown(form).contains(line); }

  void Choose(TForm* form, const char* itemName) {
    auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(itemName));
    ASSERT_NE(item, nullptr);
    item->Click();
    QApplication::processEvents();  // the rebuild runs after the click has returned
  }

  TempDir dir;
  TModuleTable modules = BuildModuleTable(false);
  ui::TQtEventLoop loop;
};

TEST_F(LanguageMenu, SwitchingRebuildsTheWindowInTheNewLanguage) {
  MainWindowKeeper keeper(loop);
  TForm* english = keeper.Create();
  loop.Show(english);
  EXPECT_TRUE(Shows(english, "label TitleLabel: Welcome to Vader"));

  Choose(english, "LanguageFrench");
  TForm* french = keeper.Form();
  ASSERT_NE(french, english);
  EXPECT_EQ(loop.WindowOf(english), nullptr);  // the old window is gone
  ASSERT_NE(loop.WindowOf(french), nullptr);
  EXPECT_TRUE(loop.WindowOf(french)->isVisible());
  EXPECT_TRUE(Shown(french).contains("label TitleLabel: Bienvenue dans Vader"))
      << Shown(french).join("\n").toStdString();
  EXPECT_EQ(DictionaryFileName(), dir.File("lang/French.txt"));
  EXPECT_TRUE(dynamic_cast<TMenuItem*>(french->FindComponent("LanguageFrench"))->Checked());

  Choose(french, "LanguageEnglish");
  EXPECT_TRUE(Shown(keeper.Form()).contains("label TitleLabel: Welcome to Vader"));
  EXPECT_TRUE(DictionaryFileName().empty());
}

TEST_F(LanguageMenu, TheLanguageListShowsTheBundledDictionaries) {
  MainWindowKeeper keeper(loop);
  TForm* form = keeper.Create();
  auto* list = dynamic_cast<TListView*>(form->FindComponent("LanguageList"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Rows().size(), 3u);
  EXPECT_EQ(list->Rows()[1][1], "French.txt");
  EXPECT_NE(list->Rows()[1][2], "0");  // its entries were counted
}

}  // namespace
}  // namespace vader::app
