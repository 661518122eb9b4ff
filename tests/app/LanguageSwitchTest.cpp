// The main window driven in process: a language switch translates the open window where it
// stands, message dialogs speak the current language, and the window outlives the modules'
// shut-down.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "AppLifecycle.h"
#include "MainWindowKeeper.h"
#include "common/TempDir.h"
#include "framework/Controls.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"
#include "ui/FormWindow.h"

namespace vader::app {
namespace {

using vader::testing::TempDir;

// The executable's folder with the bundled dictionaries, for a process that has not started.
class AppFolder : public ::testing::Test {
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
  }
  void TearDown() override { platform::SetExecutablePathForTesting(""); }

  TempDir dir;
};

class LanguageMenu : public AppFolder {
 protected:
  void SetUp() override {
    AppFolder::SetUp();
    modules.Startup();
  }
  void TearDown() override {
    modules.Shutdown();
    AppFolder::TearDown();
  }

  // Every line is among those the window shows.
  void ExpectShown(TForm* form, const QStringList& lines) {
    const QStringList shown = ui::DescribeWidgets(loop.WindowOf(form));
    for (const QString& line : lines)
      EXPECT_TRUE(shown.contains(line))
          << line.toStdString() << "\n" << shown.join("\n").toStdString();
  }

  void Choose(TForm* form, const char* itemName) {
    auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(itemName));
    ASSERT_NE(item, nullptr);
    item->Click();
    QApplication::processEvents();
  }

  TModuleTable modules = BuildModuleTable(false);
  ui::TQtEventLoop loop;
};

TEST_F(LanguageMenu, SwitchingTranslatesTheOpenWindowInPlaceAndKeepsWhatWasDone) {
  MainWindowKeeper keeper(loop);
  TMainForm* form = keeper.Create();
  loop.Show(form);
  ui::TFormWindow* window = loop.WindowOf(form);
  auto* tabs = window->findChild<QTabWidget*>("Pages");
  auto* confirm = window->findChild<QCheckBox*>("ConfirmCheck");
  auto* list = window->findChild<QTreeWidget*>("LanguageList");
  ASSERT_TRUE(tabs && confirm && list);
  confirm->setChecked(true);
  tabs->setCurrentIndex(1);
  list->setCurrentItem(list->topLevelItem(2));

  const auto expectKept = [&] {
    EXPECT_EQ(loop.WindowOf(form), window);  // the same window, still shown
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_TRUE(confirm->isChecked());
    EXPECT_EQ(list->currentItem(), list->topLevelItem(2));
  };
  Choose(form, "LanguageFrench");
  expectKept();
  ExpectShown(form, {"label TitleLabel: Bienvenue dans Vader", "menu &Fichier > &Quitter",
                     "tabs qt_tabwidget_tabbar: Accueil | Langues",
                     QString::fromUtf8("columns LanguageList: Langue | Dictionnaire | Entrées")});
  EXPECT_EQ(list->topLevelItem(2)->text(0), "Allemand");
  EXPECT_TRUE(window->findChild<QAction*>("LanguageFrench")->isChecked());
  EXPECT_FALSE(window->findChild<QAction*>("LanguageEnglish")->isChecked());
  // The Language menu names each language in itself, whatever the window's language.
  const auto expectOwnNames = [&] {
    EXPECT_EQ(window->findChild<QAction*>("LanguageEnglish")->text(), "English");
    EXPECT_EQ(window->findChild<QAction*>("LanguageFrench")->text(), QString::fromUtf8("Français"));
    EXPECT_EQ(window->findChild<QAction*>("LanguageGerman")->text(), "Deutsch");
  };
  expectOwnNames();
  // German comes from the designed texts, not from the French ones now on screen.
  Choose(form, "LanguageGerman");
  ExpectShown(form, {"label TitleLabel: Willkommen bei Vader",
                     "tabs qt_tabwidget_tabbar: Willkommen | Sprachen"});
  Choose(form, "LanguageEnglish");
  expectKept();
  ExpectShown(form, {"label TitleLabel: Welcome to Vader",
                     "window MainForm: Vader Data Browser [Browse and edit Btrieve databases]"});
  EXPECT_EQ(list->topLevelItem(1)->text(0), "French");
  expectOwnNames();
}

TEST_F(LanguageMenu, MessageDialogsShowTheirTitleAndButtonsInTheLanguage) {
  MainWindowKeeper keeper(loop);
  TMainForm* form = keeper.Create();
  loop.Show(form);
  Choose(form, "LanguageFrench");
  auto seen = std::make_shared<QStringList>();
  const auto answer = [seen] {
    QTimer::singleShot(0, qApp, [seen] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      *seen << box->windowTitle();
      for (QAbstractButton* button : box->buttons()) *seen << button->text();
      box->buttons().front()->click();
    });
  };
  answer();
  ConfirmPrompt("?");
  EXPECT_EQ(*seen, (QStringList{"Avertissement", "Oui", "Non"}));
  Choose(form, "LanguageGerman");
  seen->clear();
  answer();
  dynamic_cast<TControl*>(form->FindComponent("AboutButton"))->Click();
  EXPECT_EQ(*seen, (QStringList{"Hinweis", "OK"}));
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

using ApplicationLife = AppFolder;

TEST_F(ApplicationLife, TheMainWindowIsDestroyedAfterTheModulesShutDown) {
  // The first module shuts down last: by then every other one has shut down.
  bool windowDuringLastShutdown = false, languageServiceDown = false;
  TModuleTable modules;
  modules.Add({"probe", {}, [&] {
                 TForm* form = Application().MainForm();
                 windowDuringLastShutdown = form && form->FindComponent("TitleLabel");
                 languageServiceDown = LanguageIniFile().empty();
               }});
  const TModuleTable system = BuildModuleTable(false);
  for (const ModuleEntry& entry : system.Entries()) modules.Add(entry);
  modules.Startup();
  const int result = RunApplication(modules, [](ui::TQtEventLoop& loop, TMainForm& form) {
    loop.Show(&form);
    loop.ProcessMessages();
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(windowDuringLastShutdown);
  EXPECT_TRUE(languageServiceDown);
  EXPECT_EQ(Application().MainForm(), nullptr);  // gone afterwards
}

}  // namespace
}  // namespace vader::app
